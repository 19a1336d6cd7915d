// The seam between the COM objects and whatever plays the page. The webview object offers a
// PageSurface (what a page can cause: navigations, requests, messages, title and fullscreen
// changes, ...); a PageDriver decides when those happen. The scenario player is one driver; a
// driver running real pages in a headless browser can sit behind the same two interfaces.
#pragma once

#include <windows.h>

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
};

// Every Raise* call raises its event synchronously; drivers call them from dispatcher tasks,
// never from inside a call of the host.
class PageSurface {
  public:
    virtual ~PageSurface() = default;
    // NavigationStarting; unless cancelled the document request (when a filter matches), then
    // DOMContentLoaded, each as its own dispatcher task. `done` runs after the last of them.
    virtual void RunNavigation(const std::string& uri, bool userInitiated,
                               std::function<void()> done) = 0;
    virtual void RaiseResourceRequest(const PageRequest& request) = 0;
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
};

// The scenario player when WRAPPER_SUBSTITUTE_SCENARIO names a file, else a driver that only
// carries out the host's navigations.
std::unique_ptr<PageDriver> MakePageDriver(const std::wstring& scenarioPath);

}  // namespace substitute
