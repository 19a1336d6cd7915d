#include "webview.h"

#include <nlohmann/json.hpp>

#include "event_args.h"
#include "scenario.h"
#include "web_resource.h"

namespace substitute {
namespace {

constexpr char kObject[] = "webview";

Json Utf8OrNull(const wchar_t* text) {
    return text == nullptr ? Json(nullptr) : Json(ToUtf8(text));
}

// One entry of PostWebMessageAsJsonWithAdditionalObjects: null, a file-system handle, or
// something else.
Json DescribeObject(IUnknown* object) {
    if (object == nullptr) return nullptr;
    ComPtr<ICoreWebView2FileSystemHandle> handle;
    if (FAILED(object->QueryInterface(IID_PPV_ARGS(&handle)))) return Json{{"kind", "other"}};
    COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND kind = COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND_FILE;
    COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION permission =
        COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION_READ_ONLY;
    LPWSTR pathText = nullptr;
    std::string path;
    handle->get_Kind(&kind);
    handle->get_Permission(&permission);
    TakeString(handle->get_Path(&pathText), pathText, path);
    return Json{
        {"kind", kind == COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND_DIRECTORY ? "directory" : "file"},
        {"path", path},
        {"permission", permission == COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION_READ_WRITE
                           ? "read-write"
                           : "read-only"}};
}

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
    : environment_(std::move(environment)),
      settings_(new Settings(!switches.noSettings3)),
      parent_(parent),
      failSettings_(switches.failSettings),
      hashBodies_(!switches.noHash),
      driver_(MakePageDriver(switches.scenarioPath)) {
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

void WebView::MarkClosed() {
    if (!closed_) driver_->OnClosed();
    closed_ = true;
}

template <typename Handler>
HRESULT WebView::AddHandler(EventHandlers<Handler>& handlers, const char* method, Handler* handler,
                            EventRegistrationToken* token) {
    return Guard([&] {
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
    return Guard([&] {
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
    return Guard([&] {
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
    return Guard([&] { return CopyOut(source_, uri); });
}

HRESULT WebView::Navigate(LPCWSTR uri) {
    return Guard([&] {
        if (uri == nullptr) return E_INVALIDARG;
        const std::string target = ToUtf8(uri);
        RecordCall(kObject, "Navigate", Json{{"uri", target}});
        if (!closed_) driver_->OnHostNavigate(*this, target);
        return S_OK;
    });
}

HRESULT WebView::NavigateToString(LPCWSTR htmlContent) {
    return Guard([&] {
        RecordCall(kObject, "NavigateToString", Json{{"html", Utf8OrNull(htmlContent)}});
        return S_OK;
    });
}

HRESULT WebView::add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* eventHandler,
                                        EventRegistrationToken* token) {
    return AddHandler(navigationStarting_, "add_NavigationStarting", eventHandler, token);
}
HRESULT WebView::remove_NavigationStarting(EventRegistrationToken token) {
    return RemoveHandler(navigationStarting_, "remove_NavigationStarting", token);
}
HRESULT WebView::add_ContentLoading(ICoreWebView2ContentLoadingEventHandler* eventHandler,
                                    EventRegistrationToken* token) {
    return unraised_.Add(kObject, "add_ContentLoading", eventHandler, token);
}
HRESULT WebView::remove_ContentLoading(EventRegistrationToken token) {
    return unraised_.Remove(kObject, "remove_ContentLoading", token);
}
HRESULT WebView::add_SourceChanged(ICoreWebView2SourceChangedEventHandler* eventHandler,
                                   EventRegistrationToken* token) {
    return unraised_.Add(kObject, "add_SourceChanged", eventHandler, token);
}
HRESULT WebView::remove_SourceChanged(EventRegistrationToken token) {
    return unraised_.Remove(kObject, "remove_SourceChanged", token);
}
HRESULT WebView::add_HistoryChanged(ICoreWebView2HistoryChangedEventHandler* eventHandler,
                                    EventRegistrationToken* token) {
    return unraised_.Add(kObject, "add_HistoryChanged", eventHandler, token);
}
HRESULT WebView::remove_HistoryChanged(EventRegistrationToken token) {
    return unraised_.Remove(kObject, "remove_HistoryChanged", token);
}
HRESULT WebView::add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* eventHandler,
                                         EventRegistrationToken* token) {
    return unraised_.Add(kObject, "add_NavigationCompleted", eventHandler, token);
}
HRESULT WebView::remove_NavigationCompleted(EventRegistrationToken token) {
    return unraised_.Remove(kObject, "remove_NavigationCompleted", token);
}
HRESULT WebView::add_FrameNavigationStarting(
    ICoreWebView2NavigationStartingEventHandler* eventHandler, EventRegistrationToken* token) {
    return unraised_.Add(kObject, "add_FrameNavigationStarting", eventHandler, token);
}
HRESULT WebView::remove_FrameNavigationStarting(EventRegistrationToken token) {
    return unraised_.Remove(kObject, "remove_FrameNavigationStarting", token);
}
HRESULT WebView::add_FrameNavigationCompleted(
    ICoreWebView2NavigationCompletedEventHandler* eventHandler, EventRegistrationToken* token) {
    return unraised_.Add(kObject, "add_FrameNavigationCompleted", eventHandler, token);
}
HRESULT WebView::remove_FrameNavigationCompleted(EventRegistrationToken token) {
    return unraised_.Remove(kObject, "remove_FrameNavigationCompleted", token);
}
HRESULT WebView::add_ScriptDialogOpening(ICoreWebView2ScriptDialogOpeningEventHandler* eventHandler,
                                         EventRegistrationToken* token) {
    return unraised_.Add(kObject, "add_ScriptDialogOpening", eventHandler, token);
}
HRESULT WebView::remove_ScriptDialogOpening(EventRegistrationToken token) {
    return unraised_.Remove(kObject, "remove_ScriptDialogOpening", token);
}
HRESULT WebView::add_PermissionRequested(ICoreWebView2PermissionRequestedEventHandler* eventHandler,
                                         EventRegistrationToken* token) {
    return AddHandler(permissionRequested_, "add_PermissionRequested", eventHandler, token);
}
HRESULT WebView::remove_PermissionRequested(EventRegistrationToken token) {
    return RemoveHandler(permissionRequested_, "remove_PermissionRequested", token);
}
HRESULT WebView::add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* eventHandler,
                                   EventRegistrationToken* token) {
    return unraised_.Add(kObject, "add_ProcessFailed", eventHandler, token);
}
HRESULT WebView::remove_ProcessFailed(EventRegistrationToken token) {
    return unraised_.Remove(kObject, "remove_ProcessFailed", token);
}

HRESULT WebView::AddScriptToExecuteOnDocumentCreated(
    LPCWSTR javaScript, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler*) {
    return Guard([&] {
        RecordCall(kObject, "AddScriptToExecuteOnDocumentCreated",
                   Json{{"script", Utf8OrNull(javaScript)}, {"result", HResultText(E_NOTIMPL)}});
        return E_NOTIMPL;
    });
}
HRESULT WebView::RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id) {
    return Guard([&] {
        RecordCall(kObject, "RemoveScriptToExecuteOnDocumentCreated", Json{{"id", Utf8OrNull(id)}});
        return S_OK;
    });
}
HRESULT WebView::ExecuteScript(LPCWSTR javaScript, ICoreWebView2ExecuteScriptCompletedHandler*) {
    return Guard([&] {
        RecordCall(kObject, "ExecuteScript",
                   Json{{"script", Utf8OrNull(javaScript)}, {"result", HResultText(E_NOTIMPL)}});
        return E_NOTIMPL;
    });
}
HRESULT WebView::CapturePreview(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT, IStream*,
                                ICoreWebView2CapturePreviewCompletedHandler*) {
    return Guard([&] {
        RecordCall(kObject, "CapturePreview", Json{{"result", HResultText(E_NOTIMPL)}});
        return E_NOTIMPL;
    });
}
HRESULT WebView::Reload() {
    return Guard([&] {
        RecordCall(kObject, "Reload");
        if (!closed_) driver_->OnHostNavigate(*this, source_);
        return S_OK;
    });
}

HRESULT WebView::PostWebMessageAsJson(LPCWSTR webMessageAsJson) {
    return Guard([&] {
        if (webMessageAsJson == nullptr) return E_INVALIDARG;
        const std::string json = ToUtf8(webMessageAsJson);
        const bool valid = nlohmann::json::accept(json);
        RecordCall(kObject, "PostWebMessageAsJson", Json{{"json", json}, {"valid", valid}});
        if (valid && !closed_) driver_->OnHostMessage(json, "");
        return valid ? S_OK : E_INVALIDARG;
    });
}

HRESULT WebView::PostWebMessageAsString(LPCWSTR webMessageAsString) {
    return Guard([&] {
        RecordCall(kObject, "PostWebMessageAsString",
                   Json{{"text", Utf8OrNull(webMessageAsString)}});
        if (webMessageAsString != nullptr && !closed_)
            driver_->OnHostMessage(Json(ToUtf8(webMessageAsString)).dump(), "");
        return S_OK;
    });
}

HRESULT WebView::add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                                        EventRegistrationToken* token) {
    return AddHandler(webMessageReceived_, "add_WebMessageReceived", handler, token);
}
HRESULT WebView::remove_WebMessageReceived(EventRegistrationToken token) {
    return RemoveHandler(webMessageReceived_, "remove_WebMessageReceived", token);
}
HRESULT WebView::CallDevToolsProtocolMethod(
    LPCWSTR methodName, LPCWSTR, ICoreWebView2CallDevToolsProtocolMethodCompletedHandler*) {
    return Guard([&] {
        RecordCall(kObject, "CallDevToolsProtocolMethod",
                   Json{{"name", Utf8OrNull(methodName)}, {"result", HResultText(E_NOTIMPL)}});
        return E_NOTIMPL;
    });
}
HRESULT WebView::get_BrowserProcessId(UINT32* value) {
    return Put<UINT32>(value, GetCurrentProcessId());
}
HRESULT WebView::get_CanGoBack(BOOL* canGoBack) { return Put<BOOL>(canGoBack, FALSE); }
HRESULT WebView::get_CanGoForward(BOOL* canGoForward) { return Put<BOOL>(canGoForward, FALSE); }
HRESULT WebView::GoBack() {
    return Guard([&] {
        RecordCall(kObject, "GoBack");
        return S_OK;
    });
}
HRESULT WebView::GoForward() {
    return Guard([&] {
        RecordCall(kObject, "GoForward");
        return S_OK;
    });
}
HRESULT WebView::GetDevToolsProtocolEventReceiver(
    LPCWSTR, ICoreWebView2DevToolsProtocolEventReceiver** receiver) {
    return Guard([&] {
        if (receiver != nullptr) *receiver = nullptr;
        RecordCall(kObject, "GetDevToolsProtocolEventReceiver",
                   Json{{"result", HResultText(E_NOTIMPL)}});
        return E_NOTIMPL;
    });
}
HRESULT WebView::Stop() {
    return Guard([&] {
        RecordCall(kObject, "Stop");
        return S_OK;
    });
}
HRESULT WebView::add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* eventHandler,
                                        EventRegistrationToken* token) {
    return AddHandler(newWindowRequested_, "add_NewWindowRequested", eventHandler, token);
}
HRESULT WebView::remove_NewWindowRequested(EventRegistrationToken token) {
    return RemoveHandler(newWindowRequested_, "remove_NewWindowRequested", token);
}
HRESULT WebView::add_DocumentTitleChanged(
    ICoreWebView2DocumentTitleChangedEventHandler* eventHandler, EventRegistrationToken* token) {
    return AddHandler(documentTitleChanged_, "add_DocumentTitleChanged", eventHandler, token);
}
HRESULT WebView::remove_DocumentTitleChanged(EventRegistrationToken token) {
    return RemoveHandler(documentTitleChanged_, "remove_DocumentTitleChanged", token);
}
HRESULT WebView::get_DocumentTitle(LPWSTR* title) {
    return Guard([&] {
        RecordCall(kObject, "get_DocumentTitle", Json{{"value", title_}});
        return CopyOut(title_, title);
    });
}
HRESULT WebView::AddHostObjectToScript(LPCWSTR name, VARIANT*) {
    return Guard([&] {
        RecordCall(kObject, "AddHostObjectToScript",
                   Json{{"name", Utf8OrNull(name)}, {"result", HResultText(E_NOTIMPL)}});
        return E_NOTIMPL;
    });
}
HRESULT WebView::RemoveHostObjectFromScript(LPCWSTR name) {
    return Guard([&] {
        RecordCall(kObject, "RemoveHostObjectFromScript", Json{{"name", Utf8OrNull(name)}});
        return S_OK;
    });
}
HRESULT WebView::OpenDevToolsWindow() {
    return Guard([&] {
        RecordCall(kObject, "OpenDevToolsWindow",
                   Json{{"devToolsEnabled", settings_->DevToolsEnabled()}});
        return S_OK;
    });
}
HRESULT WebView::add_ContainsFullScreenElementChanged(
    ICoreWebView2ContainsFullScreenElementChangedEventHandler* eventHandler,
    EventRegistrationToken* token) {
    return AddHandler(fullscreenChanged_, "add_ContainsFullScreenElementChanged", eventHandler,
                      token);
}
HRESULT WebView::remove_ContainsFullScreenElementChanged(EventRegistrationToken token) {
    return RemoveHandler(fullscreenChanged_, "remove_ContainsFullScreenElementChanged", token);
}
HRESULT WebView::get_ContainsFullScreenElement(BOOL* containsFullScreenElement) {
    return Guard([&] {
        RecordCall(kObject, "get_ContainsFullScreenElement", Json{{"value", fullscreen_}});
        return Put<BOOL>(containsFullScreenElement, fullscreen_);
    });
}
HRESULT WebView::add_WebResourceRequested(
    ICoreWebView2WebResourceRequestedEventHandler* eventHandler, EventRegistrationToken* token) {
    return AddHandler(webResourceRequested_, "add_WebResourceRequested", eventHandler, token);
}
HRESULT WebView::remove_WebResourceRequested(EventRegistrationToken token) {
    return RemoveHandler(webResourceRequested_, "remove_WebResourceRequested", token);
}

HRESULT WebView::AddWebResourceRequestedFilter(const LPCWSTR uri,
                                               const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) {
    return Guard([&] {
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
    return Guard([&] {
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

HRESULT WebView::add_WindowCloseRequested(
    ICoreWebView2WindowCloseRequestedEventHandler* eventHandler, EventRegistrationToken* token) {
    return AddHandler(windowCloseRequested_, "add_WindowCloseRequested", eventHandler, token);
}
HRESULT WebView::remove_WindowCloseRequested(EventRegistrationToken token) {
    return RemoveHandler(windowCloseRequested_, "remove_WindowCloseRequested", token);
}

HRESULT WebView::add_WebResourceResponseReceived(
    ICoreWebView2WebResourceResponseReceivedEventHandler* eventHandler,
    EventRegistrationToken* token) {
    return unraised_.Add(kObject, "add_WebResourceResponseReceived", eventHandler, token);
}
HRESULT WebView::remove_WebResourceResponseReceived(EventRegistrationToken token) {
    return unraised_.Remove(kObject, "remove_WebResourceResponseReceived", token);
}
HRESULT WebView::NavigateWithWebResourceRequest(ICoreWebView2WebResourceRequest*) {
    return Guard([&] {
        RecordCall(kObject, "NavigateWithWebResourceRequest",
                   Json{{"result", HResultText(E_NOTIMPL)}});
        return E_NOTIMPL;
    });
}
HRESULT WebView::add_DOMContentLoaded(ICoreWebView2DOMContentLoadedEventHandler* eventHandler,
                                      EventRegistrationToken* token) {
    return AddHandler(domContentLoaded_, "add_DOMContentLoaded", eventHandler, token);
}
HRESULT WebView::remove_DOMContentLoaded(EventRegistrationToken token) {
    return RemoveHandler(domContentLoaded_, "remove_DOMContentLoaded", token);
}
HRESULT WebView::get_CookieManager(ICoreWebView2CookieManager** cookieManager) {
    if (cookieManager != nullptr) *cookieManager = nullptr;
    return E_NOTIMPL;
}
HRESULT WebView::get_Environment(ICoreWebView2Environment** environment) {
    return PutRef(environment, environment_);
}

HRESULT WebView::PostWebMessageAsJsonWithAdditionalObjects(
    LPCWSTR webMessageAsJson, ICoreWebView2ObjectCollectionView* additionalObjects) {
    return Guard([&] {
        if (webMessageAsJson == nullptr) return E_INVALIDARG;
        const std::string json = ToUtf8(webMessageAsJson);
        const bool valid = nlohmann::json::accept(json);
        Json fields{{"json", json}, {"valid", valid}};
        if (additionalObjects == nullptr) {
            fields["objects"] = nullptr;
        } else {
            UINT32 count = 0;
            additionalObjects->get_Count(&count);
            Json objects = Json::array();
            for (UINT32 i = 0; i < count; ++i) {
                ComPtr<IUnknown> item;
                additionalObjects->GetValueAtIndex(i, &item);
                objects.push_back(DescribeObject(item.Get()));
            }
            fields["count"] = count;
            fields["objects"] = std::move(objects);
        }
        const std::string objectsJson = fields["objects"].is_array() ? fields["objects"].dump() : "";
        RecordCall(kObject, "PostWebMessageAsJsonWithAdditionalObjects", std::move(fields));
        if (valid && !closed_) driver_->OnHostMessage(json, objectsJson);
        return valid ? S_OK : E_INVALIDARG;
    });
}

// ---------------------------------------------------------------------------------------------
// The page side

bool WebView::Closed(const char* event) {
    if (closed_) Record("skipped", Json{{"event", event}, {"cause", "controller closed"}});
    return closed_;
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

void WebView::RunNavigation(const std::string& uri, bool userInitiated,
                            std::function<void()> done) {
    auto hold = Hold();
    auto finish = [done] {
        if (done) done();
    };
    Dispatcher::Get().Post([this, hold, uri, userInitiated, finish] {
        if (!RaiseNavigationStarting(uri, userInitiated)) return finish();
        Dispatcher::Get().Post([this, hold, uri, finish] {
            RaiseResourceRequest(PageRequest{
                "GET", uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT, {{"Accept", "text/html"}}});
            Dispatcher::Get().Post([this, hold, finish] {
                RaiseDomContentLoaded();
                finish();
            });
        });
    });
}

bool WebView::RaiseNavigationStarting(const std::string& uri, bool userInitiated) {
    if (Closed("NavigationStarting")) return false;
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

std::optional<PageResponse> WebView::RaiseResourceRequest(const PageRequest& request) {
    if (Closed("WebResourceRequested")) return std::nullopt;
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
        return std::nullopt;
    }
    if (webResourceRequested_.Count() == 0) {
        line["cause"] = "no-handler";
        Record("unanswered", std::move(line));
        return std::nullopt;
    }
    ComPtr<WebResourceRequest> requestObject(
        new WebResourceRequest(request.uri, request.method, std::move(headers)));
    ComPtr<WebResourceRequestedArgs> args(new WebResourceRequestedArgs(
        requestObject, static_cast<COREWEBVIEW2_WEB_RESOURCE_CONTEXT>(request.context)));
    const auto results = webResourceRequested_.Invoke(Self(), args.Get());
    line["handlers"] = results.size();
    line["results"] = HResultList(results);
    PageResponse answer;
    if (!RecordResponse(line, args->Response(), hashBodies_, &answer, request.keepBody))
        return std::nullopt;
    return answer;
}

void WebView::RaiseDomContentLoaded() {
    if (Closed("DOMContentLoaded")) return;
    ComPtr<DomContentLoadedArgs> args(new DomContentLoadedArgs(currentNavigation_));
    const auto results = domContentLoaded_.Invoke(Self(), args.Get());
    RecordEvent("DOMContentLoaded", Json{{"navigationId", currentNavigation_},
                                         {"handlers", results.size()},
                                         {"results", HResultList(results)}});
}

void WebView::RaiseWebMessage(const std::string& source, const std::string& json,
                              const std::optional<std::string>& asString) {
    if (Closed("WebMessageReceived")) return;
    Json fields{
        {"source", source}, {"json", json}, {"string", asString ? Json(*asString) : Json(nullptr)}};
    if (!settings_->WebMessagesEnabled()) {
        fields["delivered"] = false;
        RecordEvent("WebMessageReceived", std::move(fields));
        return;
    }
    ComPtr<WebMessageReceivedArgs> args(new WebMessageReceivedArgs(source, json, asString));
    const auto results = webMessageReceived_.Invoke(Self(), args.Get());
    fields["handlers"] = results.size();
    fields["results"] = HResultList(results);
    RecordEvent("WebMessageReceived", std::move(fields));
}

void WebView::RaiseTitleChanged(const std::string& title) {
    if (Closed("DocumentTitleChanged")) return;
    title_ = title;
    ComPtr<EmptyArgs> args(new EmptyArgs());
    const auto results = documentTitleChanged_.Invoke(Self(), static_cast<IUnknown*>(args.Get()));
    RecordEvent(
        "DocumentTitleChanged",
        Json{{"title", title}, {"handlers", results.size()}, {"results", HResultList(results)}});
}

void WebView::RaiseFullscreenChanged(bool containsFullscreenElement) {
    if (Closed("ContainsFullScreenElementChanged")) return;
    fullscreen_ = containsFullscreenElement;
    ComPtr<EmptyArgs> args(new EmptyArgs());
    const auto results = fullscreenChanged_.Invoke(Self(), static_cast<IUnknown*>(args.Get()));
    RecordEvent("ContainsFullScreenElementChanged", Json{{"value", containsFullscreenElement},
                                                         {"handlers", results.size()},
                                                         {"results", HResultList(results)}});
}

void WebView::RaiseWindowCloseRequested() {
    if (Closed("WindowCloseRequested")) return;
    ComPtr<EmptyArgs> args(new EmptyArgs());
    const auto results = windowCloseRequested_.Invoke(Self(), static_cast<IUnknown*>(args.Get()));
    RecordEvent("WindowCloseRequested",
                Json{{"handlers", results.size()}, {"results", HResultList(results)}});
}

void WebView::RaiseNewWindowRequested(const std::string& uri) {
    if (Closed("NewWindowRequested")) return;
    ComPtr<NewWindowRequestedArgs> args(new NewWindowRequestedArgs(uri));
    const auto results = newWindowRequested_.Invoke(Self(), args.Get());
    RecordEvent("NewWindowRequested", Json{{"uri", uri},
                                           {"handlers", results.size()},
                                           {"results", HResultList(results)},
                                           {"handled", args->Handled()},
                                           {"newWindow", args->HasNewWindow()}});
}

void WebView::RaisePermissionRequested(int kind, const std::string& uri) {
    if (Closed("PermissionRequested")) return;
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
    if (Closed("AcceleratorKeyPressed") || controller_ == nullptr) return;
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

}  // namespace substitute
