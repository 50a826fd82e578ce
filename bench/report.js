#!/usr/bin/env node
'use strict';
// Turns the results that bench/run collected (Google Benchmark JSON files and
// the addon dispatch JSON) into one Markdown table: every figure with its
// ratio to the baseline measured in the same run, and the goal it is held to.
//   node bench/report.js <results folder>      prints the table
const fs = require('fs');
const path = require('path');

// A row: the program, the benchmark's run name (or a pattern on it), what the
// figure is, how to read it from the median row, the baseline, the goal.
//   pick(row, medians) -> number, goal: { max } or { min } on that number.
const time = (r) => r.time_vs_baseline;
const speed = (r) => r.speed_vs_baseline;
const rows = [
  ['frame_reader', 'BM_FrameReader/64/manual_time', '64 B frames, speed', speed, 'memcpy', { min: 0.5 }],
  ['frame_reader', 'BM_FrameReader/64/manual_time', '64 B frames, ns per frame', (r) => r.ns_per_frame, '-', { max: 10 }],
  ['frame_reader', 'BM_FrameReader/4096/manual_time', '4 KiB frames, speed', speed, 'memcpy', { min: 0.5 }],
  ['frame_reader', 'BM_FrameReader/786432/manual_time', '768 KiB frames, speed', speed, 'memcpy', { min: 0.5 }],
  ['frame_reader', 'BM_FrameReader/23000000/manual_time', '23 MB frames, speed', speed, 'memcpy', { min: 0.5 }],
  ['half_float', 'BM_WidenHalves/1/manual_time', 'binary16 widening (F16C kernel), time', time, 'bare F16C', { max: 2 }],
  ['half_float', 'BM_WidenHalves/0/manual_time', 'binary16 widening (portable kernel), time', time, 'bare F16C', null],
  ['half_float', 'BM_WidenHalvesAdd/manual_time', 'binary16 widen-and-add, time', time, 'bare F16C add', { max: 2 }],
  ['zstd', 'BM_ZstdDecoder/0/manual_time', 'zstd slice decoder, 2 s noisy, time', time, 'one-shot ZSTD_decompressDCtx', { max: 1.5 }],
  ['zstd', 'BM_ZstdDecoder/1/manual_time', 'zstd slice decoder, 60 s sparse, time', time, 'one-shot ZSTD_decompressDCtx', { max: 1.5 }],
  ['zstd', 'BM_ZstdDecoder/2/manual_time', 'zstd slice decoder, 60 s sparse, 16 MiB window, time', time, 'one-shot ZSTD_decompressDCtx', null],
  ['json', 'BM_JsonParse/0/manual_time', 'JSON parse, readiness document, time', time, 'RapidJSON DOM', { max: 2 }],
  ['json', 'BM_JsonParse/1/manual_time', 'JSON parse, preset document, time', time, 'RapidJSON DOM', { max: 2 }],
  ['number_text', 'BM_FormatNumberTo/manual_time', 'formatNumberTo, time', time, 'std::to_chars', { max: 1.5 }],
  ['number_text', 'BM_FormatNumberString/manual_time', 'formatNumber (string), time', time, 'std::to_chars', { max: 1.5 }],
  ['server_intake', 'BM_SliceIntake/0/manual_time', 'slice intake, raw 2 s, time', time, 'memcpy of the floats', { max: 1.5 }],
  ['server_intake', 'BM_SliceIntake/1/manual_time', 'slice intake, zstd 2 s noisy, time', time, 'one-shot zstd + memcpy', { max: 1.5 }],
  ['server_intake', 'BM_SliceIntake/2/manual_time', 'slice intake, zstd 60 s sparse, time', time, 'one-shot zstd + memcpy', { max: 2 }],
  ['print_source', 'BM_PrintBecomesNewSource/manual_time', 'finished print to a 21.5 MB new source, time', time, 'memcpy of the source', null],
];

// Programs whose ratios are between two benchmarks of the same run (medians
// of CPU time): [program, subject, baseline, figure, goal].
const pairs = [
  ['live_bar', 'BM_BarWithDriftCorrection', 'BM_EmptyDispatch', '"bar" with drift correction, time', null],
  ['live_bar', 'BM_PositionFrame', 'BM_EmptyDispatch', 'Position frame through "ext:data", time', null],
  ['external_perform', 'BM_PerformPlain', 'BM_BaselineInterpolatedRead', 'omber~ perform, plain, time', { max: 1.5 }],
  ['external_perform', 'BM_PerformLoopEndBlend', 'BM_BaselineInterpolatedRead', 'omber~ perform, loop-end blend, time', { max: 1.5 }],
  ['external_perform', 'BM_PerformCrossfadeAndBlend', 'BM_BaselineInterpolatedRead', 'omber~ perform, crossfade + blend, time', { max: 1.5 }],
];

function readJson(file) {
  try {
    return JSON.parse(fs.readFileSync(file, 'utf8'));
  } catch {
    return null;
  }
}

// Median aggregate rows of one program, by run name.
function medians(folder, program) {
  const doc = readJson(path.join(folder, `${program}.json`));
  if (!doc) return null;
  const out = new Map();
  for (const b of doc.benchmarks || []) {
    // Run names carry the repetition count ("BM_X/64/repeats:5/manual_time").
    if (b.run_type === 'aggregate' && b.aggregate_name === 'median') out.set(b.run_name.replace(/\/repeats:\d+/, ''), b);
  }
  return out;
}

function verdict(value, goal) {
  if (goal === null || value === undefined || value === null) return '';
  if (goal.max !== undefined) return value <= goal.max ? 'met' : 'missed';
  return value >= goal.min ? 'met' : 'missed';
}

function goalText(goal, unit = '×') {
  if (goal === null) return '-';
  return goal.max !== undefined ? `≤ ${goal.max}${unit}` : `≥ ${goal.min}${unit}`;
}

function fmt(x) {
  if (x === undefined || x === null || !Number.isFinite(x)) return 'n/a';
  return x >= 100 ? x.toFixed(0) : x >= 10 ? x.toFixed(1) : x >= 0.1 ? x.toFixed(2) : x.toPrecision(2);
}

function report(folder) {
  const lines = ['| program | figure | value | baseline | goal | |', '|---|---|---|---|---|---|'];
  const add = (program, figure, value, baseline, goal, unit) =>
    lines.push(`| ${program} | ${figure} | ${fmt(value)}${value === undefined ? '' : unit} | ${baseline} | ${goalText(goal, unit)} | ${verdict(value, goal)} |`);
  const cache = new Map();
  const get = (program) => {
    if (!cache.has(program)) cache.set(program, medians(folder, program));
    return cache.get(program);
  };

  for (const [program, name, figure, pick, baseline, goal] of rows) {
    const m = get(program);
    if (!m) continue;
    const row = m.get(name);
    const unit = figure.includes('ns per') ? ' ns' : '×';
    add(program, figure, row ? pick(row) : undefined, baseline, goal, unit);
  }
  for (const [program, subject, base, figure, goal] of pairs) {
    const m = get(program);
    if (!m) continue;
    const s = m.get(subject);
    const b = m.get(base);
    add(program, figure, s && b ? s.cpu_time / b.cpu_time : undefined, base.replace(/^BM_/, ''), goal, '×');
  }
  const perform = get('external_perform');
  // The costliest of the perform states measured; which one it is varies with the machine.
  const states = ['BM_PerformPlain', 'BM_PerformLoopEndBlend', 'BM_PerformCrossfadeAndBlend']
    .map((name) => perform && perform.get(name))
    .filter((row) => row && Number.isFinite(row.core_pct_48k));
  if (states.length > 0) {
    add('external_perform', 'omber~ perform, costliest state, % of one core at 48 kHz',
      Math.max(...states.map((row) => row.core_pct_48k)), '-', { max: 0.1 }, ' %');
  }
  const addon = readJson(path.join(folder, 'addon_dispatch.json'));
  if (addon) {
    add('addon_dispatch', "(a) dispatch('tick:param'), time", addon.a, 'empty Node-API call', { max: 8 }, '×');
    add('addon_dispatch', "(b) dispatch('ws:data', 4 KiB, 1), time", addon.b, 'empty Node-API call', { max: 20 }, '×');
    add('addon_dispatch', '(c) handler emitting a 4 KiB bytes atom, our share of the time', addon.cOurSharePct,
      'Node-API delivery of a 4 KiB Buffer', { max: 50 }, ' %');
  }
  return lines.join('\n');
}

if (require.main === module) {
  const folder = process.argv[2];
  if (!folder) {
    process.stderr.write('usage: node bench/report.js <results folder>\n');
    process.exit(2);
  }
  process.stdout.write(`${report(path.resolve(folder))}\n`);
}

module.exports = { report };
