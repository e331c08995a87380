// The page's first picture against bsv2-snapshot's PNG of the same files
// (the desktop viewer's completed frame, drawn by Mesa): every lit pixel of
// each colour within one pixel of one of its colour in the other picture,
// and each colour's bounding box the same. The models come from a local
// server through the page's address (#first=URL&second=URL), the page from
// disk.
//   node page/tests/pictures.test.js   (BSV2_WEB_PAGE, BSV2_SNAPSHOT, BSV2_ORACLE, BSV2_SOURCE_DIR set)
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { copyFileSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import { write } from '../../src/bsv2.js';
import { nativeOutcomes, scratchFolder, seededRandom, sourceDir } from '../../tests/support.js';
import { chromiumOrSkip, decodePng, launch, openPage, picture, serveFolder, settled, skip } from './browser.js';
import { comparePictures } from './compare.js';

const chromium = chromiumOrSkip();
const snapshot = process.env.BSV2_SNAPSHOT;
if (!snapshot) skip("bsv2-snapshot, whose pictures the page's are compared with, is not built (needs EGL, libpng)");

const scratch = scratchFolder();
const folder = scratch.folder;

// Small triangles scattered well beyond the view on every side and behind
// the eye, so that many are cut by the window's edges or the near plane.
function scatteredTriangles(seed, numTris) {
  const random = seededRandom(seed);
  const between = (low, high) => low + ((high - low) * random()) / 2 ** 32;
  const points = new Float32Array(9 * numTris);
  for (let j = 0; j < numTris; j++) {
    const centre = [between(-9, 9), between(-9, 9), between(-9, 9)];
    for (let corner = 0; corner < 9; corner++) points[9 * j + corner] = centre[corner % 3] + between(-1, 1);
  }
  return write(points, Int32Array.from({ length: 3 * numTris }, (_, i) => i));
}

copyFileSync(join(sourceDir, 'models/cube.bsv2'), join(folder, 'cube.bsv2'));
copyFileSync(join(sourceDir, 'models/tent.bsv2'), join(folder, 'tent.bsv2'));
writeFileSync(join(folder, 'scatter.bsv2'), scatteredTriangles(1, 2000));
// Three vertices, the second with a coordinate that is not a number.
writeFileSync(join(folder, 'bad-vertex.bsv2'), 'BSV2\n3\n1\n0 0 0\n1 0 x\n0 1 0\n0 1 2\n');

const rows = [
  { name: 'the cube and the tent', first: 'cube.bsv2', second: 'tent.bsv2' },
  { name: 'one model', first: 'tent.bsv2' },
  { name: 'no model' },
  {
    name: 'a failing first file, a loaded second',
    first: 'bad-vertex.bsv2',
    second: 'cube.bsv2',
    failing: 'bad-vertex.bsv2',
  },
  { name: 'a scattered mesh across the edges', first: 'scatter.bsv2' },
];

let browser;
let server;
before(async () => {
  server = await serveFolder(folder);
  browser = await launch(chromium);
});
after(async () => {
  await browser?.close();
  await server?.close();
  scratch.remove();
});

const results = [];
after(() => {
  const box = (b) => (b ? `(${b[0]},${b[1]})-(${b[2]},${b[3]})` : 'none');
  console.log(
    `${'picture'.padEnd(41)}colour  page px  snapshot px  same px  unmatched  bounding box (both)`,
  );
  for (const { name, comparison } of results) {
    for (const [colour, c] of Object.entries(comparison.colours)) {
      console.log(
        `${name.padEnd(41)}${colour.padEnd(8)}${String(c.lit[0]).padStart(7)}${String(c.lit[1]).padStart(13)}` +
          `${String(c.same).padStart(9)}${`${c.unmatched[0]}/${c.unmatched[1]}`.padStart(11)}  ` +
          `${box(c.box[0])}${c.box[0]?.join() === c.box[1]?.join() ? '' : ` vs ${box(c.box[1])}`}`,
      );
    }
  }
});

for (const row of rows) {
  test(`picture: ${row.name}`, async () => {
    const files = [row.first, row.second].filter(Boolean);
    const hash = [['first', row.first], ['second', row.second]]
      .filter(([, file]) => file)
      .map(([key, file]) => `${key}=${server.url}/${file}`)
      .join('&');
    const page = await openPage(browser, hash);
    const slots = await settled(page);
    const pagePicture = await picture(page);

    const png = join(folder, 'snapshot.png');
    const run = spawnSync(snapshot, [...files.map((file) => join(folder, file)), png], { encoding: 'utf8' });
    assert.equal(run.status, 0, run.stderr);
    const snapshotPicture = await decodePng(page, readFileSync(png).toString('base64'));
    await page.close();

    // Each slot as the page shows it; a failing file named with the
    // library's own message, as bsv2-snapshot names it.
    [row.first, row.second].forEach((file, i) => {
      const expected = !file ? 'empty' : file === row.failing ? 'failed' : 'shown';
      assert.equal(slots[i].state, expected, `slot ${i}: ${slots[i].message}`);
    });
    if (row.failing) {
      const [native] = nativeOutcomes([join(folder, row.failing)]);
      const message = native.message.trim();
      assert.equal(slots[0].message, `${row.failing}: ${message}`);
      assert.match(run.stderr, new RegExp(`${row.failing}: ${message}`));
    }

    const comparison = comparePictures(pagePicture, snapshotPicture);
    results.push({ name: row.name, comparison });
    assert.deepEqual(comparison.size, [500, 500]);
    assert.deepEqual(comparison.other, [0, 0], 'pixels neither black, green nor red');
    for (const [colour, c] of Object.entries(comparison.colours)) {
      assert.deepEqual(c.unmatched, [0, 0], `${colour}: pixels with none of their colour within 1 px`);
      assert.deepEqual(c.box[0], c.box[1], `${colour}: bounding boxes`);
    }
    const lit = (kind) => comparison.colours[kind].lit[1] > 0;
    assert.equal(lit('green'), Boolean(row.first && row.first !== row.failing), 'green drawn');
    assert.equal(lit('red'), Boolean(row.second), 'red drawn');
  });
}
