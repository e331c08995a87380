// BSV2 text in JavaScript: the Shape library's own reader and writer,
// compiled to WebAssembly (bsv2_wasm.js, made by the build, holds it), so
// that every number is read and written exactly as the C library reads and
// writes it. Works in browsers, workers and node 18 or later; the module is
// ready once this one is imported.
import createModule from './bsv2_wasm.js';

const wasm = await createModule();

// The values of Bsv2Cause in the library's header, in order.
const CAUSES = [
  'BSV2_CAUSE_NONE',
  'BSV2_CAUSE_CANNOT_OPEN',
  'BSV2_CAUSE_CANNOT_READ',
  'BSV2_CAUSE_ENDS_EARLY',
  'BSV2_CAUSE_NOT_BSV2',
  'BSV2_CAUSE_BAD_VERTEX_COUNT',
  'BSV2_CAUSE_BAD_TRIANGLE_COUNT',
  'BSV2_CAUSE_BAD_VERTEX',
  'BSV2_CAUSE_BAD_TRIANGLE',
  'BSV2_CAUSE_VERTEX_OUT_OF_RANGE',
  'BSV2_CAUSE_NO_MEMORY',
  'BSV2_CAUSE_BAD_ARGUMENT',
  'BSV2_CAUSE_CANNOT_WRITE',
];
const NO_MEMORY = CAUSES.indexOf('BSV2_CAUSE_NO_MEMORY');

// Room for the longest of the reader's messages.
const MESSAGE_SIZE = 128;
// The largest count a BSV2 file holds (a 32-bit int).
const MAX_COUNT = 2147483647;

/** A read or write the library refused: its message, and the cause. */
export class BSV2Error extends Error {
  constructor(message, cause) {
    const text = causeText(cause);
    super(message || text);
    this.name = 'BSV2Error';
    /** The cause's name in the library's header, such as 'BSV2_CAUSE_BAD_VERTEX'. */
    this.code = CAUSES[cause] ?? `BSV2_CAUSE_${cause}`;
    /** The library's short English text for the cause (bsv2CauseText). */
    this.causeText = text;
  }
}

// Memory addresses in the module are unsigned: it may hold up to 4 GiB.
function address(pointer) {
  return pointer >>> 0;
}

// The NUL-terminated ASCII text at `pointer`.
function textAt(pointer) {
  const bytes = wasm.HEAPU8;
  let end = pointer;
  while (bytes[end] !== 0) end++;
  return new TextDecoder().decode(bytes.subarray(pointer, end));
}

function causeText(cause) {
  return textAt(address(wasm._bsv2CauseText(cause)));
}

// Blocks of the module's memory, all released by release() whatever
// happens; null when one cannot be had.
function allocator() {
  const blocks = [];
  return {
    take(bytes) {
      const block = address(wasm._malloc(Math.max(bytes, 1)));
      if (block === 0) throw new BSV2Error('', NO_MEMORY);
      blocks.push(block);
      return block;
    },
    release() {
      for (const block of blocks) wasm._free(block);
    },
  };
}

// The bytes of a Uint8Array (any view: node's Buffers share one pool, so
// the view, never its whole buffer) or of an ArrayBuffer.
function bytesOf(data) {
  if (data instanceof Uint8Array) return data;
  if (data instanceof ArrayBuffer) return new Uint8Array(data);
  throw new TypeError('BSV2 text must be a Uint8Array or an ArrayBuffer');
}

/**
 * Reads BSV2 text.
 * @param {Uint8Array | ArrayBuffer} bytes the text, as in a file
 * @returns {{points: Float32Array, triangles: Int32Array}} three coordinates
 *   per vertex, three vertex numbers per triangle (none for a negative count)
 * @throws {BSV2Error} with the library's message where the library refuses
 */
export function read(bytes) {
  const input = bytesOf(bytes);
  const memory = allocator();
  let shape = 0;
  try {
    const outcome = memory.take(4 + MESSAGE_SIZE); // the cause, then the message
    const text = memory.take(input.length);
    wasm.HEAPU8.set(input, text);
    shape = address(wasm._readShapeFromMemory(text, input.length, outcome + 4, MESSAGE_SIZE, outcome));
    if (shape === 0) {
      const message = textAt(outcome + 4).replace(/\n+$/, '');
      throw new BSV2Error(message, wasm.HEAP32[outcome >>> 2]);
    }
    // struct Shape_Typ: int numVertices; float *vTable; int *tTable; int numTris.
    const numVertices = wasm.HEAP32[shape >>> 2];
    const vTable = address(wasm.HEAPU32[(shape + 4) >>> 2]);
    const tTable = address(wasm.HEAPU32[(shape + 8) >>> 2]);
    const numTris = Math.max(wasm.HEAP32[(shape + 12) >>> 2], 0);
    // Copies: the module's memory moves when it grows.
    const points = wasm.HEAPF32.slice(vTable >>> 2, (vTable >>> 2) + 3 * numVertices);
    const triangles = wasm.HEAP32.slice(tTable >>> 2, (tTable >>> 2) + 3 * numTris);
    return { points, triangles };
  } finally {
    wasm._destroyShape(shape);
    memory.release();
  }
}

// How many entries of three a flat list of numbers holds.
function tripletsIn(list, what, unit) {
  if (!(Array.isArray(list) || (ArrayBuffer.isView(list) && !(list instanceof DataView)))) {
    throw new TypeError(`${what} must be an array or a typed array of numbers`);
  }
  if (list.length % 3 !== 0) {
    throw new RangeError(`${what} must hold three numbers per ${unit}, not ${list.length} numbers`);
  }
  if (list.length / 3 > MAX_COUNT) throw new RangeError('too many vertices or triangles for BSV2');
  return list.length / 3;
}

// Checks coordinates that are not float32 already: numbers only, none that
// would become infinite as a float (written, they would be another mesh).
function checkPoints(points) {
  if (points instanceof Float32Array) return;
  if (points instanceof BigInt64Array || points instanceof BigUint64Array) {
    throw new TypeError(`points must be numbers, not ${points.constructor.name}`);
  }
  for (let i = 0; i < points.length; i++) {
    const value = points[i];
    if (typeof value !== 'number') throw new TypeError(`points must be numbers, not ${typeof value}`);
    if (Number.isFinite(value) && !Number.isFinite(Math.fround(value))) {
      throw new RangeError(`coordinate ${value} does not fit in a 32-bit float`);
    }
  }
}

// Checks vertex numbers: integers only (a float is refused, not rounded),
// each of 32 bits, each naming a vertex.
function checkTriangles(triangles, numVertices) {
  if (triangles instanceof Float32Array || triangles instanceof Float64Array) {
    throw new TypeError(`triangles must be integers, not ${triangles.constructor.name}`);
  }
  if (triangles instanceof BigInt64Array || triangles instanceof BigUint64Array) {
    throw new TypeError(`triangles must be numbers, not ${triangles.constructor.name}`);
  }
  for (let i = 0; i < triangles.length; i++) {
    const corner = triangles[i];
    if (!Number.isInteger(corner)) {
      throw new TypeError(`triangles must be integers, not ${typeof corner === 'number' ? corner : typeof corner}`);
    }
    if (corner < -MAX_COUNT - 1 || corner > MAX_COUNT) {
      throw new RangeError(`vertex number ${corner} does not fit in 32 bits`);
    }
    if (corner < 0 || corner >= numVertices) {
      throw new RangeError(
        `triangle ${Math.floor(i / 3)} names vertex ${corner}, outside 0 .. ${numVertices - 1}`,
      );
    }
  }
}

/**
 * Writes BSV2 text, as the library's writer writes a file.
 * @param {ArrayLike<number>} points three coordinates per vertex, at least one vertex
 * @param {ArrayLike<number>} triangles three vertex numbers per triangle
 * @returns {Uint8Array} the text
 * @throws {TypeError | RangeError} before anything is written, for what the
 *   Python module refuses too: no numbers, vertex numbers that are not
 *   integers or name no vertex, coordinates too large for a float
 * @throws {BSV2Error} when the module has no memory for the text
 */
export function write(points, triangles) {
  const numVertices = tripletsIn(points, 'points', 'vertex');
  const numTris = tripletsIn(triangles, 'triangles', 'triangle');
  if (numVertices < 1) throw new RangeError('a BSV2 file holds at least one vertex');
  checkPoints(points);
  checkTriangles(triangles, numVertices);

  const memory = allocator();
  let text = 0;
  try {
    const record = memory.take(16);
    const outcome = memory.take(12); // the text's address, its size, the cause
    const vTable = memory.take(12 * numVertices);
    const tTable = numTris > 0 ? memory.take(12 * numTris) : 0;
    wasm.HEAPF32.set(points, vTable >>> 2);
    if (numTris > 0) wasm.HEAP32.set(triangles, tTable >>> 2);
    wasm.HEAP32[record >>> 2] = numVertices;
    wasm.HEAPU32[(record + 4) >>> 2] = vTable;
    wasm.HEAPU32[(record + 8) >>> 2] = tTable;
    wasm.HEAP32[(record + 12) >>> 2] = numTris;
    const status = wasm._writeShapeToMemory(record, outcome, outcome + 4, outcome + 8);
    text = address(wasm.HEAPU32[outcome >>> 2]);
    if (status !== 0) throw new BSV2Error('', wasm.HEAP32[(outcome + 8) >>> 2]);
    return wasm.HEAPU8.slice(text, text + wasm.HEAPU32[(outcome + 4) >>> 2]);
  } finally {
    wasm._releaseShapeText(text);
    memory.release();
  }
}
