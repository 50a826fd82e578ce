'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { floatToHalf, widen } = require('../../../sim/f16');
const { KIND_DIFF, KIND_RAW } = require('../../../sim/wire');
const { sameAsPod, testSource, withPod } = require('./mirror');
const { waitFor } = require('../host/helpers');

const digest = (bytes) => require('crypto').createHash('sha256').update(bytes).digest('hex');

const streaming = (m) => waitFor(() => m.state === 'streaming', { what: 'the source' });

test('the handshake answers init_ack and ready, then the source as halves', async () => {
  const source = testSource(2.5);
  await withPod({}, async ({ pod, open }) => {
    const m = await open({ config: { prompt: 'deep house', depth: 4, steps: 8, sde: false, lora: true, bpm: 124 }, source });
    await streaming(m);
    assert.deepEqual(m.texts.slice(0, 2).map((t) => t.type), ['init_ack', 'ready']);
    const r = m.ready;
    assert.equal(r.duration, 2.5);
    assert.equal(r.bpm, 124);
    assert.equal(r.time_signature, '4/4');
    assert.equal(r.channels, 2);
    assert.ok(Number.isInteger(r.source_epoch) && r.source_epoch >= 1);
    assert.match(r.key, /^[A-G]#? (major|minor)$/);
    assert.deepEqual(r.capabilities, { loop_band: true });
    for (const [name, k] of Object.entries(r.knob_manifest.knobs)) {
      assert.ok(k.min <= k.default && k.default <= k.max, name);
    }
    assert.equal(m.buffer.length, 2.5 * 48000 * 2);
    const session = pod.session;
    // The upload is kept exactly as sent.
    assert.deepEqual(session.upload.samples, source.samples);
    await waitFor(() => m.slices.length >= 1);
    pod.pause();
    await new Promise((resolve) => setTimeout(resolve, 40));
    assert.ok(sameAsPod(m, session));
  });
});

test('the key comes from the prompt, else from the uploaded audio', async () => {
  await withPod({}, async ({ open }) => {
    const a = await open({ config: { prompt: 'ambient, key of F# major', depth: 4, steps: 8, sde: false, lora: true }, source: testSource(1) });
    const b = await open({ source: testSource(1, 261.63) }); // C
    await streaming(a);
    await streaming(b);
    assert.equal(a.ready.key, 'F# major');
    assert.match(b.ready.key, /^C /);
  });
});

test('raw and difference slices keep the client equal to the pod, bit for bit', async () => {
  await withPod({ sliceKinds: 'alternate' }, async ({ pod, open }) => {
    const m = await open({ source: testSource(3) });
    await streaming(m);
    await waitFor(() => m.slices.length >= 12, { what: 'slices' });
    pod.pause();
    await new Promise((resolve) => setTimeout(resolve, 40));
    const kinds = new Set(m.slices.map((s) => s.kind));
    assert.deepEqual([...kinds].sort(), [KIND_RAW, KIND_DIFF]);
    const s = m.slices[0];
    assert.equal(s.channels, 2);
    assert.equal(s.frames, 48000); // two beats at 120 bpm
    assert.equal(s.startSeconds, s.startFrame / 48000);
    assert.deepEqual(m.slices.map((x) => x.seq).slice(0, 4), [1, 2, 3, 4]);
    assert.ok(sameAsPod(m, pod.session), 'client and pod differ');
    // The slices changed the audio: the source alone is no longer what plays.
    assert.ok(pod.session.stats.slices >= 12);
  });
});

test('differences are exact even where no half-precision difference exists', () => {
  const { HalfBuffer } = require('../../../sim/buffer');
  const b = new HalfBuffer(4);
  const start = [0.5, -0.5, -0, 1, 0.0001, 0.999, -1, 3e-5];
  b.setFromFloats(start);
  const mirror = widen(b.halves);
  const target = new Uint16Array([0.4999, 0.7, 0, -1, -0.9, -0.0001, 0.25, -0].map(floatToHalf));
  const diff = b.writeDifference(0, target);
  const d = widen(diff);
  for (let i = 0; i < mirror.length; i++) mirror[i] = Math.fround(mirror[i] + d[i]);
  assert.deepEqual(new Uint32Array(mirror.buffer), new Uint32Array(widen(b.halves).buffer));
  // Where an exact step exists the target is reached.
  assert.equal(widen(b.halves)[1], widen(target)[1]);
});

test('commands steer; bad ones answer command_failed', async () => {
  await withPod({ sliceIntervalMs: 1000 }, async ({ pod, open }) => {
    const m = await open({ source: testSource(4) });
    await streaming(m);
    const s = pod.session;
    m.send({ type: 'prompt', tags: 'ambient dark', tags_b: 'heavy dubstep' });
    m.send({ type: 'set_prompt_blend', value: 0.8 }, { binary: true }); // either frame kind is accepted
    m.send({ type: 'params', raw: { denoise: 0.4, ch_g0: 0 }, playback_pos: 1.25, client_time: 3, slice_bytes_rx: 0 });
    m.send({ type: 'enable_lora', id: 'vhs', strength: 0.5 });
    m.send({ type: 'enable_lora', id: 'nope', strength: 1 });
    m.send({ type: 'loop_band', start_sec: 1, end_sec: 3 });
    m.send({ type: 'loop_band', start_sec: 3, end_sec: 1 });
    m.send({ type: 'set_timbre_fixture', name: 'choir' });
    m.send({ type: 'set_structure_fixture', name: 'nowhere' });
    m.send({ type: 'frobnicate' });
    m.send({ type: 'set_prompt_blend' });
    await waitFor(() => s.stats.commands === 11, { what: 'commands' });
    await waitFor(() => m.texts.filter((t) => t.type === 'command_failed').length === 5);
    assert.deepEqual(m.texts.filter((t) => t.type === 'command_failed').map((t) => t.command),
      ['enable_lora', 'loop_band', 'set_structure_fixture', 'frobnicate', 'set_prompt_blend']);
    assert.equal(s.promptB, 'heavy dubstep');
    assert.equal(s.blend, 0.8);
    assert.equal(s.playbackPos, 1.25);
    assert.deepEqual([...s.loras], [['vhs', 0.5]]);
    assert.deepEqual(s.band, [1, 3]);
    assert.equal(s.timbre.name, 'choir');
    // Regions stay inside the band, starting just ahead of the play head.
    const regions = [1, 2, 3, 4].map(() => s.nextRegion());
    assert.deepEqual(regions.map((r) => r.start / 48000), [2, 1, 2, 1]);
  });
});

test('a swap answers swap_ready and a new source of the next epoch; slices follow it', async () => {
  await withPod({ sliceIntervalMs: 15 }, async ({ pod, open }) => {
    const m = await open({ source: testSource(2) });
    await streaming(m);
    const before = m.epoch;
    m.send({ type: 'swap_source', use_server_source: true, fixture_name: 'atlantis' });
    m.send({ type: 'swap_source', use_server_source: true, fixture_name: 'break' });
    await waitFor(() => m.sources === 2, { what: 'the swapped source' });
    const ready = m.lastText('swap_ready');
    assert.deepEqual(ready, { type: 'swap_ready', duration: 2, channels: 2, source_epoch: before + 1 });
    assert.equal(m.lastText('command_failed').command, 'swap_source');
    const seen = m.slices.length;
    await waitFor(() => m.slices.length >= seen + 6);
    pod.pause();
    await new Promise((resolve) => setTimeout(resolve, 40));
    assert.ok(sameAsPod(m, pod.session));
  });
});

test('write_audio lands in the pod buffer and reaches the client; stale and bad writes fail', async () => {
  await withPod({ sliceIntervalMs: 15 }, async ({ pod, open }) => {
    const m = await open({ source: testSource(2) });
    await streaming(m);
    pod.pause();
    const s = pod.session;
    const print = new Float32Array(4800 * 2).map((_, i) => ((i % 200) - 100) / 400);
    const fail = (cmd, audio) => {
      m.send(cmd);
      if (audio) m.sendAudio(audio, 2);
    };
    fail({ type: 'write_audio', at_s: 0.5, mix: 'replace', source_epoch: s.epoch + 7 }, print);
    fail({ type: 'write_audio', at_s: 5, source_epoch: s.epoch }, print);
    fail({ type: 'write_audio', at_s: 0, mix: 'smear' }, print);
    fail({ type: 'write_audio', at_s: 0 }); // no audio follows: the next command arrives instead
    m.send({ type: 'write_audio', at_s: 0.5, mix: 'replace', source_epoch: s.epoch });
    m.sendAudio(print, 2);
    await waitFor(() => m.texts.filter((t) => t.type === 'audio_write_failed').length === 4);
    await waitFor(() => s.dirty.length === 1);
    const errors = m.texts.filter((t) => t.type === 'audio_write_failed').map((t) => t.error);
    assert.match(errors[0], /^stale source_epoch/);
    assert.match(errors[1], /outside the source/);
    assert.match(errors[2], /unknown mix/);
    assert.equal(errors[3], 'audio payload missing');
    const at = 24000 * 2;
    assert.deepEqual(Array.from(s.buffer.halves.subarray(at, at + print.length)), Array.from(print, floatToHalf));
    pod.resume();
    await waitFor(() => s.dirty.length === 0 && m.slices.length > 0);
    pod.pause();
    await new Promise((resolve) => setTimeout(resolve, 40));
    assert.ok(sameAsPod(m, s));

    // "fill" tiles the audio through the whole source, aligned at at_s.
    m.send({ type: 'write_audio', at_s: 0.05, repeat: 'fill' });
    m.sendAudio(print, 2);
    await waitFor(() => s.dirty.length === 1);
    const frame = (f) => s.buffer.halves[f * 2];
    assert.equal(frame(2400), floatToHalf(print[0]));
    assert.equal(frame(2400 + 4800 * 3 + 10), floatToHalf(print[20]));
    assert.equal(frame(10), floatToHalf(print[(4800 - 2400 + 10) * 2]));
  });
});

test('the pod can fail the handshake, drop the socket, corrupt a slice and delay', async () => {
  await withPod({ rejectHandshake: 'no GPU free' }, async ({ open }) => {
    const m = await open({ source: testSource(1) });
    await waitFor(() => m.closeCode !== null);
    assert.deepEqual(m.texts, [{ type: 'error', message: 'no GPU free' }]);
  });
  await withPod({}, async ({ open }) => {
    const m = await open({ config: { nothing: true } });
    await waitFor(() => m.closeCode !== null);
    assert.deepEqual(m.texts, [{ type: 'error', message: 'malformed configuration' }]);
  });
  await withPod({ sliceIntervalMs: 15 }, async ({ pod, open }) => {
    const m = await open({ source: testSource(2) });
    await streaming(m);
    pod.corruptNextSlice('zstd');
    pod.corruptNextSlice('short');
    await waitFor(() => m.decodeErrors.length === 2 && m.slices.length >= 4);
    assert.equal(m.decodeErrors[1], 'short slice');
    pod.pause();
    await new Promise((resolve) => setTimeout(resolve, 40));
    assert.ok(sameAsPod(m, pod.session), 'a corrupt slice changed the pod buffer');

    pod.setDelay(150);
    const t0 = Date.now();
    m.send({ type: 'frobnicate' });
    await waitFor(() => m.lastText('command_failed'));
    assert.ok(Date.now() - t0 >= 140);
    pod.setDelay(0);
    pod.dropConnections();
    await waitFor(() => m.closeCode !== null);
    assert.equal(m.closeCode, 1006);
  });
  await withPod({ sliceIntervalMs: 10, dropAfterSlices: 3 }, async ({ pod, open }) => {
    const m = await open({ source: testSource(1) });
    await waitFor(() => m.closeCode !== null);
    assert.equal(pod.slicesSent, 3);
  });
});

test('the same inputs give the same source and the same slices', async () => {
  const run = () => withPod({ sliceKinds: 'alternate', seed: 42 }, async ({ pod, open }) => {
    const m = await open({ source: testSource(2) });
    await streaming(m);
    await waitFor(() => m.slices.length >= 6);
    pod.pause();
    return { source: digest(m.sourceBytes), slices: m.slices.slice(0, 6).map((s) => [s.kind, s.startFrame, digest(s.payload)]) };
  });
  const a = await run();
  const b = await run();
  assert.equal(a.source, b.source);
  assert.deepEqual(a.slices, b.slices);
});

test('the lookup and catalog answers come over HTTP on the same port', async () => {
  await withPod({}, async ({ info }) => {
    const endpoint = await (await fetch(info.lookupUrl)).json();
    assert.deepEqual(endpoint, { ws_url: info.url });
    const catalog = await (await fetch(info.catalogUrl)).json();
    assert.ok(catalog.every((e) => typeof e.id === 'string' && typeof e.trigger === 'string'));
    assert.equal((await fetch(info.lookupUrl.replace('endpoint', 'nothing'))).status, 404);
  });
});
