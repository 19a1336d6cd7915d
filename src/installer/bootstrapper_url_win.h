// Where the runtime's bootstrapper is downloaded from: the one place that chooses the link.
#pragma once

#include <string>

// The vendor's published link to the evergreen bootstrapper.
extern const std::wstring g_runtimeBootstrapperUrl;

// The link the installer downloads from. Builds made with WRAPPER_TEST_HOOKS take it from the
// environment variable WRAPPER_TEST_BOOTSTRAPPER_URL when that is set and not empty; every other
// build always uses g_runtimeBootstrapperUrl and never reads the variable.
std::wstring BootstrapperUrl();
