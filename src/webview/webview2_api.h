// The WebView2 declarations the host compiles against: the vendor's SDK header when the build
// names one, otherwise our own ABI-compatible declarations.
#pragma once

#if defined(WRAPPER_USE_VENDOR_WEBVIEW2)
#include <WebView2.h>
#else
#include "webview/webview2_declarations.h"
#endif
