// Helpers for the tests of packaging and of the sample app.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"

namespace e2e {

// The folder that holds the native and Windows build trees.
fs::path BuildDir();

// The sample extension library the Windows tree built, or an empty path when it has none.
fs::path SampleExtension();

// Runs tools/package-app.sh with the build folder, the app folder, the output folder and the
// extra options given.
ProcessResult PackageApp(const fs::path& app, const fs::path& out,
                         const std::vector<std::string>& options = {});

}  // namespace e2e
