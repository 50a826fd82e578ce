'use strict';
// A stand-in for Live's transport: sends "tempo", "transport" and "bar" the
// way the device's patch forwards them from Live. Bars fall on a fixed grid
// from the start (bar k at start + k * bar length), in real time or `speed`
// times faster, so there is no drift however late each timer fires. The
// bar length follows the time signature's numerator (beats of a quarter
// note, as Live counts them for x/4; an x/8 signature counts x eighth notes).
const { realClock } = require('../host/clock');

function barSeconds(bpm, timeSignature) {
  const [num, den] = String(timeSignature).split('/').map((x) => parseInt(x, 10));
  const beats = num >= 1 ? num : 4;
  const unit = den === 8 ? 0.5 : den === 2 ? 2 : 1;
  return (beats * unit * 60) / bpm;
}

class LiveClock {
  // send(selector, ...args): where Live's messages go (the host's interface
  // input). onBar(barIndex): optional progress callback.
  constructor({ bpm = 120, timeSignature = '4/4', speed = 1, send, onBar = () => {}, clock = realClock }) {
    if (!(bpm > 0)) throw new RangeError('tempo must be positive');
    if (!(speed > 0)) throw new RangeError('speed must be positive');
    this.bpm = bpm;
    this.timeSignature = timeSignature;
    this.speed = speed;
    this.send = send;
    this.onBar = onBar;
    this.clock = clock;
    this.running = false;
    this.handle = null;
    this.bars = 0; // bar lines sent
    this.origin = 0; // clock time of bar index `originBar`
    this.originBar = 0;
  }

  get barMs() { return (barSeconds(this.bpm, this.timeSignature) * 1000) / this.speed; }

  // Sends the tempo, starts the transport and the first bar line at once.
  start() {
    if (this.running) return;
    this.running = true;
    this.send('tempo', this.bpm);
    this.send('transport', 1);
    this.origin = this.clock.now();
    this.originBar = this.bars;
    this.fire();
  }

  stop() {
    if (!this.running) return;
    this.running = false;
    if (this.handle !== null) this.clock.clearTimeout(this.handle);
    this.handle = null;
    this.send('transport', 0);
  }

  // A tempo change mid-bar plays the rest of that bar at the new tempo, as
  // Live does: the next bar line moves by the remaining fraction of a bar.
  setTempo(bpm) {
    if (!(bpm > 0)) return;
    const now = this.clock.now();
    const done = this.running ? Math.min(1, (now - this.lastBarAt) / this.barMs) : 0;
    this.bpm = bpm;
    this.send('tempo', bpm);
    if (!this.running) return;
    if (this.handle !== null) this.clock.clearTimeout(this.handle);
    this.origin = now + (1 - done) * this.barMs;
    this.originBar = this.bars;
    this.schedule();
  }

  fire() {
    this.handle = null;
    if (!this.running) return;
    this.lastBarAt = this.origin + (this.bars - this.originBar) * this.barMs;
    this.bars += 1;
    this.send('bar');
    this.onBar(this.bars);
    if (this.running) this.schedule();
  }

  schedule() {
    const due = this.origin + (this.bars - this.originBar) * this.barMs;
    this.handle = this.clock.setTimeout(() => this.fire(), Math.max(0, due - this.clock.now()));
  }
}

module.exports = { LiveClock, barSeconds };
