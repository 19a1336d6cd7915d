// The vendor's WebView2.h includes "EventToken.h"; mingw-w64 ships the same header in lower case.
// This folder is on the include path only for mingw builds against the vendor's header.
#pragma once

#include <eventtoken.h>
