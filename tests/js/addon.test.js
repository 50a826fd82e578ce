'use strict';
// The binding of omber-core, loaded the way a user loads the package. The
// tests share this process's one engine, so they run in order and each
// leaves the engine in a known state.
const test = require('node:test');
const assert = require('node:assert');
const path = require('path');

const core = require(path.join(__dirname, '..', '..'));

function recorder() {
  const messages = [];
  const fn = (...message) => { messages.push(message); };
  return { fn, messages };
}

test('the package root exports dispatch and onOutlet', () => {
  assert.deepStrictEqual(Object.keys(core).sort(), ['dispatch', 'onOutlet']);
  assert.strictEqual(typeof core.dispatch, 'function');
});

test('onOutlet rejects a non-function and keeps the earlier callback', () => {
  const f = recorder();
  core.onOutlet(f.fn);
  for (const bad of [42, undefined, 'fn', {}, null]) {
    assert.throws(() => core.onOutlet(bad),
      (e) => e instanceof TypeError && e.message === 'onOutlet(fn) requires a function');
  }
  assert.throws(() => core.onOutlet(), { name: 'TypeError', message: 'onOutlet(fn) requires a function' });
  core.dispatch('cloud:error', 'still here');
  assert.deepStrictEqual(f.messages, [['ui:status', 'cloud: still here']]);
});

test('a second onOutlet redirects output to the new function, same engine', () => {
  const f = recorder();
  const g = recorder();
  core.onOutlet(f.fn);
  core.dispatch('transport', 0);  // Live stops: one Run frame with flag 0
  assert.strictEqual(f.messages.length, 1);
  assert.strictEqual(f.messages[0][0], 'ext:write');

  core.onOutlet(g.fn);
  core.dispatch('transport', 0);  // the same engine: already held, nothing changes
  assert.deepStrictEqual(g.messages, []);
  core.dispatch('transport', 1);
  assert.strictEqual(f.messages.length, 1, 'the old callback hears nothing more');
  assert.strictEqual(g.messages.length, 1);
  const frame = g.messages[0][2];
  assert.deepStrictEqual([...frame], [2, 0, 0, 0, 8, 1]);
});

test('bytes atoms arrive as Buffers with the atom bytes', () => {
  const f = recorder();
  core.onOutlet(f.fn);
  core.dispatch('seek', 1.5);
  assert.strictEqual(f.messages.length, 1);
  const [selector, target, frame] = f.messages[0];
  assert.strictEqual(selector, 'ext:write');
  assert.strictEqual(target, 'players');
  assert.ok(Buffer.isBuffer(frame));
  const expected = Buffer.alloc(13);
  expected.writeUInt32LE(9, 0);
  expected[4] = 5;
  expected.writeDoubleLE(1.5, 5);
  assert.deepStrictEqual(frame, expected);
});

test('numbers stay numbers, everything else becomes its string', () => {
  const f = recorder();
  core.onOutlet(f.fn);
  core.dispatch('cloud:wsurl', 3);
  core.dispatch('cloud:wsurl', true);
  core.dispatch('cloud:wsurl', null);
  core.dispatch('cloud:wsurl', [1, 'b']);
  core.dispatch('cloud:wsurl', 0.1);
  core.dispatch('cloud:wsurl', 'caf\u00e9 \u{1F3B5}');
  core.dispatch('cloud:wsurl', 'a\u0000b');
  core.dispatch('cloud:wsurl', 'x'.repeat(1000));
  core.dispatch('cloud:wsurl', '\u00e9\u{1F3B5}'.repeat(100));
  core.dispatch('cloud:wsurl');
  assert.deepStrictEqual(f.messages.map((m) => m[1]),
    ['3', 'true', 'null', '1,b', '0.1', 'caf\u00e9 \u{1F3B5}', 'a\u0000b', 'x'.repeat(1000),
      '\u00e9\u{1F3B5}'.repeat(100), '']);
  assert.throws(() => core.dispatch(Symbol('s')), TypeError);
  assert.throws(() => core.dispatch('cloud:wsurl', Symbol('s')), TypeError);
  assert.strictEqual(f.messages.length, 10, 'a failed conversion never reaches the engine');
});

// A bridge connection's bytes go through its frame reader: a frame whose
// length field says "n - 4" is complete exactly when the atom holds n bytes,
// and four zero bytes after a complete frame are an invalid length, which
// drops the connection. The bytes around the view are all 1, so that any read
// outside the view yields a valid length that keeps the reader waiting.
function probeByteLength(Type, elements) {
  const size = Type.BYTES_PER_ELEMENT;
  const n = elements * size;
  const backing = new ArrayBuffer(8 + n + 8);
  new Uint8Array(backing).fill(1);
  const view = new Type(backing, 8, elements);
  new Uint8Array(backing, 8, n).fill(0);
  const header = new DataView(backing, 8, 5);
  header.setUint32(0, n - 4, true);
  header.setUint8(4, 0x7f);  // a type the engine ignores

  const f = recorder();
  core.onOutlet(f.fn);
  core.dispatch('ext:conn', 9);
  core.dispatch('ext:data', 9, view);
  const afterFrame = f.messages.length;
  core.dispatch('ext:data', 9, new Uint8Array(4));
  return { afterFrame, messages: f.messages };
}

test('typed arrays of every element type become bytes of their byte length', () => {
  const types = [Int8Array, Uint8Array, Uint8ClampedArray, Int16Array, Uint16Array, Int32Array,
    Uint32Array, Float32Array, Float64Array, BigInt64Array, BigUint64Array];
  for (const Type of types) {
    const { afterFrame, messages } = probeByteLength(Type, 8);
    assert.strictEqual(afterFrame, 0, `${Type.name}: the frame was complete and valid`);
    assert.deepStrictEqual(messages, [['ext:drop', 9]], `${Type.name}: ${8 * Type.BYTES_PER_ELEMENT} bytes`);
  }
  const { messages } = probeByteLength(Buffer, 16);
  assert.deepStrictEqual(messages, [['ext:drop', 9]], 'Buffer');
});

test('texts of every length arrive whole, whatever their UTF-8 widths', () => {
  const f = recorder();
  core.onOutlet(f.fn);
  for (const unit of ['a', '\u00e9', '\u20ac', '\u{1F3B5}']) {
    for (let bytes = 100; bytes < 140; ++bytes) {
      const text = 'x'.repeat(bytes % Buffer.byteLength(unit)) + unit.repeat(Math.floor(bytes / Buffer.byteLength(unit)));
      core.dispatch('cloud:wsurl', text);
      assert.strictEqual(f.messages.pop()[1], text, `${Buffer.byteLength(text)} bytes of ${unit}`);
    }
  }
});

test('an argument reused from an earlier call carries only its new value', () => {
  const f = recorder();
  core.onOutlet(f.fn);
  core.dispatch('ext:conn', 4);
  core.dispatch('ext:data', 4, Buffer.from([1, 0, 0, 0, 0x7f]));  // one whole frame, ignored
  core.dispatch('ext:data', 4, 'zero');  // not bytes: ignored
  core.dispatch('ext:data', 4, 0);
  assert.deepStrictEqual(f.messages, []);
  core.dispatch('ext:data', 4, new Uint8Array(4));  // a length of 0
  assert.deepStrictEqual(f.messages, [['ext:drop', 4]]);
});

test('more than eight arguments are all converted and in order', () => {
  const f = recorder();
  core.onOutlet(f.fn);
  core.dispatch('ext:conn', 6);
  core.dispatch('ext:data', 6, new Uint8Array(4), 'a', 2, 'c', 4, 'e', 6, 'g', 8, Buffer.alloc(1), true);
  assert.deepStrictEqual(f.messages, [['ext:drop', 6]]);
  assert.throws(() => core.dispatch('ext:data', 6, Buffer.alloc(4), 1, 2, 3, 4, 5, 6, 7, 8, Symbol('late')),
    TypeError);
  assert.strictEqual(f.messages.length, 1, 'the engine never saw the message with the bad argument');
});

test('a DataView is refused with an error and nothing reaches the engine', () => {
  const f = recorder();
  core.onOutlet(f.fn);
  assert.throws(() => core.dispatch('ext:data', 9, new DataView(new ArrayBuffer(8))), TypeError);
  assert.deepStrictEqual(f.messages, []);
});

test('a throwing callback is swallowed and the next message is still delivered', () => {
  const seen = [];
  core.onOutlet((selector, ...atoms) => {
    seen.push([selector, ...atoms]);
    if (seen.length === 1) throw new Error('callback failed');
  });
  assert.doesNotThrow(() => core.dispatch('stop'));
  assert.deepStrictEqual(seen, [['ws:close'], ['param:stop'], ['ui:status', 'stopped']]);
  core.dispatch('cloud:error', 'after');
  assert.deepStrictEqual(seen[3], ['ui:status', 'cloud: after']);
});

test('a callback may dispatch again from inside a delivery', () => {
  const seen = [];
  core.onOutlet((selector, text) => {
    seen.push(text);
    if (text === 'cloud: outer') core.dispatch('cloud:error', 'inner');
  });
  core.dispatch('cloud:error', 'outer');
  assert.deepStrictEqual(seen, ['cloud: outer', 'cloud: inner']);
});

// A Hello frame (role, rate, channels) and a Position frame (seconds, swap count).
function helloFrame(role) {
  const b = Buffer.alloc(12);
  b.writeUInt32LE(8, 0); b[4] = 0x80; b[5] = role; b.writeInt32LE(48000, 6); b.writeUInt16LE(2, 10);
  return b;
}
function positionFrame(seconds) {
  const b = Buffer.alloc(17);
  b.writeUInt32LE(13, 0); b[4] = 0x81; b.writeDoubleLE(seconds, 5); b.writeInt32LE(0, 13);
  return b;
}

test('a callback that closes or replaces the connection being read does not crash the process', () => {
  for (const nested of ['ext:close', 'ext:conn']) {
    const seen = [];
    let once = true;
    core.onOutlet((selector, ...atoms) => {
      seen.push([selector, ...atoms]);
      if (selector === 'ext:role' && once) {
        once = false;
        core.dispatch(nested, 21);
        core.dispatch('ext:data', 21, positionFrame(9));  // bytes of the new connection, or of none
      }
    });
    core.dispatch('ext:conn', 21);
    const chunk = Buffer.concat([helloFrame(0), positionFrame(2.5), helloFrame(1), positionFrame(3.5)]);
    core.dispatch('ext:data', 21, chunk);
    // Only the frames read before the close count; the nested bytes start a fresh connection.
    assert.deepStrictEqual(seen, [['ext:role', 21, 'players'], ['ui:position', 9]], nested);
    core.dispatch('ext:close', 21);
  }
});

test('an outlet with more atoms than one call can carry is reported, not dropped silently', () => {
  const seen = [];
  core.onOutlet((selector, ...atoms) => { seen.push([selector, atoms.length, atoms[0]]); });
  const words = new Array(130000).fill('w').join(' ');
  core.dispatch('preset:data', JSON.stringify({ prompts: { a: words, b: 'short' } }));
  const errors = seen.filter(([selector]) => selector === 'core:error');
  assert.deepStrictEqual(errors, [['core:error', 1,
    'outlet "echo" not delivered: 130001 atoms, more than 100000 in one call']]);
  // The other messages of the same dispatch still arrive.
  assert.ok(seen.some(([selector, , first]) => selector === 'echo' && first === 'promptB'));
  assert.ok(!seen.some(([selector, count]) => selector === 'echo' && count > 100000));

  // At the cap the call still goes through (Node's default stack takes about
  // 125,000 arguments), also from inside a nested dispatch.
  seen.length = 0;
  const atCap = new Array(99998).fill('w').join(' ');
  let nested = true;
  core.onOutlet((selector, ...atoms) => {
    seen.push([selector, atoms.length, atoms[0]]);
    if (nested && selector === 'echo') {
      nested = false;
      core.dispatch('preset:data', JSON.stringify({ prompts: { a: atCap } }));
    }
  });
  core.dispatch('preset:data', JSON.stringify({ prompts: { a: 'outer' } }));
  assert.ok(!seen.some(([selector]) => selector === 'core:error'));
  assert.ok(seen.some(([selector, count, first]) => selector === 'echo' && first === 'prompt' && count === 99999));
});
