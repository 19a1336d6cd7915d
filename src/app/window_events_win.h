// What the main window tells the WebView host about its own moves and size changes.
#pragma once

// Both do nothing until the WebView host and its controller exist.
void OnMainWindowMoved();
void OnMainWindowResized();
