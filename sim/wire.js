'use strict';
// Binary layouts spoken between the engine and the pod.
//
// Audio message (engine -> pod: source audio, write_audio and source
// payloads), little-endian:  u32 channels, u32 frames, f32 samples.
//
// Slice (pod -> engine), a 23-byte little-endian header and the payload:
//   0  u8  kind: 1 = zstd-compressed difference, 0 = raw replacement
//   1  u32 start frame
//   5  u32 frames in the slice         (the engine does not read it)
//   9  u16 channels                    (not read)
//  11  f32 start in seconds            (not read)
//  15  f32 session tempo               (not read)
//  19  u32 slice sequence number       (not read; used to measure latency)
//  23  payload: half samples, raw or zstd-compressed
const SLICE_HEADER_BYTES = 23;
const KIND_RAW = 0;
const KIND_DIFF = 1;

function encodeAudioMessage(samples, channels) {
  const ch = Math.max(1, channels | 0);
  const frames = Math.floor(samples.length / ch);
  const out = Buffer.allocUnsafe(8 + samples.length * 4);
  out.writeUInt32LE(ch, 0);
  out.writeUInt32LE(frames, 4);
  for (let i = 0; i < samples.length; i++) out.writeFloatLE(samples[i], 8 + 4 * i);
  return out;
}

// Returns { channels, frames, samples: Float32Array } or throws with a reason.
function decodeAudioMessage(bytes) {
  if (bytes.length < 8) throw new Error('audio message shorter than its header');
  const channels = bytes.readUInt32LE(0);
  const frames = bytes.readUInt32LE(4);
  if (channels < 1 || channels > 64) throw new Error(`audio message has ${channels} channels`);
  const count = Math.floor((bytes.length - 8) / 4);
  if (count < channels * frames) throw new Error('audio message holds fewer samples than its header says');
  const samples = new Float32Array(channels * frames);
  for (let i = 0; i < samples.length; i++) samples[i] = bytes.readFloatLE(8 + 4 * i);
  return { channels, frames, samples };
}

// Audio of any channel count as interleaved stereo.
function toStereo({ samples, channels, frames }) {
  if (channels === 2) return samples;
  const out = new Float32Array(frames * 2);
  for (let f = 0; f < frames; f++) {
    let l;
    let r;
    if (channels === 1) {
      l = r = samples[f];
    } else {
      l = samples[f * channels];
      r = samples[f * channels + 1];
    }
    out[2 * f] = l;
    out[2 * f + 1] = r;
  }
  return out;
}

function encodeSliceHeader({ kind, startFrame, frames = 0, channels = 2, startSeconds = 0, bpm = 0, seq = 0 }) {
  const h = Buffer.alloc(SLICE_HEADER_BYTES);
  h.writeUInt8(kind, 0);
  h.writeUInt32LE(startFrame >>> 0, 1);
  h.writeUInt32LE(frames >>> 0, 5);
  h.writeUInt16LE(channels & 0xffff, 9);
  h.writeFloatLE(startSeconds, 11);
  h.writeFloatLE(bpm, 15);
  h.writeUInt32LE(seq >>> 0, 19);
  return h;
}

function decodeSliceHeader(bytes) {
  if (bytes.length < SLICE_HEADER_BYTES) return null;
  return {
    kind: bytes.readUInt8(0),
    startFrame: bytes.readUInt32LE(1),
    frames: bytes.readUInt32LE(5),
    channels: bytes.readUInt16LE(9),
    startSeconds: bytes.readFloatLE(11),
    bpm: bytes.readFloatLE(15),
    seq: bytes.readUInt32LE(19),
    payload: bytes.subarray(SLICE_HEADER_BYTES),
  };
}

module.exports = {
  SLICE_HEADER_BYTES, KIND_RAW, KIND_DIFF,
  encodeAudioMessage, decodeAudioMessage, encodeSliceHeader, decodeSliceHeader, toStereo,
};
