// Test harness for end-to-end runs of the host under Wine.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace e2e {

namespace fs = std::filesystem;

fs::path SourceDir();
fs::path WinBuildDir();
// A Unix path as Wine sees it (Z: drive, backslashes).
std::string WinPath(const fs::path& path);

struct ProcessResult {
    int exitCode = -1;
    bool timedOut = false;
    std::string output;  // stdout
};
// Runs argv with extra environment variables, killing it after timeoutSeconds.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env, int timeoutSeconds);
// Runs a Windows program under Wine in the session's prefix and display.
ProcessResult RunWine(const std::vector<std::string>& argv,
                      const std::map<std::string, std::string>& env = {}, int timeoutSeconds = 60);

// Prefix-wide settings. Tests that change them restore them (DpiScope, RuntimeScope).
void SetPrefixDpi(int dpi);
void SetRuntimeInstalled(bool installed);

class DpiScope {
public:
    explicit DpiScope(int dpi) { SetPrefixDpi(dpi); }
    ~DpiScope() { SetPrefixDpi(96); }
};

enum class Loader { Substitute, Minimal, WithoutFunctions, None };

// A folder laid out as a shipped app: the host, a loader library, package.json and web files.
class AppFolder {
public:
    explicit AppFolder(const std::string& name, Loader loader = Loader::Substitute);
    const fs::path& Dir() const { return dir_; }
    void Write(const std::string& relativePath, const std::string& bytes) const;
    void WritePackageJson(const std::string& text) const { Write("package.json", text); }
    void CopyIn(const fs::path& from, const std::string& relativePath) const;

    // Runs the host through the probe; returns the probe's JSON report.
    nlohmann::json Probe(const std::vector<std::string>& probeOptions,
                         const std::map<std::string, std::string>& env = {},
                         int timeoutSeconds = 60) const;

private:
    fs::path dir_;
};

// Reads a JSON-lines file.
std::vector<nlohmann::json> ReadJsonLines(const fs::path& path);

}  // namespace e2e
