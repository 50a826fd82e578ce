'use strict';
// The rig the fault classes run on: the real engine (the addon) inside the
// host script, the simulated pod and a player and a feeder on the bridge,
// all on loopback in this process. It knows how to bring the stream up, how
// to tell whether it came back after a fault, and what the process holds
// (open file descriptors, resident memory).
//
// "Back to streaming" means: new slices reach the player again, and once the
// pod stops sending, the player's copy equals the pod's buffer bit for bit.
const fs = require('fs');
const { Host } = require('../../host/core');
const { Pod } = require('../../sim/pod');
const { LinkPeer } = require('../../sim/link-peer');
const { widen } = require('../../sim/f16');
const { renderRegion, baseScene, SAMPLE_RATE } = require('../../sim/music');
const { styleFromText } = require('../../sim/style');

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function waitFor(check, { timeoutMs = 10000, stepMs = 10 } = {}) {
  const end = Date.now() + timeoutMs;
  while (!check()) {
    if (Date.now() > end) return false;
    await sleep(stepMs);
  }
  return true;
}

function openFds() {
  try {
    return fs.readdirSync('/proc/self/fd').length;
  } catch {
    return NaN;
  }
}

function residentMiB() { return process.memoryUsage().rss / (1024 * 1024); }

// The kernel's high-water mark of resident memory: it sees a peak inside a
// long synchronous call that no timer could sample. resetPeak() starts it
// again from the current size (false where that is not possible).
function resetPeak() {
  try {
    fs.writeFileSync('/proc/self/clear_refs', '5');
    return true;
  } catch {
    return false;
  }
}

// A size the kernel keeps in /proc/self/status (VmHWM, VmSize, ...), in
// MiB; NaN where there is no such file.
function statusMiB(field) {
  try {
    const m = new RegExp(`${field}:\\s+(\\d+) kB`).exec(fs.readFileSync('/proc/self/status', 'utf8'));
    return m ? Number(m[1]) / 1024 : NaN;
  } catch {
    return NaN;
  }
}

function peakResidentMiB() { return statusMiB('VmHWM'); }
function virtualMiB() { return statusMiB('VmSize'); }

function sameFloats(a, b) {
  if (!a || !b || a.length !== b.length) return false;
  const x = new Uint32Array(a.buffer, a.byteOffset, a.length);
  const y = new Uint32Array(b.buffer, b.byteOffset, b.length);
  for (let i = 0; i < x.length; i++) if (x[i] !== y[i]) return false;
  return true;
}

class Rig {
  // engine: the addon (one per process; each rig redirects its outlet).
  constructor({ engine, podOptions = {} }) {
    this.engine = engine;
    this.podOptions = { maxDurationS: 3, sliceIntervalMs: 40, ...podOptions };
    this.statuses = [];
    this.outlets = new Map();
    this.engineErrors = 0;
    this.players = [];
  }

  count(selector) { return this.outlets.get(selector) || 0; }

  async open() {
    this.pod = new Pod(this.podOptions);
    this.podInfo = await this.pod.start();
    this.host = new Host({
      engine: this.engine,
      config: { podUrl: this.podInfo.url },
      toInterface: (selector, ...args) => {
        if (selector !== 'ui:status') return;
        const text = String(args[0]);
        this.statuses.push(text);
        if (text.startsWith('engine error')) this.engineErrors += 1;
      },
    });
    this.host.on('outlet', (selector) => this.outlets.set(selector, this.count(selector) + 1));
    this.port = await this.host.start();
    this.player = await this.addPlayer();
    const scene = baseScene({ bpm: 120, key: { root: 4, minor: true }, style: styleFromText('funk bass drums'), melodySeed: 3, timbre: { wave: 2 } });
    this.feeder = new LinkPeer({ role: 1, input: renderRegion(scene, 0, 2 * SAMPLE_RATE), token: this.token });
    await this.feeder.connect(this.port);
    if (!(await waitFor(() => this.count('ext:role') >= 2))) throw new Error('the player and the feeder got no role');
    return this;
  }

  get token() { return this.host.bridgeToken; }

  async addPlayer() {
    const peer = new LinkPeer({ role: 0, token: this.token });
    await peer.connect(this.port);
    this.players.push(peer);
    return peer;
  }

  async dropPlayer(peer) {
    peer.disconnect();
    this.players.splice(this.players.indexOf(peer), 1);
    await waitFor(() => this.host.bridge.connections.size === this.players.length + 1);
  }

  // The first stream: a one-bar print of the feeder becomes the source the
  // pod generates from. Later streams start again from the same print.
  async startStream() {
    const connected = this.count('core:connected');
    const fromInterface = (...m) => this.host.fromInterface(...m);
    if (!this.printed) {
      fromInterface('tempo', 120);
      fromInterface('transport', 1);
      fromInterface('canvas_arm', 1);
      fromInterface('bar');
      this.printed = true;
    } else {
      fromInterface('stop');
      fromInterface('start');
    }
    if (!(await waitFor(() => this.count('core:connected') > connected, { timeoutMs: 20000 }))) {
      throw new Error(`the stream did not start: ${this.statuses.slice(-3).join(' / ')}`);
    }
    return this.backToStreaming();
  }

  // Waits for the stream to come back (the player receives new slices from
  // a streaming pod session) and checks the player's copy against the pod.
  // When the engine is idle (nothing scheduled, no socket) for restartAfterMs
  // it is started again once, as the performer would.
  async backToStreaming({ timeoutMs = 20000, restartAfterMs = 3000, player = this.player } = {}) {
    const base = player.patchLog.length;
    const began = Date.now();
    let restarted = false;
    const live = () => {
      const s = this.pod.session;
      return s && !s.closed && s.state === 'streaming';
    };
    const ok = await waitFor(() => {
      if (live() && player.patchLog.length >= base + 3) return true;
      const idle = !this.host.reconnect.pending && !this.host.ws.isOpen && this.host.ws.socket === null;
      if (!restarted && idle && Date.now() - began > restartAfterMs) {
        restarted = true;
        this.host.fromInterface('start');
      }
      return false;
    }, { timeoutMs });
    if (!ok) return { streaming: false, inSync: false, restarted };
    return { streaming: true, inSync: await this.inSync(player), restarted };
  }

  // Pauses the pod, lets the last patches arrive, compares, resumes.
  async inSync(player = this.player) {
    this.pod.pause();
    try {
      let last = -1;
      await waitFor(() => {
        const n = player.patchLog.length;
        const quiet = n === last;
        last = n;
        return quiet;
      }, { timeoutMs: 5000, stepMs: 150 });
      const session = this.pod.session;
      return Boolean(session && session.buffer && sameFloats(player.buffer, widen(session.buffer.halves)));
    } finally {
      this.pod.resume();
    }
  }

  snapshot() {
    return { fds: openFds(), rssMiB: residentMiB() };
  }

  async close() {
    for (const p of this.players) p.disconnect();
    if (this.feeder) this.feeder.disconnect();
    if (this.host) await this.host.stop();
    if (this.pod) await this.pod.stop();
  }
}

module.exports = { Rig, waitFor, sleep, openFds, residentMiB, resetPeak, peakResidentMiB, virtualMiB, sameFloats };
