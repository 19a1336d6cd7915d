// The Chromium driver: real pages in a headless Chromium, driven over its DevTools protocol.
// One page target, attached in flat mode, on one WebSocket connection polled from the GUI
// thread, so every page-side event reaches the host through the dispatcher, in arrival order.
//
// Mapping: Navigate -> Page.navigate; every main-frame document request is paused and raises
// NavigationStarting (a cancel fails it as aborted); requests matching a resource filter are
// offered to the host and its answer fulfilled, others continue; page events (messages, title,
// DOMContentLoaded, fullscreen, window.close, new windows) come from a script injected into
// every document, which calls a binding; host messages are dispatched to that script's
// `window.chrome.webview` listeners. Folder handles among a message's additional objects reach
// the page as File System Access handles whose calls come back through a second binding and are
// carried out by FolderHandles.
#include "websocket_client.h"  // winsock2.h before windows.h

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "com_support.h"
#include "folder_handles.h"
#include "live_view.h"
#include "page.h"
#include "runtime.h"

namespace substitute {
namespace {

constexpr char kBinding[] = "__wrapperHostBinding";
constexpr char kFolderBinding[] = "__wrapperFolderBinding";  // the calls of folder handles
constexpr unsigned kPollMs = 5;
constexpr unsigned kConnectMs = 10000;
// How long the page must have stayed unchanged, with no frame of it since, before the driver
// asks for a frame itself: a change that moves no pixel gets no screencast frame.
constexpr unsigned kRefreshMs = 300;
// The DevTools answers to a command for a target that has ended.
constexpr int kSessionNotFound = -32001;
constexpr char kTargetClosed[] = "Inspected target navigated or closed";
// What the page shows after its renderer crashed, until the host reloads it.
constexpr char kErrorPage[] =
    "data:text/html,<title>Error</title><p>This page is having a problem.</p>";

// Injected into every document before its own scripts. `BINDING` is replaced by kBinding.
constexpr char kPageScript[] = R"JS((() => {
  const binding = window.BINDING;
  if (typeof binding !== 'function' || (window.chrome && window.chrome.webview)) return;
  const send = (event) => binding(JSON.stringify(event));
  const top = window.top === window;
  const listeners = [];
  const webview = {
    postMessage(data) {
      const json = JSON.stringify(data);
      if (json === undefined) throw new TypeError('postMessage: the message cannot be serialised');
      // Only the top-level document raises the control's WebMessageReceived; a frame's message
      // goes to the frame's own event, which no one hears here.
      if (!top) return;
      send({ kind: 'message', source: location.href, json, isString: typeof data === 'string' });
    },
    addEventListener(type, listener) {
      if (type === 'message' && typeof listener === 'function' && !listeners.includes(listener))
        listeners.push(listener);
    },
    removeEventListener(type, listener) {
      const index = listeners.indexOf(listener);
      if (type === 'message' && index >= 0) listeners.splice(index, 1);
    },
  };
  Object.defineProperty(webview, '__deliver', {
    value(json, objects) {
      const event = new MessageEvent('message', { data: JSON.parse(json) });
      Object.defineProperty(event, 'additionalObjects', { value: objects || [] });
      for (const listener of listeners.slice()) {
        try { listener.call(webview, event); } catch (error) { setTimeout(() => { throw error; }); }
      }
    },
  });
  if (!window.chrome) window.chrome = {};
  Object.defineProperty(window.chrome, 'webview', { value: webview, enumerable: true });
  if (!top) return;
  let title = null;
  const reportTitle = () => {
    if (document.title !== title) { title = document.title; send({ kind: 'title', title }); }
  };
  new MutationObserver(reportTitle).observe(document, { subtree: true, childList: true, characterData: true });
  document.addEventListener('DOMContentLoaded', () => { reportTitle(); send({ kind: 'domcontentloaded' }); });
  const changed = () => send({ kind: 'changed', time: Date.now() });
  new MutationObserver(changed).observe(document,
    { subtree: true, childList: true, characterData: true, attributes: true });
  document.addEventListener('load', changed, true);
  document.addEventListener('error', changed, true);
  if (document.fonts) document.fonts.addEventListener('loadingdone', changed);
  document.addEventListener('fullscreenchange', () =>
    send({ kind: 'fullscreen', value: document.fullscreenElement !== null }));
  window.close = () => send({ kind: 'close' });
  window.open = (url) => {
    const target = new URL(url === undefined || url === '' ? 'about:blank' : String(url), document.baseURI);
    send({ kind: 'new-window', uri: target.href });
    return null;
  };
  document.addEventListener('click', (event) => {
    const link = event.target instanceof Element ? event.target.closest('a[href]') : null;
    if (!link || !link.target || ['_self', '_top', '_parent'].includes(link.target.toLowerCase())) return;
    event.preventDefault();
    send({ kind: 'new-window', uri: link.href });
  }, true);
})();)JS";

// The page's resource types as COREWEBVIEW2_WEB_RESOURCE_CONTEXT values.
int ResourceContext(const std::string& type) {
    static const std::map<std::string, int> contexts = {
        {"Document", 1},   {"Stylesheet", 2},     {"Image", 3},      {"Media", 4},
        {"Font", 5},       {"Script", 6},         {"XHR", 7},        {"Fetch", 8},
        {"TextTrack", 9},  {"EventSource", 10},   {"WebSocket", 11}, {"Manifest", 12},
        {"SignedExchange", 13}, {"Ping", 14},     {"CSPViolationReport", 15}};
    const auto found = contexts.find(type);
    return found == contexts.end() ? 16 : found->second;
}

const char* ResourceTypeName(int context) {
    static const char* const names[] = {
        nullptr,   "Document",    "Stylesheet", "Image",    "Media",          "Font",
        "Script",  "XHR",         "Fetch",      "TextTrack", "EventSource",   "WebSocket",
        "Manifest", "SignedExchange", "Ping",   "CSPViolationReport", "Other"};
    return context > 0 && context <= 16 ? names[context] : nullptr;
}

// Chromium's network error names as COREWEBVIEW2_WEB_ERROR_STATUS values.
int WebErrorStatus(const std::string& errorText) {
    static const std::map<std::string, int> statuses = {
        {"net::ERR_ADDRESS_UNREACHABLE", COREWEBVIEW2_WEB_ERROR_STATUS_SERVER_UNREACHABLE},
        {"net::ERR_TIMED_OUT", COREWEBVIEW2_WEB_ERROR_STATUS_TIMEOUT},
        {"net::ERR_CONNECTION_TIMED_OUT", COREWEBVIEW2_WEB_ERROR_STATUS_TIMEOUT},
        {"net::ERR_INVALID_RESPONSE",
         COREWEBVIEW2_WEB_ERROR_STATUS_ERROR_HTTP_INVALID_SERVER_RESPONSE},
        {"net::ERR_CONNECTION_ABORTED", COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_ABORTED},
        {"net::ERR_CONNECTION_RESET", COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_RESET},
        {"net::ERR_INTERNET_DISCONNECTED", COREWEBVIEW2_WEB_ERROR_STATUS_DISCONNECTED},
        {"net::ERR_CONNECTION_REFUSED", COREWEBVIEW2_WEB_ERROR_STATUS_CANNOT_CONNECT},
        {"net::ERR_NAME_NOT_RESOLVED", COREWEBVIEW2_WEB_ERROR_STATUS_HOST_NAME_NOT_RESOLVED},
        {"net::ERR_ABORTED", COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED},
        {"net::ERR_TOO_MANY_REDIRECTS", COREWEBVIEW2_WEB_ERROR_STATUS_REDIRECT_FAILED},
        {"net::ERR_UNEXPECTED", COREWEBVIEW2_WEB_ERROR_STATUS_UNEXPECTED_ERROR},
    };
    const auto found = statuses.find(errorText);
    if (found != statuses.end()) return found->second;
    if (errorText.rfind("net::ERR_CERT_", 0) == 0)
        return COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_IS_INVALID;
    return COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN;
}

// Now, in milliseconds since the Unix epoch (the clock of the page's Date.now() and of the
// screencast frames' timestamps).
double UnixMs() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const ULONGLONG ticks = (ULONGLONG(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return double(ticks - 116444736000000000ULL) / 10000.0;
}

std::string PageScript() {
    std::string script = kPageScript;
    const std::string marker = "BINDING";
    for (std::size_t at = script.find(marker); at != std::string::npos;
         at = script.find(marker, at))
        script.replace(at, marker.size(), kBinding);
    return script;
}

// The DevTools endpoint of the Chromium whose profile is `profile`, from the DevToolsActivePort
// file it writes there at start (its port, then its browser target's path); empty without one.
std::string ProfileEndpoint(const std::wstring& profile, std::string& error) {
    const std::wstring file = profile + L"\\DevToolsActivePort";
    const HANDLE handle =
        CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = "no browser runs on the profile " + ToUtf8(profile) + " (no DevToolsActivePort)";
        return {};
    }
    char buffer[512];
    DWORD read = 0;
    const BOOL ok = ReadFile(handle, buffer, sizeof buffer - 1, &read, nullptr);
    CloseHandle(handle);
    const std::string text(buffer, ok ? read : 0);
    const std::size_t newline = text.find('\n');
    const std::string port = text.substr(0, newline);
    std::string path = newline == std::string::npos ? "" : text.substr(newline + 1);
    path = path.substr(0, path.find_first_of("\r\n"));
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos ||
        path.rfind("/devtools/", 0) != 0) {
        error = "the DevToolsActivePort of the profile " + ToUtf8(profile) + " is not readable";
        return {};
    }
    return "ws://127.0.0.1:" + port + path;
}

class ChromiumDriver final : public PageDriver {
  public:
    ChromiumDriver(std::string endpoint, std::wstring userDataFolder, std::string browserArguments)
        : endpoint_(std::move(endpoint)),
          userDataFolder_(std::move(userDataFolder)),
          browserArguments_(std::move(browserArguments)) {}

    void Start(PageSurface& page) override {
        page_ = &page;
        std::string error;
        if (endpoint_ == "user-data") {
            endpoint_ = ProfileEndpoint(userDataFolder_ + L"\\EBWebView", error);
            Record("chromium-profile",
                   Json{{"profile", ToUtf8(userDataFolder_ + L"\\EBWebView")},
                        {"endpoint", endpoint_}});
        }
        if (endpoint_.empty() || !socket_.Connect(endpoint_, kConnectMs, error) ||
            !Attach(error) || !Prepare(error)) {
            Record("failure", Json{{"message", "chromium: " + error}});
            socket_.Close();
            sessionId_.clear();
            return;
        }
        RefuseUnappliedArguments();
        hold_ = page.Hold();
        view_ = std::make_unique<LiveView>(page.ParentWindow(), [this](const Json& input) {
            Call(input.at("method").get<std::string>(), input.at("params"));
        });
        viewStatePath_ = EnvironmentVariable(L"WRAPPER_SUBSTITUTE_VIEW_STATE");
        view_->OnPainted([this](double time) {
            paintedMs_ = time;
            ++paintedFrames_;
            WriteViewState();
        });
        SendPatterns();
        WatchWorkers();
        ApplyBounds();
        Call("Page.startScreencast", Json{{"format", "png"}, {"everyNthFrame", 1}});
        for (const std::string& uri : std::exchange(pendingNavigations_, {})) Navigate(uri);
        Poll();
    }

    // The environment's AdditionalBrowserArguments take effect when the browser starts, and this
    // browser was started before: each one it was not started with (its starter names those in
    // WRAPPER_SUBSTITUTE_CHROMIUM_ARGUMENTS) is refused aloud, never dropped in silence.
    void RefuseUnappliedArguments() const {
        const auto words = [](const std::string& text) {
            std::vector<std::string> list;
            std::size_t at = 0;
            while ((at = text.find_first_not_of(" \t", at)) != std::string::npos) {
                const std::size_t end = std::min(text.find_first_of(" \t", at), text.size());
                list.push_back(text.substr(at, end - at));
                at = end;
            }
            return list;
        };
        const std::vector<std::string> applied =
            words(ToUtf8(EnvironmentVariable(L"WRAPPER_SUBSTITUTE_CHROMIUM_ARGUMENTS")));
        for (const std::string& argument : words(browserArguments_)) {
            if (std::find(applied.begin(), applied.end(), argument) == applied.end())
                Record("browserArgumentRefused",
                       Json{{"argument", argument},
                            {"cause", "the browser was started without it"}});
        }
    }

    void OnHostNavigate(PageSurface&, const std::string& uri) override {
        if (sessionId_.empty()) {
            pendingNavigations_.push_back(uri);
        } else {
            Navigate(uri);
        }
    }

    void OnHostMessage(const std::string& json, const std::string& objectsJson) override {
        const std::string literal =
            Json(json).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        if (sessionId_.empty()) return;
        deliveries_.push_back(
            Send("Runtime.evaluate",
                 Json{{"expression",
                       "window.chrome && window.chrome.webview && "
                       "window.chrome.webview.__deliver(" +
                           literal + ", " + folders_.DeliveryExpression(objectsJson) + ")"}},
                 sessionId_));
        WriteViewState();
    }

    void OnFiltersChanged(PageSurface&) override { SendPatterns(); }

    HWND FocusWindow() const override { return view_ ? view_->Window() : nullptr; }

    void OnScaleChanged(double scale) override {
        scale_ = scale;
        ApplyBounds();
    }

    void OnBoundsChanged(const RECT& bounds) override {
        bounds_ = bounds;
        ApplyBounds();
    }

    void OnVisibilityChanged(bool visible) override {
        if (view_) view_->SetVisible(visible);
    }

    void OnClosed() override {
        if (!sessionId_.empty()) {
            Call("Page.stopScreencast");
            CallBrowser("Target.closeTarget", Json{{"targetId", targetId_}});
        }
        view_.reset();
        folders_.AbortWritables();
        socket_.Close();
        sessionId_.clear();
        // Let the page go from a task of its own: dropping the last reference destroys this.
        Dispatcher::Get().Post([hold = std::move(hold_)] {});
    }

  private:
    int Send(const std::string& method, Json params, const std::string& session) {
        const int id = nextId_++;
        Json message{{"id", id}, {"method", method}};
        message["params"] = std::move(params);
        if (!session.empty()) message["sessionId"] = session;
        socket_.SendText(message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
        return id;
    }
    void Call(const std::string& method, Json params = Json::object()) {
        if (!sessionId_.empty()) Send(method, std::move(params), sessionId_);
    }
    void CallBrowser(const std::string& method, const Json& params) { Send(method, params, ""); }

    // Waits for the answer to command `id`, keeping events that arrive meanwhile for later.
    Json Await(int id, std::string& error) {
        const ULONGLONG deadline = GetTickCount64() + kConnectMs;
        while (GetTickCount64() < deadline) {
            std::vector<std::string> messages;
            const bool open = socket_.Receive(messages, 50);
            for (std::string& text : messages) {
                Json message = Json::parse(text, nullptr, false);
                if (message.is_object() && message.value("id", -1) == id) {
                    if (message.contains("error")) {
                        error = message["error"].dump();
                        return nullptr;
                    }
                    return message.value("result", Json::object());
                }
                early_.push_back(std::move(text));
            }
            if (!open) break;
        }
        error = "no answer from the browser";
        return nullptr;
    }

    // A new page target, attached in flat mode.
    bool Attach(std::string& error) {
        const Json created =
            Await(Send("Target.createTarget", Json{{"url", "about:blank"}}, ""), error);
        if (created.is_null()) return false;
        targetId_ = created.value("targetId", "");
        const Json attached = Await(
            Send("Target.attachToTarget", Json{{"targetId", targetId_}, {"flatten", true}}, ""),
            error);
        if (attached.is_null()) return false;
        sessionId_ = attached.value("sessionId", "");
        return !sessionId_.empty();
    }

    // The page's domains, the binding and the injected script, each answered before the first
    // navigation. Sent and not awaited, the renderer side answers them only once the navigated
    // document exists, and that document then runs without `window.chrome.webview`.
    bool Prepare(std::string& error) {
        const std::pair<const char*, Json> commands[] = {
            {"Page.enable", Json::object()},
            {"Inspector.enable", Json::object()},
            {"Runtime.enable", Json::object()},
            {"Runtime.addBinding", Json{{"name", kBinding}}},
            {"Page.addScriptToEvaluateOnNewDocument", Json{{"source", PageScript()}}},
            {"Runtime.addBinding", Json{{"name", kFolderBinding}}},
            {"Page.addScriptToEvaluateOnNewDocument",
             Json{{"source", FolderHandles::PageScript(kFolderBinding)}}},
            // The page's service workers, attached through the page: only then does Chromium
            // hold the fetch of a new worker's own script until the worker is let run, so that
            // the worker's session can pause it (attached from the browser, the script goes to
            // the network while the attach is on its way). The page's dedicated workers are
            // attached too, only to be let run: the renderer holds every worker of a page whose
            // session waits for the debugger, whatever the filter; their requests stay the
            // document's.
            {"Target.setAutoAttach", Json{{"autoAttach", true},
                                          {"waitForDebuggerOnStart", true},
                                          {"flatten", true},
                                          {"filter", Json::array({Json{{"type", "service_worker"}},
                                                                  Json{{"type", "worker"}}})}}}};
        for (const auto& [method, params] : commands) {
            if (Await(Send(method, params, sessionId_), error).is_null()) return false;
        }
        return true;
    }

    void Navigate(const std::string& uri) {
        hostNavigations_.push_back(uri);
        if (!sessionId_.empty())
            navigateCalls_.push_back(Send("Page.navigate", Json{{"url", uri}}, sessionId_));
    }

    // A renderer of the page crashed: the runtime reports it, and shows an error page in a new
    // renderer until the host reloads or navigates.
    void OnRendererCrashed() {
        committed_ = false;
        if (!sessionId_.empty()) {
            showingErrorPage_ = true;
            Call("Page.navigate", Json{{"url", kErrorPage}});
        }
        // After the error page is on its way, so that a Reload from the handler comes after it.
        page_->RaiseProcessFailed(ProcessFailure{1 /* RENDER_PROCESS_EXITED */, 3 /* CRASHED */,
                                                 static_cast<int>(0xC0000005u), ""});
    }

    // Pause every document request (navigations) and whatever the host's filters match.
    void SendPatterns() {
        if (sessionId_.empty()) return;
        Json patterns = Json::array({Json{{"urlPattern", "*"}, {"resourceType", "Document"},
                                          {"requestStage", "Request"}}});
        for (const auto& [pattern, context] : page_->Filters()) {
            Json entry{{"urlPattern", pattern}, {"requestStage", "Request"}};
            if (const char* type = ResourceTypeName(context)) entry["resourceType"] = type;
            patterns.push_back(std::move(entry));
        }
        Call("Fetch.enable", Json{{"patterns", std::move(patterns)}});
    }

    // Service workers and shared workers are targets of their own, attached as they start (held
    // until then): shared workers from the browser (they belong to no one page), service workers
    // through the page (see Prepare). Their requests, a service worker's own script included,
    // are paused only when a filter covers their kind, as the runtime raises them only then;
    // otherwise they go to the network.
    void WatchWorkers() {
        CallBrowser("Target.setAutoAttach",
                    Json{{"autoAttach", true},
                         {"waitForDebuggerOnStart", true},
                         {"flatten", true},
                         {"filter", Json::array({Json{{"type", "shared_worker"}}})}});
    }

    void OnWorkerAttached(const Json& params) {
        const std::string session = params.value("sessionId", "");
        const Json& info = params.contains("targetInfo") ? params["targetInfo"] : Json::object();
        const std::string type = info.value("type", "");
        const int source = type == "service_worker"  ? 4   // SERVICE_WORKER
                           : type == "shared_worker" ? 2   // SHARED_WORKER
                                                     : 0;  // a dedicated worker: the document's
        if (session.empty() || (source == 0 && type != "worker")) return;
        workers_[session] = source;
        if (source != 0 && page_->MatchesFilter(info.value("url", ""), 0 /* ALL */, source)) {
            workerCalls_[Send("Fetch.enable",
                              Json{{"patterns", Json::array({Json{{"urlPattern", "*"},
                                                                  {"requestStage", "Request"}}})}},
                              session)] = session;
        }
        workerCalls_[Send("Runtime.runIfWaitingForDebugger", Json::object(), session)] = session;
    }

    void OnWorkerRequestPaused(const Json& params, const std::string& session, int source) {
        const std::string requestId = params.value("requestId", "");
        PageRequest offered =
            Offered(params.at("request"), ResourceContext(params.value("resourceType", "Other")));
        offered.source = source;
        if (!page_->MatchesFilter(offered.uri, offered.context, source)) {
            Send("Fetch.continueRequest", Json{{"requestId", requestId}}, session);
            return;
        }
        offered.keepBody = std::numeric_limits<std::uint64_t>::max();
        page_->RaiseResourceRequest(offered, [this, alive = std::weak_ptr<int>(alive_), requestId,
                                              session, uri = offered.uri](
                                                 std::optional<PageResponse> answer) {
            if (alive.lock() && socket_.Connected())
                Fulfil(requestId, uri, std::move(answer), session);
        });
    }

    // The request as the host is offered it: method, URI, context and header lines.
    static PageRequest Offered(const Json& request, int context) {
        PageRequest offered{request.value("method", "GET"), request.value("url", ""), context, {}};
        if (request.contains("headers")) {
            for (const auto& [name, value] : request["headers"].items())
                offered.headers.emplace_back(
                    name, value.is_string() ? value.get<std::string>() : value.dump());
        }
        return offered;
    }

    void ApplyBounds() {
        const long width = bounds_.right - bounds_.left;
        const long height = bounds_.bottom - bounds_.top;
        if (view_) {
            view_->SetBounds(bounds_);
            view_->SetScale(scale_);
        }
        if (width <= 0 || height <= 0 || sessionId_.empty()) return;
        // The bounds are device pixels: the page's viewport is that many CSS pixels / the scale.
        Call("Emulation.setDeviceMetricsOverride",
             Json{{"width", std::lround(width / scale_)},
                  {"height", std::lround(height / scale_)},
                  {"deviceScaleFactor", scale_},
                  {"mobile", false}});
    }

    void Poll() {
        if (!socket_.Connected()) return;
        std::vector<std::string> messages = std::exchange(early_, {});
        const bool open = socket_.Receive(messages, 0);
        for (const std::string& text : messages) {
            try {
                Handle(Json::parse(text));
            } catch (const std::exception& error) {
                Record("failure", Json{{"message", std::string("chromium: ") + error.what()}});
            }
            if (!socket_.Connected()) return;  // the controller closed inside a handler
        }
        if (!open) {
            // Chromium went away (or its DevTools connection did): the browser process exited.
            Record("failure", Json{{"message", "chromium: the connection was closed"}});
            page_->RaiseProcessFailed(
                ProcessFailure{0 /* BROWSER_PROCESS_EXITED */, 0 /* UNEXPECTED */, 0, ""});
            return;
        }
        Dispatcher::Get().PostAfter(kPollMs, [this, alive = std::weak_ptr<int>(alive_)] {
            if (alive.lock()) Poll();
        });
    }

    void Handle(const Json& message) {
        const std::string method = message.value("method", "");
        if (method.empty()) {
            const int id = message.value("id", -1);
            std::optional<std::string> answeredUri;  // the request a fulfil or continue was for
            if (const auto answered = answersInFlight_.find(id);
                answered != answersInFlight_.end()) {
                answeredUri = std::move(answered->second);
                answersInFlight_.erase(answered);
            }
            // A worker that ended before or while a command reached its session (its script
            // could not be fetched, it stopped, a newer one replaced it): nothing is left to
            // pause there. Its detach may come after the command's answer.
            if (const auto call = workerCalls_.find(id); call != workerCalls_.end()) {
                const Json error = message.value("error", Json::object());
                const bool gone = !workers_.contains(call->second) ||
                                  error.value("code", 0) == kSessionNotFound ||
                                  error.value("message", "") == kTargetClosed;
                workerCalls_.erase(call);
                if (gone) return;
            }
            if (message.contains("error")) {
                const Json& error = message["error"];
                if (answeredUri && error.is_object() &&
                    error.value("message", "") == "Invalid InterceptionId.")
                    Record("requestCancelled",
                           Json{{"uri", *answeredUri},
                                {"cause", "the browser gave the request up before the host's "
                                          "answer reached it"}});
                else
                    Record("failure", Json{{"message", "chromium: " + error.dump()}});
            }
            OnAnswer(message);
            return;
        }
        const Json& params = message.contains("params") ? message["params"] : Json::object();
        const std::string session = message.value("sessionId", "");
        const bool fromBrowserOrPage = session.empty() || session == sessionId_;
        if (fromBrowserOrPage && method == "Target.attachedToTarget")
            return OnWorkerAttached(params);
        if (fromBrowserOrPage && method == "Target.detachedFromTarget") {
            workers_.erase(params.value("sessionId", ""));
            return;
        }
        if (const auto worker = workers_.find(session); worker != workers_.end()) {
            // Paused only where a filter covered the worker's kind when it started.
            if (method == "Fetch.requestPaused")
                OnWorkerRequestPaused(params, session, worker->second);
            return;
        }
        if (method == "Inspector.targetCrashed") return OnRendererCrashed();
        if (method == "Page.frameNavigated") {
            const Json& frame = params.contains("frame") ? params["frame"] : Json::object();
            if (frame.contains("parentId") || frame.value("id", "") != targetId_) return;
            if (std::exchange(showingErrorPage_, false) && frame.value("url", "") == kErrorPage) {
                Record("errorPage", Json{{"uri", kErrorPage}});
                return;
            }
            committed_ = true;
            folders_.AbortWritables();  // the document that had them open is gone
            page_->RaiseNavigationCommitted(false);
            return;
        }
        if (method == "Page.loadEventFired") {
            if (std::exchange(committed_, false))
                page_->RaiseNavigationCompleted(kNavigationSucceeded);
            return;
        }
        if (method == "Fetch.requestPaused") return OnRequestPaused(params);
        if (method == "Runtime.bindingCalled" && params.value("name", "") == kFolderBinding)
            return AnswerFolderCall(Json::parse(params.value("payload", "{}")));
        if (method == "Runtime.bindingCalled") {
            if (params.value("name", "") == kBinding)
                OnPageEvent(Json::parse(params.value("payload", "{}")));
            return;
        }
        if (method == "Page.screencastFrame") {
            Call("Page.screencastFrameAck", Json{{"sessionId", params.value("sessionId", 0)}});
            // The frame's swap time; without one, the frame is older than any change.
            const Json& metadata =
                params.contains("metadata") ? params["metadata"] : Json::object();
            const double time = metadata.value("timestamp", 0.0) * 1000.0;
            // A frame made before the one captured meanwhile would show the page older again.
            if (time > 0 && time < frameMs_) return;
            frameMs_ = std::max(frameMs_, time);
            if (view_) view_->ShowFrame(Base64Decode(params.value("data", "")), time);
        }
    }

    void OnRequestPaused(const Json& params) {
        const std::string requestId = params.value("requestId", "");
        const Json& request = params.at("request");
        const std::string url = request.value("url", "");
        const std::string type = params.value("resourceType", "Other");
        const int context = ResourceContext(type);
        PageSurface& page = *page_;
        if (type == "Document" && params.value("frameId", "") == targetId_) {
            const std::string uri = url + request.value("urlFragment", "");
            bool hostStarted = false;
            std::erase_if(hostNavigations_, [&](const std::string& started) {
                const bool same = !hostStarted && (started == uri || started == url);
                hostStarted = hostStarted || same;
                return same;
            });
            if (!page.RaiseNavigationStarting(uri, !hostStarted)) {
                Call("Fetch.failRequest", Json{{"requestId", requestId}, {"errorReason", "Aborted"}});
                page.RaiseNavigationCompleted(COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED);
                return;
            }
        }
        if (!page.MatchesFilter(url, context)) {
            Call("Fetch.continueRequest", Json{{"requestId", requestId}});
            return;
        }
        PageRequest offered = Offered(request, context);
        // Chromium gets exactly the host's answer, whole, as the runtime passes it on.
        offered.keepBody = std::numeric_limits<std::uint64_t>::max();
        // The answer comes once the runtime has read its body, from the message loop; the driver
        // may have closed by then.
        page.RaiseResourceRequest(offered, [this, alive = std::weak_ptr<int>(alive_), requestId,
                                            uri = offered.uri](std::optional<PageResponse> answer) {
            if (alive.lock() && socket_.Connected())
                Fulfil(requestId, uri, std::move(answer), sessionId_);
        });
    }

    // A call of a folder handle in the top document, carried out; its answer settles the call's
    // promise there (a document that replaced the caller ignores it).
    void AnswerFolderCall(const Json& call) {
        const Json reply = folders_.Answer(call);
        Call(
            "Runtime.evaluate",
            Json{
                {"expression",
                 "window.chrome && window.chrome.webview && window.chrome.webview.__folderReply && "
                 "window.chrome.webview.__folderReply(" +
                     (call.is_object() && call.contains("call") ? call["call"] : Json()).dump() +
                     ", " + reply.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
                     ")"}});
    }

    // Answers a paused request of the page's (or a worker's) `session`. The browser may have
    // given the request up meanwhile (a media element that seeks drops the range it was
    // loading, a navigation drops the old document's requests): the command's answer then says
    // so, and the host's answer is dropped, as the runtime drops it (see Handle).
    void Fulfil(const std::string& requestId, const std::string& uri,
                std::optional<PageResponse> answer, const std::string& session) {
        if (!answer) {
            answersInFlight_[Send("Fetch.continueRequest", Json{{"requestId", requestId}},
                                  session)] = uri;
            return;
        }
        Json headers = Json::array();
        for (const std::string& line : answer->headerLines) {
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos) continue;
            const std::size_t start = line.find_first_not_of(' ', colon + 1);
            headers.push_back(Json{{"name", line.substr(0, colon)},
                                   {"value", start == std::string::npos ? "" : line.substr(start)}});
        }
        Json fulfil{{"requestId", requestId},
                    {"responseCode", answer->status},
                    {"responseHeaders", std::move(headers)}};
        if (!answer->reason.empty()) fulfil["responsePhrase"] = answer->reason;
        // The body's copies are moved along, not copied again: a body may be many MiB.
        fulfil["body"] = Base64Encode(answer->body);
        answer.reset();
        answersInFlight_[Send("Fetch.fulfillRequest", std::move(fulfil), session)] = uri;
    }

    // The answer to a command: a host navigation that Chromium could not carry out ends with a
    // failed NavigationCompleted (a cancelled one already ended when it was refused).
    void OnAnswer(const Json& message) {
        const int id = message.value("id", -1);
        if (const auto delivered = std::find(deliveries_.begin(), deliveries_.end(), id);
            delivered != deliveries_.end()) {
            deliveries_.erase(delivered);  // the page's listeners have run
            WriteViewState();
            return;
        }
        if (id == captureCall_ && id != 0) {
            captureCall_ = 0;
            const Json result = message.value("result", Json::object());
            if (view_ && result.contains("data")) {
                frameMs_ = std::max(frameMs_, captureMs_);
                view_->ShowFrame(Base64Decode(result.value("data", "")), captureMs_);
            }
            RefreshIfStale();  // the page may have changed while the frame was being made
            return;
        }
        const auto found = std::find(navigateCalls_.begin(), navigateCalls_.end(), id);
        if (found == navigateCalls_.end()) return;
        navigateCalls_.erase(found);
        const Json result = message.value("result", Json::object());
        const std::string error =
            message.contains("error") ? "net::ERR_FAILED" : result.value("errorText", "");
        if (error.empty() || error == "net::ERR_ABORTED") return;
        committed_ = false;
        Record("navigationError", Json{{"errorText", error}});
        page_->RaiseNavigationCompleted(WebErrorStatus(error));
    }

    void OnPageEvent(const Json& event) {
        PageSurface& page = *page_;
        const std::string kind = event.value("kind", "");
        if (kind == "message") {
            const std::string json = event.value("json", "null");
            std::optional<std::string> asString;
            if (event.value("isString", false)) asString = Json::parse(json).get<std::string>();
            page.RaiseWebMessage(event.value("source", ""), json, asString);
        } else if (kind == "changed") {
            pageChangedMs_ = std::max(pageChangedMs_, event.value("time", 0.0));
            WriteViewState();
            Dispatcher::Get().PostAfter(kRefreshMs, [this, alive = std::weak_ptr<int>(alive_)] {
                if (alive.lock()) RefreshIfStale();
            });
        } else if (kind == "title") {
            page.RaiseTitleChanged(event.value("title", ""));
        } else if (kind == "domcontentloaded") {
            page.RaiseDomContentLoaded();
        } else if (kind == "fullscreen") {
            page.RaiseFullscreenChanged(event.value("value", false));
        } else if (kind == "close") {
            page.RaiseWindowCloseRequested();
        } else if (kind == "new-window") {
            page.RaiseNewWindowRequested(event.value("uri", ""));
        }
    }

    // Whether a frame made at `frameMs` shows the page's latest change. A frame swapped just after
    // a change may still have been drawn before it: only one made once the page had stayed
    // unchanged for kRefreshMs surely holds it.
    bool FrameIsCurrent(double frameMs) const { return frameMs >= pageChangedMs_ + kRefreshMs; }

    // Once the page has stayed unchanged for kRefreshMs and no frame made since its last change
    // has come, a frame of it as it is now (Page.captureScreenshot renders the page anew).
    void RefreshIfStale() {
        if (sessionId_.empty() || captureCall_ != 0 || FrameIsCurrent(frameMs_)) return;
        const double now = UnixMs();
        if (now - pageChangedMs_ < kRefreshMs) return;  // the check after the latest change will
        captureMs_ = now;
        captureCall_ = Send("Page.captureScreenshot", Json{{"format", "png"}}, sessionId_);
    }

    // The side file WRAPPER_SUBSTITUTE_VIEW_STATE, replaced whole at each change: when the page
    // last changed and when the frame the live view painted last was made (milliseconds since
    // the Unix epoch), how many frames it painted, how many host messages are still on their way
    // to the page's listeners, and whether the window shows the page as it is ("current").
    void WriteViewState() const {
        if (viewStatePath_.empty()) return;
        const bool current =
            paintedFrames_ > 0 && deliveries_.empty() && FrameIsCurrent(paintedMs_);
        const std::string text = Json{{"changed", pageChangedMs_},
                                      {"painted", paintedMs_},
                                      {"frames", paintedFrames_},
                                      {"delivering", deliveries_.size()},
                                      {"current", current}}
                                     .dump() +
                                 "\n";
        const std::wstring partial = viewStatePath_ + L".new";
        const HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        const BOOL ok = WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
        CloseHandle(file);
        if (!ok || written != text.size() ||
            !MoveFileExW(partial.c_str(), viewStatePath_.c_str(), MOVEFILE_REPLACE_EXISTING))
            DeleteFileW(partial.c_str());
    }

    std::string endpoint_;
    std::wstring userDataFolder_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // pending polls check it
    WebSocketClient socket_;
    PageSurface* page_ = nullptr;
    std::shared_ptr<void> hold_;  // keeps the page alive while the browser may still speak
    std::unique_ptr<LiveView> view_;
    FolderHandles folders_;  // the roots of the handles given to the page, its open writables
    double scale_ = 1.0;  // the controller's rasterization scale
    std::string browserArguments_;  // the environment's AdditionalBrowserArguments
    std::string targetId_;
    std::string sessionId_;
    std::map<std::string, int> workers_;      // attached worker sessions: their kind (0: dedicated)
    std::map<int, std::string> workerCalls_;  // commands sent to a worker's session, unanswered
    int nextId_ = 1;
    RECT bounds_{};
    std::vector<std::string> early_;               // events read while awaiting an answer
    std::vector<std::string> pendingNavigations_;  // before the page target exists
    std::vector<std::string> hostNavigations_;     // started by the host, not yet paused
    std::vector<int> navigateCalls_;               // Page.navigate commands not yet answered
    // Fetch.fulfillRequest and Fetch.continueRequest commands not yet answered: the request's URI.
    std::map<int, std::string> answersInFlight_;
    std::vector<int> deliveries_;  // Runtime.evaluate commands delivering host messages
    std::wstring viewStatePath_;   // the side file for whoever photographs the window
    double pageChangedMs_ = 0;     // the page's latest change, by its own clock
    double frameMs_ = 0;           // the newest frame received
    double paintedMs_ = 0;         // the frame the live view painted last
    int paintedFrames_ = 0;
    int captureCall_ = 0;            // the Page.captureScreenshot command under way
    double captureMs_ = 0;           // when it was sent
    bool committed_ = false;         // the main frame's document arrived; its load is to come
    bool showingErrorPage_ = false;  // the error page after a renderer crash is on its way
};

}  // namespace

std::unique_ptr<PageDriver> MakeChromiumDriver(const std::string& endpoint,
                                               const std::wstring& userDataFolder,
                                               const std::string& browserArguments) {
    return std::make_unique<ChromiumDriver>(endpoint, userDataFolder, browserArguments);
}

}  // namespace substitute
