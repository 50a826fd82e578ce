#!/usr/bin/env node
'use strict';
// Runs a whole performance on this machine: the simulated pod, the host with
// the engine, a feeder and two players, the Live clock. Shows progress per
// bar, leaves the players' output, the exported audio and a summary in the
// output folder, and prints the summary.
//   node sim/perform.js [--seconds 30] [--bpm 120] [--runner auto|js|maxhost] [--out DIR] [--speed 1] [--players 2]
const fs = require('fs');
const path = require('path');
const { parseArgs } = require('util');
const { Performance } = require('./performance');
const { pickRunner } = require('./runners');
const { PodProcess } = require('./pod-process');
const { readWav } = require('./wavfile');
const { loadEngine } = require('../host/engine');

// What a run leaves in the output folder; cleared first so nothing stale
// is mistaken for this run's result.
const OUTPUTS = ['Live Set', 'work', 'track.wav', 'export.wav', 'summary.json'];

function progressBar(done, total, width = 24) {
  const filled = Math.max(0, Math.min(width, Math.round((done / Math.max(total, 1)) * width)));
  return `[${'#'.repeat(filled)}${'.'.repeat(width - filled)}]`;
}

// Largest absolute sample of a WAV file (0 for silence), or null when it
// cannot be read.
function peakOf(file) {
  try {
    const { samples } = readWav(file);
    let peak = 0;
    for (let i = 0; i < samples.length; i++) peak = Math.max(peak, Math.abs(samples[i]));
    return peak;
  } catch {
    return null;
  }
}

function fmtMs(x) { return x === null ? 'n/a' : `${x.toFixed(2)} ms`; }

function report(s) {
  const lines = [
    '',
    '== summary',
    `stream started at bar ${s.streamStartedAtBar === null ? 'never' : s.streamStartedAtBar} of ${s.bars}`,
    `slices sent by the pod: ${s.slicesSent}; patches sent to players: ${s.patchesToPlayers}; applied by each player: ${s.slicesAppliedByPlayers.join(', ') || 'n/a'}`,
    `bytes received from the pod: ${s.bytesReceived}`,
    `largest phase error: ${s.largestPhaseErrorMs.toFixed(1)} ms`,
    `reconnects: ${s.reconnects}`,
    `patch latency (pod send -> player applied, ${s.latencyMs.count} patches since the stream started, the swap included): p50 ${fmtMs(s.latencyMs.p50)}, p99 ${fmtMs(s.latencyMs.p99)}`,
    ...s.playerWavs.map((f, i) => `player ${i + 1} output: ${f} (peak ${s.playerPeaks[i] === null ? 'unreadable' : s.playerPeaks[i].toFixed(3)})`),
    `exported audio: ${s.exportWav || 'none'}`,
    `summary: ${path.join(s.outDir, 'summary.json')}`,
  ];
  return lines.join('\n');
}

async function main(argv) {
  const { values } = parseArgs({
    args: argv,
    options: {
      seconds: { type: 'string', default: '30' },
      bpm: { type: 'string', default: '120' },
      runner: { type: 'string', default: 'auto' },
      out: { type: 'string', default: path.join(__dirname, '..', 'out') },
      speed: { type: 'string', default: '1' },
      players: { type: 'string', default: '2' },
    },
  });
  const seconds = Number(values.seconds);
  const bpm = Number(values.bpm);
  const speed = Number(values.speed);
  const players = Number(values.players);
  if (!(seconds >= 16) || !(bpm >= 40 && bpm <= 300) || !(speed > 0) || !(players >= 1 && Number.isInteger(players))) {
    process.stderr.write('perform: --seconds needs 16 or more, --bpm 40 to 300, --speed above 0, --players a whole number from 1\n');
    return 2;
  }
  const buildDir = process.env.OMBER_BUILD_DIR || path.join(__dirname, '..', 'build');
  let engine;
  try {
    engine = loadEngine();
  } catch (err) {
    process.stderr.write(`cannot load the engine: ${err.message}\n`);
    return 1;
  }
  const outDir = path.resolve(values.out);
  fs.mkdirSync(outDir, { recursive: true });
  for (const name of OUTPUTS) fs.rmSync(path.join(outDir, name), { recursive: true, force: true });
  for (let i = 1; i <= 16; i++) fs.rmSync(path.join(outDir, `player${i}.wav`), { force: true });

  const perf = new Performance({
    engine,
    runner: pickRunner(values.runner, buildDir, { workDir: path.join(outDir, 'work') }),
    outDir,
    seconds,
    bpm,
    speed,
    players,
    makePod: (options) => new PodProcess(options),
  });
  const started = Date.now();
  perf.on('progress', (line) => process.stdout.write(`  ${line}\n`));
  perf.on('bar', ({ bar, totalBars, streamBar, patches, status }) => {
    const phase = streamBar === null ? 'before the stream' : `stream bar ${streamBar}`;
    process.stdout.write(`${progressBar(bar, totalBars)} bar ${bar}/${totalBars} (${phase}) patches ${patches} | ${status}\n`);
  });
  const summary = await perf.run();

  summary.seconds = (Date.now() - started) / 1000;
  summary.playerPeaks = summary.playerWavs.map(peakOf);
  summary.exportWav = null;
  if (summary.exported.length > 0) {
    summary.exportWav = path.join(outDir, 'export.wav');
    fs.copyFileSync(summary.exported[0], summary.exportWav);
  }
  fs.writeFileSync(path.join(outDir, 'summary.json'), `${JSON.stringify(summary, null, 2)}\n`);
  process.stdout.write(`${report(summary)}\n`);

  const problems = [];
  if (summary.streamStartedAtBar === null) problems.push('the stream never started');
  if (!summary.exportWav) problems.push('nothing was exported');
  if (summary.playerWavs.length < players) problems.push('a player left no output');
  if (summary.playerPeaks.some((p) => !(p > 0.01))) problems.push('a player\'s output is silent');
  for (const p of problems) process.stderr.write(`perform: ${p}\n`);
  return problems.length ? 1 : 0;
}

if (require.main === module) {
  main(process.argv.slice(2)).then((code) => process.exit(code), (err) => {
    process.stderr.write(`${err.stack || err}\n`);
    process.exit(1);
  });
}

module.exports = { main, progressBar };
