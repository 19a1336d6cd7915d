// What the main window tells the WebView host about its own moves and size changes, and the
// message by which the host reports a failed start from the message loop.
#pragma once

#include <windows.h>

// Posted to the main window when the WebView2 control cannot be started: the box that says so is
// shown from the message loop, never inside a WebView2 callback.
inline constexpr UINT kStartFailedMessage = WM_APP + 2;
// Posted to the main window when a WebView2 callback left work to be done once it has returned
// (an extension's message, a URI to open): the work runs from the message loop.
inline constexpr UINT kAfterCallbackMessage = WM_APP + 3;
// Posted by the WebView host when a runtime process failed and it has more to do than a callback
// may: make the control anew after the browser process exited, say that the app stopped after its
// page's renderer failed too often, ask whether to wait for a page that does not respond.
inline constexpr UINT kRecreateWebViewMessage = WM_APP + 4;
inline constexpr UINT kAppStoppedMessage = WM_APP + 5;
inline constexpr UINT kPageUnresponsiveMessage = WM_APP + 6;

// These do nothing until the WebView host and its controller exist.
void OnMainWindowMoved();
void OnMainWindowResized();
// The window was activated (not minimised) or got the keyboard focus: the page takes the focus,
// which the runtime never gives back by itself, so that keys reach it without a click.
void OnMainWindowActivated();
// The window was minimised (the page stops rendering) or shown again after that.
void OnMainWindowMinimised(bool minimised);
// Shows the start-failure box and ends the message loop with exit code 1.
void OnStartFailed();
// Runs the work WebView2 callbacks left for after their return (kAfterCallbackMessage).
void OnAfterCallback();
// The main window is about to be destroyed (WM_CLOSE): no WebView2 event reaches the host any
// more and the control is closed while its parent window still exists.
void OnMainWindowClosing();
// The handlers of the three messages above.
void OnRecreateWebView();
void OnAppStopped();
void OnPageUnresponsive();
