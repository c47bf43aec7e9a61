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
  const cells = (bits) => Array.from(bits, (b) => b === '1');
  const bits = (cells) => cells.map((on) => (on ? '1' : '0')).join('');

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
    // text): {sent, result}, `sent` the server's diagnostics that were
    // waiting, `result` null when the document is not open.
    analyseDocument: (uri, reduced, texts = false) => {
      // Each body sent ends in a NUL, and one more NUL ends them all.
      const out = text('qm_analyse_document', uri, reduced ? 1 : 0, texts ? 1 : 0);
      const end = out.startsWith('\0') ? 0 : out.indexOf('\0\0') + 1;
      const sent = end === 0 ? [] : out.slice(0, end - 1).split('\0');
      const json = out.slice(end + 1);
      if (json === '') return { sent, result: null };
      const result = JSON.parse(json);
      result.words = new Uint32Array(api.memory.buffer, api.qm_words(), api.qm_word_count() * 3).slice();
      return { sent, result };
    },
    disassemble: (image) => JSON.parse(text('qm_disassemble', image)),
    // The 134 bytes of a .ptn file for 200 cells (cell 0 first).
    encodePattern: (grid) => call('qm_pattern_encode', bits(grid)).slice(),
    // The cells of a .ptn file's bytes, as the editor reads them.
    decodePattern: (bytes) => cells(text('qm_pattern_decode', bytes)),
    // The editor's random fill, on its sequence from the start of the page.
    randomFill: (grid) => cells(text('qm_random_fill', bits(grid))),
    // The language server: `start` makes it afresh; `receive` hands it the
    // body of one message and gives the bodies it sends in turn.
    lsp: {
      start: (reduced = false) => api.qm_lsp_start(reduced ? 1 : 0),
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
