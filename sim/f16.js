'use strict';
// IEEE 754 binary16 ("half") conversion. The pod keeps its audio as half
// bit patterns, exactly what it sends, so what a client holds after widening
// can be compared bit for bit with the pod's buffer.

const f32 = new Float32Array(1);
const u32 = new Uint32Array(f32.buffer);

// Exact widening of every half pattern, computed once.
const HALF_TO_FLOAT = (() => {
  const table = new Float32Array(65536);
  for (let h = 0; h < 65536; h++) {
    const sign = h & 0x8000 ? -1 : 1;
    const exp = (h >> 10) & 0x1f;
    const mant = h & 0x3ff;
    if (exp === 0) table[h] = sign * mant * 2 ** -24;
    else if (exp === 31) table[h] = mant ? NaN : sign * Infinity;
    else table[h] = sign * (1 + mant / 1024) * 2 ** (exp - 15);
  }
  return table;
})();

function halfToFloat(h) {
  return HALF_TO_FLOAT[h & 0xffff];
}

// Rounds a number (taken as a 32-bit float) to the nearest half, ties to
// even; overflow gives infinity, NaN stays NaN.
function floatToHalf(value) {
  f32[0] = value;
  const bits = u32[0];
  const sign = (bits >>> 16) & 0x8000;
  const exp = (bits >>> 23) & 0xff;
  let mant = bits & 0x7fffff;
  if (exp === 0xff) return sign | (mant ? 0x7e00 : 0x7c00);
  const e = exp - 112; // rebias 127 -> 15
  if (e >= 31) return sign | 0x7c00;
  if (e <= 0) {
    if (e < -10) return sign;
    mant |= 0x800000;
    const shift = 14 - e;
    const rest = mant & ((1 << shift) - 1);
    const halfway = 1 << (shift - 1);
    let h = mant >>> shift;
    if (rest > halfway || (rest === halfway && (h & 1))) h += 1;
    return sign | h;
  }
  let h = (e << 10) | (mant >>> 13);
  const rest = mant & 0x1fff;
  if (rest > 0x1000 || (rest === 0x1000 && (h & 1))) h += 1;
  return sign | h;
}

// Widens a run of half patterns into 32-bit floats.
function widen(halves) {
  const out = new Float32Array(halves.length);
  for (let i = 0; i < halves.length; i++) out[i] = HALF_TO_FLOAT[halves[i]];
  return out;
}

// Reads little-endian half patterns from bytes (a trailing odd byte is ignored).
function halvesFromBytes(bytes) {
  const n = bytes.length >> 1;
  const out = new Uint16Array(n);
  for (let i = 0; i < n; i++) out[i] = bytes[2 * i] | (bytes[2 * i + 1] << 8);
  return out;
}

// Little-endian bytes of half patterns.
function bytesFromHalves(halves, start = 0, end = halves.length) {
  const out = Buffer.allocUnsafe((end - start) * 2);
  for (let i = start, o = 0; i < end; i++, o += 2) {
    const h = halves[i];
    out[o] = h & 0xff;
    out[o + 1] = h >>> 8;
  }
  return out;
}

module.exports = { halfToFloat, floatToHalf, widen, halvesFromBytes, bytesFromHalves };
