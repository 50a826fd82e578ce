'use strict';
// Fault classes for what a hostile or broken neighbour can do: local
// processes on the bridge (without the session token, with a wrong one, or
// with the right one misbehaving), a pod that sends too much or too large
// JSON, a lookup that never ends, a preset that cannot be read, a player
// that stops reading during a burst of swaps, a socket lost with data in
// its send buffer, a host script that dispatches again from its callback
// and a pod whose readiness its audio contradicts. Each returns the tally of
// classes.js; the matrix measures the host's memory around every class.
//
// Classes marked bigSource run on a 60 s source in the full matrix (their
// memory figures depend on the size of the buffer every player gets).
const fs = require('fs');
const os = require('os');
const net = require('net');
const http = require('http');
const path = require('path');
const { execFileSync } = require('child_process');
const { FRAME, encodeHello, encodeToken, encodePosition, encodeCapturePcm } = require('../../sim/link');
const { waitFor, sleep, residentMiB, resetPeak, peakResidentMiB, virtualMiB } = require('./rig');

function tally() {
  return { injected: 0, recovered: 0, restarts: 0, notes: [] };
}

// Counts a fault as recovered when `held` is true (what the class checks
// beyond the stream) and the stream came back in sync.
function record(t, what, outcome, held = true, why = '') {
  t.injected += 1;
  if (outcome.restarted) t.restarts += 1;
  if (held && outcome.streaming && outcome.inSync) t.recovered += 1;
  else if (!held) t.notes.push(`${what}: ${why}`);
  else t.notes.push(`${what}: ${outcome.streaming ? 'streaming but out of sync' : 'did not stream again'}`);
}

// Runs one case and notes how far the resident memory rose during it (the
// kernel's high-water mark) and where it settled.
async function measured(t, what, fn) {
  const before = residentMiB();
  const kernel = resetPeak();
  const result = await fn();
  const peak = kernel ? peakResidentMiB() : residentMiB();
  (t.figures = t.figures || []).push(`${what}: RSS ${before.toFixed(0)} -> peak ${peak.toFixed(0)} -> ${residentMiB().toFixed(0)} MiB`);
  return result;
}

// A raw local client of the bridge; `closed` turns true when either side
// ends it (a client that does not read only sees its own end).
async function client(port, { read = true } = {}) {
  const socket = net.connect(port, '127.0.0.1');
  const c = { socket, closed: false, bytes: 0 };
  socket.on('error', () => {});
  socket.on('close', () => { c.closed = true; });
  if (read) socket.on('data', (d) => { c.bytes += d.length; });
  else socket.pause();
  await new Promise((resolve) => socket.once('connect', resolve));
  return c;
}

const bridgeSize = (rig) => rig.host.bridge.connections.size + rig.host.bridge.pending.size;
const backToRigSize = (rig) => waitFor(() => bridgeSize(rig) === rig.players.length + 1, { timeoutMs: 5000 });

// A late player joins, must stream in sync, and leaves again: the bridge
// still takes real players after the attack.
async function lateJoiner(t, rig, what) {
  const late = await rig.addPlayer();
  record(t, `${what}: a player joining afterwards`, await rig.backToStreaming({ player: late }));
  await rig.dropPlayer(late);
}

// ---- a rogue player: no token, Hellos ----------------------------------
// Connections that know no token and say Hello ten times each. The bridge
// refuses every one before the engine hears of it.
async function roguePlayer(rig, { fast }) {
  const t = tally();
  const roles = rig.count('ext:role');
  const n = fast ? 3 : 12;
  const rogues = [];
  const refused = await measured(t, `${n} x 10 Hellos without a token`, async () => {
    for (let i = 0; i < n; i++) {
      const c = await client(rig.port);
      for (let k = 0; k < 10; k++) c.socket.write(encodeHello(0));
      rogues.push(c);
    }
    return waitFor(() => rogues.every((c) => c.closed), { timeoutMs: 5000 });
  });
  await backToRigSize(rig);
  const unheard = rig.count('ext:role') === roles;
  record(t, `${n} connections x 10 Hellos without a token`, await rig.backToStreaming(), refused && unheard,
    refused ? 'the engine heard them' : 'not refused');
  await lateJoiner(t, rig, 'rogue players');
  return t;
}
roguePlayer.bigSource = true;

// ---- a player with the token that says Hello again and again ------------
// Twelve connections with the token, ten Hellos each, reading nothing: each
// may get the buffer once, not ten times.
async function repeatedHellos(rig, { fast }) {
  const t = tally();
  const n = fast ? 3 : 12;
  const rogues = [];
  await measured(t, `${n} x 10 Hellos`, async () => {
    for (let i = 0; i < n; i++) {
      const c = await client(rig.port, { read: false });
      c.socket.write(encodeToken(rig.token));
      for (let k = 0; k < 10; k++) c.socket.write(encodeHello(0));
      rogues.push(c);
    }
    await sleep(fast ? 500 : 3000);
  });
  const held = Math.max(0, ...[...rig.host.bridge.connections.keys()].map((id) => rig.host.bridge.backlog(id)));
  t.backlogMiB = held / (1024 * 1024);
  for (const c of rogues) c.socket.destroy();
  await backToRigSize(rig);
  record(t, `${n} connections x 10 Hellos with the token`, await rig.backToStreaming());
  return t;
}
repeatedHellos.bigSource = true;

// ---- a rogue feeder: no token, captured audio --------------------------
async function rogueFeeder(rig, { fast }) {
  const t = tally();
  const roles = rig.count('ext:role');
  const n = fast ? 2 : 8;
  const pcm = encodeCapturePcm(new Float32Array(2 * 4800).fill(0.5));
  const rogues = [];
  for (let i = 0; i < n; i++) {
    const c = await client(rig.port);
    c.socket.write(encodeHello(1));
    for (let k = 0; k < 20; k++) c.socket.write(pcm);
    rogues.push(c);
  }
  const refused = await waitFor(() => rogues.every((c) => c.closed), { timeoutMs: 5000 });
  await backToRigSize(rig);
  record(t, `${n} feeders without a token sending audio`, await rig.backToStreaming(), refused && rig.count('ext:role') === roles,
    'not refused before the engine');
  return t;
}

// ---- wrong tokens --------------------------------------------------------
// A token one character off, a prefix, one too long, a Hello instead, a
// connection that sends nothing (refused after 1 s), and a flood of
// connections past the bridge's cap.
async function wrongToken(rig, { fast }) {
  const t = tally();
  const good = rig.token;
  const off = `${good.slice(0, -1)}${good.endsWith('0') ? '1' : '0'}`;
  const cases = [
    ['a token one character off', encodeToken(off)],
    ['a prefix of the token', encodeToken(good.slice(0, 16))],
    ['the token and more', encodeToken(`${good}00`)],
    ['a Hello first', encodeHello(0)],
    ['a token frame declaring 256 MiB', Buffer.from([0, 0, 0, 0x10, FRAME.Token, 1, 2, 3])],
    ['nothing at all', Buffer.alloc(0)],
  ];
  for (const [what, bytes] of fast ? cases.filter((_, i) => i % 2 === 0 || i === 5) : cases) {
    const roles = rig.count('ext:role');
    const c = await client(rig.port);
    if (bytes.length) c.socket.write(bytes);
    const refused = await waitFor(() => c.closed, { timeoutMs: 3000 });
    await backToRigSize(rig);
    record(t, what, await rig.backToStreaming(), refused && rig.count('ext:role') === roles, 'not refused');
  }
  const flood = [];
  for (let i = 0; i < (fast ? 20 : 60); i++) flood.push(await client(rig.port));
  const capped = bridgeSize(rig) <= rig.host.bridge.maxConnections;
  await waitFor(() => flood.every((c) => c.closed), { timeoutMs: 5000 });
  await backToRigSize(rig);
  record(t, `${flood.length} connections at once`, await rig.backToStreaming(), capped, 'more connections than the cap were open');
  await lateJoiner(t, rig, 'the flood');
  return t;
}

// ---- frames declared but never sent --------------------------------------
// Many connections each declaring a 256 MiB frame and sending 7 bytes of it,
// without the token (refused) and with it (the engine's frame reader must not
// set the whole frame aside up front).
async function declaredUnsent(rig, { fast }) {
  const t = tally();
  const n = fast ? 4 : 40;
  const head = Buffer.from([0, 0, 0, 0x10, FRAME.CapturePcm, 0]);
  t.vmBeforeMiB = virtualMiB();
  for (const withToken of [false, true]) {
    const conns = [];
    await measured(t, `${n} declared frames ${withToken ? 'with' : 'without'} the token`, async () => {
      for (let i = 0; i < n; i++) {
        const c = await client(rig.port, { read: false });
        c.socket.write(withToken ? Buffer.concat([encodeToken(rig.token), encodeHello(1), head]) : head);
        conns.push(c);
      }
      // One more byte in a chunk of its own: the reader now holds a partial
      // frame and gets more of it.
      await sleep(100);
      for (const c of conns) if (!c.socket.destroyed) c.socket.write(Buffer.from([0]));
      await sleep(fast ? 300 : 2000);
      t.vmPeakMiB = Math.max(t.vmPeakMiB || 0, virtualMiB());
    });
    for (const c of conns) c.socket.destroy();
    await backToRigSize(rig);
    record(t, `${n} connections declaring 256 MiB frames ${withToken ? 'with' : 'without'} the token`, await rig.backToStreaming());
  }
  await lateJoiner(t, rig, 'declared frames');
  return t;
}
declaredUnsent.bigSource = true;

// ---- a burst of swaps ----------------------------------------------------
// The performer swaps source after source without waiting. First with every
// player reading, then with the player not reading during the burst: it must
// stay connected and, once it reads again, hold the newest buffer.
async function swapBurst(rig, { fast }) {
  const t = tally();
  // Enough even for the short source of --fast to pass what the kernel's
  // socket buffers hold, so the bridge's queue has swaps to merge.
  const n = fast ? 16 : 12;
  for (const paused of [false, true]) {
    const peer = rig.player;
    const id = [...rig.host.bridge.connections.entries()].find(([, c]) => c.group === 'players')[0];
    if (paused) peer.socket.pause();
    let swaps = 0;
    const onSwap = () => { swaps += 1; };
    rig.pod.on('swap', onSwap);
    await measured(t, `${n} swaps${paused ? ', player not reading' : ''}`, async () => {
      for (let k = 0; k < n; k++) rig.host.fromInterface('swap', k % 2 ? 'disco' : 'dub');
      await waitFor(() => swaps >= n, { timeoutMs: 120000 });
    });
    rig.pod.off('swap', onSwap);
    await sleep(500);
    t.backlogMiB = Math.max(t.backlogMiB || 0, rig.host.bridge.backlog(id) / (1024 * 1024));
    if (paused) peer.socket.resume();
    const stayed = rig.host.bridge.connections.has(id) && peer.socket !== null;
    const outcome = await rig.backToStreaming();
    // The engine still takes the player's play head: its reports count the
    // swaps the bridge merged away.
    const heard = stayed && (await playHeadFollowed(rig));
    record(t, `${n} swaps in a burst${paused ? ' while the player does not read' : ''}`, outcome, stayed && heard,
      stayed ? 'the engine no longer takes the player\'s play head' : 'the player was closed');
  }
  return t;
}
swapBurst.bigSource = true;

// Whether the play head the engine reports to the pod ("playback_pos" of its
// telemetry, the last Position report it kept) keeps moving.
async function playHeadFollowed(rig) {
  const seen = new Set();
  for (let i = 0; i < 10; i++) {
    const s = rig.pod.session;
    if (s && typeof s.playbackPos === 'number') seen.add(s.playbackPos);
    await sleep(150);
  }
  return seen.size >= 3;
}

// ---- JSON from the pod: oversized and amplifying -------------------------
// A text message past the host's message cap (the socket closes and the
// session reconnects), one just under it, and arrays of tiny values that a
// parser turns into far more memory than their text.
async function podJson(rig, { fast }) {
  const t = tally();
  const MiB = 1024 * 1024;
  const { MAX_MESSAGE_BYTES } = require('../../host/websocket');
  const text = (size) => `{"type":"status","pad":"${'x'.repeat(size - 30)}"}`;
  const array = (item, size) => `{"type":"status","a":[${`${item},`.repeat(Math.floor(size / (item.length + 1)) - 1)}${item}]}`;
  const cases = fast
    ? [['a 2 MiB text', () => text(2 * MiB)], ['1 MiB of numbers', () => array('0', MiB)], ['1 MiB of empty objects', () => array('{}', MiB)]]
    : [
      ['a text past the message cap', () => text(MAX_MESSAGE_BYTES + 1024)],
      ['a 30 MiB text', () => text(30 * MiB)],
      ['30 MiB of numbers', () => array('0', 30 * MiB)],
      ['30 MiB of empty objects', () => array('{}', 30 * MiB)],
      ['30 MiB of empty arrays', () => array('[]', 30 * MiB)],
    ];
  for (const [what, make] of cases) {
    const outcome = await measured(t, what, async () => {
      rig.pod.sendRaw(make());
      await sleep(fast ? 300 : 1500);
      return rig.backToStreaming();
    });
    record(t, what, outcome);
  }
  return t;
}

// ---- a lookup whose answer never ends ------------------------------------
// The pod is found through an HTTP lookup that sends its headers and then
// nothing, or that never stops sending. Each ends as a short status; then
// the lookup answers again and the performer starts again.
async function endlessLookup(rig, { fast }) {
  const t = tally();
  const server = http.createServer((req, res) => {
    res.writeHead(200, { 'content-type': 'application/json' });
    if (req.url === '/stall') {
      res.write('{"ws_url":"ws://127.0.0.1');
      return;
    }
    const chunk = Buffer.alloc(64 * 1024, 0x20);
    const more = () => { while (!res.destroyed && res.write(chunk)); };
    res.on('drain', more);
    more();
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const base = `http://127.0.0.1:${server.address().port}`;
  const cloud = rig.host.cloud;
  const saved = { podUrl: cloud.podUrl, lookupUrl: cloud.lookupUrl, timeoutMs: cloud.timeoutMs };
  try {
    for (const [what, url, expect] of [['a lookup body that never ends', '/stall', 'timed out'], ['a lookup body that never stops', '/flood', 'too large']]) {
      cloud.podUrl = null;
      cloud.lookupUrl = `${base}${url}`;
      cloud.timeoutMs = fast ? 500 : 2000;
      const from = rig.statuses.length;
      rig.host.fromInterface('stop');
      rig.host.fromInterface('start');
      const shown = await waitFor(() => rig.statuses.slice(from).some((s) => s.startsWith('cloud: lookup') && s.includes(expect)), { timeoutMs: 10000 });
      Object.assign(cloud, saved);
      cloud.lookupUrl = rig.podInfo.lookupUrl;
      cloud.podUrl = null;
      rig.host.fromInterface('start');
      record(t, what, await rig.backToStreaming(), shown, 'no lookup status');
    }
  } finally {
    Object.assign(cloud, saved);
    server.closeAllConnections();
    await new Promise((resolve) => server.close(resolve));
  }
  return t;
}

// ---- a preset that cannot be read ----------------------------------------
// Recalling a preset that is a FIFO: the read is refused at once, and a save
// right after it lands.
async function stalledPresetRead(rig, { fast }) {
  const t = tally();
  const set = fs.mkdtempSync(path.join(os.tmpdir(), 'omber-rig-set-'));
  try {
    const configs = path.join(set, 'Omber', 'configs');
    fs.mkdirSync(configs, { recursive: true });
    execFileSync('mkfifo', [path.join(configs, 'stuck.json')]);
    rig.host.fromInterface('live_path', path.join(set, 'Rig.als'));
    for (let round = 0; round < (fast ? 1 : 3); round++) {
      const from = rig.statuses.length;
      rig.host.fromInterface('recall', 'file:Omber/configs/stuck.json');
      rig.host.fromInterface('snapshot_req');
      const saved = await waitFor(() => fs.readdirSync(configs).some((n) => n.endsWith('.json') && n !== 'stuck.json'), { timeoutMs: 3000 });
      const refused = rig.statuses.slice(from).some((s) => s === 'could not read preset stuck.json: not a regular file');
      record(t, `a FIFO recalled as a preset, then a save (round ${round + 1})`, await rig.backToStreaming(), saved && refused,
        saved ? 'the FIFO was not refused' : 'the save after it did not land');
      for (const n of fs.readdirSync(configs)) if (n !== 'stuck.json') fs.rmSync(path.join(configs, n));
    }
  } finally {
    fs.rmSync(set, { recursive: true, force: true });
  }
  return t;
}

// ---- a socket lost with data in its send buffer --------------------------
// The pod stops reading, 8 MiB wait in the host's send buffer, and the
// connection is lost. After the reconnect the engine must see an empty send
// buffer, so captured audio streams to the pod again.
async function socketLostBuffered(rig, { fast }) {
  const t = tally();
  for (let round = 0; round < (fast ? 1 : 3); round++) {
    rig.host.fromInterface('feed', 'stream');
    rig.pod.holdReading(true);
    rig.host.ws.send(Buffer.alloc(8 * 1024 * 1024));
    const full = rig.host.ws.lastBuffered > 0;
    // What the engine was told last when the new socket opened.
    const engine = rig.host.engine;
    let told = null;
    let toldAtOpen = null;
    rig.host.engine = {
      dispatch(sel, ...args) {
        if (sel === 'ws:buffered') told = args[0];
        if (sel === 'ws:open' && toldAtOpen === null) toldAtOpen = told === null ? 'nothing' : told;
        return engine.dispatch(sel, ...args);
      },
    };
    const connected = rig.count('core:connected');
    rig.pod.dropConnections();
    await waitFor(() => rig.count('core:connected') > connected, { timeoutMs: 20000 });
    rig.host.engine = engine;
    let writes = 0;
    const onWrite = () => { writes += 1; };
    rig.pod.on('write', onWrite);
    const streamed = await waitFor(() => writes >= 2, { timeoutMs: 5000 });
    rig.pod.off('write', onWrite);
    // Captured audio changes the source on both sides; the comparison
    // waits until it stops.
    rig.host.fromInterface('feed', 'off');
    await sleep(500);
    const back = await rig.backToStreaming();
    const why = !full ? 'nothing was buffered' : toldAtOpen !== 0 ? `the new socket opened with the engine told ${toldAtOpen} bytes` : 'captured audio did not stream after the reconnect';
    record(t, `socket lost with 8 MiB buffered (round ${round + 1})`, back, full && toldAtOpen === 0 && streamed, why);
  }
  return t;
}

// ---- a host whose callback dispatches again -----------------------------
// A script in the host reacts to a message of the engine by dispatching
// again from inside the callback: it closes, or closes and reopens, the very
// connection whose frames are being read. Hello and Position frames follow
// in the same chunk, so the engine is still reading that connection when
// the nested dispatch lands.
async function reentrantHost(rig, { fast }) {
  const t = tally();
  const n = fast ? 2 : 10;
  for (let i = 0; i < n; i++) {
    const replace = i % 2 === 1;
    const ids = new Set(rig.host.bridge.connections.keys());
    const c = await client(rig.port);
    c.socket.write(encodeToken(rig.token));
    const joined = await waitFor(() => [...rig.host.bridge.connections.keys()].some((id) => !ids.has(id)), { timeoutMs: 5000 });
    const id = [...rig.host.bridge.connections.keys()].find((k) => !ids.has(k));
    let nested = 0;
    const listener = (selector, args) => {
      if (selector !== 'ext:role' || args[0] !== id) return;
      rig.host.off('outlet', listener);
      nested += 1;
      rig.host.dispatch('ext:close', id);
      if (replace) rig.host.dispatch('ext:conn', id);
    };
    rig.host.on('outlet', listener);
    c.socket.write(Buffer.concat([encodeHello(0), encodePosition(1.5, 0), encodeHello(0), encodePosition(2.5, 0)]));
    await waitFor(() => nested > 0, { timeoutMs: 2000 });
    rig.host.off('outlet', listener);
    c.socket.destroy();
    await backToRigSize(rig);
    const what = `a callback that ${replace ? 'replaces' : 'closes'} the connection being read`;
    record(t, what, await rig.backToStreaming(), joined && nested === 1, joined ? 'the nested dispatch never ran' : 'never joined');
  }
  return t;
}

// ---- a pod whose readiness the audio contradicts -------------------------
// The "ready" of a new session claims a duration far beyond the source that
// follows (while automatic feeding repeats captured bars over the source),
// or a channel count that a link frame cannot carry. The first is corrected
// from the audio that arrives; the second is refused with a status and the
// performer starts again.
async function misstatedReadiness(rig, { fast }) {
  const t = tally();
  const cases = fast
    ? [['a duration of 4000 s', { duration: 4000 }], ['70000 channels', { channels: 70000 }]]
    : [['a duration of 4000 s', { duration: 4000 }], ['a duration of 1e9 s', { duration: 1e9 }],
      ['a duration of 0.01 s', { duration: 0.01 }], ['70000 channels', { channels: 70000 }],
      ['4294967297 channels', { channels: 4294967297 }]];
  for (const [what, fields] of cases) {
    const from = rig.statuses.length;
    const refused = fields.channels !== undefined;
    rig.host.fromInterface('feed', 'auto');
    const outcome = await measured(t, what, async () => {
      rig.pod.misstateNextReady(fields);
      rig.pod.dropConnections();
      if (refused) {
        await waitFor(() => rig.statuses.slice(from).some((s) => s.includes('channels')), { timeoutMs: 10000 });
        rig.host.fromInterface('stop');
        rig.host.fromInterface('start');
      }
      await sleep(fast ? 500 : 2000);
      return rig.backToStreaming();
    });
    rig.host.fromInterface('feed', 'off');
    const shown = !refused || rig.statuses.slice(from).some((s) => /at most 65535/.test(s));
    record(t, what, outcome, shown, 'no status for the refused channel count');
  }
  return t;
}

const ATTACKS = {
  'rogue-player': roguePlayer,
  'repeated-hellos': repeatedHellos,
  'rogue-feeder': rogueFeeder,
  'wrong-token': wrongToken,
  'declared-unsent-frames': declaredUnsent,
  'swap-burst': swapBurst,
  'pod-json': podJson,
  'endless-lookup': endlessLookup,
  'stalled-preset-read': stalledPresetRead,
  'socket-lost-buffered': socketLostBuffered,
  'reentrant-host': reentrantHost,
  'misstated-readiness': misstatedReadiness,
};

module.exports = { ATTACKS, virtualMiB };
