// Fetches data.txt (a request of the shared worker) for each page that connects.
'use strict';
self.onconnect = (event) => {
  const port = event.ports[0];
  fetch('data.txt')
    .then((answer) => answer.text())
    .then((text) => port.postMessage({ text }), (error) => port.postMessage({ error: String(error) }));
};
