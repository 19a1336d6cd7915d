#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "webview/shared_mapping_win.h"

class AssetBundle;

// The whole life of the host: start-up, message loop and teardown. Returns the exit code.
int RunHost(HINSTANCE instance);

// The message loop of start-up step 18 (messages of every window: `filter` null). Returns the
// exit code: the wParam of WM_QUIT, or 1 when GetMessageW fails.
int RunMessageLoop(HWND filter = nullptr);

// Maps the bundle file at `path` (long-path form), or the `length` bytes at `offset` of it (a
// bundle inside a one-file executable), and loads its directory into `bundle`, which then reads
// from the view; `loaded` tells whether the directory was read completely. The mapping is
// returned even when loading failed, since entries read before the failure point into it; null
// when the file cannot be mapped.
std::shared_ptr<const SharedMapping> MapBundle(const std::wstring& path, AssetBundle& bundle,
                                               bool& loaded, std::uint64_t offset = 0,
                                               std::uint64_t length = 0);
