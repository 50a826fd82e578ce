'use strict';
// dispatch before the first onOutlet: no engine exists yet. A file of its
// own, since the engine lives once per process.
const test = require('node:test');
const assert = require('node:assert');
const path = require('path');

const core = require(path.join(__dirname, '..', '..'));

test('dispatch before onOutlet does nothing and returns undefined', () => {
  assert.strictEqual(core.dispatch('ws:open'), undefined);
  assert.strictEqual(core.dispatch('start'), undefined);  // would answer "no source" with an engine
  assert.strictEqual(core.dispatch(), undefined);

  const got = [];
  assert.strictEqual(core.onOutlet((...m) => got.push(m)), undefined);
  assert.deepStrictEqual(got, [], 'nothing was queued before the engine existed');
  core.dispatch('start');
  assert.deepStrictEqual(got, [['ui:status', 'no source: print the track first']]);
});
