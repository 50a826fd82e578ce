'use strict';
// The loopback TCP bridge between the engine and the omber~ instances.
//
// Each accepted connection gets the next numeric id. With a session token,
// a connection must first send a Token frame carrying it, within
// tokenTimeoutMs; otherwise it is closed with a status line and the engine
// never hears of it. An admitted connection is reported as "ext:conn" id,
// then every received chunk as "ext:data" id bytes, then one "ext:close" id
// -- in that order per connection. At most maxConnections are open at once
// (waiting for their token included); more are refused.
//
// The engine names the connection's group with "ext:role"; "ext:write" goes
// to "players", "feeders" or one decimal id; "ext:drop" closes a connection.
// Frames are never cut: each "ext:write" is one complete frame, queued per
// connection (bridge-queue.js) and handed to the socket whole once the
// socket has sent what it holds. A peer that falls behind keeps only the
// newest buffer in its queue; one whose backlog still passes maxBacklogBytes
// (it stopped reading while patches pile up) is closed rather than trimmed.
const net = require('net');
const { Inbound } = require('./bridge-inbound');
const { OutQueue } = require('./bridge-queue');

const GROUPS = new Set(['players', 'feeders']);
const DEFAULTS = {
  maxBacklogBytes: 256 * 1024 * 1024,
  maxConnections: 16, // a device holds a few players and feeders
  tokenTimeoutMs: 1000,
  handOffBytes: 1024 * 1024, // the next frame goes to the socket below this
  noticeEveryMs: 1000, // refusal notices, at most one per period
};

class Bridge {
  // token: the session token each connection must send first, or null.
  constructor({ onEvent, onStatus = () => {}, host = '127.0.0.1', port = 0, token = null, ...limits }) {
    this.onEvent = onEvent;
    this.onStatus = onStatus;
    this.host = host;
    this.requestedPort = port;
    this.token = token || null;
    const given = Object.fromEntries(Object.entries(limits).filter(([, v]) => v !== undefined));
    Object.assign(this, DEFAULTS, given);
    this.server = null;
    this.port = 0;
    this.nextId = 1;
    this.pending = new Map(); // id -> socket, waiting for its token
    this.connections = new Map(); // id -> { socket, group, queue, swapOffset }
    this.framesWritten = 0;
    this.bytesWritten = 0;
    this.framesSuperseded = 0;
    this.refused = 0;
    this.lastNoticeAt = -Infinity;
    this.unnoticed = 0;
  }

  listen() {
    return new Promise((resolve, reject) => {
      const server = net.createServer((socket) => this.accept(socket));
      server.once('error', reject);
      server.listen(this.requestedPort, this.host, () => {
        server.removeListener('error', reject);
        server.on('error', (err) => this.onStatus(`bridge error: ${err.message}`));
        this.server = server;
        this.port = server.address().port;
        resolve(this.port);
      });
    });
  }

  close() {
    for (const socket of this.pending.values()) socket.destroy();
    for (const conn of this.connections.values()) conn.socket.destroy();
    if (!this.server) return Promise.resolve();
    const server = this.server;
    this.server = null;
    return new Promise((resolve) => server.close(() => resolve()));
  }

  accept(socket) {
    socket.on('error', () => {}); // the close that follows reports it
    if (this.pending.size + this.connections.size >= this.maxConnections) {
      this.refuse(socket, `bridge: connection refused: ${this.maxConnections} connections already open`);
      return;
    }
    const id = this.nextId++;
    socket.setNoDelay(true);
    this.pending.set(id, socket);
    let conn = null;
    let timer = null;
    const inbound = new Inbound({
      token: this.token,
      onAdmit: () => {
        clearTimeout(timer);
        this.pending.delete(id);
        conn = { socket, group: null, queue: new OutQueue(), swapOffset: 0 };
        this.connections.set(id, conn);
        socket.on('drain', () => this.pump(conn));
        this.onEvent('ext:conn', id);
      },
      onRefuse: (reason) => {
        clearTimeout(timer);
        if (this.pending.delete(id)) this.refuse(socket, `bridge: connection ${id} refused: ${reason}`);
      },
      onData: (bytes) => this.onEvent('ext:data', id, bytes),
      swapOffset: () => (conn ? conn.swapOffset : 0),
    });
    if (this.token !== null) {
      timer = setTimeout(() => inbound.onRefuse('no token in time'), this.tokenTimeoutMs);
    } else {
      inbound.onAdmit();
    }
    socket.on('data', (chunk) => {
      if (!socket.destroyed) inbound.feed(chunk);
    });
    socket.on('close', () => {
      clearTimeout(timer);
      this.pending.delete(id);
      if (conn === null || this.connections.get(id) !== conn) return;
      conn.queue.clear();
      this.connections.delete(id);
      this.onEvent('ext:close', id);
    });
  }

  // Closes a connection the engine never heard of. A local process that
  // connects in a loop would flood the status line, so notices are spaced.
  refuse(socket, text) {
    socket.destroy();
    this.refused += 1;
    const now = Date.now();
    if (now - this.lastNoticeAt < this.noticeEveryMs) {
      this.unnoticed += 1;
      return;
    }
    const more = this.unnoticed ? ` (${this.unnoticed} more refused before)` : '';
    this.lastNoticeAt = now;
    this.unnoticed = 0;
    this.onStatus(`${text}${more}`);
  }

  setRole(id, group) {
    const conn = this.connections.get(toId(id));
    if (!conn) return;
    conn.group = GROUPS.has(String(group)) ? String(group) : null;
  }

  // Targets: "players", "feeders", or the decimal text (or number) of an id.
  targets(target) {
    const t = String(target);
    if (GROUPS.has(t)) {
      return [...this.connections.entries()].filter(([, c]) => c.group === t);
    }
    const id = toId(target);
    const conn = this.connections.get(id);
    return conn ? [[id, conn]] : [];
  }

  write(target, bytes) {
    if (!bytes || bytes.length === 0) return 0;
    let written = 0;
    for (const [id, conn] of this.targets(target)) {
      const socket = conn.socket;
      if (socket.destroyed || !socket.writable) continue;
      const dropped = conn.queue.dropped;
      conn.queue.push(bytes);
      this.framesSuperseded += conn.queue.dropped - dropped;
      const backlog = socket.writableLength + conn.queue.bytes;
      if (backlog > this.maxBacklogBytes) {
        this.onStatus(`bridge: connection ${id} fell behind by ${backlog - bytes.length} bytes, closing it`);
        conn.queue.clear();
        socket.destroy();
        continue;
      }
      written += 1;
      this.framesWritten += 1;
      this.bytesWritten += bytes.length;
      this.pump(conn);
    }
    return written;
  }

  // Hands queued frames to the socket while it holds little; the rest waits
  // for its "drain".
  pump(conn) {
    const { socket, queue } = conn;
    while (queue.length > 0 && socket.writableLength < this.handOffBytes && !socket.destroyed) {
      const entry = queue.shift();
      conn.swapOffset = entry.resets ? entry.addSwaps : conn.swapOffset + entry.addSwaps;
      for (const part of entry.parts) socket.write(part);
    }
  }

  // Bytes waiting for one connection: in the bridge's queue and the socket's.
  backlog(id) {
    const conn = this.connections.get(toId(id));
    return conn ? conn.queue.bytes + conn.socket.writableLength : 0;
  }

  drop(id) {
    const conn = this.connections.get(toId(id));
    if (conn) conn.socket.destroy();
  }
}

// Connection ids arrive as numbers or as decimal text; anything else names
// no connection.
function toId(value) {
  if (typeof value === 'number') return Number.isInteger(value) ? value : NaN;
  const text = String(value).trim();
  return /^\d+$/.test(text) ? Number(text) : NaN;
}

module.exports = { Bridge, DEFAULTS };
