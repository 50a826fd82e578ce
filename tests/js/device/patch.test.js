'use strict';
// The generated device and help patches, and the patch checker shown to
// catch each fault on broken copies of the device.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const { buildDevice, buildHelp } = require('../../../device/generate');
const { checkPatchText, loadContext, ENGINE_ACCEPTS, readInletSelectors } = require('../../../device/check');

const root = path.join(__dirname, '..', '..', '..');
const devicePath = path.join(root, 'device', 'Omber.maxpat');
const helpPath = path.join(root, 'device', 'omber~.maxhelp');
const ctx = loadContext();
const skip = ctx.describe ? false : 'omber-maxhost is not built';

const fresh = () => JSON.parse(fs.readFileSync(devicePath, 'utf8'));
const boxes = (doc) => doc.patcher.boxes.map((b) => b.box);
const byText = (doc, text) => boxes(doc).find((b) => b.text === text);
const byParam = (doc, long) => boxes(doc).find((b) => b.saved_attribute_attributes && b.saved_attribute_attributes.valueof.parameter_longname === long);
const check = (doc, extra = {}) => checkPatchText(typeof doc === 'string' ? doc : JSON.stringify(doc), { ...ctx, ...extra });

function expectFault(doc, pattern, extra) {
  const faults = check(doc, extra);
  assert.ok(faults.some((f) => pattern.test(f)), `expected a fault matching ${pattern}, got:\n  ${faults.join('\n  ') || '(none)'}`);
}

test('the committed patches are what the generator makes from the description', () => {
  assert.deepEqual(fresh(), buildDevice());
  assert.deepEqual(JSON.parse(fs.readFileSync(helpPath, 'utf8')), buildHelp());
});

test('the device and the help patch have no faults', { skip }, () => {
  assert.deepEqual(check(fs.readFileSync(devicePath, 'utf8')), []);
  assert.deepEqual(checkPatchText(fs.readFileSync(helpPath, 'utf8'), ctx, { device: false }), []);
});

test('every selector the checker holds ranges for is an engine inlet', () => {
  const inlets = readInletSelectors();
  for (const sel of Object.keys(ENGINE_ACCEPTS)) assert.ok(inlets.has(sel), sel);
  assert.ok(inlets.has('start') && inlets.has('tick:param'));
});

test('the device routes the bridge port to every omber~ and carries the performer controls', () => {
  const doc = fresh();
  const omber = boxes(doc).filter((b) => /^omber~/.test(b.text));
  assert.deepEqual(omber.map((b) => b.text).sort(), ['omber~ @role 0', 'omber~ @role 1 @capture 0']);
  const connect = byText(doc, 'prepend connect');
  const targets = doc.patcher.lines.filter((l) => l.patchline.source[0] === connect.id).map((l) => l.patchline.destination[0]);
  assert.deepEqual(targets.sort(), omber.map((b) => b.id).sort());
  for (const long of ['Start', 'Stop', 'Prompt Blend', 'Key', 'Knob 1', 'Macro 8', 'LoRA 2 Strength', 'Timbre Strength', 'Loop Section', 'Loop Bars', 'Quantisation', 'Print Bars', 'Feed Mode', 'Save', 'Recall', 'Export', 'Preset']) {
    assert.ok(byParam(doc, long), `no parameter ${long}`);
  }
  assert.ok(boxes(doc).some((b) => b.maxclass === 'comment' && /Defined Latency stays 0/.test(b.text)));
  assert.ok(byText(doc, 'node.script omber-host.js @autostart 1 @watch 0'));
});

test('broken copies: JSON, box ids and cords', { skip }, () => {
  expectFault(fs.readFileSync(devicePath, 'utf8').slice(0, -10), /not valid JSON/);

  let doc = fresh();
  boxes(doc)[7].id = boxes(doc)[6].id;
  expectFault(doc, /duplicate box id/);

  doc = fresh();
  const plugin = byText(doc, 'plugin~');
  const node = byText(doc, 'node.script omber-host.js @autostart 1 @watch 0');
  doc.patcher.lines.push({ patchline: { source: [plugin.id, 2], destination: [node.id, 0] } });
  expectFault(doc, /outlet 2: the box has 2 outlets/);

  doc = fresh();
  doc.patcher.lines.push({ patchline: { source: [byText(doc, 'prepend blend').id, 0], destination: [node.id, 1] } });
  expectFault(doc, /inlet 1: the box has 1 inlets/);

  doc = fresh();
  doc.patcher.lines.push({ patchline: { source: [byText(doc, 'omber~ @role 0').id, 0], destination: [byText(doc, 'prepend blend').id, 0] } });
  expectFault(doc, /signal cord .* \(prepend\) inlet 0, which takes no signal/);

  doc = fresh();
  byText(doc, 'prepend blend').numinlets = 1;
  expectFault(doc, /numinlets 1, the object has 2/);

  doc = fresh();
  byParam(doc, 'Macro 8').presentation_rect[1] = 140;
  expectFault(doc, /presentation_rect \d+ 140 44 48 leaves the device's 169 px height/);
});

test('broken copies: parameter names, ranges, defaults and enums', { skip }, () => {
  let doc = fresh();
  byParam(doc, 'Macro 2').saved_attribute_attributes.valueof.parameter_longname = 'Macro 1';
  expectFault(doc, /long name "Macro 1" used by/);

  doc = fresh();
  byParam(doc, 'Loop Bars').saved_attribute_attributes.valueof.parameter_shortname = 'Quant';
  expectFault(doc, /short name "Quant" used by/);

  doc = fresh();
  byParam(doc, 'Prompt Blend').saved_attribute_attributes.valueof.parameter_mmax = 2;
  expectFault(doc, /"Prompt Blend" \(sent as blend\): range 0\.\.2 goes above the engine's 1/);

  doc = fresh();
  byParam(doc, 'Loop Section').saved_attribute_attributes.valueof.parameter_mmin = -4;
  expectFault(doc, /sent as section\): range -4\.\.63 goes below the engine's -1/);

  doc = fresh();
  byParam(doc, 'Loop Bars').saved_attribute_attributes.valueof.parameter_initial = [8];
  expectFault(doc, /"Loop Bars" \(sent as loop_len\): starts at 8, the engine at 4/);

  // A print length held for the arm buttons is checked against their selectors.
  doc = fresh();
  byParam(doc, 'Print Bars').saved_attribute_attributes.valueof.parameter_mmin = 0;
  expectFault(doc, /"Print Bars" \(sent as fixed_arm\): range 0\.\.64 goes below/);

  doc = fresh();
  byParam(doc, 'Macro 3').saved_attribute_attributes.valueof.parameter_type = 1;
  expectFault(doc, /"Macro 3" \(sent as macroval\): a int parameter, the engine takes a float/);

  doc = fresh();
  const key = byParam(doc, 'Key').saved_attribute_attributes.valueof;
  key.parameter_enum = key.parameter_enum.slice(1).concat(['none']);
  expectFault(doc, /"Key" \(sent as key\): items .* do not name the engine's values/);

  doc = fresh();
  const feed = byParam(doc, 'Feed Mode');
  feed.saved_attribute_attributes.valueof.parameter_enum.push('loop');
  expectFault(doc, /menu items .*loop but the words sent are/);
  byText(doc, 'zl.lookup off stream splice auto fixed').text += ' loop';
  expectFault(doc, /"Feed Mode" \(sent as feed\): the engine has no "loop"/);
});

test('broken copies: messages into node.script and interface messages', { skip }, () => {
  let doc = fresh();
  byText(doc, 'prepend prompt_b').text = 'prepend prompt_c';
  expectFault(doc, /"prompt_c" sent into node.script is neither an engine inlet nor a host message/);

  doc = fresh();
  const node = byText(doc, 'node.script omber-host.js @autostart 1 @watch 0');
  const blend = byParam(doc, 'Prompt Blend');
  doc.patcher.lines.push({ patchline: { source: [blend.id, 0], destination: [node.id, 0] } });
  expectFault(doc, /sends node.script a message whose selector cannot be told/);

  // Nothing takes the router's "peaks" outlet any more.
  doc = fresh();
  const router = boxes(doc).find((b) => /^route host:port/.test(b.text));
  const peaks = router.text.split(' ').indexOf('peaks') - 1;
  doc.patcher.lines = doc.patcher.lines.filter((l) => !(l.patchline.source[0] === router.id && l.patchline.source[1] === peaks));
  expectFault(doc, /interface message "peaks" from the host reaches nothing/);

  // A message the host starts to emit that the device does not route.
  expectFault(fresh(), /interface message "ui:bpm_warning" from the host reaches nothing/,
    { interfaceMessages: new Set([...ctx.interfaceMessages, 'ui:bpm_warning']) });
});

test('broken copies: omber~ boxes the external would not make', { skip }, () => {
  let doc = fresh();
  byText(doc, 'omber~ @role 0').text = 'omber~ @rol 0';
  expectFault(doc, /omber~ has no attribute @rol/);

  doc = fresh();
  byText(doc, 'omber~ @role 0').text = 'omber~ 2 @role 0';
  expectFault(doc, /omber~ takes no arguments, got 2/);

  doc = fresh();
  byText(doc, 'omber~ @role 1 @capture 0').text = 'omber~ @role 2 @capture 0';
  expectFault(doc, /omber~ @role 2 becomes 1/);

  doc = fresh();
  const player = byText(doc, 'omber~ @role 0');
  player.numoutlets = 3;
  expectFault(doc, /omber~: numoutlets 3, the object has 2/);

  doc = fresh();
  byText(doc, 'prepend connect').text = 'prepend connekt';
  expectFault(doc, /omber~ obj-\d+ has no message "connekt"/);
});
