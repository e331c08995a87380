// From dropping a file to the first picture, in headless Chromium (WebGL on
// SwiftShader): the benchmark's mesh as BSV2 dropped on the page (read by
// the library in a worker), against a plain three.js page that reads the
// same mesh as binary PLY with PLYLoader, and the PLY dropped on the page
// (PLYLoader in the worker, then merged into BSV2). Every page draws the
// same outlines (six indices per triangle) with the viewer's camera. Runs
// alternate between them, round after round; medians are printed, split
// into "read" (the model handed to three.js) and "drawn" (the picture's
// pixels final, read back from the canvas).
//   node page/bench/drop.js [--runs N] [--vertices V] [--triangles T]   (BSV2_WEB_PAGE set)
import { mkdirSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { parseArgs } from 'node:util';

import * as esbuild from 'esbuild';

import { benchmarkFiles, benchmarkMesh } from '../../bench/mesh.js';
import { scratchFolder } from '../../tests/support.js';
import { chromiumOrSkip, launch, openPage, settled } from '../tests/browser.js';

const here = dirname(fileURLToPath(import.meta.url));
const { values } = parseArgs({
  options: {
    runs: { type: 'string', default: '3' },
    vertices: { type: 'string', default: '1000000' },
    triangles: { type: 'string', default: '2000000' },
  },
});
const runs = Number(values.runs);
const chromium = chromiumOrSkip();
const scratch = scratchFolder();

const files = benchmarkFiles(benchmarkMesh(Number(values.vertices), Number(values.triangles)));
const paths = { bsv2: join(scratch.folder, 'mesh.bsv2'), plyBinary: join(scratch.folder, 'mesh.ply') };
writeFileSync(paths.bsv2, files.bsv2);
writeFileSync(paths.plyBinary, files.plyBinary);

// The peer: three.js's PLYLoader on the page's own thread, as three.js's
// examples read PLY, the outlines drawn as plain LineSegments.
const peerSource = `
import { LineBasicMaterial, LineSegments, PerspectiveCamera, Scene, WebGLRenderer } from 'three';
import { PLYLoader } from 'three/addons/loaders/PLYLoader.js';
import { outlines } from '${join(here, '../../src/three.js')}';
import { VIEWER } from '${join(here, '../src/view.js')}';
const canvas = document.querySelector('#canvas');
const renderer = new WebGLRenderer({ canvas, antialias: false, preserveDrawingBuffer: true });
renderer.setSize(VIEWER.size, VIEWER.size, false);
const camera = new PerspectiveCamera(VIEWER.fieldOfView, VIEWER.aspect, VIEWER.near, VIEWER.far);
camera.position.set(...VIEWER.eye);
camera.lookAt(...VIEWER.target);
const scene = new Scene();
scene.scale.set(1, VIEWER.yScale, 1);
window.addEventListener('dragover', (event) => event.preventDefault());
window.addEventListener('drop', async (event) => {
  event.preventDefault();
  const geometry = new PLYLoader().parse(await event.dataTransfer.files[0].arrayBuffer());
  scene.clear();
  scene.add(new LineSegments(outlines(geometry), new LineBasicMaterial({ color: 0x00ff00, depthTest: false })));
  document.body.dataset.read = 'true';
  renderer.render(scene, camera);
  document.body.dataset.shown = 'true';
});
document.body.dataset.ready = 'true';
`;
const peerDir = join(scratch.folder, 'peer');
mkdirSync(peerDir);
const peerScript = (
  await esbuild.build({
    stdin: { contents: peerSource, resolveDir: here, loader: 'js' },
    bundle: true,
    minify: true,
    write: false,
    format: 'esm',
  })
).outputFiles[0].text.replace(/<\/(script)/gi, '<\\/$1');
const peerPath = join(peerDir, 'peer.html');
writeFileSync(
  peerPath,
  `<!doctype html><meta charset="utf-8"><canvas id="canvas" style="width:500px;height:500px"></canvas>` +
    `<input type="file" id="bench-file"><script type="module">${peerScript}</script>`,
);

// Drops `path` on the page and times it: to 'read' (the model handed to
// three.js) and to 'drawn' (the canvas's pixels read back, which waits for
// the drawing to finish).
async function timeDrop(page, path, { read, shown }) {
  const input = await page.$('#bench-file');
  await input.uploadFile(path);
  return page.evaluate(
    async (readSelector, shownSelector) => {
      const file = document.querySelector('#bench-file').files[0];
      const transfer = new DataTransfer();
      transfer.items.add(file);
      const canvas = document.querySelector('#canvas');
      const until = (selector) =>
        new Promise((resolve) => {
          const check = () => (document.querySelector(selector) ? resolve(performance.now()) : setTimeout(check, 5));
          check();
        });
      const start = performance.now();
      for (const type of ['dragover', 'drop']) {
        canvas.dispatchEvent(new DragEvent(type, { bubbles: true, cancelable: true, dataTransfer: transfer }));
      }
      const read = await until(readSelector);
      await until(shownSelector);
      await new Promise(requestAnimationFrame); // the page's own frame, if it waits for one
      const gl = canvas.getContext('webgl2');
      gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
      return { read: (read - start) / 1000, drawn: (performance.now() - start) / 1000 };
    },
    read,
    shown,
  );
}

const browser = await launch(chromium);
// The page hands the model to three.js and marks its slot at once; it draws
// at the next frame.
const PAGE_DONE = '[data-slot="0"][data-state="shown"], [data-slot="0"][data-state="failed"]';
const cases = [
  {
    name: 'the page, BSV2 (library in a worker)',
    file: 'bsv2',
    url: pathToFileURL(process.env.BSV2_WEB_PAGE).href,
    read: PAGE_DONE,
  },
  {
    name: 'three.js PLYLoader page, binary PLY',
    file: 'plyBinary',
    url: pathToFileURL(peerPath).href,
    read: 'body[data-read]',
    shown: 'body[data-shown]',
  },
  {
    name: 'the page, binary PLY (PLYLoader in a worker)',
    file: 'plyBinary',
    url: pathToFileURL(process.env.BSV2_WEB_PAGE).href,
    read: PAGE_DONE,
  },
];
const times = new Map(cases.map((c) => [c, []]));
try {
  for (let round = 0; round < runs; round++) {
    for (let i = 0; i < cases.length; i++) {
      const c = cases[(round + i) % cases.length];
      // A fresh page each time, with nothing read before.
      const page = await browser.newPage();
      await page.goto(c.url);
      await page.waitForSelector('body[data-ready]');
      await page.evaluate(() => {
        if (!document.querySelector('#bench-file')) {
          const input = Object.assign(document.createElement('input'), { type: 'file', id: 'bench-file' });
          document.body.append(Object.assign(input, { hidden: true }));
        }
      });
      const time = await timeDrop(page, paths[c.file], { read: c.read, shown: c.shown ?? c.read });
      if (c.url !== cases[1].url) {
        const [slot] = await settled(page);
        if (slot.state !== 'shown') throw new Error(`${c.name}: ${slot.message}`);
      }
      times.get(c).push(time);
      const [read, drawn] = [time.read.toFixed(2), time.drawn.toFixed(2)];
      console.log(`  round ${round + 1}, ${c.name}: read ${read} s, picture ${drawn} s`);
      await page.close();
    }
  }
} finally {
  await browser.close();
  scratch.remove();
}

const median = (list) => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];
const megabytes = (bytes) => (bytes.length / 1e6).toFixed(1);
console.log(
  `Mesh of ${values.vertices} vertices and ${values.triangles} triangles; BSV2 ${megabytes(files.bsv2)} MB,` +
    ` binary PLY ${megabytes(files.plyBinary)} MB; page ${process.env.BSV2_WEB_PAGE};` +
    ` median of ${runs} alternating runs each`,
);
console.log(`${'from the drop to'.padEnd(46)}   read s  picture s   picture / page BSV2`);
const reference = median(times.get(cases[0]).map((t) => t.drawn));
for (const c of cases) {
  const read = median(times.get(c).map((t) => t.read));
  const drawn = median(times.get(c).map((t) => t.drawn));
  console.log(
    `${c.name.padEnd(46)}${read.toFixed(2).padStart(9)}${drawn.toFixed(2).padStart(11)}` +
      `${(drawn / reference).toFixed(2).padStart(21)}x`,
  );
}
