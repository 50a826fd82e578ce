'use strict';
// Finds the inference server: either a configured WebSocket URL, or an HTTP
// lookup address that answers with one (as JSON {"ws_url": ...} or {"url":
// ...}, or as the bare URL text). Also fetches the LoRA catalog, from an HTTP
// address or a local file. Every failure is thrown as an Error whose message
// is a short text fit for the performer's status line.
const fs = require('fs');

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
    const body = await this.fetchText(this.lookupUrl, 'lookup');
    const url = urlFromLookup(body);
    if (!url) throw new Error('lookup answered without a ws:// URL');
    return url;
  }

  // Resolves to the catalog's JSON text, checked to be an array.
  async catalog() {
    if (!this.catalogUrl) throw new Error('no catalog configured');
    let text;
    if (isHttpUrl(this.catalogUrl)) {
      text = await this.fetchText(this.catalogUrl, 'catalog');
    } else {
      try {
        text = await fs.promises.readFile(this.catalogUrl, 'utf8');
      } catch (err) {
        throw new Error(`catalog file unreadable: ${err.code || err.message}`);
      }
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

  async fetchText(url, what) {
    let response;
    try {
      response = await this.fetchImpl(url, { signal: AbortSignal.timeout(this.timeoutMs) });
    } catch (err) {
      if (err && (err.name === 'TimeoutError' || err.name === 'AbortError')) {
        throw new Error(`${what} timed out after ${this.timeoutMs} ms`);
      }
      const cause = err && err.cause ? err.cause.code || err.cause.message : null;
      throw new Error(`${what} failed: ${cause || (err && err.message) || 'unknown error'}`);
    }
    if (!response.ok) throw new Error(`${what} failed: HTTP ${response.status}`);
    return response.text();
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

module.exports = { Cloud, urlFromLookup, isWsUrl };
