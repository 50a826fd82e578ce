'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { Host } = require('../../../host/core');
const { checkPath } = require('../../../host/files');
const { FakeEngine, ManualClock } = require('./helpers');

function setup() {
  const set = fs.mkdtempSync(path.join(os.tmpdir(), 'omber-set-'));
  const engine = new FakeEngine();
  const ui = [];
  const host = new Host({ engine, clock: new ManualClock(), toInterface: (...m) => ui.push(m) });
  const done = () => fs.rmSync(set, { recursive: true, force: true });
  return { set, engine, ui, host, done };
}

test('a preset written and read back creates Omber/configs and returns its text', async () => {
  const { set, engine, ui, host, done } = setup();
  try {
    const file = `${set}/Omber/configs/0123456789ab.json`;
    const doc = '{"version":1,"prompts":{"a":"caf\u00e9 noir","b":"","blend":0.4}}';
    engine.emit('preset:write', file, doc);
    engine.emit('preset:read', file); // queued behind the write
    await host.files.idle();
    assert.equal(fs.readFileSync(file, 'utf8'), doc);
    assert.deepEqual(engine.find('preset:data'), [['preset:data', doc]]);
    assert.deepEqual(fs.readdirSync(path.dirname(file)), ['0123456789ab.json'], 'a temporary file was left');
    engine.emit('preset:write', file, '{"version":1}');
    await host.files.idle();
    assert.equal(fs.readFileSync(file, 'utf8'), '{"version":1}');
    assert.deepEqual(ui, []);
  } finally {
    done();
  }
});

test('exported audio lands in Omber/audio byte for byte', async () => {
  const { set, engine, ui, host, done } = setup();
  try {
    const file = `${set}/Omber/audio/abcdefabcdef.wav`;
    const wav = Buffer.from([0x52, 0x49, 0x46, 0x46, 1, 2, 3, 0, 255]);
    engine.emit('audio:write', file, wav);
    await host.files.idle();
    assert.deepEqual(fs.readFileSync(file), wav);
    assert.deepEqual(ui, [['ui:status', 'audio exported to Omber/audio/abcdefabcdef.wav']]);
  } finally {
    done();
  }
});

test('failed reads and writes are reported and nothing answers the engine', async () => {
  const { set, engine, ui, host, done } = setup();
  try {
    engine.emit('preset:read', `${set}/Omber/configs/missing.json`);
    await host.files.idle();
    fs.writeFileSync(`${set}/Omber`, 'a file where the folder should be');
    engine.emit('preset:write', `${set}/Omber/configs/x.json`, '{}');
    engine.emit('audio:write', `${set}/Omber/audio/y.wav`, Buffer.from([1]));
    engine.emit('audio:write', `${set}/Omber/audio/z.wav`, Buffer.alloc(0));
    await host.files.idle();
    assert.deepEqual(engine.find('preset:data'), []);
    assert.deepEqual(ui.map((m) => m[1]), [
      'could not read preset missing.json: file not found',
      'could not save preset x.json: ENOTDIR',
      'could not export audio y.wav: ENOTDIR',
      'could not export audio: no data',
    ]);
  } finally {
    done();
  }
});

test('paths outside the preset and audio folders are refused', async () => {
  assert.equal(checkPath('/set/Omber/configs/a.json', 'preset'), null);
  assert.equal(checkPath('C:\\Users\\me\\Set/Omber/configs/a.json', 'preset'), null);
  assert.equal(checkPath('/set/Omber/audio/a.wav', 'audio'), null);
  assert.equal(checkPath('relative/Omber/configs/a.json', 'preset'), 'path is not absolute');
  assert.equal(checkPath('/set/Omber/configs/../../etc/passwd.json', 'preset'), 'path leaves its folder');
  assert.equal(checkPath('/set/Omber/configs/a.wav', 'preset'), 'name does not end in .json');
  assert.equal(checkPath('/set/Omber/configs/.json', 'preset'), 'name does not end in .json');
  assert.equal(checkPath('/set/Omber/audio/a.json', 'preset'), 'path is not in Omber/configs');
  assert.equal(checkPath('/set/Omber/configs/sub/a.json', 'preset'), 'path is not in Omber/configs');
  assert.equal(checkPath('', 'audio'), 'no path');

  const { set, engine, ui, host, done } = setup();
  try {
    engine.emit('preset:write', `${set}/elsewhere.json`, '{}');
    engine.emit('preset:read', '/etc/hostname');
    await host.files.idle();
    assert.equal(fs.existsSync(`${set}/elsewhere.json`), false);
    assert.deepEqual(ui.map((m) => m[1]), ['could not save preset: path is not in Omber/configs', 'could not read preset: path is not in Omber/configs']);
  } finally {
    done();
  }
});
