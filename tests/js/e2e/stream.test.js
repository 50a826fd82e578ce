'use strict';
// A printed track becomes the pod's source; the stream reaches two headless
// omber~ players bit for bit; a player killed mid-stream comes back equal.
const test = require('node:test');
const assert = require('node:assert/strict');
const { withStage, assertSameBuffer, skip } = require('./helpers');
const { readWav } = require('../../../sim/wavfile');
const { FRAME } = require('../../../sim/link');
const { firstDifference } = require('../../../sim/stage');

const BAR_FRAMES = 96000; // one 4/4 bar at 120 BPM, 48 kHz

// Where a print of `frames` stereo frames starts in the track, or -1.
function findExcerpt(track, print, frames) {
  for (let o = 0; o + frames <= track.length / 2; o++) {
    if (track[2 * o] !== print[0] || track[2 * o + 1] !== print[1]) continue;
    if (firstDifference(track.subarray(2 * o, 2 * (o + frames)), print.subarray(0, 2 * frames)) === -1) return o;
  }
  return -1;
}

async function expectEqualBuffers(stage, players) {
  await stage.settle();
  const engine = await stage.engineBuffer();
  assertSameBuffer(assert, engine, stage.podBuffer(), 'the engine against the pod');
  for (const p of players) {
    assert.ok(p.patchLog().length > 0, `${p.name} applied patches`);
    assertSameBuffer(assert, await p.buffer(), engine, `${p.name} against the engine`);
  }
}

test('print, stream and a player restarted mid-stream', { skip, timeout: 170000 }, async (t) => {
  await withStage({ podOptions: { sliceIntervalMs: 100 } }, async (stage) => {
    await stage.addFeeder();
    const p1 = await stage.addPlayer('player1');
    const p2 = await stage.addPlayer('player2');
    await stage.printAndStream({ bars: 1 });

    await t.test('the print of the feeder becomes the pod\'s source, bit for bit', () => {
      const session = stage.pod.allSessions.find((s) => s.upload);
      assert.ok(session, 'the pod received a source');
      const upload = session.upload;
      assert.equal(upload.channels, 2);
      assert.equal(upload.frames % BAR_FRAMES, 0, 'whole repetitions of the printed bar');
      const reps = upload.frames / BAR_FRAMES;
      assert.ok(reps >= 2, `repeated (${reps} times)`);
      const print = upload.samples.subarray(0, 2 * BAR_FRAMES);
      assert.ok(print.some((x) => Math.abs(x) > 0.01), 'the print holds sound');
      const track = readWav(stage.trackPath).samples;
      assert.ok(findExcerpt(track, print, BAR_FRAMES) >= 0, 'the print is an excerpt of the feeder\'s track');
      for (let r = 1; r < reps; r++) {
        const rep = upload.samples.subarray(2 * r * BAR_FRAMES, 2 * (r + 1) * BAR_FRAMES);
        assert.equal(firstDifference(rep, print), -1, `repetition ${r}`);
      }
    });

    await t.test('after streaming both players hold the engine\'s and the pod\'s buffer', async () => {
      await stage.waitFor(() => stage.patchesToPlayers >= 20, 60000, '20 patches');
      const stats = stage.pod.stats();
      assert.ok(stats.rawSlices > 0 && stats.diffSlices > 0, 'raw and compressed difference slices both arrived');
      await expectEqualBuffers(stage, [p1, p2]);
    });

    await t.test('a player killed and started again gets the buffer and band and ends equal', async () => {
      await stage.pod.resume();
      await stage.removePlayer(p2, { kill: true });
      const mark = stage.patchesToPlayers;
      await stage.waitFor(() => stage.patchesToPlayers >= mark + 8, 60000, 'the stream to go on without it');
      const bands = stage.framesOf(FRAME.Band);
      assert.ok(bands.length > 0, 'the players have a band');
      const band = bands.at(-1).msg;

      const framesBefore = stage.frames.length;
      const again = await stage.addPlayer('player2-again');
      const init = await stage.waitFor(() => stage.frames.slice(framesBefore).find((f) => f.type === FRAME.Init && f.target === String(again.id)),
        30000, 'an Init addressed to the new player');
      const fromInit = stage.frames.slice(stage.frames.indexOf(init));
      const restated = fromInit.find((f) => f.type === FRAME.Band);
      assert.ok(restated, 'the band restated with the Init');
      assert.equal(restated.target, 'players');
      assert.deepEqual(restated.msg, band, 'the same band as before');
      const between = fromInit.slice(0, fromInit.indexOf(restated));
      assert.ok(!between.some((f) => f.type === FRAME.Seek), 'nobody was moved on the way');

      await stage.waitFor(() => stage.patchesSentTo(again) >= 8, 60000, 'patches after the rejoin');
      // The new player plays inside the band like the others.
      const joinedAt = stage.frames[framesBefore].at;
      await stage.waitFor(() => (stage.positions.get(again.id) || []).filter((p) => p.at > joinedAt + 200).length >= 5,
        30000, 'play-head reports of the new player');
      const late = stage.positions.get(again.id).filter((p) => p.at > joinedAt + 200);
      for (const p of late) assert.ok(p.seconds >= band.start - 1e-6 && p.seconds <= band.end + 1e-6, `${p.seconds} s inside ${band.start}..${band.end}`);

      await expectEqualBuffers(stage, [p1, again]);
    });
  });
});
