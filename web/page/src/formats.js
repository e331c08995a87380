// What the page's worker does with a file's bytes: BSV2 through the
// library's own reader; OBJ, PLY, STL and glTF/GLB through three.js's
// loaders, and OFF through a reader of its own (three.js has none), merged
// into one BSV2 mesh by the package's exporter as bsv2-convert merges a
// scene, then read back, so that what is shown is what would be saved. And
// the other way: a mesh written as binary PLY, OBJ, binary STL or GLB by
// three.js's exporters.
import { LoadingManager, Mesh, Points } from 'three';
import { GLTFExporter } from 'three/addons/exporters/GLTFExporter.js';
import { OBJExporter } from 'three/addons/exporters/OBJExporter.js';
import { PLYExporter } from 'three/addons/exporters/PLYExporter.js';
import { STLExporter } from 'three/addons/exporters/STLExporter.js';
import { GLTFLoader } from 'three/addons/loaders/GLTFLoader.js';
import { OBJLoader } from 'three/addons/loaders/OBJLoader.js';
import { PLYLoader } from 'three/addons/loaders/PLYLoader.js';
import { STLLoader } from 'three/addons/loaders/STLLoader.js';

import { read } from '../../src/bsv2.js';
import { BSV2Exporter, meshGeometry } from '../../src/three.js';
import { parseOff } from './off.js';

const startsWith = (bytes, text) => text.split('').every((c, i) => bytes[i] === c.charCodeAt(0));

/**
 * The format of a file, by its name's extension, else by its first bytes:
 * 'bsv2', 'obj', 'ply', 'stl', 'off', 'gltf' or 'glb'; null when neither
 * tells. A .bsv2 file always goes to the BSV2 reader, which says what is
 * wrong with it.
 */
export function formatOf(name, bytes) {
  const extension = /\.([a-z0-9]+)$/i.exec(name)?.[1].toLowerCase();
  if (extension === 'bsv2' || startsWith(bytes, 'BSV2')) return 'bsv2';
  if (['obj', 'ply', 'stl', 'off', 'gltf', 'glb'].includes(extension)) return extension;
  if (startsWith(bytes, 'glTF')) return 'glb';
  if (startsWith(bytes, 'ply')) return 'ply';
  if (/^[CN]*OFF\b/.test(String.fromCharCode(...bytes.subarray(0, 8)))) return 'off';
  if (startsWith(bytes, 'solid')) return 'stl';
  return null;
}

// What may be fetched while a glTF file is read: data: and blob: URLs, and
// for a file from an address, files on that address's own site. Anything
// else is refused before a request is made.
function guardedManager(baseURL, refused) {
  const manager = new LoadingManager();
  const site = baseURL ? new URL(baseURL).origin : null;
  manager.setURLModifier((url) => {
    if (/^(data|blob):/i.test(url)) return url;
    let origin = null;
    try {
      origin = new URL(url, baseURL || undefined).origin;
    } catch {
      // not an address at all: refused below
    }
    if (site !== null && origin === site) return url;
    refused.push(url);
    return 'blob:refused'; // fails at once, with no request
  });
  return manager;
}

function parseGltf(buffer, baseURL) {
  const refused = [];
  const loader = new GLTFLoader(guardedManager(baseURL, refused));
  // Only the geometry is wanted: no texture is decoded or fetched.
  loader.register(() => ({ name: 'bsv2_no_textures', loadTexture: () => Promise.resolve(null) }));
  const path = baseURL ? new URL('.', baseURL).href : '';
  return new Promise((resolve, reject) => {
    loader.parse(
      buffer,
      path,
      (gltf) => resolve(gltf.scene),
      (error) => {
        if (refused.length > 0) {
          const names = refused.join(', ');
          const advice = 'use a .glb, or a .gltf with its buffers inside';
          reject(new Error(`it needs ${names}, which this page does not fetch: ${advice}`));
        } else {
          reject(error);
        }
      },
    );
  });
}

// A geometry as a three.js scene node: triangles when it has faces (or is
// a triangle soup, as STL is); a PLY without faces is points, left out.
function asNode(geometry, soup) {
  return geometry.index || soup ? new Mesh(geometry) : new Points(geometry);
}

/**
 * Reads a model.
 * @param {Uint8Array} bytes the whole file (its own buffer)
 * @param {{name: string, baseURL?: string}} source
 * @returns {Promise<{format: string, points: Float32Array, triangles: Int32Array,
 *   bsv2: Uint8Array | null}>} bsv2: the converted text, for other formats
 * @throws BSV2Error from the reader, errors from three.js's loaders, Error
 *   when the format is unknown or nothing in the file is a triangle
 */
export async function readModel(bytes, { name, baseURL }) {
  const format = formatOf(name, bytes);
  if (format === 'bsv2') return { format, ...read(bytes), bsv2: null };
  const buffer = bytes.buffer;
  let node;
  switch (format) {
    case 'obj':
      node = new OBJLoader().parse(new TextDecoder().decode(bytes));
      break;
    case 'ply':
      node = asNode(new PLYLoader().parse(buffer), false);
      break;
    case 'stl':
      node = asNode(new STLLoader().parse(buffer), true);
      break;
    case 'off':
      node = asNode(parseOff(new TextDecoder().decode(bytes)), false);
      break;
    case 'gltf':
    case 'glb':
      node = await parseGltf(buffer, baseURL);
      break;
    default:
      throw new Error('not a BSV2, OBJ, PLY, STL, OFF, glTF or GLB file');
  }
  let bsv2;
  try {
    bsv2 = new BSV2Exporter().parse(node);
  } catch (error) {
    if (error instanceof RangeError && /no triangles/.test(error.message)) throw new Error('it holds no triangles');
    throw error;
  }
  return { format, ...read(bsv2), bsv2 };
}

/**
 * Writes a mesh through three.js's exporter: 'ply' (binary), 'obj', 'stl'
 * (binary) or 'glb'.
 * @returns {Promise<Uint8Array>}
 */
export async function exportModel(format, mesh) {
  const object = new Mesh(meshGeometry(mesh));
  switch (format) {
    case 'ply':
      return new Uint8Array(new PLYExporter().parse(object, null, { binary: true }));
    case 'obj':
      return new TextEncoder().encode(new OBJExporter().parse(object));
    case 'stl': {
      const view = new STLExporter().parse(object, { binary: true });
      return new Uint8Array(view.buffer, view.byteOffset, view.byteLength);
    }
    case 'glb':
      return new Uint8Array(await new GLTFExporter().parseAsync(object, { binary: true }));
    default:
      throw new Error(`no exporter for ${format}`);
  }
}
