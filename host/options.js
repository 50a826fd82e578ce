'use strict';
// Command-line options shared by both front ends (Max passes its node.script
// arguments the same way).
const { parseArgs } = require('util');

const OPTIONS = {
  pod: { type: 'string' },
  lookup: { type: 'string' },
  catalog: { type: 'string' },
  'bridge-port': { type: 'string' },
  'tick-ms': { type: 'string' },
  'lookup-timeout-ms': { type: 'string' },
  script: { type: 'string' },
  'live-path': { type: 'string' },
  clock: { type: 'string' },
  'time-signature': { type: 'string' },
  speed: { type: 'string' },
  sim: { type: 'boolean' },
  engine: { type: 'string' },
  verbose: { type: 'boolean', short: 'v' },
  'no-stdin': { type: 'boolean' },
  help: { type: 'boolean', short: 'h' },
};

function numberOption(values, name, fallback, check) {
  if (values[name] === undefined) return fallback;
  const n = Number(values[name]);
  if (!Number.isFinite(n) || (check && !check(n))) throw new Error(`--${name}: bad value ${values[name]}`);
  return n;
}

// Returns { config (for Host), front-end settings }; throws on bad options.
function readOptions(argv) {
  const { values } = parseArgs({ args: argv, options: OPTIONS, allowPositionals: false, strict: true });
  return {
    help: Boolean(values.help),
    config: {
      podUrl: values.pod || null,
      lookupUrl: values.lookup || null,
      catalogUrl: values.catalog || null,
      bridgePort: numberOption(values, 'bridge-port', 0, (n) => Number.isInteger(n) && n >= 0 && n < 65536),
      tickMs: numberOption(values, 'tick-ms', 20, (n) => n > 0),
      lookupTimeoutMs: numberOption(values, 'lookup-timeout-ms', 5000, (n) => n > 0),
    },
    script: values.script || null,
    livePath: values['live-path'] || null,
    clockBpm: numberOption(values, 'clock', null, (n) => n > 0),
    timeSignature: values['time-signature'] || '4/4',
    speed: numberOption(values, 'speed', 1, (n) => n > 0),
    sim: Boolean(values.sim),
    enginePath: values.engine || null,
    verbose: Boolean(values.verbose),
    stdin: !values['no-stdin'],
  };
}

const USAGE = `usage: node host/cli.js [options]
  --pod URL               the pod's WebSocket URL (ws://...)
  --lookup URL            an HTTP address that answers with the pod's URL
  --catalog URL|FILE      the LoRA catalog (JSON array)
  --sim                   start the simulated pod in this process and use it
  --clock BPM             run a simulated Live clock at BPM ("tempo", "transport", "bar")
  --time-signature N/D    the clock's time signature (default 4/4)
  --speed X               run the clock X times faster than real time
  --bridge-port N         listen for omber~ on 127.0.0.1:N (default: any free port)
  --tick-ms N             parameter tick period (default 20)
  --live-path PATH        send "live_path PATH" at start (the Live Set file)
  --script FILE           interface messages to send, one a line ("wait S", "quit")
  --no-stdin              do not read interface messages from standard input
  --engine FILE           load this module as the engine instead of the package root
  -v, --verbose           also print "peaks" and "ui:position"`;

module.exports = { readOptions, USAGE };
