// wrapper-host.js: the page's side of the WebView2Wrapper message protocol, as one ES module.
// Copy it into your own app's www/ folder and import it:
//
//   import { connectHost } from "./wrapper-host.js";
//   const host = connectHost();            // null when the page runs in an ordinary browser
//   if (host) {
//     const { componentIds, folders } = await host.handshake();
//     if (folders.documents) { /* a FileSystemDirectoryHandle with read-write access */ }
//     host.setWindowSize(800, 600);
//     host.onExtensionMessage((data) => console.log("from the extension", data));
//     host.sendToExtension({ command: "ping" });
//   }
//
// Every message to the host is posted as a JSON string (the host reads strings only); the host's
// messages arrive already parsed, in event.data, and folder handles in event.additionalObjects.

// The folder handles of the "directory-handles" message, in the order the host sends them.
export const FOLDER_NAMES = Object.freeze([
  "app",            // the folder of WebView2Wrapper.exe
  "webResource",    // its www folder
  "currentAppData", // the app's own data folder (local application data \ package.json name)
  "localAppData",
  "roamingAppData",
  "desktop",
  "documents",
  "downloads",
  "pictures",
  "profile",
  "savedGames",
  "screenshots",
  "videos",
]);

// Extension messages that arrive before any listener exists are kept for the first one, up to
// this many; past it the oldest are dropped.
export const PENDING_MESSAGE_LIMIT = 1000;

const HANDLES_MESSAGE = "directory-handles";
const INIT_RESPONSE = "wrapper-init-response";

function noFolders() {
  return Object.freeze(Object.fromEntries(FOLDER_NAMES.map((name) => [name, null])));
}

function checkNumber(name, value) {
  if (typeof value !== "number" || !Number.isFinite(value)) {
    throw new TypeError(`${name} must be a finite number, not ${String(value)}`);
  }
  return Math.trunc(value);
}

// The additional objects of a message event as a frozen array (the runtime's list is array-like).
function objectsOf(event) {
  return Object.freeze(Array.from(event.additionalObjects ?? []));
}

export class WrapperHost {
  #channel;
  #folders = noFolders();
  #componentIds = Object.freeze([]);
  #connected = false;
  #receivedHandles = null; // handles of the handshake in progress, until its answer comes
  // One entry per "wrapper-init" posted and not yet answered, in the order they went out:
  // { resolve, reject, timer, timedOut }. The host answers every one in turn, so an entry whose
  // caller gave up stays until its own answer has come, and that answer is dropped.
  #waiting = [];
  #listeners = new Set();
  #pending = [];           // [data, additionalObjects] of extension messages kept for a listener
  #dropped = 0;
  #flushScheduled = false;

  // `channel` is window.chrome.webview, or anything with postMessage and addEventListener.
  constructor(channel) {
    if (!channel || typeof channel.postMessage !== "function") {
      throw new Error("not running inside WebView2Wrapper (no window.chrome.webview)");
    }
    this.#channel = channel;
    channel.addEventListener("message", (event) => this.#receive(event));
  }

  // Whether a handshake has been answered.
  get connected() { return this.#connected; }
  // The ids the host's extension library registered, from the latest handshake.
  get componentIds() { return this.#componentIds; }
  // Folder name -> directory handle, or null when the host sent none for it (a folder the
  // machine lacks, or a runtime too old for handles). All null before the first handshake.
  get folders() { return this.#folders; }
  // How many extension messages were dropped because more than PENDING_MESSAGE_LIMIT arrived
  // before any listener existed.
  get droppedExtensionMessages() { return this.#dropped; }

  // Asks the host for its handshake: resolves with { componentIds, folders } once the host has
  // answered, rejects after `timeoutMs` without an answer. May be called again (after a reload,
  // or for fresh handles); every call gets the answer to its own request, also when an earlier
  // call timed out and its answer comes late.
  handshake({ timeoutMs = 10000 } = {}) {
    return new Promise((resolve, reject) => {
      const waiter = { resolve, reject, timer: null, timedOut: false };
      waiter.timer = setTimeout(() => {
        waiter.timedOut = true;
        reject(new Error(`the host did not answer the handshake within ${timeoutMs} ms`));
      }, timeoutMs);
      this.#waiting.push(waiter);
      this.#post({ type: "wrapper-init" });
    });
  }

  // Makes the window cover its monitor (true) or go back to its earlier place and size (false).
  setFullscreen(fullscreen) {
    this.#post({ type: "set-fullscreen", fullscreen: Boolean(fullscreen) });
  }

  // The size of the window's content area in 96-dpi units (CSS pixels at 100 % zoom). Ignored by
  // the host while fullscreen, or when a value is 0 or less.
  setWindowSize(width, height) {
    this.#post({
      type: "set-window-size",
      windowWidth: checkNumber("width", width),
      windowHeight: checkNumber("height", height),
    });
  }

  // The screen position of the window's top-left corner in 96-dpi units. Ignored while fullscreen.
  setWindowPosition(x, y) {
    this.#post({
      type: "set-window-position",
      windowX: checkNumber("x", x),
      windowY: checkNumber("y", y),
    });
  }

  // Sends a message to the extension library: the members of `message`, with "type" set to
  // "extension-message". The library receives the JSON text exactly as posted.
  sendToExtension(message = {}) {
    this.#post({ ...message, type: "extension-message" });
  }

  // Calls listener(data, additionalObjects) for every host message that is not part of the
  // handshake: in practice, the messages the extension library sends. Messages that came while no
  // listener existed (at most PENDING_MESSAGE_LIMIT, the latest) go to the first listener, in
  // order, in a microtask after this call. Returns a function that removes the listener.
  onExtensionMessage(listener) {
    if (typeof listener !== "function") throw new TypeError("the listener must be a function");
    this.#listeners.add(listener);
    this.#scheduleFlush();
    return () => { this.#listeners.delete(listener); };
  }

  #post(message) {
    this.#channel.postMessage(JSON.stringify(message));
  }

  #receive(event) {
    const data = event.data;
    const type = data !== null && typeof data === "object" ? data.type : undefined;
    if (type === HANDLES_MESSAGE) {
      const objects = objectsOf(event);
      this.#receivedHandles = Object.freeze(Object.fromEntries(
        FOLDER_NAMES.map((name, index) => [name, objects[index] ?? null])));
    } else if (type === INIT_RESPONSE) {
      const ids = Array.isArray(data.registeredComponentIds) ? data.registeredComponentIds : [];
      this.#componentIds = Object.freeze(ids.filter((id) => typeof id === "string"));
      // A runtime without folder handles answers without a "directory-handles" message.
      this.#folders = this.#receivedHandles ?? noFolders();
      this.#receivedHandles = null;
      this.#connected = true;
      // The answer belongs to the oldest request; a caller that has given up gets nothing.
      const waiter = this.#waiting.shift();
      if (waiter && !waiter.timedOut) {
        clearTimeout(waiter.timer);
        waiter.resolve({ componentIds: this.#componentIds, folders: this.#folders });
      }
    } else if (this.#listeners.size === 0 || this.#pending.length > 0) {
      // Kept in order behind the messages already waiting.
      if (this.#pending.length >= PENDING_MESSAGE_LIMIT) {
        this.#pending.shift();
        this.#dropped += 1;
      }
      this.#pending.push([data, objectsOf(event)]);
      this.#scheduleFlush();
    } else {
      this.#deliver(data, objectsOf(event));
    }
  }

  #scheduleFlush() {
    if (this.#flushScheduled || this.#pending.length === 0 || this.#listeners.size === 0) return;
    this.#flushScheduled = true;
    queueMicrotask(() => {
      this.#flushScheduled = false;
      // A listener may remove itself (or all) on the way: what is left waits for the next one.
      while (this.#pending.length > 0 && this.#listeners.size > 0) {
        const [data, objects] = this.#pending.shift();
        this.#deliver(data, objects);
      }
    });
  }

  #deliver(data, objects) {
    for (const listener of [...this.#listeners]) {
      try {
        listener(data, objects);
      } catch (error) {
        console.error("extension message listener failed:", error);
      }
    }
  }
}

// The host of this page (window.chrome.webview), or null outside WebView2Wrapper. Every call
// returns the same object.
let sharedHost;
export function connectHost() {
  if (sharedHost === undefined) {
    const channel = globalThis.chrome?.webview;
    sharedHost = channel ? new WrapperHost(channel) : null;
  }
  return sharedHost;
}
