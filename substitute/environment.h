// The environment: creates controllers, responses, file-system handles and object collections.
#pragma once

#include "com_support.h"
#include "runtime.h"

namespace substitute {

class Environment final
    : public ComObject<
          ICoreWebView2Environment14, ICoreWebView2Environment, ICoreWebView2Environment2,
          ICoreWebView2Environment3, ICoreWebView2Environment4, ICoreWebView2Environment5,
          ICoreWebView2Environment6, ICoreWebView2Environment7, ICoreWebView2Environment8,
          ICoreWebView2Environment9, ICoreWebView2Environment10, ICoreWebView2Environment11,
          ICoreWebView2Environment12, ICoreWebView2Environment13, ICoreWebView2Environment14> {
  public:
    Environment(const Switches& switches, std::wstring version);
    ~Environment() override;

    // Whether an environment on `switches.userDataFolder` may start now: not while another one
    // lives on that folder with other browser arguments (its browser holds the folder).
    static bool FolderFree(const Switches& switches);

    HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
        HWND parentWindow,
        ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override;
    HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(
        IStream* content, int statusCode, LPCWSTR reasonPhrase, LPCWSTR headers,
        ICoreWebView2WebResourceResponse** response) override;
    HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* versionInfo) override;
    HRESULT STDMETHODCALLTYPE add_NewBrowserVersionAvailable(
        ICoreWebView2NewBrowserVersionAvailableEventHandler* eventHandler,
        EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE
    remove_NewBrowserVersionAvailable(EventRegistrationToken token) override;

    SUBSTITUTE_UNUSED_SLOT(CreateWebResourceRequest)
    SUBSTITUTE_UNUSED_SLOT(CreateCoreWebView2CompositionController)
    SUBSTITUTE_UNUSED_SLOT(CreateCoreWebView2PointerInfo)
    SUBSTITUTE_UNUSED_SLOT(GetAutomationProviderForWindow)
    HRESULT STDMETHODCALLTYPE
    add_BrowserProcessExited(ICoreWebView2BrowserProcessExitedEventHandler* eventHandler,
                             EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_BrowserProcessExited(EventRegistrationToken token) override;
    SUBSTITUTE_UNUSED_SLOT(CreatePrintSettings)
    SUBSTITUTE_UNUSED_SLOT(get_UserDataFolder)
    SUBSTITUTE_UNUSED_SLOT(add_ProcessInfosChanged)
    SUBSTITUTE_UNUSED_SLOT(remove_ProcessInfosChanged)
    SUBSTITUTE_UNUSED_SLOT(GetProcessInfos)
    SUBSTITUTE_UNUSED_SLOT(CreateContextMenuItem)
    SUBSTITUTE_UNUSED_SLOT(CreateCoreWebView2ControllerOptions)
    SUBSTITUTE_UNUSED_SLOT(CreateCoreWebView2ControllerWithOptions)
    SUBSTITUTE_UNUSED_SLOT(CreateCoreWebView2CompositionControllerWithOptions)
    SUBSTITUTE_UNUSED_SLOT(get_FailureReportFolderPath)
    SUBSTITUTE_UNUSED_SLOT(CreateSharedBuffer)
    SUBSTITUTE_UNUSED_SLOT(GetProcessExtendedInfos)

    HRESULT STDMETHODCALLTYPE CreateWebFileSystemFileHandle(
        LPCWSTR path, COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION permission,
        ICoreWebView2FileSystemHandle** value) override;
    HRESULT STDMETHODCALLTYPE CreateWebFileSystemDirectoryHandle(
        LPCWSTR path, COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION permission,
        ICoreWebView2FileSystemHandle** value) override;
    HRESULT STDMETHODCALLTYPE CreateObjectCollection(
        UINT32 length, IUnknown** items, ICoreWebView2ObjectCollection** objectCollection) override;

    // The browser process of this environment exited (every control of it is closed by then):
    // BrowserProcessExited, with the exit kind.
    void RaiseBrowserProcessExited(bool failed);

protected:
    void OnQueryInterface(REFIID riid, bool answered) override;

  private:
    HRESULT CreateHandle(const char* method, COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND kind,
                         LPCWSTR path, COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION permission,
                         ICoreWebView2FileSystemHandle** value);

    Switches switches_;
    std::wstring version_;
    EventHandlers<ICoreWebView2BrowserProcessExitedEventHandler> browserProcessExited_{
        "BrowserProcessExited"};
};

// How the host reached this runtime: the entry that was called, what only that entry knows, and
// the version the runtime reports there.
struct RuntimeEntry {
    const char* object = "loader";
    const char* method = "CreateCoreWebView2EnvironmentWithOptions";
    Json fields = Json::object();  // written first in the call's transcript line
    std::wstring version = kRuntimeVersion;
};

// Environment creation, behind the loader's CreateCoreWebView2EnvironmentWithOptions and the
// client library's entry. A runtime older than the version whose interfaces it implements answers
// as an older runtime (no ICoreWebView2_23, no ICoreWebView2Environment14).
HRESULT CreateEnvironment(PCWSTR browserFolder, PCWSTR userDataFolder,
                          ICoreWebView2EnvironmentOptions* options,
                          ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler,
                          const RuntimeEntry& entry = {});

// Compares two dotted versions ("137.0.3296.44") part by part as numbers; missing parts are 0.
// Negative, zero or positive as in strcmp.
int CompareVersions(std::wstring_view left, std::wstring_view right);

// True for "C:\...", "C:/..." and "\\server\..." paths.
bool IsAbsolutePath(const std::wstring& path);

}  // namespace substitute
