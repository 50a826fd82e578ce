'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const net = require('net');
const { Bridge } = require('../../../host/bridge');
const { waitFor } = require('./helpers');

// A client that collects what the bridge writes to it.
function connect(port, { read = true } = {}) {
  const socket = net.connect(port, '127.0.0.1');
  const client = {
    socket, chunks: [], bytes: 0, closed: false,
    get received() { return Buffer.concat(this.chunks); },
  };
  if (read) socket.on('data', (d) => { client.chunks.push(d); client.bytes += d.length; });
  else socket.pause();
  socket.on('close', () => { client.closed = true; });
  socket.on('error', () => {});
  return new Promise((resolve) => socket.on('connect', () => resolve(client)));
}

async function bridge(options = {}) {
  const events = [];
  const statuses = [];
  const b = new Bridge({ onEvent: (...e) => events.push(e), onStatus: (t) => statuses.push(t), ...options });
  const port = await b.listen();
  return { b, port, events, statuses };
}

test('connections get ids and report conn, data and close in order', async () => {
  const { b, port, events } = await bridge();
  try {
    assert.ok(port > 0);
    const a = await connect(port);
    const c = await connect(port);
    await waitFor(() => events.length === 2);
    a.socket.write(Buffer.from([1, 2, 3]));
    await waitFor(() => events.length === 3);
    a.socket.write(Buffer.from([4]));
    await waitFor(() => events.length === 4);
    a.socket.end();
    await waitFor(() => events.length === 5);
    assert.deepEqual(events, [
      ['ext:conn', 1], ['ext:conn', 2],
      ['ext:data', 1, Buffer.from([1, 2, 3])], ['ext:data', 1, Buffer.from([4])],
      ['ext:close', 1],
    ]);
    c.socket.destroy();
  } finally {
    await b.close();
  }
});

test('writes reach a group, a single id, or nobody; roles can change', async () => {
  const { b, port, events } = await bridge();
  try {
    const p1 = await connect(port);
    const p2 = await connect(port);
    const f = await connect(port);
    const unknown = await connect(port);
    await waitFor(() => events.length === 4);
    b.setRole(1, 'players');
    b.setRole('2', 'players');
    b.setRole(3, 'feeders');
    const frame = (n) => Buffer.from([1, 0, 0, 0, n]);
    assert.equal(b.write('players', frame(1)), 2);
    assert.equal(b.write('feeders', frame(2)), 1);
    assert.equal(b.write('2', frame(3)), 1);
    assert.equal(b.write(4, frame(4)), 1);
    assert.equal(b.write('7', frame(5)), 0);
    assert.equal(b.write('players ', frame(6)), 0);
    assert.equal(b.write('1.5', frame(7)), 0);
    await waitFor(() => p2.received.length === 10 && unknown.received.length === 5);
    assert.deepEqual(p1.received, frame(1));
    assert.deepEqual(p2.received, Buffer.concat([frame(1), frame(3)]));
    assert.deepEqual(f.received, frame(2));
    assert.deepEqual(unknown.received, frame(4));

    b.setRole(1, 'feeders');
    b.write('players', frame(8));
    b.write('feeders', frame(9));
    await waitFor(() => f.received.length === 10 && p2.received.length === 15);
    assert.deepEqual(p1.received, Buffer.concat([frame(1), frame(9)]));
    [p1, p2, f, unknown].forEach((c) => c.socket.destroy());
  } finally {
    await b.close();
  }
});

test('"ext:drop" closes the connection and its close is reported', async () => {
  const { b, port, events } = await bridge();
  try {
    const a = await connect(port);
    await waitFor(() => events.length === 1);
    b.drop('1');
    await waitFor(() => a.closed && events.length === 2);
    assert.deepEqual(events[1], ['ext:close', 1]);
    b.drop(99); // unknown ids are ignored
    assert.equal(b.write('1', Buffer.from([1])), 0);
  } finally {
    await b.close();
  }
});

test('a player that stops reading is closed whole, the others get every byte', async () => {
  const { b, port, events, statuses } = await bridge({ maxBacklogBytes: 2 * 1024 * 1024 });
  try {
    const stuck = await connect(port, { read: false });
    const live = await connect(port);
    await waitFor(() => events.length === 2);
    b.setRole(1, 'players');
    b.setRole(2, 'players');
    const frame = Buffer.alloc(256 * 1024, 7);
    let total = 0;
    for (let i = 0; i < 160 && b.connections.has(1); i++) {
      b.write('players', frame);
      total += frame.length;
      await new Promise((resolve) => setTimeout(resolve, 2)); // a pace a reading peer keeps up with
    }
    await waitFor(() => live.bytes === total, { timeoutMs: 5000, what: 'all bytes' });
    // The stuck peer is paused, so only the bridge's side sees the close.
    await waitFor(() => events.some((e) => e[0] === 'ext:close' && e[1] === 1), { what: 'the stuck connection to close' });
    stuck.socket.destroy();
    assert.match(statuses[0], /^bridge: connection 1 fell behind/);
    assert.ok(live.received.every((x) => x === 7));
    live.socket.destroy();
  } finally {
    await b.close();
  }
});

test('the listener takes a fixed port when asked and refuses a busy one', async () => {
  const first = await bridge();
  try {
    const clash = new Bridge({ onEvent() {}, port: first.port });
    await assert.rejects(clash.listen(), /EADDRINUSE/);
  } finally {
    await first.b.close();
  }
});
