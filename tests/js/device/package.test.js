'use strict';
// scripts/package writes the Max package; unpacked into a temporary folder,
// its host runs (under the max-api stand-in, as node.script would start it)
// against the simulated pod with a headless omber~ feeder and player: a
// print becomes the source, the stream starts, a preset is saved into the
// Live Set folder, and closing the patch ends the host and its listener.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const net = require('net');
const os = require('os');
const path = require('path');
const readline = require('readline');
const { execFileSync, spawn } = require('child_process');
const { Pod } = require('../../../sim/pod');
const { LiveClock } = require('../../../sim/live-clock');
const { findMaxhost, maxhostRunner } = require('../../../sim/runners');
const { makeTrack } = require('../../../sim/performance');
const { writeWav } = require('../../../sim/wavfile');
const { checkPatchText, loadContext } = require('../../../device/check');

const root = path.join(__dirname, '..', '..', '..');
const buildDir = process.env.OMBER_BUILD_DIR || path.join(root, 'build');
const maxhost = findMaxhost(buildDir);
const addonBuilt = fs.existsSync(path.join(buildDir, 'addon', 'omber-core.node'));
const skip = !addonBuilt ? `no omber-core.node in ${buildDir}` : !maxhost ? 'omber-maxhost is not built' : false;
const tag = `${process.platform}-${process.arch}`;
const { version } = require('../../../package.json');

const REQUIRED = [
  'package-info.json',
  'README.txt',
  'code/omber-host.js',
  'code/omber-host/package.json',
  'code/omber-host/host/max.js',
  `code/omber-host/addons/${tag}/omber-core.node`,
  'code/omber-host/node_modules/ws/index.js',
  'patchers/Omber.maxpat',
  'help/omber~.maxhelp',
  'licenses/omber.txt',
  'licenses/max-sdk.txt',
  'licenses/zstd.txt',
  'licenses/zlib.txt',
  'licenses/ws.txt',
];

// The host from the package, as node.script runs it: patch messages in as
// JSON lines, outlets out as JSON lines.
function startPackagedHost(top) {
  const env = { ...process.env };
  delete env.OMBER_ADDON;
  delete env.OMBER_BUILD_DIR;
  const child = spawn(process.execPath, ['-r', path.join(__dirname, 'max-api-stand-in.js'), path.join(top, 'code', 'omber-host.js')], {
    cwd: os.tmpdir(), env, stdio: ['pipe', 'pipe', 'pipe'],
  });
  const outlets = [];
  let posts = '';
  const waiters = [];
  readline.createInterface({ input: child.stdout }).on('line', (line) => {
    outlets.push(JSON.parse(line));
    for (const w of waiters.slice()) w();
  });
  child.stderr.on('data', (d) => { posts += d; });
  const exited = new Promise((resolve) => child.once('exit', (code) => resolve(code)));
  return {
    child,
    exited,
    outlets,
    posts: () => posts,
    send: (...atoms) => { if (child.stdin.writable) child.stdin.write(`${JSON.stringify(atoms)}\n`); },
    waitFor(selector, ms, match = () => true) {
      return new Promise((resolve, reject) => {
        const check = () => {
          const hit = outlets.find((o) => o[0] === selector && match(o));
          if (!hit) return;
          clearTimeout(timer);
          waiters.splice(waiters.indexOf(check), 1);
          resolve(hit);
        };
        const timer = setTimeout(() => reject(new Error(`no "${selector}" within ${ms} ms; posts:\n${posts}\noutlets: ${JSON.stringify(outlets)}`)), ms);
        waiters.push(check);
        check();
      });
    },
  };
}

function refused(port) {
  return new Promise((resolve) => {
    const s = net.connect(port, '127.0.0.1');
    s.once('connect', () => { s.destroy(); resolve(false); });
    s.once('error', () => resolve(true));
  });
}

test('the Max package holds the layout and runs its host against the simulated pod', { skip, timeout: 150000 }, async (t) => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'omber-package-test-'));
  const cleanups = [() => fs.rmSync(dir, { recursive: true, force: true })];
  try {
    execFileSync(path.join(root, 'scripts', 'package'), ['--out', path.join(dir, 'dist'), '--build', buildDir, '--platform', tag], { stdio: 'pipe' });
    const zip = path.join(dir, 'dist', `Omber-${version}-${tag}.zip`);
    assert.ok(fs.existsSync(zip), 'the zip is written');
    execFileSync('python3', ['-m', 'zipfile', '-e', zip, path.join(dir, 'unpacked')]);
    const top = path.join(dir, 'unpacked', 'Omber');

    await t.test('every file of the layout is there', () => {
      for (const f of REQUIRED) assert.ok(fs.existsSync(path.join(top, f)), `missing ${f}`);
      assert.ok(fs.statSync(path.join(top, 'externals')).isDirectory());
      const info = JSON.parse(fs.readFileSync(path.join(top, 'package-info.json'), 'utf8'));
      assert.equal(info.name, 'Omber');
      assert.equal(info.version, version);
      if (process.platform === 'linux') assert.match(fs.readFileSync(path.join(top, 'README.txt'), 'utf8'), /for testing only/);
      assert.deepEqual(checkPatchText(fs.readFileSync(path.join(top, 'patchers', 'Omber.maxpat'), 'utf8'), loadContext()), []);
    });

    await t.test('its host performs: print, stream, preset, and ends when the patch closes', async () => {
      const pod = new Pod({ sliceIntervalMs: 200 });
      const info = await pod.start();
      cleanups.unshift(() => pod.stop());
      const host = startPackagedHost(top);
      cleanups.unshift(() => { host.child.kill('SIGKILL'); });
      const [, port, token] = await host.waitFor('host:port', 20000);
      assert.match(String(token), /^[0-9a-f]{32}$/, 'the host hands every omber~ its session token');
      for (let i = 0; i < 100 && !/bridge listening/.test(host.posts()); i++) await new Promise((r) => setTimeout(r, 20));
      assert.match(host.posts(), new RegExp(`bridge listening on 127.0.0.1:${port}`));

      const setDir = path.join(dir, 'Live Set');
      fs.mkdirSync(setDir);
      host.send('host:pod', 'text', info.url);
      host.send('live_path', path.join(setDir, 'Packaged.als'));

      const runner = maxhostRunner(maxhost, { workDir: path.join(dir, 'runners') });
      const track = makeTrack(120, 16);
      const trackPath = path.join(dir, 'track.wav');
      writeWav(trackPath, track.samples);
      const feeder = await runner.startFeeder(port, { trackPath, token });
      const player = await runner.startPlayer(port, { wavOut: path.join(dir, 'player.wav'), token });
      cleanups.unshift(() => feeder.kill(), () => player.kill());

      // Both have said hello (each reports its play head once after it):
      // capture is switched on for the feeders known when the print is armed.
      await host.waitFor('ui:position', 15000, () => host.outlets.filter((o) => o[0] === 'ui:position').length >= 2);
      const clock = new LiveClock({ bpm: 120, send: (sel, ...args) => host.send(sel, ...args) });
      cleanups.unshift(() => clock.stop());
      host.send('prompt', 'text', 'deep', 'house');
      clock.start();
      host.send('canvas_arm', 1);
      await host.waitFor('ui:status', 10000, (o) => /^print armed/.test(o[1]));
      await host.waitFor('param:start', 60000);
      const [, sections] = await host.waitFor('ui:ready', 10000);
      assert.ok(sections >= 1);

      host.send('snapshot_req', '-');
      const [, reference] = await host.waitFor('snapshot', 10000);
      assert.match(reference, /^file:Omber\/configs\/[0-9a-f]{12}\.json$/);
      const preset = path.join(setDir, reference.slice('file:'.length));
      for (let i = 0; i < 100 && !fs.existsSync(preset); i++) await new Promise((r) => setTimeout(r, 50));
      assert.equal(JSON.parse(fs.readFileSync(preset, 'utf8')).prompts.a, 'deep house');

      clock.stop();
      host.child.stdin.end(); // Max closes the patch
      assert.equal(await host.exited, 0);
      assert.ok(await refused(port), 'the bridge listener is closed');
    });
  } finally {
    for (const c of cleanups) await c();
  }
});
