// Placeholder until the full declarations land: forward declarations only.
#pragma once

#include <objidl.h>
#include <unknwn.h>

struct ICoreWebView2EnvironmentOptions;
struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler;
