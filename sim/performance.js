'use strict';
// A whole performance on loopback: the simulated pod, the host script with
// the engine, players and a feeder, and the Live clock, driven by a script
// of interface messages at bar lines. It prints progress, leaves the
// players' output and the exported audio as WAV files, and sums up what
// happened (slices, bytes, phase error, reconnects, slice-to-player latency).
//
// The script has two parts: the prelude counts bars from the clock's start
// (set a prompt, arm a print of the feeder's track, which becomes the source
// the pod generates from); the show counts bars from the first bar line after
// the stream started (prompt, blend, key, knob and section changes, a swap,
// a preset, stop).
const fs = require('fs');
const os = require('os');
const path = require('path');
const { EventEmitter } = require('events');
const { Host } = require('../host/core');
const { Pod } = require('./pod');
const { LiveClock, barSeconds } = require('./live-clock');
const { renderRegion, baseScene, SAMPLE_RATE } = require('./music');
const { styleFromText } = require('./style');
const { writeWav } = require('./wavfile');
const { FRAME } = require('./link');

// Evenly spread show steps between the first bar of the stream and the stop.
function defaultScript({ printBars = 4, showBars = 10 } = {}) {
  const steps = [
    ['second prompt', ['prompt_b', 'heavy dubstep growl']],
    ['blend towards it', ['blend', 0.8]],
    ['key of A minor', ['key', 20]],
    ['drums up', ['knob', 'ch_g0', 1.8]],
    ['loop section 1', ['section', 1]],
    ['swap to the "break" fixture', ['swap', 'break']],
    ['save a preset', ['snapshot_req', '']],
  ];
  const stopBar = Math.max(showBars, steps.length + 1);
  return {
    prelude: [
      { bar: 0, label: 'first prompt', send: ['prompt', 'deep house, warm bass'] },
      { bar: 0, label: `arm a ${printBars}-bar print of the feeder`, send: ['canvas_arm', printBars] },
    ],
    show: [
      ...steps.map(([label, send], i) => ({ bar: 1 + Math.floor((i * (stopBar - 1)) / steps.length), label, send })),
      { bar: stopBar, label: 'stop', send: ['stop'] },
    ],
  };
}

// The feeder's track: eight bars of the pod's own arrangement in another style.
function makeTrack(bpm, seconds) {
  const scene = baseScene({ bpm, key: { root: 4, minor: true }, style: styleFromText('funk bass drums'), melodySeed: 11, timbre: { wave: 2 } });
  return { samples: renderRegion(scene, 0, Math.round(seconds * SAMPLE_RATE)), channels: 2 };
}

function percentile(sorted, p) {
  if (sorted.length === 0) return null;
  return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
}

// Pairs one player's applied patches with the pod slices that caused them:
// each patch with the latest slice of the same start frame sent before it,
// unless that slice is already paired (so a slice the engine dropped is
// never paired with a later patch). Returns milliseconds, sorted.
function sliceLatencies(slices, patches) {
  const byStart = new Map();
  for (const s of slices) {
    if (s.sentAt === null || s.corrupt) continue;
    if (!byStart.has(s.startFrame)) byStart.set(s.startFrame, []);
    byStart.get(s.startFrame).push({ sentAt: s.sentAt, used: false });
  }
  const out = [];
  for (const p of patches) {
    const sent = byStart.get(p.startFrame) || [];
    let pick = null;
    for (const s of sent) {
      if (s.sentAt > p.at) break;
      pick = s;
    }
    if (!pick || pick.used) continue;
    pick.used = true;
    out.push(Number(p.at - pick.sentAt) / 1e6);
  }
  return out.sort((a, b) => a - b);
}

class Performance extends EventEmitter {
  // engine: the omber-core module (or a stand-in). runner: see runners.js.
  // makePod(options): the pod to run against (in-process by default; the
  // command line uses a child process so generation never delays the host).
  constructor({ engine, runner, outDir, seconds = 30, bpm = 120, players = 2, printBars = 4, speed = 1, podOptions = {}, script = null, makePod = (o) => new Pod(o) }) {
    super();
    this.makePod = makePod;
    this.engine = engine;
    this.runner = runner;
    this.outDir = outDir || fs.mkdtempSync(path.join(os.tmpdir(), 'omber-performance-'));
    this.bpm = bpm;
    this.playerCount = players;
    this.printBars = printBars;
    this.speed = speed;
    this.podOptions = podOptions;
    const bars = Math.max(1, Math.round(seconds / barSeconds(bpm, '4/4')));
    this.totalBars = bars;
    this.script = script || defaultScript({ printBars, showBars: Math.max(1, bars - printBars - 2) });
    this.bar = 0;
    this.streamBar = null;
    this.streamStartedAt = null; // monotonic ns of the first stream start
    this.status = '';
    this.metrics = { patches: 0, inits: 0, swaps: 0, phaseMaxMs: 0, phases: [], reconnects: 0, statuses: [], roles: 0 };
    this.slices = [];
  }

  log(line) { this.emit('progress', line); }

  onInterface(selector, args) {
    switch (selector) {
      case 'ui:status':
        this.status = String(args[0]);
        this.metrics.statuses.push(this.status);
        this.log(`bar ${this.bar}: ${this.status}`);
        break;
      case 'ui:phase':
        this.metrics.phases.push([this.bar, Number(args[0])]);
        this.metrics.phaseMaxMs = Math.max(this.metrics.phaseMaxMs, Math.abs(Number(args[0])));
        break;
      case 'param:start':
        this.streamBar = this.bar;
        if (this.streamStartedAt === null) this.streamStartedAt = process.hrtime.bigint();
        break;
      default:
        break;
    }
  }

  onOutlet(selector, args) {
    if (selector === 'ext:write' && Buffer.isBuffer(args[1]) && args[1].length > 4) {
      const type = args[1][4];
      if (type === FRAME.Patch && args[0] === 'players') this.metrics.patches += 1;
      if (type === FRAME.Init) this.metrics.inits += 1;
      if (type === FRAME.Swap) this.metrics.swaps += 1;
    } else if (selector === 'ws:reconnect_in') {
      this.metrics.reconnects += 1;
    } else if (selector === 'ext:role') {
      this.metrics.roles += 1;
    }
  }

  send(step) {
    this.log(`bar ${this.bar}: ${step.label}`);
    this.host.fromInterface(...step.send);
  }

  onBar(n) {
    this.bar = n;
    this.emit('bar', {
      bar: n,
      totalBars: this.streamBar === null ? this.totalBars : this.streamBar + Math.max(...this.script.show.map((s) => s.bar)) + 1,
      streamBar: this.streamBar === null ? null : n - this.streamBar,
      patches: this.metrics.patches,
      status: this.status,
    });
    const prelude = this.script.prelude.filter((s) => s.bar === n);
    prelude.forEach((s) => this.send(s));
    if (this.streamBar !== null) {
      const showBar = n - this.streamBar;
      this.script.show.filter((s) => s.bar === showBar).forEach((s) => this.send(s));
      const last = Math.max(...this.script.show.map((s) => s.bar));
      if (showBar >= last + 1) this.finish();
    } else if (n > this.script.prelude.reduce((m, s) => Math.max(m, s.bar), 0) + this.printBars + 8) {
      this.log(`bar ${n}: the stream did not start; giving up`);
      this.finish();
    }
  }

  async run() {
    const setDir = path.join(this.outDir, 'Live Set');
    fs.mkdirSync(setDir, { recursive: true });
    const track = makeTrack(this.bpm, this.printBars * barSeconds(this.bpm, '4/4') * 2);
    const trackPath = path.join(this.outDir, 'track.wav');
    writeWav(trackPath, track.samples);

    this.pod = this.makePod(this.podOptions);
    const pod = await this.pod.start();
    this.pod.on('slice', (s) => this.slices.push(s));
    this.host = new Host({
      engine: this.engine,
      config: { podUrl: pod.url, catalogUrl: pod.catalogUrl },
      toInterface: (sel, ...args) => this.onInterface(sel, args),
    });
    this.host.on('outlet', (sel, args) => this.onOutlet(sel, args));
    const port = await this.host.start();
    this.log(`pod ${pod.url}, bridge port ${port}, runner ${this.runner.name}`);
    this.host.fromInterface('live_path', path.join(setDir, 'Performance.als'));

    this.instances = [];
    this.players = [];
    this.playerWavs = [];
    try {
      const token = this.host.bridgeToken;
      this.instances.push(await this.runner.startFeeder(port, { track, trackPath, token }));
      for (let i = 0; i < this.playerCount; i++) {
        const wavOut = path.join(this.outDir, `player${i + 1}.wav`);
        this.playerWavs.push(wavOut);
        const work = path.join(this.outDir, 'work');
        fs.mkdirSync(work, { recursive: true });
        const player = await this.runner.startPlayer(port, {
          wavOut,
          bufferOut: path.join(work, `player${i + 1}.buffer`),
          patchLog: path.join(work, `player${i + 1}.patches`),
          token,
        });
        this.instances.push(player);
        this.players.push(player);
      }
      await this.waitFor(() => this.metrics.roles >= this.playerCount + 1, 5000, 'the instances to say hello');

      this.finished = new Promise((resolve) => { this.finish = resolve; });
      this.clock = new LiveClock({
        bpm: this.bpm,
        speed: this.speed,
        send: (sel, ...args) => {
          // Whatever the engine answers to a bar line belongs to that bar.
          if (sel === 'bar') this.bar = this.clock.bars;
          this.host.fromInterface(sel, ...args);
        },
        onBar: (n) => this.onBar(n),
      });
      this.onBar(0);
      this.clock.start();
      await this.finished;
      this.clock.stop();
      this.host.fromInterface('audio_export_req');
      await new Promise((resolve) => setTimeout(resolve, 50));
      await this.host.files.idle();
    } finally {
      if (this.clock) this.clock.stop();
      for (const inst of this.instances) await inst.stop();
      await this.host.stop();
      await this.pod.stop();
    }
    return this.summary(setDir);
  }

  async waitFor(check, ms, what) {
    const end = Date.now() + ms;
    while (!check()) {
      if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
      await new Promise((resolve) => setTimeout(resolve, 10));
    }
  }

  summary(setDir) {
    const logs = this.players.map((p) => (p.patchLog ? p.patchLog() : []));
    // Slices sent before the stream started wait for the players to load the
    // whole source: they measure the start, not the stream.
    const start = this.streamStartedAt;
    const streamed = this.slices.filter((s) => start !== null && s.sentAt !== null && s.sentAt >= start);
    const latencies = logs.flatMap((log) => sliceLatencies(streamed, log)).sort((a, b) => a - b);
    const exportDir = path.join(setDir, 'Omber', 'audio');
    const exported = fs.existsSync(exportDir) ? fs.readdirSync(exportDir).map((f) => path.join(exportDir, f)) : [];
    return {
      bars: this.bar,
      streamStartedAtBar: this.streamBar,
      slicesSent: this.slices.filter((s) => !s.corrupt).length,
      patchesToPlayers: this.metrics.patches,
      slicesAppliedByPlayers: logs.map((log) => log.length),
      bytesReceived: this.host.ws.receivedBytes,
      largestPhaseErrorMs: this.metrics.phaseMaxMs,
      phaseErrorsMs: this.metrics.phases,
      reconnects: this.metrics.reconnects,
      latencyMs: { count: latencies.length, p50: percentile(latencies, 50), p99: percentile(latencies, 99) },
      playerWavs: this.playerWavs.filter((f) => fs.existsSync(f)),
      exported,
      lastStatus: this.status,
      outDir: this.outDir,
    };
  }
}

module.exports = { Performance, defaultScript, sliceLatencies, percentile, makeTrack };
