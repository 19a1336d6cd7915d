// The main window: class, style, window procedure, DPI scaling and the window icon.
#pragma once

#include <windows.h>

#include <string>

inline constexpr wchar_t kMainWindowClass[] = L"WindowsWebview2Wrapper";
inline constexpr DWORD kResizableStyle = WS_OVERLAPPEDWINDOW;  // 0x00CF0000
inline constexpr DWORD kFixedSizeStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // 0x00CA0000

// Registers a class with both redraw styles, the given icon for both sizes, the arrow cursor and
// the system-colour brush `brushValue` (a colour index plus one). 0 on failure.
ATOM RegisterAppWindowClass(HINSTANCE instance, WNDPROC procedure, HICON icon, int brushValue,
                            const wchar_t* className);

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A 96-dpi length in screen pixels, rounded up. The screen's scale is measured once, on first use;
// results outside the 32-bit range saturate.
int ScaleForDpi(int length);
// The pure part of ScaleForDpi, for a given scale.
int ScaleLength(int length, float scale);

struct OuterSize {
    int width;
    int height;
};
OuterSize OuterSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle);

// An icon made through GDI+ from any image file it decodes, or null. GDI+ must be started.
HICON LoadIconFromImage(const std::string& path);
