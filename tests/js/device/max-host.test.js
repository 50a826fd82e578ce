'use strict';
// The host's Max entry (host/max.js) under the max-api stand-in: the addon
// for this platform, a clear message when it is missing, a restart in the
// same process, textedit fields; and TypeScript's check against max-api's
// published definitions.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const net = require('net');
const os = require('os');
const path = require('path');
const { spawnSync } = require('child_process');
const { startInMax, locateEngine, platformTag } = require('../../../host/max');
const { MaxApiStandIn } = require('./max-api-stand-in');
const { FakeEngine, waitFor } = require('../host/helpers');

const root = path.join(__dirname, '..', '..', '..');

function tempDir() { return fs.mkdtempSync(path.join(os.tmpdir(), 'omber-max-')); }

function refused(port) {
  return new Promise((resolve) => {
    const s = net.connect(port, '127.0.0.1');
    s.once('connect', () => { s.destroy(); resolve(false); });
    s.once('error', () => resolve(true));
  });
}

test('the engine is the addon for this platform, or a clear message naming what the package carries', () => {
  const dir = tempDir();
  try {
    const addons = path.join(dir, 'addons');
    fs.mkdirSync(path.join(addons, 'win32-x64'), { recursive: true });
    fs.writeFileSync(path.join(addons, 'win32-x64', 'omber-core.node'), '');
    assert.deepEqual(locateEngine({ addonsDir: addons, tag: 'win32-x64' }), { file: path.join(addons, 'win32-x64', 'omber-core.node') });
    const missing = locateEngine({ addonsDir: addons, tag: 'darwin-arm64' });
    assert.equal(missing.file, null);
    assert.match(missing.missing, /no engine for darwin-arm64 .*darwin-arm64[/\\]omber-core\.node; it carries win32-x64\)/);
    // A source checkout has no addons folder: the package root's build.
    assert.deepEqual(locateEngine({ addonsDir: path.join(dir, 'none') }), { file: null });
    assert.equal(locateEngine({ enginePath: 'x.node', addonsDir: addons }).file, path.resolve('x.node'));
    assert.equal(platformTag('win32', 'x64'), 'win32-x64');
  } finally {
    fs.rmSync(dir, { recursive: true });
  }
});

test('without an engine for this platform the console and the device say so, and nothing listens', async () => {
  const dir = tempDir();
  const maxApi = new MaxApiStandIn();
  try {
    fs.mkdirSync(path.join(dir, 'linux-arm'), { recursive: true });
    const { host, started } = startInMax({ maxApi, argv: [], addonsDir: dir, tag: 'darwin-arm64' });
    assert.equal(host, null);
    await assert.rejects(started, /no engine for darwin-arm64/);
    assert.deepEqual(maxApi.posts.map((p) => p[1]), ['error']);
    assert.match(maxApi.posts[0][0], /^omber host: this package has no engine for darwin-arm64/);
    assert.equal(maxApi.outlets[0][0], 'ui:status');
    assert.match(maxApi.outlets[0][1], /^this package has no engine for darwin-arm64/);
    assert.equal(maxApi.handlerCount(), 0);
  } finally {
    fs.rmSync(dir, { recursive: true });
  }
});

test('starting again in the same process stops the previous host first and keeps the one engine', async () => {
  const engine = new FakeEngine();
  const onOutlet = engine.onOutlet.bind(engine);
  let registrations = 0;
  engine.onOutlet = (fn) => { registrations += 1; onOutlet(fn); };
  const maxApi = new MaxApiStandIn();
  const first = startInMax({ maxApi, argv: ['--tick-ms', '1000'], engine });
  const port = await first.started;
  const second = startInMax({ maxApi, argv: ['--tick-ms', '1000', '--bridge-port', String(port)], engine });
  try {
    // The second host listens on the port the first one let go of.
    assert.equal(await second.started, port);
    assert.equal(maxApi.handlerCount(), 1);
    assert.equal(registrations, 2);
    maxApi.send('knob', 'denoise', 0.5);
    assert.deepEqual(engine.calls.filter((c) => c[0] === 'knob'), [['knob', 'denoise', 0.5]]);
    assert.equal(first.host.bridge.server, null);
    assert.equal(first.host.ticker.running, false);
  } finally {
    await second.stop();
  }
  assert.equal(maxApi.handlerCount(), 0);
  assert.ok(await refused(port));
});

test('textedit fields lose their leading "text" word; prompts keep it for the engine', async () => {
  const engine = new FakeEngine();
  const maxApi = new MaxApiStandIn();
  const { host, started, stop } = startInMax({ maxApi, argv: ['--tick-ms', '1000'], engine });
  try {
    await started;
    maxApi.send('host:pod', 'text', 'ws://127.0.0.1:9/');
    maxApi.send('timbre', 'text', 'vinyl');
    maxApi.send('prompt', 'text', 'deep', 'house');
    assert.equal(host.cloud.podUrl, 'ws://127.0.0.1:9/');
    await waitFor(() => engine.find('prompt').length === 1);
    assert.deepEqual(engine.find('timbre'), [['timbre', 'vinyl']]);
    assert.deepEqual(engine.find('prompt'), [['prompt', 'text', 'deep', 'house']]);
  } finally {
    await stop();
  }
});

test('TypeScript checks the Max entry against max-api, and a call Max does not offer fails', () => {
  const tsc = path.join(root, 'node_modules', 'typescript', 'bin', 'tsc');
  const good = spawnSync(process.execPath, [tsc, '-p', path.join(root, 'device', 'tsconfig.host.json')], { encoding: 'utf8' });
  assert.equal(good.status, 0, good.stdout + good.stderr);

  const dir = tempDir();
  try {
    const source = fs.readFileSync(path.join(root, 'host', 'max.js'), 'utf8');
    assert.ok(source.includes('maxApi.outlet(selector'));
    fs.writeFileSync(path.join(dir, 'max.js'), source.replace('maxApi.outlet(selector', 'maxApi.outletList(selector'));
    fs.writeFileSync(path.join(dir, 'tsconfig.json'), JSON.stringify({
      extends: path.join(root, 'device', 'tsconfig.host.json'),
      compilerOptions: { typeRoots: [path.join(root, 'node_modules', '@types')] },
      files: ['max.js'],
    }));
    const bad = spawnSync(process.execPath, [tsc, '-p', path.join(dir, 'tsconfig.json')], { encoding: 'utf8' });
    assert.notEqual(bad.status, 0);
    assert.match(bad.stdout, /Property 'outletList' does not exist on type 'typeof MaxAPIStatic'/);
  } finally {
    fs.rmSync(dir, { recursive: true });
  }
});
