// Navigation: the host's Navigate and Reload, and a navigation's three steps on the page side.

#include "webview.h"

#include "event_args.h"
#include "scenario.h"

namespace substitute {
namespace {

constexpr char kObject[] = "webview";

}  // namespace

HRESULT WebView::Navigate(LPCWSTR uri) {
    return Call(__func__, [&] {
        if (uri == nullptr) return E_INVALIDARG;
        const std::string target = ToUtf8(uri);
        RecordCall(kObject, "Navigate", Json{{"uri", target}});
        if (!*closed_) driver_->OnHostNavigate(*this, target);
        return S_OK;
    });
}

HRESULT WebView::NavigateToString(LPCWSTR htmlContent) {
    return Call(__func__, [&] {
        RecordCall(kObject, "NavigateToString", Json{{"html", Utf8OrNull(htmlContent)}});
        return S_OK;
    });
}

HRESULT WebView::Reload() {
    return Call(__func__, [&] {
        RecordCall(kObject, "Reload");
        if (!*closed_) driver_->OnHostNavigate(*this, source_);
        return S_OK;
    });
}

HRESULT WebView::NavigateWithWebResourceRequest(ICoreWebView2WebResourceRequest*) {
    return Call(__func__, [&] {
        RecordCall(kObject, "NavigateWithWebResourceRequest",
                   Json{{"result", HResultText(E_NOTIMPL)}});
        return E_NOTIMPL;
    });
}

void WebView::RunNavigation(const std::string& uri, bool userInitiated,
                            std::function<void()> done) {
    auto hold = Hold();
    auto finish = [done] {
        if (done) done();
    };
    Dispatcher::Get().Post([this, hold, uri, userInitiated, finish] {
        if (!RaiseNavigationStarting(uri, userInitiated)) return finish();
        Dispatcher::Get().Post([this, hold, uri, finish] {
            RaiseResourceRequest(PageRequest{"GET",
                                             uri,
                                             COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT,
                                             {{"Accept", "text/html"}}},
                                 [this, hold, finish](const std::optional<PageResponse>&) {
                                     Dispatcher::Get().Post([this, hold, finish] {
                                         RaiseDomContentLoaded();
                                         finish();
                                     });
                                 });
        });
    });
}

bool WebView::RaiseNavigationStarting(const std::string& uri, bool userInitiated) {
    if (SkipClosed("NavigationStarting")) return false;
    const UINT64 id = ++navigationCount_;
    ComPtr<NavigationStartingArgs> args(new NavigationStartingArgs(uri, userInitiated, id));
    const auto results = navigationStarting_.Invoke(Self(), args.Get());
    RecordEvent("NavigationStarting", Json{{"uri", uri},
                                           {"navigationId", id},
                                           {"userInitiated", userInitiated},
                                           {"handlers", results.size()},
                                           {"results", HResultList(results)},
                                           {"cancel", args->Cancelled()}});
    if (args->Cancelled()) return false;
    source_ = uri;
    currentNavigation_ = id;
    return true;
}

void WebView::RaiseDomContentLoaded() {
    if (SkipClosed("DOMContentLoaded")) return;
    ComPtr<DomContentLoadedArgs> args(new DomContentLoadedArgs(currentNavigation_));
    const auto results = domContentLoaded_.Invoke(Self(), args.Get());
    RecordEvent("DOMContentLoaded", Json{{"navigationId", currentNavigation_},
                                         {"handlers", results.size()},
                                         {"results", HResultList(results)}});
}

}  // namespace substitute
