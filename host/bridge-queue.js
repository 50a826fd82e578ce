'use strict';
// One bridge connection's frames not yet handed to its socket.
//
// The bridge hands a frame to the socket only while the socket's own buffer
// is nearly empty, so a peer that falls behind leaves its backlog here, where
// it can still be trimmed: a whole buffer (Init or Swap) makes every earlier
// buffer in the queue worthless, and with them every Patch queued before it.
// They are dropped and the newest buffer takes the place of the earliest one
// it replaced, so the Band, Seek, Loop and Run frames that followed it still
// come after it, in their order. A peer therefore catches up with the newest
// state instead of every state in between.
//
// A player counts the Swaps it applied and reports the count with its play
// head; the engine keeps a report only when the count is its own. Each entry
// therefore says how many Swaps it stands for beyond itself (addSwaps) and
// whether it starts the count again (an Init); the bridge adds the Swaps a
// peer never received to its reports (bridge-inbound.js).
//
// Not thread-safe (the host's one JavaScript thread); no realtime concerns.

const INIT = 1;
const PATCH = 2;
const SWAP = 3;

// The frame type of one complete frame, or -1 when the bytes are not exactly
// one frame (they are then passed on untouched, never dropped).
function frameType(bytes) {
  if (bytes.length < 5 || bytes.readUInt32LE(0) + 4 !== bytes.length) return -1;
  return bytes[4];
}

function isBuffer(type) { return type === INIT || type === SWAP; }

class OutQueue {
  constructor() {
    this.entries = []; // { parts: Buffer[], size, type, resets, addSwaps }
    this.bytes = 0;
    this.dropped = 0; // frames dropped as superseded, for the status and tests
  }

  get length() { return this.entries.length; }

  push(frame) {
    const type = frameType(frame);
    const entry = { parts: [frame], size: frame.length, type, resets: type === INIT, addSwaps: 0 };
    if (isBuffer(type) && this.entries.some((e) => isBuffer(e.type))) this.supersede(entry);
    else this.append(entry);
  }

  append(entry) {
    this.entries.push(entry);
    this.bytes += entry.size;
  }

  // Drops the queued buffers and every Patch before the new one, and puts
  // the new buffer where the earliest dropped buffer was (an Init stays last:
  // it resets the player, so nothing before it needs to follow it).
  supersede(entry) {
    let first = -1;
    let resets = false;
    let swaps = 0;
    const kept = [];
    for (const e of this.entries) {
      if (isBuffer(e.type)) {
        if (first < 0) first = kept.length;
        if (e.resets) {
          resets = true;
          swaps = e.addSwaps;
        } else {
          swaps += 1 + e.addSwaps;
        }
      } else if (e.type !== PATCH) {
        kept.push(e);
        continue;
      }
      this.bytes -= e.size;
      this.dropped += 1;
    }
    this.entries = kept;
    if (entry.type === INIT) {
      this.append(entry);
      return;
    }
    swaps += 1;
    // The new buffer arrives as the kind of frame the peer would have taken
    // first: an Init when an Init was among the dropped ones.
    const merged = { parts: entry.parts, size: entry.size, type: SWAP, resets, addSwaps: resets ? swaps : swaps - 1 };
    if (resets) {
      const frame = entry.parts[0];
      const head = Buffer.from(frame.subarray(0, 5));
      head[4] = INIT;
      merged.parts = [head, frame.subarray(5)];
      merged.type = INIT;
    }
    this.entries.splice(first, 0, merged);
    this.bytes += merged.size;
  }

  // The next entry to hand to the socket, removed from the queue.
  shift() {
    const entry = this.entries.shift();
    if (entry) this.bytes -= entry.size;
    return entry;
  }

  clear() {
    this.entries = [];
    this.bytes = 0;
  }
}

module.exports = { OutQueue, frameType };
