'use strict';
// Calls per second of omber-core's dispatch against an empty Node-API
// function measured in the same run (median of the repetitions):
//   (a) dispatch('tick:param')                 a selector only
//   (b) dispatch('ws:data', <4 KiB Buffer>, 1)  a selector and a 4 KiB Buffer
//       (a session that is not connected ignores the data once it is copied);
//       16 Buffers take turns, as messages of a socket are distinct Buffers:
//       one Buffer alone measures whichever page offset it happened to get,
//       and the C library's copy is several times slower for a few of them
//   (c) dispatch('seek', 1.5)                  a handler that emits one message
//       carrying a bytes atom (a 13-byte Seek frame) back into JavaScript,
//       against the floor of delivering such a message from Node-API, and
//       the same floor with a 4 KiB Buffer.
// Build with -DOMBER_BUILD_BENCH=ON, then: node bench/addon_dispatch.js [build dir]
// Environment: REPS (default 7), CALLS per repetition (default 300000),
// JSON_OUT (a file that receives the ratios, for bench/report.js).
const path = require('path');

const buildDir = path.resolve(process.argv[2] || process.env.OMBER_BUILD_DIR || 'build');
process.env.OMBER_BUILD_DIR = buildDir;
const core = require(path.join(__dirname, '..'));
const baseline = require(path.join(buildDir, 'addon', 'omber-bench-baseline.node'));

const REPS = Number(process.env.REPS || 7);
const CALLS = Number(process.env.CALLS || 300000);

// Repetitions take turns across the cases, so that a slow moment of the
// machine touches every case alike; each case reports its median.
function measure(bodies) {
  for (const body of Object.values(bodies)) body(20000);  // warm up
  const rates = Object.fromEntries(Object.keys(bodies).map((k) => [k, []]));
  for (let r = 0; r < REPS; ++r) {
    for (const [name, body] of Object.entries(bodies)) {
      const start = process.hrtime.bigint();
      body(CALLS);
      const ns = Number(process.hrtime.bigint() - start);
      rates[name].push(CALLS / (ns / 1e9));
    }
  }
  const median = (list) => list.sort((a, b) => a - b)[Math.floor(list.length / 2)];
  return Object.fromEntries(Object.entries(rates).map(([k, list]) => [k, median(list)]));
}

let delivered = 0;
const sink = () => { delivered++; };
core.onOutlet(sink);

const kib4s = Array.from({ length: 16 }, (_, i) => Buffer.alloc(4096, i));

const cases = measure({
  emptyCall: (n) => { for (let i = 0; i < n; ++i) baseline.empty(); },
  a: (n) => { for (let i = 0; i < n; ++i) core.dispatch('tick:param'); },
  emptyCallWithBuffer: (n) => { for (let i = 0; i < n; ++i) baseline.empty('ws:data', kib4s[i & 15], 1); },
  b: (n) => { for (let i = 0; i < n; ++i) core.dispatch('ws:data', kib4s[i & 15], 1); },
  c: (n) => { for (let i = 0; i < n; ++i) core.dispatch('seek', 1.5); },
  emptyCallNumber: (n) => { for (let i = 0; i < n; ++i) baseline.empty('seek', 1.5); },
  deliver13: (n) => { for (let i = 0; i < n; ++i) baseline.deliver(sink, 13); },
  deliver4k: (n) => { for (let i = 0; i < n; ++i) baseline.deliver(sink, 4096); },
});

const fmt = (x) => `${(x / 1e6).toFixed(2)} M/s`;
const ratio = (base, x) => (base / x).toFixed(2);
console.log(`median of ${REPS} repetitions of ${CALLS} calls (node ${process.version})`);
console.log(`empty Node-API call               ${fmt(cases.emptyCall)}`);
console.log(`(a) dispatch('tick:param')        ${fmt(cases.a)}   ${ratio(cases.emptyCall, cases.a)}x the empty call`);
console.log(`(b) dispatch('ws:data', 4 KiB, 1) ${fmt(cases.b)}   ${ratio(cases.emptyCall, cases.b)}x the empty call, ` +
  `${ratio(cases.emptyCallWithBuffer, cases.b)}x the empty call with the same arguments`);
console.log(`(c) dispatch('seek', 1.5)         ${fmt(cases.c)}   ${ratio(cases.emptyCall, cases.c)}x the empty call, ` +
  `${ratio(cases.deliver13, cases.c)}x delivering a 13-byte message from Node-API`);
console.log(`    Node-API delivery, 13 bytes   ${fmt(cases.deliver13)}`);
console.log(`    Node-API delivery, 4 KiB      ${fmt(cases.deliver4k)}   ` +
  `${ratio(cases.emptyCall, cases.deliver4k)}x the empty call`);
const ours = 1 / cases.c - 1 / cases.deliver13;
const estimate4k = 1 / (1 / cases.deliver4k + ours);
console.log(`    (c) with a 4 KiB atom, est.   ${fmt(estimate4k)}   our share ${(100 * ours * estimate4k).toFixed(0)}% ` +
  `of the time, the rest is Node-API delivery and the Buffer`);
console.log(`(${delivered} outlet messages delivered)`);
if (process.env.JSON_OUT) {
  require('fs').writeFileSync(process.env.JSON_OUT, JSON.stringify({
    a: cases.emptyCall / cases.a,
    b: cases.emptyCall / cases.b,
    bSameArguments: cases.emptyCallWithBuffer / cases.b,
    cOurSharePct: 100 * ours * estimate4k,
    rates: cases,
  }, null, 2));
}
