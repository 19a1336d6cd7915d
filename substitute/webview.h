// The core webview: ICoreWebView2 up to ICoreWebView2_23, and the PageSurface through which a
// page driver raises the page's events. It owns the page driver.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "com_support.h"
#include "page.h"
#include "runtime.h"
#include "settings.h"

namespace substitute {

// Handlers registered for events this runtime never raises; kept so that removal works.
class UnraisedEvents {
public:
    void Clear() { entries_.clear(); }
    HRESULT Add(const char* object, const char* method, void* handler,
                EventRegistrationToken* token);
    HRESULT Remove(const char* object, const char* method, EventRegistrationToken token);

private:
    std::vector<std::pair<INT64, ComPtr<IUnknown>>> entries_;
};

// Raises a process failure on every webview whose controller is open, from a dispatcher task;
// the number of those webviews (0 from a thread other than the runtime's, refused as a call).
// The test hook behind the loader's SubstituteRaiseProcessFailed.
int RaiseProcessFailedEverywhere(const ProcessFailure& failure);

// `*` matches any run of characters and `?` exactly one, as in the vendor's resource filters.
bool WildcardMatch(std::string_view pattern, std::string_view text);

class WebView final
    : public ComObject<ICoreWebView2_23, ICoreWebView2, ICoreWebView2_2, ICoreWebView2_3,
                       ICoreWebView2_4, ICoreWebView2_5, ICoreWebView2_6, ICoreWebView2_7,
                       ICoreWebView2_8, ICoreWebView2_9, ICoreWebView2_10, ICoreWebView2_11,
                       ICoreWebView2_12, ICoreWebView2_13, ICoreWebView2_14, ICoreWebView2_15,
                       ICoreWebView2_16, ICoreWebView2_17, ICoreWebView2_18, ICoreWebView2_19,
                       ICoreWebView2_20, ICoreWebView2_21, ICoreWebView2_22, ICoreWebView2_23>,
      public PageSurface {
public:
    WebView(ComPtr<ICoreWebView2Environment> environment, HWND parent, const Switches& switches);
    ~WebView() override;

    // Wiring by the controller.
    void AttachController(ICoreWebView2Controller* controller) { controller_ = controller; }
    void SetParentWindow(HWND parent) { parent_ = parent; }
    // The controller closed: the page goes, every handler is let go, and every method of the
    // controller, the webview and its settings fails from now on.
    void MarkClosed();
    const ClosedFlag& Closed() const { return closed_; }
    // What closed the control: "Close", "release" (its last reference went), "browser-exit";
    // null while it is open.
    const char* ClosedBy() const { return closedBy_; }
    void SetClosedBy(const char* cause) {
        if (closedBy_ == nullptr) closedBy_ = cause;
    }
    void BoundsChanged(const RECT& bounds) { driver_->OnBoundsChanged(bounds); }
    void VisibilityChanged(bool visible) { driver_->OnVisibilityChanged(visible); }
    void ScaleChanged(double scale) { driver_->OnScaleChanged(scale); }
    // The control's own child window that holds the page's focus when the driver has none.
    void SetFocusWindow(HWND window) { focusWindow_ = window; }
    // MoveFocus: the page takes the keyboard focus.
    void TakeFocus() const;
    HRESULT AddAcceleratorKeyHandler(ICoreWebView2AcceleratorKeyPressedEventHandler* handler,
                                     EventRegistrationToken* token);
    HRESULT RemoveAcceleratorKeyHandler(EventRegistrationToken token);
    // The host holds its controller: the page may start.
    void StartPage();

    // ICoreWebView2
    HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) override;
    HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) override;
    HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override;
    HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR htmlContent) override;
    HRESULT STDMETHODCALLTYPE
    add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* eventHandler,
                           EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_NavigationStarting(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE
    add_ContentLoading(ICoreWebView2ContentLoadingEventHandler* eventHandler,
                       EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_ContentLoading(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE
    add_SourceChanged(ICoreWebView2SourceChangedEventHandler* eventHandler,
                      EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_SourceChanged(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE
    add_HistoryChanged(ICoreWebView2HistoryChangedEventHandler* eventHandler,
                       EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_HistoryChanged(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE
    add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* eventHandler,
                            EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE
    add_FrameNavigationStarting(ICoreWebView2NavigationStartingEventHandler* eventHandler,
                                EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_FrameNavigationStarting(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE
    add_FrameNavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* eventHandler,
                                 EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE
    remove_FrameNavigationCompleted(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE
    add_ScriptDialogOpening(ICoreWebView2ScriptDialogOpeningEventHandler* eventHandler,
                            EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_ScriptDialogOpening(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE
    add_PermissionRequested(ICoreWebView2PermissionRequestedEventHandler* eventHandler,
                            EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_PermissionRequested(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE
    add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* eventHandler,
                      EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_ProcessFailed(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
        LPCWSTR javaScript,
        ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) override;
    HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id) override;
    HRESULT STDMETHODCALLTYPE
    ExecuteScript(LPCWSTR javaScript, ICoreWebView2ExecuteScriptCompletedHandler* handler) override;
    HRESULT STDMETHODCALLTYPE
    CapturePreview(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT imageFormat, IStream* imageStream,
                   ICoreWebView2CapturePreviewCompletedHandler* handler) override;
    HRESULT STDMETHODCALLTYPE Reload() override;
    HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR webMessageAsJson) override;
    HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR webMessageAsString) override;
    HRESULT STDMETHODCALLTYPE
    add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                           EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethod(
        LPCWSTR methodName, LPCWSTR parametersAsJson,
        ICoreWebView2CallDevToolsProtocolMethodCompletedHandler* handler) override;
    HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* value) override;
    HRESULT STDMETHODCALLTYPE get_CanGoBack(BOOL* canGoBack) override;
    HRESULT STDMETHODCALLTYPE get_CanGoForward(BOOL* canGoForward) override;
    HRESULT STDMETHODCALLTYPE GoBack() override;
    HRESULT STDMETHODCALLTYPE GoForward() override;
    HRESULT STDMETHODCALLTYPE GetDevToolsProtocolEventReceiver(
        LPCWSTR eventName, ICoreWebView2DevToolsProtocolEventReceiver** receiver) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE
    add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* eventHandler,
                           EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_NewWindowRequested(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE
    add_DocumentTitleChanged(ICoreWebView2DocumentTitleChangedEventHandler* eventHandler,
                             EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_DocumentTitleChanged(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR* title) override;
    HRESULT STDMETHODCALLTYPE AddHostObjectToScript(LPCWSTR name, VARIANT* object) override;
    HRESULT STDMETHODCALLTYPE RemoveHostObjectFromScript(LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE OpenDevToolsWindow() override;
    HRESULT STDMETHODCALLTYPE add_ContainsFullScreenElementChanged(
        ICoreWebView2ContainsFullScreenElementChangedEventHandler* eventHandler,
        EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE
    remove_ContainsFullScreenElementChanged(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE
    get_ContainsFullScreenElement(BOOL* containsFullScreenElement) override;
    HRESULT STDMETHODCALLTYPE
    add_WebResourceRequested(ICoreWebView2WebResourceRequestedEventHandler* eventHandler,
                             EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_WebResourceRequested(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(
        const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) override;
    HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilter(
        const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) override;
    HRESULT STDMETHODCALLTYPE
    add_WindowCloseRequested(ICoreWebView2WindowCloseRequestedEventHandler* eventHandler,
                             EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_WindowCloseRequested(EventRegistrationToken token) override;

    // ICoreWebView2_2
    HRESULT STDMETHODCALLTYPE add_WebResourceResponseReceived(
        ICoreWebView2WebResourceResponseReceivedEventHandler* eventHandler,
        EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE
    remove_WebResourceResponseReceived(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE
    NavigateWithWebResourceRequest(ICoreWebView2WebResourceRequest* request) override;
    HRESULT STDMETHODCALLTYPE
    add_DOMContentLoaded(ICoreWebView2DOMContentLoadedEventHandler* eventHandler,
                         EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_DOMContentLoaded(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE
    get_CookieManager(ICoreWebView2CookieManager** cookieManager) override;
    HRESULT STDMETHODCALLTYPE get_Environment(ICoreWebView2Environment** environment) override;

    // ICoreWebView2_3 ... ICoreWebView2_22: not offered by this runtime.
    SUBSTITUTE_UNUSED_SLOT(TrySuspend)
    SUBSTITUTE_UNUSED_SLOT(Resume)
    SUBSTITUTE_UNUSED_SLOT(get_IsSuspended)
    SUBSTITUTE_UNUSED_SLOT(SetVirtualHostNameToFolderMapping)
    SUBSTITUTE_UNUSED_SLOT(ClearVirtualHostNameToFolderMapping)
    SUBSTITUTE_UNUSED_SLOT(add_FrameCreated)
    SUBSTITUTE_UNUSED_SLOT(remove_FrameCreated)
    SUBSTITUTE_UNUSED_SLOT(add_DownloadStarting)
    SUBSTITUTE_UNUSED_SLOT(remove_DownloadStarting)
    SUBSTITUTE_UNUSED_SLOT(add_ClientCertificateRequested)
    SUBSTITUTE_UNUSED_SLOT(remove_ClientCertificateRequested)
    SUBSTITUTE_UNUSED_SLOT(OpenTaskManagerWindow)
    SUBSTITUTE_UNUSED_SLOT(PrintToPdf)
    SUBSTITUTE_UNUSED_SLOT(add_IsMutedChanged)
    SUBSTITUTE_UNUSED_SLOT(remove_IsMutedChanged)
    SUBSTITUTE_UNUSED_SLOT(get_IsMuted)
    SUBSTITUTE_UNUSED_SLOT(put_IsMuted)
    SUBSTITUTE_UNUSED_SLOT(add_IsDocumentPlayingAudioChanged)
    SUBSTITUTE_UNUSED_SLOT(remove_IsDocumentPlayingAudioChanged)
    SUBSTITUTE_UNUSED_SLOT(get_IsDocumentPlayingAudio)
    SUBSTITUTE_UNUSED_SLOT(add_IsDefaultDownloadDialogOpenChanged)
    SUBSTITUTE_UNUSED_SLOT(remove_IsDefaultDownloadDialogOpenChanged)
    SUBSTITUTE_UNUSED_SLOT(get_IsDefaultDownloadDialogOpen)
    SUBSTITUTE_UNUSED_SLOT(OpenDefaultDownloadDialog)
    SUBSTITUTE_UNUSED_SLOT(CloseDefaultDownloadDialog)
    SUBSTITUTE_UNUSED_SLOT(get_DefaultDownloadDialogCornerAlignment)
    SUBSTITUTE_UNUSED_SLOT(put_DefaultDownloadDialogCornerAlignment)
    SUBSTITUTE_UNUSED_SLOT(get_DefaultDownloadDialogMargin)
    SUBSTITUTE_UNUSED_SLOT(put_DefaultDownloadDialogMargin)
    SUBSTITUTE_UNUSED_SLOT(add_BasicAuthenticationRequested)
    SUBSTITUTE_UNUSED_SLOT(remove_BasicAuthenticationRequested)
    SUBSTITUTE_UNUSED_SLOT(CallDevToolsProtocolMethodForSession)
    SUBSTITUTE_UNUSED_SLOT(add_ContextMenuRequested)
    SUBSTITUTE_UNUSED_SLOT(remove_ContextMenuRequested)
    SUBSTITUTE_UNUSED_SLOT(add_StatusBarTextChanged)
    SUBSTITUTE_UNUSED_SLOT(remove_StatusBarTextChanged)
    SUBSTITUTE_UNUSED_SLOT(get_StatusBarText)
    SUBSTITUTE_UNUSED_SLOT(get_Profile)
    SUBSTITUTE_UNUSED_SLOT(add_ServerCertificateErrorDetected)
    SUBSTITUTE_UNUSED_SLOT(remove_ServerCertificateErrorDetected)
    SUBSTITUTE_UNUSED_SLOT(ClearServerCertificateErrorActions)
    SUBSTITUTE_UNUSED_SLOT(add_FaviconChanged)
    SUBSTITUTE_UNUSED_SLOT(remove_FaviconChanged)
    SUBSTITUTE_UNUSED_SLOT(get_FaviconUri)
    SUBSTITUTE_UNUSED_SLOT(GetFavicon)
    SUBSTITUTE_UNUSED_SLOT(Print)
    SUBSTITUTE_UNUSED_SLOT(ShowPrintUI)
    SUBSTITUTE_UNUSED_SLOT(PrintToPdfStream)
    SUBSTITUTE_UNUSED_SLOT(PostSharedBufferToScript)
    SUBSTITUTE_UNUSED_SLOT(add_LaunchingExternalUriScheme)
    SUBSTITUTE_UNUSED_SLOT(remove_LaunchingExternalUriScheme)
    SUBSTITUTE_UNUSED_SLOT(get_MemoryUsageTargetLevel)
    SUBSTITUTE_UNUSED_SLOT(put_MemoryUsageTargetLevel)
    SUBSTITUTE_UNUSED_SLOT(get_FrameId)
    SUBSTITUTE_UNUSED_SLOT(ExecuteScriptWithResult)

    // ICoreWebView2_22
    HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilterWithRequestSourceKinds(
        LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
        COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS sourceKinds) override;
    HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilterWithRequestSourceKinds(
        LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
        COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS sourceKinds) override;

    // ICoreWebView2_23
    HRESULT STDMETHODCALLTYPE PostWebMessageAsJsonWithAdditionalObjects(
        LPCWSTR webMessageAsJson, ICoreWebView2ObjectCollectionView* additionalObjects) override;

    // PageSurface
    void RunNavigation(const std::string& uri, bool userInitiated,
                       std::function<void()> done) override;
    bool RaiseNavigationStarting(const std::string& uri, bool userInitiated) override;
    void RaiseNavigationCommitted(bool errorPage) override;
    void RaiseNavigationCompleted(int webErrorStatus) override;
    void RunFailingNavigation(const std::string& uri, bool userInitiated, int webErrorStatus,
                              std::function<void()> done) override;
    void RaiseProcessFailed(const ProcessFailure& failure) override;
    void RaiseResourceRequest(const PageRequest& request,
                              std::function<void(std::optional<PageResponse>)> done) override;
    bool MatchesFilter(const std::string& uri, int context, int source = 1) const override;
    std::vector<std::pair<std::string, int>> Filters() const override;
    void RaiseDomContentLoaded() override;
    void RaiseWebMessage(const std::string& source, const std::string& json,
                         const std::optional<std::string>& asString) override;
    void RaiseTitleChanged(const std::string& title) override;
    void RaiseFullscreenChanged(bool containsFullscreenElement) override;
    void RaiseWindowCloseRequested() override;
    void RaiseNewWindowRequested(const std::string& uri) override;
    void RaisePermissionRequested(int kind, const std::string& uri) override;
    void RaiseAcceleratorKey(unsigned virtualKey, int keyEventKind) override;
    HWND ParentWindow() const override { return parent_; }
    bool PageHasFocus() const override;
    bool BrowserExited() const override {
        return closedBy_ != nullptr && std::string_view(closedBy_) == "browser-exit";
    }
    std::shared_ptr<void> Hold() override;

protected:
    void OnQueryInterface(REFIID riid, bool answered) override;

private:
    ICoreWebView2* Self() { return this; }
    void CompleteNavigation(UINT64 id, int webErrorStatus);
    bool SkipClosed(const char* event);
    template <typename Handler>
    HRESULT AddHandler(EventHandlers<Handler>& handlers, const char* method, Handler* handler,
                       EventRegistrationToken* token);
    template <typename Handler>
    HRESULT RemoveHandler(EventHandlers<Handler>& handlers, const char* method,
                          EventRegistrationToken token);

    ClosedFlag closed_ = std::make_shared<bool>(false);  // shared with the controller and settings
    const char* closedBy_ = nullptr;
    ComPtr<ICoreWebView2Environment> environment_;
    ComPtr<Settings> settings_;
    ICoreWebView2Controller* controller_ = nullptr;  // the owner; cleared when it goes
    HWND parent_;
    bool failSettings_;
    bool hashBodies_;
    int failNavigation_;
    std::unique_ptr<PageDriver> driver_;
    HWND focusWindow_ = nullptr;

    std::string source_ = "about:blank";
    std::string title_;
    bool fullscreen_ = false;
    UINT64 navigationCount_ = 0;
    UINT64 currentNavigation_ = 0;  // the last navigation not cancelled
    UINT64 lastNavigation_ = 0;     // the last navigation started, cancelled or not
    struct Filter {
        std::string pattern;
        COREWEBVIEW2_WEB_RESOURCE_CONTEXT context;
        unsigned sourceKinds;  // COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS
    };
    // Adds or removes a filter (the legacy methods' source kind is the document's).
    HRESULT AddFilter(const char* method, LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
                      unsigned sourceKinds);
    HRESULT RemoveFilter(const char* method, LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context,
                         unsigned sourceKinds);
    std::vector<Filter> filters_;

    EventHandlers<ICoreWebView2NavigationStartingEventHandler> navigationStarting_{
        "NavigationStarting"};
    EventHandlers<ICoreWebView2PermissionRequestedEventHandler> permissionRequested_{
        "PermissionRequested"};
    EventHandlers<ICoreWebView2WebMessageReceivedEventHandler> webMessageReceived_{
        "WebMessageReceived"};
    EventHandlers<ICoreWebView2NewWindowRequestedEventHandler> newWindowRequested_{
        "NewWindowRequested"};
    EventHandlers<ICoreWebView2DocumentTitleChangedEventHandler> documentTitleChanged_{
        "DocumentTitleChanged"};
    EventHandlers<ICoreWebView2ContainsFullScreenElementChangedEventHandler> fullscreenChanged_{
        "ContainsFullScreenElementChanged"};
    EventHandlers<ICoreWebView2WebResourceRequestedEventHandler> webResourceRequested_{
        "WebResourceRequested"};
    EventHandlers<ICoreWebView2WindowCloseRequestedEventHandler> windowCloseRequested_{
        "WindowCloseRequested"};
    EventHandlers<ICoreWebView2DOMContentLoadedEventHandler> domContentLoaded_{"DOMContentLoaded"};
    EventHandlers<ICoreWebView2AcceleratorKeyPressedEventHandler> acceleratorKeyPressed_{
        "AcceleratorKeyPressed"};
    EventHandlers<ICoreWebView2SourceChangedEventHandler> sourceChanged_{"SourceChanged"};
    EventHandlers<ICoreWebView2ContentLoadingEventHandler> contentLoading_{"ContentLoading"};
    EventHandlers<ICoreWebView2HistoryChangedEventHandler> historyChanged_{"HistoryChanged"};
    EventHandlers<ICoreWebView2NavigationCompletedEventHandler> navigationCompleted_{
        "NavigationCompleted"};
    EventHandlers<ICoreWebView2ProcessFailedEventHandler> processFailed_{"ProcessFailed"};
    UnraisedEvents unraised_;
};

}  // namespace substitute
