#pragma once

#include "webview/webview2_api.h"

class VeltraWebView;

// The answer to a request whose handling failed on the way (ServerErrorPlan: 500, no body, the
// cache line and the app's own headers), made through the host's environment. The host makes one
// such response as soon as the environment exists (VeltraWebView::serverErrorResponse).
HRESULT CreateServerErrorResponse(const VeltraWebView& host,
                                  ICoreWebView2WebResourceResponse** response);

// Answers one request for the app origin from the bundle or the content folder, synchronously.
// Every request gets an answer: when anything on the way throws, the prepared 500. Never throws,
// and always returns S_OK.
HRESULT OnWebResourceRequested(VeltraWebView& host,
                               ICoreWebView2WebResourceRequestedEventArgs* args) noexcept;
