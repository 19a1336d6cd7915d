// wrapper-bundle: packs a folder into an asset bundle, lists and verifies bundles.
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "bundle/bundle_tool.h"
#include "bundle/bundle_writer.h"

#ifdef _WIN32
// Wide arguments, so that names outside the ANSI code page survive.
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
    try {
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i) args.push_back(Utf8FromPath(std::filesystem::path(argv[i])));
        return RunBundleTool(args, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "wrapper-bundle: " << e.what() << '\n';
        return 1;
    }
}
