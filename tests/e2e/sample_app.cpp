#include "sample_app.h"

#include <fstream>
#include <iterator>

namespace e2e {

fs::path BuildDir() { return WinBuildDir().parent_path(); }

fs::path SampleExtension() {
    const fs::path examples = WinBuildDir() / "examples";
    std::error_code ec;
    if (!fs::is_directory(examples, ec)) return {};
    for (const auto& entry : fs::recursive_directory_iterator(examples, ec)) {
        if (entry.path().filename() == "DI2ZozUzoraru.dll" && entry.is_regular_file())
            return entry.path();
    }
    return {};
}

ProcessResult PackageApp(const fs::path& app, const fs::path& out,
                         const std::vector<std::string>& options) {
    std::vector<std::string> argv = {"bash", (SourceDir() / "tools/package-app.sh").string(),
                                     BuildDir().string(), app.string(), out.string()};
    argv.insert(argv.end(), options.begin(), options.end());
    return RunProcess(argv, {}, 300);
}

}  // namespace e2e
