#include "app/window_events_win.h"

// The WebView host does not exist yet in this build step: nothing follows the window.
void OnMainWindowMoved() {}
void OnMainWindowResized() {}
