'use strict';
// Builds a Max patcher document (.maxpat JSON) box by box. Every box gets
// its inlet and outlet counts from objects.js, so the generator cannot
// disagree with the checker about them; omber~ boxes take theirs from
// `omberSpec` (what the headless Max host reports).
const { specOf } = require('./objects');

const UNIT_STYLES = { int: 0, float: 1, time: 2, hz: 3, db: 4, percent: 5, pan: 6, semitones: 7, midi: 8, custom: 9, native: 10 };
const PARAMETER_TYPES = { float: 0, int: 1, enum: 2, blob: 3 };

class PatchBuilder {
  constructor({ omberSpec = { inlets: 2, outlets: ['signal', 'signal'] }, rect = [80, 80, 1400, 900] } = {}) {
    this.omberSpec = omberSpec;
    this.rect = rect;
    this.boxes = [];
    this.lines = [];
    this.next = 1;
    this.cursor = { x: 20, y: 20, col: 0 };
  }

  // Patching positions: boxes fill rows of six columns, in the order made.
  place(width) {
    const at = [20 + this.cursor.col * 190, this.cursor.y, Math.min(width, 180), 22];
    this.cursor.col += 1;
    if (this.cursor.col === 6) {
      this.cursor.col = 0;
      this.cursor.y += 34;
    }
    return at;
  }

  // A box; `attrs` are written as they are (presentation_rect, varname,
  // parameter attributes...). Returns its id.
  box(maxclass, attrs = {}) {
    const id = `obj-${this.next++}`;
    const b = { id, maxclass, ...attrs };
    const spec = maxclass === 'newobj' && /^omber~(\s|$)/.test(String(attrs.text)) ? this.omberSpec : specOf(b);
    if (!spec) throw new Error(`no spec for ${maxclass} ${attrs.text || ''}`);
    b.numinlets = spec.inlets;
    b.numoutlets = spec.outlets.length;
    if (spec.outlets.length) b.outlettype = spec.outlets.slice();
    if (!b.patching_rect) b.patching_rect = this.place(attrs.presentation_rect ? attrs.presentation_rect[2] : 120);
    if (attrs.presentation_rect) b.presentation = 1;
    this.boxes.push(b);
    return id;
  }

  obj(text, attrs = {}) { return this.box('newobj', { text, ...attrs }); }
  msg(text, attrs = {}) { return this.box('message', { text, ...attrs }); }
  comment(text, rect, attrs = {}) { return this.box('comment', { text, ...(rect ? { presentation_rect: rect } : {}), ...attrs }); }

  // A live.* parameter object. p: { long, short, type ('float', 'int',
  // 'enum'), min, max, initial, unit, units, items }.
  param(maxclass, p, attrs = {}) {
    const valueof = {
      parameter_longname: p.long,
      parameter_shortname: p.short,
      parameter_type: PARAMETER_TYPES[p.type],
    };
    // A stored value (a blob) is saved with the Live Set but not automated.
    if (p.type === 'blob') valueof.parameter_invisible = 1;
    if (p.type === 'enum') {
      valueof.parameter_enum = p.items.slice();
      valueof.parameter_mmax = p.items.length - 1;
    } else if (p.type !== 'blob') {
      valueof.parameter_mmin = p.min;
      valueof.parameter_mmax = p.max;
      valueof.parameter_unitstyle = UNIT_STYLES[p.unit || p.type];
      if (p.units) valueof.parameter_units = p.units;
    }
    if (p.initial !== undefined) {
      valueof.parameter_initial = [p.initial];
      valueof.parameter_initial_enable = 1;
    }
    return this.box(maxclass, {
      parameter_enable: 1,
      varname: p.long,
      saved_attribute_attributes: { valueof },
      ...attrs,
    });
  }

  connect(source, outlet, destination, inlet = 0) {
    this.lines.push({ patchline: { source: [source, outlet], destination: [destination, inlet] } });
  }

  // Several cords from one outlet.
  fan(source, outlet, destinations) {
    for (const d of destinations) this.connect(source, outlet, ...(Array.isArray(d) ? d : [d, 0]));
  }

  document({ openInPresentation = 1, devicewidth = 0, extra = {} } = {}) {
    return {
      patcher: {
        fileversion: 1,
        appversion: { major: 8, minor: 6, revision: 0, architecture: 'x64', modernui: 1 },
        classnamespace: 'box',
        rect: this.rect,
        openinpresentation: openInPresentation,
        default_fontsize: 10.0,
        default_fontname: 'Arial',
        gridsize: [8.0, 8.0],
        ...(devicewidth ? { devicewidth } : {}),
        ...extra,
        boxes: this.boxes.map((box) => ({ box })),
        lines: this.lines,
      },
    };
  }
}

module.exports = { PatchBuilder, UNIT_STYLES, PARAMETER_TYPES };
