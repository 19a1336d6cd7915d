// The WebView2 loader's two functions the host calls. The shipped host has the vendor's loader
// linked in (linked_loader_win.cpp); test builds may instead load a WebView2Loader.dll from a
// folder (dll_loader_win.cpp), such as the substitute runtime's own loader.
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
    // Takes the functions of the loader linked into this program.
    void UseLinkedLoader();
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

// The loader the host runs with: the linked-in loader, where the program has one (a WebView2Loader.dll
// beside it is then never loaded), else the DLL in exeFolder. Defined once per kind of program
// (linked_loader_win.cpp or dll_loader_win.cpp); false when no loader could be had.
bool LoadHostLoader(WebView2Loader& loader, const std::string& exeFolder);

// The process's loader, valid while the host runs.
extern WebView2Loader* g_webView2Loader;
