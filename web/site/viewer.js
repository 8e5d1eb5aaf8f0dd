// The viewer page: opened files are listed, an archive's members as a grid
// of thumbnails that draws only the rows in view (so 100,000 members scroll
// smoothly) and decodes thumbnails one at a time, for the cells in view; a
// click shows a picture at full size. All reading and decoding happens in the
// worker (viewer_worker.js).
'use strict';

const THUMBNAIL = 128;              // thumbnails fit in this many pixels a side
const CELL_WIDTH = 150, CELL_HEIGHT = 180;

const worker = new Worker('viewer_worker.js');
let nextId = 1;
const pending = new Map();
worker.onmessage = (event) => {
  const resolve = pending.get(event.data.id);
  pending.delete(event.data.id);
  resolve(event.data);
};
function ask(request, transfer = []) {
  const id = nextId++;
  return new Promise((resolve) => {
    pending.set(id, resolve);
    worker.postMessage({ id, ...request }, transfer);
  });
}

function element(tag, properties = {}, ...children) {
  const node = Object.assign(document.createElement(tag), properties);
  node.append(...children);
  return node;
}

function sizeText(bytes) {
  return bytes < 1024 ? `${bytes} bytes` : bytes < 1048576 ? `${(bytes / 1024).toFixed(1)} KiB`
                                                         : `${(bytes / 1048576).toFixed(1)} MiB`;
}

function download(blob, name) {
  const link = element('a', { href: URL.createObjectURL(blob), download: name });
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

function baseName(name) { return name.replace(/\.[^.]*$/, ''); }

// One opened file: a section with its grid of items (an archive's members,
// or the picture itself).
class OpenedFile {
  constructor(file, items, isArchive) {
    this.file = file;
    this.isArchive = isArchive;
    this.items = items;  // {name, position, size, problem, thumb, width, height, picture}
    this.section = element('section', { className: isArchive ? 'archive' : 'single' });
    this.status = element('span', { className: 'status' });
    const title = element('h2', { textContent: file.name });
    this.section.append(title, this.status);
    if (isArchive) {
      const zip = element('button', { textContent: 'Save all pictures as ZIP' });
      zip.setAttribute('aria-label', `Save all pictures of ${file.name} as a ZIP of PNG files`);
      zip.onclick = () => this.saveAll(zip);
      this.section.append(zip);
    }
    this.grid = element('div', { className: 'grid', tabIndex: -1 });
    this.spacer = element('div');
    this.grid.append(this.spacer);
    this.section.append(this.grid);
    this.cells = new Map();  // item index -> cell element, for the rows in view
    this.grid.addEventListener('scroll', () => this.schedule());
    new ResizeObserver(() => this.schedule()).observe(this.grid);
    this.updateStatus();
  }

  updateStatus(extra = '') {
    const total = this.items.reduce((sum, item) => sum + item.size, 0);
    this.status.textContent = `${this.items.length} ${this.items.length === 1 ? 'file' : 'files'}, ` +
                              `${sizeText(total)}${extra ? ' — ' + extra : ''}`;
  }

  schedule() {
    if (this.drawing) return;
    this.drawing = true;
    requestAnimationFrame(() => { this.drawing = false; this.draw(); });
  }

  // Draws the cells of the rows in view (and one row either side), removes
  // the others, and asks for the thumbnails still missing.
  draw() {
    const columns = Math.max(1, Math.floor(this.grid.clientWidth / CELL_WIDTH));
    const rows = Math.ceil(this.items.length / columns);
    this.spacer.style.height = `${rows * CELL_HEIGHT}px`;
    const first = Math.max(0, Math.floor(this.grid.scrollTop / CELL_HEIGHT) - 1);
    const last = Math.min(rows - 1, Math.ceil((this.grid.scrollTop + this.grid.clientHeight) / CELL_HEIGHT) + 1);
    const wanted = new Set();
    for (let i = first * columns; i < Math.min(this.items.length, (last + 1) * columns); ++i) wanted.add(i);
    for (const [i, cell] of this.cells) {
      if (!wanted.has(i)) { cell.remove(); this.cells.delete(i); }
    }
    for (const i of wanted) {
      let cell = this.cells.get(i);
      if (!cell) {
        cell = this.makeCell(i);
        this.cells.set(i, cell);
        this.grid.append(cell);
      }
      cell.style.left = `${(i % columns) * CELL_WIDTH}px`;
      cell.style.top = `${Math.floor(i / columns) * CELL_HEIGHT}px`;
    }
    loadThumbnails();
  }

  makeCell(i) {
    const item = this.items[i];
    const cell = element('div', { className: 'cell', tabIndex: 0 });
    cell.setAttribute('role', 'button');
    const thumb = element('div', { className: 'thumb' });
    if (item.thumb) thumb.append(item.thumb);
    else if (item.picture === false) thumb.textContent = 'file (click to save)';
    const details = item.width ? `${item.width}×${item.height}, ${sizeText(item.size)}` : sizeText(item.size);
    cell.append(thumb, element('div', { className: 'name', textContent: item.name }),
                element('div', { textContent: details }));
    if (item.problem) cell.append(element('div', { className: 'problem', textContent: item.problem }));
    cell.setAttribute('aria-label', `${item.name}, ${details}${item.problem ? ', ' + item.problem : ''}`);
    // A member past the end of its archive is named, not shown.
    const open = () => (item.pastTheEnd ? null : item.picture === false ? this.saveMember(item) : showPicture(this, i));
    cell.onclick = open;
    cell.onkeydown = (event) => { if (event.key === 'Enter' || event.key === ' ') { event.preventDefault(); open(); } };
    return cell;
  }

  redraw(i) {
    const cell = this.cells.get(i);
    if (!cell) return;
    cell.remove();
    this.cells.delete(i);
    this.draw();
  }

  // The next item in view that has no thumbnail yet, or -1.
  nextWithoutThumbnail() {
    for (const i of [...this.cells.keys()].sort((a, b) => a - b)) {
      const item = this.items[i];
      if (item.picture === undefined && !item.pastTheEnd) return i;
    }
    return -1;
  }

  saveMember(item) {
    download(this.file.slice(item.position, item.position + item.size), item.name);
  }

  // Every picture of the archive as PNG, in a ZIP of stored entries.
  async saveAll(button) {
    button.disabled = true;
    const zip = zipWriter();
    let done = 0, saved = 0;
    try {
      for (const item of this.items) {
        this.updateStatus(`making the ZIP: ${done} of ${this.items.length}`);
        ++done;
        if (item.pastTheEnd || item.picture === false) continue;
        const answer = await ask({ kind: 'png', file: this.file, position: item.position, size: item.size });
        if (!answer.png) continue;
        zip.add(`${item.name}.png`, answer.png);
        ++saved;
      }
      download(zip.blob(), `${baseName(this.file.name)}.zip`);
      this.updateStatus(`${saved} pictures saved as ZIP`);
    } catch (error) {
      this.updateStatus(String(error.message || error));
    }
    button.disabled = false;
  }
}

const opened = [];
let loading = false;

// Decodes thumbnails one at a time, always for a cell in view, so that a fast
// scroll through 100,000 members never leaves a queue behind it.
async function loadThumbnails() {
  if (loading) return;
  loading = true;
  for (;;) {
    const owner = opened.find((o) => o.nextWithoutThumbnail() >= 0);
    if (!owner) break;
    const i = owner.nextWithoutThumbnail();
    const item = owner.items[i];
    const answer = await ask({ kind: 'decode', file: owner.file, position: item.position,
                               size: item.size, max: THUMBNAIL });
    // A member that is no picture is listed, and saved as it is when clicked.
    item.picture = Boolean(answer.full);
    if (answer.full) {
      item.width = answer.full.width;
      item.height = answer.full.height;
      item.problem = answer.problem || '';
    } else if (!owner.isArchive) {
      item.problem = 'not a GCmpSH0 picture or an NSC archive';
    }
    if (answer.rgba) {
      const canvas = element('canvas', { width: answer.width, height: answer.height });
      canvas.getContext('2d').putImageData(
          new ImageData(new Uint8ClampedArray(answer.rgba.buffer), answer.width, answer.height), 0, 0);
      item.thumb = canvas;
    }
    owner.redraw(i);
  }
  loading = false;
}

async function openFile(file) {
  const answer = await ask({ kind: 'list', file });
  let items;
  if (answer.members) {
    items = answer.members.map((m) => ({ ...m, pastTheEnd: Boolean(m.problem) }));
  } else {
    items = [{ name: file.name, position: 0, size: file.size, problem: '' }];
  }
  const view = new OpenedFile(file, items, Boolean(answer.members));
  opened.push(view);
  document.getElementById('opened').append(view.section);
  view.draw();
}

// The full-size view.
const viewer = {
  dialog: document.getElementById('viewer'),
  canvas: document.getElementById('picture'),
  body: document.getElementById('viewer-body'),
  title: document.getElementById('viewer-title'),
  message: document.getElementById('viewer-message'),
  owner: null,
  index: -1,
  returnFocus: null,
};

async function showPicture(owner, i) {
  const item = owner.items[i];
  viewer.owner = owner;
  viewer.index = i;
  if (viewer.dialog.hidden) viewer.returnFocus = document.activeElement;
  viewer.dialog.hidden = false;
  viewer.title.textContent = `${owner.file.name}: ${item.name}`;
  viewer.message.textContent = 'decoding…';
  document.getElementById('close').focus();
  const answer = await ask({ kind: 'decode', file: owner.file, position: item.position, size: item.size, max: 0 });
  if (viewer.owner !== owner || viewer.index !== i) return;  // another picture was asked for meanwhile
  viewer.message.textContent = answer.problem || item.problem || '';
  if (!answer.rgba) { viewer.canvas.width = viewer.canvas.height = 0; return; }
  viewer.canvas.width = answer.width;
  viewer.canvas.height = answer.height;
  viewer.canvas.getContext('2d').putImageData(
      new ImageData(new Uint8ClampedArray(answer.rgba.buffer), answer.width, answer.height), 0, 0);
  if (answer.full && (answer.full.width !== answer.width || answer.full.height !== answer.height))
    viewer.message.textContent += ` (shown at ${answer.width}×${answer.height} of ${answer.full.width}×${answer.full.height})`;
}

function step(direction) {
  const { owner } = viewer;
  if (!owner) return;
  for (let i = viewer.index + direction; i >= 0 && i < owner.items.length; i += direction) {
    if (owner.items[i].picture !== false && !owner.items[i].pastTheEnd) { showPicture(owner, i); return; }
  }
}

function closeViewer() {
  viewer.dialog.hidden = true;
  viewer.owner = null;
  if (viewer.returnFocus) viewer.returnFocus.focus();
}

document.getElementById('close').onclick = closeViewer;
document.getElementById('previous').onclick = () => step(-1);
document.getElementById('next').onclick = () => step(1);
document.getElementById('fit').onclick = (event) => {
  const fit = viewer.body.classList.toggle('fit');
  event.target.textContent = fit ? '1:1' : 'Fit';
};
document.getElementById('save').onclick = () => {
  const item = viewer.owner && viewer.owner.items[viewer.index];
  if (!item || viewer.canvas.width === 0) return;
  viewer.canvas.toBlob((blob) => download(blob, `${baseName(item.name)}.png`), 'image/png');
};
document.addEventListener('keydown', (event) => {
  if (viewer.dialog.hidden) return;
  if (event.key === 'Escape') closeViewer();
  else if (event.key === 'ArrowRight') step(1);
  else if (event.key === 'ArrowLeft') step(-1);
});

document.getElementById('open').addEventListener('change', async (event) => {
  for (const file of event.target.files) await openFile(file);
  event.target.value = '';
});
document.addEventListener('dragover', (event) => { event.preventDefault(); document.body.classList.add('dragging'); });
document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
document.addEventListener('drop', async (event) => {
  event.preventDefault();
  document.body.classList.remove('dragging');
  for (const file of event.dataTransfer.files) await openFile(file);
});
