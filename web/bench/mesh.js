// The benchmark's mesh: the kind bench/run.sh reads natively, coordinates
// in [-10, 10] and triangles of random vertices (another generator, the
// same kind of mesh), as tables and as the files the benchmarks read.
import { BufferAttribute, BufferGeometry, Mesh } from 'three';
import { PLYExporter } from 'three/addons/exporters/PLYExporter.js';

import { write } from '../src/bsv2.js';

/** {points: Float32Array, triangles: Int32Array}, the same for the same sizes. */
export function benchmarkMesh(numVertices, numTris) {
  let state = 42;
  const random = () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = Math.imul(state ^ (state >>> 15), state | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  const points = new Float32Array(3 * numVertices).map(() => -10 + 20 * random());
  const triangles = new Int32Array(3 * numTris).map(() => Math.floor(random() * numVertices));
  return { points, triangles };
}

/** The tables as a three.js mesh (an indexed geometry). */
export function asMesh({ points, triangles }) {
  const geometry = new BufferGeometry();
  geometry.setAttribute('position', new BufferAttribute(points, 3));
  geometry.setIndex(new BufferAttribute(new Uint32Array(triangles.buffer), 1));
  return new Mesh(geometry);
}

/** The mesh as BSV2 text and as binary PLY (three.js's PLYExporter): Uint8Arrays. */
export function benchmarkFiles(mesh) {
  return {
    bsv2: write(mesh.points, mesh.triangles),
    plyBinary: new Uint8Array(new PLYExporter().parse(asMesh(mesh), null, { binary: true })),
  };
}
