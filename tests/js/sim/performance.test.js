'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { Performance, defaultScript, sliceLatencies } = require('../../../sim/performance');
const { jsRunner } = require('../../../sim/runners');
const { FakeEngine } = require('../host/helpers');

// Just enough engine for the runner's own logic: roles for the instances, a
// stream that "starts" two bars after the print is armed, and an export.
function showEngine() {
  let livePath = '';
  let armedAt = null;
  let bars = 0;
  const engine = new FakeEngine({
    'ext:data': (emit, id, bytes) => {
      if (bytes[4] === 0x80) emit('ext:role', id, bytes[5] === 1 ? 'feeders' : 'players');
    },
    live_path: (emit, p) => { livePath = p; },
    canvas_arm: () => { armedAt = bars; },
    bar: (emit) => {
      bars += 1;
      if (armedAt !== null && bars === armedAt + 2) {
        emit('ui:status', 'live - inference streaming');
        emit('param:start');
      }
      if (armedAt !== null && bars > armedAt + 2) emit('ui:phase', bars % 2 ? 12.5 : -30);
    },
    audio_export_req: (emit) => emit('audio:write', `${path.dirname(livePath)}/Omber/audio/0123456789ab.wav`, Buffer.from('RIFF')),
  });
  return engine;
}

test('the show steps follow the stream start, and the run leaves its files and a summary', async () => {
  const out = fs.mkdtempSync(path.join(os.tmpdir(), 'omber-perf-test-'));
  const engine = showEngine();
  const perf = new Performance({ engine, runner: jsRunner(), outDir: out, seconds: 24, speed: 20, printBars: 1 });
  const lines = [];
  perf.on('progress', (l) => lines.push(l));
  try {
    const summary = await perf.run();
    const barsSent = engine.find('bar').length;
    const sent = engine.calls.filter((c) => !['bar', 'tick:param', 'ext:data', 'ext:conn', 'ext:close', 'tempo', 'transport', 'ws:buffered', 'cloud:catalog'].includes(c[0]));
    const names = sent.map((c) => c[0]);
    assert.deepEqual(names, ['live_path', 'prompt', 'canvas_arm', 'prompt_b', 'blend', 'key', 'knob', 'section', 'swap', 'snapshot_req', 'stop', 'audio_export_req']);
    assert.equal(summary.streamStartedAtBar, 2);
    assert.equal(summary.largestPhaseErrorMs, 30);
    assert.ok(barsSent >= 2 + defaultScript({ printBars: 1, showBars: 9 }).show.at(-1).bar);
    assert.equal(summary.exported.length, 1);
    assert.equal(fs.readFileSync(summary.exported[0], 'utf8'), 'RIFF');
    assert.ok(fs.statSync(path.join(out, 'track.wav')).size > 44);
    assert.ok(lines.some((l) => /: stop$/.test(l)));
    assert.equal(engine.find('ext:conn').length, 3, 'a feeder and two players connected');
  } finally {
    fs.rmSync(out, { recursive: true, force: true });
  }
});

test('slice latency pairs each patch with the latest earlier unpaired slice of its region', () => {
  const ms = (x) => BigInt(Math.round(x * 1e6));
  const slices = [
    { startFrame: 0, sentAt: ms(10) }, // dropped by the engine: never patched
    { startFrame: 48000, sentAt: ms(11) },
    { startFrame: 0, sentAt: ms(20) },
    { startFrame: 96000, sentAt: null }, // delayed sends have no stamp
    { startFrame: 48000, sentAt: ms(30), corrupt: 'zstd' },
    { startFrame: 0, sentAt: ms(50) },
  ];
  const patches = [
    { startFrame: 48000, at: ms(14) },
    { startFrame: 0, at: ms(23) },
    { startFrame: 0, at: ms(40) }, // its slice was already paired
    { startFrame: 96000, at: ms(41) },
    { startFrame: 0, at: ms(51.5) },
  ];
  assert.deepEqual(sliceLatencies(slices, patches), [1.5, 3, 3]);
});
