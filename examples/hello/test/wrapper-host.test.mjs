// Tests of the page-side protocol module against a stand-in for window.chrome.webview.
// Run: node --test examples/hello/test/
import assert from "node:assert/strict";
import { test } from "node:test";

import { FOLDER_NAMES, PENDING_MESSAGE_LIMIT, WrapperHost, connectHost } from "../www/wrapper-host.js";

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

test("a timed-out handshake keeps its place: its late answer never resolves the next call", async () => {
  const channel = new Channel();
  const host = new WrapperHost(channel);
  const first = host.handshake({ timeoutMs: 20 });
  await assert.rejects(first, /did not answer/);
  // The caller tries again before the host has answered the first request.
  const second = host.handshake({ timeoutMs: 2000 });
  let settled = false;
  second.then(() => { settled = true; }, () => { settled = true; });
  assert.deepEqual(channel.sent(), [{ type: "wrapper-init" }, { type: "wrapper-init" }]);

  // The first request's late answer: taken in (fresh state) but handed to nobody.
  channel.deliver({ type: "directory-handles" }, FOLDER_NAMES.map(() => handle("late")));
  channel.deliver({ type: "wrapper-init-response", registeredComponentIds: ["late"] });
  await new Promise((resolve) => setTimeout(resolve, 10));
  assert.equal(settled, false, "the late answer must not resolve the second call");
  assert.equal(host.folders.app.name, "late");

  // The second request's own answer resolves it.
  channel.deliver({ type: "directory-handles" }, FOLDER_NAMES.map(() => handle("own")));
  channel.deliver({ type: "wrapper-init-response", registeredComponentIds: ["own"] });
  const answer = await second;
  assert.deepEqual(answer.componentIds, ["own"]);
  assert.equal(answer.folders.documents.name, "own");

  // Two timed-out calls in a row, then one that waits: only the third answer is its own.
  const lost = [host.handshake({ timeoutMs: 5 }), host.handshake({ timeoutMs: 5 })];
  for (const call of lost) await assert.rejects(call, /did not answer/);
  const third = host.handshake({ timeoutMs: 2000 });
  for (const ids of [["one"], ["two"], ["three"]]) {
    channel.deliver({ type: "wrapper-init-response", registeredComponentIds: ids });
  }
  assert.deepEqual((await third).componentIds, ["three"]);
  // Answers with no request at all (another page's handshake) go to nobody either.
  channel.deliver({ type: "wrapper-init-response", registeredComponentIds: ["stray"] });
  assert.deepEqual(host.componentIds, ["stray"]);
});

test("extension messages before the first listener are delivered to it, in order", async () => {
  const channel = new Channel();
  const host = new WrapperHost(channel);
  const handshake = host.handshake({ timeoutMs: 1000 });
  // The extension's queued messages follow the handshake's answer, before the page listens.
  channel.deliver({ type: "directory-handles" }, FOLDER_NAMES.map(() => handle("h")));
  channel.deliver({ type: "wrapper-init-response", registeredComponentIds: ["ext"] });
  channel.deliver({ type: "queued", n: 1 });
  channel.deliver("second", [handle("attached")]);
  channel.deliver({ type: "queued", n: 3 });
  await handshake;

  const seen = [];
  host.onExtensionMessage((data, objects) => seen.push([data, objects.length]));
  // A message that arrives before the kept ones have been handed over queues behind them.
  channel.deliver({ type: "live", n: 4 });
  await Promise.resolve();
  assert.deepEqual(seen, [[{ type: "queued", n: 1 }, 0], ["second", 1], [{ type: "queued", n: 3 }, 0],
    [{ type: "live", n: 4 }, 0]]);
  channel.deliver({ type: "live", n: 5 });
  assert.deepEqual(seen.at(-1), [{ type: "live", n: 5 }, 0], "later messages arrive at once");

  // Handed over once only: a second listener sees only what comes after it.
  const later = [];
  host.onExtensionMessage((data) => later.push(data));
  await Promise.resolve();
  assert.deepEqual(later, []);
  assert.equal(host.droppedExtensionMessages, 0);
});

test("at most the latest PENDING_MESSAGE_LIMIT messages are kept for a listener", async () => {
  assert.equal(PENDING_MESSAGE_LIMIT, 1000);
  const channel = new Channel();
  const host = new WrapperHost(channel);
  const total = PENDING_MESSAGE_LIMIT + 250;
  for (let n = 0; n < total; n++) channel.deliver({ n });
  assert.equal(host.droppedExtensionMessages, 250);
  const seen = [];
  // A listener that removes itself at once takes one message; the rest wait for the next.
  const stop = host.onExtensionMessage((data) => { seen.push(data.n); stop(); });
  await Promise.resolve();
  assert.deepEqual(seen, [250], "the oldest were dropped");
  const rest = [];
  host.onExtensionMessage((data) => rest.push(data.n));
  await Promise.resolve();
  assert.equal(rest.length, PENDING_MESSAGE_LIMIT - 1);
  assert.equal(rest[0], 251);
  assert.equal(rest.at(-1), total - 1);
  assert.ok(rest.every((n, i) => i === 0 || n === rest[i - 1] + 1), "in order");
  assert.throws(() => host.onExtensionMessage("not a function"), TypeError);
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
  const stop = host.onExtensionMessage((data, objects) =>
    seen.push([data, Array.isArray(objects) && Object.isFrozen(objects) ? objects.length : "not an array"]));
  host.onExtensionMessage(() => { throw new Error("a failing listener stops no other"); });
  const originalError = console.error;
  console.error = () => {};
  try {
    channel.deliver({ type: "pong", value: 2 });
    channel.deliver("plain text", { length: 1, 0: handle("file") });
    channel.deliver({ type: "directory-handles" }, [handle("app")]);
    channel.deliver({ type: "wrapper-init-response", registeredComponentIds: [] });
    stop();
    channel.deliver({ type: "after" });
  } finally {
    console.error = originalError;
  }
  assert.deepEqual(seen, [[{ type: "pong", value: 2 }, 0], ["plain text", 1]]);
});

test("outside the host there is no channel", () => {
  assert.equal(connectHost(), null);
  assert.throws(() => new WrapperHost(undefined), /not running inside/);
});
