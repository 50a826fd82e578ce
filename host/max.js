// @ts-check
'use strict';
// The host script inside Max's Node host ([node.script omber-host.js], whose
// entry calls startInMax). Interface messages from the patch arrive through
// max-api's handlers and go to the host core; every interface message of
// the engine ("ui:", "param:", "core:", "echo", "snapshot", "knobnames",
// "peaks") and the host's own ("host:port" with the bridge port for each
// omber~'s "connect") leave through the node.script outlet.
//
// The engine is the addon built for this machine: in the Max package it is
// addons/<platform>-<arch>/omber-core.node beside this folder, in a source
// checkout the build the package root finds. max-api exists only inside
// Max, so it is required lazily, and tests hand in a stand-in.
//
// Starting again in the same process (the patch reloaded while the Node
// process lives on) first stops the previous host: its bridge listener,
// timers and WebSocket close and its max-api handler is removed. The engine
// is the one the addon made at its first load; the new host only redirects
// its outlet.
const fs = require('fs');
const path = require('path');
// TypeScript checks this file against max-api's published definitions (the
// test suite runs it); the host core has its own tests and is taken as is.
const { Host } = /** @type {any} */ (require('./core'));
const { loadEngine } = /** @type {any} */ (require('./engine'));
const { readOptions } = /** @type {any} */ (require('./options'));

/** @typedef {typeof import('max-api').default} MaxApi */

// Selectors whose argument comes from a textedit, which leads its output
// with the word "text": the engine's prompt selectors drop that word
// themselves, these are handled here.
const TEXT_FIELDS = new Set(['host:pod', 'host:lookup', 'host:catalog', 'timbre', 'structure', 'swap']);

/** @returns {MaxApi} */
function requireMaxApi() {
  return /** @type {MaxApi} */ (/** @type {unknown} */ (require('max-api')));
}

function platformTag(platform = process.platform, arch = process.arch) {
  return `${platform}-${arch}`;
}

/**
 * Where the engine comes from: an explicit file, the package's addon for
 * this platform, or (no addons folder: a source checkout) the package root.
 * @param {{ enginePath?: string | null, addonsDir?: string, tag?: string }} [where]
 * @returns {{ file: string | null, missing?: string }}
 */
function locateEngine({ enginePath = null, addonsDir = path.join(__dirname, '..', 'addons'), tag = platformTag() } = {}) {
  if (enginePath) return { file: path.resolve(enginePath) };
  if (!fs.existsSync(addonsDir)) return { file: null };
  const file = path.join(addonsDir, tag, 'omber-core.node');
  if (fs.existsSync(file)) return { file };
  const present = fs.readdirSync(addonsDir).filter((d) => fs.existsSync(path.join(addonsDir, d, 'omber-core.node')));
  return {
    file: null,
    missing: `omber host: this package has no engine for ${tag} (looked for ${file}; it carries ${present.length ? present.join(', ') : 'none'})`,
  };
}

/** @type {{ stop: () => Promise<void> } | null} */
let current = null;
let signalsHooked = false;

/**
 * @param {{ maxApi?: MaxApi, argv?: string[], engine?: { dispatch: Function, onOutlet: Function } | null, addonsDir?: string, tag?: string }} [options]
 */
function startInMax({ maxApi = requireMaxApi(), argv = process.argv.slice(2), engine = null, addonsDir, tag } = {}) {
  /** @param {string} text @param {boolean} [error] */
  const post = (text, error = false) => {
    const posted = error ? maxApi.post(text, maxApi.POST_LEVELS.ERROR) : maxApi.post(text);
    Promise.resolve(posted).catch(() => {});
  };
  /** @param {string} selector @param {...any} args */
  const toInterface = (selector, ...args) => {
    Promise.resolve(maxApi.outlet(selector, ...args)).catch((err) => post(`omber host: outlet failed: ${err.message}`));
  };

  const previous = current ? current.stop() : Promise.resolve();
  let opts;
  let engineModule = engine;
  try {
    opts = readOptions(argv);
    if (!engineModule) {
      const found = locateEngine({ enginePath: opts.enginePath, addonsDir, tag });
      if (found.missing) throw new Error(found.missing);
      engineModule = loadEngine(found.file);
    }
  } catch (err) {
    post(err.message.startsWith('omber host:') ? err.message : `omber host: could not start: ${err.message}`, true);
    toInterface('ui:status', err.message.replace(/^omber host: /, ''));
    current = null;
    return { host: null, started: previous.then(() => Promise.reject(err)) };
  }

  const host = new Host({ engine: engineModule, config: opts.config, toInterface });
  // The catch-all handler receives (handled, selector, ...args) in current
  // Max releases; older ones passed (selector, ...args). Accept both.
  /** @param {...any} atoms */
  const onMessage = (...atoms) => {
    if (typeof atoms[0] === 'boolean') atoms.shift();
    const [selector, ...args] = atoms;
    if (selector === undefined) return;
    const sel = String(selector);
    if (TEXT_FIELDS.has(sel) && args[0] === 'text') args.shift();
    host.fromInterface(sel, ...args);
  };
  maxApi.addHandler(maxApi.MESSAGE_TYPES.ALL, onMessage);

  let stopping = null;
  const instance = {
    stop() {
      if (!stopping) {
        maxApi.removeHandler(maxApi.MESSAGE_TYPES.ALL, onMessage);
        stopping = started.catch(() => {}).then(() => host.stop());
      }
      return stopping;
    },
  };
  current = instance;
  hookSignals();

  // The previous host lets go of its listener before this one listens, so
  // a fixed --bridge-port is free again.
  const started = previous.then(() => host.start()).then((port) => {
    post(`omber host: bridge listening on 127.0.0.1:${port}`);
    if (opts.livePath) host.fromInterface('live_path', opts.livePath);
    return port;
  }, (err) => {
    post(`omber host: could not start: ${err.message}`, true);
    throw err;
  });
  return { host, started, stop: () => instance.stop() };
}

// Max ends the Node process when the patch closes: close the listeners
// first, so no socket outlives the device.
function hookSignals() {
  if (signalsHooked) return;
  signalsHooked = true;
  for (const signal of /** @type {const} */ (['SIGINT', 'SIGTERM'])) {
    process.once(signal, () => {
      const done = current ? current.stop() : Promise.resolve();
      done.finally(() => process.exit(0));
    });
  }
}

if (require.main === module) startInMax().started.catch(() => {});

module.exports = { startInMax, locateEngine, platformTag };
