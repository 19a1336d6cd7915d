// Takes over the page at once and answers answered-by-worker.txt with data.txt, which it fetches
// itself (a request of the service worker, not of the page).
'use strict';
self.addEventListener('install', () => self.skipWaiting());
self.addEventListener('activate', (event) => event.waitUntil(self.clients.claim()));
self.addEventListener('fetch', (event) => {
  if (!new URL(event.request.url).pathname.endsWith('/answered-by-worker.txt')) return;
  event.respondWith(fetch('data.txt').then(async (answer) =>
    new Response(`service worker: ${await answer.text()}`,
      { headers: { 'X-Answered-By': 'service-worker' } })));
});
