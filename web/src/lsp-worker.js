// The language server in a worker of its own: the tool set's WebAssembly
// module answers the page's messages, so that the page's thread never runs
// an analysis. Messages that come together are handed over together, and
// a change among them is analysed once, with the last.
import { loadTools } from './wasm.js';

const ready = loadTools(new URL('quellmark.wasm', self.location.href).href).then((tools) => {
  tools.lsp.start(false);
  return tools;
});
const waiting = [];
let scheduled = false;

async function handle() {
  const tools = await ready;
  scheduled = false;
  while (waiting.length > 0) {
    const body = waiting.shift();
    for (const reply of tools.lsp.receive(body, waiting.length > 0)) self.postMessage(reply);
  }
}

self.onmessage = (event) => {
  waiting.push(event.data);
  if (!scheduled) {
    scheduled = true;
    setTimeout(handle, 0);
  }
};
