// The loader of test builds that run with a WebView2Loader.dll beside the program (the
// substitute's loader and its test stand-ins); never in the shipped host.
#include "webview/webview2_loader_win.h"

bool LoadHostLoader(WebView2Loader& loader, const std::string& exeFolder) {
    return loader.Load(exeFolder);
}
