// Runs the page's worker jobs, one worker each. The worker's code is bundled
// into this page as text and started from a Blob URL, so that the page
// works opened from disk, where its origin is null and no other file may be
// fetched. (A module worker from a Blob URL is refused there; the worker is
// a classic script.) One worker is kept started ahead, its WebAssembly
// ready, so that a dropped file is read at once.
import workerSource from 'bsv2-page:worker-source';

let workerURL = null;
let spare = null;

/** Thrown by a job's promise when the job was cancelled. */
export class Cancelled extends Error {}

// The error a worker's failure message stands for, with its detail.
function workerError(data) {
  return Object.assign(new Error(data.message), { detail: data.detail });
}

// A worker and a promise of its readiness, which fails with the reason it
// gave when it could not start.
function spawn() {
  workerURL ??= URL.createObjectURL(new Blob([workerSource], { type: 'text/javascript' }));
  const worker = new Worker(workerURL);
  const ready = new Promise((resolve, reject) => {
    const first = ({ data }) => {
      worker.removeEventListener('message', first);
      if (data.kind === 'ready') resolve();
      else reject(workerError(data));
    };
    worker.addEventListener('message', first);
  });
  ready.catch(() => {}); // reported by the job that takes the worker
  return { worker, ready };
}

/** Starts a worker for the next job now. */
export function prepareWorker() {
  spare ??= spawn();
}

/**
 * Hands `message` to a worker of its own once that is ready.
 * @param {object} message see worker.js
 * @param {{onProgress?: (loaded: number, total: number) => void}} [hooks]
 * @returns {{done: Promise<object>, cancel: () => void}} done: the worker's
 *   'done' message; rejects with an Error whose message (and `detail`) the
 *   worker gave, or Cancelled
 */
export function startJob(message, { onProgress } = {}) {
  const { worker, ready } = spare ?? spawn();
  spare = null;
  let settle;
  const done = new Promise((resolve, reject) => {
    settle = (error, result) => {
      worker.terminate();
      settle = () => {};
      prepareWorker();
      if (error) reject(error);
      else resolve(result);
    };
  });
  worker.onmessage = ({ data }) => {
    if (data.kind === 'progress') onProgress?.(data.loaded, data.total);
    else if (data.kind === 'done') settle(null, data);
    else if (data.kind === 'failed') settle(workerError(data));
  };
  // The worker died: out of memory, most likely.
  worker.onerror = (event) => {
    event.preventDefault();
    settle(new Error(event.message || 'the reader stopped, out of memory perhaps'));
  };
  ready.then(
    () => worker.postMessage(message),
    (error) => settle(error),
  );
  return { done, cancel: () => settle(new Cancelled('cancelled')) };
}
