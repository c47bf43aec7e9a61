// The page's library against the native programs, byte for byte, on
// generated sources in both builds and on the examples, and disassembly
// round trips.
import { fileURLToPath } from 'node:url';
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readdir, readFile } from 'node:fs/promises';
import { join } from 'node:path';
import { serve, launch, open, native, haveBrowser } from './support.mjs';

const skip = haveBrowser ? false : 'no Chromium at /usr/bin/chromium';
let server;
let browser;
let page;

before(async () => {
  if (skip) return;
  server = await serve();
  browser = await launch();
  ({ page } = await open(browser, server.url));
});
after(async () => {
  await browser?.close();
  await server?.close();
});

// A source of the language's pieces and oddities: every kind of finding,
// lines longer than a piece and than a shown window, CR LF, NUL, letters
// of several bytes, names defined again.
function generated(seed) {
  let state = seed;
  const next = (n) => { state = (state * 1103515245 + 12345) >>> 0; return (state >>> 8) % n; };
  const pieces = [
    'add r1, r2, r3', 'addi r1 r0 -5', 'lw r2, 4(r3)', 'sw r1 0x10 r2', 'beq r1 r0 next',
    'beq r1 r0 -65', 'beq r1 r0 63', 'j start', 'j 9000', 'hlt', 'push r7', 'pop r9', 'comp r1 r2',
    'inc r1', 'start:', 'next: hlt', 'loop : add r1 r2 r3', 'x: dw 5', 'dw 1 2 loop', 'db 1 2 3',
    'db 256', 'db -129', 'dw 65536', 'define max 70', 'define', 'define k', '5: hlt', 'j 5',
    'num 7', 'ad r1 r2 r3', 'sub r1x r2 r3', '; comment \u00e9t\u00e9', '', '\tLW R1,( R2 )',
    'hltx y', 'addi r1 r0 start', 'start: j start', 'addi r1 r0 128', 'addi r1 r0 127',
    'dw', 'j   ' + 'a'.repeat(120), 'inc r1 r2 ; \u00fc',
    // A piece of 99 bytes cuts a letter of two, three or four bytes inside
    // a name that a message quotes: after its first, second or third byte.
    `j${' '.repeat(95)}ab\u00e9x`, `j${' '.repeat(94)}ab\u20acx`, `j${' '.repeat(93)}ab\u{1F600}x`,
    `j${' '.repeat(94)}ab\u{1F600}x`,
  ];
  let text = '';
  const lines = 1 + next(40);
  for (let i = 0; i < lines; i++) {
    text += pieces[next(pieces.length)];
    if (next(12) === 0) text += ' '.repeat(next(260)) + (next(2) ? 'hlt x' : '\t j far');
    if (next(40) === 0) text += '\0tail';
    text += next(8) === 0 ? '\r\n' : '\n';
  }
  return next(10) === 0 ? text.slice(0, -1) : text;
}

const shown = (latin1) => new TextDecoder().decode(Buffer.from(latin1, 'latin1'));

async function compare(source, label) {
  for (const reduced of [false, true]) {
    const got = await page.evaluate(([s, r]) => window.quellmarkTools.analyse(s, r, true), [source, reduced]);
    const files = { 'source.asm': source };
    const flag = reduced ? ['--reduced'] : [];
    const check = await native('quellmark', ['check', ...flag, 'source.asm'], files);
    const list = await native('quellmark', ['list', ...flag, 'source.asm'], files);
    const symbols = await native('quellmark', ['symbols', ...flag, 'source.asm'], files);
    const assembled = await native(reduced ? 'assembler' : 'brennor', ['source.asm'], files);
    const what = `${label}, ${reduced ? 'reduced' : 'full'} build`;
    // The programs' bytes as a browser shows them: a cut letter is one mark.
    assert.equal(got.check, shown(check.stdout), `check: ${what}`);
    assert.equal(got.listing, shown(list.stdout), `list: ${what}`);
    assert.equal(got.symbols, shown(symbols.stdout), `symbols: ${what}`);
    assert.equal(got.image, await assembled.read('out.hex'), `image: ${what}`);
  }
}

test('the page gives what the programs print, on generated sources', { skip }, async () => {
  for (let seed = 1; seed <= 60; seed++) await compare(generated(seed), `source ${seed}`);
});

test('and on the examples', { skip }, async () => {
  const dir = fileURLToPath(new URL('../../examples', import.meta.url));
  for (const name of (await readdir(dir)).filter((n) => n.endsWith('.asm'))) {
    await compare(await readFile(join(dir, name), 'utf8'), name);
  }
});

test('disassembly round-trips and equals quellmark dis', { skip }, async () => {
  let state = 7;
  for (let round = 0; round < 20; round++) {
    let image = '';
    for (let i = 0; i < 40; i++) {
      state = (state * 1103515245 + 12345) >>> 0;
      image += (state >>> 8 & 0xffff).toString(16).toUpperCase().padStart(4, '0').split('').reverse().join('');
    }
    const got = await page.evaluate((i) => window.quellmarkTools.disassemble(i), image);
    assert.ok(got.ok);
    const dis = await native('quellmark', ['dis', 'out.hex'], { 'out.hex': image });
    assert.equal(got.source, dis.stdout);
    const back = await native('brennor', ['back.asm'], { 'back.asm': got.source });
    assert.equal(await back.read('out.hex'), image);
  }
});
