'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const net = require('net');
const { Bridge } = require('../../../host/bridge');
const { FRAME, FrameReader, encodeFrame, encodeToken, encodeHello, encodePosition } = require('../../../sim/link');
const { waitFor } = require('./helpers');

const TOKEN = '0123456789abcdef0123456789abcdef';

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

// ---- the session token --------------------------------------------------

test('a connection is reported only after its token; what follows the token is data', async () => {
  const { b, port, events, statuses } = await bridge({ token: TOKEN });
  try {
    const a = await connect(port);
    await new Promise((resolve) => setTimeout(resolve, 30));
    assert.deepEqual(events, [], 'reported before its token');
    const token = encodeToken(TOKEN);
    a.socket.write(token.subarray(0, 7)); // the token may come in pieces
    await new Promise((resolve) => setTimeout(resolve, 30));
    assert.deepEqual(events, []);
    a.socket.write(Buffer.concat([token.subarray(7), encodeHello(0)]));
    await waitFor(() => events.length === 2);
    assert.deepEqual(events, [['ext:conn', 1], ['ext:data', 1, encodeHello(0)]]);
    // Writes reach it like any other connection.
    assert.equal(b.write('1', encodeFrame(FRAME.Run, Buffer.from([1]))), 1);
    await waitFor(() => a.bytes === 6);
    a.socket.end();
    await waitFor(() => events.length === 3);
    assert.deepEqual(events[2], ['ext:close', 1]);
    assert.deepEqual(statuses, []);
  } finally {
    await b.close();
  }
});

test('a wrong, missing or late token closes the connection with a status and tells the engine nothing', async () => {
  const { b, port, events, statuses } = await bridge({ token: TOKEN, tokenTimeoutMs: 150, noticeEveryMs: 0 });
  try {
    const cases = [
      encodeToken('0123456789abcdef0123456789abcdee'), // one character off
      encodeToken(TOKEN.slice(0, 31)), // a prefix
      encodeToken(`${TOKEN}0`),
      encodeHello(0), // a player that knows no token
      Buffer.from([0, 0, 0, 0x10, 0x83, 1, 2, 3]), // a token frame declaring 256 MiB
    ];
    for (const bytes of cases) {
      const c = await connect(port);
      c.socket.write(bytes);
      await waitFor(() => c.closed, { what: `a close after ${bytes.toString('hex').slice(0, 16)}` });
    }
    const silent = await connect(port); // sends nothing
    const half = await connect(port);
    half.socket.write(encodeToken(TOKEN).subarray(0, 20));
    const began = Date.now();
    await waitFor(() => silent.closed && half.closed);
    assert.ok(Date.now() - began >= 100, 'closed before its time was up');
    assert.deepEqual(events, []);
    assert.deepEqual(statuses, [
      'bridge: connection 1 refused: bad token',
      'bridge: connection 2 refused: bad token',
      'bridge: connection 3 refused: bad token',
      'bridge: connection 4 refused: bad token',
      'bridge: connection 5 refused: bad token',
      'bridge: connection 6 refused: no token in time',
      'bridge: connection 7 refused: no token in time',
    ]);
    assert.equal(b.pending.size + b.connections.size, 0);
  } finally {
    await b.close();
  }
});

test('connections past the cap are refused; a freed place is taken again', async () => {
  const { b, port, events, statuses } = await bridge({ maxConnections: 3 });
  try {
    const open = [await connect(port), await connect(port), await connect(port)];
    await waitFor(() => events.length === 3);
    const extra = await connect(port);
    await waitFor(() => extra.closed);
    assert.deepEqual(statuses, ['bridge: connection refused: 3 connections already open']);
    assert.equal(events.length, 3);
    open[0].socket.destroy();
    await waitFor(() => events.length === 4);
    const again = await connect(port);
    await waitFor(() => events.length === 5);
    assert.deepEqual(events[4], ['ext:conn', 4], 'a refused connection takes no id');
    assert.equal(again.closed, false);
    [...open, again].forEach((c) => c.socket.destroy());
  } finally {
    await b.close();
  }
});

// ---- a peer that falls behind gets the newest buffer ----------------------

function bufferFrame(type, fill, frameCount = 64 * 1024) {
  const p = Buffer.alloc(10 + 8 * frameCount);
  p.writeUInt32LE(48000, 0);
  p.writeUInt16LE(2, 4);
  p.writeUInt32LE(frameCount, 6);
  for (let i = 10; i < p.length; i += 4) p.writeFloatLE(fill, i);
  return encodeFrame(type, p);
}

function patchFrame(start, fill) {
  const p = Buffer.alloc(4 + 8 * 16);
  p.writeUInt32LE(start, 0);
  for (let i = 4; i < p.length; i += 4) p.writeFloatLE(fill, i);
  return encodeFrame(FRAME.Patch, p);
}

function bandFrame(start, end) {
  const p = Buffer.alloc(16);
  p.writeDoubleLE(start, 0);
  p.writeDoubleLE(end, 8);
  return encodeFrame(FRAME.Band, p);
}

function frames(bytes) {
  const out = [];
  new FrameReader((type, payload) => out.push({ type, payload: Buffer.from(payload) })).feed(bytes);
  return out;
}

test('a peer that stops reading during a burst of swaps stays and then gets the newest buffer', async () => {
  const { b, port, events, statuses } = await bridge({ maxBacklogBytes: 8 * 1024 * 1024 });
  try {
    const slow = await connect(port, { read: false });
    const live = await connect(port);
    await waitFor(() => events.length === 2);
    b.setRole(1, 'players');
    b.setRole(2, 'players');
    const sent = [];
    const send = (frame) => { sent.push(frame); b.write('players', frame); };
    // 40 swaps of 512 KiB, each followed by a band and two patches: 20 MiB
    // in all, far past the slow peer's backlog cap.
    for (let n = 1; n <= 40; n++) {
      send(bufferFrame(FRAME.Swap, n));
      send(bandFrame(n, n + 1));
      send(patchFrame(n, -n));
      send(patchFrame(n + 1, -n));
      const sofar = sent.reduce((sum, f) => sum + f.length, 0);
      await waitFor(() => live.bytes === sofar, { what: 'the live peer to keep up' });
    }
    const total = sent.reduce((sum, f) => sum + f.length, 0);
    assert.deepEqual(live.received, Buffer.concat(sent), 'the peer that keeps up gets every frame in order');
    assert.equal(slow.closed, false);
    assert.deepEqual(statuses, []);

    slow.socket.on('data', (d) => { slow.chunks.push(d); slow.bytes += d.length; });
    slow.socket.resume();
    await waitFor(() => {
      const got = frames(slow.received);
      return got.length > 0 && got[got.length - 1].type === FRAME.Patch && got[got.length - 1].payload.readFloatLE(4) === -40;
    }, { timeoutMs: 10000, what: 'the slow peer to catch up' });
    const got = frames(slow.received);
    assert.ok(slow.bytes < total / 2, `the slow peer got ${slow.bytes} of ${total} bytes`);
    const swaps = got.filter((f) => f.type === FRAME.Swap);
    assert.equal(swaps[swaps.length - 1].payload.readFloatLE(10), 40, 'the newest buffer is the last one it got');
    // Bands are kept, all of them, in order; every patch that arrives lands
    // on the buffer it was made for.
    const bands = got.filter((f) => f.type === FRAME.Band).map((f) => f.payload.readDoubleLE(0));
    assert.deepEqual(bands, Array.from({ length: 40 }, (_, i) => i + 1));
    let buffer = null;
    for (const f of got) {
      if (f.type === FRAME.Swap) buffer = f.payload.readFloatLE(10);
      if (f.type === FRAME.Patch) assert.equal(-f.payload.readFloatLE(4), buffer, 'a patch for a superseded buffer was kept');
    }
    [slow, live].forEach((c) => c.socket.destroy());
  } finally {
    await b.close();
  }
});

test('a peer whose swaps were merged still reports the engine\'s swap count', async () => {
  const { b, port, events } = await bridge({ token: TOKEN });
  try {
    const slow = await connect(port, { read: false });
    slow.socket.write(encodeToken(TOKEN));
    await waitFor(() => events.length === 1);
    b.setRole(1, 'players');
    b.write('1', bufferFrame(FRAME.Init, 0, 512 * 1024));
    for (let n = 1; n <= 6; n++) b.write('players', bufferFrame(FRAME.Swap, n, 512 * 1024));
    slow.socket.on('data', (d) => { slow.chunks.push(d); slow.bytes += d.length; });
    slow.socket.resume();
    await waitFor(() => {
      const got = frames(slow.received);
      return got.length > 0 && got[got.length - 1].payload.readFloatLE(10) === 6;
    }, { timeoutMs: 10000, what: 'the newest buffer' });
    const got = frames(slow.received);
    const applied = got.filter((f) => f.type === FRAME.Swap).length;
    assert.ok(applied < 6, `all ${applied} swaps were sent`);
    // Its reports count the swaps it applied; the engine counted six. The
    // report may come in pieces.
    const report = encodePosition(1.25, applied);
    slow.socket.write(report.subarray(0, 11));
    await new Promise((resolve) => setTimeout(resolve, 20));
    slow.socket.write(Buffer.concat([report.subarray(11), encodePosition(1.5, applied)]));
    await waitFor(() => Buffer.concat(events.filter((e) => e[0] === 'ext:data').map((e) => e[2])).length === 34);
    const seen = frames(Buffer.concat(events.filter((e) => e[0] === 'ext:data').map((e) => e[2])));
    assert.deepEqual(seen.map((f) => [f.type, f.payload.readDoubleLE(0), f.payload.readInt32LE(8)]), [
      [FRAME.Position, 1.25, 6], [FRAME.Position, 1.5, 6],
    ]);
    slow.socket.destroy();
  } finally {
    await b.close();
  }
});

test('a queued Init merged with later swaps arrives as an Init of the newest buffer, counting the swaps', () => {
  const { OutQueue } = require('../../../host/bridge-queue');
  const q = new OutQueue();
  const seek = encodeFrame(FRAME.Seek, Buffer.alloc(8));
  const opaque = Buffer.from([9, 9, 9]);
  q.push(patchFrame(0, -1)); // for the buffer the peer holds now
  q.push(bufferFrame(FRAME.Init, 1, 4));
  q.push(bandFrame(1, 2));
  q.push(patchFrame(0, -1));
  q.push(bufferFrame(FRAME.Swap, 2, 4));
  q.push(seek);
  q.push(opaque);
  q.push(bufferFrame(FRAME.Swap, 3, 4));
  const types = q.entries.map((e) => e.type);
  assert.deepEqual(types, [FRAME.Init, FRAME.Band, FRAME.Seek, -1]);
  const merged = Buffer.concat(q.entries[0].parts);
  assert.deepEqual(merged.subarray(5), bufferFrame(FRAME.Swap, 3, 4).subarray(5));
  assert.equal(merged[4], FRAME.Init);
  assert.deepEqual([q.entries[0].resets, q.entries[0].addSwaps], [true, 2]);
  assert.equal(q.bytes, q.entries.reduce((sum, e) => sum + e.size, 0));
  // A later Init stands alone: nothing before it counts any more.
  q.push(bufferFrame(FRAME.Swap, 4, 4));
  q.push(bufferFrame(FRAME.Init, 5, 4));
  assert.deepEqual(q.entries.map((e) => e.type), [FRAME.Band, FRAME.Seek, -1, FRAME.Init]);
  assert.deepEqual([q.entries[3].resets, q.entries[3].addSwaps], [true, 0]);
  assert.equal(q.dropped, 6);
});

test('a process that connects in a loop gets one refusal notice a period, with the count in between', async () => {
  const { b, port, statuses } = await bridge({ token: TOKEN, noticeEveryMs: 300 });
  try {
    for (let i = 0; i < 5; i++) {
      const c = await connect(port);
      c.socket.write(encodeHello(0));
      await waitFor(() => c.closed);
    }
    assert.deepEqual(statuses, ['bridge: connection 1 refused: bad token']);
    await new Promise((resolve) => setTimeout(resolve, 350));
    const c = await connect(port);
    c.socket.write(encodeHello(0));
    await waitFor(() => c.closed);
    assert.deepEqual(statuses, ['bridge: connection 1 refused: bad token', 'bridge: connection 6 refused: bad token (4 more refused before)']);
    assert.equal(b.refused, 6);
  } finally {
    await b.close();
  }
});
