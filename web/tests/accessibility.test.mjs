// axe-core on both pages, as they open and with findings shown: no fault
// of serious or critical impact.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { servedPages } from './support.mjs';

const pages = servedPages();
const { skip } = pages;
const axe = createRequire(import.meta.url).resolve('axe-core/axe.min.js');

async function seriousFaults(page) {
  await page.addScriptTag({ path: axe });
  const results = await page.evaluate(() => window.axe.run(document));
  return results.violations
    .filter((v) => v.impact === 'serious' || v.impact === 'critical')
    .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`);
}

for (const path of ['', 'pattern.html']) {
  test(`axe finds no serious fault on ${path || 'the assembler page'}`, { skip }, async () => {
    const { page, context } = await pages.open(path);
    if (path === '') {
      await page.evaluate(() => {
        const view = window.quellmarkView;
        view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: 'ad r1 r2 r3\nj lop\n' } });
      });
      await page.waitForFunction(() => document.querySelectorAll('#findings li').length === 2);
    }
    assert.deepEqual(await seriousFaults(page), []);
    await context.close();
  });
}
