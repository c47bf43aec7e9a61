// The tool set in a worker of its own, so that the page's thread never
// runs an analysis. A text is a message to the language server; an object
// {id, call, args} asks for one of the tools' results, answered by
// {id, result}. Messages that come together are handled together, and a
// change to the server among them is analysed once, with the last.
import { loadTools } from './wasm.js';
import { keep } from './kept.js';

// The page draws the findings from the server's analysis itself: the
// server publishes no diagnostics, a large text's megabytes of JSON that
// would only be written and dropped.
const ready = loadTools(new URL('quellmark.wasm', self.location.href).href).then((tools) => {
  tools.lsp.start(false, false);
  return tools;
});
const waiting = [];
let scheduled = false;

// The image goes only when it is not the one sent last (the page keeps
// the last it was sent): a large text's image is a large copy at every
// keystroke that mostly changes none of it.
let imageSent = null;
function withoutSameImage(result) {
  if (result.image === imageSent) delete result.image;
  else imageSent = result.image;
  return result;
}

// The semantic tokens of lines `first` to `last` (from 1) of the document,
// asked of the server as an editor asks.
function colours(tools, uri, { first, last }) {
  const range = { start: { line: first - 1, character: 0 }, end: { line: last - 1, character: 0 } };
  const [reply] = tools.lsp.receive(JSON.stringify({
    jsonrpc: '2.0', id: 'page-colours', method: 'textDocument/semanticTokens/range', params: { textDocument: { uri }, range },
  }));
  return Uint32Array.from((reply && JSON.parse(reply).result?.data) ?? []);
}

function answer(tools, { id, call, args }) {
  // A test's way to make the module trap, as a fault in it would.
  if (call === 'trap') tools.trap();
  let result;
  if (call === 'keep') {
    // The server's text of the document, kept as the last source.
    const [uri, build] = args;
    keep({ text: tools.documentText(uri), build })
      .then(() => self.postMessage({ id, result: true }), () => self.postMessage({ id, result: false }));
    return;
  }
  if (call === 'analyseDocument') {
    result = tools.analyseDocument(...args);
    result &&= withoutSameImage(result);
    // With the lines the page marks, their colours: the server's semantic
    // tokens of those lines, so that the page sets them with the marks.
    const [uri, , texts, fixed] = args;
    if (result && !texts && fixed) result.colours = colours(tools, uri, fixed);
  } else {
    result = call === 'analyse' ? tools.analyse(...args) : tools.disassemble(...args);
  }
  if (!result) {
    self.postMessage({ id, result });
    return;
  }
  // The words and findings are handed over as they are, not copied: a large
  // text's tens of thousands of findings as arrays and strings of their own
  // would cost the page's thread their copying and collecting each time.
  self.postMessage({ id, result },
    [result.words?.buffer, result.found?.places.buffer, result.found?.bytes.buffer, result.colours?.buffer].filter(Boolean));
}

async function handle() {
  scheduled = false;
  try {
    const tools = await ready;
    while (waiting.length > 0) {
      const message = waiting.shift();
      if (typeof message !== 'string') {
        // Only the last of the analyses asked for at once is made.
        const later = message.call.startsWith('analyse') &&
          waiting.some((m) => typeof m !== 'string' && m.call === message.call && m.args[2] === message.args[2]);
        if (later) self.postMessage({ id: message.id, result: null });
        else answer(tools, message);
        continue;
      }
      // Changes in a row are analysed once, with the last of them.
      const more = typeof waiting[0] === 'string';
      for (const reply of tools.lsp.receive(message, more)) self.postMessage(reply);
    }
  } catch (error) {
    // A trap leaves the module unusable: the page starts another worker.
    self.postMessage({ failed: String(error) });
    self.close();
  }
}

self.onmessage = (event) => {
  waiting.push(event.data);
  if (!scheduled) {
    scheduled = true;
    setTimeout(handle, 0);
  }
};
