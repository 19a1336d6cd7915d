// Tests of the page-side protocol module against a stand-in for window.chrome.webview.
// Run: node --test examples/hello/test/
import assert from "node:assert/strict";
import { test } from "node:test";

import { FOLDER_NAMES, WrapperHost, connectHost } from "../www/wrapper-host.js";

// Records what the page posts and lets the test play the host's messages.
class Channel {
  posted = [];
  #listeners = [];
  postMessage(value) { this.posted.push(value); }
  addEventListener(type, listener) { if (type === "message") this.#listeners.push(listener); }
  deliver(data, additionalObjects = []) {
    for (const listener of this.#listeners) listener({ data, additionalObjects });
  }
  sent() { return this.posted.map((text) => JSON.parse(text)); }
}

const handle = (name) => ({ kind: "directory", name });

test("the handshake keeps the thirteen handles by their order", async () => {
  assert.deepEqual(FOLDER_NAMES, ["app", "webResource", "currentAppData", "localAppData",
    "roamingAppData", "desktop", "documents", "downloads", "pictures", "profile", "savedGames",
    "screenshots", "videos"]);
  const channel = new Channel();
  const host = new WrapperHost(channel);
  assert.equal(host.connected, false);
  assert.ok(FOLDER_NAMES.every((name) => host.folders[name] === null));

  const answer = host.handshake({ timeoutMs: 1000 });
  // Posted as a string holding JSON, never as an object.
  assert.deepEqual(channel.posted, ['{"type":"wrapper-init"}']);
  const objects = FOLDER_NAMES.map((name) => (name === "screenshots" ? null : handle(name)));
  channel.deliver({ type: "directory-handles" }, objects);
  assert.equal(host.connected, false, "connected only once the answer has come");
  channel.deliver({ type: "wrapper-init-response", registeredComponentIds: ["a", "a", "b"] });

  const { componentIds, folders } = await answer;
  assert.deepEqual(componentIds, ["a", "a", "b"]);
  assert.equal(folders.app.name, "app");
  assert.equal(folders.webResource.name, "webResource");
  assert.equal(folders.videos.name, "videos");
  assert.equal(folders.screenshots, null);
  assert.equal(host.connected, true);
  assert.equal(host.folders, folders);

  // A second handshake brings fresh handles; one without handles (older runtime) leaves none.
  const again = host.handshake({ timeoutMs: 1000 });
  channel.deliver({ type: "directory-handles" }, FOLDER_NAMES.map(() => handle("fresh")));
  channel.deliver({ type: "wrapper-init-response", registeredComponentIds: [] });
  assert.equal((await again).folders.documents.name, "fresh");
  const old = host.handshake({ timeoutMs: 1000 });
  channel.deliver({ type: "wrapper-init-response", registeredComponentIds: ["x", 5] });
  const oldAnswer = await old;
  assert.deepEqual(oldAnswer.componentIds, ["x"]);
  assert.ok(FOLDER_NAMES.every((name) => oldAnswer.folders[name] === null));
});

test("a handshake the host never answers is rejected", async () => {
  const channel = new Channel();
  const host = new WrapperHost(channel);
  await assert.rejects(host.handshake({ timeoutMs: 20 }), /did not answer/);
  // A late answer goes to nobody and breaks nothing.
  channel.deliver({ type: "wrapper-init-response", registeredComponentIds: [] });
  assert.equal(host.connected, true);
});

test("window requests carry numbers in the host's member names", () => {
  const channel = new Channel();
  const host = new WrapperHost(channel);
  host.setWindowSize(800.9, 600);
  host.setWindowPosition(-50, 10);
  host.setFullscreen(1);
  host.setFullscreen(false);
  assert.deepEqual(channel.sent(), [
    { type: "set-window-size", windowWidth: 800, windowHeight: 600 },
    { type: "set-window-position", windowX: -50, windowY: 10 },
    { type: "set-fullscreen", fullscreen: true },
    { type: "set-fullscreen", fullscreen: false },
  ]);
  for (const bad of ["800", NaN, Infinity, undefined]) {
    assert.throws(() => host.setWindowSize(bad, 600), TypeError);
    assert.throws(() => host.setWindowPosition(0, bad), TypeError);
  }
  assert.equal(channel.posted.length, 4, "nothing posted for refused values");
});

test("extension messages go out typed and come back to the listeners only", () => {
  const channel = new Channel();
  const host = new WrapperHost(channel);
  host.sendToExtension({ command: "ping", type: "ignored", nested: { n: 1 } });
  host.sendToExtension();
  assert.deepEqual(channel.sent(), [
    { command: "ping", type: "extension-message", nested: { n: 1 } },
    { type: "extension-message" },
  ]);

  const seen = [];
  const stop = host.onExtensionMessage((data, objects) => seen.push([data, objects.length]));
  host.onExtensionMessage(() => { throw new Error("a failing listener stops no other"); });
  const originalError = console.error;
  console.error = () => {};
  try {
    channel.deliver({ type: "pong", value: 2 });
    channel.deliver("plain text");
    channel.deliver({ type: "directory-handles" }, [handle("app")]);
    channel.deliver({ type: "wrapper-init-response", registeredComponentIds: [] });
    stop();
    channel.deliver({ type: "after" });
  } finally {
    console.error = originalError;
  }
  assert.deepEqual(seen, [[{ type: "pong", value: 2 }, 0], ["plain text", 0]]);
});

test("outside the host there is no channel", () => {
  assert.equal(connectHost(), null);
  assert.throws(() => new WrapperHost(undefined), /not running inside/);
});
