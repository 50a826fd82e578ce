'use strict';
// Loads the omber-core engine the way a user's host does: by requiring the
// package root, which finds build/addon/omber-core.node (or $OMBER_ADDON, or
// $OMBER_BUILD_DIR/addon/omber-core.node).
const path = require('path');

function loadEngine(modulePath = null) {
  return require(modulePath ? path.resolve(modulePath) : '..');
}

module.exports = { loadEngine };
