'use strict';
// The pod's authoritative audio: interleaved stereo half patterns, exactly
// what the client holds after widening. Regions are replaced either raw (the
// new halves are sent as they are) or as a difference that the client adds
// to what it has in 32-bit float arithmetic; a difference is chosen per
// sample so that this sum is exact and lands on a half value, which keeps the
// client's widened buffer and this one equal bit for bit.
const { floatToHalf, halfToFloat } = require('./f16');

const CHANNELS = 2;

function clamp1(x) { return x > 1 ? 1 : x < -1 ? -1 : x; }

class HalfBuffer {
  constructor(frames) {
    this.frames = frames;
    this.channels = CHANNELS;
    this.halves = new Uint16Array(frames * CHANNELS);
  }

  setFromFloats(samples) {
    for (let i = 0; i < this.halves.length; i++) this.halves[i] = floatToHalf(clamp1(samples[i] || 0));
  }

  // The target halves of a region blended from the current audio towards
  // fresh audio by amount, tapered to 0 over fadeFrames at both edges so the
  // region joins its neighbours without a click.
  blendTarget(startFrame, fresh, amount, fadeFrames) {
    const frames = fresh.length / CHANNELS;
    const out = new Uint16Array(fresh.length);
    for (let f = 0; f < frames; f++) {
      const edge = Math.min(1, (f + 0.5) / fadeFrames, (frames - f - 0.5) / fadeFrames);
      const a = amount * edge;
      for (let c = 0; c < CHANNELS; c++) {
        const i = f * CHANNELS + c;
        const old = halfToFloat(this.halves[startFrame * CHANNELS + i]);
        out[i] = floatToHalf(clamp1(old + (fresh[i] - old) * a));
      }
    }
    return out;
  }

  // Replaces a region outright; returns the halves to send raw.
  writeRaw(startFrame, target) {
    this.halves.set(target, startFrame * CHANNELS);
    return target;
  }

  // Moves a region towards target through differences the client adds;
  // returns the difference halves. Where no exact difference exists the
  // sample keeps its value (difference +0).
  writeDifference(startFrame, target) {
    const diff = new Uint16Array(target.length);
    const base = startFrame * CHANNELS;
    for (let i = 0; i < target.length; i++) {
      const old = halfToFloat(this.halves[base + i]);
      let d = floatToHalf(halfToFloat(target[i]) - old);
      let sum = old + halfToFloat(d);
      let h = floatToHalf(sum);
      if (!Number.isFinite(sum) || halfToFloat(h) !== sum) {
        d = 0;
        sum = old + 0;
        h = floatToHalf(sum);
      }
      diff[i] = d;
      this.halves[base + i] = h;
    }
    return diff;
  }

  region(startFrame, frames) {
    return this.halves.subarray(startFrame * CHANNELS, (startFrame + frames) * CHANNELS);
  }
}

module.exports = { HalfBuffer, CHANNELS };
