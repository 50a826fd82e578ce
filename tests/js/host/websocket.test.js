'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { WebSocketServer } = require('ws');
const { WsLink } = require('../../../host/websocket');
const { isJsonText } = require('../../../host/frames');
const { waitFor } = require('./helpers');

async function server() {
  const wss = new WebSocketServer({ port: 0, host: '127.0.0.1' });
  await new Promise((resolve) => wss.on('listening', resolve));
  const peers = [];
  const received = [];
  wss.on('connection', (ws) => {
    peers.push(ws);
    ws.on('message', (data, isBinary) => received.push({ data: Buffer.from(data), isBinary }));
  });
  return { wss, peers, received, url: `ws://127.0.0.1:${wss.address().port}/` };
}

function link() {
  const events = [];
  const statuses = [];
  const ws = new WsLink({ onEvent: (...e) => events.push(e), onStatus: (t) => statuses.push(t) });
  return { ws, events, statuses };
}

test('JSON commands go as text frames, audio and anything else as binary', async () => {
  assert.equal(isJsonText(Buffer.from('{"type":"loop_band","start_sec":4,"end_sec":12}')), true);
  assert.equal(isJsonText(Buffer.from('{"prompt":"caf\u00e9"}')), true);
  const audio = Buffer.alloc(16);
  audio.writeUInt32LE(2, 0);
  assert.equal(isJsonText(audio), false);
  // 123 channels puts "{" first; the zero bytes of the header still mark it binary.
  const odd = Buffer.from([0x7b, 0, 0, 0, 1, 0, 0, 0, 0x7d]);
  assert.equal(isJsonText(odd), false);
  assert.equal(isJsonText(Buffer.from([0x7b, 0xff, 0x7d])), false, 'invalid UTF-8');
  assert.equal(isJsonText(Buffer.from('{')), false);

  const srv = await server();
  const { ws, events } = link();
  try {
    ws.connect(srv.url);
    await waitFor(() => events.some((e) => e[0] === 'ws:open'));
    ws.send(Buffer.from('{"type":"prompt","tags":"x"}'));
    ws.send(audio);
    await waitFor(() => srv.received.length === 2);
    assert.deepEqual(srv.received.map((m) => m.isBinary), [false, true]);
    assert.deepEqual(srv.received[1].data, audio);
  } finally {
    ws.discard();
    srv.wss.close();
  }
});

test('socket events reach the engine with the binary flag and the close code', async () => {
  const srv = await server();
  const { ws, events } = link();
  try {
    ws.connect(srv.url);
    await waitFor(() => srv.peers.length === 1 && events.length === 1);
    srv.peers[0].send('{"type":"ready"}');
    srv.peers[0].send(Buffer.from([1, 2, 3]), { binary: true });
    await waitFor(() => events.length === 3);
    srv.peers[0].close(4001, 'bye');
    await waitFor(() => events.length === 4);
    assert.deepEqual(events, [
      ['ws:open'],
      ['ws:data', Buffer.from('{"type":"ready"}'), 0],
      ['ws:data', Buffer.from([1, 2, 3]), 1],
      ['ws:close', 4001],
    ]);
    assert.ok(Buffer.isBuffer(events[1][1]));
  } finally {
    ws.discard();
    srv.wss.close();
  }
});

test('a replaced socket stays silent; sends without a socket are dropped', async () => {
  const srv = await server();
  const { ws, events, statuses } = link();
  try {
    ws.send(Buffer.from('{"type":"params"}'));
    assert.equal(ws.droppedSends, 1);
    ws.connect(srv.url);
    await waitFor(() => events.length === 1);
    ws.connect(srv.url); // the engine asked for a new connection
    await waitFor(() => events.length === 2 && srv.peers.length === 2);
    await new Promise((resolve) => setTimeout(resolve, 50));
    assert.deepEqual(events, [['ws:open'], ['ws:open']], 'the first socket\'s close leaked');
    ws.close();
    await waitFor(() => events.length === 3);
    assert.equal(events[2][0], 'ws:close');
    assert.equal(events[2][1], 1000);

    ws.connect('not a url');
    await waitFor(() => events.length === 4);
    assert.deepEqual(events[3], ['ws:close', 1006]);
    assert.match(statuses[0], /^pod connection failed: /);
  } finally {
    ws.discard();
    srv.wss.close();
  }
});

test('a refused connection is reported as a close, and the send buffer is reported', async () => {
  const srv = await server();
  const port = srv.wss.address().port;
  await new Promise((resolve) => srv.wss.close(resolve));
  const { ws, events, statuses } = link();
  ws.connect(`ws://127.0.0.1:${port}/`);
  await waitFor(() => events.length === 1);
  assert.deepEqual(events, [['ws:close', 1006]]);
  assert.match(statuses[0], /ECONNREFUSED/);

  const srv2 = await server();
  const l2 = link();
  try {
    l2.ws.connect(srv2.url);
    await waitFor(() => l2.events.length === 1);
    l2.ws.send(Buffer.alloc(8 * 1024 * 1024));
    const reported = l2.events.filter((e) => e[0] === 'ws:buffered');
    assert.equal(reported.length, 1);
    assert.ok(reported[0][1] > 0);
    await waitFor(() => srv2.received.length === 1);
    l2.ws.reportBuffered();
    assert.deepEqual(l2.events[l2.events.length - 1], ['ws:buffered', 0]);
  } finally {
    l2.ws.discard();
    srv2.wss.close();
  }
});

// The engine's send gate keeps the last amount it was told; a lost socket or
// a new one must bring it back to 0, or droppable writes stay blocked.
test('the send-buffer amount returns to 0 for the engine when a socket is lost or replaced', async () => {
  const srv = await server();
  const { ws, events } = link();
  const buffered = () => events.filter((e) => e[0] === 'ws:buffered').map((e) => e[1]);
  try {
    ws.connect(srv.url);
    await waitFor(() => events.length === 1 && srv.peers.length === 1);
    srv.peers[0].pause(); // the pod stops reading, so the amount stays up
    ws.send(Buffer.alloc(16 * 1024 * 1024));
    assert.ok(buffered()[0] > 0);
    srv.peers[0].terminate();
    await waitFor(() => events.some((e) => e[0] === 'ws:close'));
    assert.deepEqual(buffered().slice(-1), [0], 'the lost socket left the engine with its amount');
    ws.reportBuffered(); // the next tick has nothing new to say
    assert.equal(buffered().length, 2);

    // A socket replaced while its amount is up.
    ws.connect(srv.url);
    await waitFor(() => srv.peers.length === 2 && events.filter((e) => e[0] === 'ws:open').length === 2);
    srv.peers[1].pause();
    ws.send(Buffer.alloc(16 * 1024 * 1024));
    assert.ok(buffered()[2] > 0);
    ws.connect(srv.url);
    assert.deepEqual(buffered().slice(-1), [0], 'the new socket starts from the old amount');
  } finally {
    ws.discard();
    srv.wss.close();
  }
});

test('messages reach the engine as received, and one past the cap closes the socket', async () => {
  // The bytes ws hands over are the bytes the engine gets, not a copy.
  const { EventEmitter } = require('events');
  const made = [];
  class FakeSocket extends EventEmitter {
    constructor(url, options) { super(); this.options = options; this.readyState = 1; made.push(this); }
  }
  const events = [];
  const fake = new WsLink({ onEvent: (...e) => events.push(e), WebSocketImpl: FakeSocket });
  fake.connect('ws://127.0.0.1:1/');
  const { MAX_MESSAGE_BYTES } = require('../../../host/websocket');
  assert.equal(made[0].options.maxPayload, MAX_MESSAGE_BYTES);
  assert.ok(MAX_MESSAGE_BYTES >= 24 * 1024 * 1024, 'a 60 s source must fit');
  const message = Buffer.alloc(1024, 3);
  made[0].emit('message', message, true);
  assert.equal(events[0][1], message);

  const srv = await server();
  const { ws, events: seen, statuses } = link();
  try {
    ws.connect(srv.url);
    await waitFor(() => seen.length === 1 && srv.peers.length === 1);
    srv.peers[0].send(Buffer.alloc(MAX_MESSAGE_BYTES + 1), { binary: true });
    await waitFor(() => seen.some((e) => e[0] === 'ws:close'), { timeoutMs: 10000 });
    const closes = seen.filter((e) => e[0] !== 'ws:buffered');
    assert.equal(closes.length, 2, 'the message reached the engine');
    assert.ok([1006, 1009].includes(closes[1][1]), `closed with ${closes[1][1]}`);
    assert.match(statuses[0], /pod connection error: .*payload/i);
  } finally {
    ws.discard();
    srv.wss.close();
  }
});
