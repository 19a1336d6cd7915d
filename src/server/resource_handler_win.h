#pragma once

#include "webview/webview2_api.h"

class VeltraWebView;

// Answers one request for the app origin from the bundle or the content folder, synchronously.
// Never throws.
HRESULT OnWebResourceRequested(VeltraWebView& host,
                               ICoreWebView2WebResourceRequestedEventArgs* args) noexcept;
