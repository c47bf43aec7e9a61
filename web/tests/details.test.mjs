// What a user relies on in the details: Copy gives the image, marks and
// the findings list stand on the right letter after letters of several
// bytes, a link shows its own source, and the pattern page's New and Open
// keep the work and the file name as the pattern editor does.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtemp, readFile, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { findingsMarked, hoverOver, native, servedPages, shownHighlights } from './support.mjs';

const pages = servedPages();
const { skip } = pages;

async function put(page, text) {
  await page.evaluate((t) => {
    const view = window.quellmarkView;
    view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: t } });
  }, text);
}

test('Copy puts the image on the clipboard', { skip }, async () => {
  const { page, context } = await pages.open('', { permissions: ['clipboard-read', 'clipboard-write'] });
  const source = 'start: addi r1, r0, 5\nj start\n';
  await put(page, source);
  const image = await (await native('brennor', ['s.asm'], { 's.asm': source })).read('out.hex');
  await page.waitForFunction((i) => document.getElementById('image').textContent === i, image);
  await page.click('#copy-image');
  assert.equal(await page.evaluate(() => navigator.clipboard.readText()), image);
  await context.close();
});

test('an image of several pieces reads and copies as one line', { skip }, async () => {
  const { page, context } = await pages.open('', { permissions: ['clipboard-read', 'clipboard-write'] });
  // 1,500 words: more than one piece of the shown image.
  const source = 'loop: addi r1, r1, 1\n'.repeat(1499) + 'j loop\n';
  await put(page, source);
  const image = await (await native('brennor', ['s.asm'], { 's.asm': source })).read('out.hex');
  await page.waitForFunction((i) => document.getElementById('image').textContent === i, image);
  assert.ok(await page.$$eval('#image > *', (pieces) => pieces.length) > 1);
  // The first piece ends where a line of the box ends: no short line
  // between two pieces, at this width and at another.
  const ends = () => {
    const box = document.getElementById('image');
    const text = box.firstElementChild.firstChild;
    box.scrollTop = box.firstElementChild.offsetHeight - 40;
    const range = document.createRange();
    range.selectNodeContents(text);
    const lineEnd = range.getClientRects()[0].right;
    range.setStart(text, text.length - 1);
    return [lineEnd, range.getBoundingClientRect().right];
  };
  for (const width of [1280, 1000]) {
    await page.setViewportSize({ width, height: 720 });
    // The pieces are cut again a frame after the box changes.
    await page.waitForFunction(`(${ends})().reduce((a, b) => Math.abs(a - b)) < 1`, null, { timeout: 5000 })
      .catch(() => {});
    const [lineEnd, pieceEnd] = await page.evaluate(`(${ends})()`);
    assert.ok(Math.abs(lineEnd - pieceEnd) < 1, `${width}: the line ends at ${lineEnd}, the piece at ${pieceEnd}`);
  }
  // A selection of the whole box, copied as a user would.
  await page.$eval('#image', (box) => document.getSelection().selectAllChildren(box));
  await page.keyboard.press('Control+C');
  assert.equal(await page.evaluate(() => navigator.clipboard.readText()), image);
  await context.close();
});

test('marks and the findings list stand on their token after letters of two to four bytes', { skip }, async () => {
  const { page, context } = await pages.open();
  await put(page, '; \u00e9\u20ac\u{1F600}\nx\u00e9: j lop ; \u00fc\n\u20ac\u{1F600}: ad r1 r2 r3\n');
  await page.waitForFunction(() => document.querySelectorAll('#findings li').length >= 2);
  await page.waitForFunction(() => [...(CSS.highlights.get('qm-finding') ?? [])].length === 2);
  assert.deepEqual(await findingsMarked(page), ['lop', 'ad']);
  // The list puts the cursor on the token each finding names.
  for (const [index, token] of [[0, 'lop'], [1, 'ad']]) {
    await page.locator('#findings li').nth(index).click();
    const at = await page.evaluate((t) => {
      const view = window.quellmarkView;
      return view.state.sliceDoc(view.state.selection.main.head, view.state.selection.main.head + t.length);
    }, token);
    assert.equal(at, token);
  }
  await context.close();
});

test('a browser without highlights gets colours and findings as marks in the lines', { skip }, async () => {
  const context = await pages.browser.newContext();
  await context.addInitScript(() => Object.defineProperty(CSS, 'highlights', { value: undefined }));
  const page = await context.newPage();
  await page.goto(pages.server.url);
  await page.waitForSelector('body[data-ready="true"]');
  await put(page, 'loop: j lop ; x\n        ad r1 r2 r3\n');
  const marked = (selector) => page.$$eval(selector, (marks) => marks.map((m) => m.textContent));
  await page.waitForFunction(() => document.querySelectorAll('.cm-content .qm-finding').length === 2 &&
    document.querySelector('.cm-content .qm-comment'));
  assert.deepEqual(await marked('.cm-content .qm-finding'), ['lop', 'ad']);
  // The colours are those a browser with highlights shows.
  const colours = await page.$$eval('.cm-content .cm-line', (lines) => lines.map((line) =>
    [...line.querySelectorAll('[class^="qm-"]:not(.qm-finding)')].map((m) => [m.className, m.textContent])));
  const { page: highlighted, context: other } = await pages.open();
  await put(highlighted, 'loop: j lop ; x\n        ad r1 r2 r3\n');
  await highlighted.waitForFunction(() => CSS.highlights.get('qm-comment')?.size === 1);
  assert.deepEqual(colours, (await highlighted.evaluate(shownHighlights, 'colours')).lines);
  assert.ok(colours.flat().length >= 8, JSON.stringify(colours));
  await other.close();
  await context.close();
});

test('the findings list and the marks say what check says, in letters of every length', { skip }, async () => {
  const { page, context } = await pages.open();
  // A fix (`lop` for `loop`) and then names of two, three and four bytes a
  // letter in the messages.
  const source = 'loop:   j    lop\n        j    \u00e9t\u00e9\n        j    \u20ac1 ; \u{1F600}\n        j    \u{1F600}x\n';
  await put(page, source);
  await page.waitForFunction(() => document.querySelectorAll('#findings li').length === 4);
  const { stdout } = await native('quellmark', ['check', 'source.asm'], { 'source.asm': source });
  const expected = Buffer.from(stdout, 'latin1').toString('utf8').split('\n')
    .filter((l) => l.includes(': warning: '))
    .map((l) => l.replace(/^source\.asm:/, '').replace(': warning: ', ': '));
  const shown = await page.$$eval('#findings li', (items) => items.map((li) => li.textContent));
  assert.deepEqual(shown, expected);
  assert.match(shown[1], /`\u00e9t\u00e9` is not defined/);
  // The mark of the first finding offers its fix, as check notes it.
  assert.match(stdout, /did you mean 'loop'\?/);
  const tip = await hoverOver(page, 1, 'lop');
  await tip.locator('.qm-findings-tip button').waitFor();
  assert.match(await tip.locator('.qm-findings-tip').textContent(), /loop/);
  // Applied from there.
  await tip.locator('.qm-findings-tip button').click();
  await page.waitForFunction((t) => window.quellmarkView.state.doc.toString() === t, source.replace(' lop\n', ' loop\n'));
  await context.close();
});

test('the findings list follows edits that keep the count of findings', { skip }, async () => {
  const { page, context } = await pages.open();
  const listed = () => page.$$eval('#findings li', (items) => items.map((li) => li.textContent).join('|'));
  const checked = async (source) => {
    const { stdout } = await native('quellmark', ['check', 'source.asm'], { 'source.asm': source });
    return Buffer.from(stdout, 'latin1').toString('utf8').split('\n')
      .filter((l) => l.includes(': warning: '))
      .map((l) => l.replace(/^source\.asm:/, '').replace(': warning: ', ': ')).join('|');
  };
  // Each step keeps two findings: a name of the same length, a name one
  // letter longer, a finding moved along its line, one of two bytes a letter.
  for (const source of ['j lop\nad r1 r2 r3\n', 'j lox\nad r1 r2 r3\n', 'j loxx\nad r1 r2 r3\n',
    'j loxx\n ad r1 r2 r3\n', 'j lo\u00e9x\n ad r1 r2 r3\n']) {
    await put(page, source);
    const expected = await checked(source);
    await page.waitForFunction((e) => Array.from(document.querySelectorAll('#findings li'), (li) => li.textContent).join('|') === e,
      expected, { timeout: 5000 }).catch(() => {});
    assert.equal(await listed(), expected);
  }
  await context.close();
});

test('the markers beside the lines follow the findings, and show a line\'s findings and fixes on hover', { skip }, async () => {
  const { page, context } = await pages.open();
  // The lines beside which a marker stands, from 1.
  const markedLines = () => page.evaluate(() => Array.from(document.querySelectorAll('.qm-finding-marker'), (m) => {
    const view = window.quellmarkView;
    const top = m.getBoundingClientRect().top + 5 - view.documentTop;
    return view.state.doc.lineAt(view.lineBlockAtHeight(top).from).number;
  }));
  const shows = async (lines) => {
    await page.waitForFunction((l) => {
      const view = window.quellmarkView;
      const shown = Array.from(document.querySelectorAll('.qm-finding-marker'), (m) =>
        view.state.doc.lineAt(view.lineBlockAtHeight(m.getBoundingClientRect().top + 5 - view.documentTop).from).number);
      return shown.join() === l.join();
    }, lines, { timeout: 5000 }).catch(() => {});
    assert.deepEqual(await markedLines(), lines);
  };
  const hover = async (line) => {
    await page.mouse.move(0, 0);
    await page.waitForFunction(() => !document.querySelector('.qm-findings-tip'));
    const marker = page.locator('.qm-finding-marker').nth((await markedLines()).indexOf(line));
    await marker.hover();
    const tip = page.locator('.qm-findings-tip');
    await tip.waitFor();
    return tip;
  };
  await put(page, 'j lop\nloop: hlt\nad r1 r2 r3\n');
  await shows([1, 3]);
  // An edit that changes a finding's text but not the lines that have
  // findings: the hover tells the finding as it is now.
  await put(page, 'j lopp\nloop: hlt\nad r1 r2 r3\n');
  await page.waitForFunction(() => document.querySelector('#findings li')?.textContent.includes('lopp'));
  await shows([1, 3]);
  let tip = await hover(1);
  assert.match(await tip.textContent(), /`lopp` is not defined/);
  assert.match(await tip.textContent(), /-Wundefined/);
  // Its fix, from the hover.
  await tip.locator('button').first().click();
  await page.waitForFunction(() => window.quellmarkView.state.doc.toString().startsWith('j loop\n'));
  await shows([3]);
  // Two findings on one line, one marker that shows both.
  await put(page, 'j loop\nloop: hlt\nad r1 r2 r3\nj lop lop\n');
  await shows([3, 4]);
  tip = await hover(4);
  assert.equal(await tip.locator('li').count(), 2);
  await context.close();
});

test('a shared link shows its own source, not the one the visitor kept', { skip }, async () => {
  const { page, context } = await pages.open();
  await put(page, 'hlt ; mine\n');
  await page.waitForFunction(async () => ((await window.quellmarkKept())?.text ?? '').includes('mine'));
  await put(page, 'j 5 ; shared\n');
  await page.click('#share');
  await page.waitForFunction(() => location.hash.startsWith('#src='));
  const link = page.url();
  await put(page, 'hlt ; mine\n');
  await page.waitForFunction(async () => ((await window.quellmarkKept())?.text ?? '').includes('mine'));
  const next = await context.newPage();
  await next.goto(link);
  await next.waitForSelector('body[data-ready="true"]');
  assert.equal(await next.evaluate(() => window.quellmarkView.state.doc.toString()), 'j 5 ; shared\n');
  await context.close();
});

const probe = (...args) => execFileSync(process.env.QUELLMARK_PATTERN_PROBE, args, { encoding: 'latin1' });
const pressed = (page) => page.$$eval('#grid button', (b) => b.map((x) => (x.getAttribute('aria-pressed') === 'true' ? '1' : '0')).join(''));

test('the pattern page: Open keeps work unsaved, New saves the work it asks about and forgets the file',
  { skip: skip || (process.env.QUELLMARK_PATTERN_PROBE ? false : 'no pattern_probe') }, async () => {
    const { page, context } = await pages.open('pattern.html');
    const dir = await mkdtemp(join(tmpdir(), 'quellmark-ptn-'));
    const cells = `${'1000'.repeat(10)}${'0'.repeat(160)}`;
    await writeFile(join(dir, 'first.ptn'), probe('encode', cells), 'latin1');
    // Unsaved work, then Open: the work is still unsaved, as in the editor.
    await page.click('#grid button[data-cell="5"]');
    await page.setInputFiles('#open', join(dir, 'first.ptn'));
    await page.waitForFunction(() => document.title.startsWith('Quellmark (first.ptn)'));
    assert.equal(await pressed(page), cells);
    assert.equal(await page.title(), 'Quellmark (first.ptn) \u2022 unsaved');
    // So New asks, and OK saves the grid as it is, under its name.
    await page.click('#new');
    assert.equal(await page.textContent('dialog[open] p'), 'save unsaved work?');
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('dialog button[value="ok"]')]);
    assert.equal(download.suggestedFilename(), 'first.ptn');
    assert.equal(await readFile(await download.path(), 'latin1'), probe('encode', cells));
    await page.waitForFunction(() => document.title === 'Quellmark');
    assert.equal(await pressed(page), '0'.repeat(200));
    // The next Save knows no file name.
    await page.click('#grid button[data-cell="0"]');
    const [next] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
    assert.equal(next.suggestedFilename(), 'pattern.ptn');
    assert.equal(await page.title(), 'Quellmark (pattern.ptn)');
    await context.close();
  });

test('a large text is marked where it is shown, and its findings listed a screenful at a time', { skip }, async () => {
  const { page, context } = await pages.open();
  // 3,000 lines, every tenth with a finding: 300 findings, the last far below
  // and with a fix (`loop` for `lop`).
  const lines = ['loop: hlt'];
  for (let i = 1; i < 3000; ++i) lines.push(i % 10 === 9 ? `j nowhere${i}` : 'hlt');
  lines[2999] = 'j lop';
  await put(page, `${lines.join('\n')}\n`);
  await page.waitForFunction(() => document.getElementById('findings-title').textContent === 'Findings (300)');
  const markedText = () => findingsMarked(page);
  assert.ok(!(await markedText()).includes('lop'));
  assert.ok((await markedText()).includes('nowhere9'));
  // Scrolled to the end, the last lines are marked, and the last finding
  // offers its fix.
  await page.evaluate(() => {
    const view = window.quellmarkView;
    view.dispatch({ selection: { anchor: view.state.doc.length - 2 }, scrollIntoView: true });
    view.focus();
  });
  for (const deadline = Date.now() + 10000; !(await markedText()).includes('lop'); await page.waitForTimeout(20)) {
    assert.ok(Date.now() < deadline, 'the last lines are not marked');
  }
  await page.keyboard.press('Control+.');
  await page.waitForSelector('.qm-quickfix button');
  assert.match(await page.textContent('.qm-quickfix button'), /loop/);
  await page.keyboard.press('Escape');
  // The list shows a screenful, and more as it is scrolled to its end.
  const count = () => page.$$eval('#findings li', (items) => items.length);
  assert.equal(await count(), 100);
  await page.$eval('#findings', (list) => { list.scrollTop = list.scrollHeight; });
  await page.waitForFunction(() => document.querySelectorAll('#findings li').length === 200);
  await page.$eval('#findings', (list) => { list.scrollTop = list.scrollHeight; });
  await page.waitForFunction(() => document.querySelectorAll('#findings li').length === 300);
  await context.close();
});
