'use strict';
// Shared set-up of the end-to-end tests: the built engine, the headless
// omber~ runner, and a stage on loopback that is always torn down.
const fs = require('fs');
const path = require('path');
const { Stage, firstDifference } = require('../../../sim/stage');
const { findMaxhost, maxhostRunner } = require('../../../sim/runners');

const root = path.join(__dirname, '..', '..', '..');
const buildDir = process.env.OMBER_BUILD_DIR || path.join(root, 'build');
const maxhost = findMaxhost(buildDir);
// Builds against a real Max SDK have no headless runner.
const skip = maxhost ? false : `omber-maxhost is not built in ${buildDir}`;

async function withStage(options, body) {
  const stage = new Stage({ engine: require(root), runner: maxhostRunner(maxhost), ...options });
  try {
    await stage.start();
    return await body(stage);
  } finally {
    await stage.stop();
    fs.rmSync(stage.dir, { recursive: true, force: true });
  }
}

// Asserts two buffers hold the same samples bit for bit; a failure names
// the first differing sample.
function assertSameBuffer(assert, actual, expected, what) {
  assert.equal(actual.channels, expected.channels, `${what}: channels`);
  assert.equal(actual.frames, expected.frames, `${what}: frames`);
  const at = firstDifference(actual.samples, expected.samples);
  assert.equal(at, -1, `${what}: first difference at sample ${at} (${actual.samples[at]} vs ${expected.samples[at]})`);
}

module.exports = { withStage, assertSameBuffer, skip };
