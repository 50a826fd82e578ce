'use strict';
// zstd for the pod's compressed slices, from a WebAssembly build of libzstd
// (an ES module, so it is loaded once, asynchronously). compress() writes one
// standard zstd frame, which any libzstd streaming decoder reads.
let loading = null;

function loadZstd() {
  if (!loading) {
    loading = import('@hpcc-js/wasm-zstd').then(({ Zstd }) => Zstd.load()).then((z) => ({
      compress: (bytes, level = 3) => Buffer.from(z.compress(bytes, level)),
      decompress: (bytes) => Buffer.from(z.decompress(bytes)),
    }));
  }
  return loading;
}

module.exports = { loadZstd };
