// What the page's tests share: a static server on the loopback address
// for the built folder, Debian's Chromium driven by playwright-core, and
// the native programs to hold the page against.
import { fileURLToPath } from 'node:url';
import { before, after } from 'node:test';
import { createServer } from 'node:http';
import { readFile, mkdir, mkdtemp, writeFile, rm } from 'node:fs/promises';
import { execFileSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, extname } from 'node:path';
import { chromium } from 'playwright-core';

export const folder = process.env.QUELLMARK_WEB ?? fileURLToPath(new URL('../../build/web', import.meta.url));
export const programs = process.env.QUELLMARK_PROGRAMS ?? fileURLToPath(new URL('../../build/assembler', import.meta.url));
export const report = process.env.QUELLMARK_REPORT ?? fileURLToPath(new URL('../../build/web-report', import.meta.url));
const browserPath = process.env.QUELLMARK_CHROMIUM ?? '/usr/bin/chromium';

export const haveBrowser = existsSync(browserPath);

const types = {
  '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm', '.json': 'application/json',
};

// Serves the folder on 127.0.0.1 and counts the requests, so that a test
// can see that the page asks for nothing outside it.
export async function serve() {
  const requests = [];
  const server = createServer(async (request, response) => {
    const path = new URL(request.url, 'http://x').pathname;
    requests.push(path);
    try {
      const file = join(folder, path === '/' ? 'index.html' : path);
      if (!file.startsWith(folder)) throw new Error('outside');
      const body = await readFile(file);
      response.writeHead(200, { 'content-type': types[extname(file)] ?? 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const url = `http://127.0.0.1:${server.address().port}/`;
  return { url, requests, close: () => new Promise((resolve) => server.close(resolve)) };
}

export async function launch() {
  return chromium.launch({
    executablePath: browserPath,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

// Opens a page of the served folder and waits until it is ready to use.
export async function open(browser, url, options = {}) {
  const context = await browser.newContext({ acceptDownloads: true, ...options });
  const page = await context.newPage();
  const requests = [];
  page.on('request', (r) => requests.push(r.url()));
  await page.goto(url);
  await page.waitForSelector('body[data-ready="true"]');
  return { page, context, requests };
}

// Runs a native program in a fresh folder with `files`; its output, status
// and the folder's files afterwards.
export async function native(program, args, files = {}) {
  const dir = await mkdtemp(join(tmpdir(), 'quellmark-web-'));
  try {
    for (const [name, bytes] of Object.entries(files)) await writeFile(join(dir, name), bytes);
    let stdout = '';
    let status = 0;
    try {
      stdout = execFileSync(join(programs, program), args, { cwd: dir, encoding: 'latin1', maxBuffer: 1 << 28 });
    } catch (e) {
      stdout = e.stdout ?? '';
      status = e.status;
    }
    const read = async (name) => (existsSync(join(dir, name)) ? (await readFile(join(dir, name))).toString('latin1') : null);
    return { stdout, status, read };
  } finally {
    setTimeout(() => rm(dir, { recursive: true, force: true }), 0);
  }
}

export async function screenshot(page, name) {
  await mkdir(report, { recursive: true });
  await page.screenshot({ path: join(report, name), fullPage: true });
}

// Text as the programs' Latin-1 readings show its UTF-8 bytes.
export const asBytes = (text) => Buffer.from(text, 'utf8').toString('latin1');

// A served folder and a browser for the tests of one file, started before
// them and closed after; `skip` says why there is none. `open(path)` opens
// a page of the folder, ready to use.
export function servedPages() {
  const pages = {
    skip: haveBrowser ? false : `no Chromium at ${browserPath} (scripts/setup.sh installs it)`,
    open: (path = '', options = {}) => open(pages.browser, pages.server.url + path, options),
  };
  before(async () => {
    if (pages.skip) return;
    pages.server = await serve();
    pages.browser = await launch();
  });
  after(async () => {
    await pages.browser?.close();
    await pages.server?.close();
  });
  return pages;
}

// Moves the mouse as a user would onto `word` on line `line` (from 1) of
// the editor, and waits for the hover's tooltip.
export async function hoverOver(page, line, word) {
  const at = await page.evaluate(([l, w]) => {
    const view = window.quellmarkView;
    const text = view.state.doc.line(l);
    const box = view.coordsAtPos(text.from + text.text.indexOf(w) + 1);
    return { x: box.left + 2, y: (box.top + box.bottom) / 2 };
  }, [line, word]);
  await page.mouse.move(at.x - 20, at.y);
  await page.mouse.move(at.x, at.y, { steps: 4 });
  const tip = page.locator('.cm-tooltip-hover');
  await tip.waitFor();
  return tip;
}

// Run in the page: what the browser's highlights of the editor's text show,
// the findings' (`kind` 'findings'), the colours ('colours') or all.
// `lines` holds each line's highlighted pieces in order, as [highlight,
// text]; `lost` counts the ranges left on text the editor no longer shows,
// which would be kept for nothing.
export function shownHighlights(kind) {
  const lines = [...document.querySelectorAll('.cm-content .cm-line')];
  const pieces = lines.map(() => []);
  let lost = 0;
  for (const [name, highlight] of CSS.highlights) {
    if ((kind === 'findings' && name !== 'qm-finding') || (kind === 'colours' && name === 'qm-finding')) continue;
    for (const range of highlight) {
      const start = range.startContainer;
      const line = (start.nodeType === Node.TEXT_NODE ? start.parentElement : start)?.closest('.cm-line');
      const at = line && line.isConnected ? lines.indexOf(line) : -1;
      if (at < 0) {
        ++lost;
        continue;
      }
      const text = (from, offset, to, end) => {
        const live = document.createRange();
        live.setStart(from, offset);
        live.setEnd(to, end);
        return live.toString();
      };
      pieces[at].push([text(line, 0, start, range.startOffset).length, name,
        text(start, range.startOffset, range.endContainer, range.endOffset)]);
    }
  }
  return { lines: pieces.map((t) => t.sort((a, b) => a[0] - b[0] || a[1].localeCompare(b[1])).map(([, name, text]) => [name, text])), lost };
}

// The texts the findings' highlights cover, in the order of the lines.
export const findingsMarked = async (page) => (await page.evaluate(shownHighlights, 'findings')).lines.flat().map(([, text]) => text);
