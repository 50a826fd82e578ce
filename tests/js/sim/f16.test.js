'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { halfToFloat, floatToHalf, halvesFromBytes, bytesFromHalves } = require('../../../sim/f16');

test('half patterns widen exactly', () => {
  assert.equal(halfToFloat(0x3c00), 1);
  assert.equal(halfToFloat(0xc000), -2);
  assert.equal(halfToFloat(0x0001), 2 ** -24);
  assert.equal(halfToFloat(0x7c00), Infinity);
  assert.ok(Number.isNaN(halfToFloat(0x7e00)));
  assert.ok(Object.is(halfToFloat(0x8000), -0));
  assert.equal(halfToFloat(0x7bff), 65504);
  assert.equal(halfToFloat(0x03ff), 1023 * 2 ** -24);
});

test('every finite half survives narrowing after widening', () => {
  for (let h = 0; h < 65536; h++) {
    const v = halfToFloat(h);
    if (!Number.isNaN(v)) assert.equal(floatToHalf(v), h, `pattern ${h.toString(16)}`);
  }
});

test('narrowing rounds to nearest, ties to even, and saturates to infinity', () => {
  assert.equal(floatToHalf(1 + 2 ** -11), 0x3c00); // tie, even stays
  assert.equal(floatToHalf(1 + 3 * 2 ** -11), 0x3c02); // tie, odd rounds up
  assert.equal(floatToHalf(1 + 2 ** -11 + 2 ** -20), 0x3c01);
  assert.equal(floatToHalf(2 ** -25), 0x0000); // half the smallest subnormal: even
  assert.equal(floatToHalf(1.5 * 2 ** -25), 0x0001);
  assert.equal(floatToHalf(2 ** -14 - 2 ** -25), 0x0400); // carries into the smallest normal
  assert.equal(floatToHalf(65519), 0x7bff);
  assert.equal(floatToHalf(65520), 0x7c00);
  assert.equal(floatToHalf(-1e9), 0xfc00);
  assert.equal(floatToHalf(-0), 0x8000);
  assert.equal(floatToHalf(NaN) & 0x7e00, 0x7e00);
});

test('half bytes are little-endian and an odd byte is ignored', () => {
  const bytes = bytesFromHalves(new Uint16Array([0x3c00, 0xc000]));
  assert.deepEqual([...bytes], [0x00, 0x3c, 0x00, 0xc0]);
  assert.deepEqual([...halvesFromBytes(Buffer.concat([bytes, Buffer.from([7])]))], [0x3c00, 0xc000]);
});
