// The WebView2 declarations the host compiles against: the vendor's SDK header when the build
// names one, otherwise our own ABI-compatible declarations.
#pragma once

#if defined(WRAPPER_USE_VENDOR_WEBVIEW2)
#include <WebView2.h>

// mingw ignores the header's uuid attributes: __uuidof needs the identifiers declared again.
#include "webview/webview2_uuids.h"
#else
#include "webview/webview2_declarations.h"
#endif
