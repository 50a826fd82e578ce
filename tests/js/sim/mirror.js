'use strict';
// A minimal client for the pod tests that does with the stream what the
// engine does: handshake, widening, raw overwrite and difference add in
// 32-bit float arithmetic, swaps. What it holds must equal the pod's buffer.
const WebSocket = require('ws');
const { widen, halvesFromBytes } = require('../../../sim/f16');
const { decodeSliceHeader, encodeAudioMessage, KIND_DIFF } = require('../../../sim/wire');
const { loadZstd } = require('../../../sim/zstd');
const { Pod } = require('../../../sim/pod');

class Mirror {
  static async open(url, { config = { prompt: 'dark techno', depth: 4, steps: 8, sde: false, lora: true }, source = null } = {}) {
    const m = new Mirror();
    m.zstd = await loadZstd();
    m.ws = new WebSocket(url);
    m.ws.on('message', (data, isBinary) => m.onMessage(Buffer.from(data), isBinary));
    m.ws.on('close', (code) => { m.closeCode = code; });
    m.ws.on('error', () => {});
    await new Promise((resolve, reject) => { m.ws.once('open', resolve); m.ws.once('error', reject); });
    m.ws.send(JSON.stringify(config));
    if (source) m.ws.send(encodeAudioMessage(source.samples, source.channels));
    return m;
  }

  constructor() {
    this.texts = [];
    this.state = 'handshake';
    this.buffer = null;
    this.channels = 2;
    this.epoch = 0;
    this.bufferEpoch = 0;
    this.pendingSwap = null;
    this.slices = [];
    this.decodeErrors = [];
    this.closeCode = null;
  }

  send(doc, { binary = false } = {}) {
    this.ws.send(Buffer.from(JSON.stringify(doc)), { binary });
  }

  sendAudio(samples, channels) { this.ws.send(encodeAudioMessage(samples, channels)); }

  close() { this.ws.terminate(); }

  onMessage(bytes, isBinary) {
    if (!isBinary) {
      const doc = JSON.parse(bytes.toString());
      this.texts.push(doc);
      if (doc.type === 'ready') {
        this.ready = doc;
        this.channels = doc.channels;
        this.epoch = doc.source_epoch;
        this.state = 'awaiting';
      }
      if (doc.type === 'swap_ready') this.pendingSwap = doc;
      return;
    }
    if (this.state === 'awaiting' || this.pendingSwap) {
      if (this.pendingSwap) this.epoch = this.pendingSwap.source_epoch;
      this.pendingSwap = null;
      this.sourceBytes = bytes;
      this.buffer = widen(halvesFromBytes(bytes));
      this.bufferEpoch = this.epoch;
      this.state = 'streaming';
      this.sources = (this.sources || 0) + 1;
      return;
    }
    const slice = decodeSliceHeader(bytes);
    if (!slice) {
      this.decodeErrors.push('short slice');
      return;
    }
    let halves;
    try {
      halves = halvesFromBytes(slice.kind === KIND_DIFF ? this.zstd.decompress(slice.payload) : slice.payload);
    } catch (err) {
      this.decodeErrors.push(err.message);
      return;
    }
    this.slices.push(slice);
    if (this.epoch !== this.bufferEpoch) return;
    const values = widen(halves);
    const base = slice.startFrame * this.channels;
    const n = Math.min(this.buffer.length - base, values.length);
    for (let i = 0; i < n; i++) {
      this.buffer[base + i] = slice.kind === KIND_DIFF ? Math.fround(this.buffer[base + i] + values[i]) : values[i];
    }
  }

  lastText(type) {
    return [...this.texts].reverse().find((t) => t.type === type) || null;
  }
}

// Bit-exact comparison of the mirror's floats with the pod's halves.
function sameAsPod(mirror, session) {
  const pod = widen(session.buffer.halves);
  if (!mirror.buffer || pod.length !== mirror.buffer.length) return false;
  const a = new Uint32Array(pod.buffer);
  const b = new Uint32Array(mirror.buffer.buffer, mirror.buffer.byteOffset, mirror.buffer.length);
  for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
  return true;
}

// Stereo test audio: a quiet chord, deterministic.
function testSource(seconds, hz = 220) {
  const frames = Math.round(seconds * 48000);
  const samples = new Float32Array(frames * 2);
  for (let f = 0; f < frames; f++) {
    const t = f / 48000;
    const x = 0.3 * Math.sin(2 * Math.PI * hz * t) + 0.1 * Math.sin(2 * Math.PI * hz * 1.5 * t);
    samples[2 * f] = x;
    samples[2 * f + 1] = -x;
  }
  return { samples, channels: 2, frames };
}

// Runs fn with a started pod (slices every 15 ms unless options say
// otherwise) and an `open` that connects mirrors; closes both afterwards.
async function withPod(options, fn) {
  const pod = new Pod({ sliceIntervalMs: 15, ...options });
  const info = await pod.start();
  const mirrors = [];
  const open = async (opts) => {
    const m = await Mirror.open(info.url, opts);
    mirrors.push(m);
    return m;
  };
  try {
    return await fn({ pod, info, open });
  } finally {
    mirrors.forEach((m) => m.close());
    await pod.stop();
  }
}

module.exports = { Mirror, sameAsPod, testSource, withPod };
