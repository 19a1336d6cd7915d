#pragma once

#include <windows.h>

// The whole life of the host: start-up, message loop and teardown. Returns the exit code.
int RunHost(HINSTANCE instance);

// The message loop of start-up step 18 (messages of every window: `filter` null). Returns the
// exit code: the wParam of WM_QUIT, or 1 when GetMessageW fails.
int RunMessageLoop(HWND filter = nullptr);
