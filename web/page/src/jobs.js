// Runs the page's worker jobs. The worker's code is bundled into this page
// as text and started from a Blob URL, so that the page works opened from
// disk, where its origin is null and no other file may be fetched. (A
// module worker from a Blob URL is refused there; the worker is a classic
// script.)
import workerSource from 'bsv2-page:worker-source';

let workerURL = null;

/** Thrown by a job's promise when the job was cancelled. */
export class Cancelled extends Error {}

/**
 * Starts a worker and hands it `message` once it is ready.
 * @param {object} message see worker.js
 * @param {{onProgress?: (loaded: number, total: number) => void}} [hooks]
 * @returns {{done: Promise<object>, cancel: () => void}} done: the worker's
 *   'done' message; rejects with an Error whose message (and `detail`) the
 *   worker gave, or Cancelled
 */
export function startJob(message, { onProgress } = {}) {
  workerURL ??= URL.createObjectURL(new Blob([workerSource], { type: 'text/javascript' }));
  const worker = new Worker(workerURL);
  let settle;
  const done = new Promise((resolve, reject) => {
    settle = (error, result) => {
      worker.terminate();
      settle = () => {};
      if (error) reject(error);
      else resolve(result);
    };
  });
  worker.onmessage = ({ data }) => {
    switch (data.kind) {
      case 'ready':
        worker.postMessage(message);
        break;
      case 'progress':
        onProgress?.(data.loaded, data.total);
        break;
      case 'done':
        settle(null, data);
        break;
      default:
        settle(Object.assign(new Error(data.message), { detail: data.detail }));
    }
  };
  // The worker died: out of memory, most likely.
  worker.onerror = (event) => {
    event.preventDefault();
    settle(new Error(event.message || 'the reader stopped, out of memory perhaps'));
  };
  return { done, cancel: () => settle(new Cancelled('cancelled')) };
}
