// What the main window tells the WebView host about its own moves and size changes, and the
// message by which the host reports a failed start from the message loop.
#pragma once

#include <windows.h>

// Posted to the main window when the WebView2 control cannot be started: the box that says so is
// shown from the message loop, never inside a WebView2 callback.
inline constexpr UINT kStartFailedMessage = WM_APP + 2;

// Both do nothing until the WebView host and its controller exist.
void OnMainWindowMoved();
void OnMainWindowResized();
// Shows the start-failure box and ends the message loop with exit code 1.
void OnStartFailed();
