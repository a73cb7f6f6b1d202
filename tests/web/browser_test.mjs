// The web page in headless Chromium, opened from disk, against the native build:
//   FACETOR_WEB=build-web FACETOR_NATIVE=build/facetor node --test tests/web/
// FACETOR_GENERATED names a folder of further .cob files to compare (optional).
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { existsSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { gridCob } from '../../web/src/grid_model.js';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const web = path.resolve(root, process.env.FACETOR_WEB ?? 'build-web');
const native = path.resolve(root, process.env.FACETOR_NATIVE ?? 'build/facetor');
const require = createRequire(path.join(web, 'web/node_modules/'));
const { chromium } = require('playwright-core');
const { unzipSync } = require('fflate');
const scratch = mkdtempSync(path.join(tmpdir(), 'facetor-web-'));
const modes = ['R', 'A', 'D', 'H', 'I', 'x', undefined];
let browser;
let page;

function cobFiles(folder) {
  return existsSync(folder) ? readdirSync(folder).filter((f) => f.endsWith('.cob')).map((f) => path.join(folder, f)) : [];
}

// facetor NAME MODE in a folder holding only NAME (H and I typed at the prompts).
function runNative(file, mode) {
  const folder = mkdtempSync(path.join(scratch, 'n-'));
  const name = path.basename(file);
  const input = readFileSync(file);
  writeFileSync(path.join(folder, name), input);
  const screen = /^[hi]/i.test(mode ?? '');
  const args = screen ? [] : mode === undefined ? [name] : [name, mode];
  const run = spawnSync(native, args, { cwd: folder, input: screen ? `${name}\n${mode}\nQ\n` : '', maxBuffer: 1 << 30 });
  const files = {};
  for (const f of readdirSync(folder)) {
    const bytes = readFileSync(path.join(folder, f));
    if (f !== name || !bytes.equals(input)) files[f] = bytes.toString('base64');
  }
  rmSync(folder, { recursive: true });
  return { exitCode: run.status, stdout: run.stdout.toString('base64'), stderr: run.stderr.toString(), files };
}

// Every mode of one file through window.facetor.convert, given as bytes and
// as a Blob (as a chosen file is), results as base64.
function runPage(file) {
  return page.evaluate(async ([name, data, modes]) => {
    const base64 = (bytes) => {
      let text = '';
      for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
      return btoa(text);
    };
    const input = Uint8Array.from(atob(data), (c) => c.charCodeAt(0));
    const results = [];
    for (const mode of modes) {
      for (const source of [input, new Blob([input])]) {
        const r = await window.facetor.convert(name, source, mode ?? undefined);
        const files = Object.fromEntries([...r.files].map(([n, b]) => [n, base64(b)]));
        results.push({ exitCode: r.exitCode, stdout: base64(r.stdout), stderr: r.stderr, files });
      }
    }
    return results;
  }, [path.basename(file), readFileSync(file).toString('base64'), modes.map((m) => m ?? null)]);
}

async function choose(files) {
  const done = '.result.ok, .result.warned, .result.failed';
  const count = (await page.$$(done)).length + files.length;
  await page.setInputFiles('#files', files);
  await page.waitForFunction(([n, done]) => document.querySelectorAll(done).length >= n, [count, done], { timeout: 300_000 });
}

before(async () => {
  browser = await chromium.launch({
    executablePath: process.env.FACETOR_CHROMIUM ?? '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--use-angle=swiftshader', '--enable-unsafe-swiftshader'], // a fresh profile of its own each launch
  });
});
after(async () => {
  await browser?.close();
  rmSync(scratch, { recursive: true, force: true });
});

async function openPage() {
  page = await browser.newPage({ acceptDownloads: true, viewport: { width: 1280, height: 900 } });
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('request', (request) => { if (!/^(file|blob|data):/.test(request.url())) errors.push(`request ${request.url()}`); });
  await page.goto(`file://${path.join(web, 'web/index.html')}`);
  return errors;
}

test('convert agrees byte for byte with the native build in every mode', { timeout: 600_000 }, async () => {
  await openPage();
  // Outputs written in many pieces; an input and arrays large enough to take blocks of their own.
  const grid = path.join(scratch, 'grid.cob');
  writeFileSync(grid, gridCob(300));
  const inputs = [grid, ...cobFiles(path.join(root, 'examples')), path.join(root, 'tests/tools/control_bytes.cob'),
    ...cobFiles(path.join(root, '../shared/samples')), ...cobFiles(path.join(root, 'tests/fuzz/corpus')),
    ...cobFiles(process.env.FACETOR_GENERATED ?? '')];
  for (const file of inputs) {
    const results = await runPage(file);
    modes.forEach((mode, i) => {
      const expected = runNative(file, mode);
      assert.deepStrictEqual(results[2 * i], expected, `${file} mode ${mode}`);
      assert.deepStrictEqual(results[2 * i + 1], expected, `${file} mode ${mode} from a Blob`);
    });
  }
  console.log(`# ${inputs.length} files in ${modes.length} modes agree`);
  await assert.rejects(page.evaluate(() => window.facetor.convert('a/b.cob', new Uint8Array(1), 'R')), /not a file name/);
});

// The triangles of the faces an RWX text holds: 1 a triangle, 2 a quad, n - 2 a polygon.
function rwxTriangles(text) {
  return [...text.matchAll(/^ {2}(Triangle|Quad|Polygon (\d+))/gm)]
    .reduce((sum, m) => sum + (m[1] === 'Triangle' ? 1 : m[1] === 'Quad' ? 2 : Math.max(m[2] - 2, 0)), 0);
}

test('the page converts, draws, reports failures and downloads the native bytes', async () => {
  const errors = await openPage();
  const cottage = path.join(root, 'examples/cottage.cob');
  await choose([cottage]);
  const rwx = Buffer.from(runNative(cottage, 'R').files['cottage.rwx'], 'base64');
  assert.equal(await page.textContent('#count-triangles'), String(rwxTriangles(rwx.toString())));
  // Drawn: most pixels of the preview differ from its background; the
  // cottage's walls face inwards, so drawing only their fronts changes the picture.
  const picture = () => page.evaluate(() => {
    const canvas = document.getElementById('canvas');
    const copy = Object.assign(document.createElement('canvas'), { width: canvas.width, height: canvas.height });
    const context = copy.getContext('2d');
    context.drawImage(canvas, 0, 0);
    const pixels = context.getImageData(0, 0, copy.width, copy.height).data;
    let lit = 0;
    for (let i = 0; i < pixels.length; i += 4) lit += Math.abs(pixels[i] - 0x20) + Math.abs(pixels[i + 2] - 0x2c) > 24;
    return { drawn: lit / (pixels.length / 4), data: copy.toDataURL() };
  });
  const bothSides = await picture();
  const drawn = bothSides.drawn;
  assert.ok(drawn > 0.05, `only ${drawn} of the preview drawn`);
  await page.click('#both-sides');
  assert.notEqual((await picture()).data, bothSides.data);

  const [download] = await Promise.all([page.waitForEvent('download'), page.click('button[data-file="cottage.rwx"]')]);
  assert.ok(readFileSync(await download.path()).equals(rwx));

  // A damaged file: its reason is shown, and the next file converts.
  const damaged = path.join(scratch, 'damaged.cob');
  writeFileSync(damaged, readFileSync(cottage).subarray(0, 20));
  await choose([damaged]);
  const reason = runNative(damaged, 'R').stderr.trim().replace(/^facetor: /, '');
  assert.ok(reason.length > 0);
  assert.equal(await page.textContent('.result:nth-child(2) .reason'), reason);
  const walker = path.join(root, 'examples/walker.cob');
  await choose([walker]);
  assert.equal(await page.getAttribute('.result:nth-child(3)', 'class'), 'result ok');

  const [zip] = await Promise.all([page.waitForEvent('download'), page.click('#zip')]);
  const unpacked = unzipSync(readFileSync(await zip.path()));
  assert.deepStrictEqual(Object.keys(unpacked).sort(), ['cottage.rwx', 'damaged.rwx', 'walker.rwx']);
  assert.ok(Buffer.from(unpacked['walker.rwx']).equals(Buffer.from(runNative(walker, 'R').files['walker.rwx'], 'base64')));
  assert.deepStrictEqual(errors, []);
});

test('the page stays responsive while a million quads convert', { timeout: 600_000 }, async () => {
  await openPage();
  const grid = path.join(scratch, 'grid.cob');
  writeFileSync(grid, gridCob(1000));
  const nativeStart = performance.now();
  execFileSync(native, ['grid.cob', 'R'], { cwd: scratch, stdio: 'ignore' });
  const nativeMs = performance.now() - nativeStart;
  // The longest gap between timer ticks on the page's thread during the conversion, and
  // whether the status showed how much was written.
  await page.evaluate(() => {
    new MutationObserver(() => {
      window.showedWritten ||= /MB written/.test(document.getElementById('results').textContent);
    }).observe(document.getElementById('results'), { subtree: true, childList: true, characterData: true });
    window.longestGap = 0;
    let last = performance.now();
    window.probe = setInterval(() => {
      const now = performance.now();
      window.longestGap = Math.max(window.longestGap, now - last);
      last = now;
    }, 20);
  });
  const pageStart = performance.now();
  await choose([grid]);
  const pageMs = performance.now() - pageStart;
  const [gap, showedWritten] = await page.evaluate(() => [window.longestGap, window.showedWritten]);
  console.log(`# a million quads: native ${nativeMs.toFixed(0)} ms, page ${pageMs.toFixed(0)} ms` +
    ` (${(pageMs / nativeMs).toFixed(2)}x), longest pause of the page ${gap.toFixed(0)} ms`);
  // A conversion on the page's own thread would pause it for about the whole conversion.
  assert.ok(gap < Math.min(1500, pageMs / 5), `the page paused for ${gap} ms`);
  assert.ok(showedWritten, 'no progress shown');
  assert.equal(await page.textContent('.result.ok .result-status'), 'Done · R');
  // Large arrays reuse the memory of earlier ones and of the spent input: the bytes stay the native ones.
  await page.evaluate(() => document.body.append(Object.assign(document.createElement('input'), { type: 'file', id: 'probe' })));
  await page.setInputFiles('#probe', [grid]);
  const digest = await page.evaluate(async () => {
    const { files } = await window.facetor.convert('grid.cob', document.getElementById('probe').files[0], 'R');
    const hash = new Uint8Array(await crypto.subtle.digest('SHA-256', files.get('grid.rwx')));
    return [...hash].map((byte) => byte.toString(16).padStart(2, '0')).join('');
  });
  assert.equal(digest, createHash('sha256').update(readFileSync(path.join(scratch, 'grid.rwx'))).digest('hex'));
});
