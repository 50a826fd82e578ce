'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const http = require('http');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { Cloud, urlFromLookup } = require('../../../host/cloud');
const { Host } = require('../../../host/core');
const { FakeEngine, ManualClock, waitFor } = require('./helpers');

// A loopback HTTP server whose answer each test sets.
async function withServer(answer, fn) {
  const server = http.createServer((req, res) => answer(req, res));
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const base = `http://127.0.0.1:${server.address().port}`;
  try {
    return await fn(base);
  } finally {
    server.closeAllConnections();
    await new Promise((resolve) => server.close(resolve));
  }
}

test('the lookup reads the pod address from JSON or plain text', async () => {
  const bodies = ['{"ws_url":"ws://10.0.0.5:8000/stream"}', '{"url":"wss://pod.example/x"}', ' ws://127.0.0.1:7000/ \n'];
  let i = 0;
  await withServer((req, res) => res.end(bodies[i++]), async (base) => {
    const cloud = new Cloud({ lookupUrl: `${base}/endpoint` });
    assert.equal(await cloud.resolve(), 'ws://10.0.0.5:8000/stream');
    assert.equal(await cloud.resolve(), 'wss://pod.example/x');
    assert.equal(await cloud.resolve(), 'ws://127.0.0.1:7000/');
  });
  assert.equal(urlFromLookup('{"ws_url":"http://not-a-socket"}'), null);
  assert.equal(urlFromLookup('{broken'), null);
});

test('lookup failures become short texts for the status line', async () => {
  await withServer((req, res) => {
    if (req.url === '/down') { res.writeHead(503); res.end('busy'); return; }
    if (req.url === '/slow') return; // never answers
    res.end('{"ws_url":"ftp://x"}');
  }, async (base) => {
    const reason = (cloud) => cloud.resolve().then(() => 'resolved', (err) => err.message);
    assert.equal(await reason(new Cloud({ lookupUrl: `${base}/down` })), 'lookup failed: HTTP 503');
    assert.equal(await reason(new Cloud({ lookupUrl: `${base}/bad` })), 'lookup answered without a ws:// URL');
    assert.equal(await reason(new Cloud({ lookupUrl: `${base}/slow`, timeoutMs: 100 })), 'lookup timed out after 100 ms');
  });
  const closedPort = await withServer(() => {}, async (base) => base);
  const refused = await new Cloud({ lookupUrl: `${closedPort}/endpoint` }).resolve().catch((e) => e.message);
  assert.equal(refused, 'lookup failed: ECONNREFUSED');
  assert.equal(await new Cloud({}).resolve().catch((e) => e.message), 'no pod configured');
  assert.match(await new Cloud({ podUrl: 'http://x' }).resolve().catch((e) => e.message), /not a ws:\/\/ URL/);
});

test('the catalog reaches the engine once per change; a failed fetch keeps the old one', async () => {
  let body = '[{"id":"vhs","name":"VHS","trigger":"VHS tape"}]';
  await withServer((req, res) => {
    if (body === null) { res.writeHead(500); res.end(); return; }
    res.end(body);
  }, async (base) => {
    const engine = new FakeEngine();
    const ui = [];
    const host = new Host({ engine, clock: new ManualClock(), config: { catalogUrl: `${base}/loras` }, toInterface: (...m) => ui.push(m) });
    await host.refreshCatalog();
    await host.refreshCatalog();
    assert.deepEqual(engine.find('cloud:catalog'), [['cloud:catalog', body]]);
    body = '{"not":"an array"}';
    await host.refreshCatalog();
    body = null;
    await host.refreshCatalog();
    await host.refreshCatalog(); // the same failure again is not repeated
    assert.equal(engine.find('cloud:catalog').length, 1);
    assert.deepEqual(ui, [['ui:status', 'catalog: catalog is not a JSON array'], ['ui:status', 'catalog: catalog failed: HTTP 500']]);
  });
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'omber-catalog-'));
  const file = path.join(dir, 'loras.json');
  fs.writeFileSync(file, '[]');
  assert.equal(await new Cloud({ catalogUrl: file }).catalog(), '[]');
  fs.rmSync(dir, { recursive: true });
});

test('only the newest resolve answers the engine', async () => {
  let release;
  const gate = new Promise((resolve) => { release = resolve; });
  let calls = 0;
  await withServer(async (req, res) => {
    calls += 1;
    if (calls === 1) await gate;
    res.end(`ws://127.0.0.1:${calls}00/`);
  }, async (base) => {
    const engine = new FakeEngine();
    new Host({ engine, clock: new ManualClock(), config: { lookupUrl: `${base}/endpoint` } });
    engine.emit('cloud:resolve');
    await waitFor(() => calls === 1);
    engine.emit('cloud:resolve');
    await waitFor(() => engine.find('cloud:wsurl').length);
    release();
    await new Promise((resolve) => setTimeout(resolve, 50));
    assert.deepEqual(engine.find('cloud:wsurl'), [['cloud:wsurl', 'ws://127.0.0.1:200/']]);
  });
});

test('lookup and catalog bodies are capped, and a body that never ends times out by name', async () => {
  await withServer((req, res) => {
    if (req.url === '/big-lookup') { res.end(`ws://127.0.0.1:1/${'x'.repeat(70 * 1024)}`); return; }
    if (req.url === '/big-catalog') { res.end(`[${'"lora",'.repeat(200 * 1024)}"last"]`); return; }
    if (req.url === '/endless') {
      // The headers and a start of an answer, then nothing, ever.
      res.writeHead(200, { 'content-type': 'application/json' });
      res.write('{"ws_url":"ws://127');
      return;
    }
    if (req.url === '/flood') {
      // An answer that never stops coming: it must end at the cap, not in memory.
      res.writeHead(200);
      const chunk = Buffer.alloc(64 * 1024, 0x20);
      const more = () => { while (res.write(chunk)); };
      res.on('drain', more);
      more();
      return;
    }
    res.end('ws://127.0.0.1:9/');
  }, async (base) => {
    const reason = (p) => p.then(() => 'resolved', (err) => err.message);
    assert.equal(await reason(new Cloud({ lookupUrl: `${base}/big-lookup` }).resolve()), 'lookup answer too large (over 64 KiB)');
    assert.equal(await reason(new Cloud({ catalogUrl: `${base}/big-catalog` }).catalog()), 'catalog answer too large (over 1024 KiB)');
    assert.equal(await reason(new Cloud({ lookupUrl: `${base}/endless`, timeoutMs: 150 }).resolve()), 'lookup timed out after 150 ms');
    assert.equal(await reason(new Cloud({ catalogUrl: `${base}/endless`, timeoutMs: 150 }).catalog()), 'catalog timed out after 150 ms');
    assert.equal(await reason(new Cloud({ catalogUrl: `${base}/flood` }).catalog()), 'catalog answer too large (over 1024 KiB)');
    assert.equal(await new Cloud({ lookupUrl: `${base}/fine` }).resolve(), 'ws://127.0.0.1:9/');
  });
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'omber-catalog-'));
  try {
    const file = path.join(dir, 'loras.json');
    fs.writeFileSync(file, `[${'0,'.repeat(600 * 1024)}0]`);
    assert.equal(await new Cloud({ catalogUrl: file }).catalog().catch((e) => e.message), 'catalog file too large (over 1024 KiB)');
  } finally {
    fs.rmSync(dir, { recursive: true });
  }
});
