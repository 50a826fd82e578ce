#!/usr/bin/env node
'use strict';
// Runs a whole performance on this machine and prints a summary.
//   node sim/perform.js [--seconds 30] [--bpm 120] [--runner auto|js|maxhost] [--out DIR] [--speed 1]
const path = require('path');
const { parseArgs } = require('util');
const { Performance } = require('./performance');
const { pickRunner } = require('./runners');
const { PodProcess } = require('./pod-process');
const { loadEngine } = require('../host/engine');

async function main(argv) {
  const { values } = parseArgs({
    args: argv,
    options: {
      seconds: { type: 'string', default: '30' },
      bpm: { type: 'string', default: '120' },
      runner: { type: 'string', default: 'auto' },
      out: { type: 'string' },
      speed: { type: 'string', default: '1' },
      players: { type: 'string', default: '2' },
    },
  });
  const buildDir = process.env.OMBER_BUILD_DIR || path.join(__dirname, '..', 'build');
  let engine;
  try {
    engine = loadEngine();
  } catch (err) {
    process.stderr.write(`cannot load the engine: ${err.message}\n`);
    return 1;
  }
  const perf = new Performance({
    engine,
    runner: pickRunner(values.runner, buildDir),
    outDir: values.out ? path.resolve(values.out) : undefined,
    seconds: Number(values.seconds),
    bpm: Number(values.bpm),
    speed: Number(values.speed),
    players: Number(values.players),
    makePod: (options) => new PodProcess(options),
  });
  perf.on('progress', (line) => process.stdout.write(`${line}\n`));
  const summary = await perf.run();
  process.stdout.write(`${JSON.stringify(summary, null, 2)}\n`);
  return summary.streamStartedAtBar === null ? 1 : 0;
}

if (require.main === module) {
  main(process.argv.slice(2)).then((code) => process.exit(code), (err) => {
    process.stderr.write(`${err.stack || err}\n`);
    process.exit(1);
  });
}

module.exports = { main };
