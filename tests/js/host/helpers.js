'use strict';
// Shared stand-ins for the host tests: an engine with the addon's two
// functions, a manual clock, and small waiting helpers.

// Records every dispatch; reactions[selector](emit, ...args) runs inside
// dispatch, as the real engine answers synchronously.
class FakeEngine {
  constructor(reactions = {}) {
    this.reactions = reactions;
    this.calls = [];
    this.outletFn = null;
    this.depth = 0;
    this.maxDepth = 0;
  }

  onOutlet(fn) {
    if (typeof fn !== 'function') throw new TypeError('onOutlet(fn) requires a function');
    this.outletFn = fn;
  }

  dispatch(selector, ...args) {
    this.depth += 1;
    this.maxDepth = Math.max(this.maxDepth, this.depth);
    try {
      this.calls.push([selector, ...args]);
      const react = this.reactions[selector];
      if (react) react((sel, ...a) => this.emit(sel, ...a), ...args);
    } finally {
      this.depth -= 1;
    }
  }

  emit(selector, ...args) {
    this.outletFn(selector, ...args);
  }

  selectors() { return this.calls.map((c) => c[0]); }

  find(selector) { return this.calls.filter((c) => c[0] === selector); }
}

// Timers that run only when advance() moves time forward.
class ManualClock {
  constructor() {
    this.t = 0;
    this.timers = new Map();
    this.nextHandle = 1;
  }

  now() { return this.t; }

  setTimeout(fn, ms) {
    const handle = this.nextHandle++;
    this.timers.set(handle, { at: this.t + Math.max(0, ms), fn });
    return handle;
  }

  clearTimeout(handle) { this.timers.delete(handle); }

  // Runs every timer due up to now + ms, in time order, moving now along.
  advance(ms) {
    const end = this.t + ms;
    for (;;) {
      let best = null;
      for (const [h, timer] of this.timers) {
        if (timer.at <= end && (best === null || timer.at < best[1].at)) best = [h, timer];
      }
      if (!best) break;
      this.timers.delete(best[0]);
      this.t = Math.max(this.t, best[1].at);
      best[1].fn();
    }
    this.t = end;
  }
}

async function waitFor(check, { timeoutMs = 3000, what = 'condition' } = {}) {
  const start = Date.now();
  for (;;) {
    const value = check();
    if (value) return value;
    if (Date.now() - start > timeoutMs) throw new Error(`timed out waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 5));
  }
}

module.exports = { FakeEngine, ManualClock, waitFor };
