// Bundles the web page into one self-contained HTML file:
//   node build.mjs --module BUILD/facetor.js --modules BUILD/web/node_modules --out BUILD/web/index.html
// The converter module (its .js glue and its .wasm beside it) is bundled
// into the worker, the worker's code into the page script, and the script
// and the styles into the HTML, so that the file works from disk and from
// any static host, offline.
import { readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const options = {};
for (let i = 2; i + 1 < process.argv.length; i += 2) options[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
if (!options.module || !options.modules || !options.out) {
  console.error('usage: node build.mjs --module FACETOR_JS --modules NODE_MODULES --out INDEX_HTML');
  process.exit(2);
}
const modules = path.resolve(options.modules);
const esbuild = createRequire(path.join(modules, 'noop.js'))('esbuild');

const moduleJs = path.resolve(options.module);
const moduleWasm = moduleJs.replace(/\.js$/, '.wasm');

// Names of the form facetor:NAME stand for the build's own pieces.
function pieces(table) {
  return {
    name: 'facetor-pieces',
    setup(build) {
      build.onResolve({ filter: /^facetor:/ }, (args) => ({ path: args.path, namespace: 'facetor' }));
      build.onLoad({ filter: /.*/, namespace: 'facetor' }, (args) => table[args.path]());
    },
  };
}

const common = {
  bundle: true,
  write: false,
  minify: true,
  format: 'iife',
  target: ['chrome100', 'firefox100', 'safari15'],
  nodePaths: [modules],
  legalComments: 'none',
  define: { global: 'globalThis' }, // some packages expect Node's name for it
  logLevel: 'warning',
};

const worker = await esbuild.build({
  ...common,
  entryPoints: [path.join(here, 'src/worker.js')],
  plugins: [pieces({
    'facetor:module': () => ({ contents: readFileSync(moduleJs), loader: 'js', resolveDir: path.dirname(moduleJs) }),
    'facetor:wasm': () => ({ contents: readFileSync(moduleWasm), loader: 'binary' }),
  })],
});

const page = await esbuild.build({
  ...common,
  entryPoints: [path.join(here, 'src/main.js')],
  plugins: [pieces({
    'facetor:worker': () => ({ contents: worker.outputFiles[0].text, loader: 'text' }),
  })],
});

const style = readFileSync(path.join(here, 'src/page.css'), 'utf8');
const script = page.outputFiles[0].text.replace(/<\/(script)/gi, '<\\/$1');
const html = readFileSync(path.join(here, 'src/index.html'), 'utf8')
  .replace('/*STYLE*/', () => style)
  .replace('/*SCRIPT*/', () => script);
writeFileSync(options.out, html);
console.log(`wrote ${options.out} (${(html.length / 1e6).toFixed(2)} MB)`);
