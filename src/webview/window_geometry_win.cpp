// Fullscreen, window size and window position, as the page asks for them.
#include "app/ui_services_win.h"
#include "webview/veltra_webview_win.h"

namespace {

constexpr LONG kFullscreenStyleMask = WS_CAPTION | WS_THICKFRAME;  // 0x00C40000
constexpr LONG kFullscreenExStyleMask =
    WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE;  // 0x00020301

}  // namespace

void VeltraWebView::SetFullscreen(bool fullscreen) {
    if (fullscreen == isFullscreen) return;
    isFullscreen = fullscreen;
    RECT target{};
    if (fullscreen) {
        savedStyle = GetWindowLongW(window, GWL_STYLE);
        savedExStyle = GetWindowLongW(window, GWL_EXSTYLE);
        GetWindowRect(window, &savedRect);
        SetWindowLongW(window, GWL_STYLE, savedStyle & ~kFullscreenStyleMask);
        SetWindowLongW(window, GWL_EXSTYLE, savedExStyle & ~kFullscreenExStyleMask);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
        target = monitor.rcMonitor;
    } else {
        SetWindowLongW(window, GWL_STYLE, savedStyle);
        SetWindowLongW(window, GWL_EXSTYLE, savedExStyle);
        target = savedRect;
    }
    SetWindowPos(window, nullptr, target.left, target.top, target.right - target.left,
                 target.bottom - target.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    if (taskbarList == nullptr) {
        ComPtr<ITaskbarList2> created;
        if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_PPV_ARGS(&created))) &&
            SUCCEEDED(created->HrInit())) {
            taskbarList = created;
        }
    }
    if (taskbarList != nullptr) taskbarList->MarkFullscreenWindow(window, fullscreen ? TRUE : FALSE);
}

void VeltraWebView::SetWindowSize(int width, int height) {
    if (isFullscreen || width <= 0 || height <= 0) return;
    const auto style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
    const int clientHeight = ScaleForDpi(height);
    const int clientWidth = ScaleForDpi(width);
    const OuterSize outer = OuterSizeForClient(clientWidth, clientHeight, style, exStyle);
    SetWindowPos(window, nullptr, 0, 0, outer.width, outer.height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void VeltraWebView::SetWindowPosition(int x, int y) {
    if (isFullscreen) return;
    const int screenY = ScaleForDpi(y);
    const int screenX = ScaleForDpi(x);
    SetWindowPos(window, nullptr, screenX, screenY, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
