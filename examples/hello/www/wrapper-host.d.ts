// Types of wrapper-host.js, the page's side of the WebView2Wrapper message protocol. Copy this
// file beside wrapper-host.js to have TypeScript check the messages and folder names you use.
//
//   import { connectHost } from "./wrapper-host.js";
//   type FromExtension = { type: "saved"; path: string };
//   type ToExtension = { command: "save"; text: string };
//   const host = connectHost<FromExtension, ToExtension>();
//   host?.sendToExtension({ command: "save", text: "..." });
//   host?.onExtensionMessage((message) => console.log(message.path));

/** A value that survives JSON.stringify and JSON.parse unchanged. */
export type JsonValue = string | number | boolean | null | JsonValue[] | { [key: string]: JsonValue };

/** The folders of the "directory-handles" message, in the order the host sends them. */
export declare const FOLDER_NAMES: readonly [
  "app",
  "webResource",
  "currentAppData",
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
];

/** The name of one of the thirteen folders the host hands the page. */
export type FolderName = (typeof FOLDER_NAMES)[number];

/** Folder name to a read-write directory handle, or null when the host sent none for it. */
export type Folders = { readonly [Name in FolderName]: FileSystemDirectoryHandle | null };

/** How many extension messages are kept for the first listener before the oldest are dropped. */
export declare const PENDING_MESSAGE_LIMIT: 1000;

// Messages from the page to the host (posted as JSON strings; WrapperHost writes them for you).

export interface WrapperInitMessage {
  type: "wrapper-init";
}
export interface SetFullscreenMessage {
  type: "set-fullscreen";
  fullscreen: boolean;
}
export interface SetWindowSizeMessage {
  type: "set-window-size";
  windowWidth: number;
  windowHeight: number;
}
export interface SetWindowPositionMessage {
  type: "set-window-position";
  windowX: number;
  windowY: number;
}

/** The members of a message for the extension library; "type" is set by sendToExtension. */
export type ExtensionPayload = { [key: string]: JsonValue } & { type?: never };

/** A message for the extension library as posted: its text reaches the library unchanged. */
export type ExtensionMessage<Payload extends ExtensionPayload = ExtensionPayload> = Omit<Payload, "type"> & {
  type: "extension-message";
};

/** Every message the host acts on. */
export type PageMessage =
  | WrapperInitMessage
  | SetFullscreenMessage
  | SetWindowSizeMessage
  | SetWindowPositionMessage
  | ExtensionMessage;

// Messages from the host to the page (event.data of window.chrome.webview's "message" event).

/** First answer to a handshake; the handles are in event.additionalObjects. */
export interface DirectoryHandlesMessage {
  type: "directory-handles";
}
/** Second answer to a handshake: the ids the extension library registered. */
export interface WrapperInitResponse {
  type: "wrapper-init-response";
  registeredComponentIds: string[];
}
/** The host's own messages; anything else comes from the extension library. */
export type HostMessage = DirectoryHandlesMessage | WrapperInitResponse;

/** What a handshake resolves with. */
export interface Handshake {
  readonly componentIds: readonly string[];
  readonly folders: Folders;
}

export interface HandshakeOptions {
  /** Milliseconds to wait for the host's answer before the promise is rejected (10000). */
  timeoutMs?: number;
}

/** The message event of window.chrome.webview, as far as WrapperHost reads it. */
export interface WrapperMessageEvent {
  data: unknown;
  additionalObjects?: ArrayLike<unknown>;
}

/** window.chrome.webview, or anything that posts and delivers messages like it. */
export interface WrapperChannel {
  postMessage(message: string): void;
  addEventListener(type: "message", listener: (event: WrapperMessageEvent) => void): void;
}

/**
 * The host of this page. `FromExtension` is the shape of the messages the extension library
 * sends, `ToExtension` the members of the messages the page sends it.
 */
export declare class WrapperHost<
  FromExtension = JsonValue,
  ToExtension extends ExtensionPayload = ExtensionPayload,
> {
  constructor(channel: WrapperChannel);
  /** Whether a handshake has been answered. */
  readonly connected: boolean;
  /** The ids the extension library registered, from the latest handshake. */
  readonly componentIds: readonly string[];
  /** The folders of the latest handshake; all null before the first one. */
  readonly folders: Folders;
  /** Extension messages dropped because too many came before any listener existed. */
  readonly droppedExtensionMessages: number;
  /** Asks for the handshake; every call gets the answer to its own request. */
  handshake(options?: HandshakeOptions): Promise<Handshake>;
  setFullscreen(fullscreen: boolean): void;
  /** The content area's size in 96-dpi units; finite numbers only (fractions are truncated). */
  setWindowSize(width: number, height: number): void;
  /** The window's top-left corner in 96-dpi screen units. */
  setWindowPosition(x: number, y: number): void;
  sendToExtension(message?: ToExtension): void;
  /**
   * Calls the listener for every host message outside the handshake, with the message's additional
   * objects as a frozen array (empty when it has none). Returns a function that removes it.
   */
  onExtensionMessage(
    listener: (message: FromExtension, additionalObjects: readonly unknown[]) => void,
  ): () => void;
}

/** The host of this page, or null outside WebView2Wrapper; every call returns the same object. */
export declare function connectHost<
  FromExtension = JsonValue,
  ToExtension extends ExtensionPayload = ExtensionPayload,
>(): WrapperHost<FromExtension, ToExtension> | null;
