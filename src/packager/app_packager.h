// `wrapper-bundle package`: the folder (and zip) that ships an app.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char kHostExecutableName[] = "WebView2Wrapper.exe";
inline constexpr char kExtensionLibraryName[] = "DI2ZozUzoraru.dll";
inline constexpr char kNoticesFileName[] = "THIRD-PARTY-NOTICES.txt";
inline constexpr char kLoaderFileName[] = "WebView2Loader.dll";

inline constexpr char kPackageUsage[] =
    "usage: wrapper-bundle package APP_DIR OUT_DIR [--loose] [--host EXE] [--extension DLL]\n"
    "                              [--loader DLL | --no-loader] [--notices FILE] [--force]\n"
    "                              [--zip] [--quiet]\n";

// The command line of `package`, every path in UTF-8. Empty host, extension, loader and notices
// mean their defaults: WebView2Wrapper.exe beside the tool, APP_DIR's own DI2ZozUzoraru.dll when
// there is one, the vendor's WebView2Loader.dll beside the tool (none with `noLoader`),
// THIRD-PARTY-NOTICES.txt beside the tool or else beside the host.
struct PackageOptions {
    std::string app;
    std::string out;
    std::string host;
    std::string extension;
    std::string loader;
    std::string notices;
    bool noLoader = false;
    bool loose = false;
    bool force = false;
    bool zip = false;
    bool quiet = false;
};

// Reads the arguments that follow "package" (options may stand before, between or after the two
// folders; "--host=EXE" is the same as "--host EXE"; "--" ends the options). Returns an empty
// string, or what is wrong with the command line.
std::string ParsePackageArguments(const std::vector<std::string>& args, PackageOptions& options);

// Whether the file holds `needle` anywhere; the file is read in pieces of `chunkSize` bytes.
bool FileContains(const std::filesystem::path& path, std::string_view needle,
                  std::size_t chunkSize = std::size_t{1} << 16);

// Whether the file is a PE image for x64 machines (the loader beside the x64 host must be one).
bool IsX64PortableExecutable(const std::filesystem::path& path);

// Makes the package and reports on `out` (progress and warnings on `err`). `toolFolder` is where
// the defaults are looked for. Returns 0, or 1 after a message on `err`. Everything is checked
// before the first byte is written, and the new folder is assembled beside the output and put in
// its place only when complete.
int RunPackage(const PackageOptions& options, const std::filesystem::path& toolFolder,
               std::ostream& out, std::ostream& err);
