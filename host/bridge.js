'use strict';
// The loopback TCP bridge between the engine and the omber~ instances.
//
// Each accepted connection gets the next numeric id and is reported as
// "ext:conn" id, then every received chunk as "ext:data" id bytes, then one
// "ext:close" id -- in that order per connection. The engine names the
// connection's group with "ext:role"; "ext:write" goes to "players",
// "feeders" or one decimal id; "ext:drop" closes a connection.
//
// Frames are never cut: each "ext:write" is one complete frame handed to the
// socket whole. A connection whose unsent backlog grows past maxBacklogBytes
// (a player that stopped reading) is closed instead of trimmed, so a peer
// either receives every byte in order or loses the connection.
const net = require('net');

const GROUPS = new Set(['players', 'feeders']);

class Bridge {
  constructor({ onEvent, onStatus = () => {}, host = '127.0.0.1', port = 0, maxBacklogBytes = 256 * 1024 * 1024 }) {
    this.onEvent = onEvent;
    this.onStatus = onStatus;
    this.host = host;
    this.requestedPort = port;
    this.maxBacklogBytes = maxBacklogBytes;
    this.server = null;
    this.port = 0;
    this.nextId = 1;
    this.connections = new Map(); // id -> { socket, group }
    this.framesWritten = 0;
    this.bytesWritten = 0;
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
    for (const conn of this.connections.values()) conn.socket.destroy();
    if (!this.server) return Promise.resolve();
    const server = this.server;
    this.server = null;
    return new Promise((resolve) => server.close(() => resolve()));
  }

  accept(socket) {
    const id = this.nextId++;
    socket.setNoDelay(true);
    this.connections.set(id, { socket, group: null });
    this.onEvent('ext:conn', id);
    socket.on('data', (chunk) => this.onEvent('ext:data', id, chunk));
    socket.on('error', () => {}); // the close that follows reports it
    socket.on('close', () => {
      this.connections.delete(id);
      this.onEvent('ext:close', id);
    });
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
      if (socket.writableLength + bytes.length > this.maxBacklogBytes) {
        this.onStatus(`bridge: connection ${id} fell behind by ${socket.writableLength} bytes, closing it`);
        socket.destroy();
        continue;
      }
      socket.write(bytes);
      written += 1;
      this.framesWritten += 1;
      this.bytesWritten += bytes.length;
    }
    return written;
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

module.exports = { Bridge };
