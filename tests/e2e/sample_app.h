// Helpers for the tests of packaging and of the sample app.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "harness.h"
#include "packager/app_identity.h"

namespace e2e {

// The folder that holds the native and Windows build trees.
fs::path BuildDir();

// The sample extension library the Windows tree built, or an empty path when it has none.
fs::path SampleExtension();

// The packager of the native tree, and wrapper-bundle.exe of the release tree (the one that ships).
fs::path NativePacker();
fs::path WindowsPacker();

// Runs tools/package-app.sh with the build folder, the app folder, the output folder and the
// extra options given; `output` holds what it printed on both streams.
ProcessResult PackageApp(const fs::path& app, const fs::path& out,
                         const std::vector<std::string>& options = {});

// Runs `wrapper-bundle package APP OUT options...` with the native packer (both streams).
ProcessResult RunPacker(const fs::path& app, const fs::path& out,
                        const std::vector<std::string>& options = {});

// The same with wrapper-bundle.exe under Wine; paths in `options` are given as they are, so
// pass them through WinPath.
ProcessResult RunWindowsPacker(const fs::path& app, const fs::path& out,
                               const std::vector<std::string>& options = {});

// The version resource and icon of `file` as the Windows build's version_info.exe prints them
// under Wine: "fixed", "translation", each string by name, and "icon16", "icon32", "icon256".
std::map<std::string, std::string> VersionInfo(const fs::path& file);

// The bytes of `host` given the identity the packager gives it for the app folder `app` (its
// package.json, and its window icon when that is a PNG or ICO) with `options`.
std::string HostWithIdentity(const fs::path& host, const fs::path& app,
                             const IdentityOptions& options = {});

}  // namespace e2e
