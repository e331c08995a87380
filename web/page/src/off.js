// OFF (Object File Format) text as a three.js geometry; three.js has no
// loader of its own for it. A line-based reader, as the converter's import
// library reads OFF: an optional header ([ST][C][N]OFF, possibly with the
// counts after it), the vertex and face counts (and an edge count, unused),
// then one vertex a line (its first three numbers; colours and normals
// after them are ignored) and one face a line (a count k, then k vertex
// numbers). Faces of more than three corners are split into a fan from
// their first corner; faces of fewer are left out, as points and lines are.
import { BufferAttribute, BufferGeometry } from 'three';

/**
 * @param {string} text
 * @returns {BufferGeometry} positions and an index of triangles
 * @throws {Error} saying which line is wrong, for a text that is not OFF,
 *   counts the text cannot hold, or a vertex number outside the vertices
 */
export function parseOff(text) {
  const lines = [];
  text.split('\n').forEach((line, at) => {
    const words = line.replace(/#.*/, '').trim().split(/\s+/);
    if (words[0] !== '') lines.push({ words, number: at + 1 });
  });
  let next = 0;
  const header = lines[0]?.words[0];
  if (header !== undefined && /OFF$/.test(header)) {
    if (!/^(ST)?C?N?OFF$/.test(header)) {
      throw new Error(`line ${lines[0].number}: ${header} files are not read, only 3D OFF`);
    }
    lines[0].words.shift();
    if (lines[0].words.length === 0) next = 1;
  }
  const counts = lines[next]?.words.slice(0, 2).map(Number);
  if (!counts || counts.length < 2 || !counts.every((n) => Number.isInteger(n) && n >= 0)) {
    throw new Error(`line ${lines[next]?.number ?? 1}: not the vertex and face counts of an OFF file`);
  }
  const [numVertices, numFaces] = counts;
  next++;
  if (numVertices + numFaces > lines.length - next) {
    const left = lines.length - next;
    throw new Error(`it claims ${numVertices} vertices and ${numFaces} faces but has only ${left} lines for them`);
  }

  const positions = new Float32Array(3 * numVertices);
  for (let k = 0; k < numVertices; k++) {
    const { words, number } = lines[next++];
    for (let axis = 0; axis < 3; axis++) {
      const value = Number(words[axis]);
      if (words[axis] === undefined || Number.isNaN(value)) {
        throw new Error(`line ${number}: not a vertex's three coordinates`);
      }
      positions[3 * k + axis] = value;
    }
  }
  const corners = [];
  for (let f = 0; f < numFaces; f++) {
    const { words, number } = lines[next++];
    const size = Number(words[0]);
    const face = words.slice(1, 1 + size).map(Number);
    if (!Number.isInteger(size) || size < 0 || face.length < size) throw new Error(`line ${number}: not a face`);
    for (const k of face) {
      if (!(Number.isInteger(k) && k >= 0 && k < numVertices)) {
        throw new Error(`line ${number}: vertex number ${k} is outside 0 .. ${numVertices - 1}`);
      }
    }
    for (let j = 1; j + 1 < size; j++) corners.push(face[0], face[j], face[j + 1]);
  }
  const geometry = new BufferGeometry();
  geometry.setAttribute('position', new BufferAttribute(positions, 3));
  geometry.setIndex(new BufferAttribute(Uint32Array.from(corners), 1));
  return geometry;
}
