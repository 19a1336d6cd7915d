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
// The release tree (build/release: no test hooks, the host that ships).
fs::path ReleaseBuildDir();
// The release host, or a failure that says how to build it.
fs::path ReleaseHost();
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
// The wine program ($WINE_BIN, else Debian's wine64).
std::string WineBinary();
// Runs a Windows program under Wine in the session's prefix and display.
ProcessResult RunWine(const std::vector<std::string>& argv,
                      const std::map<std::string, std::string>& env = {}, int timeoutSeconds = 60);

// Runs `program` (a Windows path) through the probe with its options and extra environment
// variables; returns the probe's JSON report.
nlohmann::json ProbeProgram(const std::string& program,
                            const std::vector<std::string>& probeOptions,
                            const std::map<std::string, std::string>& env, int timeoutSeconds);

// Prefix-wide settings. Tests that change them restore them (DpiScope, RuntimeScope).
void SetPrefixDpi(int dpi);
void SetRuntimeInstalled(bool installed);

class DpiScope {
public:
    explicit DpiScope(int dpi) { SetPrefixDpi(dpi); }
    ~DpiScope() { SetPrefixDpi(96); }
};

// Sets whether the runtime counts as installed and marks it installed again at the end.
class RuntimeScope {
public:
    explicit RuntimeScope(bool installed) { SetRuntimeInstalled(installed); }
    ~RuntimeScope() { SetRuntimeInstalled(true); }
    RuntimeScope(const RuntimeScope&) = delete;
    RuntimeScope& operator=(const RuntimeScope&) = delete;
};

enum class Loader { Substitute, Minimal, WithoutFunctions, None };

// What one run of the host left behind: the probe's report and the substitute's transcript.
struct HostRun {
    nlohmann::json probe;
    std::vector<nlohmann::json> transcript;

    // Transcript lines of one "type" ("call", "event", "response", "snapshot", ...).
    std::vector<nlohmann::json> Of(const std::string& type) const;
    // "call" lines of one method, and "event" lines of one event.
    std::vector<nlohmann::json> Calls(const std::string& method) const;
    std::vector<nlohmann::json> Events(const std::string& event) const;
    // The methods of all "call" lines, in order (optionally only those of one object).
    std::vector<std::string> CallSequence(const std::string& object = "") const;
    // The "response" line for a URI, or null.
    nlohmann::json Response(const std::string& uri) const;
};

// A folder laid out as a shipped app: the host, a loader library, package.json and web files.
class AppFolder {
public:
    explicit AppFolder(const std::string& name, Loader loader = Loader::Substitute);
    const fs::path& Dir() const { return dir_; }
    void Write(const std::string& relativePath, const std::string& bytes) const;
    void WritePackageJson(const std::string& text) const { Write("package.json", text); }
    void CopyIn(const fs::path& from, const std::string& relativePath) const;

    // Runs the host with the substitute runtime playing `scenario` (nothing when empty) and
    // recording a transcript; extra probe options and environment variables are added. The probe
    // runs with --timeout 30000 unless the options say otherwise.
    HostRun Run(const std::string& scenario, const std::vector<std::string>& probeOptions = {},
                std::map<std::string, std::string> env = {}, int timeoutSeconds = 60) const;

    // Runs the host through the probe; returns the probe's JSON report.
    nlohmann::json Probe(const std::vector<std::string>& probeOptions,
                         const std::map<std::string, std::string>& env = {},
                         int timeoutSeconds = 60) const;

private:
    fs::path dir_;
};

// The bytes of a file (empty when it cannot be read).
std::string ReadFileBytes(const fs::path& path);

// Reads a JSON-lines file.
std::vector<nlohmann::json> ReadJsonLines(const fs::path& path);

}  // namespace e2e
