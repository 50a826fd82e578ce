// @ts-check
'use strict';
// node.script's entry when the device is opened from this source checkout
// (Max finds it beside Omber.maxpat); the Max package carries its own.
require('../host/max.js').startInMax().started.catch(() => {});
