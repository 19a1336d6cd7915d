// The test page: the handshake, a window resize, media playing through range requests, a
// cancelled navigation, external opens, then "done" and, a little later, window.close().
(() => {
  const post = (message) => chrome.webview.postMessage(JSON.stringify(message));
  const received = [];
  const waiting = { resized: false, media: false, long: false, frame: false };

  const finish = () => {
    if (!waiting.resized || !waiting.media || !waiting.long || !waiting.frame) return;
    waiting.resized = waiting.media = waiting.long = waiting.frame = false;
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
