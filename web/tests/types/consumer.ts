// A TypeScript program using both entry points as the README shows them;
// it must compile with every check on, and each misuse marked below must
// be an error, so that the declarations are neither missing nor loose.
import { BSV2Error, read, write, type Bsv2Cause, type Mesh } from 'bsv2';
import { BSV2Exporter, BSV2Loader, meshGeometry, outlines } from 'bsv2/three';
import { BufferGeometry, LineBasicMaterial, LineSegments, LoadingManager, Scene } from 'three';

const mesh: Mesh = read(new Uint8Array([66, 83, 86, 50]));
const bytes: Uint8Array = write(mesh.points, [0, 0, 0]);
try {
  read(bytes.buffer as ArrayBuffer);
} catch (error) {
  if (error instanceof BSV2Error) {
    const code: Bsv2Cause = error.code;
    const text: string = error.causeText + error.message;
    console.log(code, text);
  }
}

const loader = new BSV2Loader(new LoadingManager());
loader.setPath('models/').load(
  'cube.bsv2',
  (geometry: BufferGeometry) => new LineSegments(outlines(geometry), new LineBasicMaterial({ color: 0x00ff00 })),
  (event: ProgressEvent) => event.loaded,
  (error: unknown) => error,
);
const later: Promise<BufferGeometry> = loader.loadAsync('tent.bsv2');
const parsed: BufferGeometry = loader.parse(bytes);
const exported: Uint8Array = new BSV2Exporter().parse(new Scene());
console.log(later, parsed, exported, meshGeometry(mesh), loader.abort());

// @ts-expect-error: a string is not BSV2 text
read('BSV2');
// @ts-expect-error: the tables are typed
const wrong: Float64Array = read(bytes).points;
// @ts-expect-error: parse gives geometry, not a promise
const notAPromise: Promise<BufferGeometry> = loader.parse(bytes);
console.log(wrong, notAPromise);
