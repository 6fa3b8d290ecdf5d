// The page: draws the chooser and the contents screen as the core in the
// worker leaves them, and turns clicks and keys into the core's commands.
// It reads no file itself: the chosen files go to the worker, which reads
// each a piece at a time.  While the worker works, <body> has data-busy.
'use strict';
(() => {
  const $ = (id) => document.getElementById(id);
  const kApplicationTitle = 'Ondrel viewer';
  const kWindowLines = 21;

  // ------------------------------------------------------------ the worker

  let worker = null;
  let nextId = 1;
  const pending = new Map();
  let busy = 0;
  let onProgress = null;
  let onOutput = null;

  function setBusy(delta) {
    busy += delta;
    if (busy > 0) document.body.setAttribute('data-busy', '');
    else document.body.removeAttribute('data-busy');
  }

  function wasmBytes() {
    const text = $('core-wasm').textContent.trim();
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes.buffer;
  }

  // The worker runs the script inlined in the page, from a Blob URL: no
  // file is fetched, whether the page was opened from disk or served.
  function startWorker() {
    const url = URL.createObjectURL(new Blob([$('worker-source').textContent], {type: 'text/javascript'}));
    const w = new Worker(url);
    URL.revokeObjectURL(url);
    const ready = new Promise((resolve, reject) => {
      w.onmessage = (event) => {
        const m = event.data;
        if (m.type === 'ready') resolve();
        else if (m.type === 'progress') { if (onProgress) onProgress(m.done, m.total, m.profile); }
        else if (m.type === 'output') { if (onOutput) onOutput(m.stream, m.bytes); }
        else if (m.type === 'result' || m.type === 'error') {
          if (m.id === 0) { reject(new Error(m.message)); return; }
          const p = pending.get(m.id);
          pending.delete(m.id);
          if (!p) return;
          if (m.type === 'result') {
            // What the last command cost, for measuring the page.
            document.body.dataset.workerMs = m.ms.toFixed(3);
            document.body.dataset.workerHeap = String(m.heap);
            p.resolve(m.value);
          }
          else p.reject(new Error(m.message));
        }
      };
      w.onerror = (event) => reject(new Error(event.message || 'the worker failed'));
    });
    w.postMessage({type: 'init', wasm: wasmBytes()});
    return ready.then(() => w);
  }

  // Cancel of long work: the worker is ended where it stands (it cannot be
  // asked anything while it works), and a new one opens the files, ISPEC and
  // profile of the screen and shows the window where it was.  `chooser`, for
  // a cancelled Ok: the ISPEC and profile rows the chooser showed, shown
  // again in the folder chosen.
  async function cancelWork(chooser = null) {
    const first = view ? view.first : 0;
    worker.terminate();
    for (const p of pending.values()) p.reject(Object.assign(new Error('cancelled'), {cancelled: true}));
    pending.clear();
    queue = Promise.resolve();
    setBusy(1);
    try {
      worker = await startWorker();
      postFiles();
      if (opened) {
        await call('chooseFolder', opened.files.top);
        await call('chooseIspec', opened.ispec);
        await call('chooseProfile', opened.profile);
        let answer = await call('ok');
        if (answer.view && answer.view.open && first >= 1) answer = await call('goTo', first);
        if (answer.view) drawView(answer.view);
      }
      let look = (await call('cancelChooser')).chooser;
      if (chooser && chosenFiles) {
        await call('chooseFolder', chosenFiles.top);
        await call('chooseIspec', chooser.ispec);
        look = (await call('chooseProfile', chooser.profile)).chooser;
      }
      drawChooser(look);
    } finally {
      setBusy(-1);
    }
  }

  // A walk or an export, which tells no progress of its own: after half a
  // second a dialog with a moving bar and Cancel.  Resolves as `run` does,
  // or with kCancelled once Cancel has ended the work (cancelWork).
  const kCancelled = Symbol('cancelled');
  async function cancellable(title, label, run, chooser = null) {
    const dialog = $('work');
    $('work-title').textContent = title;
    $('work-label').textContent = label;
    const timer = setTimeout(() => { if (!dialog.open) dialog.showModal(); }, 500);
    let cancel = null;
    const cancelled = new Promise((resolve) => { cancel = () => resolve(kCancelled); });
    $('work-cancel').onclick = cancel;
    dialog.oncancel = (event) => { event.preventDefault(); cancel(); };
    let answer;
    try {
      answer = await Promise.race([run(), cancelled]);
    } finally {
      clearTimeout(timer);
      $('work-cancel').onclick = dialog.oncancel = null;
      if (dialog.open) dialog.close();
    }
    if (answer === kCancelled) await cancelWork(chooser);
    return answer;
  }

  let queue = Promise.resolve();
  // Runs one command of the core; commands run one after another.
  function call(method, ...args) {
    const run = () => new Promise((resolve, reject) => {
      const id = nextId++;
      pending.set(id, {resolve, reject});
      worker.postMessage({type: 'call', id, method, args});
    });
    setBusy(1);
    const result = queue.then(run);
    queue = result.catch(() => {});
    return result.finally(() => setBusy(-1));
  }

  // ------------------------------------------------------------ message boxes

  const modalQueue = [];
  let modalShowing = false;

  // Shows a message box as the desktop does: its title (the application's
  // when it has none), its text and its buttons.  Resolves true for OK.
  function messageBox(m) {
    return new Promise((resolve) => {
      modalQueue.push({m, resolve});
      if (!modalShowing) nextMessage();
    });
  }

  function nextMessage() {
    const item = modalQueue.shift();
    if (!item) { modalShowing = false; return; }
    modalShowing = true;
    const dialog = $('message');
    $('message-title').textContent = item.m.title || kApplicationTitle;
    $('message-text').textContent = item.m.text;
    $('message-icon').textContent = {critical: '\u26d4', exclamation: '\u26a0', information: '\u2139', question: '?'}[item.m.icon] || '';
    $('message-cancel').hidden = item.m.buttons !== 'okcancel';
    dialog.dataset.buttons = item.m.buttons;
    const finish = (ok) => {
      $('message-ok').onclick = $('message-cancel').onclick = dialog.oncancel = null;
      dialog.close();
      item.resolve(ok);
      nextMessage();
    };
    $('message-ok').onclick = () => finish(true);
    $('message-cancel').onclick = () => finish(false);
    dialog.oncancel = (event) => { event.preventDefault(); finish(false); };
    dialog.showModal();
    $('message-ok').focus();
  }

  async function showMessages(answer) {
    for (const m of answer.messages || []) await messageBox(m);
  }

  // Runs a command, shows its messages, then draws what it changed.
  function command(method, ...args) {
    return present(() => call(method, ...args));
  }

  // The answer of a command, drawn and its messages shown; `run` makes the
  // call (and may end with kCancelled, which is returned as it is).
  async function present(run) {
    let answer;
    try {
      answer = await run();
      if (answer === kCancelled) return answer;
    } catch (error) {
      if (error.cancelled) return null;  // the user's Cancel: no error
      await messageBox({title: '', text: 'The viewer met an error: ' + error.message, icon: 'critical', buttons: 'ok'});
      return null;
    }
    if (answer.chooser) drawChooser(answer.chooser);
    if (answer.view) drawView(answer.view);
    await showMessages(answer);
    if (answer.ended) showChooser(answer.chooser);
    if (answer.printed) printDocument(answer.printed);
    return answer;
  }

  // ------------------------------------------------------------ the chooser

  let chooserLook = null;
  // The rows of the ISPEC and profile the last Ok opened.
  let opened = null;

  function fillSelect(select, names, selected) {
    select.replaceChildren(...names.map((name, i) => {
      const option = document.createElement('option');
      option.textContent = name;
      option.value = String(i);
      return option;
    }));
    select.selectedIndex = selected;
  }

  function fillLines(element, lines) {
    element.textContent = lines.join('\n');
  }

  function drawChooser(c) {
    chooserLook = c;
    $('chooser-title').textContent = c.title || 'Choose ISPEC';
    $('record-count').textContent = c.recordCount;
    fillSelect($('ispec'), c.ispecs, c.ispec);
    fillSelect($('profile'), c.profiles, c.profile);
    fillLines($('lst-ispecs'), c.profileIspecs);
    fillLines($('lst-ordinates'), c.ordinates);
    fillLines($('lst-conditions'), c.conditions);
    $('folder').textContent = c.directory;
  }

  function showChooser(look) {
    if (look) drawChooser(look);
    const dialog = $('chooser');
    if (!dialog.open) dialog.showModal();
  }

  function hideChooser() {
    $('chooser').close();
  }

  // The folder's files, by path in the worker's registry ("FOLDER/NAME":
  // the browser tells the folder's name, not where it lies).
  let chosenFiles = null;
  async function chooseFiles(entries) {
    if (entries.length === 0) return;
    const top = entries[0][0].split('/')[0];
    chosenFiles = {entries, top};
    postFiles();
    await command('chooseFolder', top);
  }

  // The worker is given the files of the screen's folder and of the folder
  // chosen since, so that the screen reads on while the chooser shows
  // another.  Two folders of one name are one path to the worker, and the
  // one chosen last is read: a screen whose files are then no longer the
  // ones it walked says so when it reads them, and a screen opened again
  // after a Cancel is opened from that folder's files.
  function postFiles() {
    const entries = [];
    if (opened && opened.files !== chosenFiles) entries.push(...opened.files.entries);
    if (chosenFiles) entries.push(...chosenFiles.entries);
    worker.postMessage({type: 'files', files: entries});
  }

  $('directory').addEventListener('change', () => {
    const input = $('directory');
    const entries = Array.from(input.files, (file) => [file.webkitRelativePath || file.name, file]);
    chooseFiles(entries);
    input.value = '';
  });

  // A folder dropped on the page opens as one chosen by the button.
  async function droppedFiles(items) {
    const entries = [];
    const walk = async (entry, prefix) => {
      if (entry.isFile) {
        const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
        entries.push([prefix + entry.name, file]);
      } else if (entry.isDirectory) {
        const reader = entry.createReader();
        for (;;) {
          const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
          if (batch.length === 0) break;
          for (const child of batch) await walk(child, prefix + entry.name + '/');
        }
      }
    };
    for (const item of items) {
      const entry = item.webkitGetAsEntry && item.webkitGetAsEntry();
      if (entry && entry.isDirectory) { await walk(entry, ''); break; }
    }
    return entries;
  }
  document.addEventListener('dragover', (event) => { event.preventDefault(); document.body.classList.add('dropping'); });
  document.addEventListener('dragleave', () => document.body.classList.remove('dropping'));
  document.addEventListener('drop', async (event) => {
    event.preventDefault();
    document.body.classList.remove('dropping');
    const entries = await droppedFiles(Array.from(event.dataTransfer.items));
    if (entries.length === 0) return;
    showChooser();
    chooseFiles(entries);
  });

  $('ispec').addEventListener('change', () => command('chooseIspec', $('ispec').selectedIndex));
  $('profile').addEventListener('change', () => command('chooseProfile', $('profile').selectedIndex));

  $('ok').addEventListener('click', async () => {
    const wanted = [$('ispec').selectedIndex, $('profile').selectedIndex];
    const waiting = 'Building reference information, please wait.';
    $('status').textContent = waiting;
    // Cancel leaves the chooser as it was, and the screen behind it as it
    // was.  The dialog stays only while the worker walks, not while the
    // walk's messages are shown.
    const answer = await present(() => cancellable('Open', waiting, () => call('ok'), {ispec: wanted[0], profile: wanted[1]}));
    $('status').textContent = '';
    if (answer === kCancelled) return;
    if (answer && answer.view && answer.view.open && !answer.ended) {
      opened = {ispec: answer.chooser.ispec, profile: answer.chooser.profile, files: chosenFiles};
      hideChooser();
    }
  });
  $('cancel').addEventListener('click', async () => {
    await command('cancelChooser');
    hideChooser();
  });
  $('chooser').addEventListener('cancel', (event) => { event.preventDefault(); $('cancel').click(); });

  // ------------------------------------------------------------ the contents screen

  let view = null;

  function drawWindow(v) {
    const box = $('window');
    const parts = [];
    if (v.copy) {
      const first = document.createElement('span');
      first.className = 'copy-only';
      first.textContent = v.copy.slice(0, v.copy.length - v.text.length);
      parts.push(first);
    }
    if (v.selLength > 0) {
      const mark = document.createElement('mark');
      mark.textContent = v.text.slice(v.selStart, v.selStart + v.selLength);
      parts.push(v.text.slice(0, v.selStart), mark, v.text.slice(v.selStart + v.selLength));
    } else {
      parts.push(v.text);
    }
    box.replaceChildren(...parts);
  }

  function drawView(v) {
    view = v;
    document.title = v.title;
    drawWindow(v);
    $('records').textContent = v.records;
    $('label1').textContent = v.label1;
    $('label1').hidden = !v.label1Visible;
    $('sections').textContent = v.label2;
    $('sections').hidden = !v.label2Visible;
    $('ords').textContent = v.ords;
    $('ords').hidden = !v.ordsVisible;
    $('keypad').hidden = !v.keypad;
    $('print').hidden = !v.print;
    $('copy').hidden = !v.copyButton;
    $('ptr').textContent = v.ptr;
    $('ptr').hidden = !v.ptrVisible;
    $('ptr').style.top = (v.ptrTop / 15) + 'px';
    if (!dragging) placeThumb(v.value);
  }

  // The scroll bar: 1 to max; an arrow moves 1, the track 21, the thumb
  // anywhere (Ptr shows the entry while it is dragged).
  const kThumb = 17;
  function trackSpan() { return $('track').clientHeight - kThumb; }
  function placeThumb(value) {
    const max = view ? view.max : 1;
    const top = max > 1 ? Math.round((value - 1) * trackSpan() / (max - 1)) : 0;
    $('thumb').style.top = top + 'px';
  }
  function valueAt(top) {
    const max = view ? view.max : 1;
    const span = trackSpan();
    return max > 1 && span > 0 ? 1 + Math.round(Math.min(Math.max(top, 0), span) * (max - 1) / span) : 1;
  }

  function scrollTo(value) {
    if (!view || !view.open) return Promise.resolve();
    const target = Math.min(Math.max(value, 1), view.max);
    if (target === view.value) return Promise.resolve();
    return command('scroll', target);
  }
  // Moves taken one after another, each from where the one before left the
  // bar, as keys typed ahead are on the desktop.
  let moves = Promise.resolve();
  function move(target) {
    setBusy(1);
    moves = moves.then(() => (view ? scrollTo(target(view)) : null)).catch(() => {}).finally(() => setBusy(-1));
    return moves;
  }
  function scrollBy(delta) { return move((v) => v.value + delta); }

  $('scroll-up').addEventListener('mousedown', () => scrollBy(-1));
  $('scroll-down').addEventListener('mousedown', () => scrollBy(1));
  $('track').addEventListener('mousedown', (event) => {
    if (event.target !== $('track') || !view) return;
    const thumbTop = $('thumb').getBoundingClientRect().top;
    scrollBy(event.clientY < thumbTop ? -kWindowLines : kWindowLines);
  });

  let dragging = null;
  let dragSent = false;
  $('thumb').addEventListener('mousedown', (event) => {
    if (!view || !view.open) return;
    event.preventDefault();
    dragging = {start: event.clientY, top: $('thumb').offsetTop, value: view.value};
  });
  document.addEventListener('mousemove', (event) => {
    if (!dragging) return;
    const top = Math.min(Math.max(dragging.top + event.clientY - dragging.start, 0), trackSpan());
    $('thumb').style.top = top + 'px';
    const value = valueAt(top);
    if (value === dragging.value || dragSent) return;
    dragging.value = value;
    dragSent = true;
    command('drag', value).finally(() => { dragSent = false; });
  });
  document.addEventListener('mouseup', async () => {
    if (!dragging) return;
    const value = dragging.value;
    dragging = null;
    await command('release');
    await scrollTo(value);
    if (view) placeThumb(view.value);
  });
  $('window').addEventListener('wheel', (event) => {
    if (Math.abs(event.deltaY) <= Math.abs(event.deltaX) || event.altKey) return;
    event.preventDefault();
    scrollBy(event.deltaY > 0 ? 3 : -3);
  }, {passive: false});

  for (const button of document.querySelectorAll('.part'))
    button.addEventListener('click', () => command('keypad', Number(button.dataset.part)));

  $('choose-file').addEventListener('click', async () => {
    const answer = await command('showChooser');
    if (answer) showChooser(answer.chooser);
  });
  $('exit').addEventListener('click', async () => {
    const answer = await command('exit');
    if (!answer) return;
    opened = null;  // no screen to open again after a Cancel
    showChooser(answer.chooser);
  });

  function copyText() { return view && view.copy ? view.copy : ''; }
  $('copy').addEventListener('click', async () => {
    const text = copyText();
    if (!text) return;
    try {
      await navigator.clipboard.writeText(text);
    } catch (error) {
      // Where the page may not write the clipboard itself, the text is
      // selected and copied as a selection.
      const area = document.createElement('textarea');
      area.value = text;
      document.body.append(area);
      area.select();
      document.execCommand('copy');
      area.remove();
    }
  });

  function printDocument(lines) {
    $('print-document').textContent = lines.join('\n');
    window.print();
  }
  $('print').addEventListener('click', () => command('print'));

  // ------------------------------------------------------------ tips

  const tipTexts = {
    'tips-box': 'Explanations of controls under the mouse.',
    'window': "Displays records from the file.  You can 'lock' a heading (when moving the file pointer) to be the rightmost heading in the display by highlighting it.",
    'scrollbar': 'Moves the display through the file, showing approximately 20 lines at a time.  Clicking the arrow button moves 1 record, the scroll bar one screenfull, dragging the scroll button allows you to position to any record in the file.',
    'choose-file': 'Choose a file to display from the Ondrel run time database.',
    'exit': 'Take a guess!',
    'copy': 'Copies displayed records (in their full width) to the Clipboard.  From there, you can Paste them into another application.',
    'print': 'Prints the displayed records (up to 90 or so characters).',
    'enter': 'Selects which section of the file to view.  Due to program limits, the file may be too large and is logically divided into sections.',
  };
  // The zones, in the order they are tested: three pixels beyond the control
  // on the left and at the top, two on the right and at the bottom.
  const zoneOrder = ['tips-box', 'window', 'scrollbar', 'choose-file', 'exit', 'copy', 'print', 'enter'];
  const hideable = new Set(['copy', 'print', 'enter']);
  let zones = null;
  function computeZones() {
    const screen = $('contents').getBoundingClientRect();
    zones = zoneOrder.map((id) => {
      const element = $(id);
      const wasHidden = [];
      for (let e = element; e && e !== document.body; e = e.parentElement)
        if (e.hidden) { wasHidden.push(e); e.hidden = false; }
      const r = element.getBoundingClientRect();
      for (const e of wasHidden) e.hidden = true;
      return {id, left: r.left - screen.left - 3, right: r.right - screen.left + 2,
              top: r.top - screen.top - 3, bottom: r.bottom - screen.top + 2};
    });
  }
  function showTip(text) {
    $('tip').textContent = text;
    $('tip').hidden = false;
  }
  $('tips').addEventListener('change', () => {
    if ($('tips').checked) showTip(tipTexts['tips-box']);
    else $('tip').hidden = true;
  });
  $('contents').addEventListener('mousemove', (event) => {
    if (!$('tips').checked) return;
    // Only movement over the screen's own surface counts, as on the desktop.
    if (event.target !== $('contents') && event.target !== $('frame') && event.target !== $('shape1')) return;
    const screen = $('contents').getBoundingClientRect();
    const x = event.clientX - screen.left, y = event.clientY - screen.top;
    const zone = zones.find((z) => z.left <= x && x <= z.right && z.top <= y && y <= z.bottom);
    if (!zone) { $('tip').hidden = true; return; }
    const element = $(zone.id);
    if (hideable.has(zone.id) && (element.hidden || element.closest('[hidden]'))) return;
    showTip(tipTexts[zone.id]);
  });

  // ------------------------------------------------------------ reaching a record

  function dialogAnswer(dialog, ok, cancel) {
    return new Promise((resolve) => {
      const finish = (value) => {
        ok.onclick = cancel.onclick = dialog.oncancel = null;
        dialog.close();
        resolve(value);
      };
      ok.onclick = () => finish(true);
      cancel.onclick = () => finish(false);
      dialog.oncancel = (event) => { event.preventDefault(); finish(false); };
      dialog.onkeydown = (event) => { if (event.key === 'Enter') { event.preventDefault(); finish(true); } };
      dialog.showModal();
    });
  }

  async function goToKey() {
    if (!view || !view.open || busy > 0) return;
    const answer = await call('keyParts');
    await showMessages(answer);
    if (!answer.parts) return;
    const boxes = $('goto-boxes');
    boxes.replaceChildren();
    const inputs = answer.parts.map((part) => {
      const label = document.createElement('label');
      label.textContent = part.name;
      const input = document.createElement('input');
      input.type = 'text';
      input.maxLength = Math.max(part.length, 1);
      input.size = Math.max(part.length, 1);
      boxes.append(label, input);
      return input;
    });
    // The dialog stays until a key is sought or the user gives up.
    for (;;) {
      const shown = dialogAnswer($('goto'), $('goto-ok'), $('goto-cancel'));
      if (inputs[0]) inputs[0].focus();
      if (!await shown) return;
      const result = await command('goToKey', inputs.map((input) => input.value).join('\n'));
      if (!result || result.moved) return;
    }
  }

  const findState = {text: '', matchCase: false, forward: true};

  async function findDialog() {
    if (!view || !view.open || busy > 0) return;
    $('find-text').value = findState.text;
    $('find-case').checked = findState.matchCase;
    $(findState.forward ? 'find-down' : 'find-up').checked = true;
    const shown = dialogAnswer($('find'), $('find-ok'), $('find-cancel'));
    $('find-text').focus();
    $('find-text').select();
    if (!await shown || $('find-text').value === '') return;
    findState.text = $('find-text').value;
    findState.matchCase = $('find-case').checked;
    findState.forward = $('find-down').checked;
    await findText(findState.forward, true);
  }

  async function findNext(forward) {
    if (!view || !view.open || busy > 0) return;
    if (findState.text === '') return findDialog();
    await findText(forward, false);
  }

  // The progress dialog shows after half a second of searching.
  function progressShown() {
    let timer = null;
    const dialog = $('progress');
    const arm = () => { timer = setTimeout(() => { if (!dialog.open) dialog.showModal(); }, 500); };
    onProgress = (done, total) => {
      if (done < 0) { clearTimeout(timer); timer = null; if (dialog.open) dialog.close(); return; }
      if (timer === null && !dialog.open) arm();
      $('progress-bar').value = total > 0 ? Math.min(Math.max(Math.floor(done * 1000 / total), 1), 999) : 0;
    };
    arm();
    return () => { clearTimeout(timer); onProgress = null; if (dialog.open) dialog.close(); };
  }

  async function findText(forward, fromFirstLine) {
    const {text, matchCase} = findState;
    let answerOk = false, skip = 0;
    for (;;) {
      const done = progressShown();
      let answer;
      const cancelled = new Promise((resolve) => { $('progress-cancel').onclick = () => resolve(null); });
      try {
        answer = await Promise.race([call('find', text, matchCase, forward, fromFirstLine, answerOk, skip).catch(() => null),
                                     cancelled]);
      } finally {
        done();
        $('progress-cancel').onclick = null;
      }
      if (!answer) { await cancelWork(); break; }
      if (answer.view) drawView(answer.view);
      await showMessages(answer);
      // The search reached the end: asked now, and on OK made again with the
      // answer, its messages so far not shown twice.
      if (!answer.question || !await messageBox(answer.question)) break;
      answerOk = true;
      skip = answer.shownBefore;
    }
    $('window').focus();
  }

  // ------------------------------------------------------------ export

  // Ctrl+E: the open profile as ondrel-export writes it, saved through the
  // browser's download.  The pieces the worker sends are kept as they come,
  // each a Blob of its own, and the download is the Blob of those pieces.
  const kExtensions = {text: 'txt', csv: 'csv', json: 'jsonl'};
  async function exportProfile() {
    if (!view || !view.open || busy > 0) return;
    $('export-written').textContent = '';
    if (!await dialogAnswer($('export'), $('export-ok'), $('export-cancel'))) return;
    const format = document.querySelector('input[name="format"]:checked').value;
    const pieces = [];
    let written = 0;
    let errors = '';
    const decoder = new TextDecoder();
    const label = 'Exporting ' + view.ispec + ' via ' + view.profile + '...';
    onOutput = (stream, bytes) => {
      if (stream === 2) { errors += decoder.decode(bytes, {stream: true}); return; }
      pieces.push(new Blob([bytes]));
      written += bytes.length;
      $('work-label').textContent = label + ' ' + (written / 1048576).toFixed(1) + ' MB';
    };
    let answer;
    try {
      answer = await cancellable('Export', label, () => call('exportProfile', format));
    } catch (error) {
      answer = {status: 1};
      errors += 'The viewer met an error: ' + error.message + '\n';
    } finally {
      onOutput = null;
    }
    if (answer === kCancelled) return;  // nothing is saved
    if (written > 0 || answer.status === 0) {
      const link = document.createElement('a');
      link.href = URL.createObjectURL(new Blob(pieces, {type: format === 'csv' ? 'text/csv' : 'text/plain'}));
      link.download = view.ispec + '_' + view.profile + '.' + kExtensions[format];
      document.body.append(link);
      link.click();
      link.remove();
      setTimeout(() => URL.revokeObjectURL(link.href), 60000);
    }
    // The tool's messages, "title: text" a line.
    for (const line of errors.split('\n').filter((l) => l !== '')) {
      const at = line.indexOf(': ');
      await messageBox(at > 0 ? {title: line.slice(0, at), text: line.slice(at + 2), icon: 'exclamation', buttons: 'ok'}
                              : {title: '', text: line, icon: 'exclamation', buttons: 'ok'});
    }
  }

  // ------------------------------------------------------------ the deep check

  // Ctrl+K: every profile of the open ISPEC, with its progress, then the
  // report.
  async function checkFiles() {
    if (!view || !view.open || busy > 0) return;
    const progress = $('check-progress');
    $('check-label').textContent = 'Checking ' + view.ispec + '...';
    $('check-bar').value = 0;
    onProgress = (done, total, profile) => {
      if (profile) $('check-label').textContent = 'Checking ' + view.ispec + ' via ' + profile + '...';
      $('check-bar').value = Math.min(Math.max(Math.floor(done * 1000 / total), 0), 999);
    };
    progress.showModal();
    let answer;
    const cancelled = new Promise((resolve) => { $('check-cancel').onclick = () => resolve(null); });
    try {
      answer = await Promise.race([call('check').catch(() => null), cancelled]);
    } finally {
      onProgress = null;
      $('check-cancel').onclick = null;
      progress.close();
    }
    if (!answer) { await cancelWork(); return; }
    if (!answer.verdict) return;
    $('check-title').textContent = 'Check of ' + answer.ispec;
    $('check-verdict').textContent = answer.verdict;
    $('check-lines').textContent = answer.lines;
    $('check-copy').onclick = () => navigator.clipboard.writeText(answer.lines).catch(() => {});
    const report = $('check-report');
    await new Promise((resolve) => {
      $('check-close').onclick = () => { report.close(); resolve(); };
      report.oncancel = () => resolve();
      report.showModal();
    });
  }

  // ------------------------------------------------------------ keys

  document.addEventListener('keydown', (event) => {
    if (document.querySelector('dialog[open]')) return;
    const ctrl = event.ctrlKey || event.metaKey;
    const key = event.key;
    let handled = true;
    if (ctrl && (key === 'g' || key === 'G')) goToKey();
    else if (ctrl && (key === 'f' || key === 'F')) findDialog();
    else if (key === 'F3') findNext(!event.shiftKey);
    else if (ctrl && (key === 'e' || key === 'E')) exportProfile();
    else if (ctrl && (key === 'k' || key === 'K')) checkFiles();
    else if (ctrl || event.altKey) handled = false;
    else if (key === 'PageDown') scrollBy(kWindowLines);
    else if (key === 'PageUp') scrollBy(-kWindowLines);
    else if (key === 'ArrowDown') scrollBy(1);
    else if (key === 'ArrowUp') scrollBy(-1);
    else if (key === 'Home') move(() => 1);
    else if (key === 'End') move((v) => v.max);
    else handled = false;
    if (handled) event.preventDefault();
  });

  // ------------------------------------------------------------ start

  async function start() {
    setBusy(1);
    try {
      worker = await startWorker();
    } catch (error) {
      setBusy(-1);
      await messageBox({title: '', text: 'The viewer could not start: ' + error.message, icon: 'critical', buttons: 'ok'});
      return;
    }
    setBusy(-1);
    computeZones();
    await command('view');
    const answer = await command('showChooser');
    if (answer) showChooser(answer.chooser);
  }
  start();
})();
