'use strict';
// Preset and audio files inside the Live Set folder. Reads and writes run one
// at a time in request order, so a recall that follows a save reads what was
// saved. Writes go to a temporary file first and are renamed into place, so
// an interrupted write never leaves a half-written preset behind; temporary
// files such a write left are removed at the next write to that folder.
//
// An operation that has not finished after timeoutMs fails with a status
// line and the next one starts; a write that finishes later is not renamed
// into place. A preset that is not a regular file (a FIFO, a device) is
// refused without being read, so it cannot hold a worker thread.
//
// Paths come from the engine; the host still checks them: a preset must lie
// directly in an ".../Omber/configs" folder and end in ".json", exported
// audio directly in ".../Omber/audio" and end in ".wav", the path must be
// absolute and no segment may be "..". A drive letter is only a path on
// Windows. Anything else is refused.
const fs = require('fs');
const path = require('path');

const KINDS = {
  preset: { folder: ['Omber', 'configs'], ext: '.json' },
  audio: { folder: ['Omber', 'audio'], ext: '.wav' },
};
const DEFAULT_TIMEOUT_MS = 5000;
// A preset may carry two audio clips as base64 WAV; far past that is no preset.
const MAX_PRESET_BYTES = 64 * 1024 * 1024;
const TMP_NAME = /\.tmp-(\d+)-\d+$/;

// Returns null when the path is acceptable, else the reason it is not.
function checkPath(file, kind, platform = process.platform) {
  const where = KINDS[kind];
  const text = typeof file === 'string' ? file : '';
  if (!text) return 'no path';
  const windows = platform === 'win32';
  const drive = /^[A-Za-z]:[\\/]/.test(text);
  if (drive && !windows) return 'drive-letter path on this system';
  if (windows ? !(path.win32.isAbsolute(text) || drive) : !path.posix.isAbsolute(text)) return 'path is not absolute';
  const parts = text.split(windows ? /[\\/]+/ : /\/+/);
  if (parts.includes('..')) return 'path leaves its folder';
  const name = parts[parts.length - 1];
  const folder = parts.slice(-3, -1);
  if (folder.join('/') !== where.folder.join('/')) return `path is not in ${where.folder.join('/')}`;
  if (!name.endsWith(where.ext) || name.length <= where.ext.length) return `name does not end in ${where.ext}`;
  return null;
}

function failure(reason) {
  return Object.assign(new Error(reason), { reason });
}

function reasonOf(err) {
  if (err && err.reason) return err.reason;
  switch (err && err.code) {
    case 'ENOENT': return 'file not found';
    case 'EACCES': case 'EPERM': return 'permission denied';
    case 'ENOSPC': return 'disk full';
    case 'EROFS': return 'read-only disk';
    case 'EISDIR': return 'is a folder';
    default: return (err && (err.code || err.message)) || 'unknown error';
  }
}

// Whether a process with this id still runs (EPERM: it runs as someone else).
function running(pid) {
  try {
    process.kill(pid, 0);
    return true;
  } catch (err) {
    return err.code === 'EPERM';
  }
}

class Files {
  // dispatch(selector, ...args): answers to the engine ("preset:data",
  //   "preset:write_failed").
  // onStatus(text): status lines for the performer.
  constructor({ dispatch, onStatus, fsp = fs.promises, timeoutMs = DEFAULT_TIMEOUT_MS, platform = process.platform }) {
    timeoutMs = timeoutMs || DEFAULT_TIMEOUT_MS;
    this.dispatch = dispatch;
    this.onStatus = onStatus;
    this.fsp = fsp;
    this.timeoutMs = timeoutMs;
    this.platform = platform;
    this.queue = Promise.resolve();
    this.tmpCounter = 0;
    this.writing = new Set(); // temporary files of writes still running
  }

  // Runs run(op) after every earlier request, for at most timeoutMs; a
  // failure or the timeout goes to fail(reason). op.cancelled tells a run
  // that outlived its time to stop before it changes anything.
  enqueue(run, fail) {
    const task = async () => {
      const op = { cancelled: false };
      let timer;
      const deadline = new Promise((resolve, reject) => {
        timer = setTimeout(() => {
          op.cancelled = true;
          reject(failure(`timed out after ${this.timeoutMs} ms`));
        }, this.timeoutMs);
      });
      const work = run(op);
      work.catch(() => {}); // a run that outlived its time fails unheard
      try {
        await Promise.race([work, deadline]);
      } catch (err) {
        fail(reasonOf(err));
      } finally {
        clearTimeout(timer);
      }
    };
    this.queue = this.queue.then(task).catch(() => {});
    return this.queue;
  }

  // Resolves when every requested operation is done, or after limitMs.
  idle(limitMs = Infinity) {
    if (!Number.isFinite(limitMs)) return this.queue;
    let timer;
    const limit = new Promise((resolve) => { timer = setTimeout(resolve, limitMs); });
    return Promise.race([this.queue, limit]).finally(() => clearTimeout(timer));
  }

  readPreset(file) {
    const name = path.basename(String(file));
    return this.enqueue(async (op) => {
      const bad = checkPath(file, 'preset', this.platform);
      if (bad) return this.onStatus(`could not read preset: ${bad}`);
      const text = await this.readText(file);
      if (!op.cancelled) this.dispatch('preset:data', text);
    }, (reason) => this.onStatus(`could not read preset ${name}: ${reason}`));
  }

  // Opens without blocking (a FIFO would wait for a writer), then reads only
  // a regular file of a sensible size.
  async readText(file) {
    const handle = await this.fsp.open(file, fs.constants.O_RDONLY | fs.constants.O_NONBLOCK);
    try {
      const info = await handle.stat();
      if (!info.isFile()) throw failure('not a regular file');
      if (info.size > MAX_PRESET_BYTES) throw failure('file too large');
      const bytes = await handle.readFile();
      if (bytes.length > MAX_PRESET_BYTES) throw failure('file too large');
      return bytes.toString('utf8');
    } finally {
      await handle.close().catch(() => {});
    }
  }

  writePreset(file, text) {
    // The engine keeps a reference to the preset it asked for; it must hear
    // that the save failed.
    const failed = (reason) => this.dispatch('preset:write_failed', String(file), reason);
    return this.write('preset', file, Buffer.from(String(text), 'utf8'), 'save preset', null, failed);
  }

  writeAudio(file, bytes) {
    return this.write('audio', file, bytes, 'export audio', `audio exported to Omber/audio/${path.basename(String(file))}`, () => {});
  }

  write(kind, file, bytes, what, doneText, failed) {
    const name = path.basename(String(file));
    return this.enqueue(async (op) => {
      const bad = checkPath(file, kind, this.platform);
      if (bad) {
        this.onStatus(`could not ${what}: ${bad}`);
        return failed(bad);
      }
      if (!Buffer.isBuffer(bytes) || (kind === 'audio' && bytes.length === 0)) {
        this.onStatus(`could not ${what}: no data`);
        return failed('no data');
      }
      await this.writeAtomically(file, bytes, op);
      if (doneText && !op.cancelled) this.onStatus(doneText);
    }, (reason) => {
      this.onStatus(`could not ${what} ${name}: ${reason}`);
      failed(reason);
    });
  }

  async writeAtomically(file, bytes, op) {
    const dir = path.dirname(file);
    await this.fsp.mkdir(dir, { recursive: true });
    await this.removeLeftovers(dir);
    const tmp = path.join(dir, `${path.basename(file)}.tmp-${process.pid}-${this.tmpCounter++}`);
    this.writing.add(tmp);
    try {
      // "wx": never write through something already at that name.
      await this.fsp.writeFile(tmp, bytes, { flag: 'wx' });
      if (op.cancelled) throw failure('cancelled');
      await this.fsp.rename(tmp, file);
    } catch (err) {
      await this.fsp.unlink(tmp).catch(() => {});
      throw err;
    } finally {
      this.writing.delete(tmp);
    }
  }

  // Temporary files of writes that will never finish: those of a process
  // that is gone, and this process's own that no running write holds.
  async removeLeftovers(dir) {
    let names;
    try {
      names = await this.fsp.readdir(dir);
    } catch {
      return;
    }
    for (const name of names) {
      const m = TMP_NAME.exec(name);
      if (!m) continue;
      const full = path.join(dir, name);
      const pid = Number(m[1]);
      const stale = pid === process.pid ? !this.writing.has(full) : !running(pid);
      if (stale) await this.fsp.unlink(full).catch(() => {});
    }
  }
}

module.exports = { Files, checkPath, DEFAULT_TIMEOUT_MS };
