// The test page: the handshake, files saved, read back, listed and removed through the app data
// folder's handle, a window resize, media playing through range requests, a cancelled navigation,
// external opens, then "done" and, a little later, window.close().
(() => {
  const post = (message) => chrome.webview.postMessage(JSON.stringify(message));
  const received = [];
  const waiting = { resized: false, media: false, long: false, frame: false, files: false };

  // The name of the exception `work` fails with, or "none".
  const failure = async (work) => {
    try { await work(); return 'none'; } catch (error) { return error.name; }
  };
  const text = async (handle) => (await handle.getFile()).text();
  const names = async (folder) => {
    const found = [];
    for await (const [name, handle] of folder) found.push(`${name}:${handle.kind}`);
    return found.sort();
  };
  const save = async (file, parts, options) => {
    const writable = await file.createWritable(options);
    for (const part of parts) await (typeof part === 'function' ? part(writable) : writable.write(part));
    await writable.close();
  };
  // What the page does with the app data folder's handle: a save slot written, changed in place,
  // read back and listed; the exceptions of names that leave the folder, of entries of the other
  // kind, of a folder that is gone; files the test left there read and replaced; all removed.
  const files = async (data) => {
    const report = { type: 'files', name: data.name, kind: data.kind,
                     isHandle: data instanceof FileSystemDirectoryHandle,
                     permission: [await data.queryPermission({ mode: 'readwrite' }),
                                  await data.requestPermission({ mode: 'readwrite' })] };
    const saves = await data.getDirectoryHandle('saves', { create: true });
    const slot = await saves.getFileHandle('slot 1.json', { create: true });
    await save(slot, ['{"level":1}']);
    const open = await slot.createWritable({ keepExistingData: true });
    await open.seek(10);
    await open.write(new TextEncoder().encode('2}'));
    report.beforeClose = await text(slot);
    await open.close();
    const notes = await saves.getFileHandle('notes.txt', { create: true });
    await save(notes, ['abcdef', (w) => w.truncate(3), 'Z', { type: 'write', position: 5, data: new Blob(['!']) }]);
    const aborted = await notes.createWritable();
    await aborted.write('lost');
    await aborted.abort();
    await saves.getDirectoryHandle('deeper', { create: true });
    const file = await slot.getFile();
    report.slot = { text: await file.text(), name: file.name, type: file.type, size: file.size };
    report.notes = await text(notes);
    report.listing = await names(saves);
    report.keys = [];
    for await (const key of saves.keys()) report.keys.push(key);
    report.keys.sort();
    report.resolved = [await data.resolve(slot), await saves.resolve(data), await saves.resolve(saves)];
    report.same = [await slot.isSameEntry(await saves.getFileHandle('slot 1.json')), await slot.isSameEntry(notes)];
    report.errors = {
      missing: await failure(() => data.getFileHandle('nothing-here')),
      fileIsFolder: await failure(() => data.getFileHandle('saves')),
      folderIsFile: await failure(() => saves.getDirectoryHandle('slot 1.json', { create: true })),
      notEmpty: await failure(() => data.removeEntry('saves')),
      removedTwice: await failure(() => saves.removeEntry('nothing-here')),
    };
    report.names = {};
    for (const name of ['..', '.', '', '../escape', 'a/b', 'a\\b', 'ends.', 'link.lnk', 'CON',
                        '.git', 'café ☕.txt', 'x.local', 'COM10'])
      report.names[name] = await failure(() => saves.getFileHandle(name, { create: true }));
    // The binding called directly, as a hostile page could: nothing leaves the folders either.
    for (let root = 1; root <= 13; ++root) {
      for (const [path, name] of [[['..'], 'escape'], [[], '..\\escape'], [['saves', '..', '..'], 'escape']])
        window.__wrapperFolderBinding(JSON.stringify({ call: 'forged', op: 'child', root, path, name, kind: 'directory', create: true }));
    }
    // A folder that is gone: its handle was made, its use fails.
    const gone = await data.getDirectoryHandle('gone', { create: true });
    await data.removeEntry('gone');
    report.gone = [await failure(() => gone.getFileHandle('x', { create: true })),
                   await failure(() => gone.values().next()),
                   await failure(() => gone.getDirectoryHandle('y'))];
    // Files the test put there: one to read, one that cannot be written.
    report.fromTest = await text(await data.getFileHandle('from-test.txt'));
    report.readOnly = await failure(async () => save(await data.getFileHandle('read-only.txt'), ['changed']));
    await save(await data.getFileHandle('kept.txt', { create: true }), ['saved by the page']);
    await data.removeEntry('saves', { recursive: true });
    // What else the folder holds: the host's log, the runtime's profile.
    report.after = (await names(data)).filter((entry) => !/^(host\.log|EBWebView)/.test(entry));
    return report;
  };

  const finish = () => {
    if (!waiting.resized || !waiting.media || !waiting.long || !waiting.frame || !waiting.files) return;
    waiting.resized = waiting.media = waiting.long = waiting.frame = waiting.files = false;
    // Another origin: the host cancels it and the page stays.
    location.href = 'https://elsewhere.example/away.html';
    setTimeout(() => {
      post({ type: 'still-here', href: location.href });
      window.open('https://example.org/docs?from=script');
      document.getElementById('docs').click();
      post({ type: 'done' });
      setTimeout(() => window.close(), 8000);
    }, 1500);
  };

  chrome.webview.addEventListener('message', (event) => {
    received.push(event.data && event.data.type);
    if (event.data && event.data.type === 'directory-handles') {
      const first = event.additionalObjects[0];
      post({ type: 'handles', count: event.additionalObjects.length, first: first ? { kind: first.kind, name: first.name } : null });
      files(event.additionalObjects[2]).then(post, (error) => post({ type: 'files', error: `${error.name}: ${error.message}` }))
        .then(() => { waiting.files = true; finish(); });
    }
    if (event.data && event.data.type === 'wrapper-init-response') {
      post({ type: 'handshake', order: received.slice(), ids: event.data.registeredComponentIds });
      window.addEventListener('resize', function onResize() {
        if (window.innerWidth !== 640 || window.innerHeight !== 480) return;
        window.removeEventListener('resize', onResize);
        post({ type: 'resized', width: window.innerWidth, height: window.innerHeight });
        waiting.resized = true;
        finish();
      });
      post({ type: 'set-window-size', windowWidth: 640, windowHeight: 480 });
    }
  });

  document.addEventListener('DOMContentLoaded', () => {
    const logo = document.getElementById('logo');
    const report = () => post({
      type: 'resources',
      imageWidth: logo.naturalWidth,
      blockColour: getComputedStyle(document.getElementById('block')).backgroundColor,
      script: true,
    });
    if (logo.complete) report(); else logo.addEventListener('load', report);

    const clip = document.getElementById('clip');
    clip.addEventListener('timeupdate', function onTime() {
      if (clip.currentTime <= 1.2) return;
      clip.removeEventListener('timeupdate', onTime);
      post({ type: 'media', currentTime: clip.currentTime });
      waiting.media = true;
      finish();
    });
    clip.addEventListener('error', () => post({ type: 'media-error', code: clip.error && clip.error.code }));

    // A long file the host answers in pieces: played, then sought near its end, played to the end.
    const long = document.getElementById('long');
    long.addEventListener('timeupdate', function onTime() {
      if (long.currentTime <= 1.2) return;
      long.removeEventListener('timeupdate', onTime);
      long.addEventListener('seeked', () => {
        long.addEventListener('ended', () => {
          post({ type: 'long-media', currentTime: long.currentTime, duration: long.duration });
          waiting.long = true;
          finish();
        }, { once: true });
      }, { once: true });
      long.currentTime = 2.5;
    });
    long.addEventListener('error', () => post({ type: 'media-error', code: long.error && long.error.code }));
    long.play().catch((error) => post({ type: 'media-error', message: String(error) }));

    // Without a click or a browser argument, sound waits for the player.
    const audio = new AudioContext();
    setTimeout(() => post({ type: 'audio', state: audio.state }), 500);

    // The frame's report, passed on by the top document.
    window.addEventListener('message', (event) => {
      if (event.origin !== location.origin || !event.data || event.data.type !== 'frame') return;
      post(event.data);
      waiting.frame = true;
      finish();
    });
    chrome.webview.postMessage(JSON.stringify({ type: 'wrapper-init' }));
  });
})();
