'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { PodProcess } = require('../../../sim/pod-process');
const { Mirror, sameAsPod, testSource } = require('./mirror');
const { waitFor } = require('../host/helpers');

test('a pod in a child process streams, obeys control calls and reports its state', async () => {
  const pod = new PodProcess({ sliceIntervalMs: 15 });
  const info = await pod.start();
  const slices = [];
  pod.on('slice', (s) => slices.push(s));
  const source = testSource(1);
  const m = await Mirror.open(info.url, { source });
  try {
    await waitFor(() => slices.length >= 4, { what: 'slices from the child' });
    assert.equal(typeof slices[0].sentAt, 'bigint');
    assert.ok(slices[0].sentAt <= process.hrtime.bigint(), 'send times share the parent clock');
    await pod.pause();
    await new Promise((resolve) => setTimeout(resolve, 60));
    const snap = await pod.snapshot();
    assert.equal(snap.epoch, m.epoch);
    assert.ok(sameAsPod(m, { buffer: { halves: snap.halves } }));
    assert.deepEqual(snap.upload.samples, source.samples);
    await pod.dropConnections();
    await waitFor(() => m.closeCode !== null);
    assert.equal(m.closeCode, 1006);
  } finally {
    m.close();
    await pod.stop();
  }
  assert.equal(pod.child, null);
});
