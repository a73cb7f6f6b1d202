// The conversion worker: runs the converter, compiled to WebAssembly, off the
// page's thread. Each request is one run of the program in a fresh instance
// (fresh memory, fresh state), in a folder that holds only the input file.
import createFacetor from 'facetor:module';
import wasmBytes from 'facetor:wasm';

const folder = '/model';
const progressInterval = 100; // ms between progress reports of one run
const compiled = WebAssembly.compile(wasmBytes);

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

async function runOnce({ fileName, bytes, mode }, report) {
  const module = await compiled;
  const screen = isScreenMode(mode);
  const typed = screen ? new TextEncoder().encode(`${fileName}\n${mode}\nQ\n`) : new Uint8Array(0);
  let read = 0;
  const stdout = new ByteSink();
  const stderr = new ByteSink();
  const program = await createFacetor({
    instantiateWasm(imports, done) {
      WebAssembly.instantiate(module, imports).then((instance) => done(instance, module));
      return {};
    },
    stdin: () => (read < typed.length ? typed[read++] : null),
    stdout: (byte) => stdout.push(byte),
    stderr: (byte) => stderr.push(byte),
  });
  const FS = program.FS;
  FS.mkdir(folder);
  FS.chdir(folder);
  FS.writeFile(fileName, bytes);

  // Output is written through FS.write: count it, and report now and then.
  // A file's storage grows by doubling, where the memory file system would
  // add an eighth each time and copy a large output over and over.
  const started = performance.now();
  report({ written: 0, elapsed: 0, console: new Uint8Array(0) });
  let written = 0;
  let reported = started;
  let consoleSent = 0;
  const write = FS.write;
  FS.write = (stream, buffer, offset, length, position, canOwn) => {
    const node = stream.node;
    if (node.contents instanceof Uint8Array && node.usedBytes + length > node.contents.length) {
      const grown = new Uint8Array(Math.max(node.contents.length * 2, node.usedBytes + length));
      grown.set(node.contents.subarray(0, node.usedBytes));
      node.contents = grown;
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

  const files = new Map();
  for (const name of FS.readdir(folder)) {
    if (name === '.' || name === '..') continue;
    const content = FS.readFile(name);
    if (name === fileName && sameBytes(content, bytes)) continue;
    files.set(name, content);
  }
  return {
    exitCode,
    stdout: stdout.take(),
    stderr: new TextDecoder().decode(stderr.take()),
    files,
  };
}

// Requests run one at a time, in the order they came.
let queue = Promise.resolve();
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
  });
};
