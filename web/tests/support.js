// What the package's tests share: the project's sample files, seeded
// random numbers, mutations of BSV2 text, and the native library's view of
// files (bsv2_web_oracle, built beside the package).
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

export const sourceDir = process.env.BSV2_SOURCE_DIR;

/** The BSV2 files of the project's corpus, regressions and models: {name, path, bytes}. */
export function sampleFiles() {
  const files = [];
  for (const folder of ['shape/fuzz/corpus', 'shape/tests/regressions', 'models']) {
    for (const name of readdirSync(join(sourceDir, folder)).sort()) {
      if (!name.endsWith('.bsv2')) continue;
      const path = join(sourceDir, folder, name);
      files.push({ name: `${folder}/${name}`, path, bytes: readFileSync(path) });
    }
  }
  return files;
}

/** A seeded generator of 32-bit unsigned integers (mulberry32). */
export function seededRandom(seed) {
  let state = seed >>> 0;
  return () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return (t ^ (t >>> 14)) >>> 0;
  };
}

const MUTATION_BYTES = Buffer.from('0123456789+-.eEpPxXiInNaAfFtTyY \t\r\n\v\f\0\xffBSV2', 'latin1');

/**
 * A random change to `bytes`, drawn from what breaks number syntax most,
 * and counts claimed far beyond what the text holds.
 */
export function mutate(bytes, random) {
  let text = Buffer.from(bytes);
  const changes = 1 + (random() % 4);
  for (let i = 0; i < changes; i++) {
    const at = random() % (text.length + 1);
    const byte = MUTATION_BYTES[random() % MUTATION_BYTES.length];
    const rest = text.subarray(at);
    switch (random() % 7) {
      case 0: // insert a byte
        text = Buffer.concat([text.subarray(0, at), Buffer.from([byte]), rest]);
        break;
      case 1: // replace a byte
        if (at < text.length) text[at] = byte;
        break;
      case 2: // delete a run
        text = Buffer.concat([text.subarray(0, at), text.subarray(at + 1 + (random() % 4))]);
        break;
      case 3: // cut the text short
        text = text.subarray(0, at);
        break;
      case 4: {
        // copy a run elsewhere
        if (text.length === 0) break;
        const from = random() % text.length;
        text = Buffer.concat([text.subarray(0, at), text.subarray(from, from + 1 + (random() % 16)), rest]);
        break;
      }
      case 5: {
        // claim a huge count: the line after the magic, or the one after it
        const lines = text.toString('latin1').split('\n');
        if (lines.length < 3) break;
        lines[1 + (random() % 2)] = String(1 + (random() % 2147483647));
        text = Buffer.from(lines.join('\n'), 'latin1');
        break;
      }
      default: // set a random byte
        if (at < text.length) text[at] = random() & 0xff;
    }
  }
  return text;
}

/**
 * What the native library makes of each file: {cause (its number),
 * causeText, message, loaded, numVertices, numTris, coordinateBits
 * (Uint32Array), vertexNumbers (Int32Array), written (Buffer)}, in the
 * order given.
 */
export function nativeOutcomes(paths) {
  const run = spawnSync(process.env.BSV2_ORACLE, [], {
    input: paths.join('\n') + '\n',
    maxBuffer: 1 << 30,
  });
  if (run.status !== 0) throw new Error(`bsv2_web_oracle failed: ${run.stderr}`);
  const out = run.stdout;
  let at = 0;
  const int = () => {
    const value = out.readInt32LE(at);
    at += 4;
    return value;
  };
  const bytes = (length) => {
    const slice = out.subarray(at, at + length);
    at += length;
    return slice;
  };
  return paths.map(() => {
    const outcome = { cause: int(), causeText: bytes(int()).toString('latin1') };
    outcome.message = bytes(int()).toString('latin1');
    outcome.loaded = false;
    if (outcome.cause === 0) {
      outcome.loaded = true;
      outcome.numVertices = int();
      outcome.numTris = int();
      const copy = (length) => new Uint8Array(bytes(4 * length)).buffer;
      outcome.coordinateBits = new Uint32Array(copy(3 * outcome.numVertices));
      outcome.vertexNumbers = new Int32Array(copy(3 * Math.max(outcome.numTris, 0)));
      outcome.written = bytes(int());
    }
    return outcome;
  });
}

/** A scratch folder, removed by the returned function. */
export function scratchFolder() {
  const folder = mkdtempSync(join(tmpdir(), 'bsv2-web-'));
  return { folder, remove: () => rmSync(folder, { recursive: true, force: true }) };
}
