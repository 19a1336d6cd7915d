// Asks the host for its handshake and shows the answer.
const status = document.getElementById("status");
if (window.chrome && window.chrome.webview) {
  window.chrome.webview.addEventListener("message", (event) => {
    if (event.data && event.data.type === "wrapper-init-response") {
      status.textContent = "Connected. Components: " +
        JSON.stringify(event.data.registeredComponentIds);
    }
  });
  window.chrome.webview.postMessage(JSON.stringify({ type: "wrapper-init" }));
} else {
  status.textContent = "Not running inside the host.";
}
