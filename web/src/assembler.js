// The assembler page: a source in an editor, checked, listed and assembled
// by the tool set's own library on every change.
import { EditorState, StateEffect } from '@codemirror/state';
import {
  EditorView, GutterMarker, gutter, keymap, lineNumbers, highlightActiveLine,
} from '@codemirror/view';
import { defaultKeymap, history, historyKeymap, insertNewline, insertTab } from '@codemirror/commands';
import { kept } from './kept.js';
import { cursorBlinking } from './blink.js';
import { Colouring, CLASS_OF_TYPE } from './colours.js';
import { findingsExtension, nearFinding, showFindingsIn, showFixes } from './findings.js';
import {
  LSPClient, serverCompletion, hoverTooltips, renameKeymap, jumpToDefinitionKeymap, findReferencesKeymap,
  formatDocument, formatKeymap, signatureHelp,
} from '@codemirror/lsp-client';

const STORE = 'quellmark.source';
// The document the editor holds, as the language server knows it.
const URI = 'file:///source.asm';
const hex4 = (n) => n.toString(16).toUpperCase().padStart(4, '0');

// The listing beside the source: each line's addresses and words, found
// in the flat list of words (line, address, word), which is in line order.
function wordsOfLine(words, line) {
  let text = '';
  for (let i = firstWordFrom(words, line); i < words.length / 3 && words[i * 3] === line; ++i) {
    text += `${text ? ' ' : ''}${hex4(words[i * 3 + 1])} ${hex4(words[i * 3 + 2])}`;
  }
  return text;
}

// The first of `count` items in line order (`lineOf` gives an item's line)
// that stands on `line` or after it.
function firstFromLine(count, lineOf, line) {
  let low = 0;
  let high = count;
  while (low < high) {
    const middle = (low + high) >> 1;
    if (lineOf(middle) < line) low = middle + 1; else high = middle;
  }
  return low;
}

// The index in `words` of the first word of a line from `line` on.
const firstWordFrom = (words, line) => firstFromLine(words.length / 3, (i) => words[i * 3], line);

// Whether two lists of words hold the same words for lines `first` to
// `last`.
function sameWords(a, b, first, last) {
  const fromA = firstWordFrom(a, first) * 3;
  const fromB = firstWordFrom(b, first) * 3;
  const toA = firstWordFrom(a, last + 1) * 3;
  const toB = firstWordFrom(b, last + 1) * 3;
  if (toA - fromA !== toB - fromB) return false;
  for (let i = 0; i < toA - fromA; ++i) if (a[fromA + i] !== b[fromB + i]) return false;
  return true;
}

// The findings of an analysis of the page's document, as the worker sends
// them: six numbers each in `found.places` (line, column, length, and the
// ends of its name, message and fix in the UTF-8 of `found.bytes`).
const findingCount = (result) => result.found.places.length / 6;
const lineOfFinding = (result, i) => result.found.places[i * 6];
const utf8 = new TextDecoder();
function findingAt({ found: { places, bytes } }, i) {
  const start = i > 0 ? places[i * 6 - 1] : 0;
  const [nameEnd, messageEnd, end] = places.subarray(i * 6 + 3, i * 6 + 6);
  // A finding's texts are read at once; when they are ASCII, as they
  // mostly are, a byte is a letter and they are cut from that.
  const whole = utf8.decode(bytes.subarray(start, end));
  const text = whole.length === end - start
    ? (from, to) => whole.slice(from - start, to - start)
    : (from, to) => utf8.decode(bytes.subarray(from, to));
  return {
    line: places[i * 6],
    column: places[i * 6 + 1],
    length: places[i * 6 + 2],
    name: text(start, nameEnd),
    message: text(nameEnd, messageEnd),
    fix: text(messageEnd, end),
  };
}
// Whether finding `i` of one analysis and finding `j` of another read the
// same in the list: the same place, and the same bytes of their names and
// messages, compared as they came rather than decoded.
function sameFinding({ found: a }, { found: b }, i, j = i) {
  const at = i * 6;
  const bt = j * 6;
  if (a.places[at] !== b.places[bt] || a.places[at + 1] !== b.places[bt + 1]) return false;
  const fromA = i > 0 ? a.places[at - 1] : 0;
  const fromB = j > 0 ? b.places[bt - 1] : 0;
  const length = a.places[at + 4] - fromA;
  if (b.places[bt + 4] - fromB !== length || a.places[at + 3] - fromA !== b.places[bt + 3] - fromB) return false;
  for (let k = 0; k < length; ++k) if (a.bytes[fromA + k] !== b.bytes[fromB + k]) return false;
  return true;
}

class WordsMarker extends GutterMarker {
  constructor(text) { super(); this.text = text; }
  eq(other) { return other.text === this.text; }
  toDOM() { return document.createTextNode(this.text); }
}
// The words of the whole text as the last analysis found them, which the
// gutter draws from as lines come into view; `redrawListing` draws those in
// view again, when their words changed.
const listed = { words: new Uint32Array(0) };
const redrawListing = StateEffect.define();
const listingGutter = gutter({
  class: 'cm-listing',
  lineMarker(view, line) {
    const text = wordsOfLine(listed.words, view.state.doc.lineAt(line.from).number);
    return text ? new WordsMarker(text) : null;
  },
  lineMarkerChange: (update) => update.transactions.some((tr) => tr.effects.some((e) => e.is(redrawListing))),
  initialSpacer: () => new WordsMarker('0000 0000'),
});

// The offsets in `text` (a line) of its bytes at `column`s (from 1) in
// UTF-8, asked in rising order as a line's findings come: the line is read
// once for all of them, however long it is.
function byteIndexer(text) {
  // eslint-disable-next-line no-control-regex
  if (/^[\x00-\x7f]*$/.test(text)) return (column) => Math.min(column - 1, text.length);
  let bytes = 0;
  let i = 0;
  return (column) => {
    if (bytes > column - 1) { bytes = 0; i = 0; }  // a column before the last: read again
    while (i < text.length && bytes < column - 1) {
      const code = text.codePointAt(i);
      bytes += code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
      i += code >= 0x10000 ? 2 : 1;
    }
    return i;
  };
}
const indexOfByte = (text, column) => byteIndexer(text)(column);
// The place in the text of a finding at `column` (from 1) of `line`, over
// `length` bytes; `offsetOf` is the line's byte indexer.
function placeOfFinding(line, offsetOf, column, length) {
  const from = line.from + offsetOf(column);
  return { from, to: Math.max(from, line.from + offsetOf(column + length)) };
}

async function compress(text) {
  const stream = new Blob([text]).stream().pipeThrough(new CompressionStream('deflate-raw'));
  const bytes = new Uint8Array(await new Response(stream).arrayBuffer());
  let binary = '';
  for (const b of bytes) binary += String.fromCharCode(b);
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

async function decompress(code) {
  const binary = atob(code.replace(/-/g, '+').replace(/_/g, '/'));
  const bytes = Uint8Array.from(binary, (c) => c.charCodeAt(0));
  const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate-raw'));
  return new Response(stream).text();
}

function download(name, bytes) {
  const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  const a = Object.assign(document.createElement('a'), { href: url, download: name });
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

async function startingSource() {
  const match = /^#src=([A-Za-z0-9_-]*)(?:&build=(full|reduced))?$/.exec(location.hash);
  if (match) {
    try {
      return { text: await decompress(match[1]), build: match[2] ?? 'full' };
    } catch {
      document.getElementById('status').textContent = 'The link holds no source.';
    }
  }
  try {
    const value = await kept();
    if (value) return value;
  } catch { /* no IndexedDB here (a private window may have none) */ }
  // Where the page kept it before.
  const stored = localStorage.getItem(STORE);
  if (stored) {
    try { return JSON.parse(stored); } catch { /* a stored value of another kind */ }
  }
  return null;
}

// Runs `work`, a part of what the page's thread does for an analysis,
// between two marks that a trace of the page reads with the thread's own
// clock as well as the wall's: the time the part ran, apart from the time
// it waited for a core. The marks are not kept.
function timed(part, work) {
  const start = `quellmark-${part}`;
  performance.mark(start);
  try {
    return work();
  } finally {
    performance.mark(`${start}-end`);
    performance.clearMarks(start);
    performance.clearMarks(`${start}-end`);
  }
}

// The worker that holds the tool set: the language server whose client
// the editor is, and the results the page asks for (`call`). When it
// fails, another starts, and `restarted` is told.
function toolWorker(restarted) {
  let worker = null;
  let handlers = [];
  const pending = new Map();
  let next = 0;
  let imageSent;
  const start = () => {
    imageSent = undefined;
    // The first is the one the page started as it was read, unless that
    // one failed before the page listened.
    const first = window.quellmarkFirstWorker;
    window.quellmarkFirstWorker = null;
    worker = first && !first.failedEarly ? first : new Worker('lsp-worker.js', { type: 'module' });
    worker.onmessage = (event) => {
      // A reply is copied out of the worker's message as it is first read.
      const reading = performance.now();
      const data = timed('read', () => event.data);
      tools.lastRead = performance.now() - reading;
      // An analysis of the document comes without its image when it is the
      // one sent last.
      if (data.result?.found) {
        if (data.result.image === undefined) data.result.image = imageSent;
        else imageSent = data.result.image;
      }
      if (typeof data === 'string') {
        for (const h of handlers) h(data);
      } else if (data.failed !== undefined) {
        fail();
      } else {
        pending.get(data.id)?.resolve(data.result);
        pending.delete(data.id);
      }
    };
    worker.onerror = (event) => { event.preventDefault(); fail(); };
  };
  const fail = () => {
    worker.terminate();
    for (const p of pending.values()) p.reject(new Error('the tool set stopped'));
    pending.clear();
    start();
    restarted();
  };
  const tools = {
    // How long the page's thread took to read the last reply.
    lastRead: 0,
    call: (name, ...args) => new Promise((resolve, reject) => {
      const id = ++next;
      pending.set(id, { resolve, reject });
      worker.postMessage({ id, call: name, args });
    }),
    transport: {
      send: (message) => worker.postMessage(message),
      subscribe: (handler) => handlers.push(handler),
      unsubscribe: (handler) => { handlers = handlers.filter((h) => h !== handler); },
    },
  };
  start();
  return tools;
}

async function main() {
  const examplesRead = fetch('examples.json').then((r) => r.json());
  const byId = (id) => document.getElementById(id);
  // Filled in below: what a new worker is given to go on from the text as
  // it is.
  let afterRestart = () => {};
  const tools = toolWorker(() => afterRestart());
  const client = new LSPClient({
    rootUri: 'file:///',
    extensions: [serverCompletion(), hoverTooltips(), signatureHelp(),
      keymap.of([...renameKeymap, ...jumpToDefinitionKeymap, ...findReferencesKeymap, ...formatKeymap])],
  }).connect(tools.transport);
  const buildSelect = byId('build');
  const [given, examples] = await Promise.all([startingSource(), examplesRead]);
  const start = given ?? { text: examples[0]?.text ?? '', build: 'full' };
  buildSelect.value = start.build;
  let result = null;

  // Hands the editor's changes to the server. The client sends them once
  // it is initialized, a step later: what is asked of the worker after
  // this waits for that step, so that it follows them.
  const afterSync = () => {
    client.sync();
    return client.initializing;
  };

  const colouring = new Colouring();

  // Has the tool set analyse the document and shows what it says, unless
  // the document changed again meanwhile.
  let sequence = 0;
  const update = async (view) => {
    const started = performance.now();
    const mine = ++sequence;
    const reduced = buildSelect.value === 'reduced';
    // The change goes to the language server, whose analysis of it the
    // page then shows: the text is not handed over again.
    // Fixes are looked for on the lines that may be marked only.
    const fixed = linesNear(view, view.state.doc);
    const asking = timed('ask', () => afterSync().then(() => tools.call('analyseDocument', URI, reduced, false, fixed)));
    // The page's own thread: the time to hand the text over, and to draw.
    let busy = performance.now() - started;
    let fresh;
    try {
      fresh = await asking;
    } catch {
      return;  // the tool set stopped; it analyses the text again when it starts
    }
    if (mine !== sequence || !fresh) return;
    fresh.fixed = fixed;
    // No change of the text came meanwhile: it would have asked again.
    fresh.doc = view.state.doc;
    busy += tools.lastRead;
    const drawing = performance.now();
    // When the view moved past the lines whose fixes were looked for while
    // the analysis was made, the marks stay as they are (their places
    // follow the text), and the lines now near are asked for again.
    const near = linesNear(view, view.state.doc);
    const moved = near.first < fixed.first || near.last > fixed.last;
    timed('draw', () => {
      const before = result;
      result = fresh;
      const doc = view.state.doc;
      // Only what changed near the lines in view is drawn again: a keystroke
      // mostly changes one line's findings and words.
      listed.words = result.words;
      const words = !before ||
        !sameWords(before.words, result.words, doc.lineAt(view.viewport.from).number, doc.lineAt(view.viewport.to).number);
      const findings = moved ? {} : showFindingsIn(view.state, marksNear(view, doc));
      // The colours are set in the same update as the marks.
      const types = client.serverCapabilities?.semanticTokensProvider?.legend?.tokenTypes ?? [];
      const recoloured = colouring.change(doc, result.colours, types.map((t) => CLASS_OF_TYPE[t]));
      if (words || findings.effects || recoloured) {
        view.dispatch(findings, words ? { effects: redrawListing.of(null) } : {}, recoloured ? { effects: recoloured } : {});
      }
      showFindings(before);
    });
    busy += performance.now() - drawing;
    window.quellmarkMainThread.push(busy);
    window.quellmarkTimings.push(performance.now() - started);
    later();
    if (moved) update(view);
  };

  // A finding's quick fix, as the language server offers it for the line
  // the finding's mark is on now, applied unless the text changed meanwhile.
  const quickFix = (message) => (view, from) => {
    const doc = view.state.doc;
    const place = { line: doc.lineAt(from).number - 1, character: 0 };
    afterSync()
      .then(() => client.request('textDocument/codeAction',
        { textDocument: { uri: URI }, range: { start: place, end: place }, context: { diagnostics: [] } }))
      .then((actions) => {
        const edits = (actions ?? []).find((a) => a.diagnostics?.[0]?.message === message)?.edit?.changes?.[URI];
        if (!edits || view.state.doc !== doc) return;
        const at = ({ line: l, character }) => {
          const text = doc.line(l + 1);
          return text.from + Math.min(character, text.length);
        };
        view.dispatch({ changes: edits.map((e) => ({ from: at(e.range.start), to: at(e.range.end), insert: e.newText })) });
      })
      .catch(() => {});
  };

  // The marks of the findings on the lines near those in view, so that the
  // thousands of a large text cost nothing until they are scrolled to; the
  // lines marked, to know when a scroll leaves them. Only the lines whose
  // fixes the analysis looked for are marked, so that no mark lacks its fix.
  let marked = { first: 0, last: -1 };
  const MARGIN = 200;
  const linesNear = (view, doc) => ({
    first: Math.max(1, doc.lineAt(view.viewport.from).number - MARGIN),
    last: Math.min(doc.lines, doc.lineAt(view.viewport.to).number + MARGIN),
  });
  const marksNear = (view, doc) => {
    const near = linesNear(view, doc);
    const first = Math.max(near.first, result.fixed.first);
    const last = Math.min(near.last, result.fixed.last);
    marked = { first, last };
    const count = findingCount(result);
    const marks = [];
    let l = null;
    let offsetOf = null;
    for (let i = firstFromLine(count, (j) => lineOfFinding(result, j), first); i < count && lineOfFinding(result, i) <= last; ++i) {
      const { line, column, length, name, message, fix } = findingAt(result, i);
      if (!l || l.number !== line) {
        l = doc.line(line);
        offsetOf = byteIndexer(l.text);
      }
      const { from, to } = placeOfFinding(l, offsetOf, column, length);
      const actions = fix ? [{ name: fix, apply: quickFix(message) }] : undefined;
      marks.push({ from, to, source: `-W${name}`, message, actions });
    }
    return marks;
  };
  // F8 and Shift-F8: the finding after the selection, or the one before it,
  // selected, from the first or the last when there is none. They are
  // looked for in the whole text while the analysis shown is of the text as
  // it is, else (while it is made) among the findings marked.
  const encoder = new TextEncoder();
  const goToFinding = (dir) => (view) => {
    const { state } = view;
    const pos = dir > 0 ? state.selection.main.to : state.selection.main.from;
    let place;
    if (result?.doc === state.doc) {
      const count = findingCount(result);
      if (count === 0) return false;
      const line = state.doc.lineAt(pos);
      const column = encoder.encode(line.text.slice(0, pos - line.from)).length + 1;
      // The first finding past the place, or at it going back.
      let i = firstFromLine(count, (j) => lineOfFinding(result, j), line.number);
      const before = (j) => lineOfFinding(result, j) === line.number &&
        (dir > 0 ? result.found.places[j * 6 + 1] <= column : result.found.places[j * 6 + 1] < column);
      while (i < count && before(i)) ++i;
      const { line: n, column: c, length } = findingAt(result, dir > 0 ? i % count : (i + count - 1) % count);
      const l = state.doc.line(n);
      place = placeOfFinding(l, byteIndexer(l.text), c, length);
    } else {
      place = nearFinding(state, pos, dir);
      if (!place) return false;
    }
    view.dispatch({ selection: { anchor: place.from, head: place.to }, scrollIntoView: true });
    return true;
  };
  // A scroll past the marked lines marks those now in view; past the lines
  // whose fixes were looked for, it asks for the analysis again (the
  // server's, unchanged) with the fixes of the lines now near.
  const markAfterScroll = EditorView.updateListener.of((u) => {
    if (!u.viewportChanged || u.docChanged || !result) return;
    const doc = u.state.doc;
    const first = doc.lineAt(u.view.viewport.from).number;
    const last = doc.lineAt(u.view.viewport.to).number;
    if (first >= marked.first && last <= marked.last) return;
    requestAnimationFrame(() => {
      if (u.view.state.doc !== doc) return;
      const near = linesNear(u.view, doc);
      if (near.first < result.fixed.first || near.last > result.fixed.last) update(u.view);
      else u.view.dispatch(showFindingsIn(u.view.state, marksNear(u.view, doc)));
    });
  });

  // What the companion prints (check, list, symbols) takes longer than the
  // rest, so it is made only for the tab that shows it, once typing pauses.
  let textsTimer = 0;
  const shownTab = () => document.querySelector('[role="tab"][aria-selected="true"]').dataset.tab;
  const showTexts = async () => {
    if (!['symbols', 'listing', 'check'].includes(shownTab())) return;
    const texts = await afterSync()
      .then(() => tools.call('analyseDocument', URI, buildSelect.value === 'reduced', true))
      .catch(() => null);
    if (!texts) return;
    byId('symbols').textContent = texts.symbols;
    byId('listing').textContent = texts.listing;
    byId('check').textContent = texts.check;
  };
  // The image, the texts and the kept source follow once typing pauses.
  const later = () => {
    clearTimeout(textsTimer);
    textsTimer = setTimeout(() => {
      showImage();
      showTexts();
      afterSync().then(() => tools.call('keep', URI, buildSelect.value)).catch(() => {});
    }, 150);
  };
  // A large image is a large text to lay out: it is set only when it
  // changed, in pieces that the browser lays out only as they come into
  // view (the image of 100,000 lines took 60 ms to lay out at each change).
  // Each piece is of whole lines of the box, so that the pieces read as one
  // text; they are cut again when the box's lines change length.
  let shownImage = null;
  let imageLine = 0;
  const imageBox = byId('image');
  const lineOfImageBox = () => {
    const probe = Object.assign(document.createElement('span'), { textContent: '0'.repeat(64) });
    probe.style.cssText = 'position: absolute; visibility: hidden; white-space: pre';
    imageBox.append(probe);
    const style = getComputedStyle(imageBox);
    const width = imageBox.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
    const letter = probe.getBoundingClientRect().width / 64;
    probe.remove();
    return letter > 0 ? Math.max(1, Math.floor(width / letter)) : 64;
  };
  const showImage = (force = false) => {
    if (!result || (result.image === shownImage && !force)) return;
    const { image } = result;
    shownImage = image;
    imageLine ||= lineOfImageBox();
    const piece = imageLine * Math.ceil(4096 / imageLine);
    const pieces = [];
    for (let at = 0; at < image.length; at += piece) {
      pieces.push(Object.assign(document.createElement('span'), { className: 'piece', textContent: image.slice(at, at + piece) }));
    }
    imageBox.replaceChildren(...pieces);
    byId('words').textContent = `${image.length / 4} words`;
  };
  new ResizeObserver(() => {
    if (shownImage === null || imageBox.clientWidth === 0) return;
    const line = lineOfImageBox();
    if (line === imageLine) return;
    imageLine = line;
    showImage(true);
  }).observe(imageBox);
  // The pieces are blocks, which a selection copies with line ends between
  // them; the image has none.
  imageBox.addEventListener('copy', (e) => {
    const selection = document.getSelection();
    if (!imageBox.contains(selection.anchorNode) || !imageBox.contains(selection.focusNode)) return;
    e.clipboardData.setData('text/plain', selection.toString().replace(/[\r\n]/g, ''));
    e.preventDefault();
  });

  // The findings list is drawn a screenful at a time: the next as it is
  // scrolled to its end.
  const SCREENFUL = 100;
  const findingItems = (from, length) => Array.from({ length: Math.max(0, length) }, (_, i) => {
    const { line, column, name, message } = findingAt(result, from + i);
    const li = document.createElement('li');
    li.tabIndex = 0;
    li.textContent = `${line}:${column}: ${message} [-W${name}]`;
    li.dataset.line = line;
    li.dataset.column = column;
    return li;
  });
  // The list changes only where the findings it shows changed: a keystroke
  // mostly adds, takes away or changes those of one line. It keeps as many
  // as it showed (more after a scroll), at least a screenful.
  const showFindings = (before) => {
    const count = findingCount(result);
    const title = `Findings (${count})`;
    if (byId('findings-title').textContent !== title) byId('findings-title').textContent = title;
    const list = byId('findings');
    const shown = list.children.length;
    const wanted = Math.min(count, Math.max(SCREENFUL, shown));
    if (!before) {
      list.replaceChildren(...findingItems(0, wanted));
      return;
    }
    // The items shown are the first findings of `before`. Those from the
    // start that are the same stay, and so do those before the end that
    // are the same, `delta` places on.
    let head = 0;
    while (head < Math.min(shown, wanted) && sameFinding(result, before, head)) ++head;
    const delta = count - findingCount(before);
    let tail = shown;
    while (tail > head && tail - 1 + delta >= head && tail - 1 + delta < count &&
      sameFinding(result, before, tail - 1 + delta, tail - 1)) --tail;
    const items = list.children;
    for (let k = tail - 1; k >= head; --k) items[k].remove();
    const fresh = findingItems(head, Math.min(tail + delta, wanted) - head);
    if (head < items.length) items[head].before(...fresh);
    else list.append(...fresh);
    while (items.length > wanted) list.lastElementChild.remove();
    list.append(...findingItems(items.length, wanted - items.length));
  };
  byId('findings').addEventListener('scroll', (e) => {
    const list = e.target;
    if (!result || list.children.length >= findingCount(result)) return;
    if (list.scrollTop + list.clientHeight < list.scrollHeight - 40) return;
    list.append(...findingItems(list.children.length, Math.min(SCREENFUL, findingCount(result) - list.children.length)));
  });

  const configure = () => client.notification('workspace/didChangeConfiguration',
    { settings: { quellmark: { build: buildSelect.value } } });
  client.initializing.then(configure);
  let pending = false;
  const view = new EditorView({
    parent: byId('editor'),
    state: EditorState.create({
      doc: start.text,
      extensions: [
        // Only a line feed ends a line, as for the assembler; a CR stays in
        // its line.
        EditorState.lineSeparator.of('\n'),
        lineNumbers(), listingGutter, findingsExtension, history(), cursorBlinking,
        highlightActiveLine(), colouring.extension,
        // A line of the source stands alone: Enter starts the next at its
        // beginning, and Tab is a character of the line.
        // Ctrl-. (as in other editors) shows the fixes of the finding at
        // the cursor; F8 and Shift-F8 go to the next finding and the one
        // before; Ctrl-Shift-m goes to the list of findings.
        keymap.of([{ key: 'Enter', run: insertNewline }, { key: 'Tab', run: insertTab },
          { key: 'Mod-.', run: showFixes, preventDefault: true },
          { key: 'F8', run: goToFinding(1), shift: goToFinding(-1), preventDefault: true },
          { key: 'Mod-Shift-m', run: () => focusFindings(), preventDefault: true },
          ...defaultKeymap, ...historyKeymap]),
        client.plugin(URI, 'asm'), markAfterScroll,
        EditorView.contentAttributes.of({ 'aria-label': 'Source' }),
        EditorView.updateListener.of((u) => {
          if (!u.docChanged || pending) return;
          pending = true;
          queueMicrotask(() => { pending = false; update(u.view); });
        }),
      ],
    }),
  });
  window.quellmarkKept = kept;
  window.quellmarkTimings = [];
  window.quellmarkMainThread = [];
  window.quellmarkView = view;
  window.quellmarkTools = {
    analyse: (source, reduced, texts = false) => tools.call('analyse', source, reduced, texts),
    disassemble: (image) => tools.call('disassemble', image),
    trap: () => tools.call('trap').catch(() => {}),
  };
  afterRestart = () => {
    byId('status').textContent = 'The tool set stopped and was started again with the text as it is.';
    client.connect(tools.transport);
    client.initializing.then(configure);
    update(view);
  };
  await update(view);
  showImage();

  const replace = (text) => view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text } });
  buildSelect.addEventListener('change', () => {
    configure();
    update(view);
  });
  byId('findings').addEventListener('click', (e) => {
    const li = e.target.closest('li');
    if (!li) return;
    // The line may be gone, when lines were taken away since the list was made.
    const l = view.state.doc.line(Math.min(Number(li.dataset.line), view.state.doc.lines));
    const at = l.from + indexOfByte(l.text, Number(li.dataset.column));
    view.dispatch({ selection: { anchor: at }, scrollIntoView: true });
    view.focus();
  });
  // In the list, Enter goes to a finding, the arrows to the next and the
  // one before, Escape back to the text.
  byId('findings').addEventListener('keydown', (e) => {
    const li = e.target.closest('li');
    if (!li) return;
    const next = { ArrowDown: li.nextElementSibling, ArrowUp: li.previousElementSibling }[e.key];
    if (e.key === 'Enter') li.click();
    else if (e.key === 'Escape') view.focus();
    else if (next) next.focus();
    else return;
    e.preventDefault();
  });
  // Ctrl-Shift-m in the text: to the list, at the first finding from the
  // cursor's line on (or the last), which is drawn if it was not yet.
  const focusFindings = () => {
    const count = result ? findingCount(result) : 0;
    if (count === 0) return false;
    const line = view.state.doc.lineAt(view.state.selection.main.head).number;
    const at = Math.min(firstFromLine(count, (j) => lineOfFinding(result, j), line), count - 1);
    const list = byId('findings');
    if (at >= list.children.length) list.append(...findingItems(list.children.length, at + 1 - list.children.length));
    list.children[at].focus();
    return true;
  };

  const menu = byId('examples');
  for (const { name } of examples) menu.append(new Option(name, name));
  menu.addEventListener('change', () => {
    const chosen = examples.find((x) => x.name === menu.value);
    if (chosen) replace(chosen.text);
    menu.value = '';
  });
  // The layout of `quellmark format`, from the server (also Shift-Alt-f).
  byId('format').addEventListener('click', () => { formatDocument(view); view.focus(); });
  byId('share').addEventListener('click', async () => {
    const code = await compress(view.state.doc.toString());
    const url = `${location.origin}${location.pathname}#src=${code}&build=${buildSelect.value}`;
    window.history.replaceState(null, '', url);
    byId('status').textContent = 'Link in the address bar.';
    try { await navigator.clipboard.writeText(url); byId('status').textContent = 'Link copied.'; } catch { /* no clipboard here */ }
  });
  byId('copy-image').addEventListener('click', () => navigator.clipboard.writeText(result.image));
  byId('download-image').addEventListener('click', () => download('out.hex', result.image));

  for (const tab of document.querySelectorAll('[role="tab"]')) {
    tab.addEventListener('click', () => {
      for (const other of document.querySelectorAll('[role="tab"]')) {
        other.setAttribute('aria-selected', String(other === tab));
        byId(`tab-${other.dataset.tab}`).hidden = other !== tab;
      }
      showTexts();
    });
  }

  // Disassembly: an image back to the source `quellmark dis` prints.
  const disInput = byId('dis-input');
  const disassemble = async () => {
    const answer = await tools.call('disassemble', disInput.value).catch(() => null);
    if (!answer) return;
    byId('dis-output').textContent = answer.ok ? answer.source : '';
    byId('dis-problem').textContent = answer.ok ? '' : answer.problem;
    byId('dis-open').disabled = !answer.ok || answer.source === '';
  };
  disInput.addEventListener('input', disassemble);
  const disTab = byId('tab-dis');
  disTab.addEventListener('dragover', (e) => e.preventDefault());
  disTab.addEventListener('drop', async (e) => {
    e.preventDefault();
    const file = e.dataTransfer.files[0];
    if (!file) return;
    disInput.value = await file.text();
    await disassemble();
  });
  byId('dis-open').addEventListener('click', () => {
    buildSelect.value = 'full';
    replace(byId('dis-output').textContent);
  });
  document.body.dataset.ready = 'true';
}

main();
