// The colours of the source: each token as the assembler reads it, from the
// language server's semantic tokens, by the token types of its legend.
// They are drawn as highlights of the text where the browser has them.
import { StateEffect, StateField } from '@codemirror/state';
import { Decoration, EditorView } from '@codemirror/view';
import { changedRanges, highlightLayer, highlighting, highlights } from './highlights.js';

export const CLASS_OF_TYPE = {
  function: 'qm-label', keyword: 'qm-mnemonic', macro: 'qm-directive', parameter: 'qm-register',
  number: 'qm-number', variable: 'qm-name', comment: 'qm-comment',
};

const setColours = StateEffect.define();
// New colours for the text from `from` to `to` alone: `marks`, in order.
const recolour = StateEffect.define();
const colours = StateField.define({
  create: () => Decoration.none,
  update(value, tr) {
    let next = value.map(tr.changes);
    for (const e of tr.effects) {
      if (e.is(setColours)) next = e.value;
      if (e.is(recolour)) {
        const { from, to, marks } = e.value;
        next = next.update({ filterFrom: from, filterTo: to, filter: (f, t) => t < from || f > to, add: marks });
      }
    }
    return next;
  },
  // Marks inside the lines only where the browser cannot highlight.
  provide: (field) => (highlights ? [] : EditorView.decorations.from(field)),
});

// A semantic tokens answer as four numbers a token: its line (from 0),
// first letter, length and type, in the order of the answer.
function placedTokens(data) {
  const placed = new Uint32Array((data.length / 5 | 0) * 4);
  let line = 0;
  let start = 0;
  for (let i = 0, k = 0; i + 4 < data.length; i += 5, k += 4) {
    line += data[i];
    start = data[i] === 0 ? start + data[i + 1] : data[i + 1];
    placed[k] = line;
    placed[k + 1] = start;
    placed[k + 2] = data[i + 2];
    placed[k + 3] = data[i + 3];
  }
  return placed;
}

// The lines (from 0) from the first to the last whose tokens differ
// between two lists of placed tokens of texts with as many lines, or null.
function linesOfChange(a, b) {
  const same = (i, j) => a[i] === b[j] && a[i + 1] === b[j + 1] && a[i + 2] === b[j + 2] && a[i + 3] === b[j + 3];
  let head = 0;
  while (head < a.length && head < b.length && same(head, head)) head += 4;
  if (head === a.length && head === b.length) return null;
  let tailA = a.length;
  let tailB = b.length;
  while (tailA > head && tailB > head && same(tailA - 4, tailB - 4)) {
    tailA -= 4;
    tailB -= 4;
  }
  const lines = [a[head], b[head], a[tailA - 4], b[tailB - 4]].filter((l) => l !== undefined);
  return { first: Math.min(...lines), last: Math.max(...lines) };
}

// The colour marks of the placed tokens on lines `first` to `last` (from
// 0) of `doc`; `classes` by the legend's token types. A mark of each class
// serves all its tokens.
const markOfClass = new Map();
const classOfMark = new Map();
function colourMarks(doc, placed, classes, first = 0, last = Infinity) {
  const marks = [];
  for (let k = 0; k < placed.length; k += 4) {
    const line = placed[k];
    // The server also ends a line at a lone CR, which stays inside the
    // editor's line: such a text keeps the colours it can place.
    if (line > last || line >= doc.lines) break;
    if (line < first) continue;
    const l = doc.line(line + 1);
    const from = Math.min(l.from + placed[k + 1], l.to);
    const to = Math.min(from + placed[k + 2], l.to);
    const name = classes[placed[k + 3]];
    if (to > from && name) {
      if (!markOfClass.has(name)) {
        const mark = Decoration.mark({ class: name });
        markOfClass.set(name, mark);
        classOfMark.set(mark, name);
      }
      marks.push(markOfClass.get(name).range(from, to));
    }
  }
  return marks;
}

// Where the colours changed in an update, besides the moves of typing: all
// that a new set changed, or the text a `recolour` set again.
function changedColours(u) {
  let places = [];
  for (const tr of u.transactions) {
    places = places.map(({ from, to }) => ({ from: tr.changes.mapPos(from, -1), to: tr.changes.mapPos(to, 1) }));
    for (const e of tr.effects) {
      if (e.is(setColours)) return changedRanges(u.startState.field(colours), u.state.field(colours), u.changes);
      if (e.is(recolour)) places.push({ from: e.value.from, to: e.value.to });
    }
  }
  return places;
}
const colourLayer = highlightLayer.of({
  ranges: (state) => state.field(colours), name: (mark) => classOfMark.get(mark), changed: changedColours,
});

// The colours of an editor, set from each analysis's tokens.
export class Colouring {
  constructor() {
    // The placed tokens the colours were set from, in a text of how many
    // lines, and where text was typed or taken away since (from, to in the
    // text as it is), whose colours moved or went with it.
    this.coloured = null;
    this.touched = null;
    this.extension = [colours, EditorView.updateListener.of((u) => {
      if (!u.docChanged) return;
      const { touched } = this;
      let next = touched && { from: u.changes.mapPos(touched.from, -1), to: u.changes.mapPos(touched.to, 1) };
      u.changes.iterChangedRanges((fromA, toA, fromB, toB) => {
        next = next ? { from: Math.min(next.from, fromB), to: Math.max(next.to, toB) } : { from: fromB, to: toB };
      });
      this.touched = next;
    })];
    if (highlights) this.extension.push(colourLayer, highlighting);
  }

  // The change to the colours for the analysis's `tokens` of `doc`: only
  // the lines whose tokens changed, or that were edited, are coloured
  // again, so that only those are compared and drawn.
  change(doc, tokens, classes) {
    // Without the server's legend nothing is coloured, and all is coloured
    // once it comes.
    if (classes.length === 0) {
      this.coloured = null;
      return null;
    }
    const placed = placedTokens(tokens ?? []);
    const before = this.coloured;
    const edited = this.touched;
    this.coloured = { placed, lines: doc.lines };
    this.touched = null;
    if (!before || before.lines !== doc.lines) return setColours.of(Decoration.set(colourMarks(doc, placed, classes), true));
    let lines = linesOfChange(before.placed, placed);
    if (edited) {
      const first = doc.lineAt(edited.from).number - 1;
      const last = doc.lineAt(edited.to).number - 1;
      lines = lines ? { first: Math.min(lines.first, first), last: Math.max(lines.last, last) } : { first, last };
    }
    if (!lines) return null;
    const from = doc.line(Math.min(lines.first, doc.lines - 1) + 1).from;
    const to = doc.line(Math.min(lines.last, doc.lines - 1) + 1).to;
    return recolour.of({ from, to, marks: colourMarks(doc, placed, classes, lines.first, lines.last) });
  }
}
