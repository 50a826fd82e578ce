'use strict';
// Preset and audio files inside the Live Set folder. Reads and writes run one
// at a time in request order, so a recall that follows a save reads what was
// saved. Writes go to a temporary file first and are renamed into place, so
// an interrupted write never leaves a half-written preset behind.
//
// Paths come from the engine; the host still checks them: a preset must lie
// directly in an ".../Omber/configs" folder and end in ".json", exported
// audio directly in ".../Omber/audio" and end in ".wav", the path must be
// absolute and no segment may be "..". Anything else is refused.
const fs = require('fs');
const path = require('path');

const KINDS = {
  preset: { folder: ['Omber', 'configs'], ext: '.json' },
  audio: { folder: ['Omber', 'audio'], ext: '.wav' },
};

// Returns null when the path is acceptable, else the reason it is not.
function checkPath(file, kind) {
  const where = KINDS[kind];
  const text = typeof file === 'string' ? file : '';
  if (!text) return 'no path';
  if (!path.isAbsolute(text) && !/^[A-Za-z]:[\\/]/.test(text)) return 'path is not absolute';
  const parts = text.split(/[\\/]+/);
  if (parts.includes('..')) return 'path leaves its folder';
  const name = parts[parts.length - 1];
  const folder = parts.slice(-3, -1);
  if (folder.join('/') !== where.folder.join('/')) return `path is not in ${where.folder.join('/')}`;
  if (!name.endsWith(where.ext) || name.length <= where.ext.length) return `name does not end in ${where.ext}`;
  return null;
}

function reasonOf(err) {
  switch (err && err.code) {
    case 'ENOENT': return 'file not found';
    case 'EACCES': case 'EPERM': return 'permission denied';
    case 'ENOSPC': return 'disk full';
    case 'EROFS': return 'read-only disk';
    case 'EISDIR': return 'is a folder';
    default: return (err && (err.code || err.message)) || 'unknown error';
  }
}

class Files {
  // dispatch(selector, ...args): answers to the engine ("preset:data").
  // onStatus(text): status lines for the performer.
  constructor({ dispatch, onStatus, fsp = fs.promises }) {
    this.dispatch = dispatch;
    this.onStatus = onStatus;
    this.fsp = fsp;
    this.queue = Promise.resolve();
    this.tmpCounter = 0;
  }

  // Runs op after every earlier request; resolves when it finished.
  enqueue(op) {
    this.queue = this.queue.then(op).catch(() => {});
    return this.queue;
  }

  idle() { return this.queue; }

  readPreset(file) {
    return this.enqueue(async () => {
      const bad = checkPath(file, 'preset');
      if (bad) return this.onStatus(`could not read preset: ${bad}`);
      try {
        const text = await this.fsp.readFile(file, 'utf8');
        this.dispatch('preset:data', text);
      } catch (err) {
        this.onStatus(`could not read preset ${path.basename(file)}: ${reasonOf(err)}`);
      }
    });
  }

  writePreset(file, text) {
    return this.write('preset', file, Buffer.from(String(text), 'utf8'), 'save preset', null);
  }

  writeAudio(file, bytes) {
    return this.write('audio', file, bytes, 'export audio', `audio exported to Omber/audio/${path.basename(String(file))}`);
  }

  write(kind, file, bytes, what, doneText) {
    return this.enqueue(async () => {
      const bad = checkPath(file, kind);
      if (bad) return this.onStatus(`could not ${what}: ${bad}`);
      if (!Buffer.isBuffer(bytes) || (kind === 'audio' && bytes.length === 0)) return this.onStatus(`could not ${what}: no data`);
      try {
        await this.writeAtomically(file, bytes);
        if (doneText) this.onStatus(doneText);
      } catch (err) {
        this.onStatus(`could not ${what} ${path.basename(file)}: ${reasonOf(err)}`);
      }
    });
  }

  async writeAtomically(file, bytes) {
    await this.fsp.mkdir(path.dirname(file), { recursive: true });
    const tmp = `${file}.tmp-${process.pid}-${this.tmpCounter++}`;
    try {
      await this.fsp.writeFile(tmp, bytes);
      await this.fsp.rename(tmp, file);
    } catch (err) {
      await this.fsp.unlink(tmp).catch(() => {});
      throw err;
    }
  }
}

module.exports = { Files, checkPath };
