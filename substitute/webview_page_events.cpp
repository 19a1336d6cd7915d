// The page's window-level events: title, fullscreen, close and new-window requests,
// permissions and accelerator keys.

#include "webview.h"

#include "environment.h"
#include "event_args.h"
#include "scenario.h"

namespace substitute {
namespace {

constexpr char kObject[] = "webview";

}  // namespace

HRESULT WebView::get_DocumentTitle(LPWSTR* title) {
    return Call(__func__, [&] {
        RecordCall(kObject, "get_DocumentTitle", Json{{"value", title_}});
        return CopyOut(title_, title);
    });
}

HRESULT WebView::get_ContainsFullScreenElement(BOOL* containsFullScreenElement) {
    return Call(__func__, [&] {
        RecordCall(kObject, "get_ContainsFullScreenElement", Json{{"value", fullscreen_}});
        return Put<BOOL>(containsFullScreenElement, fullscreen_);
    });
}

void WebView::RaiseTitleChanged(const std::string& title) {
    if (SkipClosed("DocumentTitleChanged")) return;
    title_ = title;
    ComPtr<EmptyArgs> args(new EmptyArgs());
    const auto results = documentTitleChanged_.Invoke(Self(), static_cast<IUnknown*>(args.Get()));
    RecordEvent(
        "DocumentTitleChanged",
        Json{{"title", title}, {"handlers", results.size()}, {"results", HResultList(results)}});
}

void WebView::RaiseFullscreenChanged(bool containsFullscreenElement) {
    if (SkipClosed("ContainsFullScreenElementChanged")) return;
    fullscreen_ = containsFullscreenElement;
    ComPtr<EmptyArgs> args(new EmptyArgs());
    const auto results = fullscreenChanged_.Invoke(Self(), static_cast<IUnknown*>(args.Get()));
    RecordEvent("ContainsFullScreenElementChanged", Json{{"value", containsFullscreenElement},
                                                         {"handlers", results.size()},
                                                         {"results", HResultList(results)}});
}

void WebView::RaiseWindowCloseRequested() {
    if (SkipClosed("WindowCloseRequested")) return;
    ComPtr<EmptyArgs> args(new EmptyArgs());
    const auto results = windowCloseRequested_.Invoke(Self(), static_cast<IUnknown*>(args.Get()));
    RecordEvent("WindowCloseRequested",
                Json{{"handlers", results.size()}, {"results", HResultList(results)}});
}

void WebView::RaiseNewWindowRequested(const std::string& uri) {
    if (SkipClosed("NewWindowRequested")) return;
    ComPtr<NewWindowRequestedArgs> args(new NewWindowRequestedArgs(uri));
    const auto results = newWindowRequested_.Invoke(Self(), args.Get());
    RecordEvent("NewWindowRequested", Json{{"uri", uri},
                                           {"handlers", results.size()},
                                           {"results", HResultList(results)},
                                           {"handled", args->Handled()},
                                           {"newWindow", args->HasNewWindow()}});
}

void WebView::RaisePermissionRequested(int kind, const std::string& uri) {
    if (SkipClosed("PermissionRequested")) return;
    ComPtr<PermissionRequestedArgs> args(
        new PermissionRequestedArgs(uri, static_cast<COREWEBVIEW2_PERMISSION_KIND>(kind)));
    const auto results = permissionRequested_.Invoke(Self(), args.Get());
    RecordEvent("PermissionRequested", Json{{"kind", PermissionKindName(kind)},
                                            {"uri", uri},
                                            {"handlers", results.size()},
                                            {"results", HResultList(results)},
                                            {"state", PermissionStateName(args->State())}});
}

void WebView::RaiseAcceleratorKey(unsigned virtualKey, int keyEventKind) {
    if (SkipClosed("AcceleratorKeyPressed") || controller_ == nullptr) return;
    ComPtr<AcceleratorKeyPressedArgs> args(new AcceleratorKeyPressedArgs(
        virtualKey, static_cast<COREWEBVIEW2_KEY_EVENT_KIND>(keyEventKind)));
    const auto results = acceleratorKeyPressed_.Invoke(controller_, args.Get());
    RecordEvent("AcceleratorKeyPressed", Json{{"virtualKey", virtualKey},
                                              {"kind", KeyEventKindName(keyEventKind)},
                                              {"lParam", args->LParam()},
                                              {"handlers", results.size()},
                                              {"results", HResultList(results)},
                                              {"handled", args->Handled()}});
}

void WebView::RaiseProcessFailed(const ProcessFailure& failure) {
    if (SkipClosed("ProcessFailed")) return;
    ComPtr<ProcessFailedArgs> args(new ProcessFailedArgs(failure));
    const bool browserExited =
        failure.kind == COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED;
    // The browser process is gone: the control is closed before anyone hears of it, so the
    // handlers are taken first (closing lets them go) and every call they make fails.
    auto handlers = processFailed_;
    if (browserExited) {
        SetClosedBy("browser-exit");
        MarkClosed();
    }
    // The host may let the control go inside its handler: it stays until the event is recorded.
    const auto raise = [this, self = ComPtr<ICoreWebView2>(Self()), handlers = std::move(handlers),
                        args, failure] {
        const auto results = handlers.Invoke(Self(), args.Get());
        RecordEvent("ProcessFailed", Json{{"kind", ProcessFailedKindName(failure.kind)},
                                          {"reason", ProcessFailedReasonName(failure.reason)},
                                          {"exitCode", failure.exitCode},
                                          {"description", failure.description},
                                          {"handlers", results.size()},
                                          {"results", HResultList(results)}});
    };
    if (!browserExited) return raise();
    // The environment says the process is gone once every control of it is closed (this
    // runtime has one browser process per environment): before ProcessFailed, after it, or
    // never (an older runtime), as the scenario or the switch says.
    const int order =
        failure.exitEvent >= 0 ? failure.exitEvent : CurrentSwitches().browserExitEvent;
    const auto exited = [environment = environment_, failure] {
        static_cast<Environment*>(environment.Get())
            ->RaiseBrowserProcessExited(failure.reason !=
                                        COREWEBVIEW2_PROCESS_FAILED_REASON_TERMINATED);
    };
    if (order == kExitEventFirst) {
        exited();
        // ProcessFailed as a task of its own, as if it came from another process's message.
        Dispatcher::Get().Post(raise);
        return;
    }
    raise();
    if (order == kExitEventSecond) Dispatcher::Get().Post(exited);
}

}  // namespace substitute
