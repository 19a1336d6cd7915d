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

// The packager of the native tree, and wrapper-bundle.exe of the Windows tree.
fs::path NativePacker();
fs::path WindowsPacker();

// Runs tools/package-app.sh with the build folder, the app folder, the output folder and the
// extra options given; `output` holds what it printed on both streams.
ProcessResult PackageApp(const fs::path& app, const fs::path& out,
                         const std::vector<std::string>& options = {});

// Runs `wrapper-bundle package APP OUT options...` with the native packer (both streams); with
// neither --loader nor --no-loader among the options, --no-loader is added.
ProcessResult RunPacker(const fs::path& app, const fs::path& out,
                        const std::vector<std::string>& options = {});

// The same with wrapper-bundle.exe under Wine; paths in `options` are given as they are, so
// pass them through WinPath.
ProcessResult RunWindowsPacker(const fs::path& app, const fs::path& out,
                               const std::vector<std::string>& options = {});

}  // namespace e2e
