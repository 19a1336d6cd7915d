// The WebView2 loader library, loaded at run time from the executable's folder so that a missing
// DLL gives a clear message instead of a system error at process start.
#pragma once

#include <windows.h>

#include <string>

#include "webview/webview2_api.h"

using CreateEnvironmentWithOptionsFn = HRESULT(STDAPICALLTYPE*)(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder,
    ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);
using GetAvailableBrowserVersionStringFn = HRESULT(STDAPICALLTYPE*)(PCWSTR browserExecutableFolder,
                                                                    LPWSTR* versionInfo);

inline constexpr wchar_t kLoaderFileName[] = L"WebView2Loader.dll";

class WebView2Loader {
public:
    WebView2Loader() = default;
    WebView2Loader(const WebView2Loader&) = delete;
    WebView2Loader& operator=(const WebView2Loader&) = delete;
    ~WebView2Loader();

    // Loads exeFolder + "WebView2Loader.dll" and looks up both functions; false when either fails.
    bool Load(const std::string& exeFolder);
    // What the loader says of the runtime for the folder (null: the installed runtime). Only a
    // returned version string counts as a runtime, whatever the result code.
    struct RuntimeQuery {
        bool found = false;
        std::string version;  // UTF-8
        HRESULT result = E_FAIL;
    };
    RuntimeQuery QueryRuntime(const wchar_t* browserFolder) const;

    CreateEnvironmentWithOptionsFn createEnvironment = nullptr;
    GetAvailableBrowserVersionStringFn getVersion = nullptr;

private:
    HMODULE module_ = nullptr;
};

// The process's loader, valid while the host runs.
extern WebView2Loader* g_webView2Loader;
