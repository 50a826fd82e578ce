'use strict';
// The pod's commands, each run with `this` bound to the session that
// received it: steering ("prompt", "set_prompt_blend", "params", LoRAs,
// fixtures, "loop_band"), commands whose audio payload follows, the source
// swap, and the audio write. A command the pod cannot carry out answers
// "command_failed" (or "audio_write_failed" for writes), as a real server
// would.
const { bytesFromHalves, floatToHalf, halfToFloat } = require('./f16');
const { SAMPLE_RATE } = require('./music');
const { keyFromText, hashText, clamp } = require('./style');
const { toStereo } = require('./wire');

const MIX_ADD = new Set(['add', 'mix', 'overdub', 'sum']);

// Applies an audio write to the pod's buffer and queues the changed region
// to be streamed back raw.
function writeAudio(cmd, audio) {
  const fail = (error) => this.fail('audio_write_failed', 'write_audio', error);
  if (cmd.source_epoch !== undefined && cmd.source_epoch !== this.epoch) {
    return fail(`stale source_epoch ${cmd.source_epoch} (current ${this.epoch})`);
  }
  const at = cmd.at_s === undefined ? 0 : cmd.at_s;
  if (typeof at !== 'number' || !(at >= 0) || Math.round(at * SAMPLE_RATE) >= this.frames) {
    return fail(`at_s ${at} is outside the source`);
  }
  const mix = cmd.mix === undefined ? 'replace' : String(cmd.mix);
  if (mix !== 'replace' && !MIX_ADD.has(mix)) return fail(`unknown mix "${mix}"`);
  const repeat = cmd.repeat === undefined ? '' : String(cmd.repeat);
  if (repeat !== '' && repeat !== 'fill') return fail(`unknown repeat "${repeat}"`);
  if (audio.frames === 0) return fail('no audio');
  const stereo = toStereo(audio);
  const start = Math.round(at * SAMPLE_RATE);
  const add = MIX_ADD.has(mix);
  const halves = this.buffer.halves;
  const put = (frame, srcFrame) => {
    for (let c = 0; c < 2; c++) {
      const i = frame * 2 + c;
      const v = stereo[srcFrame * 2 + c];
      const x = add ? halfToFloat(halves[i]) + v : v;
      halves[i] = floatToHalf(x > 1 ? 1 : x < -1 ? -1 : x);
    }
  };
  let first;
  let end;
  if (repeat === 'fill') {
    for (let f = 0; f < this.frames; f++) put(f, (((f - start) % audio.frames) + audio.frames) % audio.frames);
    first = 0;
    end = this.frames;
  } else {
    end = Math.min(this.frames, start + audio.frames);
    for (let f = start; f < end; f++) put(f, f - start);
    first = start;
  }
  this.dirty.push([first, end]);
  this.pod.emit('write', { session: this, command: cmd, audio, startFrame: first, endFrame: end });
}

// A new source from a fixture: same length and grid, the fixture's words as
// the style. Nothing else is sent between "swap_ready" and the new source.
async function swap(name, fixture) {
  this.busy = true;
  try {
    this.promptA = fixture.words;
    this.promptB = null;
    this.seed = (this.opts.seed ^ hashText(name)) >>> 0;
    this.variations.clear();
    this.cursor = null;
    this.dirty = [];
    const halves = await this.renderWhole();
    if (this.closed) return;
    this.buffer = halves;
    this.epoch = this.pod.nextEpoch();
    this.sendJson({ type: 'swap_ready', duration: this.duration, channels: 2, source_epoch: this.pod.takeEpochMisstatement(this.epoch) });
    // A swap the pod breaks on purpose: no audio at all, or a stray byte.
    const broken = this.pod.takeSwapCorruption();
    let audio = bytesFromHalves(halves.halves);
    if (broken === 'empty') audio = Buffer.alloc(0);
    if (broken === 'odd') audio = Buffer.concat([audio, Buffer.from([0x7f])]);
    this.pod.send(this, audio, true);
    this.pod.emit('swap', { session: this, fixture: name, epoch: this.epoch, broken });
  } finally {
    this.busy = false;
  }
}

function expectAudio(doc) {
  this.awaitingAudio = doc;
}

const COMMANDS = {
  params(doc) {
    this.stats.params += 1;
    if (doc.raw && typeof doc.raw === 'object' && !Array.isArray(doc.raw)) this.raw = doc.raw;
    if (typeof doc.playback_pos === 'number' && Number.isFinite(doc.playback_pos)) this.playbackPos = doc.playback_pos;
    this.lastParams = doc;
  },
  prompt(doc) {
    if (typeof doc.tags !== 'string') return this.fail('command_failed', 'prompt', 'tags missing');
    this.promptA = doc.tags;
    this.promptB = typeof doc.tags_b === 'string' && doc.tags_b ? doc.tags_b : null;
    const key = keyFromText(doc.tags);
    if (key) this.key = key;
  },
  set_prompt_blend(doc) {
    if (typeof doc.value !== 'number') return this.fail('command_failed', 'set_prompt_blend', 'value missing');
    this.blend = clamp(doc.value, 0, 1);
  },
  set_timbre_strength(doc) {
    if (typeof doc.value !== 'number') return this.fail('command_failed', 'set_timbre_strength', 'value missing');
    this.timbre.strength = doc.value;
  },
  enable_lora(doc) {
    if (!this.pod.catalog.some((e) => e.id === doc.id)) return this.fail('command_failed', 'enable_lora', `unknown LoRA "${doc.id}"`);
    this.loras.set(doc.id, typeof doc.strength === 'number' ? doc.strength : 1);
  },
  disable_lora(doc) {
    this.loras.delete(doc.id);
  },
  set_timbre_fixture(doc) {
    const fixture = this.pod.fixture(doc.name);
    if (!fixture) return this.fail('command_failed', 'set_timbre_fixture', `unknown fixture "${doc.name}"`);
    this.timbre = { name: doc.name, wave: fixture.wave, strength: this.timbre.strength };
  },
  set_structure_fixture(doc) {
    const fixture = this.pod.fixture(doc.name);
    if (!fixture) return this.fail('command_failed', 'set_structure_fixture', `unknown fixture "${doc.name}"`);
    this.structure = { name: doc.name, shape: fixture.shape };
  },
  clear_timbre_source() { this.timbre = { name: null, wave: 0, strength: this.timbre.strength }; },
  clear_structure_source() { this.structure = { name: null, shape: null }; },
  set_timbre_source: expectAudio,
  set_structure_source: expectAudio,
  write_audio: expectAudio,
  loop_band(doc) {
    const s = doc.start_sec;
    const e = doc.end_sec;
    if (typeof s !== 'number' || typeof e !== 'number' || !(s >= 0) || !(e > s) || s >= this.duration) {
      return this.fail('command_failed', 'loop_band', `bad band ${s}..${e}`);
    }
    this.band = [s, Math.min(e, this.duration)];
    this.cursor = null;
  },
  swap_source(doc) {
    const fixture = this.pod.fixture(doc.fixture_name);
    if (!fixture) return this.fail('command_failed', 'swap_source', `unknown fixture "${doc.fixture_name}"`);
    return swap.call(this, doc.fixture_name, fixture);
  },
};

module.exports = { COMMANDS, writeAudio, swap };
