'use strict';
// A stand-in for one omber~ instance at the link level, in JavaScript: it
// connects to the host's bridge, sends the session token when it has one,
// says Hello, and then
//  - as a player: keeps the buffer the engine sends (Init, Patch, Swap),
//    moves a play head in real time under Band, Seek, Loop and Run, and
//    reports it with Position frames;
//  - as a feeder: while capture is on, sends its input track as CapturePcm
//    frames at real-time pace.
// It renders no audio; it exists so the whole chain can run and be checked
// without Max, and so tests can see exactly what a player receives.
const net = require('net');
const { EventEmitter } = require('events');
const { FRAME, FrameReader, decodePayload, encodeHello, encodeToken, encodePosition, encodeCapturePcm } = require('./link');

const RATE = 48000;
const TICK_MS = 5;
const CAPTURE_FRAMES = 1024;

class LinkPeer extends EventEmitter {
  // role: 0 player, 1 feeder. input: interleaved stereo Float32Array (feeder).
  // token: the bridge's session token (null: send none).
  constructor({ role = 0, input = null, token = null, now = () => performance.now() } = {}) {
    super();
    this.role = role;
    this.token = token;
    this.input = input;
    this.inputFrame = 0;
    this.now = now;
    this.socket = null;
    this.reader = null;
    this.timer = null;
    // player state
    this.buffer = null;
    this.channels = 2;
    this.frames = 0;
    this.playHead = 0;
    this.advancing = true;
    this.loopWhole = true;
    this.band = null;
    this.swapCount = 0;
    this.lastSent = -1;
    this.lastTick = 0;
    this.capturing = false;
    this.captureDue = 0;
    this.counts = {};
    this.patchLog = []; // { at, startFrame, frames } per applied Patch
  }

  connect(port) {
    return new Promise((resolve, reject) => {
      const socket = net.connect(port, '127.0.0.1');
      socket.setNoDelay(true);
      socket.once('error', reject);
      socket.once('connect', () => {
        socket.removeListener('error', reject);
        socket.on('error', () => {});
        this.socket = socket;
        this.reader = new FrameReader((type, payload) => this.onFrame(type, payload));
        socket.on('data', (chunk) => {
          try {
            this.reader.feed(chunk);
          } catch (err) {
            this.emit('error', err);
            socket.destroy();
          }
        });
        socket.on('close', () => {
          this.socket = null;
          this.stopTimer();
          this.emit('close');
        });
        if (this.token) socket.write(encodeToken(this.token));
        socket.write(encodeHello(this.role));
        this.lastTick = this.now();
        this.timer = setInterval(() => this.tick(), TICK_MS);
        resolve();
      });
    });
  }

  disconnect() {
    this.stopTimer();
    if (this.socket) this.socket.destroy();
  }

  stopTimer() {
    if (this.timer) clearInterval(this.timer);
    this.timer = null;
  }

  onFrame(type, payload) {
    const msg = decodePayload(type, payload);
    this.counts[type] = (this.counts[type] || 0) + 1;
    if (msg === null) return;
    switch (type) {
      case FRAME.Init:
        this.setBuffer(msg);
        this.playHead = 0;
        this.band = null;
        this.swapCount = 0;
        break;
      case FRAME.Swap:
        this.setBuffer(msg);
        this.swapCount += 1;
        this.fixBand();
        break;
      case FRAME.Patch: this.patch(msg); break;
      case FRAME.Band: this.setBand(msg.start, msg.end); break;
      case FRAME.Seek:
        if (this.frames > 0) this.playHead = Math.max(0, Math.min(msg.seconds * RATE, this.frames - 1));
        break;
      case FRAME.Loop: this.loopWhole = msg.on; break;
      case FRAME.Run: this.advancing = msg.on; break;
      case FRAME.Capture:
        if (msg.on && !this.capturing) this.captureDue = this.now();
        this.capturing = msg.on;
        break;
      default: break;
    }
    this.emit('frame', type, msg);
  }

  setBuffer({ channels, frames, samples }) {
    this.channels = channels;
    this.frames = frames;
    this.buffer = samples;
  }

  patch({ startFrame, frames, samples }) {
    if (!this.buffer) return;
    // A patch is stereo; it lands on the first two channels of each frame.
    const n = Math.max(0, Math.min(frames, this.frames - startFrame));
    for (let f = 0; f < n; f++) {
      const base = (startFrame + f) * this.channels;
      this.buffer[base] = samples[2 * f];
      if (this.channels > 1) this.buffer[base + 1] = samples[2 * f + 1];
    }
    this.patchLog.push({ at: process.hrtime.bigint(), startFrame, frames: n });
    this.emit('patch', startFrame, n);
  }

  setBand(start, end) {
    if (start < 0 || end < 0) {
      this.band = null;
      return;
    }
    const s = Math.max(start * RATE, 0);
    const e = Math.min(end * RATE, this.frames);
    if (e - s < 1) {
      this.band = null;
      return;
    }
    this.band = [s, e];
    if (s > this.playHead || this.playHead >= e) this.playHead = s;
  }

  fixBand() {
    if (this.band) {
      this.band[1] = Math.min(this.band[1], this.frames);
      if (this.band[1] <= this.band[0]) this.band = null;
      else if (this.playHead < this.band[0] || this.playHead >= this.band[1]) this.playHead = this.band[0];
    }
    if (this.playHead >= this.frames) this.playHead = 0;
  }

  tick() {
    const now = this.now();
    const elapsed = now - this.lastTick;
    this.lastTick = now;
    if (this.role === 0) this.advance(elapsed);
    if (this.capturing && this.input) this.sendCapture(now);
  }

  advance(ms) {
    if (!this.buffer || this.frames === 0) return;
    if (this.advancing) {
      const [L, E] = this.band ? this.band : [0, this.frames];
      const looping = this.band !== null || this.loopWhole;
      let head = this.playHead + (ms / 1000) * RATE;
      if (head >= E) head = looping ? L + ((head - L) % (E - L)) : this.frames;
      this.playHead = head;
    }
    const seconds = this.playHead / RATE;
    if (seconds !== this.lastSent && this.socket) {
      this.lastSent = seconds;
      this.socket.write(encodePosition(seconds, this.swapCount));
    }
  }

  sendCapture(now) {
    const perChunk = (CAPTURE_FRAMES / RATE) * 1000;
    while (now - this.captureDue >= perChunk && this.socket) {
      this.captureDue += perChunk;
      const total = this.input.length / 2;
      const chunk = new Float32Array(CAPTURE_FRAMES * 2);
      for (let f = 0; f < CAPTURE_FRAMES; f++) {
        const src = (this.inputFrame + f) % total;
        chunk[2 * f] = this.input[2 * src];
        chunk[2 * f + 1] = this.input[2 * src + 1];
      }
      this.inputFrame = (this.inputFrame + CAPTURE_FRAMES) % total;
      this.socket.write(encodeCapturePcm(chunk));
    }
  }
}

module.exports = { LinkPeer };
