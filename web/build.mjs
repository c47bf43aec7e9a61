// Makes the page's static folder: the two pages, their scripts bundled by
// esbuild, the WebAssembly module and the bundled examples.
//   node build.mjs [OUT_DIR WASM_FILE EXAMPLES_DIR]
// Without arguments (`npm run bundle`), the folders of the default build:
// build/web from build/web-build/quellmark.wasm and examples/.
import { fileURLToPath } from 'node:url';
import { build } from 'esbuild';
import { copyFile, mkdir, readdir, readFile, writeFile } from 'node:fs/promises';
import { join } from 'node:path';
import { existsSync } from 'node:fs';

const here = fileURLToPath(new URL('.', import.meta.url));
const given = process.argv.slice(2);
if (given.length !== 0 && given.length !== 3) {
  console.error('usage: node build.mjs [OUT_DIR WASM_FILE EXAMPLES_DIR]');
  process.exit(2);
}
const [out, wasm, examplesDir] = given.length === 3 ? given
  : [join(here, '../build/web'), join(here, '../build/web-build/quellmark.wasm'), join(here, '../examples')];
if (!existsSync(wasm)) {
  console.error(`${wasm} is not there: the WebAssembly is compiled by cmake --build build --target web`);
  process.exit(1);
}
await mkdir(out, { recursive: true });
await build({
  entryPoints: [join(here, 'src/assembler.js'), join(here, 'src/pattern.js'), join(here, 'src/lsp-worker.js')],
  bundle: true,
  minify: true,
  format: 'esm',
  target: 'es2022',
  outdir: out,
  logLevel: 'warning',
});
for (const name of ['index.html', 'pattern.html', 'style.css']) {
  await copyFile(join(here, 'src', name), join(out, name));
}
await copyFile(wasm, join(out, 'quellmark.wasm'));
const examples = [];
for (const name of (await readdir(examplesDir)).sort()) {
  if (name.endsWith('.asm')) examples.push({ name, text: await readFile(join(examplesDir, name), 'utf8') });
}
await writeFile(join(out, 'examples.json'), JSON.stringify(examples));
