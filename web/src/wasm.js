// The tool set's WebAssembly module: text in, results out.
const encoder = new TextEncoder();
const decoder = new TextDecoder();

// The module writes nothing: the few system calls its library names answer
// that nothing can be done.
const system = {
  fd_close: () => 8,
  fd_seek: () => 8,
  fd_write: () => 8,
};

// The module at `url`, or the module's bytes.
export async function loadTools(url = 'quellmark.wasm') {
  const imports = { wasi_snapshot_preview1: system };
  const { instance } = typeof url === 'string'
    ? await WebAssembly.instantiateStreaming(fetch(url), imports)
    : await WebAssembly.instantiate(url, imports);
  const api = instance.exports;
  api._initialize?.();

  const call = (name, input, ...args) => {
    const bytes = typeof input === 'string' ? encoder.encode(input) : input;
    const at = api.qm_input(bytes.length);
    new Uint8Array(api.memory.buffer, at, bytes.length).set(bytes);
    api[name](...args);
    return new Uint8Array(api.memory.buffer, api.qm_output(), api.qm_output_size());
  };
  const text = (name, input, ...args) => decoder.decode(call(name, input, ...args));
  const patternState = (name, input = '', ...args) => {
    // 200 cells, a line feed, "1" or "0" for `saved`, a line feed, the
    // file, a NUL and the title.
    const out = text(name, input, ...args);
    const nul = out.indexOf('\0', 203);
    return {
      cells: Array.from(out.slice(0, 200), (b) => b === '1'),
      saved: out[201] === '1',
      file: out.slice(203, nul),
      title: out.slice(nul + 1),
    };
  };

  return {
    // The image, findings and words of `source` (the words as a flat list
    // of line, address and word), and with `texts` what the companion
    // prints of it (check, list, symbols).
    analyse: (source, reduced, texts = false) => {
      const result = JSON.parse(text('qm_analyse', source, reduced ? 1 : 0, texts ? 1 : 0));
      result.words = new Uint32Array(api.memory.buffer, api.qm_words(), api.qm_word_count() * 3).slice();
      return result;
    },
    // As `analyse`, of the language server's own analysis of its open
    // document `uri` (with `texts`, the texts made anew from the server's
    // text), null when the document is not open. The server is one that
    // publishes no diagnostics (`lsp.start`). Its findings
    // are `found`: {places, bytes}, six numbers each in `places` (line,
    // column, length, and where its name, message and fix note end in the
    // UTF-8 `bytes`, each beginning where the one before ended). Fixes are
    // looked for on the lines `fixed` ({first, last}, from 1) only, when
    // given: a large text's thousands of them take time that a page
    // drawing a few marks does not need.
    analyseDocument: (uri, reduced, texts = false, fixed = null) => {
      const json = text('qm_analyse_document', uri, reduced ? 1 : 0, texts ? 1 : 0, fixed?.first ?? 0, fixed?.last ?? 0);
      if (json === '') return null;
      const result = JSON.parse(json);
      result.words = new Uint32Array(api.memory.buffer, api.qm_words(), api.qm_word_count() * 3).slice();
      // The findings as six numbers each and the UTF-8 of their texts.
      result.found = {
        places: new Int32Array(api.memory.buffer, api.qm_finding_places(), api.qm_finding_count() * 6).slice(),
        bytes: new Uint8Array(api.memory.buffer, api.qm_finding_texts(), api.qm_finding_texts_size()).slice(),
      };
      return result;
    },
    disassemble: (image) => JSON.parse(text('qm_disassemble', image)),
    // The language server's text of its open document `uri` ('' if none).
    documentText: (uri) => text('qm_document_text', uri),
    // The pattern document, kept in the module by the editor's rules. Each
    // command gives the state: {cells, saved, file, title}.
    pattern: {
      state: () => patternState('qm_pattern_state'),
      click: (index) => patternState('qm_pattern_click', '', index),
      random: () => patternState('qm_pattern_random'),
      // Open of a file that was read: its name and its first bytes.
      open: (name, bytes) => {
        const head = encoder.encode(`${name}\0`);
        const input = new Uint8Array(head.length + bytes.length);
        input.set(head);
        input.set(bytes, head.length);
        return patternState('qm_pattern_open', input);
      },
      // What Save does now: 'askName', 'nothingChanged' or 'write'.
      saveStep: () => ['askName', 'nothingChanged', 'write'][api.qm_pattern_save_step()],
      // The file's 134 bytes, written under `name`: the document is saved.
      savefile: (name) => call('qm_pattern_savefile', name).slice(),
      // Save As after its write: `name` becomes the document's file.
      name: (name) => patternState('qm_pattern_name', name),
      newAsks: () => api.qm_pattern_new_asks() === 1,
      // What OK under the save question does after its save.
      reset: () => patternState('qm_pattern_reset'),
      // The rest of New: the grid cleared and the document reset.
      clear: () => patternState('qm_pattern_new'),
    },
    // The language server: `start` makes it afresh (with `publishing`
    // false, it sends no diagnostics); `receive` hands it the body of one
    // message and gives the bodies it sends in turn.
    lsp: {
      start: (reduced = false, publishing = true) => api.qm_lsp_start(reduced ? 1 : 0, publishing ? 1 : 0),
      receive: (body, more = false) => {
        const sent = text('qm_lsp_receive', body, more ? 1 : 0);
        return sent === '' ? [] : sent.slice(0, -1).split('\0');
      },
      exitStatus: () => api.qm_lsp_exit_status(),
    },
    // Stops the module as a fault in it would (for the page's tests).
    trap: () => api.qm_trap(),
  };
}
