// Makes the page's static folder: the two pages, their scripts bundled by
// esbuild, the WebAssembly module and the bundled examples.
//   node build.mjs OUT_DIR WASM_FILE EXAMPLES_DIR
import { build } from 'esbuild';
import { copyFile, mkdir, readdir, readFile, writeFile } from 'node:fs/promises';
import { join } from 'node:path';

const [out, wasm, examplesDir] = process.argv.slice(2);
if (!out || !wasm || !examplesDir) {
  console.error('usage: node build.mjs OUT_DIR WASM_FILE EXAMPLES_DIR');
  process.exit(2);
}
const here = new URL('.', import.meta.url).pathname;
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
