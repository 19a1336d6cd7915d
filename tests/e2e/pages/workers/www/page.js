// A shared worker fetches data.txt: it reaches the app's files only when the runtime lets its
// requests through to the host. Reports what it got, then closes the window.
'use strict';
const report = (message) => window.chrome.webview.postMessage(JSON.stringify(message));
const finish = (message) => {
  report(message);
  document.getElementById('state').textContent = JSON.stringify(message);
  window.close();
};

function throughSharedWorker() {
  return new Promise((resolve, reject) => {
    const worker = new SharedWorker('shared.js');
    worker.onerror = () => reject(new Error('the shared worker did not start'));
    worker.port.onmessage = (event) => resolve(event.data);
    worker.port.start();
  });
}

throughSharedWorker().then(
  (value) => finish({ type: 'workers', shared: { ok: true, value } }),
  (error) => finish({ type: 'workers', shared: { ok: false, error: String(error) } }));
