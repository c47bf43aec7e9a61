// The language server compiled to WebAssembly against `quellmark lsp`: the
// same conversation, message by message, gets the same bodies back, byte
// for byte, in both position encodings and both builds.
import { fileURLToPath } from 'node:url';
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { readFile, readdir } from 'node:fs/promises';
import { join } from 'node:path';
import { folder, programs } from './support.mjs';
import { loadTools } from '../src/wasm.js';

const examples = fileURLToPath(new URL('../../examples/', import.meta.url));

// `quellmark lsp`, spoken to one message at a time.
function nativeServer(reduced) {
  const child = spawn(join(programs, 'quellmark'), ['lsp', ...(reduced ? ['--reduced'] : [])]);
  let buffer = Buffer.alloc(0);
  let waiting = null;
  child.stdout.on('data', (data) => {
    buffer = Buffer.concat([buffer, data]);
    waiting?.();
  });
  // The next `count` bodies it sends.
  const read = async (count) => {
    const bodies = [];
    while (bodies.length < count) {
      const end = buffer.indexOf('\r\n\r\n');
      const length = end < 0 ? -1 : Number(/Content-Length: (\d+)/.exec(buffer.subarray(0, end).toString())[1]);
      if (end < 0 || buffer.length < end + 4 + length) {
        await new Promise((resolve, reject) => {
          const timer = setTimeout(() => reject(new Error(`no reply ${bodies.length + 1} of ${count}`)), 10000);
          waiting = () => { clearTimeout(timer); waiting = null; resolve(); };
        });
        continue;
      }
      bodies.push(buffer.subarray(end + 4, end + 4 + length).toString());
      buffer = buffer.subarray(end + 4 + length);
    }
    return bodies;
  };
  const send = (body) => {
    child.stdin.write(`Content-Length: ${Buffer.byteLength(body)}\r\n\r\n${body}`);
  };
  const closed = new Promise((resolve) => child.on('close', resolve));
  return { read, send, closed, end: () => child.stdin.end() };
}

// A conversation of an editor: the examples and a source with findings,
// letters of several bytes and CR LF, each asked about everywhere that
// matters, edited and asked again.
async function conversation(encoding) {
  const names = (await readdir(examples)).filter((n) => n.endsWith('.asm')).sort();
  const documents = await Promise.all(names.map(async (n) => [`file:///${n}`, await readFile(join(examples, n), 'utf8')]));
  documents.push(['file:///odd%20name.asm',
    'loop:  ad r2, r2, r1 ; \u00e9t\u00e9 \u{1F600}\r\n  j lop\r\n\u00fc: beq r1 r0 loop\nloop : hlt\n  addi r1 r0 0x10\n']);
  const messages = [];
  let id = 0;
  const request = (method, params) => messages.push({ jsonrpc: '2.0', id: ++id, method, params });
  const notify = (method, params) => messages.push({ jsonrpc: '2.0', method, params });
  request('initialize', { capabilities: { general: { positionEncodings: [encoding] } } });
  notify('initialized', {});
  for (const [uri, text] of documents) {
    notify('textDocument/didOpen', { textDocument: { uri, languageId: 'asm', version: 1, text } });
    const lines = text.split('\n');
    const doc = { textDocument: { uri } };
    for (let line = 0; line < Math.min(lines.length, 12); line += 1) {
      for (const character of [0, 2, 5, 9, 14]) {
        const position = { line, character };
        request('textDocument/hover', { ...doc, position });
        request('textDocument/definition', { ...doc, position });
        request('textDocument/references', { ...doc, position, context: { includeDeclaration: true } });
        request('textDocument/documentHighlight', { ...doc, position });
        request('textDocument/completion', { ...doc, position });
        request('textDocument/prepareRename', { ...doc, position });
      }
    }
    request('textDocument/rename', { ...doc, position: { line: 0, character: 1 }, newName: 'again' });
    request('textDocument/rename', { ...doc, position: { line: 0, character: 1 }, newName: 'r1' });
    request('textDocument/semanticTokens/full', doc);
    request('textDocument/inlayHint', { ...doc, range: { start: { line: 0, character: 0 }, end: { line: 99, character: 0 } } });
    request('textDocument/documentSymbol', doc);
    notify('textDocument/didChange', {
      textDocument: { uri, version: 2 },
      contentChanges: [{ range: { start: { line: 1, character: 2 }, end: { line: 1, character: 99 } }, text: 'x\u00e9 ' }],
    });
    request('textDocument/hover', { ...doc, position: { line: 1, character: 3 } });
  }
  request('textDocument/hover', { textDocument: { uri: 'file:///none.asm' }, position: { line: 0, character: 0 } });
  request('textDocument/hover', { textDocument: { uri: documents[0][0] }, position: { line: -1, character: 0 } });
  request('no/such', {});
  notify('workspace/didChangeConfiguration', { settings: { quellmark: { build: 'reduced' } } });
  const bodies = messages.map((m) => JSON.stringify(m));
  bodies.push('{"broken', '[1,2]', '{"jsonrpc":"2.0","id":{"a":1},"method":"textDocument/hover"}');
  bodies.push(JSON.stringify({ jsonrpc: '2.0', id: ++id, method: 'shutdown', params: null }));
  bodies.push(JSON.stringify({ jsonrpc: '2.0', method: 'exit', params: null }));
  return bodies;
}

const wasm = await readFile(join(folder, 'quellmark.wasm')).catch(() => null);

for (const encoding of ['utf-16', 'utf-8']) {
  for (const reduced of [false, true]) {
    test(`the WebAssembly server answers as quellmark lsp does (${encoding}, ${reduced ? 'reduced' : 'full'})`,
      { skip: wasm ? false : 'the page is not built' }, async () => {
        const tools = await loadTools(wasm);
        tools.lsp.start(reduced);
        const native = nativeServer(reduced);
        let compared = 0;
        for (const body of await conversation(encoding)) {
          const ours = tools.lsp.receive(body);
          native.send(body);
          const theirs = await native.read(ours.length);
          assert.deepEqual(ours, theirs, body.slice(0, 200));
          compared += ours.length;
        }
        native.end();
        assert.equal(await native.closed, 0);
        assert.equal(tools.lsp.exitStatus(), 0);
        assert.ok(compared > 1000, `${compared} bodies compared`);
      });
  }
}
