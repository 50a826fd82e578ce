'use strict';
// The host core: owns the engine's I/O. It registers the one outlet callback,
// performs every outlet message addressed to the host (WebSocket, cloud
// lookup, bridge, files, reconnect timer), delivers every inlet event through
// dispatch, runs the parameter tick, and passes everything else on to the
// device's interface through toInterface(selector, ...args).
//
// Outlet messages arrive synchronously from inside engine.dispatch. An answer
// the host produces while the engine is still inside dispatch is queued and
// delivered right after the outer dispatch returns, in order, so the engine
// is never re-entered.
const crypto = require('crypto');
const { EventEmitter } = require('events');
const { WsLink } = require('./websocket');
const { Bridge } = require('./bridge');
const { MAX_TOKEN_BYTES } = require('./bridge-inbound');
const { Cloud } = require('./cloud');
const { Files } = require('./files');
const { Ticker, OneShot } = require('./timers');
const { realClock } = require('./clock');

const DEFAULT_TICK_MS = 20;
const QUIT_WAIT_MS = 1000;

class Host extends EventEmitter {
  // engine: { dispatch(selector, ...args), onOutlet(fn) } -- the addon, or a
  //   stand-in with the same two functions.
  // config: { podUrl, lookupUrl, catalogUrl, lookupTimeoutMs, bridgeHost,
  //   bridgePort, bridgeToken, maxBridgeConnections, tickMs, maxBacklogBytes,
  //   fileTimeoutMs }
  //   bridgeToken: unset for a fresh random token (the normal case), a text
  //   to use that one, or false for none (omber~ runners that cannot send one).
  // toInterface(selector, ...args): messages for the device's interface.
  constructor({ engine, config = {}, clock = realClock, toInterface = () => {}, fsp, WebSocketImpl, fetchImpl } = {}) {
    super();
    if (!engine || typeof engine.dispatch !== 'function' || typeof engine.onOutlet !== 'function') {
      throw new TypeError('Host needs an engine with dispatch and onOutlet');
    }
    this.engine = engine;
    this.config = config;
    this.clock = clock;
    this.toInterface = toInterface;
    this.depth = 0;
    this.pending = [];
    this.resolveToken = 0;
    this.lastCatalog = null;
    this.lastCatalogError = null;
    this.stats = { dispatched: 0, outlets: 0, toInterface: 0 };

    const status = (text) => this.status(text);
    const event = (sel, ...args) => this.dispatch(sel, ...args);
    this.ws = new WsLink({ onEvent: event, onStatus: status, WebSocketImpl });
    this.bridge = new Bridge({
      onEvent: event,
      onStatus: status,
      host: config.bridgeHost || '127.0.0.1',
      port: config.bridgePort || 0,
      token: sessionToken(config.bridgeToken),
      maxBacklogBytes: config.maxBacklogBytes,
      maxConnections: config.maxBridgeConnections,
    });
    this.cloud = new Cloud({
      podUrl: config.podUrl,
      lookupUrl: config.lookupUrl,
      catalogUrl: config.catalogUrl,
      timeoutMs: config.lookupTimeoutMs || 5000,
      fetchImpl,
    });
    this.files = new Files({ dispatch: event, onStatus: status, fsp, timeoutMs: config.fileTimeoutMs });
    this.ticker = new Ticker({
      periodMs: config.tickMs || DEFAULT_TICK_MS,
      clock,
      onTick: () => this.tick(),
    });
    this.reconnect = new OneShot({ clock, onFire: () => this.dispatch('tick:reconnect') });

    this.handlers = {
      'ws:connect': (url) => this.ws.connect(url),
      'ws:send': (bytes) => { if (Buffer.isBuffer(bytes)) this.ws.send(bytes); },
      'ws:close': () => {
        // Only "stop" asks for a close: a reconnect still waiting must not
        // reopen the session the performer just stopped.
        this.reconnect.cancel();
        this.ws.close();
      },
      'ws:reconnect_in': (ms) => this.reconnect.schedule(Number(ms)),
      'cloud:resolve': () => this.resolve(),
      'ext:write': (target, bytes) => { if (Buffer.isBuffer(bytes)) this.bridge.write(target, bytes); },
      'ext:role': (id, group) => this.bridge.setRole(id, group),
      'ext:drop': (id) => this.bridge.drop(id),
      'preset:read': (file) => this.files.readPreset(file),
      'preset:write': (file, text) => this.files.writePreset(file, text),
      'audio:write': (file, bytes) => this.files.writeAudio(file, bytes),
    };
    engine.onOutlet((selector, ...args) => this.outlet(selector, ...args));
  }

  get bridgePort() { return this.bridge.port; }

  get bridgeToken() { return this.bridge.token; }

  async start() {
    const port = await this.bridge.listen();
    this.ticker.start();
    // The patch sends each omber~ "connect <port> <token>".
    if (this.bridge.token) this.toInterface('host:port', port, this.bridge.token);
    else this.toInterface('host:port', port);
    if (this.cloud.catalogUrl) this.refreshCatalog();
    return port;
  }

  async stop() {
    this.ticker.stop();
    this.reconnect.cancel();
    this.resolveToken += 1;
    this.ws.discard();
    await this.bridge.close();
    // A save asked for just before quitting still lands; a stalled one is
    // not waited for.
    await this.files.idle(QUIT_WAIT_MS);
  }

  // Delivers one inlet event to the engine, never re-entering it.
  dispatch(selector, ...args) {
    this.pending.push([selector, args]);
    if (this.depth > 0) return;
    this.depth += 1;
    try {
      while (this.pending.length > 0) {
        const [sel, rest] = this.pending.shift();
        this.stats.dispatched += 1;
        try {
          this.engine.dispatch(sel, ...rest);
        } catch (err) {
          // Only the binding's own conversion errors can get here.
          this.status(`engine error on ${sel}: ${err.message}`);
        }
      }
    } finally {
      this.depth -= 1;
    }
  }

  // Interface messages: the host's own settings ("host:pod", "host:lookup",
  // "host:catalog") are handled here; everything else goes to the engine.
  fromInterface(selector, ...args) {
    switch (selector) {
      case 'host:pod':
        this.cloud.podUrl = args.length ? String(args[0]) : null;
        return;
      case 'host:lookup':
        this.cloud.lookupUrl = args.length ? String(args[0]) : null;
        return;
      case 'host:catalog':
        if (args.length) this.cloud.catalogUrl = String(args[0]);
        this.refreshCatalog();
        return;
      default:
        this.dispatch(selector, ...args);
    }
  }

  outlet(selector, ...args) {
    this.stats.outlets += 1;
    const handler = this.handlers[selector];
    this.emit('outlet', selector, args);
    if (handler) {
      handler(...args);
    } else {
      this.stats.toInterface += 1;
      this.toInterface(selector, ...args);
    }
  }

  tick() {
    this.ws.reportBuffered();
    this.dispatch('tick:param');
  }

  status(text) {
    this.toInterface('ui:status', text);
  }

  resolve() {
    this.reconnect.cancel();
    const token = ++this.resolveToken;
    this.cloud.resolve().then(
      (url) => { if (token === this.resolveToken) this.dispatch('cloud:wsurl', url); },
      (err) => { if (token === this.resolveToken) this.dispatch('cloud:error', err.message); },
    );
    if (this.cloud.catalogUrl) this.refreshCatalog();
  }

  // Fetches the LoRA catalog and hands it to the engine when it changed; a
  // failed fetch keeps the catalog the engine already has. The same failure
  // is reported once, not at every reconnect attempt.
  refreshCatalog() {
    return this.cloud.catalog().then(
      (text) => {
        this.lastCatalogError = null;
        if (text === this.lastCatalog) return;
        this.lastCatalog = text;
        this.dispatch('cloud:catalog', text);
      },
      (err) => {
        if (err.message === this.lastCatalogError) return;
        this.lastCatalogError = err.message;
        this.status(`catalog: ${err.message}`);
      },
    );
  }
}

// One token per session: 16 random bytes as 32 lowercase hex characters, so
// that only the patch's own omber~ instances can join the bridge.
function sessionToken(given) {
  if (given === false || given === null) return null;
  if (given !== undefined) {
    const size = Buffer.byteLength(String(given));
    if (size < 1 || size > MAX_TOKEN_BYTES) throw new RangeError(`bridge token must be 1 to ${MAX_TOKEN_BYTES} bytes`);
    return String(given);
  }
  // 32 hex digits whose first is a letter: Max reads an all-digit word (or
  // one shaped like "12e345") as a number, and omber~ takes only a symbol.
  const bytes = crypto.randomBytes(16);
  bytes[0] = 0xa0 + (bytes[0] % 6) * 0x10 + (bytes[0] & 0x0f);
  return bytes.toString('hex');
}

module.exports = { Host, DEFAULT_TICK_MS, sessionToken };
