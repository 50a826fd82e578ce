'use strict';
// Link frames in JavaScript, for the stand-in omber~ peers and for tests
// that look at what the bridge carries:
//   u32 length (= 1 + payload size, 1 .. 268435456), u8 type, payload.
// Every field is little-endian.

const FRAME = Object.freeze({
  Init: 1, Patch: 2, Swap: 3, Band: 4, Seek: 5, Loop: 6, Capture: 7, Run: 8,
  Hello: 0x80, Position: 0x81, CapturePcm: 0x82, Token: 0x83,
});
const MAX_FRAME_LENGTH = 268435456;

function encodeFrame(type, payload = Buffer.alloc(0)) {
  const out = Buffer.allocUnsafe(5 + payload.length);
  out.writeUInt32LE(payload.length + 1, 0);
  out.writeUInt8(type, 4);
  payload.copy(out, 5);
  return out;
}

function f32Bytes(samples) {
  return Buffer.from(samples.buffer, samples.byteOffset, samples.length * 4);
}

function encodeHello(role, sampleRate = 48000) {
  const p = Buffer.alloc(7);
  p.writeUInt8(role, 0);
  p.writeInt32LE(sampleRate, 1);
  p.writeUInt16LE(2, 5);
  return encodeFrame(FRAME.Hello, p);
}

// The bridge's session token, the first frame of every connection.
function encodeToken(token) {
  return encodeFrame(FRAME.Token, Buffer.from(String(token), 'utf8'));
}

function encodePosition(seconds, swapCount) {
  const p = Buffer.alloc(12);
  p.writeDoubleLE(seconds, 0);
  p.writeInt32LE(swapCount, 8);
  return encodeFrame(FRAME.Position, p);
}

function encodeCapturePcm(stereo) {
  const frames = Math.floor(stereo.length / 2);
  const head = Buffer.alloc(4);
  head.writeUInt32LE(frames, 0);
  return encodeFrame(FRAME.CapturePcm, Buffer.concat([head, f32Bytes(stereo.subarray(0, frames * 2))]));
}

// Float32 samples copied out of a payload region (payloads are not aligned).
function readF32s(buf, offset, count) {
  const out = new Float32Array(count);
  Buffer.from(out.buffer).set(buf.subarray(offset, offset + count * 4));
  return out;
}

// Decodes the engine -> omber~ payloads into plain objects; null when the
// payload is shorter than its type needs.
function decodePayload(type, p) {
  switch (type) {
    case FRAME.Init:
    case FRAME.Swap: {
      if (p.length < 10) return null;
      const channels = p.readUInt16LE(4);
      const frames = p.readUInt32LE(6);
      if (channels === 0 || p.length < 10 + 4 * channels * frames) return null;
      return { sampleRate: p.readUInt32LE(0), channels, frames, samples: readF32s(p, 10, channels * frames) };
    }
    case FRAME.Patch: {
      if (p.length < 4) return null;
      const frames = Math.floor((p.length - 4) / 8);
      return { startFrame: p.readUInt32LE(0), frames, samples: readF32s(p, 4, frames * 2) };
    }
    case FRAME.Band: return p.length < 16 ? null : { start: p.readDoubleLE(0), end: p.readDoubleLE(8) };
    case FRAME.Seek: return p.length < 8 ? null : { seconds: p.readDoubleLE(0) };
    case FRAME.Loop:
    case FRAME.Capture:
    case FRAME.Run: return { on: p.length > 0 && p[0] !== 0 };
    default: return {};
  }
}

// Cuts frames from a byte stream; onFrame(type, payload) gets each complete
// frame once, in order. feed() throws "bad frame len" on an invalid length.
// Chunks of a large frame are only joined once the frame is complete.
class FrameReader {
  constructor(onFrame) {
    this.onFrame = onFrame;
    this.chunks = [];
    this.size = 0;
    this.need = 4; // bytes needed before anything can be cut
  }

  feed(chunk) {
    this.chunks.push(chunk);
    this.size += chunk.length;
    if (this.size < this.need) return;
    const buf = this.chunks.length === 1 ? this.chunks[0] : Buffer.concat(this.chunks, this.size);
    let offset = 0;
    this.need = 4;
    while (buf.length - offset >= 4) {
      const length = buf.readUInt32LE(offset);
      if (length === 0 || length > MAX_FRAME_LENGTH) {
        this.chunks = [];
        this.size = 0;
        throw new Error('bad frame len');
      }
      if (buf.length - offset < length + 4) {
        this.need = length + 4;
        break;
      }
      this.onFrame(buf[offset + 4], buf.subarray(offset + 5, offset + 4 + length));
      offset += length + 4;
    }
    const rest = buf.subarray(offset);
    this.chunks = rest.length ? [Buffer.from(rest)] : [];
    this.size = rest.length;
  }
}

module.exports = { FRAME, MAX_FRAME_LENGTH, encodeFrame, encodeHello, encodeToken, encodePosition, encodeCapturePcm, decodePayload, FrameReader };
