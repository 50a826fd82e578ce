'use strict';
// The host script inside Max's Node host ([node.script host/max.js ...]).
// Interface messages from the patch arrive through max-api's handlers and go
// to the host core; every interface message of the engine ("ui:", "param:",
// "core:", "echo", "snapshot", "knobnames", "peaks") and the host's own
// ("host:port" with the bridge port for each omber~'s "connect") leave
// through the node.script outlet. max-api exists only inside Max, so it is
// required lazily, and tests hand in a stand-in.
const { Host } = require('./core');
const { loadEngine } = require('./engine');
const { readOptions } = require('./options');

function startInMax({ maxApi = require('max-api'), argv = process.argv.slice(2), engine = null } = {}) {
  const opts = readOptions(argv);
  const post = (text) => { Promise.resolve(maxApi.post(text)).catch(() => {}); };
  const host = new Host({
    engine: engine || loadEngine(opts.enginePath),
    config: opts.config,
    toInterface: (selector, ...args) => {
      Promise.resolve(maxApi.outlet(selector, ...args)).catch((err) => post(`omber host: outlet failed: ${err.message}`));
    },
  });
  // The catch-all handler receives (handled, selector, ...args) in current
  // Max releases; older ones passed (selector, ...args). Accept both.
  maxApi.addHandler(maxApi.MESSAGE_TYPES.ALL, (...atoms) => {
    if (typeof atoms[0] === 'boolean') atoms.shift();
    const [selector, ...args] = atoms;
    if (selector === undefined) return;
    host.fromInterface(String(selector), ...args);
  });
  const started = host.start().then((port) => {
    post(`omber host: bridge listening on 127.0.0.1:${port}`);
    if (opts.livePath) host.fromInterface('live_path', opts.livePath);
    return port;
  }, (err) => {
    post(`omber host: could not start: ${err.message}`);
    throw err;
  });
  return { host, started };
}

if (require.main === module) startInMax();

module.exports = { startInMax };
