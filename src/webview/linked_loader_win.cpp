// The shipped host's loader: the vendor's loader (WebView2LoaderStatic.lib) linked into the
// program, with msvc_runtime_win.cpp supplying the runtime pieces it needs.
#include "webview/webview2_loader_win.h"

void WebView2Loader::UseLinkedLoader() {
    createEnvironment = &CreateCoreWebView2EnvironmentWithOptions;
    getVersion = &GetAvailableCoreWebView2BrowserVersionString;
}

bool LoadHostLoader(WebView2Loader& loader, const std::string&) {
    loader.UseLinkedLoader();
    return true;
}
