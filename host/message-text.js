'use strict';
// Interface messages as text lines, the way a Max message box writes them:
// a selector followed by atoms separated by white space. Atoms that read as
// decimal numbers become numbers; double quotes group words into one text
// atom. Used by the command line front end for stdin, script files and its
// printed output.

const NUMBER = /^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$/;

function parseLine(line) {
  const atoms = [];
  const re = /"((?:[^"\\]|\\.)*)"|(\S+)/g;
  let m;
  while ((m = re.exec(line)) !== null) {
    if (m[1] !== undefined) atoms.push(m[1].replace(/\\(.)/g, '$1'));
    else atoms.push(NUMBER.test(m[2]) ? Number(m[2]) : m[2]);
  }
  return atoms;
}

function formatAtom(value) {
  if (Buffer.isBuffer(value)) return `<${value.length} bytes>`;
  if (typeof value === 'number') return String(value);
  const text = String(value);
  return text === '' || /[\s"]/.test(text) ? JSON.stringify(text) : text;
}

function formatMessage(selector, args) {
  return [selector, ...args].map(formatAtom).join(' ');
}

module.exports = { parseLine, formatMessage };
