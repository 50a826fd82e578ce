'use strict';
// What one bridge connection sends, before the engine sees it.
//
// With a session token the first frame must be a Token frame (type 0x83)
// whose payload is exactly the token; until it is complete nothing reaches
// the engine, and a connection whose first bytes cannot be that frame is
// refused at once. At most a Token frame's worth of bytes is held.
//
// After it, the bytes go on to the engine as they came, cut only where a
// Position report's swap count has to be corrected: when the bridge merged
// Swaps the peer never received (bridge-queue.js), the peer's count is short
// by that many, and swapOffset() says by how much.
//
// Not thread-safe (the host's one JavaScript thread).
const crypto = require('crypto');

const TOKEN = 0x83;
const POSITION = 0x81;
const MAX_TOKEN_BYTES = 64;
const MAX_FRAME_LENGTH = 268435456;
const POSITION_HEAD = 12; // f64 play head, i32 swap count

class Inbound {
  // token: a string, or null for no check.
  // onAdmit(rest): the token matched; rest is data that followed it.
  // onRefuse(reason): the connection must be closed.
  // onData(bytes): data for the engine.
  // swapOffset(): Swaps to add to the peer's reported count.
  constructor({ token, onAdmit, onRefuse, onData, swapOffset = () => 0 }) {
    this.token = token === null || token === undefined ? null : Buffer.from(token, 'utf8');
    this.onAdmit = onAdmit;
    this.onRefuse = onRefuse;
    this.onData = onData;
    this.swapOffset = swapOffset;
    this.admitted = this.token === null;
    this.held = Buffer.alloc(0); // the token frame so far
    // frame scanner: header bytes of the next frame, payload bytes left
    this.head = Buffer.alloc(5);
    this.headGot = 0;
    this.left = 0;
    this.position = null; // { bytes, got } while a Position head is held
    this.lost = false; // an invalid length: pass everything on, the engine drops it
  }

  feed(chunk) {
    if (this.admitted) {
      this.forward(chunk);
      return;
    }
    const room = 5 + MAX_TOKEN_BYTES - this.held.length;
    const take = chunk.subarray(0, room);
    this.held = Buffer.concat([this.held, take]);
    if (this.held.length < 5) return;
    const length = this.held.readUInt32LE(0);
    if (this.held[4] !== TOKEN || length < 2 || length > 1 + MAX_TOKEN_BYTES) {
      this.onRefuse('bad token');
      return;
    }
    if (this.held.length < 4 + length) return;
    const given = this.held.subarray(5, 4 + length);
    if (given.length !== this.token.length || !crypto.timingSafeEqual(given, this.token)) {
      this.onRefuse('bad token');
      return;
    }
    const rest = Buffer.concat([this.held.subarray(4 + length), chunk.subarray(room)]);
    this.held = null;
    this.admitted = true;
    this.onAdmit();
    if (rest.length) this.forward(rest);
  }

  // Hands the bytes on, following the frame boundaries so that a Position's
  // swap count can be raised by swapOffset().
  forward(chunk) {
    if (this.lost) {
      this.onData(chunk);
      return;
    }
    let from = 0; // start of bytes not yet handed on
    let i = 0;
    while (i < chunk.length) {
      if (this.position) {
        const p = this.position;
        const n = Math.min(POSITION_HEAD - p.got, chunk.length - i);
        chunk.copy(p.bytes, p.got, i, i + n);
        p.got += n;
        i += n;
        this.left -= n;
        from = i;
        if (p.got === POSITION_HEAD) {
          this.position = null;
          const count = p.bytes.readInt32LE(8);
          const offset = this.swapOffset();
          if (count >= 0 && count <= 0x7fffffff - offset) p.bytes.writeInt32LE(count + offset, 8);
          this.onData(p.bytes);
        }
        continue;
      }
      if (this.left > 0) {
        const n = Math.min(this.left, chunk.length - i);
        i += n;
        this.left -= n;
        continue;
      }
      const n = Math.min(5 - this.headGot, chunk.length - i);
      chunk.copy(this.head, this.headGot, i, i + n);
      this.headGot += n;
      i += n;
      if (this.headGot < 5) continue;
      this.headGot = 0;
      const length = this.head.readUInt32LE(0);
      if (length === 0 || length > MAX_FRAME_LENGTH) {
        this.lost = true;
        break;
      }
      this.left = length - 1;
      if (this.head[4] === POSITION && this.left >= POSITION_HEAD && this.swapOffset() !== 0) {
        // Hold the report's head back until it is whole, then correct it.
        if (i > from) this.onData(chunk.subarray(from, i));
        from = i;
        this.position = { bytes: Buffer.alloc(POSITION_HEAD), got: 0 };
      }
    }
    if (this.lost) {
      this.onData(chunk.subarray(from));
      return;
    }
    if (chunk.length > from) this.onData(from === 0 ? chunk : chunk.subarray(from));
  }
}

module.exports = { Inbound, MAX_TOKEN_BYTES };
