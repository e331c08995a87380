// The page's worker: one job each, so that reading a big file never holds
// up the page and a job can be dropped by ending its worker. It says
// 'ready' once the library is loaded, then takes one message:
//   {kind: 'read', file: File} or {kind: 'read', url, name}
//     progress: {kind: 'progress', loaded, total (0: unknown)}, then
//     {kind: 'done', model: {format, points, triangles, lines, box, bsv2}}
//   {kind: 'export', format, points, triangles}
//     {kind: 'done', bytes}
// or, for either, {kind: 'failed', message, detail}.
import { BSV2Error } from '../../src/bsv2.js';
import { meshGeometry, outlines } from '../../src/three.js';
import { exportModel, readModel } from './formats.js';

// A server's Content-Length may lie: no more than this is set aside for it
// before the bytes themselves arrive.
const TRUSTED_LENGTH = 256 << 20;
const PROGRESS_INTERVAL_MS = 50;
// A file is read this much at a time (faster than its stream, which comes
// in 64 KiB pieces).
const FILE_SLICE = 16 << 20;

const TOO_LARGE = "too large for this browser's memory";

/** All of a stream's bytes (a response's), in one buffer of their own. */
async function collect(stream, expected, onProgress) {
  let bytes = new Uint8Array(Math.max(expected, 1));
  let length = 0;
  let reported = 0;
  const reader = stream.getReader();
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    if (length + value.length > bytes.length) {
      const grown = new Uint8Array(Math.max(2 * bytes.length, length + value.length));
      grown.set(bytes.subarray(0, length));
      bytes = grown;
    }
    bytes.set(value, length);
    length += value.length;
    if (performance.now() - reported > PROGRESS_INTERVAL_MS) {
      reported = performance.now();
      onProgress(length);
    }
  }
  return length === bytes.length ? bytes : bytes.slice(0, length);
}

async function fileBytes(file, onProgress) {
  const bytes = new Uint8Array(file.size);
  for (let at = 0; at < file.size; at += FILE_SLICE) {
    const slice = new Uint8Array(await file.slice(at, at + FILE_SLICE).arrayBuffer());
    if (slice.length !== Math.min(FILE_SLICE, file.size - at)) throw new Error('it changed while it was read');
    bytes.set(slice, at);
    onProgress(at + slice.length);
  }
  return bytes;
}

async function fetchBytes(url, onProgress) {
  let response;
  try {
    response = await fetch(url, { credentials: 'same-origin' });
  } catch {
    throw new Error(
      'it could not be fetched: the network failed, or its server does not let other pages read it (CORS)',
    );
  }
  if (!response.ok) throw new Error(`its server answered ${response.status} ${response.statusText}`.trim());
  const total = Number(response.headers.get('Content-Length')) || 0;
  return collect(response.body, Math.min(total, TRUSTED_LENGTH), (loaded) => onProgress(loaded, total));
}

function isOutOfMemory(error) {
  return (
    (error instanceof BSV2Error && error.code === 'BSV2_CAUSE_NO_MEMORY') ||
    (error instanceof RangeError && /memory|allocat|array buffer length/i.test(error.message))
  );
}

function boxOf(points) {
  const low = [Infinity, Infinity, Infinity];
  const high = [-Infinity, -Infinity, -Infinity];
  for (let i = 0; i < points.length; i += 3) {
    for (let axis = 0; axis < 3; axis++) {
      const value = points[i + axis];
      if (value < low[axis]) low[axis] = value;
      if (value > high[axis]) high[axis] = value;
    }
  }
  return { low, high };
}

async function readJob({ file, url, name }) {
  const progress = (loaded, total) => postMessage({ kind: 'progress', loaded, total });
  const bytes = file
    ? await fileBytes(file, (loaded) => progress(loaded, file.size))
    : await fetchBytes(url, progress);
  progress(bytes.length, bytes.length);
  const model = await readModel(bytes, { name: file ? file.name : name, baseURL: url });
  const lines = outlines(meshGeometry(model)).index.array;
  const done = { ...model, lines, box: boxOf(model.points) };
  const transfer = [done.points.buffer, done.triangles.buffer, lines.buffer];
  if (done.bsv2) transfer.push(done.bsv2.buffer);
  postMessage({ kind: 'done', model: done }, transfer);
}

async function exportJob({ format, points, triangles }) {
  const bytes = await exportModel(format, { points, triangles });
  postMessage({ kind: 'done', bytes }, [bytes.buffer]);
}

self.onmessage = async ({ data }) => {
  try {
    await (data.kind === 'read' ? readJob(data) : exportJob(data));
  } catch (error) {
    if (isOutOfMemory(error)) {
      postMessage({ kind: 'failed', message: TOO_LARGE, detail: error.message });
    } else if (error instanceof BSV2Error) {
      postMessage({ kind: 'failed', message: error.message, detail: error.causeText });
    } else {
      postMessage({ kind: 'failed', message: error?.message || String(error) });
    }
  }
};
postMessage({ kind: 'ready' });
