'use strict';
// A few cases of every fault class, against the real engine, the host
// script and the simulated pod (the whole matrix: node tests/faults/matrix.js).
// After each fault the stream must come back with the player's copy equal
// to the pod's buffer, and the class must leave no file descriptors behind.
const test = require('node:test');
const assert = require('node:assert/strict');
const { Rig } = require('../../faults/rig');
const { CLASSES, offsets } = require('../../faults/classes');
const { runClass } = require('../../faults/matrix');

test('cut offsets cover the header byte by byte, the rest spread, and the last byte', () => {
  assert.deepEqual(offsets(100, 3, 3), [0, 1, 2, 24, 49, 74, 99]);
  assert.deepEqual(offsets(4, 10, 2), [0, 1, 2, 3]);
});

test('the fault classes, a few cases each', { timeout: 240000 }, async (t) => {
  const rig = await new Rig({ engine: require('../../..') }).open();
  try {
    const first = await rig.startStream();
    assert.ok(first.inSync, 'the first stream is in sync with the pod');
    for (const name of Object.keys(CLASSES)) {
      await t.test(name, async () => {
        const row = await runClass(name, { fast: true, rig });
        assert.ok(row.injected > 0, 'faults were injected');
        assert.deepEqual(row.notes, []);
        assert.equal(row.recovered, row.injected);
        assert.equal(row.engineErrors, 0);
        // Sockets of the class are closed again (a little slack for a
        // socket the pod or the host is still closing).
        assert.ok(row.fdsAfter <= row.fdsBefore + 2, `fds ${row.fdsBefore} -> ${row.fdsAfter}`);
      });
    }
    // What the engine showed: the broken slices were dropped with a notice.
    assert.ok(rig.statuses.includes('corrupt audio slice from pod dropped'));
  } finally {
    await rig.close();
  }
});
