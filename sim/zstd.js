'use strict';
// zstd for the pod's compressed slices, from a WebAssembly build of libzstd
// (@bokuweb/zstd-wasm, loaded once, asynchronously). compress() writes one
// standard zstd frame, which any libzstd streaming decoder reads.
let loading = null;

function loadZstd() {
  if (!loading) {
    const zstd = require('@bokuweb/zstd-wasm');
    loading = zstd.init().then(() => ({
      compress: (bytes, level = 3) => Buffer.from(zstd.compress(bytes, level)),
      decompress: (bytes) => Buffer.from(zstd.decompress(bytes)),
    }));
  }
  return loading;
}

module.exports = { loadZstd };
