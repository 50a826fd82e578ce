'use strict';
// The one WebSocket to the inference server. Turns socket events into the
// engine's inlet events ("ws:open", "ws:data", "ws:close", "ws:buffered") and
// performs "ws:connect", "ws:send" and "ws:close".
//
// Only the current socket speaks: when "ws:connect" replaces a socket, the
// old one is terminated with its listeners removed, so its late close can
// never reach the engine and start a reconnect on behalf of the new session.
const WebSocket = require('ws');
const { isJsonText } = require('./frames');

// The largest message the pod sends is a 60 s source (about 23 MB of
// binary16 samples); anything past this cap closes the socket (1009) before
// it is buffered, instead of reaching the engine.
const MAX_MESSAGE_BYTES = 32 * 1024 * 1024;

class WsLink {
  // onEvent(selector, ...args): delivers an inlet event to the engine.
  // onStatus(text): a line for the performer (connection errors).
  constructor({ onEvent, onStatus = () => {}, WebSocketImpl = WebSocket }) {
    this.onEvent = onEvent;
    this.onStatus = onStatus;
    this.WebSocketImpl = WebSocketImpl;
    this.socket = null;
    this.lastBuffered = 0;
    this.sentMessages = 0;
    this.sentBytes = 0;
    this.droppedSends = 0;
    this.receivedMessages = 0;
    this.receivedBytes = 0;
  }

  get isOpen() {
    return this.socket !== null && this.socket.readyState === WebSocket.OPEN;
  }

  connect(url) {
    this.discard();
    // A new socket starts empty; the engine must hear it if it was told more.
    this.reportBuffered();
    let socket;
    try {
      socket = new this.WebSocketImpl(String(url), { perMessageDeflate: false, maxPayload: MAX_MESSAGE_BYTES });
    } catch (err) {
      // An unusable URL behaves like a socket that closed at once.
      this.onStatus(`pod connection failed: ${err.message}`);
      setImmediate(() => this.onEvent('ws:close', 1006));
      return;
    }
    socket.binaryType = 'nodebuffer';
    this.socket = socket;
    socket.on('open', () => {
      if (socket === this.socket) this.onEvent('ws:open');
    });
    socket.on('message', (data, isBinary) => {
      if (socket !== this.socket) return;
      // With binaryType 'nodebuffer' ws hands over one Buffer per message
      // (text ones included); it goes on as it is, the engine copies it once.
      const bytes = Buffer.isBuffer(data) ? data : Buffer.from(data);
      this.receivedMessages += 1;
      this.receivedBytes += bytes.length;
      this.onEvent('ws:data', bytes, isBinary ? 1 : 0);
    });
    socket.on('error', (err) => {
      if (socket === this.socket) this.onStatus(`pod connection error: ${err.message}`);
    });
    socket.on('close', (code) => {
      if (socket !== this.socket) return;
      this.socket = null;
      this.reportBuffered();
      this.onEvent('ws:close', code);
    });
  }

  // Sends in call order; a send while no socket is open is dropped (the
  // engine keeps sending telemetry while it waits to reconnect).
  send(bytes) {
    if (!this.isOpen) {
      this.droppedSends += 1;
      return;
    }
    const buf = Buffer.isBuffer(bytes) ? bytes : Buffer.from(bytes);
    this.socket.send(buf, { binary: !isJsonText(buf) });
    this.sentMessages += 1;
    this.sentBytes += buf.length;
    this.reportBuffered();
  }

  close(code = 1000) {
    if (this.socket === null) return;
    const s = this.socket;
    if (s.readyState === WebSocket.CONNECTING) {
      // Closing before the handshake finished: there is no session to end.
      this.discard();
      this.onEvent('ws:close', 1006);
      return;
    }
    s.close(code);
  }

  // Reports the send-buffer amount when it differs from what the engine was
  // last told (lastBuffered); no socket counts as 0.
  reportBuffered() {
    const amount = this.socket ? this.socket.bufferedAmount : 0;
    if (amount !== this.lastBuffered) {
      this.lastBuffered = amount;
      this.onEvent('ws:buffered', amount);
    }
  }

  discard() {
    const s = this.socket;
    if (s === null) return;
    this.socket = null;
    s.removeAllListeners();
    s.on('error', () => {});
    s.terminate();
  }
}

module.exports = { WsLink, MAX_MESSAGE_BYTES };
