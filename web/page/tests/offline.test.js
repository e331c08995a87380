// The page opened from disk by a Chromium with no network at all (a network
// namespace of its own, unshare -n): the two models from the file dialog
// and a drop are read in its workers and drawn, BSV2 and converted alike.
//   node page/tests/offline.test.js   (BSV2_WEB_PAGE, BSV2_SOURCE_DIR set)
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import { scratchFolder, sourceDir } from '../../tests/support.js';
import { chromiumOrSkip, drop, launch, offlineOrSkip, openPage, picture, settled } from './browser.js';
import { litPixels } from './compare.js';

const chromium = chromiumOrSkip();
const offline = offlineOrSkip();
const scratch = scratchFolder();

let browser;
before(async () => {
  browser = await launch(chromium, { offline, scratch: scratch.folder });
});
after(async () => {
  await browser?.close();
  scratch.remove();
});

test('from file:// with no network: a BSV2 file from the dialog, an OBJ dropped, both drawn', async () => {
  const page = await openPage(browser);
  const reached = await page.evaluate(() =>
    fetch('https://registry.npmjs.org/').then(
      () => true,
      () => false,
    ),
  );
  assert.equal(reached, false, 'the network is reachable from the page');

  const [input] = await page.$$('input[type=file]');
  await input.uploadFile(join(sourceDir, 'models/cube.bsv2'));
  const house = readFileSync(join(sourceDir, 'models/house.obj'));
  await drop(page, '[data-slot="1"]', [{ name: 'house.obj', bytes: house }]);
  const slots = await settled(page);
  assert.deepEqual(
    slots.map((slot) => [slot.state, slot.facts['Read as']]),
    [
      ['shown', 'BSV2'],
      ['shown', 'OBJ, converted to BSV2'],
    ],
    slots.map((slot) => slot.message).join(' '),
  );
  const { green, red } = litPixels(await picture(page));
  assert.ok(green > 0 && red > 0, `green ${green}, red ${red}`);
  assert.deepEqual(page.errors, []);
  await page.close();
});
