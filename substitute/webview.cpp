// The webview object: construction, event registrations, and the methods this runtime only
// records.
#include "webview.h"

#include "scenario.h"

namespace substitute {
namespace {

constexpr char kObject[] = "webview";

}  // namespace

namespace {

std::vector<WebView*>& LiveWebViews() {
    static auto* views = new std::vector<WebView*>();  // process lifetime; the runtime's thread
    return *views;
}

}  // namespace

WebView::~WebView() { std::erase(LiveWebViews(), this); }

int RaiseProcessFailedEverywhere(const ProcessFailure& failure) {
    // The list of webviews belongs to the runtime's thread, which may be creating or destroying
    // one right now: from any other thread the hook is refused (and recorded), as calls are.
    if (FAILED(AdmitCall("loader", "SubstituteRaiseProcessFailed", nullptr))) return 0;
    int raised = 0;
    for (WebView* view : LiveWebViews()) {
        if (*view->Closed()) continue;
        ++raised;
        Dispatcher::Get().Post(
            [view, hold = view->Hold(), failure] { view->RaiseProcessFailed(failure); });
    }
    return raised;
}

HRESULT UnraisedEvents::Add(const char* object, const char* method, void* handler,
                            EventRegistrationToken* token) {
    return Guard([&] {
        if (handler == nullptr) return E_INVALIDARG;
        if (token == nullptr) return E_POINTER;
        token->value = NextEventToken();
        // Every handler interface starts with IUnknown's slots.
        entries_.emplace_back(token->value, ComPtr<IUnknown>(static_cast<IUnknown*>(handler)));
        RecordCall(object, method, Json{{"token", token->value}});
        return S_OK;
    });
}

HRESULT UnraisedEvents::Remove(const char* object, const char* method,
                               EventRegistrationToken token) {
    return Guard([&] {
        std::erase_if(entries_, [&](const auto& entry) { return entry.first == token.value; });
        RecordCall(object, method, Json{{"token", token.value}});
        return S_OK;
    });
}

WebView::WebView(ComPtr<ICoreWebView2Environment> environment, HWND parent,
                 const Switches& switches)
    : ComObject(kObject),
      environment_(std::move(environment)),
      settings_(new Settings(!switches.noSettings3, closed_)),
      parent_(parent),
      failSettings_(switches.failSettings),
      hashBodies_(!switches.noHash),
      failNavigation_(switches.failNavigation),
      driver_(MakePageDriver(switches)) {
    ShareClosedFlag(closed_);
    LiveWebViews().push_back(this);
    if (switches.noWebView2_2) {
        LimitInterfaces(1);
    } else if (switches.noWebView23) {
        LimitInterfaces(22);
    }
}

void WebView::OnQueryInterface(REFIID riid, bool answered) { RecordQuery(kObject, riid, answered); }

std::shared_ptr<void> WebView::Hold() {
    AddRef();
    return std::shared_ptr<void>(Self(),
                                 [](void* self) { static_cast<ICoreWebView2*>(self)->Release(); });
}

void WebView::StartPage() { driver_->Start(*this); }

void WebView::TakeFocus() const {
    HWND target = driver_->FocusWindow() != nullptr ? driver_->FocusWindow() : focusWindow_;
    if (target != nullptr) SetFocus(target);
}

bool WebView::PageHasFocus() const {
    HWND target = driver_->FocusWindow() != nullptr ? driver_->FocusWindow() : focusWindow_;
    return target != nullptr && GetFocus() == target;
}

void WebView::MarkClosed() {
    if (*closed_) return;
    *closed_ = true;
    driver_->OnClosed();
    navigationStarting_.Clear();
    permissionRequested_.Clear();
    webMessageReceived_.Clear();
    newWindowRequested_.Clear();
    documentTitleChanged_.Clear();
    fullscreenChanged_.Clear();
    webResourceRequested_.Clear();
    windowCloseRequested_.Clear();
    domContentLoaded_.Clear();
    acceleratorKeyPressed_.Clear();
    sourceChanged_.Clear();
    contentLoading_.Clear();
    historyChanged_.Clear();
    navigationCompleted_.Clear();
    processFailed_.Clear();
    unraised_.Clear();
}

template <typename Handler>
HRESULT WebView::AddHandler(EventHandlers<Handler>& handlers, const char* method, Handler* handler,
                            EventRegistrationToken* token) {
    return Call(__func__, [&] {
        const HRESULT result = handlers.Add(handler, token);
        Json fields{{"result", HResultText(result)}};
        if (SUCCEEDED(result)) fields["token"] = token->value;
        RecordCall(kObject, method, std::move(fields));
        return result;
    });
}

template <typename Handler>
HRESULT WebView::RemoveHandler(EventHandlers<Handler>& handlers, const char* method,
                               EventRegistrationToken token) {
    return Call(__func__, [&] {
        const bool removed = handlers.Remove(token);
        RecordCall(kObject, method, Json{{"token", token.value}, {"removed", removed}});
        return S_OK;
    });
}

HRESULT WebView::AddAcceleratorKeyHandler(ICoreWebView2AcceleratorKeyPressedEventHandler* handler,
                                          EventRegistrationToken* token) {
    return acceleratorKeyPressed_.Add(handler, token);
}

HRESULT WebView::RemoveAcceleratorKeyHandler(EventRegistrationToken token) {
    acceleratorKeyPressed_.Remove(token);
    return S_OK;
}

HRESULT WebView::get_Settings(ICoreWebView2Settings** settings) {
    return Call(__func__, [&] {
        const HRESULT result = failSettings_ ? E_FAIL : S_OK;
        RecordCall(kObject, "get_Settings", Json{{"result", HResultText(result)}});
        if (failSettings_) {
            if (settings != nullptr) *settings = nullptr;
            return result;
        }
        return PutRef(settings, settings_);
    });
}

HRESULT WebView::get_Source(LPWSTR* uri) {
    return Call(__func__, [&] { return CopyOut(source_, uri); });
}

HRESULT WebView::add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* eventHandler,
                                        EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return AddHandler(navigationStarting_, "add_NavigationStarting", eventHandler, token);
    });
}

HRESULT WebView::remove_NavigationStarting(EventRegistrationToken token) {
    return Call(__func__, [&] {
        return RemoveHandler(navigationStarting_, "remove_NavigationStarting", token);
    });
}

HRESULT WebView::add_ContentLoading(ICoreWebView2ContentLoadingEventHandler* eventHandler,
                                    EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return AddHandler(contentLoading_, "add_ContentLoading", eventHandler, token);
    });
}

HRESULT WebView::remove_ContentLoading(EventRegistrationToken token) {
    return Call(__func__,
                [&] { return RemoveHandler(contentLoading_, "remove_ContentLoading", token); });
}

HRESULT WebView::add_SourceChanged(ICoreWebView2SourceChangedEventHandler* eventHandler,
                                   EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return AddHandler(sourceChanged_, "add_SourceChanged", eventHandler, token);
    });
}

HRESULT WebView::remove_SourceChanged(EventRegistrationToken token) {
    return Call(__func__,
                [&] { return RemoveHandler(sourceChanged_, "remove_SourceChanged", token); });
}

HRESULT WebView::add_HistoryChanged(ICoreWebView2HistoryChangedEventHandler* eventHandler,
                                    EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return AddHandler(historyChanged_, "add_HistoryChanged", eventHandler, token);
    });
}

HRESULT WebView::remove_HistoryChanged(EventRegistrationToken token) {
    return Call(__func__,
                [&] { return RemoveHandler(historyChanged_, "remove_HistoryChanged", token); });
}

HRESULT WebView::add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* eventHandler,
                                         EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return AddHandler(navigationCompleted_, "add_NavigationCompleted", eventHandler, token);
    });
}

HRESULT WebView::remove_NavigationCompleted(EventRegistrationToken token) {
    return Call(__func__, [&] {
        return RemoveHandler(navigationCompleted_, "remove_NavigationCompleted", token);
    });
}

HRESULT WebView::add_FrameNavigationStarting(
    ICoreWebView2NavigationStartingEventHandler* eventHandler, EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return unraised_.Add(kObject, "add_FrameNavigationStarting", eventHandler, token);
    });
}

HRESULT WebView::remove_FrameNavigationStarting(EventRegistrationToken token) {
    return Call(__func__,
                [&] { return unraised_.Remove(kObject, "remove_FrameNavigationStarting", token); });
}

HRESULT WebView::add_FrameNavigationCompleted(
    ICoreWebView2NavigationCompletedEventHandler* eventHandler, EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return unraised_.Add(kObject, "add_FrameNavigationCompleted", eventHandler, token);
    });
}

HRESULT WebView::remove_FrameNavigationCompleted(EventRegistrationToken token) {
    return Call(__func__, [&] {
        return unraised_.Remove(kObject, "remove_FrameNavigationCompleted", token);
    });
}

HRESULT WebView::add_ScriptDialogOpening(ICoreWebView2ScriptDialogOpeningEventHandler* eventHandler,
                                         EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return unraised_.Add(kObject, "add_ScriptDialogOpening", eventHandler, token);
    });
}

HRESULT WebView::remove_ScriptDialogOpening(EventRegistrationToken token) {
    return Call(__func__,
                [&] { return unraised_.Remove(kObject, "remove_ScriptDialogOpening", token); });
}

HRESULT WebView::add_PermissionRequested(ICoreWebView2PermissionRequestedEventHandler* eventHandler,
                                         EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return AddHandler(permissionRequested_, "add_PermissionRequested", eventHandler, token);
    });
}

HRESULT WebView::remove_PermissionRequested(EventRegistrationToken token) {
    return Call(__func__, [&] {
        return RemoveHandler(permissionRequested_, "remove_PermissionRequested", token);
    });
}

HRESULT WebView::add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* eventHandler,
                                   EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return AddHandler(processFailed_, "add_ProcessFailed", eventHandler, token);
    });
}

HRESULT WebView::remove_ProcessFailed(EventRegistrationToken token) {
    return Call(__func__,
                [&] { return RemoveHandler(processFailed_, "remove_ProcessFailed", token); });
}

HRESULT WebView::AddScriptToExecuteOnDocumentCreated(
    LPCWSTR javaScript, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler*) {
    return Call(__func__, [&] {
        RecordCall(kObject, "AddScriptToExecuteOnDocumentCreated",
                   Json{{"script", Utf8OrNull(javaScript)}, {"result", HResultText(E_NOTIMPL)}});
        return E_NOTIMPL;
    });
}

HRESULT WebView::RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id) {
    return Call(__func__, [&] {
        RecordCall(kObject, "RemoveScriptToExecuteOnDocumentCreated", Json{{"id", Utf8OrNull(id)}});
        return S_OK;
    });
}

HRESULT WebView::ExecuteScript(LPCWSTR javaScript, ICoreWebView2ExecuteScriptCompletedHandler*) {
    return Call(__func__, [&] {
        RecordCall(kObject, "ExecuteScript",
                   Json{{"script", Utf8OrNull(javaScript)}, {"result", HResultText(E_NOTIMPL)}});
        return E_NOTIMPL;
    });
}

HRESULT WebView::CapturePreview(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT, IStream*,
                                ICoreWebView2CapturePreviewCompletedHandler*) {
    return Call(__func__, [&] {
        RecordCall(kObject, "CapturePreview", Json{{"result", HResultText(E_NOTIMPL)}});
        return E_NOTIMPL;
    });
}

HRESULT WebView::add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                                        EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return AddHandler(webMessageReceived_, "add_WebMessageReceived", handler, token);
    });
}

HRESULT WebView::remove_WebMessageReceived(EventRegistrationToken token) {
    return Call(__func__, [&] {
        return RemoveHandler(webMessageReceived_, "remove_WebMessageReceived", token);
    });
}

HRESULT WebView::CallDevToolsProtocolMethod(
    LPCWSTR methodName, LPCWSTR, ICoreWebView2CallDevToolsProtocolMethodCompletedHandler*) {
    return Call(__func__, [&] {
        RecordCall(kObject, "CallDevToolsProtocolMethod",
                   Json{{"name", Utf8OrNull(methodName)}, {"result", HResultText(E_NOTIMPL)}});
        return E_NOTIMPL;
    });
}

HRESULT WebView::get_BrowserProcessId(UINT32* value) {
    return Call(__func__, [&] { return Put<UINT32>(value, GetCurrentProcessId()); });
}

HRESULT WebView::get_CanGoBack(BOOL* canGoBack) {
    return Call(__func__, [&] { return Put<BOOL>(canGoBack, FALSE); });
}

HRESULT WebView::get_CanGoForward(BOOL* canGoForward) {
    return Call(__func__, [&] { return Put<BOOL>(canGoForward, FALSE); });
}

HRESULT WebView::GoBack() {
    return Call(__func__, [&] {
        RecordCall(kObject, "GoBack");
        return S_OK;
    });
}

HRESULT WebView::GoForward() {
    return Call(__func__, [&] {
        RecordCall(kObject, "GoForward");
        return S_OK;
    });
}

HRESULT WebView::GetDevToolsProtocolEventReceiver(
    LPCWSTR, ICoreWebView2DevToolsProtocolEventReceiver** receiver) {
    return Call(__func__, [&] {
        if (receiver != nullptr) *receiver = nullptr;
        RecordCall(kObject, "GetDevToolsProtocolEventReceiver",
                   Json{{"result", HResultText(E_NOTIMPL)}});
        return E_NOTIMPL;
    });
}

HRESULT WebView::Stop() {
    return Call(__func__, [&] {
        RecordCall(kObject, "Stop");
        return S_OK;
    });
}

HRESULT WebView::add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* eventHandler,
                                        EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return AddHandler(newWindowRequested_, "add_NewWindowRequested", eventHandler, token);
    });
}

HRESULT WebView::remove_NewWindowRequested(EventRegistrationToken token) {
    return Call(__func__, [&] {
        return RemoveHandler(newWindowRequested_, "remove_NewWindowRequested", token);
    });
}

HRESULT WebView::add_DocumentTitleChanged(
    ICoreWebView2DocumentTitleChangedEventHandler* eventHandler, EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return AddHandler(documentTitleChanged_, "add_DocumentTitleChanged", eventHandler, token);
    });
}

HRESULT WebView::remove_DocumentTitleChanged(EventRegistrationToken token) {
    return Call(__func__, [&] {
        return RemoveHandler(documentTitleChanged_, "remove_DocumentTitleChanged", token);
    });
}

HRESULT WebView::AddHostObjectToScript(LPCWSTR name, VARIANT*) {
    return Call(__func__, [&] {
        RecordCall(kObject, "AddHostObjectToScript",
                   Json{{"name", Utf8OrNull(name)}, {"result", HResultText(E_NOTIMPL)}});
        return E_NOTIMPL;
    });
}

HRESULT WebView::RemoveHostObjectFromScript(LPCWSTR name) {
    return Call(__func__, [&] {
        RecordCall(kObject, "RemoveHostObjectFromScript", Json{{"name", Utf8OrNull(name)}});
        return S_OK;
    });
}

HRESULT WebView::OpenDevToolsWindow() {
    return Call(__func__, [&] {
        RecordCall(kObject, "OpenDevToolsWindow",
                   Json{{"devToolsEnabled", settings_->DevToolsEnabled()}});
        return S_OK;
    });
}

HRESULT WebView::add_ContainsFullScreenElementChanged(
    ICoreWebView2ContainsFullScreenElementChangedEventHandler* eventHandler,
    EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return AddHandler(fullscreenChanged_, "add_ContainsFullScreenElementChanged", eventHandler,
                          token);
    });
}

HRESULT WebView::remove_ContainsFullScreenElementChanged(EventRegistrationToken token) {
    return Call(__func__, [&] {
        return RemoveHandler(fullscreenChanged_, "remove_ContainsFullScreenElementChanged", token);
    });
}

HRESULT WebView::add_WebResourceRequested(
    ICoreWebView2WebResourceRequestedEventHandler* eventHandler, EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return AddHandler(webResourceRequested_, "add_WebResourceRequested", eventHandler, token);
    });
}

HRESULT WebView::remove_WebResourceRequested(EventRegistrationToken token) {
    return Call(__func__, [&] {
        return RemoveHandler(webResourceRequested_, "remove_WebResourceRequested", token);
    });
}

HRESULT WebView::add_WindowCloseRequested(
    ICoreWebView2WindowCloseRequestedEventHandler* eventHandler, EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return AddHandler(windowCloseRequested_, "add_WindowCloseRequested", eventHandler, token);
    });
}

HRESULT WebView::remove_WindowCloseRequested(EventRegistrationToken token) {
    return Call(__func__, [&] {
        return RemoveHandler(windowCloseRequested_, "remove_WindowCloseRequested", token);
    });
}

HRESULT WebView::add_WebResourceResponseReceived(
    ICoreWebView2WebResourceResponseReceivedEventHandler* eventHandler,
    EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return unraised_.Add(kObject, "add_WebResourceResponseReceived", eventHandler, token);
    });
}

HRESULT WebView::remove_WebResourceResponseReceived(EventRegistrationToken token) {
    return Call(__func__, [&] {
        return unraised_.Remove(kObject, "remove_WebResourceResponseReceived", token);
    });
}

HRESULT WebView::add_DOMContentLoaded(ICoreWebView2DOMContentLoadedEventHandler* eventHandler,
                                      EventRegistrationToken* token) {
    return Call(__func__, [&] {
        return AddHandler(domContentLoaded_, "add_DOMContentLoaded", eventHandler, token);
    });
}

HRESULT WebView::remove_DOMContentLoaded(EventRegistrationToken token) {
    return Call(__func__,
                [&] { return RemoveHandler(domContentLoaded_, "remove_DOMContentLoaded", token); });
}

HRESULT WebView::get_CookieManager(ICoreWebView2CookieManager** cookieManager) {
    return Call(__func__, [&] {
        if (cookieManager != nullptr) *cookieManager = nullptr;
        return E_NOTIMPL;
    });
}

HRESULT WebView::get_Environment(ICoreWebView2Environment** environment) {
    return Call(__func__, [&] { return PutRef(environment, environment_); });
}

bool WebView::SkipClosed(const char* event) {
    if (*closed_) Record("skipped", Json{{"event", event}, {"cause", "controller closed"}});
    return *closed_;
}

}  // namespace substitute
