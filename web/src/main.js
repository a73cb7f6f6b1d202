// The page: models chosen or dropped are converted in the worker, one after
// the other; each result shows its status, its console text and its output
// files to download; the selected RWX result is shown in the preview.
import { zip } from 'fflate';

import { createConverter } from './facetor.js';
import { createPreview } from './preview.js';
import { rwxCounts, textureKey } from './rwx_text.js';

const converter = createConverter();
window.facetor = { convert: converter.convert };

// Above this size the preview is drawn only on request: the loader reads
// the text on the page's thread, which pauses while it does.
const autoPreviewBytes = 16e6;

const $ = (id) => document.getElementById(id);
const preview = createPreview($('canvas'), $('joint-tip'));
const entries = [];
const textures = new Map(); // texture key -> File
let selected = null;

const imagePattern = /\.(jpe?g|png|gif|bmp|tiff?|webp|zip)$/i;
const decoder = new TextDecoder();

function mode() {
  return document.querySelector('input[name="mode"]:checked').value;
}

function sizeText(bytes) {
  if (bytes < 1024) return `${bytes} B`;
  if (bytes < 1024 * 1024) return `${(bytes / 1024).toFixed(1)} KB`;
  return `${(bytes / 1024 / 1024).toFixed(1)} MB`;
}

function element(tag, properties = {}, children = []) {
  const node = Object.assign(document.createElement(tag), properties);
  node.append(...children);
  return node;
}

function download(name, blob) {
  const url = URL.createObjectURL(blob);
  const link = element('a', { href: url, download: name });
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60_000);
}

// The last line of standard error: why the program stopped or what it warns of.
function reasonOf(result) {
  const lines = result.stderr.trim().split('\n').filter(Boolean);
  return lines.length ? lines[lines.length - 1].replace(/^facetor: /, '') : '';
}

function addModel(file) {
  const entry = { file, mode: mode(), state: 'waiting', result: null, error: null, progress: null, node: null };
  entries.push(entry);
  render(entry);
  if (selected === null) select(entry);
  convert(entry);
}

// While a model converts, its status shows the time it has taken so far.
setInterval(() => {
  for (const entry of entries) {
    if (entry.state === 'converting') entry.node.querySelector('.result-status').textContent = statusText(entry);
  }
}, 500);

async function convert(entry) {
  entry.state = 'waiting';
  entry.result = entry.error = entry.progress = null;
  entry.consoleText = '';
  render(entry);
  const run = (entry.run ?? 0) + 1;
  entry.run = run;
  try {
    const result = await converter.convert(entry.file.name, entry.file, entry.mode, (progress) => {
      if (entry.run !== run) return;
      if (entry.state === 'waiting') {
        entry.state = 'converting';
        entry.started = performance.now();
      }
      entry.progress = progress;
      entry.consoleText += decoder.decode(progress.console, { stream: true });
      render(entry);
      if (entry === selected) showConsole(entry);
    });
    if (entry.run !== run) return; // converted again meanwhile
    entry.result = result;
    entry.state = result.exitCode !== 0 ? 'failed' : result.stderr ? 'warned' : 'ok';
  } catch (error) {
    if (entry.run !== run) return;
    entry.error = error.message;
    entry.state = 'failed';
  }
  render(entry);
  if (entry === selected) showSelected();
  updateZip();
}

function statusText(entry) {
  switch (entry.state) {
    case 'waiting': return 'Waiting';
    case 'converting': {
      const seconds = ((performance.now() - entry.started) / 1000).toFixed(1);
      const written = entry.progress.written;
      return `Converting… ${seconds} s${written ? ` · ${sizeText(written)} written` : ''}`;
    }
    case 'failed': return entry.result ? `Failed (exit code ${entry.result.exitCode})` : 'Failed';
    default: return entry.result.files.size ? `Done · ${entry.mode}` : `Listed · ${entry.mode}`;
  }
}

function render(entry) {
  const node = entry.node ?? (entry.node = element('li', { className: 'result' }));
  if (!node.isConnected) {
    $('results').append(node);
    $('empty').hidden = true;
    node.addEventListener('click', (event) => { if (!event.target.closest('.outputs')) select(entry); });
  }
  node.className = `result ${entry.state}`;
  node.setAttribute('aria-current', String(entry === selected));
  const name = element('button', { type: 'button', className: 'result-name', textContent: entry.file.name });
  name.setAttribute('aria-label', `Show ${entry.file.name}`);
  const status = element('span', { className: 'result-status', textContent: statusText(entry) });
  status.setAttribute('role', 'status');
  const children = [element('div', { className: 'result-head' }, [name, status])];
  if (entry.state === 'converting' || entry.state === 'waiting') children.push(element('progress', { ariaLabel: `Converting ${entry.file.name}` }));
  const reason = entry.error ?? (entry.result ? reasonOf(entry.result) : '');
  if (reason) children.push(element('p', { className: 'reason', textContent: reason }));
  if (entry.result && entry.result.files.size) {
    const buttons = [...entry.result.files].map(([fileName, bytes]) => {
      const button = element('button', { type: 'button', textContent: `⤓ ${fileName} · ${sizeText(bytes.length)}` });
      button.setAttribute('aria-label', `Download ${fileName}`);
      button.dataset.file = fileName;
      button.addEventListener('click', () => download(fileName, new Blob([bytes])));
      return button;
    });
    children.push(element('div', { className: 'outputs' }, buttons));
  }
  node.replaceChildren(...children);
}

function select(entry) {
  const previous = selected;
  selected = entry;
  if (previous) render(previous);
  render(entry);
  showSelected();
}

function showConsole(entry) {
  const console = $('console');
  $('console-name').textContent = `– ${entry.file.name}`;
  const text = entry.result ? decoder.decode(entry.result.stdout) : entry.consoleText ?? '';
  const errors = entry.error ?? entry.result?.stderr ?? '';
  console.replaceChildren(text, errors ? element('span', { className: 'err', textContent: errors }) : '');
  console.scrollTop = console.scrollHeight;
}

function setCounts(counts, drawn) {
  $('count-prototypes').textContent = counts ? counts.prototypes.toLocaleString('en') : '–';
  $('count-vertices').textContent = counts ? counts.vertices.toLocaleString('en') : '–';
  const triangles = $('count-triangles');
  triangles.textContent = counts ? drawn.toLocaleString('en') : '–';
  if (counts && drawn !== counts.triangles) triangles.textContent += ` (file: ${counts.triangles.toLocaleString('en')})`;
  triangles.title = counts ? 'Triangles the preview draws' : '';
}

function note(text, action) {
  const stageNote = $('stage-note');
  stageNote.classList.toggle('hidden', !text);
  stageNote.replaceChildren(...(text ? [element('div', {}, [text, ...(action ? [element('br'), action] : [])])] : []));
}

function showSelected() {
  const entry = selected;
  showConsole(entry);
  $('preview-name').textContent = `– ${entry.file.name}`;
  const rwx = entry.result && [...entry.result.files].find(([name]) => /\.rwx$/i.test(name));
  preview.clear();
  setCounts(null);
  $('textures').hidden = true;
  if (!rwx) {
    note(entry.state === 'converting' || entry.state === 'waiting' ? 'Converting…'
      : entry.mode === 'R' ? 'No RWX file was written.' : 'The preview shows RWX results (mode R).');
    return;
  }
  const draw = () => {
    const text = decoder.decode(rwx[1]);
    const shown = preview.show(text, rwx[0], textures);
    setCounts(rwxCounts(text), shown.triangles);
    showTextures(shown.named);
    note(shown.triangles === 0 ? 'The model has no faces to draw.' : '');
  };
  if (rwx[1].length <= autoPreviewBytes) {
    draw();
    return;
  }
  const button = element('button', { type: 'button', textContent: 'Show the preview' });
  button.addEventListener('click', () => {
    note('Drawing…');
    setTimeout(draw, 30);
  });
  note(`${rwx[0]} is large (${sizeText(rwx[1].length)}): the page pauses while it is drawn.`, button);
}

function showTextures(named) {
  const line = $('textures');
  if (named.size === 0) return;
  const missing = [...named].filter(([, found]) => !found).map(([name]) => name);
  line.hidden = false;
  line.textContent = missing.length === 0
    ? `Textures shown: ${[...named.keys()].join(', ')}.`
    : `Textures not dropped (their faces keep their colour): ${missing.join(', ')}. Drop the image files to see them.`;
}

function updateZip() {
  const all = entries.flatMap((entry) => (entry.result ? [...entry.result.files] : []));
  const button = $('zip');
  button.hidden = all.length < 2;
  button.onclick = () => {
    const files = {};
    for (const [name, bytes] of all) {
      let unique = name;
      for (let n = 2; unique in files; ++n) unique = name.replace(/(\.[^.]*)?$/, ` (${n})$1`);
      files[unique] = bytes;
    }
    button.disabled = true;
    zip(files, { level: 6 }, (error, data) => {
      button.disabled = false;
      if (!error) download('facetor-output.zip', new Blob([data], { type: 'application/zip' }));
    });
  };
}

function addFiles(files) {
  let newTextures = false;
  for (const file of files) {
    if (imagePattern.test(file.name) || file.type.startsWith('image/')) {
      textures.set(textureKey(file.name), file);
      newTextures = true;
    } else {
      addModel(file);
    }
  }
  if (newTextures && selected?.result) showSelected();
}

$('files').addEventListener('change', (event) => {
  addFiles([...event.target.files]);
  event.target.value = '';
});
const drop = $('drop');
for (const type of ['dragenter', 'dragover']) {
  document.addEventListener(type, (event) => {
    event.preventDefault();
    drop.classList.add('over');
  });
}
for (const type of ['dragleave', 'drop']) document.addEventListener(type, () => drop.classList.remove('over'));
document.addEventListener('drop', (event) => {
  event.preventDefault();
  addFiles([...event.dataTransfer.files]);
});
for (const radio of document.querySelectorAll('input[name="mode"]')) {
  radio.addEventListener('change', () => {
    for (const entry of entries) {
      entry.mode = mode();
      convert(entry);
    }
  });
}
$('wireframe').addEventListener('change', (event) => preview.setWireframe(event.target.checked));
$('both-sides').addEventListener('change', (event) => preview.setBothSides(event.target.checked));
$('reset-view').addEventListener('click', () => preview.resetView());
