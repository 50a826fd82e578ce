'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { Host, sessionToken } = require('../../../host/core');
const { FakeEngine, ManualClock, waitFor } = require('./helpers');

function makeHost(reactions, config = {}, clock = new ManualClock()) {
  const engine = new FakeEngine(reactions);
  const ui = [];
  const host = new Host({ engine, config, clock, toInterface: (sel, ...args) => ui.push([sel, ...args]) });
  return { engine, host, ui, clock };
}

test('interface messages of the engine pass to the interface; the host keeps its own', () => {
  const { engine, host, ui } = makeHost();
  engine.emit('ui:status', 'connecting to pod');
  engine.emit('echo', 'blend', 0.5);
  engine.emit('knobnames', 'denoise', 'shift');
  engine.emit('core:ready_info', 30, 120, 'A minor');
  engine.emit('ext:role', 3, 'players');
  engine.emit('ws:send', Buffer.from('{}'));
  engine.emit('ws:reconnect_in', 1000);
  assert.deepEqual(ui, [
    ['ui:status', 'connecting to pod'],
    ['echo', 'blend', 0.5],
    ['knobnames', 'denoise', 'shift'],
    ['core:ready_info', 30, 120, 'A minor'],
  ]);
  host.reconnect.cancel();
});

test('answers produced inside dispatch are delivered after it returns, in order', async () => {
  const { engine, host } = makeHost({
    start: (emit) => {
      emit('ui:status', 'connecting to pod');
      emit('cloud:resolve');
    },
    'cloud:wsurl': (emit, url) => emit('ws:connect', url),
  }, { podUrl: 'ws://127.0.0.1:9/' });
  host.ws.connect = (url) => host.dispatch('test:connected', url);
  host.fromInterface('start');
  await waitFor(() => engine.find('test:connected').length, { what: 'ws:connect' });
  assert.deepEqual(engine.selectors(), ['start', 'cloud:wsurl', 'test:connected']);
  assert.equal(engine.maxDepth, 1, 'the engine was re-entered');
});

test('host settings from the interface change the lookup without reaching the engine', async () => {
  const { engine, host } = makeHost({ go: (emit) => emit('cloud:resolve') });
  host.fromInterface('host:pod', 'ws://127.0.0.1:4567/');
  host.fromInterface('go');
  await waitFor(() => engine.find('cloud:wsurl').length);
  assert.deepEqual(engine.find('cloud:wsurl'), [['cloud:wsurl', 'ws://127.0.0.1:4567/']]);
  assert.deepEqual(engine.selectors().filter((s) => s.startsWith('host:')), []);

  host.fromInterface('host:pod');
  host.fromInterface('go');
  await waitFor(() => engine.find('cloud:error').length);
  assert.deepEqual(engine.find('cloud:error'), [['cloud:error', 'no pod configured']]);
});

test('the reconnect delay ends in "tick:reconnect"; "stop" and a fresh resolve cancel it', () => {
  const { engine, host, clock } = makeHost({}, { podUrl: 'ws://127.0.0.1:9/' });
  engine.emit('ws:reconnect_in', 2000);
  clock.advance(1999);
  assert.equal(engine.find('tick:reconnect').length, 0);
  clock.advance(1);
  assert.equal(engine.find('tick:reconnect').length, 1);

  // The performer stops while a reconnect waits: the socket must stay shut.
  engine.emit('ws:reconnect_in', 1000);
  engine.emit('ws:close');
  clock.advance(5000);
  assert.equal(engine.find('tick:reconnect').length, 1);

  // "start" again while a reconnect waits: the new session is not torn down later.
  engine.emit('ws:reconnect_in', 1000);
  engine.emit('cloud:resolve');
  clock.advance(5000);
  assert.equal(engine.find('tick:reconnect').length, 1);
  host.resolveToken += 1;
});

test('the parameter tick reports a changed send buffer first, then ticks every period', async () => {
  const { engine, host, clock } = makeHost();
  await host.start();
  try {
    clock.advance(100);
    assert.equal(engine.find('tick:param').length, 5);
    let buffered = 0;
    Object.defineProperty(host.ws, 'socket', { get: () => ({ bufferedAmount: buffered }), configurable: true });
    buffered = 4096;
    clock.advance(20);
    buffered = 4096;
    clock.advance(20);
    const tail = engine.selectors().slice(-3);
    assert.deepEqual(tail, ['ws:buffered', 'tick:param', 'tick:param']);
    assert.deepEqual(engine.find('ws:buffered'), [['ws:buffered', 4096]]);
  } finally {
    delete host.ws.socket;
    host.ws.socket = null;
    await host.stop();
  }
});

test('a host needs an engine with dispatch and onOutlet', () => {
  assert.throws(() => new Host({ engine: {} }), TypeError);
  const engine = new FakeEngine();
  engine.dispatch = () => { throw new Error('conversion failed'); };
  const ui = [];
  const host = new Host({ engine, clock: new ManualClock(), toInterface: (...m) => ui.push(m) });
  host.dispatch('anything');
  host.dispatch('next');
  assert.deepEqual(ui, [['ui:status', 'engine error on anything: conversion failed'], ['ui:status', 'engine error on next: conversion failed']]);
});

test('each host makes its own bridge token and tells the patch with the port', async () => {
  const a = makeHost();
  const b = makeHost();
  assert.match(a.host.bridgeToken, /^[0-9a-f]{32}$/);
  assert.notEqual(a.host.bridgeToken, b.host.bridgeToken);
  // Max would read a token of digits as a number, which omber~ refuses.
  for (let i = 0; i < 200; i++) assert.match(sessionToken(undefined), /^[a-f][0-9a-f]{31}$/);
  assert.equal(makeHost({}, { bridgeToken: 'given' }).host.bridgeToken, 'given');
  assert.equal(makeHost({}, { bridgeToken: false }).host.bridgeToken, null);
  assert.throws(() => makeHost({}, { bridgeToken: 'x'.repeat(65) }), /1 to 64 bytes/);
  assert.throws(() => makeHost({}, { bridgeToken: '' }), /1 to 64 bytes/);
  try {
    const port = await a.host.start();
    assert.deepEqual(a.ui, [['host:port', port, a.host.bridgeToken]]);
  } finally {
    await a.host.stop();
  }
});
