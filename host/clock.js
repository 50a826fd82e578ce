'use strict';
// The host's sense of time: a monotonic millisecond clock plus the timer
// functions. Everything time-driven in host/ and sim/ takes a clock object so
// tests can substitute a manual one.
const { performance } = require('perf_hooks');

const realClock = {
  now: () => performance.now(),
  setTimeout: (fn, ms) => setTimeout(fn, ms),
  clearTimeout: (handle) => clearTimeout(handle),
};

module.exports = { realClock };
