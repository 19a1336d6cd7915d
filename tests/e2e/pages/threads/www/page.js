// Tells the host whether the page is cross-origin isolated, then runs threads.js (a C program
// built with emscripten's -pthread) and reports the line it prints, or the error that stops it.
'use strict';
const report = (message) => window.chrome.webview.postMessage(JSON.stringify(message));
let finished = false;
const finish = (message) => {
  if (finished) return;
  finished = true;
  report(message);
  document.getElementById('state').textContent = JSON.stringify(message);
  audioReported.then(() => window.close());
};
report({
  type: 'isolation',
  crossOriginIsolated: window.crossOriginIsolated === true,
  sharedArrayBuffer: typeof SharedArrayBuffer,
});
// Sound made at start runs without a click only with the autoplay argument: the state once it
// has started, or after a second of waiting.
const audio = new AudioContext();
const audioReported = new Promise((resolve) => {
  const done = () => { report({ type: 'audio', state: audio.state }); resolve(); };
  const timer = setTimeout(done, 1000);
  audio.addEventListener('statechange', () => {
    if (audio.state === 'running') { clearTimeout(timer); done(); }
  });
});
window.addEventListener('error', (event) =>
  finish({ type: 'threads-error', message: String(event.message) }));
window.addEventListener('unhandledrejection', (event) =>
  finish({ type: 'threads-error', message: String(event.reason) }));
window.Module = {
  print(text) {
    if (text.startsWith('threads ')) finish({ type: 'threads', output: text });
  },
  onAbort(what) {
    finish({ type: 'threads-error', message: String(what) });
  },
};
const script = document.createElement('script');
script.src = 'threads.js';
script.onerror = () => finish({ type: 'threads-error', message: 'threads.js did not load' });
document.body.appendChild(script);
