// The package's reader against three.js's own loaders on one mesh: BSV2
// text through read() and BSV2Loader.parse, the same mesh as binary and as
// ASCII PLY through PLYLoader.parse and as OBJ through OBJLoader.parse,
// each from the file's bytes in memory to geometry. Runs alternate between
// the readers, round after round; medians and the ratios to BSV2Loader are
// printed. The goal: BSV2Loader at least as fast as PLYLoader on binary PLY.
//   node --expose-gc --max-old-space-size=8192 bench/loaders.js [--runs N] [--vertices V] [--triangles T]
import { performance } from 'node:perf_hooks';
import { parseArgs } from 'node:util';

import { OBJExporter } from 'three/addons/exporters/OBJExporter.js';
import { PLYExporter } from 'three/addons/exporters/PLYExporter.js';
import { OBJLoader } from 'three/addons/loaders/OBJLoader.js';
import { PLYLoader } from 'three/addons/loaders/PLYLoader.js';

import { read } from '../src/bsv2.js';
import { BSV2Loader } from '../src/three.js';
import { asMesh, benchmarkFiles, benchmarkMesh } from './mesh.js';

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

const tables = benchmarkMesh(numVertices, numTris);
const mesh = asMesh(tables);
const encoder = new TextEncoder();
const files = {
  ...benchmarkFiles(tables),
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
