// `wrapper-bundle package`: the folder (and zip) that ships an app.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "packager/app_identity.h"

inline constexpr char kHostExecutableName[] = "WebView2Wrapper.exe";
inline constexpr char kExtensionLibraryName[] = "DI2ZozUzoraru.dll";
inline constexpr char kNoticesFileName[] = "THIRD-PARTY-NOTICES.txt";
inline constexpr char kLoaderFileName[] = "WebView2Loader.dll";

inline constexpr char kPackageUsage[] =
    "usage: wrapper-bundle package APP_DIR OUT_DIR [--loose] [--host EXE] [--extension DLL]\n"
    "                              [--notices FILE] [--force] [--zip] [--one-file] [--quiet]\n"
    "                              [--exe-name NAME] [--icon FILE]\n"
    "                              [--version X.Y.Z] [--product-name TEXT] [--description TEXT]\n"
    "                              [--company TEXT] [--copyright TEXT]\n";

// What `package --help` adds to the usage.
inline constexpr char kPackageHelp[] =
    "The executable carries the app's identity: its file name (--exe-name; default\n"
    "WebView2Wrapper.exe), its icon (--icon, else package.json's window.icon when that is a PNG\n"
    "or ICO; a PNG is scaled to 16-256 pixels) and its version resource: the version from\n"
    "--version, else \"version\", else 1.0.0; the product name from --product-name, else\n"
    "window.title, else \"name\"; the description from --description, else \"description\", else\n"
    "the product name; the company from --company, else \"author\"; the copyright from\n"
    "--copyright, else \"Copyright (c) <company>\". Sign the packaged executable after packaging:\n"
    "packaging rewrites the host, which removes a signature it had.\n";

// The command line of `package`, every path in UTF-8. Empty host, extension and notices mean their
// defaults: WebView2Wrapper.exe beside the tool, APP_DIR's own DI2ZozUzoraru.dll when there is
// one, THIRD-PARTY-NOTICES.txt beside the tool or else beside the host. `oneFile`: the settings
// and the bundle go into the executable itself (see one_file.h).
struct PackageOptions {
    std::string app;
    std::string out;
    std::string host;
    std::string extension;
    std::string notices;
    bool loose = false;
    bool force = false;
    bool zip = false;
    bool oneFile = false;
    bool quiet = false;
    IdentityOptions identity;
};

// Reads the arguments that follow "package" (options may stand before, between or after the two
// folders; "--host=EXE" is the same as "--host EXE"; "--" ends the options). Returns an empty
// string, or what is wrong with the command line.
std::string ParsePackageArguments(const std::vector<std::string>& args, PackageOptions& options);

// Whether the file holds `needle` anywhere; the file is read in pieces of `chunkSize` bytes.
bool FileContains(const std::filesystem::path& path, std::string_view needle,
                  std::size_t chunkSize = std::size_t{1} << 16);

// Whether the file is a PE image for x64 machines (the extension beside the x64 host must be one).
bool IsX64PortableExecutable(const std::filesystem::path& path);

// Makes the package and reports on `out` (progress and warnings on `err`). `toolFolder` is where
// the defaults are looked for. Returns 0, or 1 after a message on `err`. Everything is checked
// before the first byte is written, and the new folder is assembled beside the output and put in
// its place only when complete.
int RunPackage(const PackageOptions& options, const std::filesystem::path& toolFolder,
               std::ostream& out, std::ostream& err);
