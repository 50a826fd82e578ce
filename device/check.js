'use strict';
// Checks a Max patcher (.maxpat or .maxhelp) of the device against the Max
// objects it uses, the engine and host it talks to, and the omber~
// external. checkPatchText(text, context) returns a list of faults (empty
// when the patch is sound); loadContext() gathers the context from the
// source tree and the headless Max host.
//
// Run: node device/check.js FILE... (exit 1 on faults)
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { specOf, words } = require('./objects');
const { findMaxhost: findMaxhostIn, runnerEnv } = require('../sim/runners');

const ROOT = path.join(__dirname, '..');
const PARAMETER_TYPE_NAMES = ['float', 'int', 'enum', 'blob'];

// The engine's key table: 0 none, then each note's major and minor.
const NOTES = ['C', 'C#', 'D', 'D#', 'E', 'F', 'F#', 'G', 'G#', 'A', 'A#', 'B'];
const KEY_NAMES = ['none', ...NOTES.flatMap((n) => [`${n} major`, `${n} minor`])];

// What the engine's inlet handlers accept and start with, selector by
// selector (core/engine/setting_inlets.cpp, core/documents/*_inlets.cpp,
// core/live/*): numbers are rounded where the handler rounds, min and max
// bound what the handler keeps as given (a value outside is clamped or
// means something else), initial is the engine's value before any message.
const ENGINE_ACCEPTS = {
  blend: { type: 'float', min: 0, max: 1, initial: 0.4 },
  key: { type: 'enum', labels: KEY_NAMES, initial: 0 },
  macroval: { type: 'float', min: 0, max: 1 },
  lora_slot: { type: 'int', min: 0, initial: 0 },
  lora_strength: { type: 'float', initial: 1 },
  timbre_strength: { type: 'float' },
  section: { type: 'int', min: -1, initial: -1 },
  loop_start: { type: 'int', min: -1, initial: -1 },
  loop_len: { type: 'int', min: 1, initial: 4 },
  bars: { type: 'int', min: 1, initial: 4 },
  quant: { type: 'int', min: 0, initial: 1 },
  // A print never exceeds the bars that fit into 60 s: 64 bars is the most
  // any tempo up to 999 BPM lets through in a short bar.
  fixed_arm: { type: 'int', min: 1, max: 64, initial: 4 },
  canvas_arm: { type: 'int', min: 1, max: 64, initial: 4 },
  splice_arm: { type: 'int', min: 1, max: 64 },
  feed: { type: 'enum', words: ['off', 'stream', 'splice', 'auto', 'fixed'], initial: 'off' },
  // The pod mixes with "replace" or adds with "add", "mix", "overdub", "sum".
  feed_mix: { type: 'enum', words: ['replace', 'add', 'mix', 'overdub', 'sum'], initial: 'replace' },
};

function sourceFiles(dir, pattern) {
  const out = [];
  for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
    const full = path.join(dir, entry.name);
    if (entry.isDirectory()) out.push(...sourceFiles(full, pattern));
    else if (pattern.test(entry.name)) out.push(full);
  }
  return out;
}

// The engine's inlet selectors, read from its inlet table.
function readInletSelectors(root = ROOT) {
  const text = fs.readFileSync(path.join(root, 'core', 'engine', 'inlet_table.cpp'), 'utf8');
  return new Set([...text.matchAll(/\{"([^"]+)",\s*&Engine::/g)].map((m) => m[1]));
}

// Interface messages the host handles itself, and the outlet messages it
// performs (the rest of the engine's outlet goes to the interface).
function readHost(root = ROOT) {
  const text = fs.readFileSync(path.join(root, 'host', 'core.js'), 'utf8');
  const own = new Set([...text.matchAll(/case '([a-z]+:[a-z_]+)':/g)].map((m) => m[1]));
  const block = text.slice(text.indexOf('this.handlers = {'));
  const handled = new Set([...block.slice(0, block.indexOf('\n    };')).matchAll(/'([a-z]+:[a-z_]+)':/g)].map((m) => m[1]));
  const emits = new Set();
  for (const file of sourceFiles(path.join(root, 'host'), /\.js$/)) {
    const src = fs.readFileSync(file, 'utf8');
    for (const m of src.matchAll(/toInterface\('([^']+)'/g)) emits.add(m[1]);
    if (/\bthis\.status\(/.test(src)) emits.add('ui:status');
  }
  return { own, handled, emits };
}

// Every selector the engine emits through its outlet.
function readEngineOutlets(root = ROOT) {
  const found = new Set();
  for (const file of sourceFiles(path.join(root, 'core'), /\.(cpp|h)$/)) {
    const src = fs.readFileSync(file, 'utf8');
    for (const m of src.matchAll(/\b(?:outlet_?|emit|emitNumber)\(\s*"([^"]+)"/g)) found.add(m[1]);
  }
  return found;
}

// The messages a patch must receive from node.script: what the engine emits
// and the host does not perform (the engine consumes its own
// "core:start_from_pcm"), plus the host's own interface messages.
function interfaceMessages(root = ROOT) {
  const host = readHost(root);
  const out = new Set(host.emits);
  for (const sel of readEngineOutlets(root)) {
    if (!host.handled.has(sel) && sel !== 'core:start_from_pcm') out.add(sel);
  }
  return out;
}

function findMaxhost(root = ROOT) {
  return findMaxhostIn(process.env.OMBER_BUILD_DIR || path.join(root, 'build'));
}

// Asks the headless Max host what omber~ boxes with these texts have.
function describeOmber(maxhost, argTexts) {
  const args = argTexts.flatMap((t) => ['--describe', t]);
  let text;
  try {
    text = execFileSync(maxhost, args, { encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'], env: runnerEnv() });
  } catch (err) {
    text = String(err.stdout || '');
  }
  const out = new Map();
  for (const line of text.split('\n').filter((l) => l.startsWith('{'))) {
    const d = JSON.parse(line);
    out.set(d.args, d);
  }
  return out;
}

function loadContext({ root = ROOT, maxhost = findMaxhost(root) } = {}) {
  const host = readHost(root);
  return {
    inletSelectors: readInletSelectors(root),
    hostSelectors: host.own,
    interfaceMessages: interfaceMessages(root),
    describe: maxhost ? (texts) => describeOmber(maxhost, texts) : null,
  };
}

// ---- the checks ----

function omberArgs(box) {
  return words(box.text).slice(1).join(' ');
}

// The selector a box sends: a prepend's first argument (and the fixed
// arguments after it), a message box's first word; null when the box's
// output is not a message with a known selector.
function sentSelector(box) {
  if (!box) return null;
  if (box.maxclass === 'newobj') {
    const [cls, sel, ...fixed] = words(box.text);
    if (cls === 'prepend' && sel) return { selector: sel, fixed };
    return null;
  }
  if (box.maxclass === 'message') {
    const first = words(String(box.text).split(',')[0])[0];
    return first && !first.startsWith('$') ? { selector: first, fixed: [] } : null;
  }
  return null;
}

function checkPatchText(text, ctx, { device = true } = {}) {
  let doc;
  try {
    doc = JSON.parse(text);
  } catch (err) {
    return [`not valid JSON: ${err.message}`];
  }
  const patcher = doc && doc.patcher;
  if (!patcher || !Array.isArray(patcher.boxes) || !Array.isArray(patcher.lines)) return ['no patcher with boxes and lines'];
  const faults = [];
  const boxes = new Map();
  for (const { box } of patcher.boxes) {
    if (!box || typeof box.id !== 'string') {
      faults.push('a box without an id');
      continue;
    }
    if (boxes.has(box.id)) faults.push(`duplicate box id ${box.id}`);
    boxes.set(box.id, box);
  }

  // omber~ boxes, as the external makes them.
  const omberBoxes = [...boxes.values()].filter((b) => b.maxclass === 'newobj' && words(b.text)[0] === 'omber~');
  let described = new Map();
  if (omberBoxes.length) {
    if (!ctx.describe) faults.push('omber~ boxes present but no headless Max host to check them');
    else described = ctx.describe([...new Set(omberBoxes.map(omberArgs))]);
  }
  const specs = new Map();
  for (const box of boxes.values()) {
    let spec = specOf(box);
    const name = box.maxclass === 'newobj' ? words(box.text)[0] : box.maxclass;
    if (spec === null) {
      const d = described.get(omberArgs(box));
      if (!d) {
        if (ctx.describe) faults.push(`${box.id} omber~ ${omberArgs(box)}: the external did not describe it`);
        continue;
      }
      if (!d.created) {
        faults.push(`${box.id} omber~ ${omberArgs(box)}: the external refused to create it`);
        continue;
      }
      if (d.arguments.length) faults.push(`${box.id} omber~ takes no arguments, got ${d.arguments.join(' ')}`);
      for (const a of d.unknownAttributes) faults.push(`${box.id} omber~ has no attribute @${a}`);
      // Values given as attributes must survive the external's clipping.
      const w = words(box.text).slice(1);
      for (let i = 0; i < w.length; i++) {
        if (!w[i].startsWith('@') || !(w[i].slice(1) in d.attributes) || i + 1 >= w.length) continue;
        const got = d.attributes[w[i].slice(1)];
        if (Number(w[i + 1]) !== got) faults.push(`${box.id} omber~ ${w[i]} ${w[i + 1]} becomes ${got}`);
      }
      spec = { inlets: d.inlets, outlets: d.outlets, signalIn: Array.from({ length: d.signalInlets }, (_, i) => i), messages: new Set([...d.messages, ...Object.keys(d.attributes)]) };
    }
    if (spec === undefined) {
      faults.push(`${box.id} ${name}: an object the checker does not know`);
      continue;
    }
    specs.set(box.id, spec);
    if (box.numinlets !== spec.inlets) faults.push(`${box.id} ${name}: numinlets ${box.numinlets}, the object has ${spec.inlets}`);
    if (box.numoutlets !== spec.outlets.length) faults.push(`${box.id} ${name}: numoutlets ${box.numoutlets}, the object has ${spec.outlets.length}`);
  }

  // Cords.
  const cords = [];
  for (const { patchline } of patcher.lines) {
    const [src, outlet] = (patchline && patchline.source) || [];
    const [dst, inlet] = (patchline && patchline.destination) || [];
    const from = boxes.get(src);
    const to = boxes.get(dst);
    if (!from || !to) {
      faults.push(`cord ${src}:${outlet} -> ${dst}:${inlet} names a missing box`);
      continue;
    }
    const fs_ = specs.get(src);
    const ts = specs.get(dst);
    if (!fs_ || !ts) continue;
    if (!Number.isInteger(outlet) || outlet < 0 || outlet >= fs_.outlets.length) {
      faults.push(`cord from ${src} outlet ${outlet}: the box has ${fs_.outlets.length} outlets`);
      continue;
    }
    if (!Number.isInteger(inlet) || inlet < 0 || inlet >= ts.inlets) {
      faults.push(`cord into ${dst} inlet ${inlet}: the box has ${ts.inlets} inlets`);
      continue;
    }
    if (fs_.outlets[outlet] === 'signal' && !ts.signalIn.includes(inlet)) {
      faults.push(`signal cord from ${src}:${outlet} into ${dst} (${words(to.text)[0] || to.maxclass}) inlet ${inlet}, which takes no signal`);
    }
    cords.push({ src, outlet, dst, inlet });
  }
  const cordsFrom = (id, outlet = null) => cords.filter((c) => c.src === id && (outlet === null || c.outlet === outlet));

  // Messages into node.script and omber~.
  const nodes = [...boxes.values()].filter((b) => b.maxclass === 'newobj' && words(b.text)[0] === 'node.script');
  const nodeIds = new Set(nodes.map((b) => b.id));
  for (const c of cords) {
    const from = boxes.get(c.src);
    if (nodeIds.has(c.dst)) {
      const sent = sentSelector(from);
      if (!sent) faults.push(`${c.src} (${from.text || from.maxclass}) sends node.script a message whose selector cannot be told`);
      else if (!ctx.inletSelectors.has(sent.selector) && !ctx.hostSelectors.has(sent.selector)) {
        faults.push(`"${sent.selector}" sent into node.script is neither an engine inlet nor a host message`);
      }
    }
    const spec = specs.get(c.dst);
    if (spec && spec.messages && specs.get(c.src).outlets[c.outlet] !== 'signal') {
      const sent = sentSelector(from);
      if (!sent) faults.push(`${c.src} sends omber~ ${c.dst} a message whose selector cannot be told`);
      else if (!spec.messages.has(sent.selector)) faults.push(`omber~ ${c.dst} has no message "${sent.selector}"`);
    }
  }

  if (device) {
    // A Max for Live device shows 169 px of its presentation view.
    for (const box of boxes.values()) {
      const r = box.presentation === 1 ? box.presentation_rect : null;
      if (box.presentation === 1 && !(Array.isArray(r) && r.length === 4)) faults.push(`${box.id}: shown in presentation without a presentation_rect`);
      else if (r && (r[1] < 0 || r[1] + r[3] > 169)) faults.push(`${box.id}: presentation_rect ${r.join(' ')} leaves the device's 169 px height`);
    }
    if (nodes.length !== 1) faults.push(`${nodes.length} node.script boxes (the device needs exactly one)`);
    // Every interface message reaches something through a route fed by
    // node.script's left outlet.
    const received = new Set();
    for (const n of nodes) {
      for (const c of cordsFrom(n.id, 0)) {
        const r = boxes.get(c.dst);
        const [cls, ...args] = words(r.text);
        if (r.maxclass !== 'newobj' || cls !== 'route') continue;
        args.forEach((sel, i) => { if (cordsFrom(r.id, i).length) received.add(sel); });
      }
    }
    for (const sel of ctx.interfaceMessages) {
      if (!received.has(sel)) faults.push(`interface message "${sel}" from the host reaches nothing in the patch`);
    }
  }

  faults.push(...checkParameters(boxes, cords));
  return faults;
}

// Follows a parameter's value to the selectors it ends up in: through
// triggers and zl objects, to the prepend or message box that names it.
function selectorsOf(start, boxes, cords) {
  const found = [];
  const seen = new Set();
  const lookups = [];
  const walk = (id, outlet) => {
    for (const c of cords.filter((x) => x.src === id && x.outlet === outlet)) {
      if (seen.has(c.dst)) continue;
      seen.add(c.dst);
      const box = boxes.get(c.dst);
      const sent = sentSelector(box);
      if (sent) {
        found.push(sent);
        continue;
      }
      const cls = box.maxclass === 'newobj' ? words(box.text)[0] : '';
      // A trigger's "b" outlets carry a bang, not the value.
      if (cls === 't') words(box.text).slice(1).forEach((a, i) => { if (a !== 'b') walk(c.dst, i); });
      else if (cls === 'zl.reg') walk(c.dst, 0);
      else if (cls === 'zl.lookup') {
        lookups.push(words(box.text).slice(1));
        walk(c.dst, 0);
      }
    }
  };
  walk(start, 0);
  return { found, lookups };
}

function checkParameters(boxes, cords) {
  const faults = [];
  const longNames = new Map();
  const shortNames = new Map();
  for (const box of boxes.values()) {
    if (box.parameter_enable !== 1) continue;
    const v = (box.saved_attribute_attributes && box.saved_attribute_attributes.valueof) || {};
    const long = v.parameter_longname;
    const short = v.parameter_shortname;
    if (!long || !short) {
      faults.push(`${box.id}: a parameter without a long and a short name`);
      continue;
    }
    if (longNames.has(long)) faults.push(`parameter long name "${long}" used by ${longNames.get(long)} and ${box.id}`);
    if (shortNames.has(short)) faults.push(`parameter short name "${short}" used by ${shortNames.get(short)} and ${box.id}`);
    longNames.set(long, box.id);
    shortNames.set(short, box.id);
    const type = PARAMETER_TYPE_NAMES[v.parameter_type];
    if (!type) {
      faults.push(`"${long}": unknown parameter type ${v.parameter_type}`);
      continue;
    }
    if (type === 'blob') continue;
    const initial = Array.isArray(v.parameter_initial) ? v.parameter_initial[0] : undefined;
    const items = type === 'enum' ? v.parameter_enum || [] : null;
    if (type === 'enum') {
      if (!items.length) faults.push(`"${long}": an enum without items`);
      if (initial !== undefined && !(Number.isInteger(initial) && initial >= 0 && initial < items.length)) faults.push(`"${long}": initial ${initial} is no item`);
    } else {
      if (!(v.parameter_mmin < v.parameter_mmax)) faults.push(`"${long}": range ${v.parameter_mmin}..${v.parameter_mmax} is empty`);
      if (initial !== undefined && !(initial >= v.parameter_mmin && initial <= v.parameter_mmax)) faults.push(`"${long}": initial ${initial} outside ${v.parameter_mmin}..${v.parameter_mmax}`);
      if (v.parameter_unitstyle === undefined) faults.push(`"${long}": no unit style`);
    }

    const { found, lookups } = selectorsOf(box.id, boxes, cords);
    for (const words_ of lookups) {
      if (items && words_.length && words_.join(' ') !== items.join(' ')) faults.push(`"${long}": menu items ${items.join('/')} but the words sent are ${words_.join('/')}`);
    }
    for (const { selector } of found) {
      const want = ENGINE_ACCEPTS[selector];
      if (!want) continue;
      const what = `"${long}" (sent as ${selector})`;
      if (want.type !== type) {
        faults.push(`${what}: a ${type} parameter, the engine takes ${want.type === 'enum' ? 'one of its words' : `a ${want.type}`}`);
        continue;
      }
      if (type === 'enum') {
        if (want.labels && items.join('|') !== want.labels.join('|')) faults.push(`${what}: items ${items.join('/')} do not name the engine's values ${want.labels.join('/')}`);
        if (want.words) {
          for (const w of items) if (!want.words.includes(w)) faults.push(`${what}: the engine has no "${w}"`);
          if (initial !== undefined && items[initial] !== want.initial) faults.push(`${what}: starts at "${items[initial]}", the engine at "${want.initial}"`);
        } else if (want.initial !== undefined && initial !== want.initial) {
          faults.push(`${what}: starts at ${initial}, the engine at ${want.initial}`);
        }
        continue;
      }
      if (want.min !== undefined && v.parameter_mmin < want.min) faults.push(`${what}: range ${v.parameter_mmin}..${v.parameter_mmax} goes below the engine's ${want.min}`);
      if (want.max !== undefined && v.parameter_mmax > want.max) faults.push(`${what}: range ${v.parameter_mmin}..${v.parameter_mmax} goes above the engine's ${want.max}`);
      if (want.initial !== undefined && initial !== want.initial) faults.push(`${what}: starts at ${initial}, the engine at ${want.initial}`);
    }
  }
  return faults;
}

if (require.main === module) {
  const ctx = loadContext();
  let count = 0;
  for (const file of process.argv.slice(2)) {
    const faults = checkPatchText(fs.readFileSync(file, 'utf8'), ctx, { device: !file.endsWith('.maxhelp') });
    for (const f of faults) console.log(`${file}: ${f}`);
    count += faults.length;
  }
  if (count === 0) console.log('no faults');
  process.exitCode = count ? 1 : 0;
}

module.exports = { checkPatchText, loadContext, interfaceMessages, readInletSelectors, ENGINE_ACCEPTS, KEY_NAMES };
