'use strict';
// The pod's fault options, seen from a client that does with the stream
// what the engine does (mirror.js): cut sessions, broken and misplaced
// slices, misstated epochs, and closed sessions giving their audio back.
const test = require('node:test');
const assert = require('node:assert/strict');
const { rleZstdFrame } = require('../../../sim/session');
const { loadZstd } = require('../../../sim/zstd');
const { sameAsPod, testSource, withPod: withPodOf } = require('./mirror');
const { waitFor } = require('../host/helpers');

// Short sources: these tests restart sessions often.
const withPod = (options, fn) => withPodOf({ maxDurationS: 2, ...options }, fn);

const quietly = async (pod, m) => {
  pod.pause();
  let last = -1;
  await waitFor(() => { const n = m.slices.length; const q = n === last; last = n; return q; }, { what: 'quiet' });
};

test('a session is cut right after its k-th message, and only the next one', async () => {
  await withPod({}, async ({ pod, open }) => {
    pod.cutNextSessionAfter(2);
    const cut = await open({ source: testSource(1) });
    await waitFor(() => cut.closeCode !== null, { what: 'the cut' });
    assert.deepEqual(cut.texts.map((t) => t.type), ['init_ack', 'ready']);
    assert.equal(cut.buffer, null);
    assert.equal(cut.closeCode, 1006);
    const next = await open({ source: testSource(1) });
    await waitFor(() => next.slices.length >= 3, { what: 'slices of the next session' });
    assert.equal(next.closeCode, null);
  });
});

test('cut on connection: nothing is sent', async () => {
  await withPod({}, async ({ pod, open }) => {
    pod.cutNextSessionAfter(0);
    const m = await open({ source: testSource(1) }).catch(() => null);
    if (m) await waitFor(() => m.closeCode !== null, { what: 'the cut' });
    assert.ok(!m || m.texts.length === 0);
  });
});

test('broken slices leave the pod buffer alone; misplaced ones change what fits', async () => {
  await withPod({}, async ({ pod, open }) => {
    const m = await open({ source: testSource(2) });
    await waitFor(() => m.state === 'streaming' && m.slices.length >= 2, { what: 'streaming' });
    const seen = [];
    pod.on('slice', (s) => { if (s.corrupt) seen.push(s); });
    for (const mode of ['zstd', 'truncated', 'oversized', 'short', 'past-end', 'straddle']) pod.corruptNextSlice(mode);
    await waitFor(() => seen.length === 6, { what: 'the broken slices' });
    await quietly(pod, m);
    assert.deepEqual(seen.map((s) => s.corrupt), ['zstd', 'truncated', 'oversized', 'short', 'past-end', 'straddle']);
    // Three zstd payloads fail to decode (the oversized one only for a
    // decoder with a cap; the mirror has none) and one is no slice.
    assert.equal(m.decodeErrors.filter((e) => e === 'short slice').length, 1);
    assert.ok(m.decodeErrors.length >= 3);
    const frames = pod.session.frames;
    const misplaced = m.slices.filter((s) => s.startFrame >= frames - 48000 && s.kind === 0);
    assert.ok(misplaced.some((s) => s.startFrame === frames + 1), 'a slice past the end');
    assert.ok(misplaced.some((s) => s.startFrame < frames), 'a slice over the end');
    assert.ok(sameAsPod(m, pod.session));
  });
});

test('the oversized zstd frame decodes to 275 MB of zeros in a few kilobytes', async () => {
  const zstd = await loadZstd();
  const small = rleZstdFrame(3);
  assert.deepEqual(zstd.decompress(small), Buffer.alloc(3 * 131072));
  const big = rleZstdFrame(2100);
  assert.ok(big.length < 10000);
  assert.ok(2100 * 131072 > 268435456);
});

test('a misstated epoch is announced once, in the next ready or swap_ready', async () => {
  await withPod({}, async ({ pod, open }) => {
    pod.misstateNextEpoch('seven');
    const m = await open({ source: testSource(1) });
    await waitFor(() => m.state === 'streaming', { what: 'streaming' });
    assert.equal(m.ready.source_epoch, 'seven');
    pod.misstateNextEpoch(-3);
    m.send({ type: 'swap_source', fixture_name: 'break' });
    await waitFor(() => m.lastText('swap_ready'), { what: 'the swap' });
    assert.equal(m.lastText('swap_ready').source_epoch, -3);
    const other = await open({ source: testSource(1) });
    await waitFor(() => other.state === 'streaming', { what: 'streaming' });
    assert.equal(other.ready.source_epoch, pod.epoch);
  });
});

test('closed sessions keep their counts but give their audio back; the newest keeps it', async () => {
  await withPod({}, async ({ pod, open }) => {
    const a = await open({ source: testSource(1) });
    await waitFor(() => a.state === 'streaming', { what: 'streaming' });
    const first = pod.session;
    a.close();
    await waitFor(() => first.closed, { what: 'the close' });
    assert.ok(first.buffer, 'the newest session keeps its audio after closing');
    const b = await open({ source: testSource(1) });
    await waitFor(() => b.state === 'streaming', { what: 'streaming' });
    assert.equal(first.buffer, null);
    assert.equal(first.upload, null);
    assert.ok(pod.stats().slices >= first.stats.slices);
    assert.equal(pod.stats().sessions, 2);
  });
});

test('a broken swap sends no audio, or a stray byte after it; the pod keeps its source', async () => {
  await withPod({}, async ({ pod, open }) => {
    const m = await open({ source: testSource(1) });
    await waitFor(() => m.state === 'streaming', { what: 'streaming' });
    const events = [];
    pod.on('swap', (e) => events.push(e.broken));
    const swap = async (fixture) => {
      const sources = m.sources;
      m.send({ type: 'swap_source', fixture_name: fixture });
      await waitFor(() => m.sources > sources, { what: 'the swapped source' });
    };
    pod.breakNextSwap('empty');
    await swap('break');
    assert.equal(m.sourceBytes.length, 0);
    assert.equal(pod.session.buffer.halves.length, pod.session.frames * 2);
    pod.breakNextSwap('odd');
    await swap('dub');
    assert.equal(m.sourceBytes.length, pod.session.frames * 4 + 1);
    await swap('disco');
    assert.equal(m.sourceBytes.length, pod.session.frames * 4);
    assert.deepEqual(events, ['empty', 'odd', null]);
    await quietly(pod, m);
    assert.ok(sameAsPod(m, pod.session));
  });
});
