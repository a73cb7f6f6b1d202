// The converter's JavaScript interface, as the page, its tests and any page
// that embeds the converter use it:
//
//   convert(fileName, bytes, mode, onProgress?) -> Promise<{ exitCode, stdout, stderr, files }>
//
// gives what `facetor fileName mode` gives when run in a folder that holds
// only the file fileName with the content bytes (an ArrayBuffer, a typed
// array or a Blob such as a File): the exit code, the bytes of
// standard output, the text of standard error and a Map from the name of each
// file the run wrote (or replaced) to its bytes. Without a mode it is
// `facetor fileName`. A mode whose first letter is H or I (either case),
// which the command line refuses, is run as at the prompts: `facetor`
// without parameters, typing fileName, the mode and Q on three lines, so
// that stdout is the banner, the prompts and the listing.
//
// Every call is a run of its own, from a fresh program state; calls run one
// after the other in a Web Worker. onProgress, if given, is called now and
// then during a run with { written, elapsed, console }: the bytes of output
// written so far, the milliseconds since the run started and the standard
// output printed since the last call.
import workerSource from 'facetor:worker';

function checkName(fileName, mode) {
  if (typeof fileName !== 'string' || fileName === '' || fileName === '.' || fileName === '..' ||
      /[/\0]/.test(fileName)) {
    throw new TypeError(`not a file name in a folder: ${JSON.stringify(fileName)}`);
  }
  if (/^[hi]/i.test(mode ?? '') && /[\r\n]/.test(fileName + mode)) {
    throw new TypeError('a name or mode typed at the prompts is one line');
  }
}

// The input as the worker takes it: a copy of the bytes that it owns, or a
// Blob (a File), which the worker reads itself.
function toBytes(bytes) {
  if (bytes instanceof Blob) return bytes;
  if (bytes instanceof ArrayBuffer) return new Uint8Array(bytes.slice(0));
  if (ArrayBuffer.isView(bytes)) return new Uint8Array(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength));
  throw new TypeError('bytes must be an ArrayBuffer, a typed array or a Blob');
}

export function createConverter() {
  const url = URL.createObjectURL(new Blob([workerSource], { type: 'text/javascript' }));
  const worker = new Worker(url);
  const pending = new Map();
  let nextId = 1;

  worker.onmessage = ({ data }) => {
    const call = pending.get(data.id);
    if (!call) return;
    if (data.progress) {
      if (call.onProgress) call.onProgress(data.progress);
      return;
    }
    pending.delete(data.id);
    if (data.error !== undefined) call.reject(new Error(`the converter stopped: ${data.error}`));
    else call.resolve(data.result);
  };
  worker.onerror = (event) => {
    for (const call of pending.values()) call.reject(new Error(`the conversion worker failed: ${event.message}`));
    pending.clear();
  };

  return {
    convert(fileName, bytes, mode, onProgress) {
      return new Promise((resolve, reject) => {
        checkName(fileName, mode);
        const input = toBytes(bytes);
        const id = nextId++;
        pending.set(id, { resolve, reject, onProgress });
        worker.postMessage({ id, fileName, bytes: input, mode }, input instanceof Blob ? [] : [input.buffer]);
      });
    },
  };
}
