#!/usr/bin/env node
'use strict';
// The soak in real time: the host script with the engine in this process,
// the simulated pod in a child process, Live's clock at 120 BPM, a player
// and a feeder on the bridge (the headless omber~ runner as a second player
// when it is built). A print becomes the source; the feeder streams into it
// ("feed stream") half of each minute, the performer turns a knob, swaps
// and prints again now and then. Every 10 s it samples this process's
// resident memory and open file descriptors and counts slices and patches;
// at the end the player's copy is compared with the pod's buffer.
//
//   node tests/soak/realtime.js [--seconds 600] [--warmup 120]
//
// Exit status 1 when the stream never started, the copies differ at the end,
// or resident memory kept growing after the warm-up (a slope above 20 MiB/h
// and the last fifth of the samples 8 MiB above the first fifth; judged only
// with at least five minutes after the warm-up).
const path = require('path');
const { parseArgs } = require('util');
const { Host } = require('../../host/core');
const { PodProcess } = require('../../sim/pod-process');
const { LinkPeer } = require('../../sim/link-peer');
const { LiveClock } = require('../../sim/live-clock');
const { widen } = require('../../sim/f16');
const { renderRegion, baseScene, SAMPLE_RATE } = require('../../sim/music');
const { styleFromText } = require('../../sim/style');
const { findMaxhost, runnerEnv, tokenArgs } = require('../../sim/runners');
const { spawn } = require('child_process');
const { waitFor, sleep, openFds, sameFloats } = require('../faults/rig');

function slope(xs, ys) {
  const n = xs.length;
  if (n < 2) return 0;
  let sx = 0; let sy = 0; let sxx = 0; let sxy = 0;
  for (let i = 0; i < n; i++) { sx += xs[i]; sy += ys[i]; sxx += xs[i] * xs[i]; sxy += xs[i] * ys[i]; }
  const d = n * sxx - sx * sx;
  return d === 0 ? 0 : (n * sxy - sx * sy) / d;
}

async function main(argv) {
  const { values } = parseArgs({ args: argv, options: { seconds: { type: 'string', default: '600' }, warmup: { type: 'string' } } });
  const seconds = Number(values.seconds);
  const warmup = values.warmup !== undefined ? Number(values.warmup) : Math.min(120, seconds / 4);
  const engine = require('../..');
  const maxhost = findMaxhost(process.env.OMBER_BUILD_DIR || path.join(__dirname, '..', '..', 'build'));
  const pod = new PodProcess({ sliceIntervalMs: 250 });
  const info = await pod.start();
  const statuses = [];
  const counts = new Map();
  const host = new Host({
    engine,
    config: { podUrl: info.url },
    toInterface: (sel, ...args) => { if (sel === 'ui:status') statuses.push(String(args[0])); },
  });
  host.on('outlet', (sel, args) => {
    counts.set(sel, (counts.get(sel) || 0) + 1);
    if (sel === 'ext:write' && args[0] === 'players' && Buffer.isBuffer(args[1]) && args[1][4] === 2) counts.set('patches', (counts.get('patches') || 0) + 1);
  });
  const port = await host.start();
  const token = host.bridgeToken;
  const player = new LinkPeer({ role: 0, token });
  await player.connect(port);
  const scene = baseScene({ bpm: 120, key: { root: 4, minor: true }, style: styleFromText('funk bass drums'), melodySeed: 5, timbre: { wave: 2 } });
  const feeder = new LinkPeer({ role: 1, input: renderRegion(scene, 0, 8 * SAMPLE_RATE), token });
  await feeder.connect(port);
  let runner = null;
  if (maxhost) {
    runner = spawn(maxhost, ['--port', String(port), ...tokenArgs(token), '--player', '/dev/null', '--quiet'], { stdio: 'ignore', env: runnerEnv() });
  }

  // On an early failure the runner and the pod's process must not outlive us.
  const abandon = async (why) => {
    process.stderr.write(`${why}\n`);
    if (runner) runner.kill('SIGTERM');
    player.disconnect();
    feeder.disconnect();
    await host.stop();
    await pod.stop();
    return 1;
  };
  if (!(await waitFor(() => (counts.get('ext:role') || 0) >= (runner ? 3 : 2), { timeoutMs: 10000 }))) {
    return abandon('the player and the feeder got no role');
  }
  const clock = new LiveClock({ bpm: 120, send: (sel, ...args) => host.fromInterface(sel, ...args) });
  host.fromInterface('prompt', 'deep house, warm bass');
  host.fromInterface('canvas_arm', 4);
  clock.start();
  const began = Date.now();
  const ok = await waitFor(() => (counts.get('core:connected') || 0) > 0, { timeoutMs: 60000 });
  if (!ok) {
    clock.stop();
    return abandon(`the stream did not start: ${statuses.slice(-3).join(' / ')}`);
  }

  const samples = [];
  const sample = () => {
    const t = (Date.now() - began) / 1000;
    samples.push({ t, rssMiB: process.memoryUsage().rss / 1048576, fds: openFds(), slices: host.ws.receivedMessages, patches: counts.get('patches') || 0 });
    const s = samples[samples.length - 1];
    process.stderr.write(`t ${t.toFixed(0)} s  rss ${s.rssMiB.toFixed(1)} MiB  fds ${s.fds}  ws messages ${s.slices}  patches ${s.patches}\n`);
  };
  sample();
  let step = 0;
  while (Date.now() - began < seconds * 1000) {
    await sleep(10000);
    step += 1;
    const quietEnd = Date.now() - began > (seconds - 20) * 1000; // let the last swap or print land
    if (quietEnd) { sample(); continue; }
    // The feeder streams into the source half of each minute; the pod then
    // sends back what it wrote, raw, in place of its own slices.
    if (step % 6 === 0) host.fromInterface('feed', 'stream');
    if (step % 6 === 3) host.fromInterface('feed', 'off');
    if (step % 3 === 0) host.fromInterface('knob', 'ch_g0', 0.5 + (step % 7) / 7);
    if (step % 6 === 0) host.fromInterface('swap', ['break', 'disco', 'dub'][step % 3]);
    if (step % 9 === 0) host.fromInterface('canvas_arm', 4);
    sample();
  }

  // The end: the pod stops streaming; the player must hold the pod's buffer.
  host.fromInterface('feed', 'off');
  await sleep(3000); // the pod streams back what the feeder wrote
  await pod.pause();
  let last = -1;
  await waitFor(() => { const n = player.patchLog.length; const q = n === last; last = n; return q; }, { timeoutMs: 5000, stepMs: 300 });
  const snap = await pod.snapshot();
  const inSync = Boolean(snap && snap.halves && sameFloats(player.buffer, widen(new Uint16Array(snap.halves))));
  const podStats = await pod.stats();

  clock.stop();
  player.disconnect();
  feeder.disconnect();
  if (runner) {
    runner.kill('SIGINT');
    await new Promise((resolve) => runner.once('exit', resolve));
  }
  await host.stop();
  await pod.stop();

  const measured = samples.filter((s) => s.t >= warmup);
  const first = measured.slice(0, Math.max(1, Math.floor(measured.length / 5)));
  const lastFifth = measured.slice(-Math.max(1, Math.floor(measured.length / 5)));
  const mean = (xs) => xs.reduce((a, s) => a + s.rssMiB, 0) / xs.length;
  const rssSlope = slope(measured.map((s) => s.t / 3600), measured.map((s) => s.rssMiB));
  const growth = mean(lastFifth) - mean(first);
  const fds = samples.map((s) => s.fds);
  const end = samples[samples.length - 1];
  const lines = [
    `realtime soak: ${(seconds / 60).toFixed(1)} min wall time = ${(seconds / 60).toFixed(1)} min of performance at 120 BPM`,
    `slices: ${podStats.slices} sent by the pod (${podStats.rawSlices} raw, ${podStats.diffSlices} zstd), ${end.slices} WebSocket messages received, ${end.patches} Patch frames to the players, ${counts.get('ws:reconnect_in') || 0} reconnects, ${podStats.commands} commands at the pod`,
    `resident memory: ${samples[0].rssMiB.toFixed(1)} MiB at the start, ${measured.length ? measured[0].rssMiB.toFixed(1) : '-'} after the ${warmup} s warm-up, ${end.rssMiB.toFixed(1)} MiB at the end; slope after warm-up ${rssSlope.toFixed(2)} MiB/h, growth ${growth.toFixed(2)} MiB`,
    `open file descriptors: ${fds[0]} at the start, min ${Math.min(...fds)}, max ${Math.max(...fds)}, ${fds[fds.length - 1]} at the end`,
    `player in sync with the pod at the end: ${inSync ? 'yes' : 'NO'}${runner ? '; omber~ runner as a second player' : ''}`,
  ];
  process.stdout.write(`${lines.join('\n')}\n`);
  // Swaps and prints move the resident size by tens of MiB: a trend needs
  // at least five minutes after the warm-up to mean anything.
  const judged = seconds - warmup >= 300;
  const leaking = judged && rssSlope > 20 && growth > 8;
  if (!judged) process.stdout.write('realtime soak: too short after the warm-up to judge the memory trend\n');
  if (leaking) process.stdout.write('realtime soak: FAIL resident memory keeps growing\n');
  return inSync && !leaking ? 0 : 1;
}

if (require.main === module) {
  main(process.argv.slice(2)).then((code) => process.exit(code), (err) => {
    process.stderr.write(`${err.stack || err}\n`);
    process.exit(1);
  });
}
