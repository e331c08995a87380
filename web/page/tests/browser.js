// What the page's tests share: Debian's Chromium, headless, with WebGL on
// SwiftShader (no GPU needed), driven by puppeteer-core over a pipe; the
// built page opened from disk; its canvas's pixels and the slots' states.
import { chmodSync, existsSync, writeFileSync } from 'node:fs';
import { spawnSync } from 'node:child_process';
import { basename, join } from 'node:path';
import { pathToFileURL } from 'node:url';

import puppeteer from 'puppeteer-core';

export const pagePath = process.env.BSV2_WEB_PAGE;
const CHROMIUM = [process.env.BSV2_CHROMIUM, '/usr/lib/chromium/chromium', '/usr/bin/chromium'];
const FLAGS = [
  '--use-angle=swiftshader',
  '--enable-unsafe-swiftshader',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  '--no-first-run',
  '--disable-dev-shm-usage', // a fresh root's /dev/shm may be small or missing
];

/** Ends the test file as skipped (77) with `reason`. */
export function skip(reason) {
  console.log(`skipped: ${reason}`);
  process.exit(77);
}

/** Chromium's path; the test is skipped where there is none. */
export function chromiumOrSkip() {
  const found = CHROMIUM.find((path) => path && existsSync(path));
  if (!found) skip(`no Chromium (${CHROMIUM.filter(Boolean).join(', ')}): install the chromium package`);
  if (!pagePath || !existsSync(pagePath)) throw new Error(`the page is not built: BSV2_WEB_PAGE=${pagePath}`);
  return found;
}

/** The prefix that runs a program with no network, or skips the test. */
export function offlineOrSkip() {
  for (const prefix of [['unshare', '-n'], ['unshare', '-r', '-n']]) {
    if (spawnSync(prefix[0], [...prefix.slice(1), 'true']).status === 0) return prefix;
  }
  return skip('no network namespace can be made here (unshare -n and unshare -rn fail)');
}

/**
 * Starts Chromium headless. With `offline` (unshare's prefix), it runs in a
 * network namespace of its own, through a wrapper script in `scratch`.
 */
export async function launch(chromium, { offline = null, scratch = null, downloads = null } = {}) {
  let executablePath = chromium;
  if (offline) {
    executablePath = join(scratch, 'chromium-offline');
    writeFileSync(executablePath, `#!/bin/sh\nexec ${offline.join(' ')} ${chromium} "$@"\n`);
    chmodSync(executablePath, 0o755);
  }
  const root = process.getuid?.() === 0;
  return puppeteer.launch({
    executablePath,
    headless: true,
    pipe: true, // no DevTools port: nothing listens, even offline
    args: [...FLAGS, ...(root ? ['--no-sandbox'] : [])],
    defaultViewport: { width: 1100, height: 800, deviceScaleFactor: 1 },
    downloadBehavior: downloads ? { policy: 'allow', downloadPath: downloads } : undefined,
    protocolTimeout: 300_000,
  });
}

/** Opens the page from disk, with `hash` after '#', once it is set up. */
export async function openPage(browser, hash = '') {
  const page = await browser.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.errors = errors;
  await page.goto(`${pathToFileURL(pagePath).href}${hash ? `#${hash}` : ''}`);
  await page.waitForSelector('body[data-ready]');
  return page;
}

/** Waits until no slot is loading; gives each slot's state and text. */
export async function settled(page, timeout = 120_000) {
  await page.waitForFunction(
    () => [...document.querySelectorAll('.slot')].every((slot) => slot.dataset.state !== 'loading'),
    { timeout, polling: 50 },
  );
  return page.$$eval('.slot', (slots) =>
    slots.map((slot) => ({
      state: slot.dataset.state,
      message: slot.querySelector('.message').hidden ? '' : slot.querySelector('.message').firstChild.textContent,
      facts: Object.fromEntries(
        [...slot.querySelectorAll('.facts dt')].map((term) => [term.textContent, term.nextElementSibling.textContent]),
      ),
    })),
  );
}

/** Decodes PNGs in the page: base64 in, {width, height, rgba: Buffer} out. */
export async function decodePng(page, base64) {
  const { width, height, rgba } = await page.evaluate(async (data) => {
    const bytes = Uint8Array.from(atob(data), (c) => c.charCodeAt(0));
    const bitmap = await createImageBitmap(new Blob([bytes], { type: 'image/png' }));
    const context = new OffscreenCanvas(bitmap.width, bitmap.height).getContext('2d');
    context.drawImage(bitmap, 0, 0);
    const pixels = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
    let text = '';
    for (let i = 0; i < pixels.length; i += 0x8000) text += String.fromCharCode(...pixels.subarray(i, i + 0x8000));
    return { width: bitmap.width, height: bitmap.height, rgba: btoa(text) };
  }, base64);
  return { width, height, rgba: Buffer.from(rgba, 'base64') };
}

/** The page's picture as it stands, drawn afresh. */
export async function picture(page) {
  const png = await page.evaluate(() => {
    // A frame that is due is drawn first, then the canvas read.
    return new Promise((resolve) =>
      requestAnimationFrame(() => resolve(document.querySelector('#canvas').toDataURL('image/png'))),
    );
  });
  return decodePng(page, png.slice(png.indexOf(',') + 1));
}

/** Hands files to the page as a drop on `selector`: [{name, bytes}]. */
export async function drop(page, selector, files) {
  await page.evaluate(
    (where, given) => {
      const transfer = new DataTransfer();
      for (const { name, data } of given) {
        transfer.items.add(new File([Uint8Array.from(atob(data), (c) => c.charCodeAt(0))], name));
      }
      const target = document.querySelector(where);
      for (const type of ['dragover', 'drop']) {
        target.dispatchEvent(new DragEvent(type, { bubbles: true, cancelable: true, dataTransfer: transfer }));
      }
    },
    selector,
    files.map(({ name, bytes }) => ({ name, data: Buffer.from(bytes).toString('base64') })),
  );
}

/**
 * Serves the files of `folder` (not its subfolders) over HTTP on 127.0.0.1, readable by any page (CORS), and
 * counts the requests for each path.
 * @returns {Promise<{url: string, requests: Map<string, number>, close: () => Promise<void>}>}
 */
export async function serveFolder(folder) {
  const { createServer } = await import('node:http');
  const { readFile } = await import('node:fs/promises');
  const requests = new Map();
  const server = createServer(async (request, response) => {
    const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    requests.set(path, (requests.get(path) ?? 0) + 1);
    response.setHeader('Access-Control-Allow-Origin', '*');
    try {
      const body = await readFile(join(folder, basename(path))); // a flat folder
      response.writeHead(200, { 'Content-Length': body.length }).end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}`,
    requests,
    close: () => new Promise((resolve) => server.close(resolve)),
  };
}
