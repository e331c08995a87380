// The benchmark's mesh: the kind bench/run.sh reads natively, coordinates
// in [-10, 10] and triangles of random vertices (another generator, the
// same kind of mesh), as tables and as the files the benchmarks read.
import { Mesh } from 'three';
import { PLYExporter } from 'three/addons/exporters/PLYExporter.js';

import { write } from '../src/bsv2.js';
import { meshGeometry } from '../src/three.js';
import { seededRandom } from '../tests/support.js';

/** {points: Float32Array, triangles: Int32Array}, the same for the same sizes. */
export function benchmarkMesh(numVertices, numTris) {
  const next = seededRandom(42);
  const random = () => next() / 2 ** 32;
  const points = new Float32Array(3 * numVertices).map(() => -10 + 20 * random());
  const triangles = new Int32Array(3 * numTris).map(() => Math.floor(random() * numVertices));
  return { points, triangles };
}

/** The tables as a three.js mesh (an indexed geometry). */
export function asMesh(tables) {
  return new Mesh(meshGeometry(tables));
}

/** The mesh as BSV2 text and as binary PLY (three.js's PLYExporter): Uint8Arrays. */
export function benchmarkFiles(mesh) {
  return {
    bsv2: write(mesh.points, mesh.triangles),
    plyBinary: new Uint8Array(new PLYExporter().parse(asMesh(mesh), null, { binary: true })),
  };
}
