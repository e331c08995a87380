// BSV2 in three.js: loader, exporter and the viewer's outlines.
import { BufferGeometry, Loader, LoadingManager, Object3D } from 'three';

import type { Mesh } from './bsv2.js';

export { BSV2Error } from './bsv2.js';

/** An indexed BufferGeometry over a mesh from read(), without copying its tables. */
export function meshGeometry(mesh: Mesh): BufferGeometry;

/** Loads BSV2 files as indexed BufferGeometry (a position attribute and an index). */
export class BSV2Loader extends Loader<BufferGeometry> {
  constructor(manager?: LoadingManager);
  load(
    url: string,
    onLoad: (geometry: BufferGeometry) => void,
    onProgress?: (event: ProgressEvent) => void,
    onError?: (error: unknown) => void,
  ): void;
  /** Throws BSV2Error with the library's message for text it refuses. */
  parse(data: ArrayBuffer | Uint8Array): BufferGeometry;
  /** Aborts the loads under way; their onError is called. */
  abort(): this;
}

/** Writes every mesh of an object, in world space, as one BSV2 mesh. */
export class BSV2Exporter {
  parse(object: Object3D): Uint8Array;
}

/** The viewer's wireframe of a triangle geometry, for LineSegments: six indices per triangle. */
export function outlines(geometry: BufferGeometry): BufferGeometry;
