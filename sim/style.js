'use strict';
// Turns the pod's steering inputs into musical choices: prompt words into a
// style (how much of each layer, how dense, how driven, how bright), key
// names into a root and mode, the telemetry knobs into layer gains and morph
// amounts. Pure functions of their inputs.

const NOTE_NAMES = ['C', 'C#', 'D', 'D#', 'E', 'F', 'F#', 'G', 'G#', 'A', 'A#', 'B'];

const BASE_STYLE = Object.freeze({
  drums: 0.8, bass: 0.8, chords: 0.6, lead: 0.5,
  density: 0.5, drive: 0.15, brightness: 0.5, swing: 0, halfTime: 0, echo: 0.15,
});

// Each word nudges the style; unknown words leave it alone (they still
// change the melody, through the text's hash).
const WORDS = {
  techno: { drums: 0.2, density: 0.2, chords: -0.2, brightness: 0.1 },
  house: { drums: 0.1, chords: 0.2, swing: 0.05 },
  dubstep: { halfTime: 1, drive: 0.4, bass: 0.2 },
  deathstep: { halfTime: 1, drive: 0.5, brightness: -0.1 },
  heavy: { drive: 0.3, bass: 0.1 },
  growl: { drive: 0.3 },
  distortion: { drive: 0.4 },
  bass: { bass: 0.2 },
  ambient: { drums: -0.6, density: -0.3, chords: 0.3, echo: 0.4 },
  dark: { brightness: -0.3 },
  bright: { brightness: 0.3 },
  beautiful: { chords: 0.2, brightness: 0.1, drive: -0.1 },
  angelic: { chords: 0.3, lead: 0.1, brightness: 0.2, drive: -0.2 },
  jazz: { swing: 0.25, chords: 0.2 },
  funk: { swing: 0.15, bass: 0.2, density: 0.2 },
  drums: { drums: 0.2, density: 0.2 },
  breakbeat: { drums: 0.2, density: 0.3 },
  minimal: { density: -0.3, lead: -0.3 },
  melodic: { lead: 0.3 },
  piano: { chords: 0.2, drive: -0.2 },
  dub: { echo: 0.4, bass: 0.2 },
  lofi: { brightness: -0.2, swing: 0.1 },
  chill: { density: -0.2, drive: -0.2 },
  energetic: { density: 0.2, drums: 0.1 },
  fast: { density: 0.2 },
  floor: { drums: 0.1 },
  choir: { chords: 0.3 },
};

const KEYS = Object.keys(BASE_STYLE);

function clamp(x, lo, hi) { return x < lo ? lo : x > hi ? hi : x; }

function hashText(text) {
  let h = 0x811c9dc5;
  for (let i = 0; i < text.length; i++) {
    h ^= text.charCodeAt(i);
    h = Math.imul(h, 0x01000193);
  }
  return h >>> 0;
}

function words(text) {
  return String(text || '').toLowerCase().split(/[^a-z0-9#]+/).filter(Boolean);
}

function styleFromText(text) {
  const style = { ...BASE_STYLE };
  for (const w of words(text)) {
    const nudge = WORDS[w] || WORDS[w.replace(/s$/, '')];
    if (!nudge) continue;
    for (const k of Object.keys(nudge)) style[k] += nudge[k];
  }
  for (const k of KEYS) style[k] = clamp(style[k], 0, k === 'swing' ? 0.3 : 1);
  return style;
}

function mixStyles(a, b, amount) {
  const t = clamp(amount, 0, 1);
  const out = {};
  for (const k of KEYS) out[k] = a[k] + (b[k] - a[k]) * t;
  return out;
}

// "key of A minor", "A minor", "F# major" anywhere in the text.
function keyFromText(text) {
  const m = /(?:^|[^a-z#])([a-g]#?)\s+(major|minor)\b/i.exec(String(text || ''));
  if (!m) return null;
  const root = NOTE_NAMES.indexOf(m[1].toUpperCase());
  return root < 0 ? null : { root, minor: m[2].toLowerCase() === 'minor' };
}

function keyName(key) {
  return `${NOTE_NAMES[key.root]} ${key.minor ? 'minor' : 'major'}`;
}

// The knobs this pod understands, as announced in its ready message.
const KNOB_MANIFEST = Object.freeze({
  knobs: {
    denoise: { default: 0.7, min: 0, max: 1, label: 'how much of a region each regeneration replaces' },
    guidance_scale: { default: 7, min: 1, max: 15, label: 'intensity: drive and contrast' },
    ch_g0: { default: 1, min: 0, max: 2.2, label: 'drums' },
    ch_g1: { default: 1, min: 0, max: 2, label: 'bass' },
    ch_g2: { default: 1, min: 0, max: 2.3, label: 'chords' },
    ch_g3: { default: 1, min: 0, max: 2, label: 'lead' },
    feedback: { default: 0, min: 0, max: 1, label: 'lead echo' },
    shift: { default: 3.5, min: 0, max: 7, label: 'lead register in scale steps around the middle' },
    hint_strength: { default: 1, min: 0, max: 2, label: 'how much of the uploaded source shows through' },
  },
});

function knobNumber(raw, name) {
  const v = raw && typeof raw[name] === 'number' && Number.isFinite(raw[name]) ? raw[name] : KNOB_MANIFEST.knobs[name].default;
  const { min, max } = KNOB_MANIFEST.knobs[name];
  return clamp(v, min, max);
}

// Mix controls from the telemetry's "raw" knob values.
function controlsFromKnobs(raw) {
  return {
    morph: knobNumber(raw, 'denoise'),
    intensity: knobNumber(raw, 'guidance_scale') / 7,
    gains: [knobNumber(raw, 'ch_g0'), knobNumber(raw, 'ch_g1'), knobNumber(raw, 'ch_g2'), knobNumber(raw, 'ch_g3')],
    echo: knobNumber(raw, 'feedback'),
    leadShift: Math.round(knobNumber(raw, 'shift') - 3.5),
    hint: knobNumber(raw, 'hint_strength'),
  };
}

module.exports = {
  NOTE_NAMES, BASE_STYLE, KNOB_MANIFEST,
  styleFromText, mixStyles, keyFromText, keyName, hashText, controlsFromKnobs, clamp,
};
