'use strict';
// Ways to run the omber~ instances of a performance. Each runner starts a
// player or a feeder connected to the bridge port and later stops it,
// leaving the player's output as a WAV file.
//
//  - js: the in-process stand-ins of link-peer.js (no audio rendering; the
//    player's WAV is its buffer as received). Always available.
//  - maxhost: the headless omber~ runner built with the external, one
//    process per instance, rendering in real time with 64-frame vectors;
//    players also log their applied patches and write their buffer.
const fs = require('fs');
const os = require('os');
const path = require('path');
const { spawn } = require('child_process');
const { LinkPeer } = require('./link-peer');
const { writeWav } = require('./wavfile');

// Every runner takes the bridge's session token (token: null for none).
function jsRunner() {
  return {
    name: 'js',
    async startPlayer(port, { wavOut, token = null }) {
      const peer = new LinkPeer({ role: 0, token });
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
    async startFeeder(port, { track, token = null }) {
      const peer = new LinkPeer({ role: 1, input: track.samples, token });
      await peer.connect(port);
      return { peer, async stop() { peer.disconnect(); } };
    },
  };
}

// The environment for a runner process: ours without LD_PRELOAD. A node
// that loads a sanitized addon runs with the sanitizer's shared runtime
// preloaded; a sanitized runner carries its own and refuses to start with a
// second one.
function runnerEnv() {
  const env = { ...process.env };
  delete env.LD_PRELOAD;
  return env;
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

// The arguments that hand a runner the bridge's token.
function tokenArgs(token) {
  return token ? ['--token', String(token)] : [];
}

// Reads a buffer the runner wrote (--buffer-out): u32 channels, u32 frames,
// then the interleaved f32 samples, little-endian.
function readBufferFile(file) {
  const bytes = fs.readFileSync(file);
  if (bytes.length < 8) throw new Error(`${file}: no buffer header`);
  const channels = bytes.readUInt32LE(0);
  const frames = bytes.readUInt32LE(4);
  const count = channels * frames;
  if (bytes.length < 8 + 4 * count) throw new Error(`${file}: ${bytes.length} bytes, short of ${channels} x ${frames} samples`);
  const samples = new Float32Array(count);
  Buffer.from(samples.buffer).set(bytes.subarray(8, 8 + 4 * count));
  return { channels, frames, samples };
}

// Parses a runner's patch log (--patch-log): "<ns> <start frame> <frames>"
// per applied Patch, the time on the machine's monotonic clock, the one
// process.hrtime.bigint() reads.
function readPatchLog(file) {
  let text = '';
  try {
    text = fs.readFileSync(file, 'utf8');
  } catch {
    return [];
  }
  const out = [];
  for (const line of text.split('\n')) {
    const m = /^(\d+) (\d+) (\d+)$/.exec(line);
    if (m) out.push({ at: BigInt(m[1]), startFrame: Number(m[2]), frames: Number(m[3]) });
  }
  return out;
}

// One omber-maxhost process per instance, so that each can be stopped or
// killed on its own. A player writes its outlets to wavOut, logs every patch
// its audio thread applies and writes its buffer at exit or on request.
// rtPriority: the players' audio loops run with that realtime priority
// when the system permits it (as under Max), 0 for normal scheduling.
function maxhostRunner(program, { vector = 64, workDir = null, rtPriority = 0 } = {}) {
  let dirMade = workDir;
  const dir = () => {
    if (!dirMade) dirMade = fs.mkdtempSync(path.join(os.tmpdir(), 'omber-maxhost-'));
    else fs.mkdirSync(dirMade, { recursive: true });
    return dirMade;
  };
  const start = (args, files = {}) => {
    const child = spawn(program, ['--quiet', '--vector', String(vector), ...args], { stdio: ['ignore', 'pipe', 'pipe'], env: runnerEnv() });
    let log = '';
    child.stdout.on('data', (d) => { log += d; });
    child.stderr.on('data', (d) => { log += d; });
    const exited = new Promise((resolve) => child.once('exit', (code, signal) => resolve(code === null ? signal : code)));
    return {
      child,
      ...files,
      exited,
      log: () => log,
      patchLog: () => (files.patchLogPath ? readPatchLog(files.patchLogPath) : []),
      // The player's buffer as it is now (the runner writes it between two
      // audio vectors).
      async buffer(timeoutMs = 20000) {
        if (child.exitCode !== null || child.signalCode !== null) return readBufferFile(files.bufferPath);
        fs.rmSync(files.bufferPath, { force: true });
        child.kill('SIGUSR1');
        const end = Date.now() + timeoutMs;
        while (!fs.existsSync(files.bufferPath)) {
          if (Date.now() > end) throw new Error('the runner did not write its buffer');
          await new Promise((resolve) => setTimeout(resolve, 20));
        }
        return readBufferFile(files.bufferPath);
      },
      kill: () => {
        if (child.exitCode === null && child.signalCode === null) child.kill('SIGKILL');
        return exited;
      },
      stop: () => {
        if (child.exitCode === null && child.signalCode === null) child.kill('SIGINT');
        return exited;
      },
    };
  };
  let players = 0;
  return {
    name: 'maxhost',
    async startPlayer(port, { wavOut, bufferOut = null, patchLog = null, token = null }) {
      players += 1;
      const base = () => path.join(dir(), `player${players}`);
      const files = { bufferPath: bufferOut || `${base()}.buffer`, patchLogPath: patchLog || `${base()}.patches` };
      fs.rmSync(files.bufferPath, { force: true });
      const rt = rtPriority > 0 ? ['--rt-priority', String(rtPriority)] : [];
      return start([...rt, '--port', String(port), ...tokenArgs(token), '--player', wavOut, '--buffer-out', files.bufferPath, '--patch-log', files.patchLogPath], files);
    },
    async startFeeder(port, { trackPath, token = null }) {
      return start(['--port', String(port), ...tokenArgs(token), '--feeder', trackPath]);
    },
  };
}

function pickRunner(kind, buildDir, options = {}) {
  if (kind === 'js') return jsRunner();
  const program = findMaxhost(buildDir);
  if (program) return maxhostRunner(program, options);
  if (kind === 'maxhost') throw new Error(`omber-maxhost not found in ${buildDir}; build the external first`);
  return jsRunner();
}

module.exports = { runnerEnv, jsRunner, maxhostRunner, pickRunner, findMaxhost, readBufferFile, readPatchLog, tokenArgs };
