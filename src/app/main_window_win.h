// The main window: class, style, window procedure and the window icon.
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

// An icon made through GDI+ from any image file it decodes, or null. GDI+ must be started.
HICON LoadIconFromImage(const std::string& path);
