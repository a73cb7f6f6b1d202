// The conversion worker: runs the converter, compiled to WebAssembly, off the
// page's thread. Each request is one run of the program in a fresh instance
// (fresh state, in memory cleared to zero), in a folder that holds only the
// input file.
import createFacetor from 'facetor:module';
import wasmBytes from 'facetor:wasm';

import { gridCob } from './grid_model.js';

const folder = '/model';
const progressInterval = 100; // ms between progress reports of one run
const smallRoomBytes = 1 << 20;
const warmUpSide = 40; // quads along each side of the grid converted at the start
const compiled = WebAssembly.compile(wasmBytes);
// The memory a program starts with and its limit, in 64 KB pages: those of
// the module's link options (INITIAL_MEMORY, MAXIMUM_MEMORY in
// web/CMakeLists.txt), which a memory given to it must match.
const initialPages = 512; // 32 MB
const maximumPages = 65536; // 4 GB

// The screen modes list only at the prompts, so their run is the prompts'
// session: the name, the mode and Q typed on three lines.
export function isScreenMode(mode) {
  return typeof mode === 'string' && /^[hi]/i.test(mode);
}

class ByteSink {
  constructor() {
    this.bytes = new Uint8Array(4096);
    this.length = 0;
  }
  push(byte) {
    if (this.length === this.bytes.length) {
      const grown = new Uint8Array(this.bytes.length * 2);
      grown.set(this.bytes);
      this.bytes = grown;
    }
    this.bytes[this.length++] = byte;
  }
  take() {
    return this.bytes.slice(0, this.length);
  }
}

function sameBytes(a, b) {
  if (a.length !== b.length) return false;
  for (let i = 0; i < a.length; ++i) if (a[i] !== b[i]) return false;
  return true;
}

// Room for at least `needed` bytes of a file whose storage holds `used`:
// at its first growth, twice the input's size (the size of most outputs
// lies below it), and then twice as much each time. Only the pages written
// take memory, so that the room to spare costs address space alone, and a
// large output is seldom copied as it grows. The room has the type of the
// file's storage (that of the program's memory), so that writes copy bytes
// as they are.
function grown(contents, used, needed, inputLength) {
  const capacity = Math.max(needed, contents.length * 2, inputLength * 2);
  const room = new contents.constructor(capacity);
  room.set(contents.subarray(0, used));
  return room;
}

// The bytes of a file in the memory file system, without the spare room
// its storage grew by.
function contentOf(node) {
  const used = node.usedBytes;
  if (!node.contents || used === 0) return new Uint8Array(0);
  return new Uint8Array(node.contents.buffer, node.contents.byteOffset, used);
}

// Gives the heap a free room at its start, in front of a block that stays
// in use, so that the allocator serves the run's small blocks from that room
// rather than from the top of the heap. The large arrays of a conversion then
// lie next to each other, and those freed together merge into space that
// later arrays reuse; small blocks between them would leave gaps that no
// later array fits, so that the heap would grow into fresh memory, which is
// slow to touch the first time. (A freed block at the top would only go back
// to the top.)
function keepSmallBlocksApart(program) {
  const room = program._malloc(smallRoomBytes);
  program._malloc(1); // the block in use behind the room
  program._free(room);
}

// The program's memory, one for every run: kept from one run to the next and
// cleared to zero before each, so that each program starts as in a new
// memory (its data set anew when it is instantiated, all else zero) while the
// pages that an earlier run wrote serve it at once: fresh memory is slow to
// touch the first time, as the browser faults it in page by page. A run
// writes nothing above the top its heap reached (the heap never shrinks), so
// only the memory below it needs clearing. A memory only grows, so an idle
// worker lets it go after a while, and a large model's memory is not held
// for as long as the page stays open.
const keepIdleMemoryMs = 30_000;
const shared = { memory: null, written: 0, letGo: 0 };
function keepMemoryAWhile() {
  clearTimeout(shared.letGo);
  shared.letGo = setTimeout(() => { shared.memory = null; }, keepIdleMemoryMs);
}
function clearedMemory() {
  clearTimeout(shared.letGo);
  if (shared.memory) new Uint8Array(shared.memory.buffer, 0, shared.written).fill(0);
  else shared.memory = new WebAssembly.Memory({ initial: initialPages, maximum: maximumPages });
  shared.written = shared.memory.buffer.byteLength; // until the run's top is known
  return shared.memory;
}

async function runOnce({ fileName, bytes, mode }, report) {
  // A chosen file is read while the module is instantiated.
  const reading = bytes instanceof Blob ? bytes.arrayBuffer() : null;
  reading?.catch(() => {}); // a failed read fails the run where it is awaited
  const module = await compiled;
  const screen = isScreenMode(mode);
  const typed = screen ? new TextEncoder().encode(`${fileName}\n${mode}\nQ\n`) : new Uint8Array(0);
  let read = 0;
  const stdout = new ByteSink();
  const stderr = new ByteSink();
  const program = await createFacetor({
    wasmMemory: clearedMemory(),
    instantiateWasm(imports, done) {
      WebAssembly.instantiate(module, imports).then((instance) => done(instance, module));
      return {};
    },
    stdin: () => (read < typed.length ? typed[read++] : null),
    stdout: (byte) => stdout.push(byte),
    stderr: (byte) => stderr.push(byte),
  });
  keepSmallBlocksApart(program);
  const input = reading ? new Uint8Array(await reading) : bytes;
  const FS = program.FS;
  FS.mkdir(folder);
  FS.chdir(folder);
  // The file system keeps the input's own bytes rather than a copy of them;
  // a write to the input file copies them first, so that input keeps the
  // bytes the run started with.
  FS.writeFile(fileName, input, { canOwn: true });
  const inputNode = FS.lookupPath(fileName).node;
  const inputContents = inputNode.contents;
  let inputWritten = false;

  // Output is written through FS.write: count it, and report now and then.
  // A file's storage grows as `grown` says, where the memory file system
  // would add an eighth each time and copy a large output over and over.
  const started = performance.now();
  report({ written: 0, elapsed: 0, console: new Uint8Array(0) });
  let written = 0;
  let reported = started;
  let consoleSent = 0;
  const write = FS.write;
  FS.write = (stream, buffer, offset, length, position, canOwn) => {
    const node = stream.node;
    if (node === inputNode && !inputWritten) {
      inputWritten = true;
      if (inputContents && node.contents === inputContents) node.contents = inputContents.slice();
    }
    if (ArrayBuffer.isView(node.contents) && node.usedBytes + length > node.contents.length) {
      node.contents = grown(node.contents, node.usedBytes, node.usedBytes + length, input.length);
    }
    const done = write(stream, buffer, offset, length, position, canOwn);
    if (stream.path && stream.path.startsWith(folder)) written += done;
    const now = performance.now();
    if (now - reported >= progressInterval) {
      reported = now;
      const text = stdout.bytes.slice(consoleSent, stdout.length);
      consoleSent = stdout.length;
      report({ written, elapsed: now - started, console: text });
    }
    return done;
  };

  const parameters = screen ? [] : mode === undefined ? [fileName] : [fileName, String(mode)];
  const exitCode = program.callMain(parameters);
  FS.write = write;
  shared.written = program._sbrk(0) >>> 0;

  // Every file in the folder but the input file as it was given.
  const files = new Map();
  for (const name of FS.readdir(folder)) {
    if (name === '.' || name === '..') continue;
    const node = FS.lookupPath(name).node;
    if (node === inputNode && node.contents === inputContents && node.usedBytes === input.length) continue;
    const content = contentOf(node);
    if (name === fileName && sameBytes(content, input)) continue;
    files.set(name, content);
  }
  return {
    exitCode,
    stdout: stdout.take(),
    stderr: new TextDecoder().decode(stderr.take()),
    files,
  };
}

// Requests run one at a time, in the order they came, after the conversion of
// a small grid when the worker starts (about a tenth of a second of this
// thread, nothing kept but the compiled code). The engine compiles the
// converter's functions when they are first called and optimises those that
// have run a while, but a call that is running keeps the code it started in:
// without this run, the first model chosen would run its long loops in
// unoptimised code.
let queue = runOnce({ fileName: 'grid.cob', bytes: gridCob(warmUpSide), mode: 'R' }, () => {}).catch(() => {})
  .then(keepMemoryAWhile);
self.onmessage = ({ data }) => {
  const { id } = data;
  queue = queue.then(async () => {
    try {
      const result = await runOnce(data, (progress) =>
        self.postMessage({ id, progress }, [progress.console.buffer]));
      const transfer = [result.stdout.buffer, ...[...result.files.values()].map((file) => file.buffer)];
      self.postMessage({ id, result }, transfer);
    } catch (error) {
      self.postMessage({ id, error: String(error && error.message ? error.message : error) });
    }
    keepMemoryAWhile();
  });
};
