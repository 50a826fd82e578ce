'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { LiveClock, barSeconds } = require('../../../sim/live-clock');
const { ManualClock } = require('../host/helpers');

function run(options) {
  const clock = new ManualClock();
  const sent = [];
  const live = new LiveClock({ clock, send: (...m) => sent.push([clock.now(), ...m]), ...options });
  return { clock, sent, live, bars: () => sent.filter((m) => m[1] === 'bar').map((m) => m[0]) };
}

test('the clock sends tempo, starts the transport and a bar line every bar', () => {
  const { clock, sent, live, bars } = run({ bpm: 120 });
  live.start();
  assert.deepEqual(sent.slice(0, 3), [[0, 'tempo', 120], [0, 'transport', 1], [0, 'bar']]);
  clock.advance(8000);
  assert.deepEqual(bars(), [0, 2000, 4000, 6000, 8000]);
  live.stop();
  clock.advance(4000);
  assert.deepEqual(sent[sent.length - 1], [8000, 'transport', 0]);
  assert.equal(bars().length, 5);
});

test('bar lines follow the time signature and the speed, and stay on their grid', () => {
  assert.equal(barSeconds(120, '3/4'), 1.5);
  assert.equal(barSeconds(120, '7/8'), 1.75);
  assert.equal(barSeconds(90, 'x/4'), 4 * 60 / 90);
  const fast = run({ bpm: 120, timeSignature: '3/4', speed: 3 });
  fast.live.start();
  const original = fast.clock.setTimeout.bind(fast.clock);
  fast.clock.setTimeout = (fn, ms) => original(fn, ms + 40); // every timer late
  fast.clock.advance(2100);
  assert.deepEqual(fast.bars(), [0, 500, 1040, 1540, 2040]);
});

test('a tempo change plays the rest of the bar at the new tempo', () => {
  const { clock, live, bars, sent } = run({ bpm: 120 });
  live.start();
  clock.advance(3000);
  live.setTempo(60);
  clock.advance(9000);
  assert.deepEqual(bars(), [0, 2000, 5000, 9000]); // half a bar left at 3 s: 2 s at 60 bpm
  assert.ok(sent.some((m) => m[1] === 'tempo' && m[2] === 60));
  assert.throws(() => new LiveClock({ bpm: 0, send() {} }), RangeError);
});
