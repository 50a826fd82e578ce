'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { FRAME, FrameReader, encodeFrame, MAX_FRAME_LENGTH } = require('../../../sim/link');
const { LinkPeer } = require('../../../sim/link-peer');
const { Bridge } = require('../../../host/bridge');
const { waitFor } = require('../host/helpers');

test('the frame reader cuts frames from any chunking and rejects bad lengths', () => {
  assert.deepEqual([...encodeFrame(7, Buffer.from([1]))], [2, 0, 0, 0, 7, 1]);
  const frames = [];
  const reader = new FrameReader((type, payload) => frames.push([type, [...payload]]));
  const stream = Buffer.concat([encodeFrame(5, Buffer.from([1, 2, 3])), encodeFrame(6), encodeFrame(8, Buffer.from([9]))]);
  for (const byte of stream.subarray(0, 13)) reader.feed(Buffer.from([byte]));
  assert.deepEqual(frames, [[5, [1, 2, 3]], [6, []]]);
  reader.feed(stream.subarray(13, 15));
  assert.equal(frames.length, 2, 'a partial frame was handed over');
  reader.feed(stream.subarray(15));
  assert.deepEqual(frames[2], [8, [9]]);

  const big = Buffer.alloc(4);
  big.writeUInt32LE(MAX_FRAME_LENGTH, 0);
  reader.feed(big); // the largest length is valid and waited for
  assert.equal(frames.length, 3);
  const bad = Buffer.alloc(4);
  bad.writeUInt32LE(MAX_FRAME_LENGTH + 1, 0);
  assert.throws(() => new FrameReader(() => {}).feed(bad), /bad frame len/);
  assert.throws(() => new FrameReader(() => {}).feed(Buffer.alloc(4)), /bad frame len/);
});

function bufferFrame(type, samples, channels) {
  const p = Buffer.alloc(10 + samples.length * 4);
  p.writeUInt32LE(48000, 0);
  p.writeUInt16LE(channels, 4);
  p.writeUInt32LE(samples.length / channels, 6);
  Buffer.from(samples.buffer).copy(p, 10);
  return encodeFrame(type, p);
}

function patchFrame(startFrame, stereo) {
  const p = Buffer.alloc(4 + stereo.length * 4);
  p.writeUInt32LE(startFrame, 0);
  Buffer.from(stereo.buffer).copy(p, 4);
  return encodeFrame(FRAME.Patch, p);
}

function f64Frame(type, ...values) {
  const p = Buffer.alloc(8 * values.length);
  values.forEach((v, i) => p.writeDoubleLE(v, 8 * i));
  return encodeFrame(type, p);
}

test('a stand-in player keeps what the bridge sends and reports its play head', async () => {
  const events = [];
  const bridge = new Bridge({ onEvent: (...e) => events.push(e) });
  const port = await bridge.listen();
  const player = new LinkPeer({ role: 0 });
  try {
    await player.connect(port);
    await waitFor(() => events.some((e) => e[0] === 'ext:data'));
    const hello = events.find((e) => e[0] === 'ext:data')[2];
    assert.deepEqual([...hello.subarray(0, 6)], [8, 0, 0, 0, 0x80, 0]);
    bridge.setRole(1, 'players');

    const frames = 96000;
    const source = new Float32Array(frames * 2).map((_, i) => (i % 1000) / 1000);
    bridge.write('players', bufferFrame(FRAME.Init, source, 2));
    bridge.write('players', patchFrame(10, new Float32Array([0.5, -0.5, 0.25, -0.25])));
    bridge.write('players', f64Frame(FRAME.Band, 0.5, 1.5));
    await waitFor(() => player.band !== null);
    const expected = source.slice();
    expected.set([0.5, -0.5, 0.25, -0.25], 20);
    assert.deepEqual(player.buffer, expected);
    assert.ok(player.playHead >= 24000 && player.playHead < 72000);
    await waitFor(() => events.filter((e) => e[0] === 'ext:data').length >= 3, { what: 'position reports' });
    const report = events.filter((e) => e[0] === 'ext:data').pop()[2];
    assert.equal(report[4], FRAME.Position);

    const swapped = new Float32Array(48000 * 2).fill(0.125);
    bridge.write('players', bufferFrame(FRAME.Swap, swapped, 2));
    bridge.write('players', encodeFrame(FRAME.Run, Buffer.from([0])));
    await waitFor(() => player.swapCount === 1 && !player.advancing);
    assert.deepEqual(player.band, [24000, 48000]);
    assert.deepEqual(player.buffer, swapped);
  } finally {
    player.disconnect();
    await bridge.close();
  }
});

test('a stand-in feeder sends its track while capture is on', async () => {
  const events = [];
  const bridge = new Bridge({ onEvent: (...e) => events.push(e) });
  const port = await bridge.listen();
  const track = new Float32Array(4096 * 2).map((_, i) => i);
  const feeder = new LinkPeer({ role: 1, input: track });
  try {
    await feeder.connect(port);
    await waitFor(() => events.some((e) => e[0] === 'ext:data'));
    bridge.setRole(1, 'feeders');
    bridge.write('feeders', encodeFrame(FRAME.Capture, Buffer.from([1])));
    const captured = [];
    const reader = new FrameReader((type, payload) => {
      if (type === FRAME.CapturePcm) captured.push(new Float32Array(payload.buffer.slice(payload.byteOffset + 4, payload.byteOffset + payload.length)));
    });
    let seen = 1;
    await waitFor(() => {
      const data = events.filter((e) => e[0] === 'ext:data');
      for (; seen < data.length; seen++) reader.feed(data[seen][2]);
      return captured.length >= 3;
    }, { what: 'captured audio' });
    assert.deepEqual(Array.from(captured[0].subarray(0, 4)), [0, 1, 2, 3]);
    assert.equal(captured[1][0], 2048, 'the track continues where the last frame ended');
    bridge.write('feeders', encodeFrame(FRAME.Capture, Buffer.from([0])));
    await waitFor(() => !feeder.capturing);
  } finally {
    feeder.disconnect();
    await bridge.close();
  }
});

test('a stand-in with the session token joins a guarded bridge; one without is refused', async () => {
  const token = 'feedc0de'.repeat(4);
  const events = [];
  const statuses = [];
  const bridge = new Bridge({ onEvent: (...e) => events.push(e), onStatus: (t) => statuses.push(t), token });
  const port = await bridge.listen();
  const good = new LinkPeer({ role: 1, token });
  const bad = new LinkPeer({ role: 0 });
  try {
    await good.connect(port);
    await waitFor(() => events.some((e) => e[0] === 'ext:data'));
    assert.deepEqual(events[0], ['ext:conn', 1]);
    assert.equal(events[1][2][4], FRAME.Hello, 'the token frame reached the engine');
    const closed = new Promise((resolve) => bad.once('close', resolve));
    await bad.connect(port);
    await closed;
    assert.deepEqual(statuses, ['bridge: connection 2 refused: bad token']);
    assert.equal(events.length, 2);
  } finally {
    good.disconnect();
    bad.disconnect();
    await bridge.close();
  }
});
