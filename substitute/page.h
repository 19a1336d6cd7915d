// The seam between the COM objects and whatever plays the page. The webview object offers a
// PageSurface (what a page can cause: navigations, requests, messages, title and fullscreen
// changes, ...); a PageDriver decides when those happen. The scenario player is one driver; a
// driver running real pages in a headless browser can sit behind the same two interfaces.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace substitute {

struct PageRequest {
    std::string method = "GET";
    std::string uri;
    int context = 0;  // COREWEBVIEW2_WEB_RESOURCE_CONTEXT
    std::vector<std::pair<std::string, std::string>> headers;
    // How many of the answer's first body bytes the driver keeps (the body is read to its end
    // for the transcript either way).
    std::uint64_t keepBody = 0;
    // Who asks: the document (its frames and dedicated workers too), a shared worker or a
    // service worker (a COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS flag). A filter added
    // without source kinds covers documents only.
    int source = 1;
};

// What the host answered to a resource request it was offered.
struct PageResponse {
    int status = 0;
    std::string reason;
    std::vector<std::string> headerLines;  // "Name: value", in the host's order
    std::string body;                      // the body's first bytes, as many as were asked for
    std::uint64_t bodyLength = 0;          // the length of the whole body
};

// What one process failure reports: the kind, and through the event's second interface the
// reason, the exit code and the process's description.
struct ProcessFailure {
    int kind = 0;    // COREWEBVIEW2_PROCESS_FAILED_KIND
    int reason = 0;  // COREWEBVIEW2_PROCESS_FAILED_REASON
    int exitCode = 0;
    std::string description;
    // For a browser exit: a BrowserExitEvent value, or -1 for the runtime's switch.
    int exitEvent = -1;
};

// NavigationCompleted's status for a navigation that succeeded (not a value of
// COREWEBVIEW2_WEB_ERROR_STATUS).
inline constexpr int kNavigationSucceeded = -1;

// Every Raise* call raises its event synchronously; drivers call them from dispatcher tasks,
// never from inside a call of the host.
class PageSurface {
  public:
    virtual ~PageSurface() = default;
    // A navigation's events, each as its own dispatcher task: NavigationStarting; unless
    // cancelled the document request (when a filter matches), SourceChanged, ContentLoading and
    // HistoryChanged, DOMContentLoaded, NavigationCompleted. A cancelled navigation ends with
    // NavigationCompleted (operation canceled). `done` runs after the last of them.
    virtual void RunNavigation(const std::string& uri, bool userInitiated,
                               std::function<void()> done) = 0;
    // NavigationStarting alone, for a driver whose page loads the document itself; true when no
    // handler cancelled it (the navigation then becomes the current one).
    virtual bool RaiseNavigationStarting(const std::string& uri, bool userInitiated) = 0;
    // The current navigation's document arrived: SourceChanged, ContentLoading, HistoryChanged.
    virtual void RaiseNavigationCommitted(bool errorPage) = 0;
    // NavigationCompleted of the current navigation (or of the last one started, when that was
    // cancelled): kNavigationSucceeded or a COREWEBVIEW2_WEB_ERROR_STATUS value.
    virtual void RaiseNavigationCompleted(int webErrorStatus) = 0;
    // A navigation that fails without a document: NavigationStarting, then (unless cancelled)
    // NavigationCompleted with `webErrorStatus`, each as its own dispatcher task.
    virtual void RunFailingNavigation(const std::string& uri, bool userInitiated,
                                      int webErrorStatus, std::function<void()> done) = 0;
    // ProcessFailed. A browser process that exited closes the control first (every call fails
    // from then on) and raises BrowserProcessExited on the environment afterwards.
    virtual void RaiseProcessFailed(const ProcessFailure& failure) = 0;
    // WebResourceRequested. `done` gets the host's answer, when a filter matched, a handler ran
    // and it set a response, once the runtime has read its body (later, from the message loop),
    // or nothing (then at once).
    virtual void RaiseResourceRequest(const PageRequest& request,
                                      std::function<void(std::optional<PageResponse>)> done) = 0;
    // `source`: a COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS flag (1: the document).
    virtual bool MatchesFilter(const std::string& uri, int context, int source = 1) const = 0;
    // The host's filters: the pattern and its context.
    virtual std::vector<std::pair<std::string, int>> Filters() const = 0;
    virtual void RaiseDomContentLoaded() = 0;
    // `asString` holds the text when the page posted a string.
    virtual void RaiseWebMessage(const std::string& source, const std::string& json,
                                 const std::optional<std::string>& asString) = 0;
    virtual void RaiseTitleChanged(const std::string& title) = 0;
    virtual void RaiseFullscreenChanged(bool containsFullscreenElement) = 0;
    virtual void RaiseWindowCloseRequested() = 0;
    virtual void RaiseNewWindowRequested(const std::string& uri) = 0;
    virtual void RaisePermissionRequested(int kind, const std::string& uri) = 0;
    virtual void RaiseAcceleratorKey(unsigned virtualKey, int keyEventKind) = 0;
    virtual HWND ParentWindow() const = 0;
    // Whether the page holds the keyboard focus: only after MoveFocus or a click into it, and
    // not again when its parent window is merely activated.
    virtual bool PageHasFocus() const = 0;
    // The control was closed because its browser process exited.
    virtual bool BrowserExited() const = 0;
    // A reference that keeps the surface alive while a driver's task is pending.
    virtual std::shared_ptr<void> Hold() = 0;
};

class PageDriver {
  public:
    virtual ~PageDriver() = default;
    // The host has received its controller; the page may start acting.
    virtual void Start(PageSurface& page) = 0;
    // The host called Navigate.
    virtual void OnHostNavigate(PageSurface& page, const std::string& uri) = 0;
    // The host posted a message: `json` as posted (a string message arrives JSON-encoded);
    // `objectsJson` is the JSON array describing the additional objects, empty without them.
    virtual void OnHostMessage(const std::string& /*json*/, const std::string& /*objectsJson*/) {}
    virtual void OnFiltersChanged(PageSurface& /*page*/) {}
    // The controller's bounds (client coordinates of the parent window) and visibility.
    virtual void OnBoundsChanged(const RECT& /*bounds*/) {}
    virtual void OnVisibilityChanged(bool /*visible*/) {}
    // The controller's rasterization scale: device pixels per CSS pixel.
    virtual void OnScaleChanged(double /*scale*/) {}
    // The window that takes the page's keyboard focus (the live view), null to use the control's.
    virtual HWND FocusWindow() const { return nullptr; }
    // The controller was closed: the page is gone.
    virtual void OnClosed() {}
};

struct Switches;

// The Chromium driver when WRAPPER_SUBSTITUTE_CHROMIUM is set, else the scenario player when
// WRAPPER_SUBSTITUTE_SCENARIO names a file, else a driver that only carries out the host's
// navigations.
std::unique_ptr<PageDriver> MakePageDriver(const Switches& switches);
// A driver running real pages in headless Chromium, reached at `endpoint`
// (ws://127.0.0.1:PORT/devtools/browser/ID), or with `endpoint` "user-data", in the Chromium
// whose profile is `<userDataFolder>\EBWebView` (where the runtime keeps its profile): its
// endpoint is read from that profile's DevToolsActivePort file when the page starts. Each of
// `browserArguments` that the browser was not started with is refused aloud.
std::unique_ptr<PageDriver> MakeChromiumDriver(const std::string& endpoint,
                                               const std::wstring& userDataFolder,
                                               const std::string& browserArguments);

}  // namespace substitute
