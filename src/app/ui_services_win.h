// Small user-interface services shared by start-up, the main window, the WebView host and the
// runtime installer: message boxes, the screen's DPI scale and outer window sizes. They depend on
// nothing else of the host, so that those modules need not depend on one another for them.
#pragma once

#include <windows.h>

#include <string>

inline constexpr wchar_t kFallbackCaption[] = L"Windows WebView2 wrapper";

// A modal box without owner window.
void ShowMessage(const std::wstring& text, const std::wstring& caption, UINT icon);

// A 96-dpi length in screen pixels, rounded up. The screen's scale is measured once, on first use;
// results outside the 32-bit range saturate.
int ScaleForDpi(int length);
// The pure part of ScaleForDpi, for a given scale.
int ScaleLength(int length, float scale);

struct OuterSize {
    int width;
    int height;
};
// The outer size of a window without menu whose client area has the given size.
OuterSize OuterSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle);
