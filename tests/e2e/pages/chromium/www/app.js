// The test page: the handshake, a window resize, media playing through range requests, a
// cancelled navigation, external opens, then "done" and, a little later, window.close().
(() => {
  const post = (message) => chrome.webview.postMessage(JSON.stringify(message));
  const received = [];
  const waiting = { resized: false, media: false };

  const finish = () => {
    if (!waiting.resized || !waiting.media) return;
    waiting.resized = waiting.media = false;
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
      post({ type: 'handles', count: event.additionalObjects.length, first: event.additionalObjects[0] || null });
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
    chrome.webview.postMessage(JSON.stringify({ type: 'wrapper-init' }));
  });
})();
