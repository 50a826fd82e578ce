'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');
const { Host } = require('../../../host/core');
const { checkPath } = require('../../../host/files');
const { FakeEngine, ManualClock } = require('./helpers');

function setup(config = {}, fsp = undefined) {
  const set = fs.mkdtempSync(path.join(os.tmpdir(), 'omber-set-'));
  const engine = new FakeEngine();
  const ui = [];
  const host = new Host({ engine, config, fsp, clock: new ManualClock(), toInterface: (...m) => ui.push(m) });
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
    // The engine hears of the failed save, so it keeps no reference to it.
    assert.deepEqual(engine.find('preset:write_failed'), [['preset:write_failed', `${set}/Omber/configs/x.json`, 'ENOTDIR']]);
  } finally {
    done();
  }
});

test('paths outside the preset and audio folders are refused', async () => {
  assert.equal(checkPath('/set/Omber/configs/a.json', 'preset'), null);
  assert.equal(checkPath('C:\\Users\\me\\Set/Omber/configs/a.json', 'preset', 'win32'), null);
  assert.equal(checkPath('C:/Users/me/Set/Omber/configs/a.json', 'preset', 'win32'), null);
  // Elsewhere a drive letter names a relative path: it would land in the
  // working folder.
  for (const platform of ['linux', 'darwin']) {
    assert.equal(checkPath('C:\\Users\\me\\Set\\Omber\\configs\\a.json', 'preset', platform), 'drive-letter path on this system');
    assert.equal(checkPath('C:/Users/me/Set/Omber/configs/a.json', 'preset', platform), 'drive-letter path on this system');
    // A backslash is a plain character in a name there, no separator.
    assert.equal(checkPath('/set/Omber\\configs\\a.json', 'preset', platform), 'path is not in Omber/configs');
  }
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
    assert.deepEqual(engine.find('preset:write_failed'), [['preset:write_failed', `${set}/elsewhere.json`, 'path is not in Omber/configs']]);
  } finally {
    done();
  }
});

test('a FIFO as a preset is refused at once: later saves, reads and quitting go on', async () => {
  const { set, engine, ui, host, done } = setup();
  try {
    const dir = `${set}/Omber/configs`;
    fs.mkdirSync(dir, { recursive: true });
    execFileSync('mkfifo', [`${dir}/stuck.json`]);
    const began = Date.now();
    engine.emit('preset:read', `${dir}/stuck.json`);
    engine.emit('preset:write', `${dir}/after.json`, '{"version":1}');
    engine.emit('preset:read', `${dir}/after.json`);
    await host.files.idle();
    assert.ok(Date.now() - began < 2000, `took ${Date.now() - began} ms`);
    assert.deepEqual(engine.find('preset:data'), [['preset:data', '{"version":1}']]);
    assert.deepEqual(ui.map((m) => m[1]), ['could not read preset stuck.json: not a regular file']);
    engine.emit('preset:read', `${dir}/stuck.json`);
    const quit = Date.now();
    await host.stop();
    assert.ok(Date.now() - quit < 1500, `quitting took ${Date.now() - quit} ms`);
  } finally {
    done();
  }
});

// A file system whose chosen calls never finish (a hung disk or share).
function stalling(...names) {
  const fsp = { ...fs.promises };
  for (const n of names) fsp[n] = () => new Promise(() => {});
  return fsp;
}

test('a read or write that never finishes fails after its time and frees the queue', async () => {
  const { set, engine, ui, host, done } = setup({ fileTimeoutMs: 100 }, stalling('writeFile', 'open'));
  try {
    const dir = `${set}/Omber/configs`;
    engine.emit('preset:write', `${dir}/a.json`, '{}');
    engine.emit('preset:read', `${dir}/a.json`);
    engine.emit('audio:write', `${set}/Omber/audio/b.wav`, Buffer.from([1, 2]));
    await host.files.idle();
    assert.deepEqual(ui.map((m) => m[1]), [
      'could not save preset a.json: timed out after 100 ms',
      'could not read preset a.json: timed out after 100 ms',
      'could not export audio b.wav: timed out after 100 ms',
    ]);
    assert.deepEqual(engine.find('preset:write_failed'), [['preset:write_failed', `${dir}/a.json`, 'timed out after 100 ms']]);
    const quit = Date.now();
    engine.emit('preset:write', `${dir}/c.json`, '{}');
    await host.stop();
    assert.ok(Date.now() - quit < 1500, `quitting took ${Date.now() - quit} ms`);
  } finally {
    done();
  }
});

test('a write that finishes after its time is not renamed into place over a newer save', async () => {
  let release;
  const slow = { ...fs.promises };
  let first = true;
  slow.writeFile = async (...args) => {
    if (first) {
      first = false;
      await new Promise((resolve) => { release = resolve; });
    }
    return fs.promises.writeFile(...args);
  };
  const { set, engine, host, done } = setup({ fileTimeoutMs: 100 }, slow);
  try {
    const file = `${set}/Omber/configs/p.json`;
    engine.emit('preset:write', file, '{"old":1}');
    engine.emit('preset:write', file, '{"new":1}');
    await host.files.idle();
    assert.equal(fs.readFileSync(file, 'utf8'), '{"new":1}');
    release();
    await new Promise((resolve) => setTimeout(resolve, 100));
    assert.equal(fs.readFileSync(file, 'utf8'), '{"new":1}');
    assert.deepEqual(fs.readdirSync(path.dirname(file)), ['p.json'], 'the late temporary file was left');
  } finally {
    done();
  }
});

test('temporary files left by an interrupted write are removed at the next write there', async () => {
  const { set, engine, host, done } = setup();
  try {
    const dir = `${set}/Omber/configs`;
    fs.mkdirSync(dir, { recursive: true });
    const gone = [`a.json.tmp-4194305-0`, `b.json.tmp-${process.pid}-77`]; // a process that is no more; ours, not writing
    const kept = [`c.json.tmp-1-0`, 'notes.txt', 'd.json']; // a process still running; not ours
    for (const name of [...gone, ...kept]) fs.writeFileSync(`${dir}/${name}`, 'x');
    engine.emit('audio:write', `${set}/Omber/audio/e.wav`, Buffer.from([1])); // another folder
    await host.files.idle();
    assert.equal(fs.readdirSync(dir).length, 5);
    engine.emit('preset:write', `${dir}/e.json`, '{}');
    await host.files.idle();
    assert.deepEqual(fs.readdirSync(dir).sort(), [...kept, 'e.json'].sort());
  } finally {
    done();
  }
});
