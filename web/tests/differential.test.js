// The package against the native library on the same bytes: the same cause,
// message and tables bit for bit from read(), the same bytes from write(),
// on the project's BSV2 files, on floats at the edge of rounding, and on
// thousands of mutants made here.
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';
import test from 'node:test';

import { BSV2Error, read, write } from '../src/bsv2.js';
import { mutate, nativeOutcomes, sampleFiles, scratchFolder, seededRandom } from './support.js';

const NO_MEMORY = 10; // BSV2_CAUSE_NO_MEMORY in shape.h
const MUTANTS = 4000;

// Floats halfway between two neighbouring 32-bit floats (exact in a
// double), written with few or many digits, shortest, or in hexadecimal,
// so that the decimal's exact value falls just either side of the
// halfway point or on it: where a parse that is not correctly rounded
// goes wrong.
function halfwayNumbers(random, count) {
  const float = new Float32Array(1);
  const floatBits = new Uint32Array(float.buffer);
  const double = new Float64Array(1);
  const doubleBits = new BigUint64Array(double.buffer);
  const numbers = [];
  while (numbers.length < count) {
    // Half from every exponent, half from the ones models have.
    floatBits[0] = random() % 2 ? random() & 0x7fffffff : ((97 + (random() % 60)) << 23) | (random() & 0x7fffff);
    const low = float[0];
    floatBits[0]++;
    const high = float[0];
    if (!Number.isFinite(low)) continue;
    const halfway = Number.isFinite(high) ? (low + high) / 2 : low + 2 ** 103;
    let text;
    switch (random() % 4) {
      case 0:
        text = halfway.toPrecision(1 + (random() % 100));
        break;
      case 1:
        text = String(halfway);
        break;
      case 2: {
        double[0] = halfway;
        const exponent = Number((doubleBits[0] >> 52n) & 0x7ffn) - 1023;
        const fraction = (doubleBits[0] & ((1n << 52n) - 1n)).toString(16).padStart(13, '0');
        text = `0x1.${fraction}p${exponent}`;
        break;
      }
      default:
        text = halfway.toExponential(random() % 30);
    }
    numbers.push((random() % 2 ? '-' : '') + text);
  }
  return numbers;
}

function halfwayFile(random, numVertices) {
  const numbers = halfwayNumbers(random, 3 * numVertices);
  const lines = [];
  for (let k = 0; k < numVertices; k++) lines.push(numbers.slice(3 * k, 3 * k + 3).join(' '));
  return Buffer.from(`BSV2\n${numVertices}\n1\n${lines.join('\n')}\n0 0 0\n`);
}

// read() of `bytes`: tables, or the error's cause and message.
function wasmOutcome(bytes) {
  try {
    const { points, triangles } = read(bytes);
    return { loaded: true, points, triangles };
  } catch (error) {
    if (!(error instanceof BSV2Error)) throw error;
    return { loaded: false, code: error.code, causeText: error.causeText, message: error.message };
  }
}

function sameBytes(a, b) {
  return Buffer.compare(Buffer.from(a.buffer, a.byteOffset, a.byteLength), Buffer.from(b.buffer, b.byteOffset, b.byteLength)) === 0;
}

test('read and write give what the native library gives, on the same bytes', (t) => {
  const scratch = scratchFolder();
  try {
    const random = seededRandom(20261209);
    const samples = sampleFiles();
    const inputs = samples.map(({ name, path, bytes }) => ({ name, path, bytes }));
    for (let i = 0; i < 4; i++) {
      inputs.push({ name: `halfway floats ${i}`, bytes: halfwayFile(random, 25000) });
    }
    for (let i = 0; i < MUTANTS; i++) {
      inputs.push({ name: `mutant ${i}`, bytes: mutate(samples[random() % samples.length].bytes, random) });
    }
    inputs.forEach((input, i) => {
      if (input.path === undefined) {
        input.path = join(scratch.folder, `${i}.bsv2`);
        writeFileSync(input.path, input.bytes);
      }
    });

    const native = nativeOutcomes(inputs.map((input) => input.path));
    const counts = { inputs: inputs.length, read: 0, refused: 0, unallocatable: 0, written: 0, negativeCount: 0 };
    const codes = new Map(); // each cause's name, by its text
    inputs.forEach((input, i) => {
      const expected = native[i];
      if (expected.cause === NO_MEMORY) {
        // Counts the native reader cannot allocate: the package refuses them
        // as if it could, which there is nothing to compare with.
        counts.unallocatable++;
        return;
      }
      assert.ok(expected.loaded || !input.name.startsWith('halfway'), `${input.name} is a BSV2 file`);
      const got = wasmOutcome(input.bytes);
      assert.equal(got.loaded, expected.loaded, `${input.name}: read or refused (${expected.message})`);
      if (!expected.loaded) {
        assert.equal(got.causeText, expected.causeText, `${input.name}: cause`);
        assert.equal(got.message, expected.message.replace(/\n+$/, ''), `${input.name}: message`);
        assert.equal(codes.get(got.causeText) ?? got.code, got.code, `${input.name}: one name for one cause`);
        codes.set(got.causeText, got.code);
        counts.refused++;
        return;
      }
      counts.read++;
      assert.ok(sameBytes(got.points, expected.coordinateBits), `${input.name}: coordinates, bit for bit`);
      assert.ok(sameBytes(got.triangles, expected.vertexNumbers), `${input.name}: vertex numbers`);
      if (expected.numTris < 0) {
        // write() takes tables, and a table has no negative length.
        counts.negativeCount++;
        return;
      }
      assert.ok(sameBytes(write(got.points, got.triangles), expected.written), `${input.name}: written bytes`);
      counts.written++;
    });
    t.diagnostic(
      `${counts.inputs} inputs (${samples.length} files, 4 of 25000 halfway vertices, ${MUTANTS} mutants): ` +
        `${counts.read} read alike (${counts.written} written alike, ${counts.negativeCount} with a negative ` +
        `triangle count not writable), ${counts.refused} refused alike, ${counts.unallocatable} left out ` +
        `(counts the native reader cannot allocate); refused for ${codes.size} causes`,
    );
    // Enough of each kind that the comparison means something.
    assert.ok(counts.read > 200 && counts.refused > 1000 && counts.written > 200, JSON.stringify(counts));
    assert.ok(codes.size >= 7, `causes seen: ${[...codes.values()]}`);
  } finally {
    scratch.remove();
  }
});
