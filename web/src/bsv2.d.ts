// BSV2 text in JavaScript: the Shape library's reader and writer as WebAssembly.

/** A mesh as BSV2 holds it: flat tables, three entries per vertex or triangle. */
export interface Mesh {
  /** x, y, z of each vertex in turn. */
  points: Float32Array;
  /** The three vertex numbers (from 0) of each triangle in turn. */
  triangles: Int32Array;
}

/** The names of the library's Bsv2Cause values. */
export type Bsv2Cause =
  | 'BSV2_CAUSE_NONE'
  | 'BSV2_CAUSE_CANNOT_OPEN'
  | 'BSV2_CAUSE_CANNOT_READ'
  | 'BSV2_CAUSE_ENDS_EARLY'
  | 'BSV2_CAUSE_NOT_BSV2'
  | 'BSV2_CAUSE_BAD_VERTEX_COUNT'
  | 'BSV2_CAUSE_BAD_TRIANGLE_COUNT'
  | 'BSV2_CAUSE_BAD_VERTEX'
  | 'BSV2_CAUSE_BAD_TRIANGLE'
  | 'BSV2_CAUSE_VERTEX_OUT_OF_RANGE'
  | 'BSV2_CAUSE_NO_MEMORY'
  | 'BSV2_CAUSE_BAD_ARGUMENT'
  | 'BSV2_CAUSE_CANNOT_WRITE';

/** A read or write the library refused. */
export class BSV2Error extends Error {
  /** "BSV2Error". */
  readonly name: string;
  /** The library's message without its newline, such as "Read error in vTable read". */
  readonly message: string;
  /** Why, as the library's header names it. */
  readonly code: Bsv2Cause;
  /** The library's short English text for the cause. */
  readonly causeText: string;
}

/**
 * Reads BSV2 text, byte for byte as the native library reads a file.
 * The tables are copies, which may be transferred to another thread.
 * A negative triangle count gives no triangles.
 * Throws BSV2Error with the library's message for text it refuses.
 */
export function read(bytes: Uint8Array | ArrayBuffer): Mesh;

/**
 * Writes BSV2 text, byte for byte as the native library writes a file.
 * points: three coordinates per vertex (at least one vertex); triangles:
 * three vertex numbers per triangle, integers naming vertices. Throws
 * TypeError or RangeError, before writing anything, for what is not such
 * numbers or for coordinates too large for a 32-bit float; BSV2Error when
 * there is no memory for the text.
 */
export function write(points: ArrayLike<number>, triangles: ArrayLike<number>): Uint8Array;
