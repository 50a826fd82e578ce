'use strict';
// An engine module for the front-end tests: answers "hello" with a status
// line and a "peaks" report, and records everything it was sent.
let outlet = null;
const received = [];
module.exports = {
  received,
  onOutlet(fn) { outlet = fn; },
  dispatch(selector, ...args) {
    received.push([selector, ...args]);
    if (selector === 'hello') {
      outlet('ui:status', `hi ${args.join(' ')}`);
      outlet('peaks', 0, 2, 0.5);
    }
  },
};
