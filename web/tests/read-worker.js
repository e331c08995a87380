// A worker that reads BSV2 text and hands the tables back without copying
// them, as a page reading large files off its main thread would.
import { parentPort } from 'node:worker_threads';

import { read } from '../src/bsv2.js';

parentPort.on('message', (bytes) => {
  const mesh = read(bytes);
  parentPort.postMessage(mesh, [mesh.points.buffer, mesh.triangles.buffer]);
});
