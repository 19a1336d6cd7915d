// The sample page: does the handshake through wrapper-host.js and shows what the host gave it.
import { FOLDER_NAMES, connectHost } from "./wrapper-host.js";

const status = document.getElementById("status");
const host = connectHost();

function showComponents(ids) {
  const list = document.getElementById("components");
  list.replaceChildren(...(ids.length ? ids : [null]).map((id) => {
    const item = document.createElement("li");
    item.textContent = id ?? "none (no extension library, or it registered nothing)";
    if (id === null) item.className = "none";
    return item;
  }));
}

function showFolders(folders) {
  const rows = FOLDER_NAMES.map((name) => {
    const handle = folders[name];
    const row = document.createElement("tr");
    const label = document.createElement("td");
    const state = document.createElement("td");
    label.textContent = name;
    state.textContent = handle ? `available${typeof handle.name === "string" ? ` (${handle.name})` : ""}` : "not available";
    state.className = handle ? "available" : "missing";
    row.append(label, state);
    return row;
  });
  document.querySelector("#folders tbody").replaceChildren(...rows);
}

function logExtension(direction, data) {
  const item = document.createElement("li");
  item.textContent = `${direction} ${JSON.stringify(data)}`;
  document.getElementById("extension-log").append(item);
}

function numbers(form, ...names) {
  const fields = new FormData(form);
  return names.map((name) => Number(fields.get(name)));
}

showFolders({});
if (!host) {
  status.textContent = "Not running inside WebView2Wrapper: window controls and folders are unavailable.";
} else {
  host.onExtensionMessage((data) => logExtension("←", data));

  document.getElementById("size-form").addEventListener("submit", (event) => {
    event.preventDefault();
    host.setWindowSize(...numbers(event.target, "width", "height"));
  });
  document.getElementById("position-form").addEventListener("submit", (event) => {
    event.preventDefault();
    host.setWindowPosition(...numbers(event.target, "x", "y"));
  });
  let fullscreen = false;
  const fullscreenButton = document.getElementById("fullscreen");
  fullscreenButton.addEventListener("click", () => {
    fullscreen = !fullscreen;
    host.setFullscreen(fullscreen);
    fullscreenButton.textContent = fullscreen ? "Leave fullscreen" : "Fullscreen";
  });
  document.getElementById("extension-form").addEventListener("submit", (event) => {
    event.preventDefault();
    const message = { text: new FormData(event.target).get("text") };
    host.sendToExtension(message);
    logExtension("→", message);
  });

  host.handshake().then(({ componentIds, folders }) => {
    const count = FOLDER_NAMES.filter((name) => folders[name]).length;
    status.textContent = `Connected: ${componentIds.length} component(s), ${count} of ${FOLDER_NAMES.length} folders.`;
    showComponents(componentIds);
    showFolders(folders);
  }, (error) => {
    status.textContent = error.message;
    status.className = "error";
  });
}
