'use strict';
// Ways to run the omber~ instances of a performance. Each runner starts a
// player or a feeder connected to the bridge port and later stops it,
// leaving the player's output as a WAV file.
//
//  - js: the in-process stand-ins of link-peer.js (no audio rendering; the
//    player's WAV is its buffer as received). Always available.
//  - maxhost: the headless omber~ runner built with the external, one
//    process per instance, rendering in real time with 64-frame vectors.
const fs = require('fs');
const path = require('path');
const { spawn } = require('child_process');
const { LinkPeer } = require('./link-peer');
const { writeWav } = require('./wavfile');

function jsRunner() {
  return {
    name: 'js',
    async startPlayer(port, { wavOut }) {
      const peer = new LinkPeer({ role: 0 });
      await peer.connect(port);
      return {
        peer,
        patchLog: () => peer.patchLog,
        async stop() {
          peer.disconnect();
          if (peer.buffer) writeWav(wavOut, peer.buffer, { channels: peer.channels });
        },
      };
    },
    async startFeeder(port, { track }) {
      const peer = new LinkPeer({ role: 1, input: track.samples });
      await peer.connect(port);
      return { peer, async stop() { peer.disconnect(); } };
    },
  };
}

// The headless runner's program, looked for in the build folder.
function findMaxhost(buildDir) {
  const candidates = [
    process.env.OMBER_MAXHOST,
    path.join(buildDir, 'external', 'omber-maxhost'),
    path.join(buildDir, 'omber-maxhost'),
  ].filter(Boolean);
  return candidates.find((f) => fs.existsSync(f)) || null;
}

// Arguments follow the runner's command line: role, bridge port, vector
// size, real time, and the WAV to write (player) or read (feeder).
function maxhostRunner(program, { vector = 64 } = {}) {
  const start = (args) => {
    const child = spawn(program, args, { stdio: ['ignore', 'pipe', 'pipe'] });
    let log = '';
    child.stdout.on('data', (d) => { log += d; });
    child.stderr.on('data', (d) => { log += d; });
    return {
      child,
      log: () => log,
      patchLog: () => [],
      stop: () => new Promise((resolve) => {
        if (child.exitCode !== null) return resolve();
        child.once('exit', () => resolve());
        child.kill('SIGINT');
      }),
    };
  };
  return {
    name: 'maxhost',
    async startPlayer(port, { wavOut }) {
      return start(['--role', '0', '--connect', String(port), '--vector', String(vector), '--realtime', '--out', wavOut]);
    },
    async startFeeder(port, { trackPath }) {
      return start(['--role', '1', '--connect', String(port), '--vector', String(vector), '--realtime', '--in', trackPath]);
    },
  };
}

function pickRunner(kind, buildDir) {
  if (kind === 'js') return jsRunner();
  const program = findMaxhost(buildDir);
  if (program) return maxhostRunner(program);
  if (kind === 'maxhost') throw new Error(`omber-maxhost not found in ${buildDir}; build the external first`);
  return jsRunner();
}

module.exports = { jsRunner, maxhostRunner, pickRunner, findMaxhost };
