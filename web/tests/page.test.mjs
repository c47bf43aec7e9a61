// The two pages in a real browser, as a user drives them.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFile, writeFile, mkdtemp } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { open, native, screenshot, asBytes, servedPages, hoverOver, findingsMarked } from './support.mjs';

const pages = servedPages();
const { skip } = pages;

// Replaces the editor's text by typing it, as a user would.
async function typeSource(page, text) {
  await page.click('.cm-content');
  await page.keyboard.press('Control+A');
  await page.keyboard.press('Delete');
  await page.keyboard.type(text, { delay: 0 });
}
const editorText = (page) => page.evaluate(() => window.quellmarkView.state.doc.toString());
const findingsShown = (page) => page.$$eval('#findings li', (items) => items.map((li) => li.textContent));

const MISTAKES = [
  '; Add the numbers 1 to 5.',
  'define N 5',
  '        addi r1, r0, N',
  'loop:   beq  r1, r0, done',
  '        ad   r2, r2, r1',
  '        dec  r1, r1',
  '        j    lop',
  'done:   sw   r2, 0x10(r0)',
  '        hlt',
  '',
].join('\n');

test('typing a program with mistakes marks them where check puts them', { skip }, async () => {
  const { page, requests, context } = await pages.open();
  await typeSource(page, MISTAKES);
  await page.waitForFunction(() => document.querySelectorAll('#findings li').length === 3);
  const expected = (await native('quellmark', ['check', 'source.asm'], { 'source.asm': MISTAKES })).stdout
    .split('\n')
    .filter((l) => l.includes(': warning: '))
    .map((l) => l.replace(/^source\.asm:/, '').replace(': warning: ', ': '));
  assert.deepEqual(await findingsShown(page), expected);
  // Marks under the text and in the gutter, the message and -W name on hover.
  assert.equal(await page.locator('.qm-finding-marker').count(), 3);
  assert.deepEqual(await findingsMarked(page), ['ad', 'lop', '0x10']);
  const tip = await (await hoverOver(page, MISTAKES.split('\n').findIndex((l) => l.includes(' ad ')) + 1, 'ad')).textContent();
  assert.match(tip, /`ad` is not an instruction/);
  assert.match(tip, /-Wnot-an-instruction/);
  // A finding of the list takes the cursor to its place.
  await page.click('#findings li:nth-child(2)');
  const cursor = await page.evaluate(() => {
    const { state } = window.quellmarkView;
    const at = state.selection.main.head;
    const line = state.doc.lineAt(at);
    return [line.number, at - line.from + 1];
  });
  assert.deepEqual(cursor, [7, 14]);
  await screenshot(page, 'assembler.png');
  // Nothing is asked of any server but the page's own.
  assert.ok(requests.every((r) => r.startsWith(pages.server.url)), requests.join(' '));
  await context.close();
});

test('the listing and the image follow an edit, and Download gives out.hex', { skip }, async () => {
  const { page, context } = await pages.open();
  await typeSource(page, 'start: addi r1, r0, 5\nj start\n');
  await page.waitForFunction(() => document.querySelector('#image').textContent === '5806000A');
  const gutter = await page.$$eval('.cm-listing .cm-gutterElement', (e) => e.map((x) => x.textContent).filter(Boolean));
  assert.ok(gutter.includes('0000 6085') && gutter.includes('0001 A000'), gutter.join('|'));
  await page.keyboard.type('hlt\n');
  await page.waitForFunction(() => document.querySelector('#image').textContent === '5806000A000E');
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download-image')]);
  assert.equal(download.suggestedFilename(), 'out.hex');
  const bytes = await readFile(await download.path(), 'latin1');
  const source = await editorText(page);
  const brennor = await native('brennor', ['p.asm'], { 'p.asm': source });
  assert.equal(bytes, await brennor.read('out.hex'));
  await page.click('[data-tab="listing"]');
  // The texts come from the worker, a moment after the tab shows.
  const listed = (await native('quellmark', ['list', 'p.asm'], { 'p.asm': source })).stdout;
  await page.waitForFunction(() => document.querySelector('#listing').textContent !== '');
  assert.equal(asBytes(await page.textContent('#listing')), listed);
  await context.close();
});

test('the build switch changes what the builds read differently', { skip }, async () => {
  const { page, context } = await pages.open();
  await typeSource(page, 'top:\nj top\ndw 7\n');
  await page.waitForFunction(() => document.querySelector('#image').textContent === '000A7000');
  await page.selectOption('#build', 'reduced');
  await page.waitForFunction(() => document.querySelector('#image').textContent === '0000000A0000');
  assert.equal(await page.locator('#findings li').count(), 2);  // label-word, reduced-data
  await context.close();
});

test('a shared link restores the source and the build', { skip }, async () => {
  const { page, context } = await pages.open();
  const source = 'define K 3\nloop: addi r1, r0, K ; \u00e9t\u00e9\n  j loop\n';
  await typeSource(page, source);
  await page.selectOption('#build', 'reduced');
  await page.click('#share');
  await page.waitForFunction(() => location.hash.startsWith('#src='));
  const link = page.url();
  // The last source is kept in the browser, for the next visit.
  await page.waitForFunction(async (s) => (await window.quellmarkKept())?.text === s, source);
  const next = await context.newPage();
  await next.goto(pages.server.url);
  await next.waitForSelector('body[data-ready="true"]');
  assert.equal(await editorText(next), source);
  await context.close();
  // The link, in a browser that never saw the source.
  const other = await open(pages.browser, link);
  assert.equal(await editorText(other.page), source);
  assert.equal(await other.page.inputValue('#build'), 'reduced');
  await other.context.close();
});

test('an image disassembles into the source quellmark dis prints, which assembles back', { skip }, async () => {
  const { page, context } = await pages.open();
  const brennor = await native('brennor', ['p.asm'], { 'p.asm': MISTAKES });
  const image = await brennor.read('out.hex');
  await page.click('[data-tab="dis"]');
  await page.fill('#dis-input', image);
  const dis = await native('quellmark', ['dis', 'out.hex'], { 'out.hex': image });
  await page.waitForFunction(() => document.querySelector('#dis-output').textContent !== '');
  assert.equal(await page.textContent('#dis-output'), dis.stdout);
  await page.click('#dis-open');
  await page.waitForFunction((i) => document.querySelector('#image').textContent === i, image);
  await page.fill('#dis-input', '12G4');
  await page.waitForFunction(() => document.querySelector('#dis-problem').textContent !== '');
  assert.equal(await page.textContent('#dis-problem'), "position 3: 'G' is not a hexadecimal digit");
  await context.close();
});

const probe = (...args) => execFileSync(process.env.QUELLMARK_PATTERN_PROBE, args, { encoding: 'latin1' });
const decoded = (bytes) => execFileSync(process.env.QUELLMARK_PATTERN_PROBE, ['decode'], { input: bytes, encoding: 'latin1' }).trim();
const pressed = (page) => page.$$eval('#grid button', (b) => b.map((x) => (x.getAttribute('aria-pressed') === 'true' ? '1' : '0')).join(''));

test('the pattern page: cells by click and key, Random, Save, Open and New', { skip: skip || !process.env.QUELLMARK_PATTERN_PROBE }, async () => {
  const { page, context } = await pages.open('pattern.html');
  assert.equal(await page.title(), 'Quellmark');
  // Random gives the editor's first fills, in its order, from the start.
  const fills = probe('random', '3').trim().split('\n');
  for (const fill of fills) {
    await page.click('#random');
    assert.equal(await pressed(page), fill);
  }
  assert.equal(await page.title(), 'Quellmark \u2022 unsaved');
  await screenshot(page, 'pattern.png');

  // New asks; closing the question keeps the grid, cancel drops it.
  await page.click('#new');
  assert.equal(await page.textContent('dialog[open] p'), 'save unsaved work?');
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => !document.querySelector('dialog').open);
  assert.equal(await pressed(page), fills[2]);
  await page.click('#new');
  await page.click('dialog button[value="cancel"]');
  await page.waitForFunction(() => document.title === 'Quellmark');
  assert.equal(await pressed(page), '0'.repeat(200));

  // A click and a key switch the right cells.
  await page.click('#grid button[data-cell="0"]');
  await page.focus('#grid button[data-cell="197"]');
  await page.keyboard.press('Space');
  await page.keyboard.press('Tab');  // to cell 198
  await page.keyboard.press('Enter');
  const cells = await pressed(page);
  assert.deepEqual([...cells].flatMap((c, i) => (c === '1' ? [i] : [])), [0, 197, 198]);

  // Save downloads the bytes the editor writes; with no file yet it is the
  // editor's Save As, which says nothing afterwards.
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
  const saved = await readFile(await download.path(), 'latin1');
  assert.equal(saved, probe('encode', cells));
  assert.equal(saved.length, 134);
  // And the editor's reader, the one its Open uses, gives the same cells back.
  assert.equal(decoded(saved), cells);
  assert.equal(await page.textContent('#notice'), '');
  assert.equal(await page.title(), 'Quellmark (pattern.ptn)');
  // Save again with nothing changed writes nothing; after a change it
  // writes to the same file and says so.
  let downloads = 0;
  page.on('download', () => { downloads += 1; });
  await page.click('#save');
  assert.equal(await page.textContent('#notice'), 'No changes detected');
  await page.click('#grid button[data-cell="1"]');
  const [again] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
  assert.equal(again.suggestedFilename(), 'pattern.ptn');
  assert.equal(decoded(await readFile(await again.path(), 'latin1')), `${cells[0]}1${cells.slice(2)}`);
  assert.equal(await page.textContent('#notice'), 'File is successfully saved');
  assert.equal(downloads, 1);

  // Open reads a file as the editor does, whatever it holds.
  const dir = await mkdtemp(join(tmpdir(), 'quellmark-ptn-'));
  const good = join(dir, 'good.ptn');
  await writeFile(good, probe('encode', fills[0]), 'latin1');
  await page.setInputFiles('#open', good);
  await page.waitForFunction(() => document.title === 'Quellmark (good.ptn)');
  assert.equal(await pressed(page), fills[0]);
  const bad = join(dir, 'notes.ptn');
  const garbage = 'These are notes, not a pattern: 0123 zz \u00e9\r\n';
  await writeFile(bad, garbage);
  await page.setInputFiles('#open', bad);
  await page.waitForFunction(() => document.title === 'Quellmark (notes.ptn)');
  assert.equal(await pressed(page), decoded(garbage));
  await context.close();
});
