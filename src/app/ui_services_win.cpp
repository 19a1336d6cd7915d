#include "app/ui_services_win.h"

#include <cmath>
#include <limits>

namespace {

float g_dpiScale = 0.0f;

}  // namespace

void ShowMessage(const std::wstring& text, const std::wstring& caption, UINT icon) {
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | icon);
}

int ScaleLength(int length, float scale) {
    const double scaled = std::ceil(static_cast<double>(static_cast<float>(length) * scale));
    if (std::isnan(scaled)) return 0;
    if (scaled >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    if (scaled <= static_cast<double>(std::numeric_limits<int>::min())) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(scaled);
}

int ScaleForDpi(int length) {
    if (g_dpiScale == 0.0f) {
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
        ReleaseDC(nullptr, screen);
        g_dpiScale = static_cast<float>(dpi) / 96.0f;
    }
    return ScaleLength(length, g_dpiScale);
}

OuterSize OuterSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle) {
    RECT rect{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    return {rect.right - rect.left, rect.bottom - rect.top};
}
