'use strict';
// Package entry: loads the omber-core addon built by CMake and exports
// { dispatch, onOutlet }. OMBER_ADDON (a file) or OMBER_BUILD_DIR (a CMake
// build folder) may point at another build, for example a sanitizer build.
const path = require('path');
const fs = require('fs');

function findAddon() {
  const candidates = [
    process.env.OMBER_ADDON,
    process.env.OMBER_BUILD_DIR && path.join(process.env.OMBER_BUILD_DIR, 'addon', 'omber-core.node'),
    path.join(__dirname, 'build', 'addon', 'omber-core.node'),
    path.join(__dirname, 'build', 'omber-core.node'),
  ].filter(Boolean).map((file) => path.resolve(file));  // require() needs absolute paths
  for (const file of candidates) {
    if (fs.existsSync(file)) return file;
  }
  throw new Error(
    'omber-core.node not found; build it first (scripts/test builds everything), looked in:\n  ' +
      candidates.join('\n  '));
}

module.exports = require(findAddon());
