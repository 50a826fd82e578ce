'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { renderRegion, baseScene, SAMPLE_RATE } = require('../../../sim/music');
const { styleFromText, mixStyles, keyFromText, controlsFromKnobs } = require('../../../sim/style');
const { detectKey, barEnvelope } = require('../../../sim/analysis');

function scene(overrides = {}) {
  return baseScene({ style: styleFromText('deep house'), ...overrides });
}

function rms(samples, from = 0, to = samples.length) {
  let sum = 0;
  for (let i = from; i < to; i++) sum += samples[i] * samples[i];
  return Math.sqrt(sum / (to - from));
}

function difference(a, b) {
  let sum = 0;
  for (let i = 0; i < a.length; i++) sum += (a[i] - b[i]) ** 2;
  return Math.sqrt(sum / a.length);
}

test('rendering is deterministic and any region equals that part of a longer render', () => {
  const s = scene();
  const whole = renderRegion(s, 0, SAMPLE_RATE * 4);
  assert.deepEqual(renderRegion(s, 0, SAMPLE_RATE * 4), whole);
  const part = renderRegion(s, SAMPLE_RATE * 2 + 123, 9000);
  assert.deepEqual(part, whole.subarray((SAMPLE_RATE * 2 + 123) * 2, (SAMPLE_RATE * 2 + 123 + 9000) * 2));
  assert.ok(rms(whole) > 0.05, 'the arrangement is audible');
  assert.ok(whole.every((x) => x >= -1 && x <= 1));
});

test('the prompt, the blend, the knobs and the variation each change what is heard', () => {
  const n = SAMPLE_RATE * 2;
  const base = renderRegion(scene(), 0, n);
  const dubstep = renderRegion(scene({ style: styleFromText('heavy dubstep growl') }), 0, n);
  const ambient = renderRegion(scene({ style: styleFromText('ambient') }), 0, n);
  assert.ok(difference(base, dubstep) > 0.05);
  assert.ok(difference(base, ambient) > 0.05);
  const half = renderRegion(scene({ style: mixStyles(styleFromText('deep house'), styleFromText('heavy dubstep growl'), 0.5) }), 0, n);
  assert.ok(difference(half, base) > 0 && difference(half, dubstep) > 0);
  const another = renderRegion(scene({ variation: () => 3 }), 0, n);
  assert.ok(difference(base, another) > 0.01, 'a new take of the same bars');
  const silent = renderRegion(scene({ controls: controlsFromKnobs({ ch_g0: 0, ch_g1: 0, ch_g2: 0, ch_g3: 0 }) }), 0, n);
  assert.equal(rms(silent), 0);
  const drumsOnly = renderRegion(scene({ controls: controlsFromKnobs({ ch_g1: 0, ch_g2: 0, ch_g3: 0 }) }), 0, n);
  assert.ok(rms(drumsOnly) > 0.02);
});

test('prompt words map to styles, keys and knob ranges', () => {
  assert.equal(styleFromText('dubstep').halfTime, 1);
  assert.ok(styleFromText('ambient drones').drums < styleFromText('techno').drums);
  assert.deepEqual(styleFromText('unknown words here'), styleFromText(''));
  assert.deepEqual(keyFromText('VHS tape, deep house, 125 bpm, key of A# minor'), { root: 10, minor: true });
  assert.deepEqual(keyFromText('C major'), { root: 0, minor: false });
  assert.equal(keyFromText('no key here'), null);
  const c = controlsFromKnobs({ denoise: 5, ch_g0: -1, shift: 7, guidance_scale: 'x' });
  assert.equal(c.morph, 1);
  assert.equal(c.gains[0], 0);
  assert.equal(c.leadShift, 4);
  assert.equal(c.intensity, 1);
});

test('the pod hears the key and the loudness shape of uploaded audio', () => {
  const frames = SAMPLE_RATE * 4;
  const samples = new Float32Array(frames * 2);
  const hz = [329.63, 392.0, 493.88]; // E minor triad
  for (let f = 0; f < frames; f++) {
    const t = f / SAMPLE_RATE;
    const loud = f < frames / 2 ? 1 : 0.25;
    const x = loud * hz.reduce((acc, h, i) => acc + Math.sin(2 * Math.PI * h * t) * (i === 0 ? 0.4 : 0.2), 0);
    samples[2 * f] = x;
    samples[2 * f + 1] = x;
  }
  const audio = { samples, channels: 2, frames };
  assert.deepEqual(detectKey(audio), { root: 4, minor: true });
  const env = barEnvelope(audio, 1);
  assert.equal(env.length, 4);
  assert.ok(env[0] === 1 && env[3] < 0.6);
  assert.equal(detectKey({ samples: new Float32Array(frames * 2), channels: 2, frames }), null);
});
