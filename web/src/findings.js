// The findings of the source in the editor: a wavy line under each (a
// highlight of the text where the browser has them), a marker beside each
// line that has some, their messages, names and fixes on hover, and the
// fixes by keyboard.
import { RangeSet, RangeValue, StateEffect, StateField } from '@codemirror/state';
import {
  Decoration, EditorView, GutterMarker, WidgetType, closeHoverTooltips, gutter, hoverTooltip, showTooltip,
} from '@codemirror/view';
import { changedRanges, highlightLayer, highlighting, highlights } from './highlights.js';

// Whether two findings say the same: message, -W name (`source`) and the
// names of their fixes (`actions`, { name, apply(view, from, to) }).
function sameSaid(a, b) {
  const x = a.actions ?? [];
  const y = b.actions ?? [];
  return a.message === b.message && a.source === b.source && x.length === y.length && x.every((f, i) => f.name === y[i].name);
}

// A finding where it stands.
class Found extends RangeValue {
  constructor({ message, source, actions }) {
    super();
    this.message = message;
    this.source = source;
    this.actions = actions ?? [];
  }

  eq(other) { return sameSaid(this, other); }
}

// A finding on no letter (at the end of a line): a small mark below its place.
class PointWidget extends WidgetType {
  eq() { return true; }
  toDOM() { return Object.assign(document.createElement('span'), { className: 'qm-finding-point' }); }
}
const point = Decoration.widget({ widget: new PointWidget(), side: 1 });
const under = Decoration.mark({ class: 'qm-finding' });

// New findings, as { from, to, message, source, actions } in the order of
// their places.
const setFindings = StateEffect.define();
// The findings (`found`), and the decorations that draw those that are not
// highlights (`shown`).
const findings = StateField.define({
  create: () => ({ found: RangeSet.empty, shown: Decoration.none }),
  update(value, tr) {
    let next = tr.docChanged ? { found: value.found.map(tr.changes), shown: value.shown.map(tr.changes) } : value;
    for (const e of tr.effects) {
      if (!e.is(setFindings)) continue;
      const found = RangeSet.of(e.value.map((f) => new Found(f).range(f.from, f.to)), true);
      const shown = [];
      for (const f of e.value) {
        if (f.from === f.to) shown.push(point.range(f.from));
        else if (!highlights) shown.push(under.range(f.from, f.to));
      }
      next = { found, shown: Decoration.set(shown, true) };
    }
    return next;
  },
  provide: (field) => EditorView.decorations.from(field, (value) => value.shown),
});
const findingLayer = highlightLayer.of({
  ranges: (state) => state.field(findings).found,
  name: () => 'qm-finding',
  changed: (u) => (u.transactions.some((tr) => tr.effects.some((e) => e.is(setFindings)))
    ? changedRanges(u.startState.field(findings).found, u.state.field(findings).found, u.changes) : []),
});

// Calls `f(from, to, found)` for each finding that starts from `from` to
// `to`, in the order of their places.
function eachFinding(state, from, to, f) {
  state.field(findings).found.between(from, to, (start, end, found) => {
    if (start >= from) return f(start, end, found);
    return undefined;
  });
}

// Whether the editor shows `list` as its findings.
function sameFindings(state, list) {
  let i = 0;
  let same = true;
  state.field(findings).found.between(0, state.doc.length, (from, to, found) => {
    const f = list[i++];
    same = f !== undefined && f.from === from && f.to === to && sameSaid(found, f);
    return same ? undefined : false;
  });
  return same && i === list.length;
}

// What to dispatch to show `list` (as `setFindings` takes it) as the
// findings of the editor of `state`: nothing when it shows them already.
export const showFindingsIn = (state, list) => (sameFindings(state, list) ? {} : { effects: setFindings.of(list) });

// The finding after `pos` (`dir` 1) or before it (-1), from the last or the
// first when there is none: its place, or null without findings.
export function nearFinding(state, pos, dir) {
  const places = [];
  eachFinding(state, 0, state.doc.length, (from, to) => { places.push({ from, to }); });
  if (dir > 0) return places.find((p) => p.from > pos) ?? places[0] ?? null;
  return places.findLast((p) => p.from < pos) ?? places.at(-1) ?? null;
}

// A list of findings with their names and a button for each fix, as hover
// shows them; `close` hides it. A fix applies where the finding stands, as
// long as the text is the one the list was made for.
function findingsList(view, items, close) {
  const doc = view.state.doc;
  const dom = document.createElement('ul');
  dom.className = 'qm-findings-tip';
  for (const { from, to, found } of items) {
    const li = document.createElement('li');
    li.append(Object.assign(document.createElement('span'), { className: 'qm-finding-message', textContent: found.message }));
    for (const action of found.actions) {
      const button = Object.assign(document.createElement('button'), { type: 'button', textContent: action.name });
      button.addEventListener('click', () => {
        close();
        if (view.state.doc === doc) action.apply(view, from, to);
      });
      li.append(button);
    }
    li.append(Object.assign(document.createElement('div'), { className: 'qm-finding-name', textContent: found.source }));
    dom.append(li);
  }
  return dom;
}

// Hover over a finding: its message, name and fixes, and those of any
// other finding at the place.
const findingsHover = hoverTooltip((view, pos, side) => {
  const items = [];
  view.state.field(findings).found.between(pos - (side < 0 ? 1 : 0), pos + (side > 0 ? 1 : 0), (from, to, found) => {
    if (from === to || ((pos > from || side > 0) && (pos < to || side < 0))) items.push({ from, to, found });
  });
  if (!items.length) return null;
  return {
    pos: Math.min(...items.map((i) => i.from)),
    end: Math.max(...items.map((i) => i.to)),
    above: true,
    create: () => ({ dom: findingsList(view, items, () => view.dispatch({ effects: closeHoverTooltips })) }),
  };
}, { hideOnChange: true });

// A tooltip that stays until it is set again or the text changes: the
// effect that sets it (null hides it) and the field that holds it.
function tooltipUntilEdit() {
  const set = StateEffect.define();
  const field = StateField.define({
    create: () => null,
    update(value, tr) {
      for (const e of tr.effects) if (e.is(set)) return e.value;
      return tr.docChanged ? null : value;
    },
    provide: (f) => showTooltip.from(f),
  });
  return [set, field];
}

// The markers beside the lines that have findings. They are set again only
// when those lines change, so that a keystroke that changes a finding's
// text leaves the gutter as it is. Hovering a marker shows the findings of
// its line and their fixes.
const [setMarkerTip, markerTip] = tooltipUntilEdit();
function markerTipOf(view, marker) {
  const line = view.lineBlockAtHeight(marker.getBoundingClientRect().top + 5 - view.documentTop);
  const items = [];
  eachFinding(view.state, line.from, line.to, (from, to, found) => { items.push({ from, to, found }); });
  const dom = findingsList(view, items, () => view.dispatch({ effects: setMarkerTip.of(null) }));
  dom.addEventListener('mouseleave', (e) => {
    if (e.relatedTarget !== marker && view.state.field(markerTip)) view.dispatch({ effects: setMarkerTip.of(null) });
  });
  return { pos: line.from, above: false, clip: false, create: () => ({ dom, getCoords: () => marker.getBoundingClientRect() }) };
}
class FindingsMarker extends GutterMarker {
  eq() { return true; }
  toDOM(view) {
    const dom = document.createElement('div');
    dom.className = 'qm-finding-marker';
    let timer = 0;
    dom.addEventListener('mouseenter', () => {
      timer = setTimeout(() => view.dispatch({ effects: setMarkerTip.of(markerTipOf(view, dom)) }), 300);
    });
    dom.addEventListener('mouseleave', (e) => {
      clearTimeout(timer);
      if (!e.relatedTarget?.closest?.('.qm-findings-tip') && view.state.field(markerTip)) view.dispatch({ effects: setMarkerTip.of(null) });
    });
    return dom;
  }
}
const findingsMarker = new FindingsMarker();
const markers = StateField.define({
  create: () => RangeSet.empty,
  update(value, tr) {
    let next = value.map(tr.changes);
    for (const e of tr.effects) {
      if (!e.is(setFindings)) continue;
      const starts = [];
      for (const { from } of e.value) {
        const start = tr.newDoc.lineAt(from).from;
        if (starts.at(-1) !== start) starts.push(start);
      }
      const shown = next.iter();
      let same = true;
      for (const start of starts) {
        same &&= shown.value !== null && shown.from === start;
        shown.next();
      }
      if (!same || shown.value !== null) next = RangeSet.of(starts.map((start) => findingsMarker.range(start)));
    }
    return next;
  },
});

// The fixes of the finding at the cursor, by keyboard: Ctrl-. shows the
// finding's message and a button for each of its fixes, the first one
// focused; Enter applies it, Escape goes back to the text.
const [setFixTip, fixTip] = tooltipUntilEdit();
function fixTooltip(from, to, found) {
  return {
    pos: from,
    create(view) {
      const dom = document.createElement('div');
      dom.className = 'qm-quickfix';
      dom.setAttribute('role', 'dialog');
      dom.setAttribute('aria-label', 'Quick fix');
      const close = () => { view.dispatch({ effects: setFixTip.of(null) }); view.focus(); };
      dom.append(Object.assign(document.createElement('p'), { textContent: found.message }));
      for (const action of found.actions) {
        const button = Object.assign(document.createElement('button'), { type: 'button', textContent: action.name });
        button.addEventListener('click', () => { close(); action.apply(view, from, to); });
        dom.append(button);
      }
      dom.addEventListener('keydown', (e) => { if (e.key === 'Escape') { e.preventDefault(); close(); } });
      return { dom, mount: () => dom.querySelector('button')?.focus() };
    },
  };
}
// The finding with a fix at the cursor, else the first on its line.
export const showFixes = (view) => {
  const { state } = view;
  const head = state.selection.main.head;
  const line = state.doc.lineAt(head);
  let at = null;
  let onLine = null;
  eachFinding(state, line.from, line.to, (from, to, found) => {
    if (!found.actions.length) return;
    if (!at && from <= head && head <= to) at = { from, to, found };
    onLine ??= { from, to, found };
  });
  const chosen = at ?? onLine;
  if (!chosen) return false;
  view.dispatch({ effects: setFixTip.of(fixTooltip(chosen.from, chosen.to, chosen.found)) });
  return true;
};

export const findingsExtension = [
  findings, findingLayer, highlighting, findingsHover, markers, markerTip, fixTip,
  gutter({ class: 'qm-findings-gutter', markers: (view) => view.state.field(markers) }),
];
