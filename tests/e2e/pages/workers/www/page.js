// A service worker answers the page's fetch of answered-by-worker.txt by fetching data.txt itself,
// and a shared worker fetches data.txt: both reach the app's files only when the runtime lets
// their requests through to the host. Reports what each got, then closes the window.
'use strict';
const report = (message) => window.chrome.webview.postMessage(JSON.stringify(message));
const finish = (message) => {
  report(message);
  document.getElementById('state').textContent = JSON.stringify(message);
  window.close();
};

async function throughServiceWorker() {
  await navigator.serviceWorker.register('sw.js');
  await navigator.serviceWorker.ready;
  if (!navigator.serviceWorker.controller) {
    await new Promise((resolve) =>
      navigator.serviceWorker.addEventListener('controllerchange', resolve, { once: true }));
  }
  const answer = await fetch('answered-by-worker.txt');
  return { status: answer.status, by: answer.headers.get('X-Answered-By'), text: await answer.text() };
}

function throughSharedWorker() {
  return new Promise((resolve, reject) => {
    const worker = new SharedWorker('shared.js');
    worker.onerror = () => reject(new Error('the shared worker did not start'));
    worker.port.onmessage = (event) => resolve(event.data);
    worker.port.start();
  });
}

const settle = (promise) => promise.then(
  (value) => ({ ok: true, value }),
  (error) => ({ ok: false, error: String(error) }));
Promise.all([settle(throughServiceWorker()), settle(throughSharedWorker())]).then(
  ([service, shared]) => finish({ type: 'workers', service, shared }));
