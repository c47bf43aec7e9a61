// Times the web page in Debian's Chromium: from a keystroke to updated
// diagnostics and listing (performance.now() around the page's update),
// at several sizes; the first load to a usable editor; the folder's size.
//   node bench/web_bench.mjs [BUILD_WEB_FOLDER]      (default build/web)
// Run from the repository; it uses web/node_modules (cmake --build build --target web).
import { fileURLToPath } from 'node:url';
import { readdir, stat } from 'node:fs/promises';
import { join } from 'node:path';
import { createRequire } from 'node:module';
import { generateProgram } from './generated_program.mjs';

const root = fileURLToPath(new URL('..', import.meta.url));
const folder = process.argv[2] ?? join(root, 'build/web');
process.env.QUELLMARK_WEB = folder;
const require = createRequire(join(root, 'web/package.json'));
require.resolve('playwright-core');
const { serve, launch } = await import(join(root, 'web/tests/support.mjs'));

const median = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)];
const p95 = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length * 0.95)];

// The page's own thread time for each analysis it drew, from a trace of
// the marks it sets around handing the change over, reading the reply and
// drawing: `tts` is the thread's clock, which stands still while the thread
// waits for a core, as it does on a busy machine.
function threadTimes(traceEvents) {
  const marks = (name) => traceEvents.filter((e) => e.name === name).sort((a, b) => a.ts - b.ts);
  const spans = (part) => {
    const starts = marks(`quellmark-${part}`);
    const ends = marks(`quellmark-${part}-end`);
    return starts.map((s, i) => ({ at: s.ts, tts: (ends[i]?.tts ?? s.tts) - s.tts }));
  };
  const asks = spans('ask');
  const reads = spans('read');
  const draws = spans('draw');
  // Each keystroke's update is asked for, read and drawn once; the read is
  // the last before its drawing (other replies are read too).
  if (draws.length === 0 || asks.length !== draws.length) return null;
  return draws.map((d, i) => {
    const read = reads.filter((r) => r.at <= d.at).at(-1)?.tts ?? 0;
    return (asks[i].tts + read + d.tts) / 1000;
  });
}

let bytes = 0;
for (const name of await readdir(folder)) bytes += (await stat(join(folder, name))).size;
console.log(`folder: ${(bytes / 1024).toFixed(0)} KiB uncompressed`);

const server = await serve();
const browser = await launch();
try {
  const loads = [];
  for (let i = 0; i < 7; i++) {
    const context = await browser.newContext();
    const page = await context.newPage();
    const started = Date.now();
    await page.goto(server.url);
    await page.waitForSelector('body[data-ready="true"]');
    loads.push(Date.now() - started);
    await context.close();
  }
  console.log(`first load to a usable editor: median ${median(loads)} ms (of ${loads.join(', ')})`);

  for (const lines of [1000, 10000, 100000]) {
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.goto(server.url);
    await page.waitForSelector('body[data-ready="true"]');
    const source = generateProgram(lines);
    await page.evaluate((s) => {
      const view = window.quellmarkView;
      view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: s } });
    }, source);
    // Keystrokes in the middle line, each measured by the page itself.
    await page.evaluate((l) => {
      const view = window.quellmarkView;
      view.dispatch({ selection: { anchor: view.state.doc.line(l).from } });
      view.focus();
    }, Math.floor(lines / 2));
    await page.waitForTimeout(200);
    await page.evaluate(() => { window.quellmarkTimings.length = 0; window.quellmarkMainThread.length = 0; });
    // A hundred keystrokes, so that the 95th percentile is not the slowest
    // of all; each waits for the one before it to be drawn. They come at a
    // fast typist's pace, about ten a second, at no fixed point of the
    // browser's frames. In a burst, each comes the moment the one before it
    // is drawn: right after a frame, so that its own frame waits for the
    // display's next.
    const keys = 100;
    let typed = 0;
    const typeKeys = async ({ burst = false, each = async () => {} } = {}) => {
      for (let i = 0; i < keys; i++) {
        if (!burst) await page.waitForTimeout(60 + Math.random() * 80);
        await page.keyboard.type(i % 2 ? 'x' : ' ');
        await page.waitForFunction((n) => window.quellmarkTimings.length >= n, ++typed);
        await each();
      }
    };
    await typeKeys();
    const timings = await page.evaluate(() => window.quellmarkTimings);
    const main = await page.evaluate(() => window.quellmarkMainThread);
    await page.evaluate(() => { window.quellmarkTimings.length = 0; });
    typed = 0;
    await typeKeys({ burst: true });
    const burst = await page.evaluate(() => window.quellmarkTimings);
    // Again under a trace, which slows the page a little, for the time the
    // thread ran.
    await browser.startTracing(page, { categories: ['blink.user_timing'] });
    await typeKeys();
    const threadTime = threadTimes(JSON.parse((await browser.stopTracing()).toString()).traceEvents);
    // Then a probe that asks the page's thread for a turn again and again:
    // the longest wait for one while a keystroke is handled is the longest
    // that a next keystroke would have waited (drawing included).
    await page.evaluate(() => {
      const channel = new MessageChannel();
      let last = performance.now();
      window.quellmarkHeld = 0;
      channel.port1.onmessage = () => {
        const now = performance.now();
        window.quellmarkHeld = Math.max(window.quellmarkHeld, now - last);
        last = now;
        channel.port2.postMessage(0);
      };
      channel.port2.postMessage(0);
    });
    const held = [];
    await page.evaluate(() => { window.quellmarkHeld = 0; });
    await typeKeys({
      each: async () => {
        await page.waitForTimeout(60);  // frames drawn after the update are counted too
        held.push(await page.evaluate(() => { const h = window.quellmarkHeld; window.quellmarkHeld = 0; return h; }));
      },
    });
    // Keystrokes inside an instruction's operands, where typing mostly
    // goes: on the next line, 12 letters in (its 8 blanks and 4 letters of
    // its instruction), where they define no name.
    await page.evaluate((l) => {
      const view = window.quellmarkView;
      view.dispatch({ selection: { anchor: view.state.doc.line(l).from + 12 } });
      window.quellmarkTimings.length = 0;
    }, Math.floor(lines / 2) + 1);
    typed = 0;
    await typeKeys();
    const inside = await page.evaluate(() => window.quellmarkTimings);
    const ran = threadTime
      ? `, of which it ran ${median(threadTime).toFixed(1)} ms, 95th ${p95(threadTime).toFixed(1)} ms (thread clock)`
      : ' (the trace did not pair its marks)';
    console.log(`${String(lines).padStart(7)} lines: keystroke to diagnostics and listing, median ${median(timings).toFixed(1)} ms, slowest ${Math.max(...timings).toFixed(1)} ms, in a burst median ${median(burst).toFixed(1)} ms; the page's thread ${median(main).toFixed(1)} ms a keystroke, 95th ${p95(main).toFixed(1)} ms${ran}; held at most ${median(held).toFixed(1)} ms a keystroke (median), 95th ${p95(held).toFixed(1)} ms; typed in an instruction's operands, median ${median(inside).toFixed(1)} ms, 95th ${p95(inside).toFixed(1)} ms`);
    await context.close();
  }
  // One line of a mebibyte with a finding in every statement: the time until
  // its findings are drawn, a keystroke's while they are made, and one's
  // after that.
  {
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.goto(server.url);
    await page.waitForSelector('body[data-ready="true"]');
    const unit = 'add r1 r2 r3 x: ';
    const line = unit.repeat(Math.ceil((1 << 20) / unit.length));
    const started = Date.now();
    await page.evaluate((t) => {
      const view = window.quellmarkView;
      view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: t } });
    }, line);
    await page.evaluate(() => { window.quellmarkView.focus(); window.quellmarkView.dispatch({ selection: { anchor: 100 } }); });
    const meanwhile = Date.now();
    await page.keyboard.type('q');
    const answered = Date.now() - meanwhile;
    const before = await page.textContent('#findings-title');
    await page.waitForFunction(() => Number(/\((\d+)\)/.exec(document.getElementById('findings-title').textContent)?.[1]) > 20000,
      null, { timeout: 300000 });
    const drawn = Date.now() - started;
    const typing = Date.now();
    await page.keyboard.press('End');
    await page.keyboard.type('h');
    console.log(`one line of 1 MiB: ${await page.textContent('#findings-title')} drawn after ${drawn} ms; a keystroke meanwhile ${answered} ms (${before} shown then); End and a keystroke after ${Date.now() - typing} ms`);
    await context.close();
  }
} finally {
  await browser.close();
  await server.close();
}
