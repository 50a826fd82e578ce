'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { Ticker, OneShot } = require('../../../host/timers');
const { ManualClock } = require('./helpers');

test('the ticker fires on a fixed grid, however late each timeout runs', () => {
  const clock = new ManualClock();
  const times = [];
  const ticker = new Ticker({ periodMs: 20, clock, onTick: () => times.push(clock.now()) });
  ticker.start();
  clock.advance(100);
  assert.deepEqual(times, [20, 40, 60, 80, 100]);
  // A late timer (as a busy event loop gives) does not shift later ticks.
  const original = clock.setTimeout.bind(clock);
  clock.setTimeout = (fn, ms) => original(fn, ms + 7);
  clock.advance(60);
  clock.setTimeout = original;
  clock.advance(40);
  assert.deepEqual(times.slice(5).map((t) => t - (t % 20)), [120, 140, 160, 180, 200]);
});

test('the ticker skips a backlog instead of bursting, and stops from inside a tick', () => {
  const clock = new ManualClock();
  let ticks = 0;
  const ticker = new Ticker({ periodMs: 20, clock, onTick: () => { ticks += 1; } });
  ticker.start();
  clock.t = 1000; // the process stalled for a second
  clock.advance(0);
  assert.equal(ticks, 1);
  assert.ok(ticker.skipped >= 40, `skipped ${ticker.skipped}`);
  clock.advance(20);
  assert.equal(ticks, 2);

  const stopper = new Ticker({ periodMs: 10, clock, onTick: () => stopper.stop() });
  stopper.start();
  clock.advance(100);
  assert.equal(stopper.ticks, 1);
  assert.throws(() => new Ticker({ periodMs: 0, clock, onTick() {} }), RangeError);
});

test('a one-shot delay fires once; a newer schedule replaces the older, cancel stops it', () => {
  const clock = new ManualClock();
  const fired = [];
  const shot = new OneShot({ clock, onFire: () => fired.push(clock.now()) });
  shot.schedule(1000);
  clock.advance(500);
  shot.schedule(2000);
  clock.advance(3000);
  assert.deepEqual(fired, [2500]);
  shot.schedule(100);
  shot.cancel();
  clock.advance(1000);
  assert.deepEqual(fired, [2500]);
  assert.equal(shot.pending, false);
});
