#!/usr/bin/env node
'use strict';
// The fault matrix: every fault class of classes.js run against the real
// engine inside the host script, the simulated pod and players on loopback,
// each class in a child process of its own so that a crash is counted, not
// fatal. Prints one row per class: faults injected, crashes, the share that
// came back to streaming in sync with the pod (and how many of those needed
// the performer to start again), open file descriptors, and resident memory
// of the child before, at its peak during (the kernel's high-water mark),
// and after the class. Classes marked bigSource run on a 60 s source, as a real
// performance holds, unless --fast.
//
//   node tests/faults/matrix.js [--fast] [--json] [class ...]
//
// Exit status 0 when no class crashed and every fault was recovered from.
const path = require('path');
const { spawn } = require('child_process');
const { CLASSES } = require('./classes');
const { Rig, sleep, residentMiB, resetPeak, peakResidentMiB } = require('./rig');
const { findMaxhost } = require('../../sim/runners');

const buildDir = () => process.env.OMBER_BUILD_DIR || path.join(__dirname, '..', '..', 'build');

// Runs one class on a fresh rig in this process and returns its row.
async function runClass(name, { fast = false, engine = require('../..'), rig = null } = {}) {
  const own = rig === null;
  const podOptions = CLASSES[name].bigSource && !fast ? { maxDurationS: 60 } : {};
  const r = rig || (await new Rig({ engine, podOptions }).open());
  try {
    if (own) {
      const first = await r.startStream();
      if (!first.inSync) throw new Error('the first stream is not in sync with the pod');
    }
    await sleep(300);
    if (global.gc) global.gc();
    const before = r.snapshot();
    const errorsBefore = r.engineErrors;
    const kernelPeak = resetPeak();
    let peak = before.rssMiB;
    const sampler = setInterval(() => { peak = Math.max(peak, residentMiB()); }, 20);
    let t;
    try {
      t = await CLASSES[name](r, { fast, maxhost: findMaxhost(buildDir()) });
      await sleep(500);
    } finally {
      clearInterval(sampler);
    }
    if (global.gc) global.gc();
    const after = r.snapshot();
    peak = Math.max(peak, after.rssMiB, kernelPeak ? peakResidentMiB() : 0);
    return {
      name, ...t, crashes: 0, errors: 0, engineErrors: r.engineErrors - errorsBefore,
      fdsBefore: before.fds, fdsAfter: after.fds, rssBefore: before.rssMiB, rssPeak: peak, rssAfter: after.rssMiB,
    };
  } finally {
    if (own) await r.close();
  }
}

function runChild(name, fast) {
  return new Promise((resolve) => {
    const args = ['--expose-gc', __filename, '--child', name];
    if (fast) args.push('--fast');
    const child = spawn(process.execPath, args, { stdio: ['ignore', 'pipe', 'inherit'] });
    let out = '';
    child.stdout.on('data', (d) => { out += d; });
    child.on('exit', (code, signal) => {
      const line = out.trim().split('\n').pop();
      let row = null;
      try { row = JSON.parse(line); } catch { row = null; }
      if (row && code === 0) return resolve(row);
      // Killed by a signal is a crash; any other failure of the child is an
      // error of the class itself (its output on stderr tells which).
      resolve({
        name, injected: row ? row.injected : 0, recovered: 0, restarts: 0, crashes: signal ? 1 : 0, errors: signal ? 0 : 1,
        notes: [`child ended with ${signal || `status ${code}`}`], fdsBefore: NaN, fdsAfter: NaN, rssBefore: NaN, rssPeak: NaN, rssAfter: NaN,
      });
    });
  });
}

function table(rows) {
  const head = ['class', 'faults', 'crashes', 'back to streaming', 'restarts', 'fds before/after', 'RSS MiB before/peak/after'];
  const body = rows.map((r) => [
    r.name, String(r.injected), String(r.crashes),
    `${r.recovered}/${r.injected} (${r.injected ? Math.round((100 * r.recovered) / r.injected) : 0}%)`,
    String(r.restarts), `${r.fdsBefore}/${r.fdsAfter}`, `${fmt(r.rssBefore)}/${fmt(r.rssPeak)}/${fmt(r.rssAfter)}`,
  ]);
  const widths = head.map((h, i) => Math.max(h.length, ...body.map((b) => b[i].length)));
  const line = (cells) => `| ${cells.map((c, i) => c.padEnd(widths[i])).join(' | ')} |`;
  return [line(head), `|${widths.map((w) => '-'.repeat(w + 2)).join('|')}|`, ...body.map(line)].join('\n');
}

function fmt(x) { return Number.isFinite(x) ? x.toFixed(0) : '-'; }

async function main(argv) {
  const fast = argv.includes('--fast');
  const childAt = argv.indexOf('--child');
  if (childAt >= 0) {
    const row = await runClass(argv[childAt + 1], { fast });
    process.stdout.write(`${JSON.stringify(row)}\n`);
    return 0;
  }
  const names = argv.filter((a) => !a.startsWith('--'));
  const unknown = names.filter((n) => !CLASSES[n]);
  if (unknown.length) {
    process.stderr.write(`unknown class ${unknown.join(', ')}; classes: ${Object.keys(CLASSES).join(', ')}\n`);
    return 2;
  }
  const rows = [];
  for (const name of names.length ? names : Object.keys(CLASSES)) {
    const began = Date.now();
    const row = await runChild(name, fast);
    row.seconds = (Date.now() - began) / 1000;
    rows.push(row);
    process.stderr.write(`${name}: ${row.recovered}/${row.injected} back to streaming, ${row.crashes} crashes, ${row.seconds.toFixed(0)} s\n`);
  }
  if (argv.includes('--json')) process.stdout.write(`${JSON.stringify(rows, null, 2)}\n`);
  else process.stdout.write(`${table(rows)}\n`);
  for (const r of rows) for (const n of r.notes || []) process.stdout.write(`${r.name}: ${n}\n`);
  for (const r of rows) if (r.backlogMiB) process.stdout.write(`${r.name}: largest bridge backlog ${r.backlogMiB.toFixed(1)} MiB\n`);
  for (const r of rows) for (const f of r.figures || []) process.stdout.write(`${r.name}: ${f}\n`);
  for (const r of rows) if (r.vmPeakMiB) process.stdout.write(`${r.name}: virtual size ${r.vmBeforeMiB.toFixed(0)} MiB before, ${r.vmPeakMiB.toFixed(0)} MiB at most\n`);
  const bad = rows.some((r) => r.crashes > 0 || r.errors > 0 || r.recovered < r.injected || r.engineErrors > 0);
  return bad ? 1 : 0;
}

if (require.main === module) {
  main(process.argv.slice(2)).then((code) => process.exit(code), (err) => {
    process.stderr.write(`${err.stack || err}\n`);
    process.exit(1);
  });
}

module.exports = { runClass, table };
