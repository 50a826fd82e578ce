'use strict';
// WAV files for the performance runner, through sox: interleaved stereo
// 32-bit floats in, 16-bit PCM WAV out, and back.
const { spawnSync } = require('child_process');

const RATE = 48000;

function writeWav(file, stereo, { rate = RATE, channels = 2 } = {}) {
  const raw = Buffer.from(stereo.buffer, stereo.byteOffset, stereo.length * 4);
  const r = spawnSync('sox', ['-t', 'f32', '-r', String(rate), '-c', String(channels), '-', '-D', '-b', '16', file], { input: raw });
  if (r.error) throw new Error(`sox not available: ${r.error.message}`);
  if (r.status !== 0) throw new Error(`sox could not write ${file}: ${r.stderr}`);
}

function readWav(file) {
  const info = spawnSync('soxi', ['-c', file], { encoding: 'utf8' });
  if (info.error || info.status !== 0) throw new Error(`soxi could not read ${file}`);
  const r = spawnSync('sox', [file, '-t', 'f32', '-'], { maxBuffer: 1 << 30 });
  if (r.error || r.status !== 0) throw new Error(`sox could not read ${file}`);
  const bytes = r.stdout;
  const samples = new Float32Array(bytes.length / 4);
  Buffer.from(samples.buffer).set(bytes);
  return { samples, channels: Number(info.stdout.trim()) };
}

module.exports = { writeWav, readWav };
