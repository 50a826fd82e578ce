'use strict';
// What the patch generator and the checker know of the Max objects the
// device uses: inlet and outlet counts, outlet types, and which inlets take
// a signal. Newobj boxes are looked up by their class (the first word of
// their text), the others by their maxclass. omber~ is not described here:
// the checker asks the headless Max host what an omber~ box has.

const plain = (n) => Array(n).fill('');

// Counts of "$1".."$9" style arguments (expr takes one inlet per argument).
function highestDollar(args) {
  let n = 0;
  for (const m of args.join(' ').matchAll(/\$[fis]?(\d)/g)) n = Math.max(n, Number(m[1]));
  return n;
}

const NEWOBJ = {
  'plugin~': () => ({ inlets: 2, outlets: ['signal', 'signal'], signalIn: [] }),
  'plugout~': () => ({ inlets: 2, outlets: [], signalIn: [0, 1] }),
  'cycle~': () => ({ inlets: 2, outlets: ['signal'], signalIn: [0, 1] }),
  'ezdac~': () => ({ inlets: 2, outlets: [], signalIn: [0, 1] }),
  'node.script': () => ({ inlets: 1, outlets: plain(2), signalIn: [] }),
  route: (args) => ({ inlets: 2, outlets: plain(args.length + 1), signalIn: [] }),
  prepend: () => ({ inlets: 2, outlets: plain(1), signalIn: [] }),
  t: (args) => ({ inlets: 1, outlets: args.map((a) => (a === 'b' ? 'bang' : '')), signalIn: [] }),
  'zl.reg': () => ({ inlets: 2, outlets: plain(2), signalIn: [] }),
  'zl.lookup': () => ({ inlets: 2, outlets: plain(2), signalIn: [] }),
  'zl.slice': () => ({ inlets: 2, outlets: plain(2), signalIn: [] }),
  unpack: (args) => ({ inlets: 1, outlets: plain(Math.max(args.length, 2)), signalIn: [] }),
  pack: (args) => ({ inlets: Math.max(args.length, 2), outlets: plain(1), signalIn: [] }),
  expr: (args) => ({ inlets: Math.max(highestDollar(args), 1), outlets: plain(1), signalIn: [] }),
  metro: () => ({ inlets: 2, outlets: ['bang'], signalIn: [] }),
  deferlow: () => ({ inlets: 1, outlets: plain(1), signalIn: [] }),
  print: () => ({ inlets: 1, outlets: [], signalIn: [] }),
  pattr: () => ({ inlets: 2, outlets: plain(3), signalIn: [] }),
  'live.thisdevice': () => ({ inlets: 1, outlets: ['bang', 'int', 'int'], signalIn: [] }),
  'live.path': () => ({ inlets: 1, outlets: plain(3), signalIn: [] }),
  'live.object': () => ({ inlets: 2, outlets: plain(1), signalIn: [] }),
  'live.observer': () => ({ inlets: 2, outlets: plain(2), signalIn: [] }),
  'omber~': null, // asked of the headless host
};

const MAXCLASS = {
  'live.dial': { inlets: 1, outlets: ['', 'float'], signalIn: [] },
  'live.numbox': { inlets: 1, outlets: ['', 'float'], signalIn: [] },
  'live.menu': { inlets: 1, outlets: ['', '', 'float'], signalIn: [] },
  'live.text': { inlets: 1, outlets: plain(2), signalIn: [] },
  textedit: { inlets: 1, outlets: ['', 'int', '', ''], signalIn: [] },
  message: { inlets: 2, outlets: plain(1), signalIn: [] },
  comment: { inlets: 1, outlets: [], signalIn: [] },
  panel: { inlets: 1, outlets: [], signalIn: [] },
  multislider: { inlets: 1, outlets: plain(2), signalIn: [] },
  rslider: { inlets: 2, outlets: plain(2), signalIn: [] },
  slider: { inlets: 1, outlets: plain(1), signalIn: [] },
  flonum: { inlets: 1, outlets: ['', 'bang'], signalIn: [] },
  number: { inlets: 1, outlets: ['', 'bang'], signalIn: [] },
};

// Splits a box text into words, keeping nothing quoted together (the
// device's texts never quote).
function words(text) {
  return String(text || '').trim().split(/\s+/).filter(Boolean);
}

// The spec of a box ({ inlets, outlets, signalIn }), undefined for a class
// nobody described and null for omber~.
function specOf(box) {
  if (box.maxclass === 'newobj') {
    const [cls, ...args] = words(box.text);
    const make = NEWOBJ[cls];
    if (make === undefined) return undefined;
    return make === null ? null : make(args);
  }
  return MAXCLASS[box.maxclass];
}

module.exports = { specOf, words, NEWOBJ, MAXCLASS };
