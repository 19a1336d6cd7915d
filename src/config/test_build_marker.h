// The text a test-hooks build carries in its image, so that a packager can tell such a build
// from a release and refuse to ship it. A release build never contains these bytes.
#pragma once

#include <string_view>

inline constexpr std::string_view kTestBuildMarker = "WRAPPER-TEST-HOOKS-BUILD";
