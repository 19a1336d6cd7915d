#include "controller.h"

#include <cstdio>
#include <memory>

#include "runtime.h"

namespace substitute {
namespace {

constexpr char kObject[] = "controller";

const char* FocusReasonName(COREWEBVIEW2_MOVE_FOCUS_REASON reason) {
    switch (reason) {
        case COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC:
            return "programmatic";
        case COREWEBVIEW2_MOVE_FOCUS_REASON_NEXT:
            return "next";
        case COREWEBVIEW2_MOVE_FOCUS_REASON_PREVIOUS:
            return "previous";
    }
    return "unknown-value";
}

Json WindowJson(HWND window) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    return text;
}

// A hidden child of the parent window that outlives the controller: when the parent goes, it
// writes a "parentDestroyed" line saying whether the host had called Close and which of the
// host's callbacks (if any) was running.
LRESULT CALLBACK ParentWatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* closeCalled =
        reinterpret_cast<std::shared_ptr<bool>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_DESTROY && closeCalled != nullptr) {
        const char* callback = Dispatcher::Get().CurrentCallback();
        Record("parentDestroyed",
               Json{{"closeCalled", **closeCalled},
                    {"insideCallback", callback != nullptr ? Json(callback) : Json()}});
    } else if (message == WM_NCDESTROY && closeCalled != nullptr) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete closeCalled;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Registers a window class of the substitute's for its child windows; true when it can be used.
bool RegisterChildClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass) != 0;
}

void WatchParent(HWND parent, const std::shared_ptr<bool>& closeCalled) {
    static const bool registered =
        RegisterChildClass(L"WrapperSubstituteParentWatch", ParentWatchProc);
    if (!registered || parent == nullptr) return;
    HWND watch = CreateWindowExW(0, L"WrapperSubstituteParentWatch", L"", WS_CHILD, 0, 0, 0, 0,
                                 parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (watch == nullptr) return;
    SetWindowLongPtrW(watch, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(new std::shared_ptr<bool>(closeCalled)));
}

}  // namespace

Controller::Controller(ComPtr<WebView> webview, HWND parent)
    : ComObject(kObject), webview_(std::move(webview)), parent_(parent) {
    ShareClosedFlag(webview_->Closed());
    webview_->AttachController(this);
    WatchParent(parent, closeCalled_);
    // The monitor's scale, as the runtime reads it for the parent window (144 dpi: 1.5).
    if (parent != nullptr) {
        const HDC screen = GetDC(parent);
        const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
        if (screen != nullptr) ReleaseDC(parent, screen);
        if (dpi > 0) scale_ = dpi / 96.0;
    }
    webview_->ScaleChanged(scale_);
    // The page's share of the keyboard: a child window that takes the focus on MoveFocus (the
    // Chromium driver's live view takes it instead). It goes with the parent window.
    // A class of its own, as the runtime's windows have: a system class such as STATIC would make
    // Wine load the common controls into the host (the host's manifest asks for version 6), a
    // cost of the substitute's, not the host's, in every start-up.
    static const bool focusClass = RegisterChildClass(L"WrapperSubstituteFocus", DefWindowProcW);
    if (parent != nullptr && focusClass) {
        focus_ = CreateWindowExW(0, L"WrapperSubstituteFocus", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0,
                                 0, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
        webview_->SetFocusWindow(focus_);
    }
}

// The last reference going closes the controller, as Close would.
Controller::~Controller() {
    webview_->SetClosedBy("release");
    Shut();
    webview_->SetFocusWindow(nullptr);
    if (focus_ != nullptr && IsWindow(focus_) &&
        GetWindowThreadProcessId(focus_, nullptr) == GetCurrentThreadId())
        DestroyWindow(focus_);
    webview_->AttachController(nullptr);
}

void Controller::Shut() {
    unraised_.Clear();
    webview_->MarkClosed();
}

void Controller::OnQueryInterface(REFIID riid, bool answered) {
    RecordQuery(kObject, riid, answered);
}

HRESULT Controller::get_IsVisible(BOOL* isVisible) {
    return Call(__func__, [&] { return Put(isVisible, visible_); });
}
HRESULT Controller::put_IsVisible(BOOL isVisible) {
    return Call(__func__, [&] {
        visible_ = isVisible;
        RecordCall(kObject, "put_IsVisible", Json{{"value", isVisible != FALSE}});
        webview_->VisibilityChanged(isVisible != FALSE);
        return S_OK;
    });
}
HRESULT Controller::get_Bounds(RECT* bounds) {
    return Call(__func__, [&] { return Put(bounds, bounds_); });
}
HRESULT Controller::put_Bounds(RECT bounds) {
    return Call(__func__, [&] {
        bounds_ = bounds;
        RecordCall(kObject, "put_Bounds", Json{{"bounds", RectJson(bounds)}});
        webview_->BoundsChanged(bounds);
        return S_OK;
    });
}
HRESULT Controller::get_ZoomFactor(double* zoomFactor) {
    return Call(__func__, [&] { return Put(zoomFactor, zoom_); });
}
HRESULT Controller::put_ZoomFactor(double zoomFactor) {
    return Call(__func__, [&] {
        zoom_ = zoomFactor;
        RecordCall(kObject, "put_ZoomFactor", Json{{"value", zoomFactor}});
        return S_OK;
    });
}
HRESULT Controller::add_ZoomFactorChanged(ICoreWebView2ZoomFactorChangedEventHandler* eventHandler,
                                          EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return unraised_.Add(kObject, "add_ZoomFactorChanged", eventHandler, token);
    });
}
HRESULT Controller::remove_ZoomFactorChanged(EventRegistrationToken token) {
    return Call(__func__,
                [&] { return unraised_.Remove(kObject, "remove_ZoomFactorChanged", token); });
}
HRESULT Controller::SetBoundsAndZoomFactor(RECT bounds, double zoomFactor) {
    return Call(__func__, [&] {
        bounds_ = bounds;
        zoom_ = zoomFactor;
        RecordCall(kObject, "SetBoundsAndZoomFactor",
                   Json{{"bounds", RectJson(bounds)}, {"zoomFactor", zoomFactor}});
        webview_->BoundsChanged(bounds);
        return S_OK;
    });
}
HRESULT Controller::get_RasterizationScale(double* scale) {
    return Call(__func__, [&] { return Put(scale, scale_); });
}
HRESULT Controller::put_RasterizationScale(double scale) {
    return Call(__func__, [&] {
        RecordCall(kObject, "put_RasterizationScale", Json{{"value", scale}});
        if (!(scale > 0)) return E_INVALIDARG;
        scale_ = scale;
        detectScale_ = FALSE;  // a scale of the host's own ends following the monitor
        webview_->ScaleChanged(scale_);
        return S_OK;
    });
}
HRESULT Controller::get_ShouldDetectMonitorScaleChanges(BOOL* value) {
    return Call(__func__, [&] { return Put(value, detectScale_); });
}
HRESULT Controller::put_ShouldDetectMonitorScaleChanges(BOOL value) {
    return Call(__func__, [&] {
        RecordCall(kObject, "put_ShouldDetectMonitorScaleChanges", Json{{"value", value != FALSE}});
        detectScale_ = value;
        return S_OK;
    });
}
HRESULT Controller::MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) {
    return Call(__func__, [&] {
        RecordCall(kObject, "MoveFocus", Json{{"reason", FocusReasonName(reason)}});
        webview_->TakeFocus();
        return S_OK;
    });
}
HRESULT Controller::add_MoveFocusRequested(
    ICoreWebView2MoveFocusRequestedEventHandler* eventHandler, EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return unraised_.Add(kObject, "add_MoveFocusRequested", eventHandler, token);
    });
}
HRESULT Controller::remove_MoveFocusRequested(EventRegistrationToken token) {
    return Call(__func__,
                [&] { return unraised_.Remove(kObject, "remove_MoveFocusRequested", token); });
}
HRESULT Controller::add_GotFocus(ICoreWebView2FocusChangedEventHandler* eventHandler,
                                 EventRegistrationToken* token) {
    return Call(__func__,
                [&] { return unraised_.Add(kObject, "add_GotFocus", eventHandler, token); });
}
HRESULT Controller::remove_GotFocus(EventRegistrationToken token) {
    return Call(__func__, [&] { return unraised_.Remove(kObject, "remove_GotFocus", token); });
}
HRESULT Controller::add_LostFocus(ICoreWebView2FocusChangedEventHandler* eventHandler,
                                  EventRegistrationToken* token) {
    return Call(__func__,
                [&] { return unraised_.Add(kObject, "add_LostFocus", eventHandler, token); });
}
HRESULT Controller::remove_LostFocus(EventRegistrationToken token) {
    return Call(__func__, [&] { return unraised_.Remove(kObject, "remove_LostFocus", token); });
}
HRESULT Controller::add_AcceleratorKeyPressed(
    ICoreWebView2AcceleratorKeyPressedEventHandler* eventHandler, EventRegistrationToken* token) {
    return Call(__func__, [&] {
        const HRESULT result = webview_->AddAcceleratorKeyHandler(eventHandler, token);
        Json fields{{"result", HResultText(result)}};
        if (SUCCEEDED(result)) fields["token"] = token->value;
        RecordCall(kObject, "add_AcceleratorKeyPressed", std::move(fields));
        return result;
    });
}
HRESULT Controller::remove_AcceleratorKeyPressed(EventRegistrationToken token) {
    return Call(__func__, [&] {
        RecordCall(kObject, "remove_AcceleratorKeyPressed", Json{{"token", token.value}});
        return webview_->RemoveAcceleratorKeyHandler(token);
    });
}
HRESULT Controller::get_ParentWindow(HWND* parentWindow) {
    return Call(__func__, [&] { return Put(parentWindow, parent_); });
}
HRESULT Controller::put_ParentWindow(HWND parentWindow) {
    return Call(__func__, [&] {
        parent_ = parentWindow;
        webview_->SetParentWindow(parentWindow);
        RecordCall(kObject, "put_ParentWindow", Json{{"window", WindowJson(parentWindow)}});
        return S_OK;
    });
}
HRESULT Controller::NotifyParentWindowPositionChanged() {
    return Call(__func__, [&] {
        RecordCall(kObject, "NotifyParentWindowPositionChanged");
        return S_OK;
    });
}
HRESULT Controller::Close() {
    return Call(__func__, [&] {
        RecordCall(kObject, "Close");
        *closeCalled_ = true;
        webview_->SetClosedBy("Close");
        Shut();
        return S_OK;
    });
}
HRESULT Controller::get_CoreWebView2(ICoreWebView2** coreWebView2) {
    return Call(__func__, [&] {
        RecordCall(kObject, "get_CoreWebView2");
        if (coreWebView2 == nullptr) return E_POINTER;
        *coreWebView2 = webview_.Get();
        webview_->AddRef();
        return S_OK;
    });
}

}  // namespace substitute
