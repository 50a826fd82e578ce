'use strict';
// The simulated pod in a child process, so its generation never stalls the
// host's event loop (a regenerated region costs tens of milliseconds of
// JavaScript, which would show up as slice latency if the two shared a
// thread). The parent object offers the same start/stop, control calls and
// events as an in-process Pod; events carry the session id instead of the
// session, and the pod's buffer and last upload can be asked for.
//
// Send times stay comparable across the two processes: both read the same
// monotonic clock (process.hrtime.bigint()).
const { fork } = require('child_process');
const { EventEmitter } = require('events');

const FORWARDED = ['connection', 'config', 'ready', 'command', 'slice', 'swap', 'write', 'failed', 'source_audio', 'close'];

// Strips the session object (not transferable) down to its id.
function plain(name, data) {
  if (name === 'connection' || name === 'close') return { session: data.id };
  const { session, audio, ...rest } = data;
  return { session: session.id, ...rest };
}

class PodProcess extends EventEmitter {
  constructor(options = {}) {
    super();
    this.options = options;
    this.child = null;
    this.pending = new Map();
    this.nextRequest = 1;
  }

  start() {
    this.child = fork(__filename, ['--child'], { serialization: 'advanced', stdio: ['ignore', 'inherit', 'inherit', 'ipc'] });
    this.child.on('message', (msg) => this.onMessage(msg));
    this.exited = new Promise((resolve) => this.child.once('exit', resolve));
    return this.request('start', this.options).then((info) => {
      Object.assign(this, info);
      return info;
    });
  }

  onMessage(msg) {
    if (msg.type === 'event') {
      this.emit(msg.name, msg.data);
    } else if (msg.type === 'reply') {
      const waiter = this.pending.get(msg.id);
      this.pending.delete(msg.id);
      if (msg.error) waiter.reject(new Error(msg.error));
      else waiter.resolve(msg.value);
    }
  }

  request(method, ...args) {
    const id = this.nextRequest++;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      this.child.send({ type: 'request', id, method, args });
    });
  }

  async stop() {
    if (!this.child) return;
    await this.request('stop').catch(() => {});
    this.child.disconnect();
    await this.exited;
    this.child = null;
  }

  dropConnections() { return this.request('dropConnections'); }
  setDelay(ms) { return this.request('setDelay', ms); }
  corruptNextSlice(mode) { return this.request('corruptNextSlice', mode); }
  pause() { return this.request('pause'); }
  resume() { return this.request('resume'); }
  stats() { return this.request('stats'); }
  // { epoch, halves (Uint16Array), upload: { channels, frames, samples } | null } of the newest session.
  snapshot() { return this.request('snapshot'); }
}

// ---- the child side -------------------------------------------------------

function runChild() {
  const { Pod } = require('./pod');
  let pod = null;
  const methods = {
    async start(options) {
      pod = new Pod(options);
      for (const name of FORWARDED) pod.on(name, (data) => process.send({ type: 'event', name, data: plain(name, data) }));
      return pod.start();
    },
    async stop() { if (pod) await pod.stop(); },
    dropConnections() { pod.dropConnections(); },
    setDelay(ms) { pod.setDelay(ms); },
    corruptNextSlice(mode) { pod.corruptNextSlice(mode); },
    pause() { pod.pause(); },
    resume() { pod.resume(); },
    stats() { return pod.stats(); },
    snapshot() {
      const s = pod.session;
      if (!s) return null;
      return { epoch: s.epoch, halves: s.buffer ? s.buffer.halves : null, upload: s.upload };
    },
  };
  process.on('message', async (msg) => {
    if (msg.type !== 'request') return;
    try {
      const value = await methods[msg.method](...msg.args);
      process.send({ type: 'reply', id: msg.id, value });
    } catch (err) {
      process.send({ type: 'reply', id: msg.id, error: err.message });
    }
  });
  process.on('disconnect', () => process.exit(0));
}

if (require.main === module && process.argv.includes('--child')) runChild();

module.exports = { PodProcess };
