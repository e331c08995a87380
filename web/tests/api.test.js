// read() and write() as callers meet them: the error they throw, the
// inputs they take (views into larger buffers, any array of numbers), what
// write() refuses before writing anything, counts far beyond the input, and
// tables that can be handed from a worker to another thread.
import assert from 'node:assert/strict';
import test from 'node:test';
import { Worker } from 'node:worker_threads';

import { BSV2Error, read, write } from '../src/bsv2.js';

const TENT = 'BSV2\n5\n2\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n0.5 0.5 0.5\n0 1 2\n2 3 4\n';
const POINTS = [0, 0, 0, 1.5, 0, 0, 0, 2.25, 0, 0, 0, -3, -0.5, 4, 8];
const TRIANGLES = [0, 1, 2, 0, 2, 3, 0, 3, 1, 1, 2, 4];

test('a refused read throws a BSV2Error with the library message, the cause and its text', () => {
  assert.throws(
    () => read(new TextEncoder().encode('BSV2\n1\n1\n0 0 0\n0 0 1\n')),
    (error) =>
      error instanceof BSV2Error &&
      error instanceof Error &&
      error.name === 'BSV2Error' &&
      error.message === 'Vertex number out of range in tTable read' &&
      error.code === 'BSV2_CAUSE_VERTEX_OUT_OF_RANGE' &&
      error.causeText === 'a triangle names a vertex that does not exist',
  );
});

// Each claims tables of more than the module's 4 GiB: had the reader
// allocated them, the cause would be BSV2_CAUSE_NO_MEMORY.
const CLAIMS = [
  { name: 'vertices', text: 'BSV2\n400000000\n1\n0 0 0\n', code: 'BSV2_CAUSE_BAD_VERTEX' },
  { name: 'triangles', text: 'BSV2\n1\n400000000\n0 0 0\n0 0 0\n', code: 'BSV2_CAUSE_BAD_TRIANGLE' },
  { name: 'triangles naming a missing vertex', text: 'BSV2\n1\n400000000\n0 0 0\n0 0 1\n', code: 'BSV2_CAUSE_VERTEX_OUT_OF_RANGE' },
];
for (const claim of CLAIMS) {
  test(`counts of ${claim.name} far beyond the input fail where the input runs out, not for memory`, () => {
    assert.throws(() => read(new TextEncoder().encode(claim.text)), { code: claim.code });
  });
}

test('reads a view into a larger buffer, never the bytes around it', () => {
  const expected = read(new TextEncoder().encode(TENT));
  const pooled = Buffer.from(TENT); // node hands small Buffers out of one shared pool
  const surrounded = Buffer.alloc(TENT.length + 200, '9 ');
  surrounded.write(TENT, 100);
  for (const bytes of [pooled, surrounded.subarray(100, 100 + TENT.length), new TextEncoder().encode(TENT).buffer]) {
    assert.deepEqual(read(bytes), expected);
  }
  assert.throws(() => read(TENT), TypeError);
});

test('write takes any array of numbers, and the same mesh gives the same bytes', () => {
  const expected = write(new Float32Array(POINTS), new Int32Array(TRIANGLES));
  const offset = new Int32Array([7, ...TRIANGLES]).subarray(1);
  for (const [points, triangles] of [
    [POINTS, TRIANGLES],
    [new Float64Array(POINTS), new Uint16Array(TRIANGLES)],
    [new Float32Array(POINTS), offset],
  ]) {
    assert.deepEqual(write(points, triangles), expected);
  }
  assert.deepEqual(read(expected), { points: new Float32Array(POINTS), triangles: new Int32Array(TRIANGLES) });
});

// What the Python module's write refuses, refused alike before anything is
// written.
const REFUSALS = [
  { name: 'vertex number too large', triangles: [0, 1, 5], error: RangeError, message: /names vertex 5, outside 0 \.\. 4/ },
  { name: 'negative vertex number', triangles: [0, -1, 2], error: RangeError, message: /names vertex -1/ },
  { name: 'vertex number beyond 32 bits', triangles: [0, 1, 2 ** 32 + 1], error: RangeError, message: /4294967297 does not fit in 32 bits/ },
  { name: 'fractional vertex number', triangles: [0, 1, 1.5], error: TypeError, message: /triangles must be integers, not 1\.5/ },
  { name: 'float table of vertex numbers', triangles: new Float32Array([0, 1, 2]), error: TypeError, message: /not Float32Array/ },
  { name: 'booleans as vertex numbers', triangles: [true, false, true], error: TypeError, message: /not boolean/ },
  { name: 'strings as vertex numbers', triangles: ['0', '1', '2'], error: TypeError, message: /not string/ },
  { name: 'big integers as vertex numbers', triangles: new BigInt64Array(3), error: TypeError, message: /BigInt64Array/ },
  { name: 'triangles not in threes', triangles: [0, 1], error: RangeError, message: /three numbers per triangle/ },
  { name: 'strings as coordinates', points: ['0', '0', '0'], error: TypeError, message: /points must be numbers, not string/ },
  { name: 'coordinates not in threes', points: [0, 0, 0, 1], error: RangeError, message: /three numbers per vertex/ },
  { name: 'no vertex', points: [], triangles: [], error: RangeError, message: /at least one vertex/ },
  { name: 'coordinate beyond a float', points: [0, 0, 3.5e38], error: RangeError, message: /3\.5e\+38 does not fit in a 32-bit float/ },
  { name: 'no array', points: 'BSV2', error: TypeError, message: /points must be an array/ },
];
for (const refusal of REFUSALS) {
  test(`write refuses ${refusal.name}`, () => {
    const points = refusal.points ?? POINTS;
    const triangles = refusal.triangles ?? TRIANGLES;
    assert.throws(() => write(points, triangles), (error) => error instanceof refusal.error && refusal.message.test(error.message));
  });
}

test('write keeps what a float holds: the largest float, infinity and not-a-number', () => {
  // 3.4028235e38 is beyond the largest float, but rounds to it.
  const text = new TextDecoder().decode(write([3.4028235e38, Infinity, NaN], []));
  assert.match(text, /^BSV2\n1\n0\n340282346638528859811704183484516925440\.000000 inf nan\n$/);
});

test('a worker reads, and hands the tables over without copying them', async () => {
  const worker = new Worker(new URL('./read-worker.js', import.meta.url));
  try {
    const reply = new Promise((resolve, reject) => {
      worker.once('message', resolve);
      worker.once('error', reject);
    });
    worker.postMessage(new TextEncoder().encode(TENT));
    assert.deepEqual(await reply, read(new TextEncoder().encode(TENT)));
  } finally {
    await worker.terminate();
  }
});
