'use strict';
// A stage on loopback for end-to-end tests and measurements: the simulated
// pod, the host script with the engine, the Live clock and omber~ instances
// (headless runner processes or the JavaScript stand-ins). It records what
// the engine sent where, what each bridge connection reported, and offers
// waits on those records instead of fixed sleeps.
const fs = require('fs');
const os = require('os');
const path = require('path');
const { EventEmitter } = require('events');
const { Host } = require('../host/core');
const { Pod } = require('./pod');
const { LiveClock } = require('./live-clock');
const { LinkPeer } = require('./link-peer');
const { FRAME, FrameReader, decodePayload } = require('./link');
const { widen } = require('./f16');
const { makeTrack } = require('./performance');
const { writeWav } = require('./wavfile');

// Outlet messages the host performs (the rest reach the interface).
const HOST_HANDLED = new Set(['ws:connect', 'ws:close', 'ws:reconnect_in', 'cloud:resolve', 'ext:role', 'ext:drop', 'preset:read', 'preset:write', 'audio:write']);
const nowMs = () => Number(process.hrtime.bigint()) / 1e6;

class Stage extends EventEmitter {
  // engine: the omber-core module. runner: see runners.js (players and, for
  // feederKind 'runner', the feeder). podOptions go to the pod; makePod
  // builds it (an in-process Pod by default).
  constructor({ engine, runner, bpm = 120, speed = 1, podOptions = {}, makePod = (o) => new Pod(o), dir = null, tickMs } = {}) {
    super();
    this.engine = engine;
    this.runner = runner;
    this.bpm = bpm;
    this.speed = speed;
    this.podOptions = podOptions;
    this.makePod = makePod;
    this.dir = dir || fs.mkdtempSync(path.join(os.tmpdir(), 'omber-stage-'));
    this.tickMs = tickMs;
    this.events = []; // { at (ms), sel, args } of every outlet and interface message, bulky bytes left out
    this.frames = []; // { at, target, type, msg } of every "ext:write" (msg decoded for small frames)
    this.positions = new Map(); // connection id -> [{ at, seconds, swapCount }]
    this.readers = new Map();
    this.patchesToPlayers = 0;
    this.slices = [];
    this.instances = [];
    this.clock = null;
  }

  get setDir() { return path.join(this.dir, 'Live Set'); }

  async start() {
    fs.mkdirSync(this.setDir, { recursive: true });
    this.pod = this.makePod(this.podOptions);
    this.podInfo = await this.pod.start();
    this.pod.on('slice', (s) => this.slices.push(s));
    const engine = this.engine;
    const spy = {
      dispatch: (sel, ...args) => {
        if (sel === 'ext:data') this.onBridgeData(args[0], args[1]);
        else if (sel === 'ext:conn' || sel === 'ext:close') this.record(`in:${sel}`, args);
        return engine.dispatch(sel, ...args);
      },
      onOutlet: (fn) => engine.onOutlet(fn),
    };
    this.host = new Host({
      engine: spy,
      config: { podUrl: this.podInfo.url, catalogUrl: this.podInfo.catalogUrl, tickMs: this.tickMs },
      toInterface: (sel, ...args) => this.record(sel, args),
    });
    this.host.on('outlet', (sel, args) => this.onOutlet(sel, args));
    this.port = await this.host.start();
    this.host.fromInterface('live_path', path.join(this.setDir, 'Stage.als'));
    return this;
  }

  record(sel, args) {
    this.events.push({ at: nowMs(), sel, args });
    this.emit('event', sel, args);
  }

  onOutlet(sel, args) {
    if (sel === 'ext:write' && Buffer.isBuffer(args[1]) && args[1].length >= 5) {
      const type = args[1][4];
      const small = type !== FRAME.Init && type !== FRAME.Swap && type !== FRAME.Patch;
      const msg = small ? decodePayload(type, args[1].subarray(5)) : null;
      this.frames.push({ at: nowMs(), target: String(args[0]), type, msg });
      if (type === FRAME.Patch && args[0] === 'players') this.patchesToPlayers += 1;
      this.emit('event', sel, args);
    } else if (HOST_HANDLED.has(sel)) {
      // Performed by the host; kept for the record without bulky bytes.
      this.record(sel, sel === 'preset:write' || sel === 'audio:write' ? [args[0]] : args);
    }
  }

  // Position reports per bridge connection, cut from the bytes the host
  // hands the engine.
  onBridgeData(id, bytes) {
    if (!Buffer.isBuffer(bytes)) return;
    let reader = this.readers.get(id);
    if (!reader) {
      reader = new FrameReader((type, payload) => {
        if (type !== FRAME.Position || payload.length < 12) return;
        if (!this.positions.has(id)) this.positions.set(id, []);
        this.positions.get(id).push({ at: nowMs(), seconds: payload.readDoubleLE(0), swapCount: payload.readInt32LE(8) });
      });
      this.readers.set(id, reader);
    }
    try {
      reader.feed(bytes);
    } catch {
      this.readers.delete(id);
    }
  }

  find(sel) { return this.events.filter((e) => e.sel === sel); }
  statuses() { return this.find('ui:status').map((e) => String(e.args[0])); }
  framesOf(type, target = 'players') { return this.frames.filter((f) => f.type === type && (target === null || f.target === target)); }

  // Resolves once check() holds; checked at every recorded event and every
  // 25 ms. Rejects after ms with what was awaited.
  waitFor(check, ms, what) {
    return new Promise((resolve, reject) => {
      let done = false;
      const finish = (err, value) => {
        if (done) return;
        done = true;
        clearInterval(poll);
        clearTimeout(timer);
        this.removeListener('event', probe);
        if (err) reject(err);
        else resolve(value);
      };
      const probe = () => {
        try {
          const value = check();
          if (value) finish(null, value);
        } catch (err) {
          finish(err);
        }
      };
      const poll = setInterval(probe, 25);
      const timer = setTimeout(() => finish(new Error(`timed out after ${ms} ms waiting for ${what}`)), ms);
      this.on('event', probe);
      probe();
    });
  }

  // The next interface or host message with this selector (and, optionally,
  // matching args) after index `from` of the record.
  waitForEvent(sel, ms, { from = this.events.length, match = () => true } = {}) {
    return this.waitFor(() => this.events.slice(from).find((e) => e.sel === sel && match(e.args)), ms, `"${sel}"`);
  }

  // ---- instances ---------------------------------------------------------

  // A feeder playing a generated track: 'runner' (the stage's runner) or
  // 'js' (the stand-in).
  async addFeeder({ kind = 'runner', bars = 8 } = {}) {
    const track = makeTrack(this.bpm, (bars * 4 * 60) / this.bpm);
    const trackPath = path.join(this.dir, 'track.wav');
    writeWav(trackPath, track.samples);
    this.trackPath = trackPath;
    const from = this.events.length;
    const runner = kind === 'js' ? require('./runners').jsRunner() : this.runner;
    const inst = await runner.startFeeder(this.port, { track, trackPath, token: this.host.bridgeToken });
    const role = await this.waitForEvent('ext:role', 15000, { from, match: (a) => a[1] === 'feeders' });
    inst.id = role.args[0];
    this.instances.push(inst);
    return inst;
  }

  // A player; resolves once the engine knows it as a player. Its id and the
  // number of patches sent to players before it joined are kept on it.
  async addPlayer(name = `player${this.instances.length + 1}`) {
    const from = this.events.length;
    const inst = await this.runner.startPlayer(this.port, {
      wavOut: path.join(this.dir, `${name}.wav`),
      bufferOut: path.join(this.dir, `${name}.buffer`),
      patchLog: path.join(this.dir, `${name}.patches`),
      token: this.host.bridgeToken,
    });
    const role = await this.waitForEvent('ext:role', 15000, { from, match: (a) => a[1] === 'players' });
    inst.id = role.args[0];
    inst.name = name;
    inst.patchesBefore = this.patchesToPlayers;
    this.instances.push(inst);
    return inst;
  }

  // Patches sent to the players group since this player joined (until it left).
  patchesSentTo(inst) {
    return (inst.patchesUntil !== undefined ? inst.patchesUntil : this.patchesToPlayers) - inst.patchesBefore;
  }

  async removePlayer(inst, { kill = false } = {}) {
    const from = this.events.length;
    await (kill ? inst.kill() : inst.stop());
    inst.patchesUntil = this.patchesToPlayers;
    this.instances = this.instances.filter((i) => i !== inst);
    await this.waitForEvent('in:ext:close', 10000, { from, match: (a) => a[0] === inst.id }).catch(() => {});
  }

  // ---- the performance ---------------------------------------------------

  startClock() {
    if (this.clock) return;
    this.clock = new LiveClock({
      bpm: this.bpm,
      speed: this.speed,
      send: (sel, ...args) => this.host.fromInterface(sel, ...args),
      onBar: (n) => this.emit('event', 'bar', [n]),
    });
    this.clock.start();
  }

  // Prints `bars` of the feeder's track and waits until the stream it
  // becomes the source of plays.
  async printAndStream({ bars = 1, prompt = 'deep house, warm bass', timeoutMs = 60000 } = {}) {
    const from = this.events.length;
    this.host.fromInterface('prompt', prompt);
    this.startClock();
    this.host.fromInterface('canvas_arm', bars);
    const started = await this.waitForEvent('param:start', timeoutMs, { from });
    // On the monotonic clock of the pod's send times (nanoseconds).
    this.streamStartedAt = BigInt(Math.round(started.at * 1e6));
  }

  // Stops the pod's slices and waits until the engine sent nothing more to
  // the players for quietMs and every player applied every patch sent to it.
  async settle({ quietMs = 500, timeoutMs = 30000 } = {}) {
    await this.pod.pause();
    let lastCount = -1;
    let since = nowMs();
    await this.waitFor(() => {
      if (this.patchesToPlayers !== lastCount) {
        lastCount = this.patchesToPlayers;
        since = nowMs();
        return false;
      }
      if (nowMs() - since < quietMs) return false;
      return this.players().every((p) => p.patchLog().length >= this.patchesSentTo(p));
    }, timeoutMs, 'the players to apply every patch');
  }

  players() { return this.instances.filter((i) => i.name); }

  // The engine's source buffer, as a player joining now receives it.
  async engineBuffer(timeoutMs = 20000) {
    const peer = new LinkPeer({ role: 0, token: this.host.bridgeToken });
    await peer.connect(this.port);
    try {
      await this.waitFor(() => peer.buffer !== null, timeoutMs, 'the Init of a joining player');
      return { channels: peer.channels, frames: peer.frames, samples: Float32Array.from(peer.buffer) };
    } finally {
      peer.disconnect();
    }
  }

  // The pod's buffer widened to 32-bit floats (the in-process pod).
  podBuffer() {
    const session = this.pod.session;
    const halves = session.buffer.halves;
    return { channels: 2, frames: halves.length / 2, samples: widen(halves), epoch: session.epoch };
  }

  async stop() {
    if (this.clock) this.clock.stop();
    for (const inst of this.instances.splice(0)) await inst.stop();
    if (this.host) await this.host.stop();
    if (this.pod) await this.pod.stop();
  }
}

// Index of the first sample where two buffers differ bit for bit (-1: the
// same length and the same bits throughout).
function firstDifference(a, b) {
  const x = Buffer.from(a.buffer, a.byteOffset, a.length * 4);
  const y = Buffer.from(b.buffer, b.byteOffset, b.length * 4);
  if (x.equals(y)) return -1;
  const n = Math.min(a.length, b.length);
  const ua = new Uint32Array(a.buffer, a.byteOffset, a.length);
  const ub = new Uint32Array(b.buffer, b.byteOffset, b.length);
  for (let i = 0; i < n; i++) if (ua[i] !== ub[i]) return i;
  return n;
}

module.exports = { Stage, firstDifference };
