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
    if (!userInitiated && failNavigation_ >= 0) {
        RunFailingNavigation(uri, userInitiated, failNavigation_, std::move(done));
        return;
    }
    auto hold = Hold();
    auto finish = [done] {
        if (done) done();
    };
    // Each step is a task of its own, so that the host's calls between them count.
    auto step = [this, hold](std::function<void()> task) {
        Dispatcher::Get().Post([hold, task = std::move(task)] { task(); });
    };
    step([this, uri, userInitiated, finish, step] {
        const bool started = RaiseNavigationStarting(uri, userInitiated);
        const UINT64 id = lastNavigation_;
        if (!started) {
            CompleteNavigation(id, COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED);
            return finish();
        }
        step([this, uri, id, finish, step] {
            RaiseResourceRequest(PageRequest{"GET",
                                             uri,
                                             COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT,
                                             {{"Accept", "text/html"}}},
                                 [this, id, finish, step](const std::optional<PageResponse>&) {
                                     step([this, id, finish, step] {
                                         RaiseNavigationCommitted(false);
                                         step([this, id, finish, step] {
                                             RaiseDomContentLoaded();
                                             step([this, id, finish] {
                                                 CompleteNavigation(id, kNavigationSucceeded);
                                                 finish();
                                             });
                                         });
                                     });
                                 });
        });
    });
}

void WebView::RunFailingNavigation(const std::string& uri, bool userInitiated, int webErrorStatus,
                                   std::function<void()> done) {
    Dispatcher::Get().Post([this, hold = Hold(), uri, userInitiated, webErrorStatus, done] {
        const bool started = RaiseNavigationStarting(uri, userInitiated);
        const UINT64 id = lastNavigation_;
        Dispatcher::Get().Post([this, hold, id, started, webErrorStatus, done] {
            CompleteNavigation(
                id, started ? webErrorStatus : COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED);
            if (done) done();
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
    lastNavigation_ = id;
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

void WebView::RaiseNavigationCommitted(bool errorPage) {
    if (SkipClosed("SourceChanged")) return;
    ComPtr<SourceChangedArgs> source(new SourceChangedArgs(true));
    auto results = sourceChanged_.Invoke(Self(), source.Get());
    RecordEvent("SourceChanged", Json{{"navigationId", currentNavigation_},
                                      {"uri", source_},
                                      {"handlers", results.size()},
                                      {"results", HResultList(results)}});
    if (SkipClosed("ContentLoading")) return;
    ComPtr<ContentLoadingArgs> loading(new ContentLoadingArgs(errorPage, currentNavigation_));
    results = contentLoading_.Invoke(Self(), loading.Get());
    RecordEvent("ContentLoading", Json{{"navigationId", currentNavigation_},
                                       {"errorPage", errorPage},
                                       {"handlers", results.size()},
                                       {"results", HResultList(results)}});
    if (SkipClosed("HistoryChanged")) return;
    ComPtr<EmptyArgs> history(new EmptyArgs());
    results = historyChanged_.Invoke(Self(), static_cast<IUnknown*>(history.Get()));
    RecordEvent("HistoryChanged", Json{{"navigationId", currentNavigation_},
                                       {"handlers", results.size()},
                                       {"results", HResultList(results)}});
}

void WebView::RaiseNavigationCompleted(int webErrorStatus) {
    CompleteNavigation(lastNavigation_, webErrorStatus);
}

void WebView::CompleteNavigation(UINT64 id, int webErrorStatus) {
    if (SkipClosed("NavigationCompleted")) return;
    ComPtr<NavigationCompletedArgs> args(new NavigationCompletedArgs(webErrorStatus, id));
    const auto results = navigationCompleted_.Invoke(Self(), args.Get());
    Json fields{{"navigationId", id}, {"isSuccess", webErrorStatus == kNavigationSucceeded}};
    if (webErrorStatus != kNavigationSucceeded)
        fields["webErrorStatus"] = WebErrorStatusName(webErrorStatus);
    fields["handlers"] = results.size();
    fields["results"] = HResultList(results);
    RecordEvent("NavigationCompleted", std::move(fields));
}

}  // namespace substitute
