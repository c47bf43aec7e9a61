// The colours of the source: each token as the assembler reads it, from the
// language server's semantic tokens, by the token types of its legend.
//
// Where the browser has highlights of text (the CSS Custom Highlight API),
// the colours are drawn as highlights over the lines the editor shows, not
// as marks inside them. A new colour then changes no element of the editor,
// so the browser lays nothing out again for it: the typed line, whose
// colours change at nearly every keystroke, is drawn once, not twice.
import { RangeSet, StateEffect, StateField } from '@codemirror/state';
import { Decoration, EditorView, ViewPlugin } from '@codemirror/view';

export const CLASS_OF_TYPE = {
  function: 'qm-label', keyword: 'qm-mnemonic', macro: 'qm-directive', parameter: 'qm-register',
  number: 'qm-number', variable: 'qm-name', comment: 'qm-comment',
};

const highlights = globalThis.CSS?.highlights;

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

// The places (from, to in the new text) where two sets of colours differ.
function changedColours(before, after, changes) {
  const places = [];
  const add = (from, to) => {
    const last = places.at(-1);
    if (last && from <= last.to) last.to = Math.max(last.to, to);
    else places.push({ from, to });
  };
  RangeSet.compare([before], [after], changes, {
    compareRange: add, comparePoint: add, boundChange: (pos) => add(pos, pos),
  });
  return places;
}

// Draws the colours as highlights. Each line the editor shows has its own
// ranges, made again when the editor changes the line's elements (which
// moves or drops the ranges inside them) or the line's colours change.
const painter = ViewPlugin.fromClass(class {
  constructor(view) {
    this.view = view;
    this.rangesOf = new Map();  // a line's element -> [highlight, range] pairs
    this.changed = [];  // where the colours changed, not yet drawn
    this.dirty = new Set();  // lines whose elements changed, not yet drawn
    // Changes the editor made outside an update wait for the next; an
    // update follows each change of the text the browser makes itself.
    this.observer = new MutationObserver((records) => this.note(records));
    this.observer.observe(view.contentDOM, { childList: true, subtree: true, characterData: true });
    for (const line of view.contentDOM.children) this.dirty.add(line);
  }

  update(u) {
    // Drawn at the end of this same update. The new colours of a line
    // differ from the old where a new set was made, and where colours were
    // set again; typing moves or takes away only colours of lines it
    // changes, which the editor draws again.
    let whole = false;
    for (const tr of u.transactions) {
      this.changed = this.changed.map(({ from, to }) => ({ from: tr.changes.mapPos(from, -1), to: tr.changes.mapPos(to, 1) }));
      for (const e of tr.effects) {
        if (e.is(setColours)) whole = true;
        if (e.is(recolour)) this.changed.push({ from: e.value.from, to: e.value.to });
      }
    }
    if (whole) this.changed = changedColours(u.startState.field(colours), u.state.field(colours), u.changes);
  }

  // The line elements the editor changed, added or took away.
  note(records) {
    const content = this.view.contentDOM;
    for (const r of records) {
      if (r.target === content) {
        for (const gone of r.removedNodes) this.forget(gone);
        for (const line of r.addedNodes) this.dirty.add(line);
        continue;
      }
      let line = r.target;
      while (line && line.parentNode !== content) line = line.parentNode;
      if (line) this.dirty.add(line);
    }
  }

  forget(line) {
    for (const [highlight, range] of this.rangesOf.get(line) ?? []) highlight.delete(range);
    this.rangesOf.delete(line);
  }

  // After the editor's elements are up to date.
  draw() {
    const { view } = this;
    this.note(this.observer.takeRecords());
    const content = view.contentDOM;
    const { doc } = view.state;
    if (this.changed.length && doc.lineAt(this.changed[0].from).number + 60 < doc.lineAt(this.changed.at(-1).to).number) {
      // Much changed: all lines shown.
      for (const line of content.children) this.dirty.add(line);
    } else {
      for (const { from, to } of this.changed) {
        for (let line = doc.lineAt(from); ; line = doc.line(line.number + 1)) {
          let element = view.domAtPos(line.from).node;
          while (element && element.parentNode !== content) element = element.parentNode;
          if (element) this.dirty.add(element);
          if (line.to >= to) break;
        }
      }
    }
    this.changed = [];
    for (const line of this.dirty) this.paint(line);
    this.dirty.clear();
  }

  paint(line) {
    this.forget(line);
    if (!line.isConnected || !line.classList?.contains('cm-line')) return;
    const { view } = this;
    const { from, to, text } = view.state.doc.lineAt(view.posAtDOM(line, 0));
    // A line's element holds its text as it is, in text nodes inside
    // marks, unless a widget stands in it: then the editor places each end.
    const plain = line.textContent === text;
    const walker = document.createTreeWalker(line, NodeFilter.SHOW_TEXT);
    let node = walker.nextNode();
    let before = 0;  // letters of the line before `node`
    const place = (pos, side) => {
      if (!plain) return view.domAtPos(pos, side);
      const at = pos - from;
      while (node && before + node.length < at + (side > 0 ? 1 : 0)) {
        before += node.length;
        node = walker.nextNode();
      }
      return node ? { node, offset: at - before } : view.domAtPos(pos, side);
    };
    const marks = [];
    view.state.field(colours).between(from, to, (f, t, mark) => {
      if (f < t) marks.push({ f, t, name: classOfMark.get(mark) });
    });
    // In order along the line, as the walk through its text goes.
    marks.sort((a, b) => a.f - b.f);
    const pairs = [];
    for (const { f, t, name } of marks) {
      let highlight = highlights.get(name);
      if (!highlight) highlights.set(name, highlight = new Highlight());
      const start = place(f, 1);
      const end = place(t, -1);
      // Static ranges: the browser need not follow them through each change
      // of the page, as it must live ones; a line's are made again when its
      // elements change.
      const range = new StaticRange({
        startContainer: start.node, startOffset: start.offset, endContainer: end.node, endOffset: end.offset,
      });
      highlight.add(range);
      pairs.push([highlight, range]);
    }
    if (pairs.length) this.rangesOf.set(line, pairs);
  }

  destroy() {
    this.observer.disconnect();
    for (const line of [...this.rangesOf.keys()]) this.forget(line);
  }
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
    if (highlights) this.extension.push(painter, EditorView.updateListener.of((u) => u.view.plugin(painter)?.draw()));
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
