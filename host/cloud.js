'use strict';
// Finds the inference server: either a configured WebSocket URL, or an HTTP
// lookup address that answers with one (as JSON {"ws_url": ...} or {"url":
// ...}, or as the bare URL text). Also fetches the LoRA catalog, from an HTTP
// address or a local file. Every failure is thrown as an Error whose message
// is a short text fit for the performer's status line.
//
// Both answers are capped (an address is a line, a catalog a list of a few
// hundred entries), and the time limit covers the whole answer, body
// included, so a server that sends headers and then stalls cannot hold a
// lookup open.
const fs = require('fs');

const MAX_LOOKUP_BYTES = 64 * 1024;
const MAX_CATALOG_BYTES = 1024 * 1024;

function isWsUrl(text) {
  try {
    const u = new URL(text);
    return u.protocol === 'ws:' || u.protocol === 'wss:';
  } catch {
    return false;
  }
}

function isHttpUrl(text) {
  return /^https?:\/\//i.test(String(text));
}

class Cloud {
  constructor({ podUrl = null, lookupUrl = null, catalogUrl = null, timeoutMs = 5000, fetchImpl = globalThis.fetch } = {}) {
    this.podUrl = podUrl;
    this.lookupUrl = lookupUrl;
    this.catalogUrl = catalogUrl;
    this.timeoutMs = timeoutMs;
    this.fetchImpl = fetchImpl;
  }

  async resolve() {
    if (this.podUrl) {
      if (!isWsUrl(this.podUrl)) throw new Error(`pod address is not a ws:// URL: ${this.podUrl}`);
      return this.podUrl;
    }
    if (!this.lookupUrl) throw new Error('no pod configured');
    const body = await this.fetchText(this.lookupUrl, 'lookup', MAX_LOOKUP_BYTES);
    const url = urlFromLookup(body);
    if (!url) throw new Error('lookup answered without a ws:// URL');
    return url;
  }

  // Resolves to the catalog's JSON text, checked to be an array.
  async catalog() {
    if (!this.catalogUrl) throw new Error('no catalog configured');
    let text;
    if (isHttpUrl(this.catalogUrl)) {
      text = await this.fetchText(this.catalogUrl, 'catalog', MAX_CATALOG_BYTES);
    } else {
      text = await readCatalogFile(this.catalogUrl);
    }
    let parsed;
    try {
      parsed = JSON.parse(text);
    } catch {
      throw new Error('catalog is not JSON');
    }
    if (!Array.isArray(parsed)) throw new Error('catalog is not a JSON array');
    return text;
  }

  async fetchText(url, what, maxBytes) {
    const signal = AbortSignal.timeout(this.timeoutMs);
    const failed = (err) => {
      if (err && (err.name === 'TimeoutError' || err.name === 'AbortError')) {
        return new Error(`${what} timed out after ${this.timeoutMs} ms`);
      }
      const cause = err && err.cause ? err.cause.code || err.cause.message : null;
      return new Error(`${what} failed: ${cause || (err && err.message) || 'unknown error'}`);
    };
    let response;
    try {
      response = await this.fetchImpl(url, { signal });
    } catch (err) {
      throw failed(err);
    }
    if (!response.ok) {
      if (response.body) response.body.cancel().catch(() => {});
      throw new Error(`${what} failed: HTTP ${response.status}`);
    }
    const tooLarge = new Error(`${what} answer too large (over ${maxBytes / 1024} KiB)`);
    const declared = Number(response.headers.get('content-length'));
    if (declared > maxBytes) {
      if (response.body) response.body.cancel().catch(() => {});
      throw tooLarge;
    }
    if (!response.body) return '';
    // The same signal still runs: a body that stalls ends as a timeout.
    const chunks = [];
    let size = 0;
    const reader = response.body.getReader();
    try {
      for (;;) {
        const { done, value } = await reader.read();
        if (done) break;
        size += value.length;
        if (size > maxBytes) {
          reader.cancel().catch(() => {});
          throw tooLarge;
        }
        chunks.push(value);
      }
    } catch (err) {
      if (err === tooLarge) throw err;
      throw failed(signal.aborted ? signal.reason : err);
    }
    return Buffer.concat(chunks, size).toString('utf8');
  }
}

// Reads at most MAX_CATALOG_BYTES + 1 bytes of a local catalog file; a
// special file (a FIFO, a device) is refused instead of read, so it can never
// block a worker thread.
async function readCatalogFile(file) {
  let handle;
  try {
    handle = await fs.promises.open(file, fs.constants.O_RDONLY | fs.constants.O_NONBLOCK);
    const info = await handle.stat();
    if (!info.isFile()) throw Object.assign(new Error('not a regular file'), { code: 'not a regular file' });
    if (info.size > MAX_CATALOG_BYTES) throw Object.assign(new Error('too large'), { code: 'too large' });
    const buf = Buffer.alloc(MAX_CATALOG_BYTES + 1);
    let size = 0;
    for (;;) {
      const { bytesRead } = await handle.read(buf, size, buf.length - size, null);
      if (bytesRead === 0) break;
      size += bytesRead;
      if (size > MAX_CATALOG_BYTES) throw Object.assign(new Error('too large'), { code: 'too large' });
    }
    return buf.toString('utf8', 0, size);
  } catch (err) {
    if (err.code === 'too large') throw new Error(`catalog file too large (over ${MAX_CATALOG_BYTES / 1024} KiB)`);
    throw new Error(`catalog file unreadable: ${err.code || err.message}`);
  } finally {
    if (handle) await handle.close().catch(() => {});
  }
}

function urlFromLookup(body) {
  const text = String(body).trim();
  let candidate = text;
  if (text.startsWith('{')) {
    try {
      const doc = JSON.parse(text);
      candidate = typeof doc.ws_url === 'string' ? doc.ws_url : typeof doc.url === 'string' ? doc.url : '';
    } catch {
      return null;
    }
  }
  return isWsUrl(candidate) ? candidate : null;
}

module.exports = { Cloud, urlFromLookup, isWsUrl, MAX_LOOKUP_BYTES, MAX_CATALOG_BYTES };
