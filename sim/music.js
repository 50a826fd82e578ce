'use strict';
// The pod's "generation": a procedural arrangement of drums, bass, chords and
// a lead in the session's tempo, metre and key. Every sample is a function of
// the absolute frame and the scene (style, key, knobs, variation counters),
// so any region can be rendered on its own, deterministically, and a region
// rendered again with a new variation or style is a new take of those bars.
// Cheap enough to run in real time many times over in plain JavaScript.
const { clamp, styleFromText, controlsFromKnobs } = require('./style');

const SAMPLE_RATE = 48000;
const TWO_PI = 2 * Math.PI;
const MAJOR = [0, 2, 4, 5, 7, 9, 11];
const MINOR = [0, 2, 3, 5, 7, 8, 10];
const PROGRESSION = [0, 5, 3, 4]; // i VI iv v  /  I vi IV V

function hash32(x) {
  let a = x | 0;
  a = Math.imul(a ^ (a >>> 16), 0x45d9f3b);
  a = Math.imul(a ^ (a >>> 16), 0x45d9f3b);
  return (a ^ (a >>> 16)) >>> 0;
}

// Uniform in [0, 1) from a few integers.
function rnd(seed, voice, index, variation) {
  return hash32(seed ^ hash32(Math.imul(voice, 1000003) ^ Math.imul(index, 7919) ^ Math.imul(variation, 104729))) / 4294967296;
}

function noise(frame) {
  return hash32(Math.imul(frame, 0x9e3779b1)) / 2147483648 - 1;
}

function midiToHz(m) { return 440 * 2 ** ((m - 69) / 12); }

// One period of a waveform family, band-limited to a few partials:
// 0 sine, 1 triangle, 2 saw, 3 square.
function wave(kind, phase) {
  switch (kind) {
    case 1: return Math.sin(phase) - Math.sin(3 * phase) / 9;
    case 2: return Math.sin(phase) + Math.sin(2 * phase) / 2 + Math.sin(3 * phase) / 3;
    case 3: return Math.sin(phase) + Math.sin(3 * phase) / 3 + Math.sin(5 * phase) / 5;
    default: return Math.sin(phase);
  }
}

// Bar geometry of a scene.
function grid(scene) {
  const beat = 60 / scene.bpm;
  const step = beat / 4;
  const stepsPerBar = scene.beatsPerBar * 4;
  return { beat, step, stepsPerBar, bar: beat * scene.beatsPerBar };
}

function scaleNote(scene, degree) {
  const scale = scene.key.minor ? MINOR : MAJOR;
  const oct = Math.floor(degree / 7);
  const d = ((degree % 7) + 7) % 7;
  return scene.key.root + scale[d] + 12 * oct;
}

function chordDegree(scene, bar) {
  return PROGRESSION[((bar % 4) + 4) % 4];
}

// Does a voice start at this absolute 16th step? Voices: 0 kick, 1 snare,
// 2 hat, 3 bass, 4 lead.
function triggers(scene, voice, absStep, g) {
  const s = ((absStep % g.stepsPerBar) + g.stepsPerBar) % g.stepsPerBar;
  const bar = Math.floor(absStep / g.stepsPerBar);
  const sub = s % 4;
  const beat = (s - sub) / 4;
  const st = scene.style;
  const dens = st.density * scene.barShape(bar);
  const v = scene.variation(absStep);
  const r = rnd(scene.melodySeed, voice, absStep, v);
  switch (voice) {
    case 0:
      if (st.halfTime >= 0.5) return s === 0 || (s === Math.round(g.stepsPerBar * 0.625) && r < 0.4 + dens);
      return sub === 0 || (sub === 3 && r < dens * 0.3);
    case 1:
      if (st.halfTime >= 0.5) return s === g.stepsPerBar / 2 || (sub === 2 && r < dens * 0.1);
      return (sub === 0 && beat % 2 === 1) || (sub === 2 && r < dens * 0.15);
    case 2:
      return sub === 2 || (sub === 0 && r < dens * 0.4) || (sub % 2 === 1 && r < dens * 0.8);
    case 3:
      return sub === 0 || (sub === 2 && r < 0.3 + dens * 0.7);
    case 4:
      return sub % 2 === 0 && r < 0.35 + 0.5 * dens;
    default:
      return false;
  }
}

// Start time of an absolute step in seconds, with swing on the off 8ths.
function stepTime(scene, absStep, g) {
  const swung = ((absStep % 4) + 4) % 4 === 2 ? scene.style.swing * g.step : 0;
  return absStep * g.step + swung;
}

function bassNote(scene, absStep, g) {
  const bar = Math.floor(absStep / g.stepsPerBar);
  const up = rnd(scene.melodySeed, 13, absStep, scene.variation(absStep)) < 0.25 ? 12 : 0;
  return 36 + scaleNote(scene, chordDegree(scene, bar)) + up;
}

function leadNote(scene, absStep, g) {
  // A two-bar motif, re-drawn when its variation changes.
  const idx = Math.floor(absStep / 2) % (g.stepsPerBar);
  const v = scene.variation(absStep);
  const degree = Math.floor(rnd(scene.melodySeed, 21, idx, v) * 8) + scene.controls.leadShift;
  const bar = Math.floor(absStep / g.stepsPerBar);
  return 72 + scaleNote(scene, degree + chordDegree(scene, bar) % 3);
}

// Tracks the latest trigger of each voice while frames advance.
class Voices {
  constructor(scene, g, firstStep) {
    this.scene = scene;
    this.g = g;
    this.last = new Float64Array(5).fill(-1e9); // start time (s) of the latest trigger
    this.note = new Float64Array(5);
    this.step = firstStep - g.stepsPerBar - 1;
    this.advanceTo(firstStep);
  }

  advanceTo(absStep) {
    while (this.step < absStep) {
      this.step += 1;
      for (let v = 0; v < 5; v++) {
        if (!triggers(this.scene, v, this.step, this.g)) continue;
        this.last[v] = stepTime(this.scene, this.step, this.g);
        if (v === 3) this.note[v] = midiToHz(bassNote(this.scene, this.step, this.g));
        if (v === 4) this.note[v] = midiToHz(leadNote(this.scene, this.step, this.g));
      }
    }
  }
}

function leadAt(scene, voices, t, wv) {
  const tl = t - voices.last[4];
  if (tl < 0 || tl > 0.6) return 0;
  const env = Math.min(1, tl * 200) * Math.exp(-tl * 5);
  return wave(wv, TWO_PI * voices.note[4] * tl) * env;
}

// Renders frames [startFrame, startFrame + frames) as interleaved stereo.
function renderRegion(scene, startFrame, frames) {
  const out = new Float32Array(frames * 2);
  const g = grid(scene);
  const st = scene.style;
  const c = scene.controls;
  const lora = scene.loras;
  const drums = st.drums * c.gains[0];
  const bassAmt = st.bass * c.gains[1];
  const chordAmt = st.chords * c.gains[2] * (1 + 0.5 * (lora.choir || 0));
  const leadAmt = st.lead * c.gains[3];
  const drive = clamp((st.drive + 0.3 * (lora.chip || 0)) * c.intensity, 0, 1.5);
  const driveK = 1 + drive * 6;
  const driveNorm = Math.tanh(driveK);
  const bright = clamp(st.brightness - 0.3 * (lora.vhs || 0), 0, 1);
  const echo = clamp(st.echo + c.echo, 0, 0.9);
  const echoDelay = g.step * 3;
  const wv = lora.chip ? 3 : scene.timbre.wave;
  const src = scene.source;
  const hint = src ? 0.25 * c.hint : 0;

  const firstStep = Math.floor(startFrame / SAMPLE_RATE / g.step);
  const voices = new Voices(scene, g, firstStep);
  const echoVoices = new Voices(scene, g, Math.floor(Math.max(0, startFrame / SAMPLE_RATE - echoDelay) / g.step));
  let chordBar = NaN;
  let chordHz = [0, 0, 0];

  for (let i = 0; i < frames; i++) {
    const frame = startFrame + i;
    const t = frame / SAMPLE_RATE;
    const absStep = Math.floor(t / g.step);
    voices.advanceTo(absStep);
    const bar = Math.floor(absStep / g.stepsPerBar);
    if (bar !== chordBar) {
      chordBar = bar;
      const d = chordDegree(scene, bar);
      chordHz = [0, 2, 4].map((k) => midiToHz(60 + scaleNote(scene, d + k)));
    }
    let l = 0;
    let r = 0;

    // Drums.
    const tk = t - voices.last[0];
    if (tk >= 0 && tk < 0.45) {
      const ph = TWO_PI * (45 * tk + (100 / 30) * (1 - Math.exp(-30 * tk)));
      const k = Math.sin(ph) * Math.exp(-tk * 7) * 0.9 * drums;
      l += k; r += k;
    }
    const ts = t - voices.last[1];
    if (ts >= 0 && ts < 0.3) {
      const s = (noise(frame) * 0.5 * Math.exp(-ts * 18) + Math.sin(TWO_PI * 185 * ts) * 0.3 * Math.exp(-ts * 30)) * drums;
      l += s; r += s;
    }
    const th = t - voices.last[2];
    if (th >= 0 && th < 0.1) {
      const h = (noise(frame) - noise(frame - 1)) * 0.12 * Math.exp(-th * 60) * (0.3 + bright) * drums;
      l += 0.8 * h; r += h;
    }

    // Bass.
    const tb = t - voices.last[3];
    if (tb >= 0 && tb < 1) {
      const ph = TWO_PI * voices.note[3] * tb;
      const raw = (Math.sin(ph) + Math.sin(2 * ph) / 2 + Math.sin(3 * ph) / 3) * 0.6;
      const b = Math.tanh(raw * driveK) / driveNorm * Math.min(1, tb * 300) * Math.exp(-tb * 3) * 0.35 * bassAmt;
      l += b; r += b;
    }

    // Chords: one per bar, slow attack.
    if (chordAmt > 0) {
      const tc = t - bar * g.bar;
      const env = Math.min(1, tc * 4) * (0.55 + 0.45 * Math.exp(-tc * 1.5)) * 0.08 * chordAmt;
      const n0 = wave(wv, TWO_PI * chordHz[0] * tc);
      const n1 = wave(wv, TWO_PI * chordHz[1] * tc);
      const n2 = wave(wv, TWO_PI * chordHz[2] * tc);
      l += (n0 + 0.7 * n1 + 0.4 * n2) * env;
      r += (0.4 * n0 + 0.7 * n1 + n2) * env;
    }

    // Lead with its echo.
    if (leadAmt > 0) {
      let x = leadAt(scene, voices, t, wv) * 0.12 * leadAmt;
      if (echo > 0 && t >= echoDelay) {
        echoVoices.advanceTo(Math.floor((t - echoDelay) / g.step));
        x += leadAt(scene, echoVoices, t - echoDelay, wv) * 0.12 * leadAmt * echo;
      }
      l += x; r += 0.6 * x;
    }

    // The uploaded source shows through.
    if (hint > 0) {
      const sf = frame % src.frames;
      const sl = src.samples[sf * src.channels];
      const sr = src.channels > 1 ? src.samples[sf * src.channels + 1] : sl;
      l += sl * hint; r += sr * hint;
    }

    out[2 * i] = Math.tanh(l);
    out[2 * i + 1] = Math.tanh(r);
  }
  return out;
}

// A scene with neutral settings: one style, the default knobs, no variation,
// no uploaded source. Fields given in overrides replace the defaults.
function baseScene(overrides = {}) {
  return {
    bpm: 120,
    beatsPerBar: 4,
    key: { root: 9, minor: true },
    style: styleFromText(''),
    melodySeed: 7,
    controls: controlsFromKnobs({}),
    timbre: { wave: 1 },
    loras: {},
    barShape: () => 1,
    variation: () => 0,
    source: null,
    ...overrides,
  };
}

module.exports = { SAMPLE_RATE, renderRegion, baseScene, grid, hash32, rnd };
