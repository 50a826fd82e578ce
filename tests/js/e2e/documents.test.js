'use strict';
// Presets saved to and recalled from a Live Set folder on disk during a
// stream, and the exported WAV read back by an independent reader.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const { spawnSync } = require('child_process');
const { withStage, skip } = require('./helpers');
const { FRAME } = require('../../../sim/link');

// Python's wave module: the parameters as a JSON line on stderr, the frames
// as raw bytes on stdout.
const READ_WAV = `
import json, sys, wave
with wave.open(sys.argv[1], 'rb') as w:
    params = {'channels': w.getnchannels(), 'width': w.getsampwidth(), 'rate': w.getframerate(), 'frames': w.getnframes(), 'compression': w.getcomptype()}
    data = w.readframes(w.getnframes())
sys.stderr.write(json.dumps(params) + '\\n')
sys.stdout.buffer.write(data)
`;

// The 16-bit value the export writes for a sample: clamped, scaled by 32768
// below zero and 32767 above, rounded half away from zero.
function pcm16(x) {
  const c = Math.max(-1, Math.min(1, x));
  const scaled = c < 0 ? c * 32768 : c * 32767;
  return Math.sign(scaled) * Math.round(Math.abs(scaled));
}

test('presets and export on disk during a stream', { skip, timeout: 150000 }, async (t) => {
  await withStage({ podOptions: { sliceIntervalMs: 100 } }, async (stage) => {
    const commands = [];
    stage.pod.on('command', ({ doc }) => commands.push(doc));
    await stage.addFeeder();
    await stage.printAndStream({ bars: 1 });
    stage.host.fromInterface('prompt_b', 'ambient choir');
    stage.host.fromInterface('blend', 0.25);
    stage.host.fromInterface('knob', 'ch_g1', 1.3);

    await t.test('a preset saved into the Live Set folder is recalled from it', async () => {
      let from = stage.events.length;
      stage.host.fromInterface('snapshot_req', '');
      const snapshot = await stage.waitForEvent('snapshot', 20000, { from });
      const ref = String(snapshot.args[0]);
      assert.match(ref, /^file:Omber\/configs\/[0-9a-f]{12}\.json$/);
      const file = path.join(stage.setDir, ref.slice('file:'.length));
      await stage.host.files.idle();
      const doc = JSON.parse(fs.readFileSync(file, 'utf8'));
      assert.equal(doc.prompts.b, 'ambient choir');
      assert.equal(doc.prompts.blend, 0.25);

      // Steer away, then recall: the stored state returns at the next bar
      // line and reaches the pod.
      stage.host.fromInterface('prompt_b', 'hard techno');
      stage.host.fromInterface('blend', 0.9);
      stage.host.fromInterface('knob', 'ch_g1', 0.2);
      await stage.waitFor(() => commands.some((c) => c.type === 'params' && c.raw.ch_g1 === 0.2), 20000, 'the changed knob on the pod');
      from = stage.events.length;
      const sentBefore = commands.length;
      stage.host.fromInterface('recall', ref);
      const read = await stage.waitForEvent('preset:read', 20000, { from });
      assert.equal(read.args[0], file);
      await stage.waitForEvent('echo', 30000, { from, match: (a) => a[0] === 'blend' && a[1] === 0.25 });
      await stage.waitFor(() => {
        const after = commands.slice(sentBefore);
        return after.some((c) => c.type === 'prompt' && c.tags_b === 'ambient choir')
          && after.some((c) => c.type === 'params' && c.raw.ch_g1 === 1.3);
      }, 20000, 'the recalled prompt B and knob on the pod');
    });

    await t.test('the exported WAV is the loop region as 16-bit PCM, read back by Python', async () => {
      await stage.settle();
      const band = stage.framesOf(FRAME.Band).at(-1).msg;
      const engine = await stage.engineBuffer();
      const from = stage.events.length;
      stage.host.fromInterface('audio_export_req');
      const write = await stage.waitForEvent('audio:write', 20000, { from });
      const file = String(write.args[0]);
      assert.equal(path.dirname(file), path.join(stage.setDir, 'Omber', 'audio'));
      assert.match(path.basename(file), /^[0-9a-f]{12}\.wav$/);
      await stage.host.files.idle();

      const r = spawnSync('python3', ['-c', READ_WAV, file], { maxBuffer: 1 << 30 });
      assert.equal(r.status, 0, String(r.stderr));
      const params = JSON.parse(String(r.stderr).trim().split('\n').at(-1));
      assert.deepEqual(params, { channels: 2, width: 2, rate: 48000, frames: params.frames, compression: 'NONE' });
      const startFrame = Math.round(band.start * 48000);
      assert.equal(params.frames, Math.round((band.end - band.start) * 48000), 'the loop region\'s length');
      const pcm = new Int16Array(r.stdout.buffer, r.stdout.byteOffset, r.stdout.length / 2);
      let loud = 0;
      for (let i = 0; i < pcm.length; i++) {
        const expected = pcm16(engine.samples[2 * startFrame + i]);
        if (pcm[i] !== expected) assert.fail(`sample ${i}: ${pcm[i]}, expected ${expected}`);
        if (Math.abs(pcm[i]) > 300) loud += 1;
      }
      assert.ok(loud > pcm.length / 100, 'the export holds sound');
    });
  });
});
