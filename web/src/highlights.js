// Ranges of the text drawn as the browser's highlights (the CSS Custom
// Highlight API), not as marks inside the lines. A range that comes, goes
// or moves changes no element of the editor, so the browser lays nothing
// out again for it: the typed line, whose colours and findings change at
// nearly every keystroke, is laid out once, not twice.
import { Facet, RangeSet } from '@codemirror/state';
import { EditorView, ViewPlugin } from '@codemirror/view';

export const highlights = globalThis.CSS?.highlights;

// A layer of ranges drawn as highlights:
// - `ranges(state)`, a RangeSet;
// - `name(value)`, the highlight a range of that value is drawn in (none:
//   not drawn);
// - `changed(update)`, the places (from, to in the new text) where the
//   layer's ranges may differ from what it drew before the update, other
//   than those the update's changes of the text moved.
export const highlightLayer = Facet.define();

// The places (from, to in the new text) where two range sets differ.
export function changedRanges(before, after, changes) {
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

// Where a line's text stands in its element: its text nodes and the
// letters of the line before each.
function textNodes(line) {
  const nodes = [];
  const starts = [];
  const walker = document.createTreeWalker(line, NodeFilter.SHOW_TEXT);
  let before = 0;
  for (let node = walker.nextNode(); node; node = walker.nextNode()) {
    nodes.push(node);
    starts.push(before);
    before += node.length;
  }
  return { nodes, starts };
}

// The stretches of a line (from, to in the text) that its element shows as
// text; all of it when the element holds its `whole` text. The editor
// shows a line of many thousand letters only around the view, the rest as
// a gap: only what is shown is highlighted, so that a line of a mebibyte
// costs the ranges of a screenful, not of the line.
function shownText(view, line, from, to, whole) {
  if (whole) return [{ from, to }];
  const shown = [];
  const children = line.childNodes;
  let at = view.posAtDOM(line, 0);
  for (let i = 0; i < children.length; i++) {
    const next = i + 1 < children.length ? view.posAtDOM(line, i + 1) : to;
    // Text stands for as many letters as it holds; a gap or a widget does not.
    if (next > at && children[i].textContent.length === next - at) {
      const last = shown.at(-1);
      if (last && last.to === at) last.to = next;
      else shown.push({ from: at, to: next });
    }
    at = next;
  }
  return shown;
}

// Draws the layers. Each line the editor shows has its own ranges, made
// again when the editor changes the line's elements (which moves or drops
// the ranges inside them) or a layer's ranges on the line change.
const painter = ViewPlugin.fromClass(class {
  constructor(view) {
    this.view = view;
    this.rangesOf = new Map();  // a line's element -> [highlight, range, key] triples
    this.changed = [];  // where the layers changed, not yet drawn
    this.dirty = new Set();  // lines whose elements changed, not yet drawn
    this.recoloured = new Set();  // lines whose layers changed, not yet drawn
    // Changes the editor made outside an update wait for the next; an
    // update follows each change of the text the browser makes itself.
    this.observer = new MutationObserver((records) => this.note(records));
    this.observer.observe(view.contentDOM, { childList: true, subtree: true, characterData: true });
    for (const line of view.contentDOM.children) this.dirty.add(line);
  }

  update(u) {
    // Drawn at the end of this same update. Typing moves or takes away only
    // ranges of the lines it changes, which the editor draws again.
    this.changed = u.state.facet(highlightLayer).flatMap((layer) => layer.changed(u)).sort((a, b) => a.from - b.from);
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
    const { changed } = this;
    if (changed.length && doc.lineAt(changed[0].from).number + 60 < doc.lineAt(Math.max(...changed.map((c) => c.to))).number) {
      // Much changed: all lines shown.
      for (const line of content.children) this.recoloured.add(line);
    } else {
      for (const { from, to } of changed) {
        for (let line = doc.lineAt(from); ; line = doc.line(line.number + 1)) {
          let element = view.domAtPos(line.from).node;
          while (element && element.parentNode !== content) element = element.parentNode;
          if (element) this.recoloured.add(element);
          if (line.to >= to) break;
        }
      }
    }
    this.changed = [];
    for (const line of this.dirty) this.paint(line, false);
    for (const line of this.recoloured) if (!this.dirty.has(line)) this.paint(line, true);
    this.dirty.clear();
    this.recoloured.clear();
  }

  // Draws a line's ranges again. Where the editor left the line's elements
  // as they were (only the layers changed), a range drawn before for the
  // same letters in the same highlight stays: an analysis mostly changes a
  // few of a line's colours and findings, not all.
  paint(line, keep) {
    const before = new Map();
    if (keep) {
      for (const triple of this.rangesOf.get(line) ?? []) {
        const same = before.get(triple[2]);
        if (same) same.push(triple); else before.set(triple[2], [triple]);
      }
      this.rangesOf.delete(line);
    } else {
      this.forget(line);
    }
    const dropRest = () => {
      for (const triples of before.values()) for (const [highlight, range] of triples) highlight.delete(range);
    };
    if (!line.isConnected || !line.classList?.contains('cm-line')) {
      dropRest();
      return;
    }
    const { view } = this;
    const { from, to, text } = view.state.doc.lineAt(view.posAtDOM(line, 0));
    // A line's element holds its text as it is, in text nodes inside
    // marks, unless a widget with text stands in it: then the editor
    // places each end.
    let place = (pos, side) => view.domAtPos(pos, side);
    const whole = line.textContent === text;
    if (whole) {
      const { nodes, starts } = textNodes(line);
      place = (pos, side) => {
        // The last node that starts before the place, or at it when a
        // range begins there.
        const at = pos - from;
        let low = 0;
        let high = nodes.length;
        while (low < high) {
          const middle = (low + high) >> 1;
          if (starts[middle] < at || (side > 0 && starts[middle] === at)) low = middle + 1; else high = middle;
        }
        const i = Math.max(0, low - 1);
        return nodes[i] ? { node: nodes[i], offset: at - starts[i] } : view.domAtPos(pos, side);
      };
    }
    const triples = [];
    const stretches = shownText(view, line, from, to, whole);
    for (const layer of view.state.facet(highlightLayer)) {
      for (const shown of stretches) layer.ranges(view.state).between(shown.from, shown.to, (f, t, value) => {
        f = Math.max(f, shown.from);
        t = Math.min(t, shown.to);
        const name = f < t ? layer.name(value) : null;
        if (!name) return;
        const key = `${name} ${f - from} ${t - from}`;
        const kept = before.get(key)?.pop();
        if (kept) {
          triples.push(kept);
          return;
        }
        let highlight = highlights.get(name);
        if (!highlight) highlights.set(name, highlight = new Highlight());
        const start = place(f, 1);
        const end = place(t, -1);
        // Static ranges: the browser need not follow them through each
        // change of the page, as it must live ones; a line's are made
        // again when its elements change.
        const range = new StaticRange({
          startContainer: start.node, startOffset: start.offset, endContainer: end.node, endOffset: end.offset,
        });
        highlight.add(range);
        triples.push([highlight, range, key]);
      });
    }
    dropRest();
    if (triples.length) this.rangesOf.set(line, triples);
  }

  destroy() {
    this.observer.disconnect();
    for (const line of [...this.rangesOf.keys()]) this.forget(line);
  }
});

// The painter, drawn at the end of each update; nothing where the browser
// cannot highlight.
export const highlighting = highlights ? [painter, EditorView.updateListener.of((u) => u.view.plugin(painter)?.draw())] : [];
