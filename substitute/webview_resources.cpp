// Resource request filters and the resource requests raised to the host.

#include "webview.h"

#include "event_args.h"
#include "scenario.h"
#include "web_resource.h"

namespace substitute {
namespace {

constexpr char kObject[] = "webview";

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0;
    std::size_t starPattern = std::string_view::npos, starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starText = t;
        } else if (starPattern != std::string_view::npos) {
            p = starPattern + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

HRESULT WebView::AddWebResourceRequestedFilter(const LPCWSTR uri,
                                               const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) {
    return Call(__func__, [&] {
        if (uri == nullptr) return E_INVALIDARG;
        const std::string pattern = ToUtf8(uri);
        RecordCall(kObject, "AddWebResourceRequestedFilter",
                   Json{{"uri", pattern}, {"context", ResourceContextName(context)}});
        filters_.emplace_back(pattern, context);
        driver_->OnFiltersChanged(*this);
        return S_OK;
    });
}

HRESULT WebView::RemoveWebResourceRequestedFilter(const LPCWSTR uri,
                                                  const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) {
    return Call(__func__, [&] {
        const std::string pattern = ToUtf8(uri);
        const auto before = filters_.size();
        std::erase_if(filters_, [&](const auto& filter) {
            return filter.first == pattern && filter.second == context;
        });
        const bool removed = filters_.size() != before;
        if (removed) driver_->OnFiltersChanged(*this);
        RecordCall(
            kObject, "RemoveWebResourceRequestedFilter",
            Json{
                {"uri", pattern}, {"context", ResourceContextName(context)}, {"removed", removed}});
        return removed ? S_OK : HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    });
}

std::vector<std::pair<std::string, int>> WebView::Filters() const {
    std::vector<std::pair<std::string, int>> filters;
    for (const auto& [pattern, context] : filters_) filters.emplace_back(pattern, context);
    return filters;
}

bool WebView::MatchesFilter(const std::string& uri, int context) const {
    for (const auto& [pattern, filterContext] : filters_) {
        if ((filterContext == COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL || filterContext == context) &&
            WildcardMatch(pattern, uri))
            return true;
    }
    return false;
}

void WebView::RaiseResourceRequest(const PageRequest& request,
                                   std::function<void(std::optional<PageResponse>)> done) {
    if (SkipClosed("WebResourceRequested")) return done(std::nullopt);
    HttpHeaderList headers;
    Json headerLines = Json::array();
    for (const auto& [name, value] : request.headers) {
        headers.push_back(MakeHeader(name, value));
        headerLines.push_back(headers.back().line);
    }
    Json line{{"method", request.method},
              {"uri", request.uri},
              {"context", ResourceContextName(request.context)},
              {"requestHeaders", std::move(headerLines)}};
    if (!MatchesFilter(request.uri, request.context)) {
        line["cause"] = "no-filter";
        Record("unanswered", std::move(line));
        return done(std::nullopt);
    }
    if (webResourceRequested_.Count() == 0) {
        line["cause"] = "no-handler";
        Record("unanswered", std::move(line));
        return done(std::nullopt);
    }
    ComPtr<WebResourceRequest> requestObject(
        new WebResourceRequest(request.uri, request.method, std::move(headers)));
    ComPtr<WebResourceRequestedArgs> args(new WebResourceRequestedArgs(
        requestObject, static_cast<COREWEBVIEW2_WEB_RESOURCE_CONTEXT>(request.context)));
    const auto results = webResourceRequested_.Invoke(Self(), args.Get());
    line["handlers"] = results.size();
    line["results"] = HResultList(results);
    // The page (and its driver) stays until the body has been read.
    RecordResponse(std::move(line), args->Response(), hashBodies_, request.keepBody,
                   [hold = Hold(), done = std::move(done)](std::optional<PageResponse> answer) {
                       done(std::move(answer));
                   });
}

}  // namespace substitute
