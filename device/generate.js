'use strict';
// Writes device/Omber.maxpat and device/omber~.maxhelp from the description
// in omber-device.js. Run: node device/generate.js [--check]
// (--check also runs the patch checker against the source tree's engine and
// the headless omber~, and exits 1 on any fault).
const fs = require('fs');
const path = require('path');
const { PatchBuilder } = require('./patch-builder');
const device = require('./omber-device');

// The interface messages the device shows, in the order of the router's
// outlets. The checker compares this with what the engine and host emit.
const INTERFACE = [
  'host:port', 'ui:status', 'ui:ready', 'ui:section', 'ui:section_pending', 'ui:phase', 'ui:gridbpm',
  'ui:position', 'ui:swap', 'core:connected', 'core:connect_failed', 'core:ready_info', 'core:reconnect_giveup',
  'param:start', 'param:stop', 'echo', 'snapshot', 'knobnames', 'peaks',
];

const NOTES = [
  'Audio: the track enters plugin~ and passes straight through the feeder omber~ (role 1), which captures it only',
  'while the engine has capture on (a print or a feed mode). The players (role 0) render the generated music;',
  'their outlets and the feeder\'s are summed into plugout~. Nothing delays the signal, so Defined Latency stays 0.',
].join(' ');

function buildDevice({ omberSpec } = {}) {
  const p = new PatchBuilder({ omberSpec });
  const byName = new Map(); // control name -> box id
  const resend = [];        // controls whose value goes out again once the host runs
  const toNode = [];        // boxes whose output goes to node.script

  // ---- audio ----
  const plugin = p.obj('plugin~');
  const feeder = p.obj('omber~ @role 1 @capture 0');
  const player = p.obj('omber~ @role 0');
  const plugout = p.obj('plugout~');
  for (const ch of [0, 1]) {
    p.connect(plugin, ch, feeder, ch);
    p.connect(feeder, ch, plugout, ch);
    p.connect(player, ch, plugout, ch);
  }
  p.comment(NOTES, undefined, { patching_rect: [20, 700, 560, 60], linecount: 4 });

  // ---- the host ----
  const node = p.obj('node.script omber-host.js @autostart 1 @watch 0');
  const router = p.obj(`route ${INTERFACE.join(' ')}`);
  p.connect(node, 0, router, 0);
  const out = (sel) => INTERFACE.indexOf(sel);
  const send = (prefix) => {
    const id = p.obj(`prepend ${prefix}`);
    toNode.push(id);
    return id;
  };
  const sendMsg = (text) => {
    const id = p.msg(text);
    toNode.push(id);
    return id;
  };

  // The bridge port (and token) to every omber~, then everything the engine
  // must hear again from a freshly started host.
  const connect = p.obj('prepend connect');
  p.connect(router, out('host:port'), connect, 0);
  p.fan(connect, 0, [feeder, player]);
  const started = p.obj('t b b');
  p.connect(router, out('host:port'), started, 0);

  // ---- Live: Live Set path, tempo, transport, key, bar lines ----
  const thisdevice = p.obj('live.thisdevice');
  const query = p.obj('t b b b');
  p.connect(thisdevice, 0, query, 0);
  p.connect(started, 1, query, 0);
  const livePath = p.obj('live.path');
  const pathMsg = p.msg('path live_set');
  p.connect(query, 1, pathMsg, 0);
  p.connect(pathMsg, 0, livePath, 0);
  const liveObject = p.obj('live.object');
  p.connect(livePath, 0, liveObject, 1);
  const getPath = p.msg('get file_path');
  p.connect(query, 0, getPath, 0);
  p.connect(getPath, 0, liveObject, 0);
  const filePath = p.obj('route file_path');
  p.connect(liveObject, 0, filePath, 0);
  p.connect(filePath, 0, send('live_path'), 0);
  for (const [property, selector] of [['tempo', 'tempo'], ['is_playing', 'transport'], ['root_note', 'projroot'], ['scale_name', 'projscale']]) {
    const observer = p.obj('live.observer');
    const prop = p.msg(`property ${property}`);
    p.connect(query, 2, prop, 0);
    p.connect(prop, 0, observer, 0);
    p.connect(livePath, 0, observer, 1);
    p.connect(observer, 0, send(selector), 0);
  }
  const bars = p.obj('metro 1n @quantize 1n @active 1');
  p.connect(bars, 0, sendMsg('bar'), 0);

  // ---- performer controls ----
  const held = new Map(); // control name -> [zl.reg ids holding its value]
  const stored = [];      // zl.reg ids holding the stored preset string
  for (const c of device.controls) {
    if (c.label) p.comment(c.label, c.labelAt || [c.at[0], c.at[1] - 13, Math.max(c.at[2], 40), 13], { fontsize: 9 });
    if (c.kind === 'button') {
      const id = p.param('live.text', { long: c.name, short: c.name, type: 'enum', items: ['off', 'on'], initial: 0 },
        { presentation_rect: c.at, text: c.text || c.name, mode: 0 });
      byName.set(c.name, id);
      const bang = p.obj('t b');
      p.connect(id, 0, bang, 0);
      if (c.with || c.withStored) {
        const reg = p.obj(c.withStored && c.send === 'snapshot_req' ? 'zl.reg -' : 'zl.reg');
        p.connect(bang, 0, reg, 0);
        p.connect(reg, 0, send(c.send), 0);
        if (c.with) held.set(c.with, [...(held.get(c.with) || []), reg]);
        else stored.push(reg);
      } else {
        p.connect(bang, 0, sendMsg(c.send), 0);
      }
    } else if (c.kind === 'dial' || c.kind === 'numbox') {
      const id = p.param(c.kind === 'dial' ? 'live.dial' : 'live.numbox', { long: c.name, short: c.short, type: c.type, min: c.min, max: c.max, initial: c.initial, unit: c.unit, units: c.units },
        { presentation_rect: c.at });
      byName.set(c.name, id);
      if (c.send) p.connect(id, 0, send(c.send), 0);
      resend.push(id);
    } else if (c.kind === 'menu') {
      const id = p.param('live.menu', { long: c.name, short: c.short, type: 'enum', items: c.items, initial: c.initial },
        { presentation_rect: c.at });
      byName.set(c.name, id);
      if (c.sendWord) {
        const lookup = p.obj(`zl.lookup ${c.items.join(' ')}`);
        p.connect(id, 0, lookup, 0);
        p.connect(lookup, 0, send(c.send), 0);
      } else {
        p.connect(id, 0, send(c.send), 0);
      }
      resend.push(id);
    } else if (c.kind === 'knobmenu') {
      const id = p.param('live.menu', { long: c.name, short: c.short, type: 'enum', items: ['-'], initial: 0 },
        { presentation_rect: c.at });
      byName.set(c.name, id);
      // Binding a knob, then the dial's value goes to it at once.
      const order = p.obj('t b l');
      p.connect(id, 0, order, 0);
      const lookup = p.obj('zl.lookup');
      p.connect(order, 1, lookup, 0);
      p.connect(lookup, 0, send(`macro ${c.macro}`), 0);
      c.lookup = lookup;
      c.order = order;
      resend.push(id);
    } else if (c.kind === 'text') {
      const id = p.box('textedit', { presentation_rect: c.at, varname: c.name.replace(/\s+/g, '_'), fontsize: 10, lines: c.at[3] > 20 ? 2 : 1 });
      byName.set(c.name, id);
      const prefix = send(c.send);
      p.connect(id, 0, prefix, 0);
      if (c.store) {
        // Kept with the Live Set: a blob parameter holding the text.
        const words = p.obj('route text');
        p.connect(id, 0, words, 0);
        const keep = p.param('newobj', { long: c.store, short: c.name, type: 'blob' },
          { text: `pattr ${c.name.toLowerCase()}` });
        p.connect(words, 0, keep, 0);
        const show = p.obj('prepend set');
        p.connect(keep, 0, show, 0);
        p.connect(show, 0, id, 0);
        const reg = p.obj('zl.reg');
        p.connect(keep, 0, reg, 1);
        p.connect(reg, 0, prefix, 0);
        resend.push(reg);
      } else if (c.send.startsWith('prompt')) {
        resend.push(id);
      }
    }
  }
  for (const c of device.controls.filter((x) => x.kind === 'knobmenu')) {
    p.connect(c.order, 0, byName.get(`Macro ${c.macro}`), 0);
  }
  for (const [name, regs] of held) {
    const id = byName.get(name);
    for (const reg of regs) p.connect(id, 0, reg, 1);
  }
  const again = p.obj(`t ${resend.map(() => 'b').join(' ')}`);
  p.connect(started, 0, again, 0);
  resend.forEach((id, i) => p.connect(again, i, id, 0));

  // ---- what the performer sees ----
  const d = device.displays;
  const show = (rect, attrs = {}) => p.comment('', rect, { fontsize: 10, ...attrs });
  const status = show(d.status.at, { text: 'omber: starting' });
  const toStatus = p.obj('prepend set');
  p.connect(router, out('ui:status'), toStatus, 0);
  p.connect(toStatus, 0, status, 0);

  const state = show(d.state.at, { text: 'not connected' });
  const stateMsgs = {
    'core:connected': 'set connected',
    'param:start': 'set playing',
    'param:stop': 'set stopped',
    'core:reconnect_giveup': 'set gave up reconnecting',
    'ui:swap': 'set new generation',
  };
  for (const [sel, text] of Object.entries(stateMsgs)) {
    const m = p.msg(text);
    p.connect(router, out(sel), m, 0);
    p.connect(m, 0, state, 0);
  }
  for (const [sel, text] of [['core:connect_failed', 'set failed:'], ['ui:ready', 'set ready, sections:']]) {
    const m = p.obj(`prepend ${text.replace(',', '')}`);
    p.connect(router, out(sel), m, 0);
    p.connect(m, 0, state, 0);
  }
  const info = show(d.info.at);
  const infoText = p.obj('prepend set source s / bpm / key:');
  p.connect(router, out('core:ready_info'), infoText, 0);
  p.connect(infoText, 0, info, 0);

  // The waveform of the source ("peaks": duration, bar length, 200 peaks),
  // the loop band and the play head, on a 0..1000 scale of the duration.
  const wave = p.box('multislider', { presentation_rect: d.waveform.at, size: 200, setminmax: [0.0, 1.0], setstyle: 1, orientation: 0, ignoreclick: 1 });
  const slicePeaks = p.obj('zl.slice 2');
  p.connect(router, out('peaks'), slicePeaks, 0);
  p.connect(slicePeaks, 1, wave, 0);
  const head = p.obj('unpack 0. 0.');
  p.connect(slicePeaks, 0, head, 0);
  const scale = () => p.obj('expr $f1 / $f2 * 1000.');
  const playScale = scale();
  p.connect(router, out('ui:position'), playScale, 0);
  const playhead = p.box('slider', { presentation_rect: d.playhead.at, size: 1000.0, floatoutput: 1, ignoreclick: 1 });
  p.connect(playScale, 0, playhead, 0);
  const band = p.box('rslider', { presentation_rect: d.band.at, size: 1000, ignoreclick: 1 });
  const sectionSplit = p.obj('zl.slice 1');
  p.connect(router, out('ui:section'), sectionSplit, 0);
  const sectionEnds = p.obj('unpack 0. 0.');
  p.connect(sectionSplit, 1, sectionEnds, 0);
  const startScale = scale();
  const endScale = scale();
  p.connect(sectionEnds, 0, startScale, 0);
  p.connect(sectionEnds, 1, endScale, 0);
  const bandPair = p.obj('pack 0. 0.');
  p.connect(endScale, 0, bandPair, 1);
  p.connect(startScale, 0, bandPair, 0);
  p.connect(bandPair, 0, band, 0);
  p.fan(head, 0, [[playScale, 1], [startScale, 1], [endScale, 1]]);

  const section = show(d.section.at, { text: 'section -' });
  const sectionText = p.obj('prepend set section (bar / from s / to s):');
  p.connect(router, out('ui:section'), sectionText, 0);
  p.connect(sectionText, 0, section, 0);
  const pendingText = p.obj('prepend set next section:');
  p.connect(router, out('ui:section_pending'), pendingText, 0);
  p.connect(pendingText, 0, section, 0);
  for (const [sel, key, label] of [['ui:phase', 'phase', 'phase ms'], ['ui:gridbpm', 'gridbpm', 'grid bpm']]) {
    p.comment(label, d[key].label, { fontsize: 9 });
    const num = p.box('flonum', { presentation_rect: d[key].at, format: 6, ignoreclick: 1 });
    p.connect(router, out(sel), num, 0);
  }

  // Dials and fields follow the engine's echoes; "set" changes what they
  // show without sending anything back.
  const echoed = [];
  for (const c of device.controls) {
    for (const name of [].concat(c.echo || [])) echoed.push([name, c]);
  }
  const echoRouter = p.obj(`route ${echoed.map(([n]) => n).join(' ')}`);
  p.connect(router, out('echo'), echoRouter, 0);
  echoed.forEach(([name, c], i) => {
    const set = name.endsWith('RefNone') ? p.msg('set') : p.obj('prepend set');
    p.connect(echoRouter, i, set, 0);
    p.connect(set, 0, byName.get(c.name), 0);
  });
  const knob = show(d.knob.at, { text: 'knob -' });
  const knobText = p.obj('prepend set knob');
  p.connect(echoRouter, echoed.length, knobText, 0);
  p.connect(knobText, 0, knob, 0);

  // The knob names the server announces fill every knob menu.
  const names = p.obj('prepend _parameter_range');
  p.connect(router, out('knobnames'), names, 0);
  for (const c of device.controls.filter((x) => x.kind === 'knobmenu')) {
    p.connect(names, 0, byName.get(c.name), 0);
    p.connect(router, out('knobnames'), c.lookup, 1);
  }

  // The stored preset: a file reference or a snapshot text, kept in a blob
  // parameter so that it is saved with the Live Set.
  const keep = p.param('newobj', { long: 'Preset', short: 'Preset', type: 'blob' }, { text: 'pattr preset' });
  p.connect(router, out('snapshot'), keep, 0);
  for (const reg of stored) p.connect(keep, 0, reg, 1);
  const presetText = show(d.preset.at, { text: 'no preset', linecount: 2 });
  const presetSet = p.obj('prepend set');
  p.connect(keep, 0, presetSet, 0);
  p.connect(presetSet, 0, presetText, 0);

  for (const id of toNode) p.connect(id, 0, node, 0);
  return p.document({ devicewidth: device.width, extra: { description: 'Omber: live AI-music performance device', digest: '', tags: '' } });
}

// The help patch: a player and a feeder with every message and attribute
// omber~ takes.
function buildHelp({ omberSpec } = {}) {
  const p = new PatchBuilder({ omberSpec, rect: [100, 100, 720, 520] });
  const at = (x, y, w = 120) => ({ patching_rect: [x, y, w, 22] });
  p.comment('omber~ - one endpoint of the Omber engine\'s audio path. A player (@role 0) renders the buffer the engine sends to its two signal outlets; a feeder (@role 1) passes its two signal inputs through and, while capture is on, sends them to the engine. Each connects to the host\'s bridge on 127.0.0.1 at the port given by "connect" (the Omber device sends it for you).', undefined, { patching_rect: [20, 10, 660, 60], linecount: 4 });
  const msgs = [['connect 7400', 20], ['connect 7400 0123456789abcdef0123456789abcdef', 110], ['disconnect', 380]];
  const player = p.obj('omber~ @role 0', at(20, 180));
  for (const [text, x] of msgs) {
    const m = p.msg(text, at(x, 100, text.length * 6 + 10));
    p.connect(m, 0, player, 0);
  }
  p.comment('connect <port> [<token>]: connect to the bridge (the token, when given, is sent first on every connection); disconnect: close it', undefined, { patching_rect: [20, 130, 600, 20] });
  const dac = p.obj('ezdac~', at(20, 230, 50));
  p.connect(player, 0, dac, 0);
  p.connect(player, 1, dac, 1);

  const osc = p.obj('cycle~ 220', at(360, 200, 80));
  const feeder = p.obj('omber~ @role 1 @capture 0', at(360, 300, 150));
  p.connect(osc, 0, feeder, 0);
  p.connect(osc, 0, feeder, 1);
  for (const [text, x] of [['capture 1', 360], ['capture 0', 430], ['role 0', 500], ['role 1', 550]]) {
    const m = p.msg(text, at(x, 250, 50));
    p.connect(m, 0, feeder, 0);
  }
  p.comment('capture 0/1: switch capture (the engine also switches it); @role 0 player, 1 feeder (clipped to 0..1); @capture sets the switch at creation', undefined, { patching_rect: [360, 340, 320, 48], linecount: 3 });
  const meter = p.obj('ezdac~', at(360, 400, 50));
  p.connect(feeder, 0, meter, 0);
  p.connect(feeder, 1, meter, 1);
  return p.document({ openInPresentation: 0 });
}

function write(dir = __dirname, options = {}) {
  const files = {
    'Omber.maxpat': buildDevice(options),
    'omber~.maxhelp': buildHelp(options),
  };
  for (const [name, doc] of Object.entries(files)) {
    fs.writeFileSync(path.join(dir, name), `${JSON.stringify(doc, null, '\t')}\n`);
  }
  return Object.keys(files).map((name) => path.join(dir, name));
}

if (require.main === module) {
  const written = write();
  for (const f of written) console.log(`wrote ${path.relative(process.cwd(), f)}`);
  if (process.argv.includes('--check')) {
    const { loadContext, checkPatchText } = require('./check');
    const ctx = loadContext();
    let faults = 0;
    for (const f of written) {
      const found = checkPatchText(fs.readFileSync(f, 'utf8'), ctx, { device: f.endsWith('.maxpat') });
      for (const fault of found) console.log(`${path.basename(f)}: ${fault}`);
      faults += found.length;
    }
    process.exitCode = faults ? 1 : 0;
  }
}

module.exports = { buildDevice, buildHelp, write, INTERFACE };
