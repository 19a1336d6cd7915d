#include "live_view.h"

#include <wincodec.h>

#include <utility>

#include "com_support.h"

namespace substitute {
namespace {

constexpr wchar_t kClassName[] = L"WrapperSubstitutePageView";

int Modifiers() {
    int modifiers = 0;
    if (GetKeyState(VK_MENU) < 0) modifiers |= 1;
    if (GetKeyState(VK_CONTROL) < 0) modifiers |= 2;
    if (GetKeyState(VK_SHIFT) < 0) modifiers |= 8;
    return modifiers;
}

// The DOM names of a key, KeyboardEvent's `key` and `code`, for the keys games and forms use (a US
// layout); empty for others. Without them a page's keydown listener sees no key at all.
std::pair<std::string, std::string> KeyNames(WPARAM key) {
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const auto named = [](const char* prefix, std::string tail) {
        std::string name(prefix);
        name.append(tail);
        return name;
    };
    if (key >= 'A' && key <= 'Z') {
        const char letter = static_cast<char>(shift ? key : key - 'A' + 'a');
        return {std::string(1, letter), named("Key", std::string(1, static_cast<char>(key)))};
    }
    if (key >= '0' && key <= '9') {
        const std::string digit(1, static_cast<char>(key));
        return {shift ? std::string() : digit, named("Digit", digit)};
    }
    if (key >= VK_F1 && key <= VK_F12) {
        const std::string name = named("F", std::to_string(key - VK_F1 + 1));
        return {name, name};
    }
    struct Named {
        WPARAM key;
        const char* name;
        const char* code;
    };
    static constexpr Named kNamed[] = {
        {VK_LEFT, "ArrowLeft", "ArrowLeft"}, {VK_RIGHT, "ArrowRight", "ArrowRight"},
        {VK_UP, "ArrowUp", "ArrowUp"},       {VK_DOWN, "ArrowDown", "ArrowDown"},
        {VK_RETURN, "Enter", "Enter"},       {VK_ESCAPE, "Escape", "Escape"},
        {VK_SPACE, " ", "Space"},            {VK_TAB, "Tab", "Tab"},
        {VK_BACK, "Backspace", "Backspace"}, {VK_DELETE, "Delete", "Delete"},
        {VK_HOME, "Home", "Home"},           {VK_END, "End", "End"},
        {VK_PRIOR, "PageUp", "PageUp"},      {VK_NEXT, "PageDown", "PageDown"},
        {VK_SHIFT, "Shift", "ShiftLeft"},    {VK_CONTROL, "Control", "ControlLeft"},
        {VK_MENU, "Alt", "AltLeft"},
    };
    for (const Named& entry : kNamed) {
        if (entry.key == key) return {entry.name, entry.code};
    }
    return {};
}

// Decodes an image into top-down 32-bit BGRA pixels.
bool Decode(const std::string& encoded, std::vector<unsigned char>& pixels, UINT& width,
            UINT& height) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    if (encoded.empty() ||
        FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory))) ||
        FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(
            reinterpret_cast<BYTE*>(const_cast<char*>(encoded.data())),
            static_cast<DWORD>(encoded.size()))) ||
        FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr,
                                                WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)) || FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0)
        return false;
    pixels.resize(static_cast<std::size_t>(width) * height * 4);
    return SUCCEEDED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(pixels.size()),
                                           pixels.data()));
}

}  // namespace

LiveView::LiveView(HWND parent, std::function<void(const Json&)> send) : send_(std::move(send)) {
    comStarted_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &LiveView::WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = kClassName;
        return RegisterClassExW(&windowClass) != 0;
    }();
    if (!registered || parent == nullptr) return;
    window_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0,
                              0, parent, nullptr, GetModuleHandleW(nullptr), this);
}

LiveView::~LiveView() {
    if (window_ != nullptr) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (comStarted_) CoUninitialize();
}

void LiveView::SetBounds(const RECT& bounds) {
    if (window_ == nullptr) return;
    SetWindowPos(window_, HWND_TOP, bounds.left, bounds.top, bounds.right - bounds.left,
                 bounds.bottom - bounds.top, SWP_NOACTIVATE);
}

void LiveView::SetVisible(bool visible) {
    if (window_ != nullptr) ShowWindow(window_, visible ? SW_SHOWNA : SW_HIDE);
}

void LiveView::ShowFrame(const std::string& encoded, double time) {
    std::vector<unsigned char> pixels;
    UINT width = 0, height = 0;
    if (window_ == nullptr || !Decode(encoded, pixels, width, height)) return;
    pixels_ = std::move(pixels);
    frameWidth_ = width;
    frameHeight_ = height;
    frameTime_ = time;
    framePainted_ = false;
    InvalidateRect(window_, nullptr, FALSE);
}

void LiveView::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    RECT client;
    GetClientRect(window_, &client);
    if (pixels_.empty()) {
        FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    } else {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = static_cast<LONG>(frameWidth_);
        info.bmiHeader.biHeight = -static_cast<LONG>(frameHeight_);
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        SetStretchBltMode(dc, HALFTONE);
        StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, static_cast<int>(frameWidth_),
                      static_cast<int>(frameHeight_), pixels_.data(), &info, DIB_RGB_COLORS,
                      SRCCOPY);
    }
    EndPaint(window_, &paint);
    if (!std::exchange(framePainted_, true) && painted_) painted_(frameTime_);
}

void LiveView::Mouse(const char* type, LPARAM lParam, const char* button, int clicks, int deltaY) {
    POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (deltaY != 0) ScreenToClient(window_, &point);  // wheel positions are screen positions
    Json params{{"type", type},     {"x", point.x / scale_},  {"y", point.y / scale_},
                {"button", button}, {"clickCount", clicks},   {"modifiers", Modifiers()}};
    if (deltaY != 0) {
        params["deltaX"] = 0;
        params["deltaY"] = -deltaY;
    }
    send_(Json{{"method", "Input.dispatchMouseEvent"}, {"params", std::move(params)}});
}

void LiveView::Key(const char* type, WPARAM virtualKey, const std::string& text) {
    Json params{{"type", type}, {"modifiers", Modifiers()}};
    if (text.empty()) {
        params["windowsVirtualKeyCode"] = static_cast<int>(virtualKey);
        params["nativeVirtualKeyCode"] = static_cast<int>(virtualKey);
        auto [name, code] = KeyNames(virtualKey);
        if (!name.empty()) params["key"] = std::move(name);
        if (!code.empty()) params["code"] = std::move(code);
    } else {
        params["text"] = text;
        params["unmodifiedText"] = text;
    }
    send_(Json{{"method", "Input.dispatchKeyEvent"}, {"params", std::move(params)}});
}

LRESULT LiveView::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_MOUSEMOVE:
            Mouse("mouseMoved", lParam, (wParam & MK_LBUTTON) ? "left" : "none", 0);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            SetFocus(window_);
            SetCapture(window_);
            Mouse("mousePressed", lParam, message == WM_LBUTTONDOWN ? "left" : "right", 1);
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
            ReleaseCapture();
            Mouse("mouseReleased", lParam, message == WM_LBUTTONUP ? "left" : "right", 1);
            return 0;
        case WM_MOUSEWHEEL:
            Mouse("mouseWheel", lParam, "none", 0, GET_WHEEL_DELTA_WPARAM(wParam));
            return 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            Key("rawKeyDown", wParam);
            break;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            Key("keyUp", wParam);
            break;
        case WM_CHAR: {
            const auto unit = static_cast<wchar_t>(wParam);
            if (unit >= 0xD800 && unit < 0xDC00) {
                highSurrogate_ = unit;
                return 0;
            }
            std::wstring text;
            if (highSurrogate_ != 0 && unit >= 0xDC00 && unit < 0xE000) text.push_back(highSurrogate_);
            highSurrogate_ = 0;
            text.push_back(unit);
            Key("char", 0, ToUtf8(text));
            return 0;
        }
        case WM_GETDLGCODE:
            return DLGC_WANTALLKEYS | DLGC_WANTCHARS;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK LiveView::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* view = reinterpret_cast<LiveView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (view == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    try {
        if (view->window_ == nullptr) view->window_ = window;
        return view->Handle(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace substitute
