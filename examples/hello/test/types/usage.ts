// Typed use of wrapper-host.js: this file must compile with `tsc --noEmit`, and every line after a
// `@ts-expect-error` must be refused (tsc reports an expect-error that has no error to excuse).
import {
  FOLDER_NAMES,
  PENDING_MESSAGE_LIMIT,
  WrapperHost,
  connectHost,
  type FolderName,
  type Folders,
  type HostMessage,
  type PageMessage,
  type WrapperChannel,
} from "../../www/wrapper-host.js";

type FromExtension = { type: "saved"; path: string } | { type: "progress"; percent: number };
type ToExtension = { command: "save"; text: string } | { command: "cancel" };

export async function typedUse(): Promise<void> {
  const host = connectHost<FromExtension, ToExtension>();
  if (host === null) return;
  const { componentIds, folders } = await host.handshake({ timeoutMs: 5000 });
  const ids: readonly string[] = componentIds;
  const documents: FileSystemDirectoryHandle | null = folders.documents;
  if (documents !== null) await documents.getFileHandle("save.json", { create: true });
  for (const name of FOLDER_NAMES) {
    const folder: FolderName = name;
    void host.folders[folder];
  }
  const first: "app" = FOLDER_NAMES[0];
  const limit: 1000 = PENDING_MESSAGE_LIMIT;
  host.setWindowSize(800, 600);
  host.setWindowPosition(-20, 40);
  host.setFullscreen(true);
  host.sendToExtension({ command: "save", text: "state" });
  host.sendToExtension({ command: "cancel" });
  const stop = host.onExtensionMessage((message) => {
    if (message.type === "saved") console.log(message.path.length);
    else console.log(message.percent.toFixed(0));
  });
  stop();
  const dropped: number = host.droppedExtensionMessages;
  void [ids, first, limit, dropped, host.connected];

  // Without type arguments: any JSON in, any JSON object out.
  const plain = connectHost();
  plain?.sendToExtension({ command: "ping", nested: { list: [1, "two", null, true] } });
  plain?.onExtensionMessage((data) => JSON.stringify(data));

  // The protocol's messages as plain values, for pages that talk to window.chrome.webview alone.
  const outgoing: PageMessage[] = [
    { type: "wrapper-init" },
    { type: "set-window-size", windowWidth: 800, windowHeight: 600 },
    { type: "set-window-position", windowX: 0, windowY: 0 },
    { type: "set-fullscreen", fullscreen: false },
    { type: "extension-message", command: "save" },
  ];
  const incoming: HostMessage = { type: "wrapper-init-response", registeredComponentIds: ["a"] };
  void [outgoing, incoming];
  const channel: WrapperChannel = { postMessage: () => {}, addEventListener: () => {} };
  void new WrapperHost(channel);
}

export async function misuse(host: WrapperHost<FromExtension, ToExtension>, folders: Folders): Promise<void> {
  // Folder names: misspelt, or not one of the thirteen.
  // @ts-expect-error "documnets" is not a folder name
  void folders.documnets;
  // @ts-expect-error the folders are read-only
  folders.app = null;
  // @ts-expect-error "temp" is not a folder name
  const wrongName: FolderName = "temp";
  // @ts-expect-error the list has thirteen names
  void FOLDER_NAMES[13].length;

  // Window requests take numbers and a boolean.
  // @ts-expect-error a string width
  host.setWindowSize("800", 600);
  // @ts-expect-error a missing height
  host.setWindowSize(800);
  // @ts-expect-error fullscreen takes a boolean
  host.setFullscreen("yes");
  // @ts-expect-error the timeout is a number of milliseconds
  await host.handshake({ timeoutMs: "5s" });

  // Extension messages of the declared shapes only.
  // @ts-expect-error an unknown command
  host.sendToExtension({ command: "delete" });
  // @ts-expect-error "save" needs its text
  host.sendToExtension({ command: "save" });
  host.onExtensionMessage((message) => {
    // @ts-expect-error "percent" exists only on "progress" messages
    void message.percent;
  });
  const untyped = connectHost();
  // @ts-expect-error "type" is set by sendToExtension itself
  untyped?.sendToExtension({ type: "extension-message", command: "x" });
  // @ts-expect-error functions are not JSON
  untyped?.sendToExtension({ callback: () => 1 });
  // @ts-expect-error undefined is not JSON
  untyped?.sendToExtension({ missing: undefined });

  // The protocol's messages with wrong members or types.
  // @ts-expect-error the host reads windowWidth and windowHeight, not width and height
  const wrongMembers: PageMessage = { type: "set-window-size", width: 800, height: 600 };
  // @ts-expect-error misspelt type
  const wrongType: PageMessage = { type: "set-fulscreen", fullscreen: true };
  // @ts-expect-error component ids are strings
  const wrongIds: HostMessage = { type: "wrapper-init-response", registeredComponentIds: [1] };
  // @ts-expect-error the channel carries strings
  const wrongChannel: WrapperChannel = { postMessage: (message: object) => message, addEventListener: () => {} };
  void [wrongName, wrongMembers, wrongType, wrongIds, wrongChannel];
}
