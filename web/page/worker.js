// The page's worker: it holds the viewer's core (OndrelCore, the factory the
// core's build adds after this script) and runs every command the page sends
// it, one at a time, so that no read ever happens on the page's own thread.
//
// From the page:
//   {type: "init", wasm: ArrayBuffer}            the core's WebAssembly
//   {type: "files", files: [[path, File], ...]}  the chosen files, by path
//   {type: "call", id, method, args}             a command of PageSession
// To the page:
//   {type: "ready"} once the core runs, {type: "result", id, value, ms,
//   heap} (the command's time in the worker, the core's memory in bytes) or
//   {type: "error", id, message} per call, {type: "progress", done, total}
//   while a long search runs, and {type: "output", stream, bytes} for each
//   piece an export writes (stream 1 its output, 2 its messages).
'use strict';

let core = null;
let session = null;
const files = new Map();

function answer(id, method, args) {
  let result;
  try {
    result = session[method](...args);
  } catch (error) {
    // The export ends as the tool ends, through exit: its status.
    if (error && error.name === 'ExitStatus') return {status: error.status};
    throw error;
  }
  if (typeof result === 'number') return {status: result};
  return typeof result === 'string' && result.startsWith('{') ? JSON.parse(result) : result;
}

self.onmessage = (event) => {
  const message = event.data;
  if (message.type === 'init') {
    OndrelCore({wasmBinary: new Uint8Array(message.wasm), ondrelFiles: files}).then((instance) => {
      core = instance;
      session = new core.PageSession();
      postMessage({type: 'ready'});
    }, (error) => postMessage({type: 'error', id: 0, message: String(error)}));
  } else if (message.type === 'files') {
    files.clear();
    for (const [name, file] of message.files) files.set(name, file);
  } else if (message.type === 'call') {
    try {
      const start = performance.now();
      const value = answer(message.id, message.method, message.args);
      postMessage({type: 'result', id: message.id, value, ms: performance.now() - start,
                   heap: core.HEAPU8.length});
    } catch (error) {
      postMessage({type: 'error', id: message.id, message: String(error && error.message || error)});
    }
  }
};
