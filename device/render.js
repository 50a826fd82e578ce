'use strict';
// Draws the device's presentation view from the patch file: every box with
// presentation 1 at its presentation rectangle, with its label and initial
// value, as Live shows a device (169 px high). Writes SVG, and a PNG when
// rsvg-convert (Debian's librsvg2-bin) is installed.
//
// Run: node device/render.js [device/Omber.maxpat] [docs/device.png]
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');

const COLORS = {
  device: '#3e3e3e', panel: '#2d2d2d', text: '#d9d9d9', dim: '#9a9a9a', accent: '#f5a623',
  field: '#1e1e1e', border: '#5a5a5a', arc: '#707070', band: '#4a90b8',
};

function esc(text) {
  return String(text).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;');
}

const textAt = (x, y, text, { size = 9, color = COLORS.text, anchor = 'start', weight = 'normal' } = {}) =>
  `<text x="${x}" y="${y}" font-family="DejaVu Sans, Arial, sans-serif" font-size="${size}" fill="${color}" text-anchor="${anchor}" font-weight="${weight}">${esc(text)}</text>`;
const rect = (x, y, w, h, fill, stroke = COLORS.border, r = 2) =>
  `<rect x="${x}" y="${y}" width="${w}" height="${h}" rx="${r}" fill="${fill}" stroke="${stroke}" stroke-width="1"/>`;

function valueof(box) {
  return (box.saved_attribute_attributes && box.saved_attribute_attributes.valueof) || {};
}

function initialText(v) {
  const x = Array.isArray(v.parameter_initial) ? v.parameter_initial[0] : v.parameter_mmin;
  if (v.parameter_type === 2) return (v.parameter_enum || [])[x] || '';
  if (v.parameter_unitstyle === 9 && v.parameter_units) return v.parameter_units.replace('%d', String(x));
  return v.parameter_type === 0 ? Number(x).toFixed(2) : String(x);
}

function drawBox(box) {
  const [x, y, w, h] = box.presentation_rect;
  const v = valueof(box);
  switch (box.maxclass) {
    case 'live.dial': {
      const cx = x + w / 2;
      const cy = y + 20;
      const r = 12;
      const lo = v.parameter_mmin;
      const hi = v.parameter_mmax;
      const init = Array.isArray(v.parameter_initial) ? v.parameter_initial[0] : lo;
      const frac = hi > lo ? (init - lo) / (hi - lo) : 0;
      const a0 = Math.PI * 0.75;
      const a1 = a0 + Math.PI * 1.5 * frac;
      const pt = (a) => `${(cx + r * Math.cos(a)).toFixed(1)} ${(cy + r * Math.sin(a)).toFixed(1)}`;
      const arc = (from, to, color) => `<path d="M ${pt(from)} A ${r} ${r} 0 ${to - from > Math.PI ? 1 : 0} 1 ${pt(to)}" fill="none" stroke="${color}" stroke-width="3"/>`;
      return [
        textAt(cx, y + 6, v.parameter_shortname, { size: 8, anchor: 'middle' }),
        arc(a0, a0 + Math.PI * 1.5, COLORS.arc),
        frac > 0 ? arc(a0, a1, COLORS.accent) : '',
        `<line x1="${cx}" y1="${cy}" x2="${pt(a1).split(' ')[0]}" y2="${pt(a1).split(' ')[1]}" stroke="${COLORS.text}" stroke-width="1.5"/>`,
        textAt(cx, y + h - 1, initialText(v), { size: 8, anchor: 'middle', color: COLORS.dim }),
      ].join('');
    }
    case 'live.numbox':
      return rect(x, y, w, h, COLORS.field) + textAt(x + w / 2, y + h - 4, initialText(v), { anchor: 'middle' });
    case 'live.menu':
      return rect(x, y, w, h, COLORS.field) + textAt(x + 3, y + h - 4, initialText(v)) + textAt(x + w - 3, y + h - 4, '▾', { anchor: 'end', color: COLORS.dim });
    case 'live.text':
      return rect(x, y, w, h, '#555555', COLORS.border, 3) + textAt(x + w / 2, y + h - 5, box.text, { anchor: 'middle' });
    case 'textedit':
      return rect(x, y, w, h, COLORS.field) + textAt(x + 3, y + 11, box.varname.replace(/_/g, ' ').toLowerCase() + '…', { color: '#6c6c6c' });
    case 'comment':
      return textAt(x, y + (box.fontsize && box.fontsize < 10 ? 9 : 11), box.text, { size: box.fontsize || 10, color: box.fontsize && box.fontsize < 10 ? COLORS.dim : COLORS.text });
    case 'multislider': {
      const bars = [];
      for (let i = 0; i < 100; i++) {
        const level = 0.15 + 0.35 * Math.abs(Math.sin(i * 0.37)) * (0.6 + 0.4 * Math.abs(Math.sin(i * 0.05)));
        const bh = level * h;
        bars.push(`<rect x="${(x + 1 + (i * (w - 2)) / 100).toFixed(1)}" y="${(y + (h - bh) / 2).toFixed(1)}" width="${((w - 2) / 100 - 0.4).toFixed(2)}" height="${bh.toFixed(1)}" fill="#585858"/>`);
      }
      return rect(x, y, w, h, COLORS.field) + bars.join('') + textAt(x + 3, y + 9, 'source (peaks)', { color: COLORS.dim, size: 7 });
    }
    case 'rslider':
      return rect(x, y, w, h, COLORS.field) + `<rect x="${x + w * 0.25}" y="${y + 1}" width="${w * 0.25}" height="${h - 2}" fill="${COLORS.band}"/>`;
    case 'slider':
      return rect(x, y, w, h, COLORS.field) + `<rect x="${x + w * 0.37}" y="${y + 1}" width="2" height="${h - 2}" fill="${COLORS.accent}"/>`;
    case 'flonum':
    case 'number':
      return rect(x, y, w, h, COLORS.field) + textAt(x + w - 3, y + h - 4, '0.0', { anchor: 'end' });
    default:
      return rect(x, y, w, h, 'none', '#ff00ff');
  }
}

function renderSvg(doc, { scale = 2 } = {}) {
  const p = doc.patcher;
  const width = p.devicewidth || 800;
  const height = 169;
  const shown = p.boxes.map((b) => b.box).filter((b) => b.presentation === 1 && b.presentation_rect);
  const body = shown.map(drawBox).join('\n');
  return `<svg xmlns="http://www.w3.org/2000/svg" width="${width * scale}" height="${height * scale}" viewBox="0 0 ${width} ${height}">
<rect x="0" y="0" width="${width}" height="${height}" fill="${COLORS.device}"/>
${body}
</svg>
`;
}

if (require.main === module) {
  const input = process.argv[2] || path.join(__dirname, 'Omber.maxpat');
  const output = process.argv[3] || path.join(__dirname, '..', 'docs', 'device.png');
  const svg = renderSvg(JSON.parse(fs.readFileSync(input, 'utf8')));
  const svgPath = output.replace(/\.png$/, '.svg');
  fs.writeFileSync(svgPath, svg);
  try {
    execFileSync('rsvg-convert', ['-o', output, svgPath]);
    fs.rmSync(svgPath);
    console.log(`wrote ${output}`);
  } catch {
    console.log(`wrote ${svgPath} (no PNG: rsvg-convert failed or is missing: apt-get install librsvg2-bin)`);
  }
}

module.exports = { renderSvg };
