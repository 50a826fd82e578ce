'use strict';
// The Omber device, described compactly: its performer controls (each a
// live.* parameter sending one engine message), what it shows, and where
// everything sits in the presentation view (x, y, width, height; a Max for
// Live device is 169 px high). generate.js turns this into Omber.maxpat.
//
// Ranges and defaults are the engine's: the loop starts unset (-1) and is
// 4 bars long, quantisation 1 bar, blend 0.4, LoRA slots empty at strength
// 1, prints 4 bars, feed mode "off" with mix "replace", key 0 (none).

const NOTES = ['C', 'C#', 'D', 'D#', 'E', 'F', 'F#', 'G', 'G#', 'A', 'A#', 'B'];
// The engine's key table: 0 is no key, then major and minor of each note.
const KEYS = ['none', ...NOTES.flatMap((n) => [`${n} major`, `${n} minor`])];

const MACRO_SLOTS = 8;

const controls = [
  // session
  { kind: 'button', name: 'Start', send: 'start', at: [8, 8, 44, 18] },
  { kind: 'button', name: 'Stop', send: 'stop', at: [56, 8, 44, 18] },
  { kind: 'button', name: 'Export', send: 'audio_export_req', at: [104, 8, 48, 18] },
  { kind: 'text', name: 'Pod', send: 'host:pod', store: 'Pod Address', label: 'pod', at: [8, 60, 144, 18] },
  { kind: 'text', name: 'Lookup', send: 'host:lookup', store: 'Lookup Address', label: 'lookup', at: [8, 94, 144, 18] },

  // prompts, blend, key
  { kind: 'text', name: 'Prompt A', send: 'prompt', echo: 'prompt', label: 'prompt A', at: [166, 18, 200, 34] },
  { kind: 'text', name: 'Prompt B', send: 'prompt_b', echo: 'promptB', label: 'prompt B', at: [166, 68, 200, 34] },
  { kind: 'dial', name: 'Prompt Blend', short: 'Blend', send: 'blend', type: 'float', min: 0, max: 1, initial: 0.4, unit: 'float', echo: 'blend', at: [166, 106, 44, 48] },
  { kind: 'menu', name: 'Key', short: 'Key', send: 'key', items: KEYS, initial: 0, label: 'key', at: [216, 122, 74, 15] },
  { kind: 'text', name: 'Swap Fixture', send: 'swap', label: 'swap to', at: [296, 122, 70, 18] },

  // loop, quantisation, print, feed
  { kind: 'numbox', name: 'Loop Section', short: 'Section', send: 'section', type: 'int', min: -1, max: 63, initial: -1, unit: 'int', label: 'section', at: [602, 18, 48, 15] },
  { kind: 'numbox', name: 'Loop Start Bar', short: 'Start Bar', send: 'loop_start', type: 'int', min: -1, max: 999, initial: -1, unit: 'int', echo: 'loopStart', label: 'start bar', at: [656, 18, 48, 15] },
  { kind: 'numbox', name: 'Loop Bars', short: 'Bars', send: 'loop_len', type: 'int', min: 1, max: 64, initial: 4, unit: 'custom', units: '%d bars', echo: 'loopLen', label: 'loop', at: [602, 48, 48, 15] },
  { kind: 'numbox', name: 'Quantisation', short: 'Quant', send: 'quant', type: 'int', min: 0, max: 16, initial: 1, unit: 'custom', units: '%d bars', echo: 'quant', label: 'quant', at: [656, 48, 48, 15] },
  { kind: 'numbox', name: 'Print Bars', short: 'Print Len', hold: ['fixed_arm', 'canvas_arm', 'splice_arm'], type: 'int', min: 1, max: 64, initial: 4, unit: 'custom', units: '%d bars', label: 'print', at: [602, 78, 48, 15] },
  { kind: 'button', name: 'Print', send: 'fixed_arm', with: 'Print Bars', at: [656, 76, 48, 18] },
  { kind: 'button', name: 'Canvas', send: 'canvas_arm', with: 'Print Bars', at: [602, 98, 48, 18] },
  { kind: 'button', name: 'Splice', send: 'splice_arm', with: 'Print Bars', at: [656, 98, 48, 18] },
  { kind: 'menu', name: 'Feed Mode', short: 'Feed', send: 'feed', sendWord: true, items: ['off', 'stream', 'splice', 'auto', 'fixed'], initial: 0, label: 'feed', labelAt: [602, 124, 28, 13], at: [630, 122, 74, 15] },
  { kind: 'menu', name: 'Feed Mix', short: 'Mix', send: 'feed_mix', sendWord: true, items: ['replace', 'add'], initial: 0, label: 'mix', labelAt: [602, 142, 28, 13], at: [630, 140, 74, 15] },

  // LoRA slots and sources
  { kind: 'numbox', name: 'LoRA 1', short: 'LoRA 1', send: 'lora_slot 1', type: 'int', min: 0, max: 99, initial: 0, unit: 'int', echo: 'lora1', label: 'LoRA 1', at: [920, 18, 40, 15] },
  { kind: 'dial', name: 'LoRA 1 Strength', short: 'LoRA1 Str', send: 'lora_strength 1', type: 'float', min: 0, max: 2, initial: 1, unit: 'float', echo: 'lora1str', at: [964, 4, 44, 48] },
  { kind: 'numbox', name: 'LoRA 2', short: 'LoRA 2', send: 'lora_slot 2', type: 'int', min: 0, max: 99, initial: 0, unit: 'int', echo: 'lora2', label: 'LoRA 2', at: [920, 70, 40, 15] },
  { kind: 'dial', name: 'LoRA 2 Strength', short: 'LoRA2 Str', send: 'lora_strength 2', type: 'float', min: 0, max: 2, initial: 1, unit: 'float', echo: 'lora2str', at: [964, 56, 44, 48] },
  { kind: 'text', name: 'Timbre', send: 'timbre', echo: ['timbreRefFix', 'timbreRefClip', 'timbreRefNone'], label: 'timbre', at: [1050, 18, 96, 18] },
  { kind: 'button', name: 'Timbre Clear', send: 'timbre_clear', label: '', text: 'x', at: [1150, 18, 18, 18] },
  { kind: 'numbox', name: 'Timbre Strength', short: 'Timbre Str', send: 'timbre_strength', type: 'float', min: 0, max: 1, initial: 1, unit: 'float', label: 'strength', at: [1050, 48, 48, 15] },
  { kind: 'text', name: 'Structure', send: 'structure', echo: ['structRefFix', 'structRefClip', 'structRefNone'], label: 'structure', at: [1050, 82, 96, 18] },
  { kind: 'button', name: 'Structure Clear', send: 'structure_clear', label: '', text: 'x', at: [1150, 82, 18, 18] },

  // presets
  { kind: 'button', name: 'Save', send: 'snapshot_req', withStored: true, at: [8, 122, 44, 18] },
  { kind: 'button', name: 'Recall', send: 'recall', withStored: true, at: [56, 122, 44, 18] },
];

// Knob slots: a menu of the knob names the server announces and a 0..1
// macro dial that the engine maps onto that knob's range.
for (let i = 1; i <= MACRO_SLOTS; i++) {
  const col = (i - 1) % 4;
  const row = Math.floor((i - 1) / 4);
  const x = 720 + col * 48;
  const y = 4 + row * 74;
  controls.push({ kind: 'knobmenu', name: `Knob ${i}`, short: `Knob ${i}`, macro: i, at: [x, y + 4, 46, 15] });
  controls.push({ kind: 'dial', name: `Macro ${i}`, short: `Macro ${i}`, send: `macroval ${i}`, type: 'float', min: 0, max: 1, initial: 0, unit: 'float', at: [x + 1, y + 22, 44, 48] });
}

// What the performer sees, by the interface message that feeds it.
const displays = {
  status: { at: [8, 152, 580, 15] },          // "ui:status"
  state: { at: [8, 30, 150, 15] },            // connection and ready state
  preset: { at: [104, 120, 60, 30] },         // the stored preset reference
  waveform: { at: [376, 8, 220, 60] },        // "peaks"
  band: { at: [376, 70, 220, 8] },            // loop band from "ui:section"
  playhead: { at: [376, 80, 220, 8] },        // "ui:position"
  section: { at: [376, 94, 220, 15] },        // "ui:section", "ui:section_pending"
  phase: { at: [430, 114, 50, 15], label: [376, 114, 54, 15] },      // "ui:phase"
  gridbpm: { at: [546, 114, 50, 15], label: [486, 114, 60, 15] },    // "ui:gridbpm"
  info: { at: [376, 132, 220, 15] },          // "core:ready_info"
  knob: { at: [720, 152, 190, 15] },          // the latest echoed knob value
};

module.exports = { controls, displays, KEYS, MACRO_SLOTS, width: 1176 };
