'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { PassThrough } = require('stream');
const { parseLine, formatMessage } = require('../../../host/message-text');
const { run } = require('../../../host/cli');
const { startInMax } = require('../../../host/max');
const { FakeEngine, waitFor } = require('./helpers');

const FAKE_ENGINE = path.join(__dirname, 'fake-engine-module.js');

test('interface lines parse into selectors and atoms and print back', () => {
  assert.deepEqual(parseLine('knob denoise 0.5'), ['knob', 'denoise', 0.5]);
  assert.deepEqual(parseLine('prompt "deep house" -3 1e3 .5 x1'), ['prompt', 'deep house', -3, 1000, 0.5, 'x1']);
  assert.deepEqual(parseLine('  live_path "/a b/\\"q\\".als"  '), ['live_path', '/a b/"q".als']);
  assert.deepEqual(parseLine(''), []);
  assert.equal(formatMessage('echo', ['prompt', 'deep house', 0.25, Buffer.alloc(3), '']), 'echo prompt "deep house" 0.25 <3 bytes> ""');
});

function capture() {
  const out = new PassThrough();
  let text = '';
  out.on('data', (d) => { text += d; });
  return { stdout: out, stderr: out, get text() { return text; } };
}

test('the command line runs a script through the engine and prints its answers', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'omber-cli-'));
  const script = path.join(dir, 'perf.txt');
  fs.writeFileSync(script, '# a comment\nhello "big room" 2\nwait 0.05\nbars 8\nquit\nnever sent\n');
  const io = capture();
  const fake = require(FAKE_ENGINE);
  try {
    const { done, host } = await run(['--engine', FAKE_ENGINE, '--script', script, '--no-stdin', '--live-path', '/sets/My Set.als'], io);
    assert.ok(host.bridgePort > 0);
    assert.equal(await done, 0);
    const lines = io.text.trim().split('\n');
    assert.match(host.bridgeToken, /^[0-9a-f]{32}$/);
    assert.deepEqual(lines, [`host:port ${host.bridgePort} ${host.bridgeToken}`, 'ui:status "hi big room 2"']);
    const sent = fake.received.filter((m) => m[0] !== 'tick:param');
    assert.deepEqual(sent, [['live_path', '/sets/My Set.als'], ['hello', 'big room', 2], ['bars', 8]]);
  } finally {
    fs.rmSync(dir, { recursive: true });
  }
});

test('the command line reads standard input and rejects bad options', async () => {
  const io = capture();
  const stdin = new PassThrough();
  const { done } = await run(['--engine', FAKE_ENGINE, '-v'], { ...io, stdin });
  stdin.end('hello there\n');
  assert.equal(await done, 0);
  assert.match(io.text, /^ui:status "hi there"\npeaks 0 2 0.5$/m);

  const bad = capture();
  assert.equal(await (await run(['--tick-ms', 'fast'], bad)).done, 2);
  assert.match(bad.text, /--tick-ms: bad value fast/);
  assert.equal(await (await run(['--bogus'], capture())).done, 2);
});

test('inside Max, patch messages reach the engine and interface messages leave by the outlet', async () => {
  const handlers = {};
  const outlets = [];
  const maxApi = {
    MESSAGE_TYPES: { ALL: 'all' },
    addHandler: (name, fn) => { handlers[name] = fn; },
    outlet: (...atoms) => { outlets.push(atoms); return Promise.resolve(); },
    post: () => Promise.resolve(),
  };
  const engine = new FakeEngine({ start: (emit) => emit('ui:status', 'no source: print the track first') });
  const { host, started } = startInMax({ maxApi, argv: ['--tick-ms', '1000'], engine });
  try {
    const port = await started;
    handlers.all(false, 'start');
    handlers.all('knob', 'denoise', 0.3); // the older handler form, without the flag
    handlers.all(true, 'host:pod', 'ws://127.0.0.1:1234/');
    await waitFor(() => outlets.length === 2);
    assert.deepEqual(outlets, [['host:port', port, host.bridgeToken], ['ui:status', 'no source: print the track first']]);
    assert.deepEqual(engine.calls, [['start'], ['knob', 'denoise', 0.3]]);
    assert.equal(host.cloud.podUrl, 'ws://127.0.0.1:1234/');
  } finally {
    await host.stop();
  }
});
