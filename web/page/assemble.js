// Writes ondrelview.html: page.html with the style sheet, the page's script,
// the worker's script (worker.js, then the core's factory) and the core's
// WebAssembly, base64, put in place of their markers.  Nothing in the result
// refers to another file.
//   node assemble.js PAGE_DIR CORE_JS CORE_WASM OUT_HTML
'use strict';
const fs = require('fs');
const path = require('path');

const [pageDir, coreJs, coreWasm, out] = process.argv.slice(2);
const read = (name) => fs.readFileSync(path.join(pageDir, name), 'utf8');

// A script element's text ends at the first "</script": none may hold one.
function scriptText(text, what) {
  if (/<\/script/i.test(text)) throw new Error(what + ' holds "</script"');
  return text;
}

const worker = scriptText(read('worker.js') + '\n' + fs.readFileSync(coreJs, 'utf8'), 'the worker script');
const parts = {
  '/*@STYLE@*/': read('page.css'),
  '/*@PAGE@*/': scriptText(read('page.js'), 'the page script'),
  '/*@WORKER@*/': worker,
  '@WASM@': fs.readFileSync(coreWasm).toString('base64'),
};
let html = read('page.html');
for (const [marker, text] of Object.entries(parts)) {
  const at = html.indexOf(marker);
  if (at < 0) throw new Error('page.html has no ' + marker);
  html = html.slice(0, at) + text + html.slice(at + marker.length);
}
fs.writeFileSync(out, html);
