'use strict';
// What the pod hears in uploaded audio: a loudness shape per bar (which the
// arrangement follows), a likely key, and a brightness (for timbres).
const { SAMPLE_RATE } = require('./music');

// RMS of each bar of the first channel pair, scaled to 0.35 .. 1 of the
// loudest bar (silence everywhere gives all ones).
function barEnvelope(audio, barSeconds) {
  const { samples, channels, frames } = audio;
  const barFrames = Math.max(1, Math.round(barSeconds * SAMPLE_RATE));
  const bars = Math.max(1, Math.ceil(frames / barFrames));
  const rms = new Float64Array(bars);
  for (let b = 0; b < bars; b++) {
    let sum = 0;
    let n = 0;
    const end = Math.min(frames, (b + 1) * barFrames);
    for (let f = b * barFrames; f < end; f += 4) {
      const x = samples[f * channels];
      sum += x * x;
      n += 1;
    }
    rms[b] = n ? Math.sqrt(sum / n) : 0;
  }
  const peak = Math.max(...rms);
  return Array.from(rms, (v) => (peak > 1e-6 ? 0.35 + 0.65 * (v / peak) : 1));
}

// Goertzel energy of each pitch class over three octaves of a 12 kHz
// downmix; the strongest class is the root, its thirds decide the mode.
function detectKey(audio) {
  const { samples, channels, frames } = audio;
  const rate = SAMPLE_RATE / 4;
  const n = Math.min(Math.floor(frames / 4), rate * 4);
  if (n < 1024) return null;
  const offset = Math.max(0, Math.floor((frames - n * 4) / 2));
  const x = new Float32Array(n);
  for (let i = 0; i < n; i++) {
    let s = 0;
    for (let k = 0; k < 4; k++) s += samples[(offset + 4 * i + k) * channels];
    x[i] = s / 4;
  }
  const energy = new Float64Array(12);
  for (let midi = 48; midi < 84; midi++) {
    const w = (2 * Math.PI * 440 * 2 ** ((midi - 69) / 12)) / rate;
    const coeff = 2 * Math.cos(w);
    let s1 = 0;
    let s2 = 0;
    for (let i = 0; i < n; i++) {
      const s0 = x[i] + coeff * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    energy[midi % 12] += s1 * s1 + s2 * s2 - coeff * s1 * s2;
  }
  let root = 0;
  for (let pc = 1; pc < 12; pc++) if (energy[pc] > energy[root]) root = pc;
  if (!(energy[root] > 1e-3)) return null;
  return { root, minor: energy[(root + 3) % 12] >= energy[(root + 4) % 12] };
}

// Zero-crossing rate of the first channel, 0 .. 1 (1 = crossing every frame).
function brightness(audio) {
  const { samples, channels, frames } = audio;
  let crossings = 0;
  for (let f = 1; f < frames; f++) {
    if ((samples[f * channels] >= 0) !== (samples[(f - 1) * channels] >= 0)) crossings += 1;
  }
  return frames > 1 ? crossings / (frames - 1) : 0;
}

module.exports = { barEnvelope, detectKey, brightness };
