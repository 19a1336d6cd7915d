// Resource request filters and the resource requests raised to the host.

#include "webview.h"

#include "event_args.h"
#include "scenario.h"
#include "web_resource.h"

namespace substitute {
namespace {

constexpr char kObject[] = "webview";
// What a filter added without source kinds covers.
constexpr unsigned kDocumentSource = COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_DOCUMENT;

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

HRESULT WebView::AddFilter(const char* method, const LPCWSTR uri,
                           const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
                           const unsigned sourceKinds) {
    return Call(method, [&] {
        if (uri == nullptr) return E_INVALIDARG;
        const std::string pattern = ToUtf8(uri);
        Json fields{{"uri", pattern}, {"context", ResourceContextName(context)}};
        if (sourceKinds != kDocumentSource) fields["sourceKinds"] = sourceKinds;
        RecordCall(kObject, method, std::move(fields));
        filters_.push_back(Filter{pattern, context, sourceKinds});
        driver_->OnFiltersChanged(*this);
        return S_OK;
    });
}

HRESULT WebView::RemoveFilter(const char* method, const LPCWSTR uri,
                              const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
                              const unsigned sourceKinds) {
    return Call(method, [&] {
        const std::string pattern = ToUtf8(uri);
        const auto before = filters_.size();
        std::erase_if(filters_, [&](const Filter& filter) {
            return filter.pattern == pattern && filter.context == context &&
                   filter.sourceKinds == sourceKinds;
        });
        const bool removed = filters_.size() != before;
        if (removed) driver_->OnFiltersChanged(*this);
        Json fields{
            {"uri", pattern}, {"context", ResourceContextName(context)}, {"removed", removed}};
        if (sourceKinds != kDocumentSource) fields["sourceKinds"] = sourceKinds;
        RecordCall(kObject, method, std::move(fields));
        return removed ? S_OK : HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    });
}

HRESULT WebView::AddWebResourceRequestedFilter(const LPCWSTR uri,
                                               const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) {
    return AddFilter(__func__, uri, context, kDocumentSource);
}

HRESULT WebView::RemoveWebResourceRequestedFilter(const LPCWSTR uri,
                                                  const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) {
    return RemoveFilter(__func__, uri, context, kDocumentSource);
}

HRESULT WebView::AddWebResourceRequestedFilterWithRequestSourceKinds(
    const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
    const COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS sourceKinds) {
    return AddFilter(__func__, uri, context, static_cast<unsigned>(sourceKinds));
}

HRESULT WebView::RemoveWebResourceRequestedFilterWithRequestSourceKinds(
    const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
    const COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS sourceKinds) {
    return RemoveFilter(__func__, uri, context, static_cast<unsigned>(sourceKinds));
}

std::vector<std::pair<std::string, int>> WebView::Filters() const {
    std::vector<std::pair<std::string, int>> filters;
    for (const Filter& filter : filters_) filters.emplace_back(filter.pattern, filter.context);
    return filters;
}

bool WebView::MatchesFilter(const std::string& uri, int context, int source) const {
    for (const Filter& filter : filters_) {
        if ((filter.context == COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL ||
             filter.context == context) &&
            (filter.sourceKinds & static_cast<unsigned>(source)) != 0 &&
            WildcardMatch(filter.pattern, uri))
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
    if (request.source != kDocumentSource) line["source"] = RequestSourceName(request.source);
    // A request no filter covers for its source goes to the network: app.localhost is the
    // machine's own port 443, where nothing answers.
    if (!MatchesFilter(request.uri, request.context, request.source)) {
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
