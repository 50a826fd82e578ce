'use strict';
// Runs interface messages given as text lines (standard input or a script
// file): "wait S" pauses S seconds, "quit" ends, "#" starts a comment, any
// other line is an interface message.
const { parseLine } = require('./message-text');

// lines: any (async) iterable of text lines. send(selector, ...args);
// sleep(ms) -> Promise. Resolves with 'quit' or 'end'.
async function runLines(lines, { send, sleep }) {
  for await (const raw of lines) {
    const line = raw.trim();
    if (!line || line.startsWith('#')) continue;
    const atoms = parseLine(line);
    const [selector, ...args] = atoms;
    if (selector === 'quit') return 'quit';
    if (selector === 'wait') {
      const seconds = Number(args[0]);
      if (Number.isFinite(seconds) && seconds > 0) await sleep(seconds * 1000);
      continue;
    }
    send(String(selector), ...args);
  }
  return 'end';
}

module.exports = { runLines };
