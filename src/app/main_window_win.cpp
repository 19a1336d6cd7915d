#include "app/main_window_win.h"

#include <gdiplus.h>

#include "app/paths_win.h"
#include "app/window_events_win.h"

ATOM RegisterAppWindowClass(HINSTANCE instance, WNDPROC procedure, HICON icon, int brushValue,
                            const wchar_t* className) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hIconSm = icon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(brushValue));
    windowClass.lpszClassName = className;
    return RegisterClassExW(&windowClass);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_MOVE:
        case WM_MOVING:
            OnMainWindowMoved();
            return 0;
        case WM_SIZE:
            OnMainWindowMinimised(wParam == SIZE_MINIMIZED);
            OnMainWindowResized();
            return 0;
        case WM_ACTIVATE: {
            const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
            if (LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0) OnMainWindowActivated();
            return result;
        }
        case WM_SETFOCUS:
            OnMainWindowActivated();
            return 0;
        case kStartFailedMessage:
            OnStartFailed();
            return 0;
        case kRecreateWebViewMessage:
            OnRecreateWebView();
            return 0;
        case kAppStoppedMessage:
            OnAppStopped();
            return 0;
        case kPageUnresponsiveMessage:
            OnPageUnresponsive();
            return 0;
        case kAfterCallbackMessage:
            OnAfterCallback();
            return 0;
        case WM_CLOSE:
            OnMainWindowClosing();
            return DefWindowProcW(window, message, wParam, lParam);
        case WM_SYSCOMMAND:
            // Keyboard access to the window menu (F10, Alt, Alt+key) is swallowed; mouse-driven
            // system commands keep their default handling.
            if (wParam == SC_KEYMENU && static_cast<LONG_PTR>(lParam) < 0x10000) return 0;
            return DefWindowProcW(window, message, wParam, lParam);
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

HICON LoadIconFromImage(const std::string& path) {
    const std::wstring widePath = AddLongPathPrefix(ToWide(path));
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromFile(widePath.c_str(), &bitmap) != Gdiplus::Ok ||
        bitmap == nullptr) {
        return nullptr;
    }
    HICON icon = nullptr;
    const Gdiplus::GpStatus status = Gdiplus::DllExports::GdipCreateHICONFromBitmap(bitmap, &icon);
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
    return status == Gdiplus::Ok ? icon : nullptr;
}
