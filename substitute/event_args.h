// Event arguments of the page-side events; the host's answers stay readable after its handlers
// return.
#pragma once

#include <optional>
#include <string>

#include "com_support.h"
#include "page.h"

namespace substitute {

// Answers are read when the handlers return: deferrals are refused (and the attempt recorded).
HRESULT RefuseDeferral(const char* object, ICoreWebView2Deferral** deferral);

class NavigationStartingArgs final : public ComObject<ICoreWebView2NavigationStartingEventArgs,
                                                      ICoreWebView2NavigationStartingEventArgs> {
public:
    NavigationStartingArgs(std::string uri, bool userInitiated, UINT64 navigationId);
    HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override;
    HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) override;
    HRESULT STDMETHODCALLTYPE get_IsRedirected(BOOL* isRedirected) override;
    HRESULT STDMETHODCALLTYPE
    get_RequestHeaders(ICoreWebView2HttpRequestHeaders** requestHeaders) override;
    HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) override;
    HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) override;
    HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* navigationId) override;
    bool Cancelled() const { return cancel_ != FALSE; }

private:
    std::string uri_;
    bool userInitiated_;
    UINT64 navigationId_;
    BOOL cancel_ = FALSE;
};

class PermissionRequestedArgs final : public ComObject<ICoreWebView2PermissionRequestedEventArgs,
                                                       ICoreWebView2PermissionRequestedEventArgs> {
public:
    PermissionRequestedArgs(std::string uri, COREWEBVIEW2_PERMISSION_KIND kind)
        : ComObject("permission-request"), uri_(std::move(uri)), kind_(kind) {}
    HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override;
    HRESULT STDMETHODCALLTYPE
    get_PermissionKind(COREWEBVIEW2_PERMISSION_KIND* permissionKind) override;
    HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) override;
    HRESULT STDMETHODCALLTYPE get_State(COREWEBVIEW2_PERMISSION_STATE* state) override;
    HRESULT STDMETHODCALLTYPE put_State(COREWEBVIEW2_PERMISSION_STATE state) override;
    HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) override;
    COREWEBVIEW2_PERMISSION_STATE State() const { return state_; }

private:
    std::string uri_;
    COREWEBVIEW2_PERMISSION_KIND kind_;
    COREWEBVIEW2_PERMISSION_STATE state_ = COREWEBVIEW2_PERMISSION_STATE_DEFAULT;
};

class WindowFeatures final
    : public ComObject<ICoreWebView2WindowFeatures, ICoreWebView2WindowFeatures> {
public:
    WindowFeatures() : ComObject("window-features") {}
    HRESULT STDMETHODCALLTYPE get_HasPosition(BOOL* value) override {
        return Call(__func__, [&] { return Put<BOOL>(value, FALSE); });
    }
    HRESULT STDMETHODCALLTYPE get_HasSize(BOOL* value) override {
        return Call(__func__, [&] { return Put<BOOL>(value, FALSE); });
    }
    HRESULT STDMETHODCALLTYPE get_Left(UINT32* value) override {
        return Call(__func__, [&] { return Put<UINT32>(value, 0); });
    }
    HRESULT STDMETHODCALLTYPE get_Top(UINT32* value) override {
        return Call(__func__, [&] { return Put<UINT32>(value, 0); });
    }
    HRESULT STDMETHODCALLTYPE get_Height(UINT32* value) override {
        return Call(__func__, [&] { return Put<UINT32>(value, 0); });
    }
    HRESULT STDMETHODCALLTYPE get_Width(UINT32* value) override {
        return Call(__func__, [&] { return Put<UINT32>(value, 0); });
    }
    HRESULT STDMETHODCALLTYPE get_ShouldDisplayMenuBar(BOOL* value) override {
        return Call(__func__, [&] { return Put<BOOL>(value, TRUE); });
    }
    HRESULT STDMETHODCALLTYPE get_ShouldDisplayStatus(BOOL* value) override {
        return Call(__func__, [&] { return Put<BOOL>(value, TRUE); });
    }
    HRESULT STDMETHODCALLTYPE get_ShouldDisplayToolbar(BOOL* value) override {
        return Call(__func__, [&] { return Put<BOOL>(value, TRUE); });
    }
    HRESULT STDMETHODCALLTYPE get_ShouldDisplayScrollBars(BOOL* value) override {
        return Call(__func__, [&] { return Put<BOOL>(value, TRUE); });
    }
};

class NewWindowRequestedArgs final : public ComObject<ICoreWebView2NewWindowRequestedEventArgs,
                                                      ICoreWebView2NewWindowRequestedEventArgs> {
public:
    explicit NewWindowRequestedArgs(std::string uri)
        : ComObject("new-window-request"), uri_(std::move(uri)) {}
    HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override;
    HRESULT STDMETHODCALLTYPE put_NewWindow(ICoreWebView2* newWindow) override;
    HRESULT STDMETHODCALLTYPE get_NewWindow(ICoreWebView2** newWindow) override;
    HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override;
    HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) override;
    HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) override;
    HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) override;
    HRESULT STDMETHODCALLTYPE get_WindowFeatures(ICoreWebView2WindowFeatures** value) override;
    bool Handled() const { return handled_ != FALSE; }
    bool HasNewWindow() const { return newWindow_ != nullptr; }

private:
    std::string uri_;
    ComPtr<ICoreWebView2> newWindow_;
    BOOL handled_ = FALSE;
};

class WebMessageReceivedArgs final : public ComObject<ICoreWebView2WebMessageReceivedEventArgs,
                                                      ICoreWebView2WebMessageReceivedEventArgs> {
public:
    WebMessageReceivedArgs(std::string source, std::string json, std::optional<std::string> text)
        : ComObject("web-message"),
          source_(std::move(source)),
          json_(std::move(json)),
          text_(std::move(text)) {}
    HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* value) override;
    HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* value) override;

private:
    std::string source_;
    std::string json_;
    std::optional<std::string> text_;
};

class AcceleratorKeyPressedArgs final
    : public ComObject<ICoreWebView2AcceleratorKeyPressedEventArgs,
                       ICoreWebView2AcceleratorKeyPressedEventArgs> {
public:
    AcceleratorKeyPressedArgs(UINT virtualKey, COREWEBVIEW2_KEY_EVENT_KIND kind);
    HRESULT STDMETHODCALLTYPE get_KeyEventKind(COREWEBVIEW2_KEY_EVENT_KIND* keyEventKind) override;
    HRESULT STDMETHODCALLTYPE get_VirtualKey(UINT* virtualKey) override;
    HRESULT STDMETHODCALLTYPE get_KeyEventLParam(INT* lParam) override;
    HRESULT STDMETHODCALLTYPE
    get_PhysicalKeyStatus(COREWEBVIEW2_PHYSICAL_KEY_STATUS* physicalKeyStatus) override;
    HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) override;
    HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override;
    bool Handled() const { return handled_ != FALSE; }
    INT LParam() const { return lParam_; }

private:
    UINT virtualKey_;
    COREWEBVIEW2_KEY_EVENT_KIND kind_;
    COREWEBVIEW2_PHYSICAL_KEY_STATUS status_{};
    INT lParam_ = 0;
    BOOL handled_ = FALSE;
};

class DomContentLoadedArgs final : public ComObject<ICoreWebView2DOMContentLoadedEventArgs,
                                                    ICoreWebView2DOMContentLoadedEventArgs> {
public:
    explicit DomContentLoadedArgs(UINT64 navigationId)
        : ComObject("dom-content-loaded"), navigationId_(navigationId) {}
    HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* value) override {
        return Call(__func__, [&] { return Put(value, navigationId_); });
    }

private:
    UINT64 navigationId_;
};

class SourceChangedArgs final
    : public ComObject<ICoreWebView2SourceChangedEventArgs, ICoreWebView2SourceChangedEventArgs> {
public:
    explicit SourceChangedArgs(bool newDocument)
        : ComObject("source-changed"), newDocument_(newDocument) {}
    HRESULT STDMETHODCALLTYPE get_IsNewDocument(BOOL* value) override {
        return Call(__func__, [&] { return Put<BOOL>(value, newDocument_); });
    }

private:
    bool newDocument_;
};

class ContentLoadingArgs final
    : public ComObject<ICoreWebView2ContentLoadingEventArgs, ICoreWebView2ContentLoadingEventArgs> {
public:
    ContentLoadingArgs(bool errorPage, UINT64 navigationId)
        : ComObject("content-loading"), errorPage_(errorPage), navigationId_(navigationId) {}
    HRESULT STDMETHODCALLTYPE get_IsErrorPage(BOOL* value) override {
        return Call(__func__, [&] { return Put<BOOL>(value, errorPage_); });
    }
    HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* value) override {
        return Call(__func__, [&] { return Put(value, navigationId_); });
    }

private:
    bool errorPage_;
    UINT64 navigationId_;
};

class NavigationCompletedArgs final : public ComObject<ICoreWebView2NavigationCompletedEventArgs,
                                                       ICoreWebView2NavigationCompletedEventArgs> {
public:
    // `status`: kNavigationSucceeded or a COREWEBVIEW2_WEB_ERROR_STATUS value.
    NavigationCompletedArgs(int status, UINT64 navigationId)
        : ComObject("navigation-completed"), status_(status), navigationId_(navigationId) {}
    HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* isSuccess) override {
        return Call(__func__,
                    [&] { return Put<BOOL>(isSuccess, status_ == kNavigationSucceeded); });
    }
    HRESULT STDMETHODCALLTYPE
    get_WebErrorStatus(COREWEBVIEW2_WEB_ERROR_STATUS* webErrorStatus) override {
        return Call(__func__, [&] {
            return Put(webErrorStatus, status_ == kNavigationSucceeded
                                           ? COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN
                                           : static_cast<COREWEBVIEW2_WEB_ERROR_STATUS>(status_));
        });
    }
    HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* navigationId) override {
        return Call(__func__, [&] { return Put(navigationId, navigationId_); });
    }

private:
    int status_;
    UINT64 navigationId_;
};

class ProcessFailedArgs final
    : public ComObject<ICoreWebView2ProcessFailedEventArgs2, ICoreWebView2ProcessFailedEventArgs,
                       ICoreWebView2ProcessFailedEventArgs2> {
public:
    explicit ProcessFailedArgs(ProcessFailure failure)
        : ComObject("process-failed"), failure_(std::move(failure)) {}
    HRESULT STDMETHODCALLTYPE
    get_ProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* value) override;
    HRESULT STDMETHODCALLTYPE get_Reason(COREWEBVIEW2_PROCESS_FAILED_REASON* reason) override;
    HRESULT STDMETHODCALLTYPE get_ExitCode(int* exitCode) override;
    HRESULT STDMETHODCALLTYPE get_ProcessDescription(LPWSTR* processDescription) override;
    HRESULT STDMETHODCALLTYPE
    get_FrameInfosForFailedProcess(ICoreWebView2FrameInfoCollection** frames) override;

private:
    ProcessFailure failure_;
};

class BrowserProcessExitedArgs final
    : public ComObject<ICoreWebView2BrowserProcessExitedEventArgs,
                       ICoreWebView2BrowserProcessExitedEventArgs> {
public:
    BrowserProcessExitedArgs(bool failed, UINT32 processId)
        : ComObject("browser-process-exited"), failed_(failed), processId_(processId) {}
    HRESULT STDMETHODCALLTYPE
    get_BrowserProcessExitKind(COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND* value) override {
        return Call(__func__, [&] {
            return Put(value, failed_ ? COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND_FAILED
                                      : COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND_NORMAL);
        });
    }
    HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* value) override {
        return Call(__func__, [&] { return Put(value, processId_); });
    }

private:
    bool failed_;
    UINT32 processId_;
};

// The argument-less events pass a plain object that answers only IUnknown.
class EmptyArgs final : public ComObject<IUnknown> {
public:
    EmptyArgs() : ComObject("event-args") {}
};

}  // namespace substitute
