// The page in use, opened from disk in headless Chromium: a drag turns the
// view and the viewer's view comes back; other formats dropped in are
// converted, shown and saved as BSV2 that the native library reads with the
// same counts; a bad file says what is wrong and leaves no stale picture;
// a dropped file cannot make the page fetch anything; Fit gives the picture
// of what bsv2-convert --fit writes.
//   node page/tests/use.test.js   (BSV2_WEB_PAGE, BSV2_ORACLE, BSV2_SOURCE_DIR set;
//                                  BSV2_CONVERTER and BSV2_SNAPSHOT for Fit)
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, readdirSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import { nativeOutcomes, scratchFolder, sourceDir } from '../../tests/support.js';
import { chromiumOrSkip, decodePng, drop, launch, openPage, picture, serveFolder, settled } from './browser.js';
import { comparePictures, litPixels } from './compare.js';

const chromium = chromiumOrSkip();
const scratch = scratchFolder();
const downloads = join(scratch.folder, 'downloads');
const cube = readFileSync(join(sourceDir, 'models/cube.bsv2'));
const tent = readFileSync(join(sourceDir, 'models/tent.bsv2'));

let browser;
before(async () => {
  browser = await launch(chromium, { downloads });
});
after(async () => {
  await browser?.close();
  scratch.remove();
});

function differing(a, b) {
  let count = 0;
  for (let i = 0; i < a.rgba.length; i += 4) if (a.rgba.readUInt32LE(i) !== b.rgba.readUInt32LE(i)) count++;
  return count;
}

test('a drag turns the view, and the viewer\'s view brings the first picture back', async () => {
  const page = await openPage(browser);
  const [input] = await page.$$('input[type=file]');
  await input.uploadFile(join(sourceDir, 'models/cube.bsv2'));
  assert.equal((await settled(page))[0].state, 'shown');
  const before = await picture(page);

  const box = await (await page.$('#canvas')).boundingBox();
  const [x, y] = [box.x + box.width / 2, box.y + box.height / 2];
  await page.mouse.move(x, y);
  await page.mouse.down();
  for (let step = 1; step <= 10; step++) await page.mouse.move(x + 12 * step, y + 3 * step);
  await page.mouse.up();
  const turned = await picture(page);
  assert.ok(differing(before, turned) > 500, 'the drag changed the picture');
  assert.ok(litPixels(turned).green > 0, 'the cube is still in view');

  await page.click('#reset');
  assert.equal(differing(before, await picture(page)), 0, 'the viewer\'s view again');
  await page.close();
});

// Saves the first slot's model as `format`; gives the saved file's path.
async function download(page, format, name) {
  await page.select('[data-slot="0"] .export select', format);
  await page.click('[data-slot="0"] .download');
  const saved = join(downloads, name);
  for (let waited = 0; !existsSync(saved) && waited < 10_000; waited += 50) await new Promise((r) => setTimeout(r, 50));
  assert.ok(existsSync(saved), `downloaded as ${saved}; there: ${readdirSync(downloads)}`);
  return saved;
}

// Two objects listing the same eight corners each (merged into 8 vertices),
// six quads (12 triangles), and a line, which is left out. (The line has an
// object of its own: three.js's OBJLoader makes an object with any line a
// line object, faces and all.)
const corners = `v -1 -1 -1
v 1 -1 -1
v 1 1 -1
v -1 1 -1
v -1 -1 1
v 1 -1 1
v 1 1 1
v -1 1 1
`;
const twoObjects = `o front
${corners}f 1 2 3 4
f 1 2 6 5
f 2 3 7 6
o back
${corners}f 13 14 15 16
f 11 12 16 15
f 9 13 16 12
o wire
l 1 7
`;

// A square pyramid: a quad (two triangles) and four triangles; a two-corner
// face, left out; colours after the coordinates, ignored.
const pyramid = `OFF
# a pyramid
5 6 0
-1 0 -1 255 0 0
1 0 -1
1 0 1
-1 0 1
0 2 0
4 0 1 2 3
3 0 1 4
3 1 2 4
3 2 3 4
3 3 0 4
2 0 4
`;

for (const row of [
  { name: 'OBJ', file: 'two objects.obj', text: twoObjects, vertices: 8, triangles: 12 },
  { name: 'OFF', file: 'pyramid.off', text: pyramid, vertices: 5, triangles: 6 },
]) {
  test(`${row.name} dropped in is shown converted and saved as BSV2 the native library reads`, async () => {
    const page = await openPage(browser);
    await drop(page, '#canvas', [{ name: row.file, bytes: Buffer.from(row.text) }]);
    const [first] = await settled(page);
    assert.equal(first.state, 'shown', first.message);
    assert.equal(first.facts['Read as'], `${row.name}, converted to BSV2`);
    assert.equal(first.facts.Vertices, String(row.vertices));
    assert.equal(first.facts.Triangles, String(row.triangles));
    assert.ok(litPixels(await picture(page)).green > 0, 'drawn');

    const [native] = nativeOutcomes([await download(page, 'bsv2', row.file.replace(/\.[a-z]+$/, '.bsv2'))]);
    assert.equal(native.message, '');
    assert.deepEqual([native.numVertices, native.numTris], [row.vertices, row.triangles]);
    await page.close();
  });
}

test('a BSV2 model saved as PLY, OBJ, STL and GLB reads back with the same counts and box', async () => {
  const page = await openPage(browser);
  await drop(page, '#canvas', [{ name: 'tent.bsv2', bytes: tent }]);
  const [shown] = await settled(page);
  for (const format of ['ply', 'obj', 'stl', 'glb']) {
    const saved = await download(page, format, `tent.${format}`);
    const again = await openPage(browser);
    await drop(again, '#canvas', [{ name: `tent.${format}`, bytes: readFileSync(saved) }]);
    const [read] = await settled(again);
    assert.equal(read.state, 'shown', `${format}: ${read.message}`);
    for (const fact of ['Vertices', 'Triangles', 'Box']) {
      assert.equal(read.facts[fact], shown.facts[fact], `${format}: ${fact}`);
    }
    await again.close();
  }
  await page.close();
});

test("a bad file replacing a model: its name and the reader's message, no stale picture, the other stays", async () => {
  const page = await openPage(browser);
  await drop(page, '#canvas', [
    { name: 'cube.bsv2', bytes: cube },
    { name: 'tent.bsv2', bytes: tent },
  ]);
  assert.deepEqual((await settled(page)).map((slot) => slot.state), ['shown', 'shown']);

  const bad = Buffer.from('BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1 x\n');
  await drop(page, '[data-slot="0"]', [{ name: 'bad.bsv2', bytes: bad }]);
  const [first, second] = await settled(page);
  assert.equal(first.state, 'failed');
  assert.equal(first.message, 'bad.bsv2: Read error in tTable read');
  assert.equal(second.state, 'shown');
  const shot = await picture(page);
  assert.equal(litPixels(shot).green, 0, 'the cube is gone');
  assert.ok(litPixels(shot).red > 0, 'the tent stays');
  await page.close();
});

test('a dropped glTF naming files elsewhere: refused, and nothing is fetched', async () => {
  const server = await serveFolder(scratch.folder);
  try {
    const gltf = {
      asset: { version: '2.0' },
      buffers: [{ uri: `${server.url}/secret.bin`, byteLength: 36 }],
      bufferViews: [{ buffer: 0, byteLength: 36 }],
      accessors: [{ bufferView: 0, componentType: 5126, count: 3, type: 'VEC3', min: [0, 0, 0], max: [1, 1, 0] }],
      images: [{ uri: `${server.url}/secret.png` }],
      textures: [{ source: 0 }],
      materials: [{ pbrMetallicRoughness: { baseColorTexture: { index: 0 } } }],
      meshes: [{ primitives: [{ attributes: { POSITION: 0 }, material: 0 }] }],
      nodes: [{ mesh: 0 }],
      scenes: [{ nodes: [0] }],
    };
    const page = await openPage(browser);
    await drop(page, '#canvas', [{ name: 'elsewhere.gltf', bytes: Buffer.from(JSON.stringify(gltf)) }]);
    const [first] = await settled(page);
    assert.equal(first.state, 'failed');
    assert.match(first.message, new RegExp(`^elsewhere\\.gltf: it needs ${server.url}/secret\\.bin`));
    assert.deepEqual([...server.requests.keys()], [], 'requests made');
    await page.close();
  } finally {
    await server.close();
  }
});

test('Fit: the picture of what bsv2-convert --fit writes', async (t) => {
  const { BSV2_CONVERTER: converter, BSV2_SNAPSHOT: snapshot } = process.env;
  if (!converter || !snapshot) return t.skip('bsv2-convert or bsv2-snapshot is not built');
  const house = join(sourceDir, 'models/house.obj');
  const fitted = join(scratch.folder, 'house-fit.bsv2');
  const png = join(scratch.folder, 'house-fit.png');
  for (const [program, ...args] of [[converter, '--fit', house, fitted], [snapshot, fitted, png]]) {
    const run = spawnSync(program, args, { encoding: 'utf8' });
    assert.equal(run.status, 0, run.stderr);
  }
  const page = await openPage(browser);
  await drop(page, '#canvas', [{ name: 'house.obj', bytes: readFileSync(house) }]);
  assert.equal((await settled(page))[0].state, 'shown');
  await page.click('#fit');
  const { colours } = comparePictures(await picture(page), await decodePng(page, readFileSync(png).toString('base64')));
  assert.deepEqual(colours.green.unmatched, [0, 0], 'pixels with no green within 1 px');
  assert.deepEqual(colours.green.box[0], colours.green.box[1]);
  await page.close();
});
