'use strict';
// One client connection of the simulated pod: the server's side of the
// handshake, the source, the stream of regenerated slices and every command.
//
//   config (JSON)  ->  "init_ack"
//   source audio (binary, optional; waited for briefly)
//                  ->  "ready" {...}, then the generated source as halves
//   then, every slice interval: a region regenerated ahead of the play head
//   (or a region changed by write_audio) as a raw or zstd difference slice.
//
// Messages are told apart by content, not by frame kind: a message that
// starts with "{" and parses as a JSON object is a command, anything else is
// audio, which is only expected right after the handshake configuration and
// after "write_audio", "set_timbre_source" and "set_structure_source".
const { HalfBuffer } = require('./buffer');
const { bytesFromHalves } = require('./f16');
const { renderRegion, SAMPLE_RATE, grid } = require('./music');
const { barEnvelope, detectKey, brightness } = require('./analysis');
const {
  styleFromText, mixStyles, keyFromText, keyName, hashText, controlsFromKnobs, clamp, KNOB_MANIFEST,
} = require('./style');
const { decodeAudioMessage, encodeSliceHeader, toStereo, KIND_RAW, KIND_DIFF } = require('./wire');
const { COMMANDS, writeAudio } = require('./commands');

function parseCommand(bytes) {
  if (bytes.length === 0 || bytes[0] !== 0x7b) return null;
  try {
    const doc = JSON.parse(bytes.toString('utf8'));
    return doc && typeof doc === 'object' && !Array.isArray(doc) ? doc : null;
  } catch {
    return null;
  }
}

function beatsPerBar(timeSignature) {
  const n = parseInt(String(timeSignature), 10);
  return n >= 1 ? n : 4;
}

const yieldToLoop = () => new Promise((resolve) => setImmediate(resolve));

class Session {
  constructor(pod, ws, id) {
    this.pod = pod;
    this.ws = ws;
    this.id = id;
    this.opts = pod.options;
    this.state = 'config';
    this.closed = false;
    this.config = null;
    this.upload = null; // the uploaded source audio, exactly as received
    this.early = []; // messages that came before the source was ready
    this.awaitingAudio = null; // the command whose audio payload comes next
    this.sourceTimer = null;
    this.sliceTimer = null;
    this.busy = false; // a source or swap is being rendered

    this.promptA = '';
    this.promptB = null;
    this.blend = 0.4;
    this.raw = {};
    this.loras = new Map();
    this.timbre = { name: null, wave: 0, strength: 1 };
    this.structure = { name: null, shape: null };
    this.band = null;
    this.playbackPos = null;
    this.variations = new Map();
    this.cursor = null;
    this.dirty = [];
    this.seq = 0;
    this.kindToggle = 0;
    this.stats = { slices: 0, rawSlices: 0, diffSlices: 0, sliceBytes: 0, commands: 0, params: 0, failures: 0 };

    ws.on('message', (data) => this.onMessage(Buffer.isBuffer(data) ? data : Buffer.concat([].concat(data))));
    ws.on('close', () => this.onClose());
    ws.on('error', () => {});
  }

  // ---- outgoing -----------------------------------------------------------

  sendJson(doc) {
    this.pod.send(this, Buffer.from(JSON.stringify(doc)), false);
  }

  fail(type, command, error) {
    this.stats.failures += 1;
    const doc = type === 'command_failed' ? { type, command, error } : { type, error };
    this.sendJson(doc);
    this.pod.emit('failed', { session: this, doc });
  }

  // ---- incoming -----------------------------------------------------------

  onMessage(bytes) {
    if (this.closed) return;
    if (this.awaitingAudio) {
      const pending = this.awaitingAudio;
      this.awaitingAudio = null;
      const doc = parseCommand(bytes);
      if (!doc) return this.onAudio(pending, bytes);
      this.fail(pending.type === 'write_audio' ? 'audio_write_failed' : 'command_failed', pending.type, 'audio payload missing');
      return this.onCommand(doc);
    }
    switch (this.state) {
      case 'config': return this.onConfig(bytes);
      case 'source':
        if (parseCommand(bytes)) {
          this.early.push(bytes);
          return this.beginStream(null);
        }
        return this.beginStream(bytes);
      case 'preparing':
        return this.early.push(bytes);
      default: {
        const doc = parseCommand(bytes);
        if (!doc) return this.fail('command_failed', '?', 'unexpected binary message');
        return this.onCommand(doc);
      }
    }
  }

  onConfig(bytes) {
    const doc = parseCommand(bytes);
    if (!doc || typeof doc.prompt !== 'string') {
      this.sendJson({ type: 'error', message: 'malformed configuration' });
      this.ws.close(1008, 'malformed configuration');
      return;
    }
    if (this.opts.rejectHandshake) {
      this.sendJson({ type: 'error', message: String(this.opts.rejectHandshake) });
      this.ws.close(1011, 'rejected');
      return;
    }
    this.config = doc;
    this.promptA = doc.prompt;
    this.pod.emit('config', { session: this, config: doc });
    this.sendJson({ type: 'init_ack' });
    this.state = 'source';
    this.sourceTimer = setTimeout(() => this.beginStream(null), this.opts.sourceWaitMs);
  }

  async beginStream(sourceBytes) {
    clearTimeout(this.sourceTimer);
    this.state = 'preparing';
    if (sourceBytes) {
      try {
        this.upload = decodeAudioMessage(sourceBytes);
      } catch (err) {
        this.sendJson({ type: 'error', message: `bad source audio: ${err.message}` });
        this.ws.close(1008, 'bad source audio');
        return;
      }
    }
    this.setUpSession();
    const info = this.readyInfo();
    const halves = await this.renderWhole();
    if (this.closed) return;
    this.buffer = halves;
    this.sendJson(info);
    this.pod.send(this, bytesFromHalves(halves.halves), true);
    this.state = 'streaming';
    this.pod.emit('ready', { session: this, info });
    for (const bytes of this.early.splice(0)) this.onMessage(bytes);
    this.sliceTimer = setInterval(() => this.sliceTick(), this.opts.sliceIntervalMs);
  }

  setUpSession() {
    const cfg = this.config;
    this.bpm = typeof cfg.bpm === 'number' && cfg.bpm > 0 ? cfg.bpm : this.opts.bpm;
    this.timeSignature = this.opts.timeSignature;
    this.beatsPerBar = beatsPerBar(this.timeSignature);
    this.key = keyFromText(cfg.prompt) || (this.upload && detectKey(this.upload)) || keyFromText(this.opts.key) || { root: 9, minor: true };
    const bar = (60 / this.bpm) * this.beatsPerBar;
    let duration;
    if (cfg.backend === 'sa3' && typeof cfg.sa3_duration_s === 'number' && cfg.sa3_duration_s > 0) duration = cfg.sa3_duration_s;
    else if (this.upload && this.upload.frames > 0) duration = this.upload.frames / SAMPLE_RATE;
    else duration = this.opts.bars * bar;
    duration = Math.min(duration, this.opts.maxDurationS);
    this.frames = Math.max(1, Math.round(duration * SAMPLE_RATE));
    this.duration = this.frames / SAMPLE_RATE;
    this.envelope = this.upload ? barEnvelope(this.upload, bar) : null;
    this.source = this.upload ? { samples: toStereo(this.upload), channels: 2, frames: this.upload.frames } : null;
    this.epoch = this.pod.nextEpoch();
    this.seed = (this.opts.seed ^ hashText(cfg.prompt)) >>> 0;
  }

  readyInfo() {
    return {
      type: 'ready',
      duration: this.duration,
      bpm: this.bpm,
      key: keyName(this.key),
      time_signature: this.timeSignature,
      channels: 2,
      source_epoch: this.pod.takeEpochMisstatement(this.epoch),
      capabilities: { loop_band: true },
      knob_manifest: KNOB_MANIFEST,
      ...this.pod.takeReadyMisstatement(),
    };
  }

  // Renders a whole source bar by bar, yielding to the event loop between
  // bars so other sessions and sockets stay served.
  async renderWhole() {
    const buffer = new HalfBuffer(this.frames);
    const scene = this.scene();
    const chunk = Math.round(grid(scene).bar * SAMPLE_RATE);
    for (let start = 0; start < this.frames; start += chunk) {
      const n = Math.min(chunk, this.frames - start);
      const tmp = new HalfBuffer(n);
      tmp.setFromFloats(renderRegion(scene, start, n));
      buffer.halves.set(tmp.halves, start * 2);
      await yieldToLoop();
      if (this.closed) break;
    }
    return buffer;
  }

  // ---- the musical scene --------------------------------------------------

  scene() {
    const styleA = styleFromText(this.promptA);
    const style = this.promptB ? mixStyles(styleA, styleFromText(this.promptB), this.blend) : styleA;
    const leading = this.promptB && this.blend >= 0.5 ? this.promptB : this.promptA;
    const segSteps = this.opts.regionBeats * 4;
    const loras = {};
    for (const [id, strength] of this.loras) loras[id] = clamp(strength, 0, 2) * 0.5;
    const envelope = this.envelope;
    const shape = this.structure.shape;
    return {
      bpm: this.bpm,
      beatsPerBar: this.beatsPerBar,
      key: this.key,
      style,
      melodySeed: (this.seed ^ hashText(leading)) >>> 0,
      controls: controlsFromKnobs(this.raw),
      timbre: { wave: this.timbre.strength >= 0.5 ? this.timbre.wave : 0 },
      loras,
      barShape: (bar) => (envelope ? envelope[((bar % envelope.length) + envelope.length) % envelope.length] : 1)
        * (shape ? shape[((bar % shape.length) + shape.length) % shape.length] : 1),
      variation: (absStep) => this.variations.get(Math.floor(absStep / segSteps)) || 0,
      source: this.source,
    };
  }

  segmentFrames() {
    return Math.max(1, Math.round((60 / this.bpm) * this.opts.regionBeats * SAMPLE_RATE));
  }

  // The next region to regenerate: one segment, a little ahead of where the
  // client reports playback, inside the loop band when one is set.
  nextRegion() {
    const seg = this.segmentFrames();
    const bandStart = this.band ? Math.round(this.band[0] * SAMPLE_RATE) : 0;
    const bandEnd = this.band ? Math.min(this.frames, Math.round(this.band[1] * SAMPLE_RATE)) : this.frames;
    const first = Math.ceil(bandStart / seg);
    const last = Math.floor(bandEnd / seg); // exclusive: segments wholly inside
    if (last <= first) return { start: bandStart, frames: Math.max(1, bandEnd - bandStart), segment: first };
    const count = last - first;
    if (this.playbackPos !== null) {
      const want = Math.floor((this.playbackPos * SAMPLE_RATE) / seg) + 1;
      if (this.cursor === null || this.cursor < want || this.cursor > want + this.opts.aheadSegments) this.cursor = want;
    } else if (this.cursor === null) {
      this.cursor = first;
    }
    const segment = first + ((((this.cursor - first) % count) + count) % count);
    this.cursor += 1;
    return { start: segment * seg, frames: Math.min(seg, this.frames - segment * seg), segment };
  }

  // ---- slices -------------------------------------------------------------

  sliceTick() {
    if (this.closed || this.busy || this.state !== 'streaming' || this.pod.paused) return;
    if (this.dirty.length > 0) return this.sendDirty();
    const region = this.nextRegion();
    this.variations.set(region.segment, (this.variations.get(region.segment) || 0) + 1);
    const scene = this.scene();
    const fresh = renderRegion(scene, region.start, region.frames);
    const target = this.buffer.blendTarget(region.start, fresh, scene.controls.morph, this.opts.fadeFrames);
    this.sendSlice(region.start, target, this.nextKind());
  }

  nextKind() {
    const mode = this.opts.sliceKinds;
    if (mode === 'raw') return KIND_RAW;
    if (mode === 'diff') return KIND_DIFF;
    this.kindToggle ^= 1;
    return this.kindToggle ? KIND_RAW : KIND_DIFF;
  }

  sendDirty() {
    const [start, end] = this.dirty[0];
    const n = Math.min(end - start, this.segmentFrames());
    if (start + n >= end) this.dirty.shift();
    else this.dirty[0][0] = start + n;
    this.sendSlice(start, this.buffer.region(start, n).slice(), KIND_RAW, { already: true });
  }

  // Applies target to the buffer (unless it is already there) and sends it.
  sendSlice(startFrame, target, kind, { already = false } = {}) {
    const frames = target.length / 2;
    const seq = ++this.seq;
    const header = encodeSliceHeader({
      kind, startFrame, frames, channels: 2, startSeconds: startFrame / SAMPLE_RATE, bpm: this.bpm, seq,
    });
    const corrupt = this.pod.takeCorruption();
    let payload;
    if (corrupt === 'short') {
      payload = null;
    } else if (corrupt === 'truncated') {
      const whole = this.pod.zstd.compress(bytesFromHalves(new Uint16Array(target.length)), 3);
      payload = whole.subarray(0, Math.floor(whole.length / 2));
      header[0] = KIND_DIFF;
    } else if (corrupt === 'oversized') {
      payload = rleZstdFrame(2100);
      header[0] = KIND_DIFF;
    } else if (corrupt === 'past-end' || corrupt === 'straddle') {
      const at = corrupt === 'past-end' ? this.frames + 1 : Math.max(0, this.frames - Math.floor(frames / 2));
      header.writeUInt32LE(at, 1);
      header[0] = KIND_RAW;
      const fits = Math.max(0, Math.min(frames, this.frames - at));
      if (fits > 0) this.buffer.halves.set(target.subarray(0, fits * 2), at * 2);
      payload = bytesFromHalves(target);
    } else if (corrupt) {
      payload = Buffer.from('this is not a zstd frame at all');
      header[0] = KIND_DIFF;
    } else if (kind === KIND_DIFF) {
      payload = this.pod.zstd.compress(bytesFromHalves(this.buffer.writeDifference(startFrame, target)), 3);
    } else {
      if (!already) this.buffer.writeRaw(startFrame, target);
      payload = bytesFromHalves(target);
    }
    const message = payload ? Buffer.concat([header, payload]) : header.subarray(0, 10);
    if (corrupt === 'straddle') {
      // Counted as a slice: the part that fits is applied on both sides.
      this.stats.slices += 1;
      this.stats.rawSlices += 1;
    }
    const sentAt = this.pod.send(this, message, true);
    if (!corrupt) {
      this.stats.slices += 1;
      this.stats[kind === KIND_DIFF ? 'diffSlices' : 'rawSlices'] += 1;
    }
    this.stats.sliceBytes += message.length;
    this.pod.emit('slice', { session: this, seq, kind: header[0], startFrame, frames, bytes: message.length, corrupt: corrupt || null, sentAt });
    this.pod.sliceSent();
  }

  // ---- commands -----------------------------------------------------------

  onCommand(doc) {
    this.stats.commands += 1;
    const type = typeof doc.type === 'string' ? doc.type : '';
    this.pod.emit('command', { session: this, doc });
    const handler = COMMANDS[type];
    if (!handler) return this.fail('command_failed', type || '?', 'unknown command');
    return handler.call(this, doc);
  }

  onAudio(pending, bytes) {
    let audio;
    try {
      audio = decodeAudioMessage(bytes);
    } catch (err) {
      const failType = pending.type === 'write_audio' ? 'audio_write_failed' : 'command_failed';
      return this.fail(failType, pending.type, `bad audio: ${err.message}`);
    }
    if (pending.type === 'write_audio') return writeAudio.call(this, pending, audio);
    if (pending.type === 'set_timbre_source') {
      this.timbre = { name: String(pending.name || ''), wave: brightness(audio) > 0.05 ? 2 : 1, strength: this.timbre.strength };
    } else {
      const bar = (60 / this.bpm) * this.beatsPerBar;
      this.structure = { name: String(pending.name || ''), shape: barEnvelope(audio, bar) };
    }
    this.pod.emit('source_audio', { session: this, command: pending, audio });
  }
}

Session.prototype.onClose = function onClose() {
  if (this.closed) return;
  this.closed = true;
  clearTimeout(this.sourceTimer);
  clearInterval(this.sliceTimer);
  this.pod.forget(this);
};

// A zstd frame of `blocks` RLE blocks of 128 KiB zero bytes each, built by
// hand: a few bytes per block however much it decodes to.
function rleZstdFrame(blocks) {
  const out = Buffer.alloc(6 + blocks * 4);
  out.writeUInt32LE(0xfd2fb528, 0); // magic
  out[4] = 0x00; // no content size, not single-segment, no checksum, no dictionary
  out[5] = 0x38; // window 2^17
  for (let b = 0; b < blocks; b++) {
    const last = b === blocks - 1 ? 1 : 0;
    const header = (131072 << 3) | (1 << 1) | last; // an RLE block of 128 KiB
    out.writeUIntLE(header, 6 + b * 4, 3); // the repeated byte stays 0
  }
  return out;
}

module.exports = { Session, parseCommand, rleZstdFrame };
