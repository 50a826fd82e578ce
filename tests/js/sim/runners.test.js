'use strict';
// The headless runner's diagnostics as the JavaScript side reads them: the
// buffer file, the patch log, and the player's buffer asked for by signal.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { readBufferFile, readPatchLog, maxhostRunner } = require('../../../sim/runners');
const { firstDifference } = require('../../../sim/stage');

function tempDir(t) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'omber-runners-test-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  return dir;
}

function bufferBytes(channels, frames, samples) {
  const out = Buffer.alloc(8 + 4 * samples.length);
  out.writeUInt32LE(channels, 0);
  out.writeUInt32LE(frames, 4);
  samples.forEach((x, i) => out.writeFloatLE(x, 8 + 4 * i));
  return out;
}

test('buffer files: header, samples, and files cut short', (t) => {
  const dir = tempDir(t);
  const file = path.join(dir, 'b.buffer');
  fs.writeFileSync(file, bufferBytes(2, 2, [0.5, -0.25, 1, -0]));
  const b = readBufferFile(file);
  assert.equal(b.channels, 2);
  assert.equal(b.frames, 2);
  assert.deepEqual(Array.from(b.samples), [0.5, -0.25, 1, -0]);
  fs.writeFileSync(file, bufferBytes(2, 3, [0.5, -0.25, 1, 0]));
  assert.throws(() => readBufferFile(file), /short of 2 x 3 samples/);
  fs.writeFileSync(file, Buffer.alloc(5));
  assert.throws(() => readBufferFile(file), /no buffer header/);
});

test('patch logs: whole lines only, times kept exact as BigInt', (t) => {
  const dir = tempDir(t);
  const file = path.join(dir, 'p.patches');
  assert.deepEqual(readPatchLog(file), [], 'no log yet');
  fs.writeFileSync(file, '9007199254740993 48000 24000\nnot a line\n12 0 5\n13 96000');
  assert.deepEqual(readPatchLog(file), [
    { at: 9007199254740993n, startFrame: 48000, frames: 24000 },
    { at: 12n, startFrame: 0, frames: 5 },
  ]);
});

test('bit-for-bit comparison tells zero from negative zero', () => {
  assert.equal(firstDifference(Float32Array.of(1, 2, 3), Float32Array.of(1, 2, 3)), -1);
  assert.equal(firstDifference(Float32Array.of(1, 0, 3), Float32Array.of(1, -0, 3)), 1);
  assert.equal(firstDifference(Float32Array.of(1, 2), Float32Array.of(1, 2, 3)), 2);
});

// A stand-in for omber-maxhost: records its arguments and, on SIGUSR1,
// writes a buffer file to the path after --buffer-out.
const FAKE = `#!/usr/bin/env node
const fs = require('fs');
const args = process.argv.slice(2);
const out = args[args.indexOf('--buffer-out') + 1];
const bytes = Buffer.alloc(16); bytes.writeUInt32LE(2, 0); bytes.writeUInt32LE(1, 4); bytes.writeFloatLE(0.75, 8); bytes.writeFloatLE(-1, 12);
process.on('SIGUSR1', () => { fs.writeFileSync(out + '.part', bytes); fs.renameSync(out + '.part', out); });
process.on('SIGINT', () => process.exit(0));
setInterval(() => {}, 1000);
// Written last: the test signals as soon as it sees this file, and a
// SIGUSR1 before the handler above would start Node's inspector instead.
fs.writeFileSync(args[args.indexOf('--player') + 1] + '.args', JSON.stringify(args));
`;

test('a maxhost player: its arguments, its buffer on request, its stop', async (t) => {
  const dir = tempDir(t);
  const program = path.join(dir, 'fake-maxhost');
  fs.writeFileSync(program, FAKE, { mode: 0o755 });
  const runner = maxhostRunner(program, { vector: 64, rtPriority: 40, workDir: dir });
  const wavOut = path.join(dir, 'p1.wav');
  const player = await runner.startPlayer(7400, { wavOut, token: 'a1b2' });
  t.after(() => player.kill());  // never left running by a failed assertion
  const argsFile = `${wavOut}.args`;
  const end = Date.now() + 20000;
  while (!fs.existsSync(argsFile) && Date.now() < end) await new Promise((r) => setTimeout(r, 20));
  const args = JSON.parse(fs.readFileSync(argsFile, 'utf8'));
  assert.deepEqual(args.slice(0, 6), ['--quiet', '--vector', '64', '--rt-priority', '40', '--port']);
  assert.equal(args[args.indexOf('--port') + 1], '7400');
  assert.equal(args[args.indexOf('--token') + 1], 'a1b2');
  assert.equal(args[args.indexOf('--buffer-out') + 1], player.bufferPath);
  assert.equal(args[args.indexOf('--patch-log') + 1], player.patchLogPath);
  assert.equal(path.dirname(player.bufferPath), dir);

  const b = await player.buffer();
  assert.deepEqual(Array.from(b.samples), [0.75, -1]);
  assert.equal(await player.stop(), 0);
  assert.deepEqual(player.patchLog(), []);
});
