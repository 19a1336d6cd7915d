#include "sample_app.h"

#include <algorithm>
#include <map>
#include <sstream>
#include <stdexcept>

#include "config/settings_check.h"

namespace e2e {

namespace {

// Runs argv with its standard error joined to its standard output.
ProcessResult RunJoined(const std::vector<std::string>& argv,
                        const std::map<std::string, std::string>& env = {}) {
    std::vector<std::string> shell = {"sh", "-c", "exec \"$@\" 2>&1", "sh"};
    shell.insert(shell.end(), argv.begin(), argv.end());
    return RunProcess(shell, env, 300);
}

}  // namespace

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

fs::path NativePacker() { return BuildDir() / "native/tools/packer/wrapper-bundle"; }

fs::path WindowsPacker() { return ReleaseBuildDir() / "tools/packer/wrapper-bundle.exe"; }

ProcessResult PackageApp(const fs::path& app, const fs::path& out,
                         const std::vector<std::string>& options) {
    std::vector<std::string> argv = {"bash", (SourceDir() / "tools/package-app.sh").string(),
                                     BuildDir().string(), app.string(), out.string()};
    argv.insert(argv.end(), options.begin(), options.end());
    return RunJoined(argv);
}

ProcessResult RunPacker(const fs::path& app, const fs::path& out,
                        const std::vector<std::string>& options) {
    std::vector<std::string> argv = {NativePacker().string(), "package", app.string(),
                                     out.string()};
    argv.insert(argv.end(), options.begin(), options.end());
    return RunJoined(argv);
}

ProcessResult RunWindowsPacker(const fs::path& app, const fs::path& out,
                               const std::vector<std::string>& options) {
    std::vector<std::string> argv = {WineBinary(), WinPath(WindowsPacker()), "package",
                                     WinPath(app), WinPath(out)};
    argv.insert(argv.end(), options.begin(), options.end());
    // Wine's own diagnostics would mix with the packer's messages.
    return RunJoined(argv, {{"WINEDEBUG", "-all"}});
}

std::map<std::string, std::string> VersionInfo(const fs::path& file) {
    const ProcessResult result = RunWine(
        {WinPath(WinBuildDir() / "tests/win/helpers/version_info.exe"), WinPath(file)});
    if (result.timedOut || result.exitCode != 0) {
        throw std::runtime_error("no version resource read from " + file.string() + ": " +
                                 result.output);
    }
    std::map<std::string, std::string> info;
    std::istringstream lines(result.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t equals = line.find('=');
        const size_t space = line.find(' ');
        if (equals != std::string::npos && (space == std::string::npos || equals < space)) {
            info[line.substr(0, equals)] = line.substr(equals + 1);
        } else if (space != std::string::npos) {
            info[line.substr(0, space)] = line.substr(space + 1);
        }
    }
    return info;
}

std::string HostWithIdentity(const fs::path& host, const fs::path& app,
                             const IdentityOptions& options) {
    const std::string settings = ReadFileBytes(app / "package.json");
    const SettingsCheck check = CheckSettingsText(settings);
    const AppIdentity identity =
        ResolveIdentity(options, settings, check.config, "WebView2Wrapper.exe");
    const std::string icon = !options.icon.empty()        ? ReadFileBytes(options.icon)
                             : !check.config.icon.empty() ? ReadFileBytes(app / check.config.icon)
                                                          : std::string();
    return ApplyIdentity(ReadFileBytes(host), identity,
                         LooksLikeIcon(icon) ? IconImagesFromFile(icon, "icon")
                                             : std::vector<IconImage>{})
        .image;
}

}  // namespace e2e
