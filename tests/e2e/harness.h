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
// The host under test: WRAPPER_HOST_EXE when set (e.g. the build against the vendor's header),
// else the Windows tree's WebView2Wrapper.exe.
fs::path HostExe();
// The host of the same tree with the vendor's loader linked in (WebView2WrapperLinked.exe beside
// HostExe()), as the shipped host has it.
fs::path LinkedHostExe();
// The unpacked vendor WebView2 SDK (WRAPPER_WEBVIEW2_SDK, else the one the build was set up with).
fs::path SdkDir();
// The session's Wine prefix.
fs::path Prefix();
// The prefix's local application-data folder (the user-data folders' parent), as a Unix path.
fs::path LocalAppData();
// The release tree (build/release: no test hooks, the host that ships).
fs::path ReleaseBuildDir();
// The release host, or a failure that says how to build it.
fs::path ReleaseHost();
// The folder for the run's work files: WRAPPER_E2E_WORK, else e2e-work beside the Windows tree.
// Runs side by side each have their own.
fs::path WorkDir();
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

// The version the substitute runtime implements and is installed as by default.
inline constexpr char kRuntimeVersion[] = "137.0.3296.44";
// Installs the substitute runtime in the prefix as `version`, the way both loaders look for it:
// the "pv" value our substitute loader reads, and for the vendor's loader the client library
// laid out in "<root>\<version>\EBWebView\x64" with the "EBWebView" value naming that folder.
// Not installed: both values and every installed version's files are removed.
void SetRuntimeInstalled(bool installed, const std::string& version = kRuntimeVersion);
// The substitute's client library, EmbeddedBrowserWebView.dll, in the Windows build.
fs::path ClientLibrary();

class DpiScope {
public:
    explicit DpiScope(int dpi) { SetPrefixDpi(dpi); }
    ~DpiScope() { SetPrefixDpi(96); }
};

// Sets whether the runtime counts as installed and marks it installed again at the end.
class RuntimeScope {
public:
    explicit RuntimeScope(bool installed, const std::string& version = kRuntimeVersion) {
        SetRuntimeInstalled(installed, version);
    }
    ~RuntimeScope() { SetRuntimeInstalled(true); }
    RuntimeScope(const RuntimeScope&) = delete;
    RuntimeScope& operator=(const RuntimeScope&) = delete;
};

// The loader the host runs with: a WebView2Loader.dll beside the test tree's host (our substitute,
// which is the runtime too, or a stand-in that only answers the version query), or the vendor's
// loader linked into the host (LinkedHostExe(), no DLL beside it), which finds the substitute
// installed as a runtime.
enum class Loader { Substitute, Minimal, Vendor };
// "substitute", "vendor", ... for test names.
std::string LoaderName(Loader loader);

// What one run of the host left behind: the probe's report and the substitute's transcript.
struct HostRun {
    nlohmann::json probe;
    std::vector<nlohmann::json> transcript;
    // The lines the run added to host.log in the user-data folder of package.json's "name"
    // (without their time), or none when package.json names no app.
    std::vector<std::string> hostLog;

    // Transcript lines of one "type" ("call", "event", "response", "snapshot", ...).
    std::vector<nlohmann::json> Of(const std::string& type) const;
    // The environment-creation calls: CreateCoreWebView2EnvironmentWithOptions of our loader, or
    // the client library's CreateWebViewEnvironmentWithOptionsInternal that the vendor's calls.
    std::vector<nlohmann::json> EnvironmentCalls() const;
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
    // A fixed-version runtime in the "webview2" folder, as each loader looks for one: the
    // msedgewebview2.exe our loaders check for, and the substitute's client library in
    // EBWebView\x64, whose version resource the vendor's loader reads.
    void WriteFixedRuntime() const;

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

// Reads the substitute's transcript of a run and holds the host to the runtime's rules: the test
// fails when the transcript shows a call from another thread than the runtime's ("wrongThread"),
// a response body that reached the runtime's reader as a proxy ("bodyAgile": false), a message
// loop run inside one of the runtime's callbacks ("nestedLoopInCallback"), the control's parent
// window destroyed inside one ("parentDestroyed" with an "insideCallback"), or a body over 64 MiB
// read whole into memory (a "response" whose body is longer), or a browser argument of the app
// that the Chromium driver's browser was not started with ("browserArgumentRefused"). Every
// run's transcript is
// read through here; a test that expects one of these says so (EXPECT_NONFATAL_FAILURE).
std::vector<nlohmann::json> ReadTranscript(const fs::path& path);

}  // namespace e2e
