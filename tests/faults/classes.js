'use strict';
// The fault classes. Each injects its faults into a running rig (rig.js)
// and after every one checks that the stream came back: it returns how many
// faults it injected, how many were followed by streaming in sync with the
// pod, how many of those needed the performer to press start again, and
// notes on what went wrong. `fast` picks a few cases of each class for the
// test suite; the full matrix takes every case.
const net = require('net');
const { spawn } = require('child_process');
const { FRAME, encodeHello, encodeToken, encodePosition, encodeCapturePcm } = require('../../sim/link');
const { LinkPeer } = require('../../sim/link-peer');
const { runnerEnv, tokenArgs } = require('../../sim/runners');
const { waitFor, sleep } = require('./rig');

function tally() {
  return { injected: 0, recovered: 0, restarts: 0, notes: [] };
}

function record(t, what, outcome) {
  t.injected += 1;
  if (outcome.restarted) t.restarts += 1;
  if (outcome.streaming && outcome.inSync) t.recovered += 1;
  else t.notes.push(`${what}: ${outcome.streaming ? 'streaming but out of sync' : 'did not stream again'}`);
}

function range(n) { return Array.from({ length: n }, (_, i) => i); }

// Offsets into a frame of `length` bytes: every one of the first `dense`,
// then `spread` more across the rest, and the last.
function offsets(length, dense, spread) {
  const out = new Set(range(Math.min(dense, length)));
  for (let i = 1; i <= spread; i++) out.add(Math.floor((i * (length - 1)) / (spread + 1)));
  out.add(length - 1);
  return [...out].filter((i) => i >= 0 && i < length).sort((a, b) => a - b);
}

// ---- the WebSocket closed after the pod's k-th message ------------------
// A new session is started and the pod cuts it (no closing handshake) once
// it has sent k messages: 0 cuts it on connection, 1 after "init_ack", 2
// after "ready", 3 after the source, then after each slice.
async function wsCloseAfterMessage(rig, { fast }) {
  const t = tally();
  const ks = fast ? [0, 2, 3, 6, 17] : range(41);
  for (const k of ks) {
    rig.pod.cutNextSessionAfter(k);
    rig.host.fromInterface('stop');
    rig.host.fromInterface('start');
    record(t, `cut after message ${k}`, await rig.backToStreaming());
  }
  return t;
}

// ---- frames from a bridge client cut at every byte ----------------------
// A client connects, sends the session token, (for Position and CapturePcm
// first says Hello whole,)
// sends the first i bytes of a frame and closes. Then the main player must
// still receive slices; after each frame kind a late player must join in
// sync. A frame with a zero length is sent too: the engine drops that
// connection.
async function clientCutsFrame(rig, { fast }) {
  const t = tally();
  const frames = [
    { name: 'Hello', role: null, bytes: encodeHello(0) },
    { name: 'Position', role: 0, bytes: encodePosition(0.5, 0) },
    { name: 'CapturePcm', role: 1, bytes: encodeCapturePcm(new Float32Array(8).fill(0.25)) },
  ];
  const cut = async (frame, i) => {
    const socket = net.connect(rig.port, '127.0.0.1');
    socket.on('error', () => {});
    await new Promise((resolve) => socket.once('connect', resolve));
    socket.write(encodeToken(rig.token));
    if (frame.role !== null) socket.write(encodeHello(frame.role));
    socket.write(frame.bytes.subarray(0, i));
    await sleep(5);
    socket.destroy();
    const before = rig.player.patchLog.length;
    const ok = await waitFor(() => rig.player.patchLog.length > before && rig.host.bridge.connections.size === rig.players.length + 1);
    return { streaming: ok, inSync: ok };
  };
  for (const frame of frames) {
    const cuts = fast ? [0, 1, 4, 5, frame.bytes.length - 1] : range(frame.bytes.length);
    for (const i of cuts) record(t, `${frame.name} cut at byte ${i}`, await cut(frame, i));
    const late = await rig.addPlayer();
    record(t, `a player joining after the ${frame.name} cuts`, await rig.backToStreaming({ player: late }));
    await rig.dropPlayer(late);
  }
  // A zero length field: the engine asks the host to drop the connection.
  const drops = rig.count('ext:drop');
  const socket = net.connect(rig.port, '127.0.0.1');
  socket.on('error', () => {});
  await new Promise((resolve) => socket.once('connect', resolve));
  socket.write(Buffer.concat([encodeToken(rig.token), Buffer.from([0, 0, 0, 0, 0x80])]));
  const dropped = await waitFor(() => rig.count('ext:drop') > drops && rig.host.bridge.connections.size === rig.players.length + 1);
  socket.destroy();
  record(t, 'a zero frame length', { streaming: dropped, inSync: dropped && (await rig.inSync()) });
  return t;
}

// A TCP proxy between one player and the bridge that forwards everything
// but cuts both sides once it has passed `cutAt` bytes of the first frame
// of type `type` after the proxied player received its Init.
function cuttingProxy(bridgePort, type, cutAt) {
  let armed = false;
  let cutDone = false;
  const server = net.createServer((client) => {
    const upstream = net.connect(bridgePort, '127.0.0.1');
    client.on('error', () => {});
    upstream.on('error', () => {});
    client.pipe(upstream);
    let pending = Buffer.alloc(0);
    const cut = () => {
      cutDone = true;
      client.destroy();
      upstream.destroy();
    };
    upstream.on('data', (chunk) => {
      if (cutDone) return;
      pending = Buffer.concat([pending, chunk]);
      let sent = 0;
      while (pending.length - sent >= 5) {
        const length = pending.readUInt32LE(sent);
        const frameType = pending[sent + 4];
        if (armed && frameType === type) {
          if (pending.length - sent < cutAt) break; // the cut point has not arrived yet
          client.write(pending.subarray(sent, sent + cutAt), () => cut());
          return;
        }
        if (pending.length - sent < length + 4) break;
        client.write(pending.subarray(sent, sent + length + 4));
        if (frameType === FRAME.Init) armed = true;
        sent += length + 4;
      }
      pending = pending.subarray(sent);
    });
    upstream.on('close', () => client.destroy());
    client.on('close', () => upstream.destroy());
  });
  return {
    listen: () => new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server.address().port))),
    get cut() { return cutDone; },
    close: () => new Promise((resolve) => server.close(() => resolve())),
  };
}

// ---- a player's link cut in the middle of a frame -----------------------
// The bridge's bytes to one player pass through a proxy that cuts the
// connection i bytes into the first Patch frame after the player's Init.
// The engine sees the connection close; a player connecting afterwards
// must receive the whole buffer and be in sync.
async function playerLinkCutMidFrame(rig, { fast }) {
  const t = tally();
  const patchLength = 5 + 4 + 8 * 48000; // a one-second slice
  const cuts = fast ? [0, 4, 5, 9, 200000, patchLength - 1] : offsets(patchLength, 24, 24);
  for (const i of cuts) {
    const proxy = cuttingProxy(rig.port, FRAME.Patch, i);
    const port = await proxy.listen();
    const peer = new LinkPeer({ role: 0, token: rig.token });
    await peer.connect(port);
    const cutOk = await waitFor(() => proxy.cut, { timeoutMs: 10000 });
    await waitFor(() => peer.socket === null);
    peer.disconnect();
    await proxy.close();
    const late = await rig.addPlayer();
    const outcome = await rig.backToStreaming({ player: late });
    record(t, `Patch cut at byte ${i}`, cutOk ? outcome : { streaming: false, inSync: false });
    await rig.dropPlayer(late);
  }
  return t;
}

// ---- broken slices ------------------------------------------------------
// A kind-1 slice that is no zstd frame, a zstd frame cut off halfway, one
// that decodes to 275 MB (past the engine's cap), and a message shorter than
// a slice header. The engine drops each and keeps streaming.
async function brokenSlices(rig, { fast }) {
  return corruptedSlices(rig, ['zstd', 'truncated', 'oversized', 'short'], fast ? 1 : 10);
}

// Has the pod spoil `per` slices in each mode, one at a time, and records
// whether the stream came back after each.
async function corruptedSlices(rig, modes, per) {
  const t = tally();
  for (const mode of modes) {
    for (let n = 0; n < per; n++) {
      const seen = new Promise((resolve) => {
        const on = (s) => { if (s.corrupt === mode) { rig.pod.off('slice', on); resolve(); } };
        rig.pod.on('slice', on);
      });
      rig.pod.corruptNextSlice(mode);
      await seen;
      record(t, `${mode} slice`, await rig.backToStreaming());
    }
  }
  return t;
}

// ---- slices past the end of the buffer ----------------------------------
// One starting a frame after the end (changes nothing) and one running over
// the end (the part that fits is applied on both sides).
async function slicesPastTheEnd(rig, { fast }) {
  return corruptedSlices(rig, ['past-end', 'straddle'], fast ? 1 : 10);
}

// ---- epochs the pod announces wrongly -----------------------------------
// A swap (or, after a dropped socket, a new session) announced with an epoch
// that is stale, zero, negative, huge, not a number or missing. The engine
// takes the source that follows and keeps merging slices into it.
async function misstatedEpochs(rig, { fast }) {
  const t = tally();
  const values = fast ? ['stale', -5, 'seven'] : ['stale', 0, -5, 1e12, 2 ** 31, 'seven', null, 7.9];
  const announce = (v) => (v === 'stale' ? Math.max(0, rig.pod.epoch - 1) : v);
  for (const v of values) {
    const swapped = new Promise((resolve) => rig.pod.once('swap', resolve));
    rig.pod.misstateNextEpoch(announce(v));
    rig.host.fromInterface('swap', 'break');
    await swapped;
    record(t, `swap announced with epoch ${JSON.stringify(v)}`, await rig.backToStreaming());
  }
  for (const v of fast ? ['stale'] : ['stale', -1, 'seven', 1e12]) {
    rig.pod.misstateNextEpoch(announce(v));
    rig.pod.dropConnections();
    record(t, `new session announced with epoch ${JSON.stringify(v)}`, await rig.backToStreaming());
  }
  return t;
}

// ---- swaps whose audio is broken ---------------------------------------
// The audio after "swap_ready" is empty (the engine swaps to a source of
// no frames; players get an empty Swap and slices fall past its end) or
// carries a stray byte (ignored). A bar line, a section change and a seek
// follow on the broken source; then the performer swaps again, and the
// stream must be in sync once more.
async function brokenSwaps(rig, { fast }) {
  const t = tally();
  const per = fast ? 1 : 5;
  const swap = async (fixture, broken = null) => {
    const swapped = new Promise((resolve) => rig.pod.once('swap', resolve));
    if (broken) rig.pod.breakNextSwap(broken);
    rig.host.fromInterface('swap', fixture);
    await swapped;
  };
  for (const mode of ['empty', 'odd']) {
    for (let n = 0; n < per; n++) {
      await swap('break', mode);
      await sleep(300);
      rig.host.fromInterface('section', 1);
      rig.host.fromInterface('bar');
      rig.host.fromInterface('seek', 1.5);
      rig.host.fromInterface('bar');
      await sleep(200);
      await swap(n % 2 ? 'disco' : 'dub');
      record(t, `${mode} swap`, await rig.backToStreaming());
    }
  }
  rig.host.fromInterface('section', -1);
  return t;
}

// ---- a player that stops reading ----------------------------------------
// The player's socket is paused for 5 s while slices keep coming (the
// bridge holds the backlog), then read again: the player catches up in
// order. With the headless omber~ runner built (full matrix only), its whole
// process is stopped for 5 s, and its DSP is stalled for 6 s under a flood
// of commands: it must stay connected and keep reporting its play head.
async function stalledPlayer(rig, { fast, maxhost }) {
  const t = tally();
  const rounds = fast ? 1 : 3;
  for (let r = 0; r < rounds; r++) {
    const peer = rig.player;
    const before = peer.patchLog.length;
    peer.socket.pause();
    await sleep(5000);
    const backlog = Math.max(...[...rig.host.bridge.connections.keys()].map((id) => rig.host.bridge.backlog(id)));
    peer.socket.resume();
    const caughtUp = await waitFor(() => peer.patchLog.length > before);
    const outcome = caughtUp ? await rig.backToStreaming() : { streaming: false, inSync: false };
    record(t, `player paused 5 s (round ${r + 1})`, outcome);
    t.backlogMiB = Math.max(t.backlogMiB || 0, backlog / (1024 * 1024));
  }
  if (maxhost && !fast) {
    for (let r = 0; r < rounds; r++) record(t, `omber~ runner stopped 5 s (round ${r + 1})`, await stopRunner(rig, maxhost));
    for (let r = 0; r < rounds; r++) record(t, `omber~ runner's DSP stalled 6 s under 3000 commands (round ${r + 1})`, await stallRunnerDsp(rig, maxhost));
  }
  return t;
}

// The headless runner as a player, fault applied by `harm(child)`: counts
// as recovered when its bridge connection stays open, it sends again
// afterwards (Position reports), it exits normally on SIGINT, and the
// stream is still in sync for the other player.
async function harmRunner(rig, program, extraArgs, harm) {
  const ids = new Set(rig.host.bridge.connections.keys());
  const child = spawn(program, ['--port', String(rig.port), ...tokenArgs(rig.token), '--player', '/dev/null', '--quiet', ...extraArgs], { stdio: ['ignore', 'pipe', 'pipe'], env: runnerEnv() });
  let log = '';
  child.stdout.on('data', (d) => { log += d; });
  const exited = new Promise((resolve) => child.once('exit', (code, signal) => resolve({ code, signal })));
  const joined = await waitFor(() => [...rig.host.bridge.connections.keys()].some((id) => !ids.has(id)), { timeoutMs: 10000 });
  const id = [...rig.host.bridge.connections.keys()].find((k) => !ids.has(k));
  let received = 0;
  if (joined) rig.host.bridge.connections.get(id).socket.on('data', (d) => { received += d.length; });
  await sleep(500);
  await harm(child);
  const before = received;
  const reporting = await waitFor(() => received > before + 5 * 17, { timeoutMs: 10000 });
  const stillThere = rig.host.bridge.connections.has(id);
  child.kill('SIGINT');
  const { code } = await exited;
  const ok = joined && reporting && stillThere && code === 0 && !log.includes('closed the link');
  return { streaming: ok, inSync: ok && (await rig.inSync()) };
}

// SIGSTOP for 5 s, then SIGCONT: link thread and audio stopped alike.
const stopRunner = (rig, program) => harmRunner(rig, program, [], async (child) => {
  child.kill('SIGSTOP');
  await sleep(5000);
  child.kill('SIGCONT');
});

// The runner's DSP stalls for 6 s from its first half second of audio while
// 3000 Seek frames arrive: the command queue (2047 slots) fills, the link
// thread waits for room, gives one command up after 5 s, and takes the rest
// once the audio runs again.
const stallRunnerDsp = (rig, program) => harmRunner(rig, program, ['--stall-dsp', '0.5:6'], async () => {
  await sleep(500);
  for (let k = 0; k < 3000; k++) rig.host.fromInterface('seek', (k % 100) / 100);
  await sleep(6000);
});

const CLASSES = {
  ...require('./attacks').ATTACKS,
  'ws-close-after-message': wsCloseAfterMessage,
  'client-cuts-frame': clientCutsFrame,
  'player-link-cut-mid-frame': playerLinkCutMidFrame,
  'broken-zstd-slices': brokenSlices,
  'slices-past-the-end': slicesPastTheEnd,
  'misstated-epochs': misstatedEpochs,
  'broken-swaps': brokenSwaps,
  'stalled-player': stalledPlayer,
};

module.exports = { CLASSES, offsets, cuttingProxy };
