// The bundling of the page: from a checkout whose path holds blanks, into a
// folder whose name holds blanks, and `npm run bundle` with the default
// folders.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { cp, mkdtemp, mkdir, readFile, rm, symlink, stat } from 'node:fs/promises';
import { existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { folder } from './support.mjs';

const web = fileURLToPath(new URL('..', import.meta.url));
const wasm = join(folder, 'quellmark.wasm');
const skip = existsSync(wasm) ? false : 'the page is not built';

test('a checkout and a folder with blanks in their paths', { skip }, async () => {
  const dir = await mkdtemp(join(tmpdir(), 'quellmark web '));
  try {
    const checkout = join(dir, 'a checkout', 'web');
    await mkdir(checkout, { recursive: true });
    await cp(join(web, 'src'), join(checkout, 'src'), { recursive: true });
    await cp(join(web, 'build.mjs'), join(checkout, 'build.mjs'));
    await symlink(join(web, 'node_modules'), join(checkout, 'node_modules'));
    const out = join(dir, 'the page');
    execFileSync(process.execPath, [join(checkout, 'build.mjs'), out, wasm, join(web, '../examples')]);
    for (const name of ['index.html', 'pattern.html', 'assembler.js', 'pattern.js', 'lsp-worker.js',
      'quellmark.wasm', 'examples.json', 'style.css']) {
      assert.ok((await stat(join(out, name))).size > 0, name);
    }
    assert.deepEqual(await readFile(join(out, 'quellmark.wasm')), await readFile(wasm));
  } finally {
    await rm(dir, { recursive: true, force: true });
  }
});

test('npm run bundle makes the default folder', { skip: existsSync(join(web, '../build/web-build/quellmark.wasm')) ? false : 'no default build' }, () => {
  const output = execFileSync('npm', ['run', '--silent', 'bundle'], { cwd: web, encoding: 'utf8' });
  assert.equal(output, '');
  assert.ok(existsSync(join(web, '../build/web/index.html')));
});
