'use strict';
// Presets and snapshot texts made by the engine, read back with Node's own
// JSON parser and zlib, and snapshot texts made in Node recalled by the
// engine. This file has its own process, so its engine starts fresh.
const test = require('node:test');
const assert = require('node:assert');
const path = require('path');
const zlib = require('zlib');

const core = require(path.join(__dirname, '..', '..'));

const messages = [];
core.onOutlet((...message) => { messages.push(message); });

// Dispatches one message and returns what the engine emitted for it.
function send(selector, ...args) {
  messages.length = 0;
  core.dispatch(selector, ...args);
  return messages.splice(0);
}

const CATALOG = JSON.stringify([
  { id: 'vhs', name: 'VHS Tape', trigger: 'VHS tape' },
  { id: 'glass', name: 'Glass', trigger: 'glass' },
  { id: 'lofi', name: 'Lo-Fi', trigger: 'lofi crunch' },
]);

// The known state of the tests below.
function performState() {
  send('cloud:catalog', CATALOG);
  send('prompt', 'deep', 'house');
  send('prompt_b', 'text', 'ambient, "pads"');
  send('blend', 0.65);
  send('bars', 8);
  send('loop_start', 16);
  send('quant', 2);
  send('knob', 'denoise', 0.55);
  send('knob', 'steps_extra', 3);
  send('knob_enum', 'dcw_mode', 'single');  // word values are not stored
  send('lora_strength', 2, 0.6);
  send('lora_slot', 1, 1);
  send('lora_slot', 2, 3);
  send('timbre', 'warm vinyl');
}

const ENGINE_SETTINGS =
  '"sde":false,"lora":true,"depth":4,"vae_window":0.36,"crop":0,"steps":8,"fast_vae":false,' +
  '"walk_window":false,"walk_window_s":60,"lead_floor_s":0.25,"lead_ceiling_s":1.35,' +
  '"lead_release_tau_s":1.5,"max_source_duration_s":120,"key":"G# minor","time_signature":"4",';

const FIXED_SETTINGS =
  ',"channel_ranges":{"ch_g0":{"min":0,"max":2.2,"reverse":false},"ch_g1":{"min":0,"max":2,"reverse":false},' +
  '"ch_g2":{"min":0,"max":2.3,"reverse":true},"ch_g3":{"min":0,"max":2,"reverse":false},' +
  '"ch_g4":{"min":0,"max":2.5,"reverse":false},"ch_g5":{"min":0,"max":2,"reverse":false},' +
  '"ch_g6":{"min":0,"max":2,"reverse":true},"ch_g7":{"min":0,"max":2,"reverse":true},' +
  '"ch13":{"min":0,"max":2,"reverse":true},"ch14":{"min":0,"max":2.3,"reverse":false},' +
  '"ch19":{"min":0,"max":2.5,"reverse":false},"ch23":{"min":0,"max":2.45,"reverse":false},' +
  '"ch29":{"min":0,"max":2,"reverse":false},"ch56":{"min":0,"max":2,"reverse":false}},' +
  '"seed":0,"swap_source_mode":"instruments","web":{"effects":{"parallax_strength":0.4,"bloom_on_kick":0.3,' +
  '"bloom_threshold":0.15,"warp_strength":0.4},"audio":{"lufs_enabled":false,"lufs_window_sec":3,' +
  '"lufs_metric":"lufs","lufs_peak_headroom":4,"lufs_silence_floor_db":30,' +
  '"lufs_silence_floor_hysteresis_db":6},"reset_seconds":0,"denoise_session_gate":{"enabled":true,' +
  '"glide_ms":700},"restart_song_on_swap":true}';

const GAINS = ['ch_g0', 'ch_g1', 'ch_g2', 'ch_g3', 'ch_g4', 'ch_g5', 'ch_g6', 'ch_g7',
  'ch13', 'ch14', 'ch19', 'ch23', 'ch29', 'ch56'];
const GAIN_MAX = [2.2, 2, 2.3, 2, 2.5, 2, 2, 2, 2, 2.3, 2.5, 2.45, 2, 2];
const REVERSED = new Set(['ch_g2', 'ch_g6', 'ch_g7', 'ch13']);

function expectedControls() {
  const controls = { denoise: 0.55, hint_strength: 1, feedback: 0, feedback_depth: 1, shift: 3.5 };
  for (const g of GAINS) controls[g] = 1;
  Object.assign(controls, {
    dcw_scaler: 0.05, dcw_high_scaler: 0.02, dcw_enabled: true, dcw_mode: 'double', dcw_wavelet: 'haar',
    lora_default_strength: 1.4, guidance_scale: 7, cfg_rescale: 0, rcfg_mode: 'off', steps_extra: 3,
  });
  return controls;
}

function snapshotDocumentOf(text) {
  assert.match(text, /^v2\.[A-Za-z0-9_-]+$/);
  return JSON.parse(zlib.inflateRawSync(Buffer.from(text.slice(3), 'base64url')).toString('utf8'));
}

test('a preset document has its exact text and parses into the expected members', () => {
  send('live_path', '/Users/me/Set Project/Set.als');
  performState();
  const out = send('snapshot_req', 'file:Omber/configs/my-set_1.json');
  assert.deepStrictEqual(out.map((m) => m[0]), ['preset:write', 'snapshot']);
  assert.strictEqual(out[0][1], '/Users/me/Set Project/Omber/configs/my-set_1.json');
  assert.deepStrictEqual(out[1], ['snapshot', 'file:Omber/configs/my-set_1.json']);

  assert.strictEqual(ENGINE_SETTINGS.length, 260);
  assert.strictEqual(FIXED_SETTINGS.length, 1019);
  const controls = Object.entries(expectedControls()).map(([k, v]) => `"${k}":${JSON.stringify(v)}`).join(',');
  const expectedText =
    '{"version":1,"engine":{' + ENGINE_SETTINGS +
    '"enabled_loras":[{"name":"VHS Tape","strength":1},{"name":"Lo-Fi","strength":0.6}],' +
    '"auto_prepend_lora_triggers":true,"show_incompatible_loras":false},' +
    '"prompts":{"a":"deep house","b":"ambient, \\"pads\\"","blend":0.65},' +
    '"controls":{' + controls + '}' + FIXED_SETTINGS +
    ',"ableton":{"loop":{"startBar":16,"lenBars":8},"quantBars":2},' +
    '"inputs":{"timbre":{"kind":"fixture","name":"warm vinyl"}}}';
  const doc = out[0][2];
  assert.strictEqual(doc, expectedText);

  const channelRanges = {};
  GAINS.forEach((g, i) => { channelRanges[g] = { min: 0, max: GAIN_MAX[i], reverse: REVERSED.has(g) }; });
  const parsed = JSON.parse(doc);
  assert.deepStrictEqual(Object.keys(parsed),
    ['version', 'engine', 'prompts', 'controls', 'channel_ranges', 'seed', 'swap_source_mode', 'web', 'ableton',
      'inputs']);
  assert.deepStrictEqual(parsed.engine, {
    sde: false, lora: true, depth: 4, vae_window: 0.36, crop: 0, steps: 8, fast_vae: false, walk_window: false,
    walk_window_s: 60, lead_floor_s: 0.25, lead_ceiling_s: 1.35, lead_release_tau_s: 1.5,
    max_source_duration_s: 120, key: 'G# minor', time_signature: '4',
    enabled_loras: [{ name: 'VHS Tape', strength: 1 }, { name: 'Lo-Fi', strength: 0.6 }],
    auto_prepend_lora_triggers: true, show_incompatible_loras: false,
  });
  assert.deepStrictEqual(parsed.prompts, { a: 'deep house', b: 'ambient, "pads"', blend: 0.65 });
  assert.deepStrictEqual(parsed.controls, expectedControls());
  assert.deepStrictEqual(Object.keys(parsed.controls).length, 29);
  assert.deepStrictEqual(parsed.channel_ranges, channelRanges);
  assert.strictEqual(parsed.seed, 0);
  assert.strictEqual(parsed.swap_source_mode, 'instruments');
  assert.deepStrictEqual(parsed.web.denoise_session_gate, { enabled: true, glide_ms: 700 });
  assert.deepStrictEqual(parsed.ableton, { loop: { startBar: 16, lenBars: 8 }, quantBars: 2 });
  assert.deepStrictEqual(parsed.inputs, { timbre: { kind: 'fixture', name: 'warm vinyl' } });

  // The file the host would write, read back: the state returns.
  send('prompt', 'changed');
  send('lora_slot', 1, 0);
  send('timbre_clear');
  const echoes = send('preset:data', doc).filter((m) => m[0] === 'echo');
  assert.ok(echoes.some((m) => m.join(' ') === 'echo prompt deep house'));
  assert.ok(echoes.some((m) => m.join(' ') === 'echo lora1 1'));
  assert.ok(echoes.some((m) => m.join(' ') === 'echo timbreRefFix warm vinyl'));
  assert.strictEqual(send('snapshot_req', 'file:Omber/configs/my-set_1.json')[0][2], doc);
});

test('a v2 snapshot text inflates with Node zlib into the snapshot document', () => {
  send('live_path');  // no Live Set folder: the state goes to the device as text
  const out = send('snapshot_req', '');
  assert.strictEqual(out.length, 1);
  assert.strictEqual(out[0][0], 'snapshot');
  assert.deepStrictEqual(snapshotDocumentOf(out[0][1]), {
    knobs: { denoise: 0.55, hint_strength: 1, feedback: 0, feedback_depth: 1, shift: 3.5,
      ...Object.fromEntries(GAINS.map((g) => [g, 1])), dcw_scaler: 0.05, dcw_high_scaler: 0.02,
      lora_default_strength: 1.4, guidance_scale: 7, cfg_rescale: 0, steps_extra: 3 },
    prompt: 'deep house',
    promptB: 'ambient, "pads"',
    blend: 0.65,
    loras: [{ slot: 1, id: 'vhs', strength: 1 }, { slot: 2, id: 'lofi', strength: 0.6 }],
    loop: { startBar: 16, lenBars: 8 },
    quantBars: 2,
    selectedFixture: null,
  });
});

test('a v2 snapshot text deflated by Node recalls in the engine', () => {
  const doc = {
    quantBars: 4,
    knobs: { denoise: 0.3, 'lora_str_vhs': 9 },
    prompt: 'from node',
    blend: 0.25,
    loras: [{ slot: 1, id: null, strength: 1 }, { slot: 2, id: 'glass', strength: 0.75 }],
    loop: { startBar: 2, lenBars: 4 },
  };
  const text = 'v2.' + zlib.deflateRawSync(Buffer.from(JSON.stringify(doc)), { level: 9 }).toString('base64url');
  const echoes = send('recall', text).filter((m) => m[0] === 'echo').map((m) => m.slice(1).join(' '));
  assert.deepStrictEqual(echoes, ['quant 4', 'denoise 0.3', 'prompt from node', 'promptB', 'blend 0.25',
    'lora1str 1', 'lora1 0', 'lora2str 0.75', 'lora2 2', 'loopStart 2', 'loopLen 4']);

  const back = snapshotDocumentOf(send('snapshot_req', '')[0][1]);
  assert.strictEqual(back.prompt, 'from node');
  assert.strictEqual(back.promptB, '');
  assert.strictEqual(back.blend, 0.25);
  assert.strictEqual(back.quantBars, 4);
  assert.strictEqual(back.knobs.denoise, 0.3);
  assert.deepStrictEqual(back.loras, [{ slot: 1, id: null, strength: 1 }, { slot: 2, id: 'glass', strength: 0.75 }]);
  assert.deepStrictEqual(back.loop, { startBar: 2, lenBars: 4 });

  // The same document as a "v1." text in the standard alphabet, with padding.
  doc.prompt = 'plain ?>>';
  const v1 = 'v1.' + Buffer.from(JSON.stringify(doc)).toString('base64');
  assert.ok(v1.endsWith('=') || /[+/]/.test(v1));
  send('recall', v1);
  assert.strictEqual(snapshotDocumentOf(send('snapshot_req', '')[0][1]).prompt, 'plain ?>>');
});
