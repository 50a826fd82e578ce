'use strict';
// WAV files for the performance runner, in plain JavaScript so a run needs no
// outside program on any system: interleaved 32-bit floats in, 16-bit PCM
// WAV out (rounded, clipped, no dither); PCM 16/24/32-bit or 32-bit float
// WAV back to floats in [-1, 1).
const fs = require('fs');

const RATE = 48000;

function writeWav(file, stereo, { rate = RATE, channels = 2 } = {}) {
  const dataBytes = stereo.length * 2;
  const out = Buffer.alloc(44 + dataBytes);
  out.write('RIFF', 0, 'ascii');
  out.writeUInt32LE(36 + dataBytes, 4);
  out.write('WAVEfmt ', 8, 'ascii');
  out.writeUInt32LE(16, 16);
  out.writeUInt16LE(1, 20);  // PCM
  out.writeUInt16LE(channels, 22);
  out.writeUInt32LE(rate, 24);
  out.writeUInt32LE(rate * channels * 2, 28);
  out.writeUInt16LE(channels * 2, 32);
  out.writeUInt16LE(16, 34);
  out.write('data', 36, 'ascii');
  out.writeUInt32LE(dataBytes, 40);
  for (let i = 0; i < stereo.length; i++) {
    const v = Math.round(stereo[i] * 32768);
    out.writeInt16LE(Number.isNaN(v) ? 0 : Math.max(-32768, Math.min(32767, v)), 44 + 2 * i);
  }
  fs.writeFileSync(file, out);
}

function readWav(file) {
  const bytes = fs.readFileSync(file);
  if (bytes.length < 12 || bytes.toString('ascii', 0, 4) !== 'RIFF' || bytes.toString('ascii', 8, 12) !== 'WAVE') {
    throw new Error(`not a WAV file: ${file}`);
  }
  let format = null;
  for (let at = 12; at + 8 <= bytes.length;) {
    const id = bytes.toString('ascii', at, at + 4);
    const size = bytes.readUInt32LE(at + 4);
    const body = at + 8;
    if (id === 'fmt ' && size >= 16) {
      let tag = bytes.readUInt16LE(body);
      if (tag === 0xfffe && size >= 26) tag = bytes.readUInt16LE(body + 24);  // extensible: the sub-format
      format = { tag, channels: bytes.readUInt16LE(body + 2), bits: bytes.readUInt16LE(body + 14) };
    } else if (id === 'data' && format) {
      const end = Math.min(bytes.length, body + size);
      const width = format.bits / 8;
      const count = Math.floor((end - body) / width);
      const samples = new Float32Array(count);
      for (let i = 0; i < count; i++) {
        const p = body + i * width;
        if (format.tag === 3 && format.bits === 32) samples[i] = bytes.readFloatLE(p);
        else if (format.tag === 1 && format.bits === 16) samples[i] = bytes.readInt16LE(p) / 32768;
        else if (format.tag === 1 && format.bits === 24) samples[i] = bytes.readIntLE(p, 3) / 8388608;
        else if (format.tag === 1 && format.bits === 32) samples[i] = bytes.readInt32LE(p) / 2147483648;
        else throw new Error(`unsupported WAV format ${format.tag}/${format.bits} in ${file}`);
      }
      return { samples, channels: format.channels };
    }
    at = body + size + (size & 1);
  }
  throw new Error(`no audio in ${file}`);
}

module.exports = { writeWav, readWav };
