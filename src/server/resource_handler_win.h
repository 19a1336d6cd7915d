#pragma once

#include "webview/webview2_api.h"

class VeltraWebView;

// The answer to a request whose handling failed on the way: 500, no body. The host makes one such
// response as soon as the environment exists (VeltraWebView::serverErrorResponse).
inline constexpr int kServerErrorStatus = 500;
inline constexpr wchar_t kServerErrorReason[] = L"Internal Server Error";
inline constexpr wchar_t kServerErrorHeaders[] = L"Cache-Control: no-store";

// Answers one request for the app origin from the bundle or the content folder, synchronously.
// Every request gets an answer: when anything on the way throws, the prepared 500. Never throws,
// and always returns S_OK.
HRESULT OnWebResourceRequested(VeltraWebView& host,
                               ICoreWebView2WebResourceRequestedEventArgs* args) noexcept;
