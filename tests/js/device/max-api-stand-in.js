'use strict';
// A stand-in for Max's max-api module: the calls the host script makes,
// recorded, and send() to deliver a patch message the way node.script
// does (the catch-all handler gets a "handled" flag first).
//
// Preloaded (`node -r max-api-stand-in.js entry.js`) it also becomes the
// module require('max-api') returns, reads patch messages from standard
// input (one JSON array a line) and writes every outlet to standard output
// as a JSON array a line, and every post to standard error.
const Module = require('module');
const readline = require('readline');

const MESSAGE_TYPES = { ALL: 'all', BANG: 'bang', DICT: 'dict', NUMBER: 'number', LIST: 'list' };
const POST_LEVELS = { ERROR: 'error', INFO: 'info', WARN: 'warn' };

class MaxApiStandIn {
  constructor({ onOutlet = null, onPost = null } = {}) {
    this.MESSAGE_TYPES = MESSAGE_TYPES;
    this.POST_LEVELS = POST_LEVELS;
    this.handlers = new Map();
    this.outlets = [];
    this.posts = [];
    this.onOutlet = onOutlet;
    this.onPost = onPost;
  }

  addHandler(selector, fn) {
    if (!this.handlers.has(selector)) this.handlers.set(selector, []);
    this.handlers.get(selector).push(fn);
  }

  removeHandler(selector, fn) {
    const list = this.handlers.get(selector) || [];
    const at = list.indexOf(fn);
    if (at >= 0) list.splice(at, 1);
  }

  handlerCount() { return [...this.handlers.values()].reduce((n, l) => n + l.length, 0); }

  outlet(...atoms) {
    this.outlets.push(atoms);
    if (this.onOutlet) this.onOutlet(atoms);
    return Promise.resolve();
  }

  post(...atoms) {
    this.posts.push(atoms);
    if (this.onPost) this.onPost(atoms);
    return Promise.resolve();
  }

  send(selector, ...args) {
    for (const fn of this.handlers.get(selector) || []) fn(...args);
    for (const fn of this.handlers.get(MESSAGE_TYPES.ALL) || []) fn(false, selector, ...args);
  }
}

// Preloaded into a process that runs the host's Max entry.
if (require.main !== module && module.parent && module.parent.id === 'internal/preload') {
  const standIn = new MaxApiStandIn({
    onOutlet: (atoms) => process.stdout.write(`${JSON.stringify(atoms.map((a) => (Buffer.isBuffer(a) ? `<${a.length} bytes>` : a)))}\n`),
    onPost: (atoms) => process.stderr.write(`post: ${atoms.join(' ')}\n`),
  });
  const load = Module._load;
  Module._load = function loadWithStandIn(request, ...rest) {
    return request === 'max-api' ? standIn : load.call(this, request, ...rest);
  };
  const lines = readline.createInterface({ input: process.stdin });
  lines.on('line', (line) => {
    if (!line.trim()) return;
    const [selector, ...args] = JSON.parse(line);
    standIn.send(selector, ...args);
  });
  // Standard input closing is Max closing the patch.
  lines.on('close', () => process.kill(process.pid, 'SIGTERM'));
}

module.exports = { MaxApiStandIn, MESSAGE_TYPES, POST_LEVELS };
