'use strict';
// How the host puts the engine's "ws:send" blobs on the WebSocket. The engine
// marks no difference between a JSON command and a binary payload, so the
// host decides by content: a blob is sent as a text frame exactly when it
// starts with "{", ends with "}", holds no control byte (below 0x20) and is
// valid UTF-8 -- which every compact JSON command the engine writes is, and
// which no audio message is (its little-endian channel and frame counts
// always carry zero or control bytes in practice). Everything else goes as a
// binary frame. The simulated pod accepts either kind for every message.
const { isUtf8 } = require('buffer');

function isJsonText(bytes) {
  const n = bytes.length;
  if (n < 2 || bytes[0] !== 0x7b || bytes[n - 1] !== 0x7d) return false;
  for (let i = 0; i < n; i++) {
    if (bytes[i] < 0x20) return false;
  }
  return isUtf8(bytes);
}

module.exports = { isJsonText };
