// The page: two model slots filled from the file dialog, drag and drop or
// the addresses in the page's own (#first=URL&second=URL), each read in a
// worker and shown as the desktop viewer shows it; the view's settings; the
// second model built up triangle by triangle; downloads.
import { Cancelled, prepareWorker, startJob } from './jobs.js';
import { createView, VIEWER } from './view.js';

const $ = (selector, root = document) => root.querySelector(selector);

// What a model can be saved as: [format, label], through three.js's exporters.
const SAVE_AS = [
  ['ply', 'PLY (binary)'],
  ['obj', 'OBJ'],
  ['stl', 'STL (binary)'],
  ['glb', 'GLB'],
];
const FORMAT_NAMES = { bsv2: 'BSV2', obj: 'OBJ', ply: 'PLY', stl: 'STL', off: 'OFF', gltf: 'glTF', glb: 'GLB' };

const frame = $('#frame');
const viewFacts = $('#view-facts');
const view = createView($('#canvas'), {
  onContextLost: () => {
    viewFacts.textContent = 'The picture was lost (out of graphics memory?): reload the page.';
  },
});

/** Saves bytes as a download named `name`. */
function save(bytes, name, type = 'application/octet-stream') {
  const url = URL.createObjectURL(bytes instanceof Blob ? bytes : new Blob([bytes], { type }));
  const link = Object.assign(document.createElement('a'), { href: url, download: name });
  link.click();
  setTimeout(() => URL.revokeObjectURL(url), 60_000);
}

const number = (value) => (Number.isFinite(value) ? String(Number(value.toPrecision(7))) : String(value));
const count = (value) => value.toLocaleString('en-US');

// ---- the second model, one triangle at a time ----------------------------

// cancel: stops the next step, when one is due.
const buildUp = { cancel: null, shown: 0 };

function stopBuildUp() {
  buildUp.cancel?.();
  buildUp.cancel = null;
}

function buildUpStep() {
  const total = view.numTriangles(1);
  buildUp.shown = Math.min(buildUp.shown + 1, total);
  view.showTriangles(1, buildUp.shown);
  $('#build-up-count').textContent = `${count(buildUp.shown)} of ${count(total)} triangles of the second model`;
  buildUp.cancel = null;
  if (buildUp.shown >= total) return;
  const delay = Number($('#build-up-delay').value);
  if (delay > 0) {
    const timer = setTimeout(buildUpStep, delay);
    buildUp.cancel = () => clearTimeout(timer);
  } else {
    const request = requestAnimationFrame(buildUpStep);
    buildUp.cancel = () => cancelAnimationFrame(request);
  }
}

/** Starts the second model's build-up over, or shows it whole when the mode is off. */
function restartBuildUp() {
  stopBuildUp();
  if ($('#build-up-on').checked && slots[1].model) {
    buildUp.shown = 0;
    buildUpStep();
  } else {
    view.showTriangles(1, Infinity);
    $('#build-up-count').textContent = '';
  }
}

// ---- the two slots ---------------------------------------------------------

function createSlot(index, title) {
  const element = $('#slot-template').content.firstElementChild.cloneNode(true);
  element.dataset.slot = String(index);
  $('.title', element).textContent = title;
  $('#slots').append(element);
  const slot = { index, element, job: null, model: null, name: '' };

  $('input[type=file]', element).addEventListener('change', (event) => {
    const [file] = event.target.files;
    event.target.value = ''; // the same file may be opened again
    if (file) load(slot, { file, name: file.name });
  });
  $('.shown', element).addEventListener('change', (event) => view.setVisible(index, event.target.checked));
  $('.download', element).addEventListener('click', () => download(slot));
  return slot;
}

const slots = [createSlot(0, 'First model (green)'), createSlot(1, 'Second model (red)')];

function setState(slot, state, message = '', detail = '') {
  const { element } = slot;
  element.dataset.state = state;
  const shown = state === 'shown';
  $('progress', element).hidden = state !== 'loading';
  $('.facts', element).hidden = !shown;
  $('.export', element).hidden = !shown;
  const text = $('.message', element);
  text.hidden = message === '';
  text.textContent = message;
  if (detail) {
    const small = Object.assign(document.createElement('div'), { className: 'detail', textContent: detail });
    text.append(small);
  }
}

function showFacts(slot) {
  const { model, name, element } = slot;
  const { low, high } = model.box;
  const extent = (i) => (model.points.length > 0 ? `${number(low[i])} to ${number(high[i])}` : '-');
  // [term, value, whether it takes the whole row]
  const facts = [
    ['File', name, true],
    ['Read as', model.bsv2 ? `${FORMAT_NAMES[model.format]}, converted to BSV2` : 'BSV2', true],
    ['Vertices', count(model.points.length / 3)],
    ['Triangles', count(model.triangles.length / 3)],
    ['Box', `x ${extent(0)}, y ${extent(1)}, z ${extent(2)}`, true],
  ];
  $('.facts', element).replaceChildren(
    ...facts.flatMap(([term, value, wide]) => [
      Object.assign(document.createElement('dt'), { textContent: term }),
      Object.assign(document.createElement('dd'), { textContent: value, className: wide ? 'wide' : '' }),
    ]),
  );
  const choices = (model.bsv2 ? [['bsv2', 'BSV2']] : []).concat(SAVE_AS);
  $('.export select', element).replaceChildren(
    ...choices.map(([value, label]) => Object.assign(document.createElement('option'), { value, textContent: label })),
  );
}

/** Ends a slot's read under way and takes its model out of the picture. */
function clearSlot(slot) {
  slot.job?.cancel();
  slot.model = null;
  view.setModel(slot.index, null);
  if (slot.index === 1) restartBuildUp();
}

/**
 * Reads a file or an address into a slot; the slot's former model goes at
 * once (never a stale picture), and a failure shows the file's name and the
 * reader's message there, leaving the other slot alone.
 * @param {{file?: File, url?: string, name: string}} source
 */
async function load(slot, source) {
  clearSlot(slot);
  slot.name = source.name;
  setState(slot, 'loading', '');
  const progress = $('progress', slot.element);
  progress.removeAttribute('value');
  const job = startJob(
    { kind: 'read', file: source.file, url: source.url, name: source.name },
    {
      onProgress: (loaded, total) => {
        if (total > 0) Object.assign(progress, { max: total, value: Math.min(loaded, total) });
      },
    },
  );
  slot.job = job;
  try {
    const { model } = await job.done;
    view.setModel(slot.index, model);
    slot.model = model;
    view.setVisible(slot.index, $('.shown', slot.element).checked);
    showFacts(slot);
    setState(slot, 'shown');
    if (slot.index === 1) restartBuildUp();
  } catch (error) {
    if (error instanceof Cancelled) return;
    setState(slot, 'failed', `${source.name}: ${error.message}`, error.detail);
  } finally {
    if (slot.job === job) slot.job = null;
  }
}

async function download(slot) {
  const { model, name } = slot;
  const format = $('.export select', slot.element).value;
  const base = name.replace(/\.[^./]*$/, '') || 'model';
  if (format === 'bsv2') {
    save(model.bsv2, `${base}.bsv2`, 'model/x-bsv2');
    return;
  }
  const button = $('.download', slot.element);
  button.disabled = true;
  try {
    const { bytes } = await startJob({ kind: 'export', format, points: model.points, triangles: model.triangles }).done;
    save(bytes, `${base}.${format}`);
  } catch (error) {
    if (slot.model === model) setState(slot, 'shown', `${format.toUpperCase()} could not be written: ${error.message}`);
  } finally {
    button.disabled = false;
  }
}

// ---- files from elsewhere: drag and drop, the page's address ----------------

const cover = $('#drop-cover');
let dropSlot = null;
function markDropTarget(target) {
  const slot = target instanceof Element ? target.closest('.slot') : null;
  if (slot !== dropSlot) {
    dropSlot?.classList.remove('dropping');
    slot?.classList.add('dropping');
    dropSlot = slot;
  }
}
window.addEventListener('dragover', (event) => {
  event.preventDefault();
  event.dataTransfer.dropEffect = 'copy';
  cover.hidden = false;
  markDropTarget(event.target);
});
window.addEventListener('dragleave', (event) => {
  if (event.relatedTarget === null) {
    cover.hidden = true;
    markDropTarget(null);
  }
});
// Dropped on a slot: that slot. Anywhere else: the first file is the first
// model and a second file the second, as on the viewer's command line.
window.addEventListener('drop', (event) => {
  event.preventDefault();
  cover.hidden = true;
  const onto = dropSlot;
  markDropTarget(null);
  const files = [...event.dataTransfer.files];
  if (files.length === 0) return;
  if (onto) {
    load(slots[Number(onto.dataset.slot)], { file: files[0], name: files[0].name });
  } else {
    files.slice(0, 2).forEach((file, i) => load(slots[i], { file, name: file.name }));
  }
});

/** #first=URL&second=URL: http(s) addresses only (relative ones against the page's). */
function loadFromAddress() {
  const wanted = new URLSearchParams(location.hash.slice(1));
  ['first', 'second'].forEach((key, i) => {
    const given = wanted.get(key);
    if (!given) return;
    let url = null;
    try {
      url = new URL(given, location.href);
    } catch {
      // refused below
    }
    let name = url?.pathname.split('/').pop() || given;
    try {
      name = decodeURIComponent(name);
    } catch {
      // shown as it is written
    }
    if (url === null || !/^https?:$/.test(url.protocol)) {
      clearSlot(slots[i]);
      setState(slots[i], 'failed', `${given}: only http and https addresses are read`);
      return;
    }
    load(slots[i], { url: url.href, name });
  });
}
window.addEventListener('hashchange', loadFromAddress);

// ---- the view's settings ----------------------------------------------------

function resetView() {
  frame.style.width = `${VIEWER.size}px`;
  frame.style.height = `${VIEWER.size}px`;
  $('#up-axis').value = 'y';
  $('#stretch').checked = true;
  view.reset();
}
function fit() {
  if (!view.fit()) viewFacts.textContent = 'Nothing to fit: no model is shown, or a coordinate is not finite.';
}
$('#reset').addEventListener('click', resetView);
$('#fit').addEventListener('click', fit);
$('#up-axis').addEventListener('change', (event) => view.setUpAxis(event.target.value));
$('#stretch').addEventListener('change', (event) => view.setStretched(event.target.checked));
$('#screenshot').addEventListener('click', async () => save(await view.screenshot(), 'bsv2-view.png'));
$('#build-up-on').addEventListener('change', restartBuildUp);
$('#build-up-delay').addEventListener('change', () => {
  if (buildUp.cancel !== null) {
    stopBuildUp();
    buildUpStep();
  }
});
$('#canvas').addEventListener('keydown', (event) => {
  if (event.ctrlKey || event.metaKey || event.altKey) return;
  const zoomIn = () => view.zoom(0.8);
  const keys = { '+': zoomIn, '=': zoomIn, '-': () => view.zoom(1.25), r: resetView, f: fit };
  const action = keys[event.key.toLowerCase()];
  if (action) {
    event.preventDefault();
    action();
  }
});
new ResizeObserver(() => {
  viewFacts.textContent = `Picture ${frame.clientWidth} × ${frame.clientHeight} pixels`;
}).observe(frame);

prepareWorker();
loadFromAddress();
document.body.dataset.ready = 'true';
