// The pattern page: 50 rows of 4 cells. The document (its cells, `saved`,
// the file and the title) lives in the module with the pattern editor's own
// rules; this page only shows it and passes the user's commands on.
import { loadTools } from './wasm.js';

const ROWS = 50;
const COLUMNS = 4;

async function main() {
  const tools = await loadTools();
  const pattern = tools.pattern;
  const byId = (id) => document.getElementById(id);
  const grid = byId('grid');
  const notice = byId('notice');

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

  // The editor's title, and a mark of unsaved work: a tab closes without
  // asking, so the page says what the editor's window does not.
  let state = pattern.state();
  const show = (next) => {
    state = next;
    state.cells.forEach((on, i) => buttons[i].setAttribute('aria-pressed', String(on)));
    document.title = state.title + (state.saved ? '' : ' \u2022 unsaved');
  };
  grid.addEventListener('click', (e) => {
    const b = e.target.closest('button');
    if (b) show(pattern.click(Number(b.dataset.cell)));
  });
  byId('random').addEventListener('click', () => show(pattern.random()));

  // A browser download stands for writing a file; the document's file is
  // its last name, the whole path in the editor.
  const download = (name) => {
    const bytes = pattern.savefile(name);
    const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    const a = Object.assign(document.createElement('a'), { href: url, download: name });
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 1000);
  };
  // Where the editor asks for a name, the page offers the file's own name,
  // or pattern.ptn, to the browser's download.
  const askedName = () => state.file || 'pattern.ptn';
  byId('save').addEventListener('click', () => {
    const step = pattern.saveStep();
    if (step === 'askName') {
      const name = askedName();
      download(name);
      show(pattern.name(name));
      notice.textContent = '';
      return;
    }
    if (step === 'write') {
      download(state.file);
      show(pattern.state());
    }
    notice.textContent = step === 'write' ? 'File is successfully saved' : 'No changes detected';
  });

  // New asks first when there is unsaved work: OK saves the grid as it is
  // and forgets the file, cancel drops the work, closing the question keeps
  // everything as it was.
  const question = byId('question');
  byId('new').addEventListener('click', () => {
    if (!pattern.newAsks()) return show(pattern.clear());
    question.returnValue = '';
    question.showModal();
    question.addEventListener('close', () => {
      if (question.returnValue === 'ok') {
        download(askedName());
        pattern.reset();
      }
      if (question.returnValue === 'ok' || question.returnValue === 'cancel') show(pattern.clear());
    }, { once: true });
  });

  // A file is read as the editor reads it: its first 100 bytes carry the
  // rows; one that cannot be read changes nothing. Opening leaves `saved`
  // as it was: work not saved before is still offered for saving by New.
  const open = async (chosen) => {
    let bytes;
    try {
      bytes = new Uint8Array(await chosen.slice(0, 100).arrayBuffer());
    } catch {
      notice.textContent = 'File could not be opened';
      return;
    }
    show(pattern.open(chosen.name, bytes));
    notice.textContent = '';
  };
  byId('open').addEventListener('change', (e) => { if (e.target.files[0]) open(e.target.files[0]); e.target.value = ''; });
  const viewport = byId('viewport');
  viewport.addEventListener('dragover', (e) => e.preventDefault());
  viewport.addEventListener('drop', (e) => { e.preventDefault(); if (e.dataTransfer.files[0]) open(e.dataTransfer.files[0]); });
  // The viewport opens at the bottom of the grid, where row 49 stands.
  viewport.scrollTop = viewport.scrollHeight;
  show(state);
  window.quellmarkTools = tools;
  document.body.dataset.ready = 'true';
}

main();
