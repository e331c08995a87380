// Bundles the page into one self-contained HTML file: three.js, the page's
// code and, in the worker's code carried as text, the package with its
// WebAssembly. Nothing is fetched when it is opened.
//   node page/build.mjs OUTPUT.html      (from the package's folder, after the build made src/bsv2_wasm.js)
// The output is written beside itself first and renamed into place, so it
// is whole or absent.
import { readFileSync, renameSync, rmSync, writeFileSync } from 'node:fs';
import { basename, dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

import * as esbuild from 'esbuild';

const here = dirname(fileURLToPath(import.meta.url));
const output = process.argv[2];
if (!output) {
  console.error('usage: node page/build.mjs OUTPUT.html');
  process.exit(2);
}

const common = {
  bundle: true,
  minify: true,
  write: false,
  legalComments: 'eof', // three.js's licence notices stay in the page
  logLevel: 'warning',
  target: 'es2022',
};
const textOf = (result) => result.outputFiles[0].text;

// The worker: an ES module, for the library's top-level await, run as a
// classic script (a module worker from a Blob URL is refused on a page
// opened from disk) inside an async function; a failure to start is
// reported to the page as a failed job.
const workerModule = textOf(
  await esbuild.build({
    ...common,
    entryPoints: [join(here, 'src/worker.js')],
    format: 'esm',
    // Emscripten's output asks where it came from; a classic worker has no
    // import.meta, and with the WebAssembly inside, nothing uses the answer.
    define: { 'import.meta.url': 'self.location.href' },
  }),
);
if (/\bimport\.meta\b/.test(workerModule)) {
  throw new Error('the worker bundle still asks for import.meta');
}
const workerSource = `(async()=>{${workerModule}
})().catch(e=>postMessage({kind:"failed",message:String(e&&e.message||e)}));`;

const page = textOf(
  await esbuild.build({
    ...common,
    entryPoints: [join(here, 'src/main.js')],
    format: 'esm',
    plugins: [
      {
        name: 'worker-source',
        setup(build) {
          build.onResolve({ filter: /^bsv2-page:worker-source$/ }, ({ path }) => ({ path, namespace: 'worker' }));
          build.onLoad({ filter: /.*/, namespace: 'worker' }, () => ({
            contents: `export default ${JSON.stringify(workerSource)};`,
            loader: 'js',
          }));
        },
      },
    ],
  }),
);

// Inside a <script> element, "</script" would end it and "<!--" can start
// an escaped state: both are written with a backslash, which means the
// same thing in every JavaScript string, template and regular expression.
const script = page.replace(/<\/(script)/gi, '<\\/$1').replace(/<!--/g, '<\\!--');
const template = readFileSync(join(here, 'index.html'), 'utf8');
const tag = '<script type="module" src="./src/main.js"></script>';
if (!template.includes(tag)) throw new Error(`index.html has no ${tag}`);
const html = template.replace(tag, () => `<script type="module">${script}</script>`);
if (html.match(/<\/script/gi).length !== 1) throw new Error('the bundle would end its <script> element early');

const partial = join(dirname(output), `.${basename(output)}.partial`);
try {
  writeFileSync(partial, html);
  renameSync(partial, output);
} catch (error) {
  rmSync(partial, { force: true });
  throw error;
}
console.log(`${output}: ${Buffer.byteLength(html)} bytes`);
