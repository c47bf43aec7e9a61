// The last source of the assembler page, kept in the browser's IndexedDB
// (by the worker, which holds the text, so that the page's thread never
// copies or stores a large one).
const DATABASE = 'quellmark';
const STORE = 'kept';

function opened() {
  return new Promise((resolve, reject) => {
    const request = indexedDB.open(DATABASE, 1);
    request.onupgradeneeded = () => request.result.createObjectStore(STORE);
    request.onsuccess = () => resolve(request.result);
    request.onerror = () => reject(request.error);
  });
}

// Keeps {text, build}.
export async function keep(value) {
  const db = await opened();
  await new Promise((resolve, reject) => {
    const writing = db.transaction(STORE, 'readwrite');
    writing.objectStore(STORE).put(value, 'source');
    writing.oncomplete = resolve;
    writing.onerror = () => reject(writing.error);
  });
  db.close();
}

// The kept {text, build}, or null.
export async function kept() {
  const db = await opened();
  const value = await new Promise((resolve, reject) => {
    const reading = db.transaction(STORE, 'readonly').objectStore(STORE).get('source');
    reading.onsuccess = () => resolve(reading.result ?? null);
    reading.onerror = () => reject(reading.error);
  });
  db.close();
  return value;
}
