// The page's fetch of data.txt is answered by its service worker, which fetches the file itself;
// a shared worker fetches data.txt too. Both reach the app's files only when the runtime lets the
// workers' requests (the service worker's own script included) through to the host. Reports what
// each got, then closes the window.
'use strict';
const report = (message) => window.chrome.webview.postMessage(JSON.stringify(message));
const finish = (message) => {
  report(message);
  document.getElementById('state').textContent = JSON.stringify(message);
  window.close();
};
const outcome = (promise) =>
  promise.then((value) => ({ ok: true, value }), (error) => ({ ok: false, error: String(error) }));

async function throughServiceWorker() {
  const controlled = new Promise((resolve) => {
    if (navigator.serviceWorker.controller) resolve();
    navigator.serviceWorker.addEventListener('controllerchange', resolve, { once: true });
  });
  await navigator.serviceWorker.register('sw.js');
  await controlled;
  const answer = await fetch('data.txt');
  return { text: await answer.text(), answeredBy: answer.headers.get('X-Answered-By') };
}

function throughSharedWorker() {
  return new Promise((resolve, reject) => {
    const worker = new SharedWorker('shared.js');
    worker.onerror = () => reject(new Error('the shared worker did not start'));
    worker.port.onmessage = (event) => resolve(event.data);
    worker.port.start();
  });
}

// The shared worker first: once the service worker controls the page, it would answer the shared
// worker's fetches too.
(async () => {
  const shared = await outcome(throughSharedWorker());
  const service = await outcome(throughServiceWorker());
  finish({ type: 'workers', service, shared });
})();
