// The pattern page: 50 rows of 4 cells with the pattern editor's rules,
// which come from its own code (the .ptn format and the random fill).
import { loadTools } from './wasm.js';

const ROWS = 50;
const COLUMNS = 4;

async function main() {
  const tools = await loadTools();
  const byId = (id) => document.getElementById(id);
  const grid = byId('grid');
  const notice = byId('notice');
  const cells = new Array(ROWS * COLUMNS).fill(false);
  let file = '';      // the name of the open file, if any
  let saved = true;   // no change since it was opened or saved

  const title = () => {
    document.title = (file ? `Quellmark (${file})` : 'Quellmark') + (saved ? '' : ' \u2022 unsaved');
  };
  const buttons = [];
  // Row 0 stands at the top, as cell = 4 x row + column says.
  for (let i = 0; i < ROWS * COLUMNS; ++i) {
    const b = document.createElement('button');
    b.type = 'button';
    b.dataset.cell = i;
    b.setAttribute('aria-pressed', 'false');
    b.setAttribute('aria-label', `row ${Math.floor(i / COLUMNS)}, column ${i % COLUMNS}`);
    buttons.push(b);
  }
  grid.append(...buttons);
  const scale = byId('scale');
  for (let mark = 50; mark >= 0; mark -= 10) scale.append(Object.assign(document.createElement('span'), { textContent: mark }));

  const show = () => cells.forEach((on, i) => buttons[i].setAttribute('aria-pressed', String(on)));
  const set = (next, changed) => {
    next.forEach((on, i) => { cells[i] = on; });
    show();
    if (changed) saved = false;
    title();
  };
  grid.addEventListener('click', (e) => {
    const b = e.target.closest('button');
    if (!b) return;
    cells[Number(b.dataset.cell)] = !cells[Number(b.dataset.cell)];
    set(cells, true);
  });

  const save = () => {
    const name = file || 'pattern.ptn';
    const url = URL.createObjectURL(new Blob([tools.encodePattern(cells)], { type: 'application/octet-stream' }));
    const a = Object.assign(document.createElement('a'), { href: url, download: name });
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 1000);
    const wasSaved = saved;
    file = name;
    saved = true;
    title();
    notice.textContent = wasSaved ? 'No changes detected' : 'File is successfully saved';
  };
  byId('save').addEventListener('click', save);
  byId('random').addEventListener('click', () => set(tools.randomFill(cells), true));

  // New asks first when there is unsaved work: OK saves, cancel drops it,
  // closing the question keeps everything as it was.
  const question = byId('question');
  byId('new').addEventListener('click', () => {
    const clear = () => { file = ''; set(new Array(ROWS * COLUMNS).fill(false), false); saved = true; title(); };
    if (saved) return clear();
    question.returnValue = '';
    question.showModal();
    question.addEventListener('close', () => {
      if (question.returnValue === 'ok') { save(); clear(); }
      if (question.returnValue === 'cancel') clear();
    }, { once: true });
  });

  // A file is read as the editor reads it: its first 100 bytes carry the
  // rows; one that cannot be read changes nothing.
  const open = async (chosen) => {
    let bytes;
    try {
      bytes = new Uint8Array(await chosen.slice(0, 100).arrayBuffer());
    } catch {
      notice.textContent = 'File could not be opened';
      return;
    }
    // As in the editor, opening leaves `saved` as it was: work not saved
    // before is still offered for saving by New.
    file = chosen.name;
    set(tools.decodePattern(bytes), false);
    notice.textContent = '';
  };
  byId('open').addEventListener('change', (e) => { if (e.target.files[0]) open(e.target.files[0]); e.target.value = ''; });
  const viewport = byId('viewport');
  viewport.addEventListener('dragover', (e) => e.preventDefault());
  viewport.addEventListener('drop', (e) => { e.preventDefault(); if (e.dataTransfer.files[0]) open(e.dataTransfer.files[0]); });
  // The viewport opens at the bottom of the grid, where row 49 stands.
  viewport.scrollTop = viewport.scrollHeight;
  title();
  window.quellmarkTools = tools;
  document.body.dataset.ready = 'true';
}

main();
