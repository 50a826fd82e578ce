#!/usr/bin/env node
'use strict';
// The host script as a command line program for this machine: the same core
// as inside Max, with interface messages read from standard input or a script
// file and every interface message printed as a text line.
//
//   node host/cli.js --sim --clock 120 --script perf.txt
//   node host/cli.js --pod ws://127.0.0.1:9000 --live-path /tmp/set/My.als
const fs = require('fs');
const readline = require('readline');
const { Host } = require('./core');
const { loadEngine } = require('./engine');
const { readOptions, USAGE } = require('./options');
const { formatMessage } = require('./message-text');
const { runLines } = require('./script');

const QUIET_SELECTORS = new Set(['peaks', 'ui:position']);

// Starts everything the options ask for. Returns { host, pod, clock, done },
// where done resolves with the exit code once the program has shut down.
async function run(argv, io = process) {
  let opts;
  try {
    opts = readOptions(argv);
  } catch (err) {
    io.stderr.write(`${err.message}\n${USAGE}\n`);
    return { done: Promise.resolve(2) };
  }
  if (opts.help) {
    io.stdout.write(`${USAGE}\n`);
    return { done: Promise.resolve(0) };
  }
  const print = (selector, ...args) => {
    if (!opts.verbose && QUIET_SELECTORS.has(selector)) return;
    io.stdout.write(`${formatMessage(selector, args)}\n`);
  };

  let pod = null;
  if (opts.sim) {
    // In a child process, so generating never delays this one's sockets.
    const { PodProcess } = require('../sim/pod-process');
    pod = new PodProcess();
    const info = await pod.start();
    opts.config.podUrl = opts.config.podUrl || info.url;
    opts.config.catalogUrl = opts.config.catalogUrl || info.catalogUrl;
    print('sim:pod', info.url);
  }
  const host = new Host({ engine: loadEngine(opts.enginePath), config: opts.config, toInterface: print });
  await host.start();
  if (opts.livePath) host.fromInterface('live_path', opts.livePath);

  let clock = null;
  if (opts.clockBpm) {
    const { LiveClock } = require('../sim/live-clock');
    clock = new LiveClock({
      bpm: opts.clockBpm,
      timeSignature: opts.timeSignature,
      speed: opts.speed,
      send: (selector, ...args) => host.fromInterface(selector, ...args),
    });
    clock.start();
  }

  let finish;
  const done = new Promise((resolve) => { finish = resolve; });
  let closing = false;
  const shutdown = async (code) => {
    if (closing) return;
    closing = true;
    if (clock) clock.stop();
    await host.stop();
    if (pod) await pod.stop();
    finish(code);
  };
  const send = (selector, ...args) => host.fromInterface(selector, ...args);
  const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

  if (opts.script) {
    const lines = fs.readFileSync(opts.script, 'utf8').split(/\r?\n/);
    runLines(lines, { send, sleep }).then((how) => {
      if (how === 'quit' || !opts.stdin) shutdown(0);
    });
  }
  if (opts.stdin && io.stdin) {
    const rl = readline.createInterface({ input: io.stdin, terminal: false });
    const lines = (async function* () { for await (const line of rl) yield line; })();
    runLines(lines, { send, sleep }).then(() => shutdown(0));
  }
  return { host, pod, clock, done, shutdown };
}

if (require.main === module) {
  run(process.argv.slice(2)).then(({ done, shutdown }) => {
    if (shutdown) {
      process.on('SIGINT', () => shutdown(130));
      process.on('SIGTERM', () => shutdown(143));
    }
    return done;
  }).then((code) => process.exit(code), (err) => {
    process.stderr.write(`${err.stack || err}\n`);
    process.exit(1);
  });
}

module.exports = { run };
