// wrapper-bundle: packs a folder into an asset bundle, lists and verifies bundles, and packages
// apps.
#ifdef _WIN32
#include <windows.h>
#endif

#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "packager/bundle_tool.h"
#include "bundle/bundle_writer.h"

namespace {

// The folder of this program's own file, where `package` looks for its defaults.
std::filesystem::path ToolFolder() {
#ifdef _WIN32
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return std::filesystem::path(path).parent_path();
#else
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self.parent_path();
#endif
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so that names outside the ANSI code page survive.
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
    try {
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i) args.push_back(Utf8FromPath(std::filesystem::path(argv[i])));
        return RunBundleTool(args, std::cout, std::cerr, kPackProgressThreshold, ToolFolder());
    } catch (const std::exception& e) {
        std::cerr << "wrapper-bundle: " << e.what() << '\n';
        return 1;
    }
}
