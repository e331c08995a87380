// BSV2 in three.js: a loader giving indexed BufferGeometry, an exporter
// that merges a scene as bsv2-convert merges one, and the viewer's outlines.
import { BufferAttribute, BufferGeometry, FileLoader, Loader, Vector3 } from 'three';

import { read, write } from './bsv2.js';

export { BSV2Error } from './bsv2.js';

/**
 * An indexed BufferGeometry over what read() gives (or a worker sent on):
 * a position attribute over the points and an index over the triangles,
 * both used as they are, not copied.
 * @param {{points: Float32Array, triangles: Int32Array}} mesh
 * @returns {BufferGeometry}
 */
export function meshGeometry({ points, triangles }) {
  const geometry = new BufferGeometry();
  geometry.setAttribute('position', new BufferAttribute(points, 3));
  // WebGL draws from unsigned indices; the reader's vertex numbers are never
  // negative, so the same bytes serve.
  const index = new Uint32Array(triangles.buffer, triangles.byteOffset, triangles.length);
  geometry.setIndex(new BufferAttribute(index, 1));
  return geometry;
}

/** Loads BSV2 files as indexed BufferGeometry, as three.js's own loaders do. */
export class BSV2Loader extends Loader {
  constructor(manager) {
    super(manager);
    this.requests = new Set(); // the FileLoaders of loads under way, for abort()
  }

  /**
   * Fetches `url` (after the loader's path) and hands its geometry to onLoad;
   * a file the library refuses goes to onError as a BSV2Error, and to the
   * manager as an item error, as a failed request does.
   */
  load(url, onLoad, onProgress, onError) {
    const loader = new FileLoader(this.manager);
    loader.setPath(this.path);
    loader.setResponseType('arraybuffer');
    loader.setRequestHeader(this.requestHeader);
    loader.setWithCredentials(this.withCredentials);
    // Settings of newer releases of three.js, where it has them.
    if (typeof loader.setPriority === 'function') loader.setPriority(this.priority);
    if (typeof loader.setCache === 'function') loader.setCache(this.cache);
    this.requests.add(loader);
    const failed = (error) => {
      this.requests.delete(loader);
      if (onError) {
        onError(error);
      } else {
        console.error(error);
      }
    };
    loader.load(
      url,
      (buffer) => {
        this.requests.delete(loader);
        let geometry;
        try {
          geometry = this.parse(buffer);
        } catch (error) {
          failed(error);
          this.manager.itemError(url);
          return;
        }
        onLoad(geometry);
      },
      onProgress,
      failed,
    );
  }

  /**
   * @param {ArrayBuffer | Uint8Array} data BSV2 text
   * @returns {BufferGeometry}
   * @throws {BSV2Error} with the library's message
   */
  parse(data) {
    return meshGeometry(read(data));
  }

  /** Aborts the requests of loads under way; their onError is called. */
  abort() {
    for (const loader of this.requests) loader.abort();
    this.requests.clear();
    return this;
  }
}

// Numbers for positions, as bsv2-convert joins vertices: by the bits of the
// float coordinates, with -0 and +0 one. Open addressing over typed arrays,
// since millions of string keys would take seconds.
function positionNumbers() {
  let keys = new Uint32Array(3 * 1024);
  let numbers = new Int32Array(1024).fill(-1);
  let used = 0;
  const bits = new Uint32Array(3);
  const floats = new Float32Array(bits.buffer);
  const slotOf = (a, b, c, table, tableKeys) => {
    const mask = table.length - 1;
    let slot = (Math.imul(a, 0x9e3779b1) ^ Math.imul(b, 0x85ebca77) ^ Math.imul(c, 0xc2b2ae3d)) & mask;
    while (table[slot] !== -1) {
      const at = 3 * slot;
      if (tableKeys[at] === a && tableKeys[at + 1] === b && tableKeys[at + 2] === c) break;
      slot = (slot + 1) & mask;
    }
    return slot;
  };
  const grow = () => {
    const oldKeys = keys;
    const oldNumbers = numbers;
    keys = new Uint32Array(2 * oldKeys.length);
    numbers = new Int32Array(2 * oldNumbers.length).fill(-1);
    for (let slot = 0; slot < oldNumbers.length; slot++) {
      if (oldNumbers[slot] === -1) continue;
      const at = 3 * slot;
      const to = slotOf(oldKeys[at], oldKeys[at + 1], oldKeys[at + 2], numbers, keys);
      keys.set(oldKeys.subarray(at, at + 3), 3 * to);
      numbers[to] = oldNumbers[slot];
    }
  };
  // The number of the position (x, y, z), already floats; `next` when new.
  return (x, y, z, next) => {
    floats[0] = x + 0;
    floats[1] = y + 0;
    floats[2] = z + 0;
    const slot = slotOf(bits[0], bits[1], bits[2], numbers, keys);
    if (numbers[slot] !== -1) return numbers[slot];
    keys.set(bits, 3 * slot);
    numbers[slot] = next;
    if (++used * 2 > numbers.length) grow();
    return next;
  };
}

/** Writes a scene, or any object, as one BSV2 mesh. */
export class BSV2Exporter {
  /**
   * Merges every mesh under `object` (itself included) as bsv2-convert
   * merges a scene: each in world space (the matrices are brought up to
   * date first), every three indices (or vertices, without an index) a
   * triangle, vertices at the same float position joined and numbered in
   * the order the triangles first use them. Points and lines are left out.
   * @param {import('three').Object3D} object
   * @returns {Uint8Array} BSV2 text
   * @throws {RangeError} when a position is not finite (as a float), an
   *   index names a vertex its mesh does not have, or no mesh has a
   *   triangle, as the converter refuses such scenes
   */
  parse(object) {
    object.updateWorldMatrix(true, true);
    const meshes = [];
    let numCorners = 0;
    object.traverse((node) => {
      const positions = node.isMesh ? node.geometry?.getAttribute('position') : undefined;
      if (positions === undefined) return;
      const count = node.geometry.index ? node.geometry.index.count : positions.count;
      meshes.push({ node, positions, count: count - (count % 3) });
      numCorners += count - (count % 3);
    });
    if (numCorners === 0) throw new RangeError('the object holds no triangles');
    if (numCorners / 3 > 2147483647) throw new RangeError('the object has more triangles than a BSV2 file can hold');

    const corners = new Int32Array(numCorners);
    let vertices = new Float32Array(3 * Math.min(numCorners, 1 << 20));
    let numVertices = 0;
    let notFinite = 0;
    const numberOf = positionNumbers();
    const position = new Vector3();
    let corner = 0;
    for (const { node, positions, count } of meshes) {
      const index = node.geometry.index;
      // Each vertex of this mesh is placed and numbered once, when a
      // triangle first uses it (-2: its position is not finite).
      const numbers = new Int32Array(positions.count).fill(-1);
      for (let i = 0; i < count; i++) {
        const k = index ? index.getX(i) : i;
        if (!(k >= 0 && k < positions.count)) {
          throw new RangeError(`a mesh's index names vertex ${k}, which it does not have (${positions.count})`);
        }
        if (numbers[k] === -1) {
          position.fromBufferAttribute(positions, k).applyMatrix4(node.matrixWorld);
          const x = Math.fround(position.x);
          const y = Math.fround(position.y);
          const z = Math.fround(position.z);
          if (!(Number.isFinite(x) && Number.isFinite(y) && Number.isFinite(z))) {
            numbers[k] = -2;
            notFinite++;
            continue;
          }
          numbers[k] = numberOf(x, y, z, numVertices);
          if (numbers[k] === numVertices) {
            if (3 * numVertices === vertices.length) {
              const grown = new Float32Array(Math.min(2 * vertices.length, 3 * numCorners));
              grown.set(vertices);
              vertices = grown;
            }
            vertices[3 * numVertices] = x;
            vertices[3 * numVertices + 1] = y;
            vertices[3 * numVertices + 2] = z;
            numVertices++;
          }
        }
        corners[corner++] = numbers[k];
      }
    }
    if (notFinite > 0) {
      throw new RangeError(
        `the object has ${notFinite} ${notFinite === 1 ? 'vertex' : 'vertices'} whose coordinates are not finite` +
          ' (infinite or not a number)',
      );
    }
    return write(vertices.subarray(0, 3 * numVertices), corners);
  }
}

/**
 * The viewer's wireframe: each triangle's three edges, in the order the
 * viewer draws them (first corner to second, second to third, third back
 * to the first), as an index for LineSegments over the same position
 * attribute. Six indices per triangle, so setDrawRange(0, 6 * k) shows the
 * first k triangles.
 * @param {BufferGeometry} geometry triangles, indexed or not
 * @returns {BufferGeometry}
 */
export function outlines(geometry) {
  const positions = geometry.getAttribute('position');
  const index = geometry.index;
  const numTris = Math.floor((index ? index.count : positions.count) / 3);
  const lines = new Uint32Array(6 * numTris);
  for (let j = 0; j < numTris; j++) {
    const a = index ? index.getX(3 * j) : 3 * j;
    const b = index ? index.getX(3 * j + 1) : 3 * j + 1;
    const c = index ? index.getX(3 * j + 2) : 3 * j + 2;
    lines[6 * j] = a;
    lines[6 * j + 1] = b;
    lines[6 * j + 2] = b;
    lines[6 * j + 3] = c;
    lines[6 * j + 4] = c;
    lines[6 * j + 5] = a;
  }
  const result = new BufferGeometry();
  result.setAttribute('position', positions);
  result.setIndex(new BufferAttribute(lines, 1));
  return result;
}
