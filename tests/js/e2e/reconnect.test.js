'use strict';
// The pod drops the socket mid-stream: the engine follows its reconnect
// schedule, the session comes back with the performer's steering, and the
// player ends equal to the engine and the pod again.
const test = require('node:test');
const assert = require('node:assert/strict');
const net = require('net');
const { withStage, assertSameBuffer, skip } = require('./helpers');

// A loopback address where nothing listens.
async function deadUrl() {
  const server = net.createServer();
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const { port } = server.address();
  await new Promise((resolve) => server.close(resolve));
  return `ws://127.0.0.1:${port}/`;
}

test('a dropped socket reconnects on schedule and the stream carries on', { skip, timeout: 170000 }, async (t) => {
  await withStage({ podOptions: { sliceIntervalMs: 100 } }, async (stage) => {
    const commands = new Map(); // pod session id -> commands it received
    stage.pod.on('command', ({ session, doc }) => {
      if (!commands.has(session.id)) commands.set(session.id, []);
      commands.get(session.id).push(doc);
    });
    await stage.addFeeder();
    const player = await stage.addPlayer('player1');
    await stage.printAndStream({ bars: 1 });
    const first = stage.pod.session.id;

    // The performer's steering before the drop.
    stage.host.fromInterface('prompt_b', 'heavy dubstep growl');
    stage.host.fromInterface('blend', 0.8);
    stage.host.fromInterface('knob', 'ch_g0', 1.7);
    await stage.waitFor(() => (commands.get(first) || []).some((c) => c.type === 'set_prompt_blend' && c.value === 0.8),
      30000, 'the blend to glide to 0.8');
    await stage.waitFor(() => stage.patchesToPlayers >= 10, 60000, 'slices before the drop');

    await t.test('closes while playing follow the 1 s, 2 s schedule', async () => {
      const from = stage.events.length;
      stage.host.fromInterface('host:pod', await deadUrl()); // the first attempt fails
      await stage.pod.dropConnections();
      const r1 = await stage.waitForEvent('ws:reconnect_in', 20000, { from });
      assert.equal(r1.args[0], 1000);
      const reconnecting = stage.events.slice(from).filter((e) => e.sel === 'ui:status' && e.args[0] === 'reconnecting');
      assert.ok(reconnecting.length >= 1 && reconnecting[0].at <= r1.at, '"reconnecting" shown first');
      const i1 = stage.events.indexOf(r1);
      const resolve1 = await stage.waitForEvent('cloud:resolve', 20000, { from: i1 });
      // Node's timers count from the loop's cached time, a little before the
      // message was recorded.
      assert.ok(resolve1.at - r1.at >= 900, `waited ${resolve1.at - r1.at} ms of 1000`);

      const r2 = await stage.waitForEvent('ws:reconnect_in', 20000, { from: stage.events.indexOf(resolve1) });
      assert.equal(r2.args[0], 2000, 'the second consecutive failure waits 2 s');
      stage.host.fromInterface('host:pod', stage.podInfo.url);
      const resolve2 = await stage.waitForEvent('cloud:resolve', 20000, { from: stage.events.indexOf(r2) });
      assert.ok(resolve2.at - r2.at >= 1900, `waited ${resolve2.at - r2.at} ms of 2000`);
      await stage.waitForEvent('param:start', 60000, { from: stage.events.indexOf(r2) });
      assert.equal(stage.find('core:reconnect_giveup').length, 0);
    });

    await t.test('the new session keeps prompt B, the blend and the knobs', async () => {
      const second = stage.pod.session.id;
      assert.notEqual(second, first);
      // Telemetry may reach the new session before its stream starts; the
      // steering follows the first source.
      const has = (type) => (commands.get(second) || []).some((c) => c.type === type);
      await stage.waitFor(() => has('prompt') && has('set_prompt_blend') && has('params'), 20000,
        'prompt B, the blend and telemetry on the new session');
      const sent = commands.get(second);
      assert.equal(sent.filter((c) => c.type === 'prompt').at(-1).tags_b, 'heavy dubstep growl');
      assert.equal(sent.filter((c) => c.type === 'set_prompt_blend').at(-1).value, 0.8);
      assert.equal(sent.filter((c) => c.type === 'params').at(-1).raw.ch_g0, 1.7);
    });

    await t.test('slices apply again and the player ends equal to the engine and the pod', async () => {
      const mark = stage.patchesToPlayers;
      await stage.waitFor(() => stage.patchesToPlayers >= mark + 10, 60000, 'slices after the reconnect');
      await stage.settle();
      const engine = await stage.engineBuffer();
      assertSameBuffer(assert, engine, stage.podBuffer(), 'the engine against the pod');
      assertSameBuffer(assert, await player.buffer(), engine, 'the player against the engine');
      assert.ok(player.patchLog().length >= 20, 'the player applied slices before and after');
    });
  });
});
