'use strict';
// The simulated inference server ("pod") on loopback: a WebSocket server that
// speaks the server's side of the streaming protocol (see session.js), plus
// two HTTP answers on the same port: GET /endpoint gives {"ws_url": ...} for
// the host's lookup, GET /loras gives the LoRA catalog.
//
// Tests and the performance runner steer it through options and a control
// API: drop every connection, delay everything it sends, send a corrupt
// slice, pause the slices, or fail the handshake. Events ("connection",
// "config", "ready", "command", "slice", "swap", "write", "failed",
// "source_audio", "close") report what it did.
//
//   node sim/pod.js [--port N] [--bpm 120] [--slice-ms 250] [--kinds alternate|raw|diff]
const http = require('http');
const { EventEmitter } = require('events');
const { WebSocketServer } = require('ws');
const { Session } = require('./session');
const { loadZstd } = require('./zstd');

const DEFAULT_CATALOG = [
  { id: 'vhs', name: 'VHS Tape', trigger: 'VHS tape' },
  { id: 'chip', name: 'Chiptune', trigger: '8-bit chiptune' },
  { id: 'choir', name: 'Choir', trigger: 'angelic choir' },
];

// Named sources the pod can generate from: the words set the style, the
// wave the timbre family, the shape the bar-to-bar density.
const DEFAULT_FIXTURES = {
  break: { words: 'breakbeat funk drums energetic', wave: 2, shape: [1, 0.8, 1, 0.6] },
  drone: { words: 'ambient dark minimal', wave: 0, shape: [0.4, 0.5, 0.6, 0.5] },
  disco: { words: 'house funk bright four to the floor', wave: 3, shape: [0.9, 1, 0.9, 1] },
  dub: { words: 'dub heavy bass', wave: 1, shape: [1, 0.6, 0.8, 0.6] },
  choir: { words: 'angelic choir beautiful', wave: 1, shape: [0.5, 0.7, 0.9, 1] },
};

const DEFAULTS = {
  host: '127.0.0.1',
  port: 0,
  bpm: 120,
  timeSignature: '4/4',
  key: 'A minor',
  bars: 8, // length of a source generated without uploaded audio
  maxDurationS: 120,
  seed: 1,
  sliceIntervalMs: 250,
  regionBeats: 2,
  aheadSegments: 4,
  fadeFrames: 240,
  sliceKinds: 'alternate', // 'raw', 'diff' or 'alternate'
  sourceWaitMs: 1000,
  rejectHandshake: null,
  dropAfterSlices: 0,
  delayMs: 0,
  catalog: DEFAULT_CATALOG,
  fixtures: DEFAULT_FIXTURES,
};

class Pod extends EventEmitter {
  constructor(options = {}) {
    super();
    this.options = { ...DEFAULTS, ...options };
    this.catalog = this.options.catalog;
    this.sessions = new Set();
    this.allSessions = [];
    this.epoch = 0;
    this.nextId = 1;
    this.delayMs = this.options.delayMs;
    this.lastSendAt = 0;
    this.corruptions = [];
    this.paused = false;
    this.slicesSent = 0;
    this.dropArmed = this.options.dropAfterSlices > 0;
    this.cutArmed = null; // messages the next session may send before it is cut
    this.epochMisstatements = [];
    this.readyMisstatements = [];
    this.swapCorruptions = [];
    this.server = null;
    this.wss = null;
    this.zstd = null;
  }

  get url() { return `ws://${this.options.host}:${this.port}/`; }

  // The newest live session, or the newest that ever was.
  get session() {
    return this.allSessions[this.allSessions.length - 1] || null;
  }

  async start() {
    this.zstd = await loadZstd();
    this.server = http.createServer((req, res) => this.http(req, res));
    this.wss = new WebSocketServer({ server: this.server, perMessageDeflate: false, maxPayload: 512 * 1024 * 1024 });
    this.wss.on('connection', (ws) => {
      const session = new Session(this, ws, this.nextId++);
      // Closed sessions keep their counts; only the newest keeps its audio
      // (for tests that look at it), so reconnects do not pile up memory.
      for (const old of this.allSessions) if (old.closed) releaseAudio(old);
      this.sessions.add(session);
      this.allSessions.push(session);
      session.sentMessages = 0;
      session.cutAfter = this.cutArmed;
      this.cutArmed = null;
      this.emit('connection', session);
      if (session.cutAfter === 0) ws.terminate();
    });
    await new Promise((resolve, reject) => {
      this.server.once('error', reject);
      this.server.listen(this.options.port, this.options.host, resolve);
    });
    this.port = this.server.address().port;
    const base = `http://${this.options.host}:${this.port}`;
    return { port: this.port, url: this.url, lookupUrl: `${base}/endpoint`, catalogUrl: `${base}/loras` };
  }

  async stop() {
    for (const s of this.sessions) s.ws.terminate();
    if (!this.server) return;
    await new Promise((resolve) => this.wss.close(() => resolve()));
    await new Promise((resolve) => this.server.close(() => resolve()));
    this.server = null;
  }

  http(req, res) {
    const path = (req.url || '').split('?')[0];
    let body = null;
    if (req.method === 'GET' && path === '/endpoint') body = JSON.stringify({ ws_url: this.url });
    else if (req.method === 'GET' && path === '/loras') body = JSON.stringify(this.catalog);
    if (body === null) {
      res.writeHead(404, { 'content-type': 'text/plain' });
      res.end('not found\n');
      return;
    }
    res.writeHead(200, { 'content-type': 'application/json' });
    res.end(body);
  }

  fixture(name) {
    return typeof name === 'string' && Object.prototype.hasOwnProperty.call(this.options.fixtures, name)
      ? this.options.fixtures[name] : null;
  }

  nextEpoch() {
    this.epoch += 1;
    return this.epoch;
  }

  // Sends in order; with a delay set, every message waits that long (and
  // never overtakes an earlier one). Returns the monotonic send time (ns).
  send(session, data, binary) {
    const ws = session.ws;
    const push = () => {
      const at = process.hrtime.bigint();
      if (ws.readyState !== ws.OPEN || session.cutting) return at;
      session.sentMessages += 1;
      if (session.cutAfter !== null && session.sentMessages >= session.cutAfter) {
        // Cut once this message has left, so the client has it whole.
        session.cutting = true;
        ws.send(data, { binary }, () => ws.terminate());
      } else {
        ws.send(data, { binary });
      }
      return at;
    };
    if (this.delayMs <= 0 && this.lastSendAt <= Date.now()) return push();
    const at = Math.max(Date.now() + this.delayMs, this.lastSendAt);
    this.lastSendAt = at;
    setTimeout(push, at - Date.now());
    return null;
  }

  forget(session) {
    this.sessions.delete(session);
    if (session !== this.session) releaseAudio(session);
    this.emit('close', session);
  }

  sliceSent() {
    this.slicesSent += 1;
    if (this.dropArmed && this.slicesSent >= this.options.dropAfterSlices) {
      this.dropArmed = false;
      setImmediate(() => this.dropConnections());
    }
  }

  takeCorruption() {
    return this.corruptions.length ? this.corruptions.shift() : null;
  }

  // ---- control API --------------------------------------------------------

  // Cuts every connection without a closing handshake (the client sees 1006).
  dropConnections() {
    for (const s of this.sessions) s.ws.terminate();
  }

  setDelay(ms) { this.delayMs = Math.max(0, Number(ms) || 0); }

  // The next slice goes out broken: 'zstd' (a kind-1 slice whose payload is
  // no zstd frame) or 'short' (fewer bytes than a slice header). The pod's
  // own buffer is not changed by it.
  //   'truncated'  a zstd frame cut off halfway;
  //   'oversized'  a zstd frame that decodes to 275 MB, past any slice cap;
  //   'past-end'   a raw slice starting after the end of the buffer;
  //   'straddle'   a raw slice running over the end (the pod keeps what fits).
  corruptNextSlice(mode = 'zstd') {
    const modes = ['short', 'truncated', 'oversized', 'past-end', 'straddle'];
    this.corruptions.push(modes.includes(mode) ? mode : 'zstd');
  }

  // The next swap's audio is broken: 'empty' (no samples at all) or 'odd'
  // (a stray byte after the samples). The pod keeps the swapped source.
  breakNextSwap(mode = 'empty') { this.swapCorruptions.push(mode === 'odd' ? 'odd' : 'empty'); }

  takeSwapCorruption() { return this.swapCorruptions.length ? this.swapCorruptions.shift() : null; }

  // The next session is cut (no closing handshake) right after it has sent
  // `count` messages: 0 cuts it on connection.
  cutNextSessionAfter(count) { this.cutArmed = Math.max(0, Math.floor(Number(count) || 0)); }

  // The next "ready" or "swap_ready" announces `epoch` as its source epoch
  // (any JSON value) instead of the epoch the pod generates.
  misstateNextEpoch(epoch) { this.epochMisstatements.push(epoch); }

  // The next "ready" carries these members (e.g. a duration or a channel
  // count the audio that follows contradicts) in place of its own.
  misstateNextReady(fields) { this.readyMisstatements.push({ ...fields }); }

  takeReadyMisstatement() { return this.readyMisstatements.length ? this.readyMisstatements.shift() : {}; }

  takeEpochMisstatement(epoch) {
    return this.epochMisstatements.length ? this.epochMisstatements.shift() : epoch;
  }

  pause() { this.paused = true; }
  resume() { this.paused = false; }

  // Sends any message on the newest live session, as it is (for tests that
  // play a pod gone wrong).
  sendRaw(data, { binary = false } = {}) {
    const s = [...this.sessions].pop();
    if (s) this.send(s, data, binary);
    return Boolean(s);
  }

  // Stops (or starts again) reading what the client sends on every live
  // session, so the client's send buffer fills.
  holdReading(on = true) {
    for (const s of this.sessions) {
      if (on) s.ws.pause();
      else s.ws.resume();
    }
  }

  stats() {
    const sum = { sessions: this.allSessions.length, slices: 0, rawSlices: 0, diffSlices: 0, sliceBytes: 0, commands: 0, failures: 0 };
    for (const s of this.allSessions) {
      for (const k of ['slices', 'rawSlices', 'diffSlices', 'sliceBytes', 'commands', 'failures']) sum[k] += s.stats[k];
    }
    return sum;
  }
}

function releaseAudio(session) {
  session.buffer = null;
  session.upload = null;
  session.source = null;
  session.envelope = null;
  session.early = [];
}

function readPodArgs(argv) {
  const { parseArgs } = require('util');
  const { values } = parseArgs({
    args: argv,
    options: {
      port: { type: 'string' }, bpm: { type: 'string' }, 'slice-ms': { type: 'string' },
      kinds: { type: 'string' }, seed: { type: 'string' }, 'time-signature': { type: 'string' },
    },
  });
  const opts = {};
  if (values.port) opts.port = Number(values.port);
  if (values.bpm) opts.bpm = Number(values.bpm);
  if (values['slice-ms']) opts.sliceIntervalMs = Number(values['slice-ms']);
  if (values.kinds) opts.sliceKinds = values.kinds;
  if (values.seed) opts.seed = Number(values.seed);
  if (values['time-signature']) opts.timeSignature = values['time-signature'];
  return opts;
}

if (require.main === module) {
  const pod = new Pod(readPodArgs(process.argv.slice(2)));
  pod.start().then((info) => {
    process.stdout.write(`pod ${info.url} lookup ${info.lookupUrl} catalog ${info.catalogUrl}\n`);
    pod.on('ready', ({ info: r }) => process.stdout.write(`ready ${JSON.stringify(r.duration)}s ${r.bpm} bpm ${r.key} epoch ${r.source_epoch}\n`));
    pod.on('failed', ({ doc }) => process.stdout.write(`${JSON.stringify(doc)}\n`));
    const stop = () => pod.stop().then(() => process.exit(0));
    process.on('SIGINT', stop);
    process.on('SIGTERM', stop);
  });
}

module.exports = { Pod, DEFAULT_CATALOG, DEFAULT_FIXTURES };
