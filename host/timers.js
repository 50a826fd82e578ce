'use strict';
// The host's two timers: the steady parameter tick and the one-shot
// reconnect delay.

// Calls onTick every periodMs on a fixed grid (start + k * period), so the
// average rate stays exact even though each timeout fires a little late.
// When the process stalls for more than maxLagPeriods, the missed ticks are
// skipped rather than fired in a burst.
class Ticker {
  constructor({ periodMs, clock, onTick, maxLagPeriods = 5 }) {
    if (!(periodMs > 0)) throw new RangeError('tick period must be positive');
    this.periodMs = periodMs;
    this.clock = clock;
    this.onTick = onTick;
    this.maxLagPeriods = maxLagPeriods;
    this.handle = null;
    this.running = false;
    this.next = 0;
    this.ticks = 0;
    this.skipped = 0;
  }

  start() {
    if (this.running) return;
    this.running = true;
    this.next = this.clock.now() + this.periodMs;
    this.arm();
  }

  stop() {
    this.running = false;
    if (this.handle !== null) this.clock.clearTimeout(this.handle);
    this.handle = null;
  }

  arm() {
    const delay = Math.max(0, this.next - this.clock.now());
    this.handle = this.clock.setTimeout(() => this.fire(), delay);
  }

  fire() {
    this.handle = null;
    const now = this.clock.now();
    this.next += this.periodMs;
    if (now - this.next > this.maxLagPeriods * this.periodMs) {
      const resumeAt = now + this.periodMs;
      this.skipped += Math.floor((resumeAt - this.next) / this.periodMs);
      this.next = resumeAt;
    }
    this.ticks += 1;
    try {
      this.onTick();
    } finally {
      if (this.running && this.handle === null) this.arm();
    }
  }
}

// One pending delay at a time: a newer request replaces the older one, so a
// stale schedule can never fire after a fresh one was asked for.
class OneShot {
  constructor({ clock, onFire }) {
    this.clock = clock;
    this.onFire = onFire;
    this.handle = null;
  }

  get pending() { return this.handle !== null; }

  schedule(ms) {
    this.cancel();
    const delay = Number.isFinite(ms) && ms > 0 ? ms : 0;
    this.handle = this.clock.setTimeout(() => {
      this.handle = null;
      this.onFire();
    }, delay);
  }

  cancel() {
    if (this.handle !== null) this.clock.clearTimeout(this.handle);
    this.handle = null;
  }
}

module.exports = { Ticker, OneShot };
