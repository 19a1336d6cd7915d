#include "webview/webview2_loader_win.h"

#include "app/paths_win.h"

WebView2Loader* g_webView2Loader = nullptr;

WebView2Loader::~WebView2Loader() {
    if (module_ != nullptr) FreeLibrary(module_);
}

bool WebView2Loader::Load(const std::string& exeFolder) {
    const std::wstring path = AddLongPathPrefix(ToWide(exeFolder) + kLoaderFileName);
    module_ = LoadLibraryW(path.c_str());
    if (module_ == nullptr) return false;
    createEnvironment = reinterpret_cast<CreateEnvironmentWithOptionsFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "CreateCoreWebView2EnvironmentWithOptions")));
    getVersion = reinterpret_cast<GetAvailableBrowserVersionStringFn>(reinterpret_cast<void*>(
        GetProcAddress(module_, "GetAvailableCoreWebView2BrowserVersionString")));
    return createEnvironment != nullptr && getVersion != nullptr;
}

WebView2Loader::RuntimeQuery WebView2Loader::QueryRuntime(const wchar_t* browserFolder) const {
    RuntimeQuery query;
    LPWSTR version = nullptr;
    query.result = getVersion(browserFolder, &version);
    if (version == nullptr) return query;
    query.found = true;
    query.version = ToNarrow(version);
    CoTaskMemFree(version);
    return query;
}
