#!/usr/bin/env node
'use strict';
// Measures, on loopback, the time from the pod sending a slice to each
// headless omber~ player having applied it to its buffer (the start of the
// audio vector that applied it), and prints p50, p99 and the largest, over
// the slices sent after every player loaded the source (not the start-up
// transfer).
//   node sim/latency.js [--seconds 30] [--players 2] [--slice-ms 100] [--vector 64] [--rt-priority 50]
// The players' audio loops run at realtime priority when the system permits
// it, as Max runs its audio thread (--rt-priority 0: normal scheduling).
// The pod runs in its own process, the players in theirs (real time).
const path = require('path');
const { parseArgs } = require('util');
const { Stage } = require('./stage');
const { maxhostRunner, findMaxhost } = require('./runners');
const { PodProcess } = require('./pod-process');
const { sliceLatencies, percentile } = require('./performance');
const { loadEngine } = require('../host/engine');

async function measure({ engine, program, seconds, players, sliceMs, vector, rtPriority = 0, onProgress = () => {} }) {
  const stage = new Stage({
    engine,
    runner: maxhostRunner(program, { vector, rtPriority }),
    podOptions: { sliceIntervalMs: sliceMs },
    makePod: (o) => new PodProcess(o),
  });
  try {
    await stage.start();
    await stage.addFeeder();
    const list = [];
    for (let i = 0; i < players; i++) list.push(await stage.addPlayer(`player${i + 1}`));
    onProgress('printing a bar of the feeder and starting the stream');
    await stage.printAndStream({ bars: 1 });
    onProgress(`streaming for ${seconds} s`);
    const end = Date.now() + seconds * 1000;
    await stage.waitFor(() => Date.now() >= end, seconds * 1000 + 5000, 'the end of the run');
    await stage.settle();
    // Slices sent before every player has loaded the source (its first
    // applied patch) queue behind the whole source on the link; they
    // measure the start, not the stream.
    let loaded = stage.streamStartedAt;
    for (const p of list) {
      const log = p.patchLog();
      if (log.length && log[0].at > loaded) loaded = log[0].at;
    }
    const slices = stage.slices.filter((sl) => sl.sentAt !== null && sl.sentAt >= loaded);
    const ms = list.flatMap((p) => sliceLatencies(slices, p.patchLog())).sort((a, b) => a - b);
    return {
      slices: slices.length,
      samples: ms.length,
      p50: percentile(ms, 50),
      p99: percentile(ms, 99),
      max: ms.length ? ms[ms.length - 1] : null,
    };
  } finally {
    await stage.stop();
    require('fs').rmSync(stage.dir, { recursive: true, force: true });
  }
}

async function main(argv) {
  const { values } = parseArgs({
    args: argv,
    options: {
      seconds: { type: 'string', default: '30' },
      players: { type: 'string', default: '2' },
      'slice-ms': { type: 'string', default: '100' },
      vector: { type: 'string', default: '64' },
      'rt-priority': { type: 'string', default: '50' },
    },
  });
  const seconds = Number(values.seconds);
  const players = Number(values.players);
  const sliceMs = Number(values['slice-ms']);
  const vector = Number(values.vector);
  const rtPriority = Number(values['rt-priority']);
  if (!(seconds > 0) || !(players >= 1) || !(sliceMs >= 10) || !(vector >= 1) || !(rtPriority >= 0 && rtPriority <= 99)) {
    process.stderr.write('latency: --seconds above 0, --players 1 or more, --slice-ms 10 or more, --vector 1 or more, --rt-priority 0 to 99\n');
    return 2;
  }
  const program = findMaxhost(process.env.OMBER_BUILD_DIR || path.join(__dirname, '..', 'build'));
  if (!program) {
    process.stderr.write('latency: omber-maxhost is not built (scripts/demo latency builds it)\n');
    return 1;
  }
  const r = await measure({
    engine: loadEngine(), program, seconds, players, sliceMs, vector, rtPriority,
    onProgress: (line) => process.stdout.write(`${line}\n`),
  });
  const f = (x) => (x === null ? 'n/a' : `${x.toFixed(2)} ms`);
  process.stdout.write(`slice to applied patch, ${players} player(s), ${vector}-frame vectors, ${r.samples} patches of ${r.slices} slices: `
    + `p50 ${f(r.p50)}, p99 ${f(r.p99)}, max ${f(r.max)}\n`);
  return r.samples > 0 ? 0 : 1;
}

if (require.main === module) {
  main(process.argv.slice(2)).then((code) => process.exit(code), (err) => {
    process.stderr.write(`${err.stack || err}\n`);
    process.exit(1);
  });
}

module.exports = { measure };
