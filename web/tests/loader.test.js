// BSV2Loader as three.js's own loaders behave, over real HTTP: the geometry,
// progress, the loading manager's item events, errors through onError and
// the manager, loadAsync, abort(); parse() of views; and outlines() in the
// viewer's order.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import { BufferAttribute, BufferGeometry, LoadingManager } from 'three';

import { read } from '../src/bsv2.js';
import { BSV2Error, BSV2Loader, meshGeometry, outlines } from '../src/three.js';
import { sourceDir } from './support.js';

// What browsers have and node lacks: the event three's FileLoader reports
// progress with.
globalThis.ProgressEvent ??= class ProgressEvent extends Event {
  constructor(type, { lengthComputable = false, loaded = 0, total = 0 } = {}) {
    super(type);
    Object.assign(this, { lengthComputable, loaded, total });
  }
};

const cube = readFileSync(join(sourceDir, 'models/cube.bsv2'));
const refused = Buffer.from('BSV2\n1\n1\n0 0 0\n0 0 1\n');
let server;
let base;

before(async () => {
  server = createServer((request, response) => {
    if (request.url === '/models/cube.bsv2') {
      response.writeHead(200, { 'Content-Length': cube.length });
      response.end(cube);
    } else if (request.url === '/refused.bsv2') {
      response.end(refused);
    } else if (request.url === '/slow.bsv2') {
      response.writeHead(200, { 'Content-Length': 1000 });
      response.write('BSV2\n'); // and never the rest
    } else {
      response.writeHead(404);
      response.end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  base = `http://127.0.0.1:${server.address().port}`;
});

after(() => {
  server.closeAllConnections();
  server.close();
});

// A manager that records its callbacks, and a load through it that settles
// with whichever of onLoad and onError is called.
// `idle` settles when the manager has no item left.
function recordingManager() {
  const events = [];
  let settle;
  const idle = new Promise((resolve) => {
    settle = resolve;
  });
  const manager = new LoadingManager(
    () => {
      events.push('done');
      settle();
    },
    (url, loaded, total) => events.push(`progress ${loaded}/${total}`),
    (url) => events.push(`error ${url}`),
  );
  manager.onStart = (url) => events.push(`start ${url}`);
  return { manager, events, idle };
}

function loadThrough(loader, url, progress = []) {
  return new Promise((resolve) => {
    loader.load(
      url,
      (geometry) => resolve({ geometry }),
      (event) => progress.push([event.loaded, event.total]),
      (error) => resolve({ error }),
    );
  });
}

test('load gives the indexed geometry, progress and the manager item events', async () => {
  const { manager, events, idle } = recordingManager();
  const loader = new BSV2Loader(manager).setPath(`${base}/models/`);
  const progress = [];
  const { geometry, error } = await loadThrough(loader, 'cube.bsv2', progress);
  await idle;
  assert.equal(error, undefined);
  const mesh = read(cube);
  const position = geometry.getAttribute('position');
  assert.equal(position.itemSize, 3);
  assert.deepEqual(position.array, mesh.points);
  assert.ok(geometry.index.array instanceof Uint32Array, 'an index WebGL can draw from');
  assert.deepEqual([...geometry.index.array], [...mesh.triangles]);
  assert.deepEqual(progress.at(-1), [cube.length, cube.length]);
  assert.deepEqual(events, [`start ${base}/models/cube.bsv2`, 'progress 1/1', 'done']);
});

test('a file the library refuses goes to onError as a BSV2Error, and to the manager', async () => {
  const { manager, events, idle } = recordingManager();
  const { geometry, error } = await loadThrough(new BSV2Loader(manager), `${base}/refused.bsv2`);
  await idle;
  assert.equal(geometry, undefined);
  assert.ok(error instanceof BSV2Error);
  assert.equal(error.message, 'Vertex number out of range in tTable read');
  assert.deepEqual(events, [`start ${base}/refused.bsv2`, `error ${base}/refused.bsv2`, 'progress 1/1', 'done']);
});

test('loadAsync rejects a request that fails, and the manager hears of it', async () => {
  const { manager, events, idle } = recordingManager();
  await assert.rejects(new BSV2Loader(manager).loadAsync(`${base}/missing.bsv2`), /404/);
  await idle;
  assert.deepEqual(events, [`start ${base}/missing.bsv2`, `error ${base}/missing.bsv2`, 'progress 1/1', 'done']);
});

test('abort ends a load under way through onError', { timeout: 10000 }, async () => {
  const loader = new BSV2Loader(new LoadingManager());
  const loading = loadThrough(loader, `${base}/slow.bsv2`);
  await new Promise((resolve) => setTimeout(resolve, 100));
  loader.abort();
  const { geometry, error } = await loading;
  assert.equal(geometry, undefined);
  assert.equal(error?.name, 'AbortError');
});

test('parse takes an ArrayBuffer or a view into a larger buffer alike', () => {
  const surrounded = Buffer.concat([Buffer.from('junk'), cube, Buffer.from('more junk')]);
  const loader = new BSV2Loader();
  const fromView = loader.parse(surrounded.subarray(4, 4 + cube.length));
  const fromBuffer = loader.parse(new Uint8Array(cube).buffer);
  assert.deepEqual(fromView.getAttribute('position').array, fromBuffer.getAttribute('position').array);
  assert.deepEqual(fromView.index.array, fromBuffer.index.array);
});

test('outlines are each triangle edges in the viewer order, over the same positions', () => {
  const indexed = meshGeometry({ points: new Float32Array(15), triangles: new Int32Array([0, 1, 2, 2, 3, 4]) });
  const unindexed = new BufferGeometry().setAttribute('position', new BufferAttribute(new Float32Array(18), 3));
  for (const [geometry, lines] of [
    [indexed, [0, 1, 1, 2, 2, 0, 2, 3, 3, 4, 4, 2]],
    [unindexed, [0, 1, 1, 2, 2, 0, 3, 4, 4, 5, 5, 3]],
  ]) {
    const outline = outlines(geometry);
    assert.deepEqual([...outline.index.array], lines);
    assert.equal(outline.getAttribute('position'), geometry.getAttribute('position'));
  }
});
