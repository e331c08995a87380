// The package's reader against three.js's own loaders on one mesh: BSV2
// text through read() and BSV2Loader.parse, the same mesh as binary and as
// ASCII PLY through PLYLoader.parse and as OBJ through OBJLoader.parse,
// each from the file's bytes in memory to geometry. Runs alternate between
// the readers, round after round; medians and the ratios to BSV2Loader are
// printed. The goal: BSV2Loader at least as fast as PLYLoader on binary PLY.
//   node --expose-gc --max-old-space-size=8192 bench/loaders.js [--runs N] [--vertices V] [--triangles T]
import { performance } from 'node:perf_hooks';
import { parseArgs } from 'node:util';

import { BufferAttribute, BufferGeometry, Mesh } from 'three';
import { OBJExporter } from 'three/addons/exporters/OBJExporter.js';
import { PLYExporter } from 'three/addons/exporters/PLYExporter.js';
import { OBJLoader } from 'three/addons/loaders/OBJLoader.js';
import { PLYLoader } from 'three/addons/loaders/PLYLoader.js';

import { read, write } from '../src/bsv2.js';
import { BSV2Loader } from '../src/three.js';

const { values } = parseArgs({
  options: {
    runs: { type: 'string', default: '5' },
    vertices: { type: 'string', default: '1000000' },
    triangles: { type: 'string', default: '2000000' },
  },
});
const runs = Number(values.runs);
const numVertices = Number(values.vertices);
const numTris = Number(values.triangles);

// The mesh bench/run.sh reads natively: coordinates in [-10, 10] and
// triangles of random vertices (another generator, the same kind of mesh).
let state = 42;
const random = () => {
  state = (state + 0x6d2b79f5) >>> 0;
  let t = Math.imul(state ^ (state >>> 15), state | 1);
  t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
  return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
};
const points = new Float32Array(3 * numVertices).map(() => -10 + 20 * random());
const triangles = new Int32Array(3 * numTris).map(() => Math.floor(random() * numVertices));

const geometry = new BufferGeometry();
geometry.setAttribute('position', new BufferAttribute(points, 3));
geometry.setIndex(new BufferAttribute(new Uint32Array(triangles.buffer), 1));
const mesh = new Mesh(geometry);
const encoder = new TextEncoder();
const files = {
  bsv2: write(points, triangles),
  plyBinary: new Uint8Array(new PLYExporter().parse(mesh, null, { binary: true })),
  plyAscii: encoder.encode(new PLYExporter().parse(mesh, null, { binary: false })),
  obj: encoder.encode(new OBJExporter().parse(mesh)),
};
// Each reader starts from an ArrayBuffer of the file, as FileLoader hands it over.
const buffers = Object.fromEntries(Object.entries(files).map(([name, bytes]) => [name, bytes.slice().buffer]));

const bsv2Loader = new BSV2Loader();
const plyLoader = new PLYLoader();
const objLoader = new OBJLoader();
const readers = [
  { name: 'read() (tables)', file: 'bsv2', run: (buffer) => read(buffer).points.length },
  { name: 'BSV2Loader.parse', file: 'bsv2', run: (buffer) => bsv2Loader.parse(buffer).index.count },
  { name: 'PLYLoader.parse, binary PLY', file: 'plyBinary', run: (buffer) => plyLoader.parse(buffer).index.count },
  { name: 'PLYLoader.parse, ASCII PLY', file: 'plyAscii', run: (buffer) => plyLoader.parse(buffer).index.count },
  {
    name: 'OBJLoader.parse (with decoding)',
    file: 'obj',
    run: (buffer) => objLoader.parse(new TextDecoder().decode(buffer)).children.length,
  },
];

// One round untimed first, so that every reader runs compiled code.
const times = new Map(readers.map((reader) => [reader, []]));
for (let round = -1; round < runs; round++) {
  // Each round starts with another reader, so that none always runs first.
  for (let i = 0; i < readers.length; i++) {
    const reader = readers[(round + 1 + i) % readers.length];
    globalThis.gc?.();
    const start = performance.now();
    reader.run(buffers[reader.file]);
    if (round >= 0) times.get(reader).push((performance.now() - start) / 1000);
  }
}

const median = (list) => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];
const loaderTime = median(times.get(readers[1]));
const megabytes = (bytes) => (bytes / 1e6).toFixed(1);
console.log(
  `Mesh of ${numVertices} vertices and ${numTris} triangles, node ${process.versions.node}; ` +
    `median of ${runs} alternating runs each, from the file's bytes in memory to geometry`,
);
console.log(`${'reader'.padEnd(34)}${'file MB'.padStart(9)}${'median s'.padStart(10)}${'MB/s'.padStart(9)}${'time / BSV2Loader'.padStart(20)}`);
for (const reader of readers) {
  const seconds = median(times.get(reader));
  const bytes = files[reader.file].length;
  console.log(
    `${reader.name.padEnd(34)}${megabytes(bytes).padStart(9)}${seconds.toFixed(3).padStart(10)}` +
      `${(bytes / 1e6 / seconds).toFixed(0).padStart(9)}${(seconds / loaderTime).toFixed(2).padStart(19)}x`,
  );
}
const binaryPly = median(times.get(readers[2]));
console.log(
  `BSV2Loader.parse against PLYLoader on binary PLY: ${(binaryPly / loaderTime).toFixed(2)}x as fast ` +
    `(goal: at least 1.00x) ${binaryPly >= loaderTime ? 'met' : 'NOT met'}`,
);
