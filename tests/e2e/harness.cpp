#include "harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace e2e {

namespace {

std::string Env(const char* name, const std::string& fallback = "") {
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

}  // namespace

fs::path SourceDir() { return WRAPPER_SOURCE_DIR; }

fs::path WinBuildDir() {
    return fs::weakly_canonical(Env("WRAPPER_WIN_BUILD", WRAPPER_DEFAULT_WIN_BUILD));
}

fs::path HostExe() {
    const std::string exe = Env("WRAPPER_HOST_EXE");
    return exe.empty() ? WinBuildDir() / "WebView2Wrapper.exe" : fs::path(exe);
}

fs::path LinkedHostExe() { return HostExe().parent_path() / "WebView2WrapperLinked.exe"; }

fs::path SdkDir() {
    return fs::weakly_canonical(Env("WRAPPER_WEBVIEW2_SDK", WRAPPER_DEFAULT_SDK_DIR));
}

fs::path Prefix() {
    for (const char* name : {"WRAPPER_TEST_PREFIX", "WINEPREFIX"}) {
        if (const std::string value = Env(name); !value.empty()) return value;
    }
    return WinBuildDir().parent_path() / "wineprefix";
}

fs::path ClientLibrary() { return WinBuildDir() / "substitute" / "EmbeddedBrowserWebView.dll"; }

std::string LoaderName(Loader loader) {
    switch (loader) {
        case Loader::Substitute:
            return "substitute";
        case Loader::Minimal:
            return "minimal";
        case Loader::Vendor:
            return "vendor";
    }
    return "unknown";
}

fs::path ReleaseBuildDir() {
    return fs::weakly_canonical(
        Env("WRAPPER_RELEASE_BUILD", (WinBuildDir().parent_path() / "release").string()));
}

fs::path ReleaseHost() {
    const fs::path host = ReleaseBuildDir() / "WebView2Wrapper.exe";
    if (!fs::is_regular_file(host)) {
        throw std::runtime_error("no release host at " + host.string() +
                                 ": build it with ./dev build-release");
    }
    return host;
}

fs::path WorkDir() {
    return fs::absolute(
        Env("WRAPPER_E2E_WORK", (WinBuildDir().parent_path() / "e2e-work").string()));
}

std::string WinPath(const fs::path& path) {
    std::string text = "Z:" + fs::absolute(path).lexically_normal().string();
    for (char& c : text) {
        if (c == '/') c = '\\';
    }
    return text;
}

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env, int timeoutSeconds) {
    // Arguments and environment are made before fork: the child of a program with other
    // threads (a test's server) may only make async-signal-safe calls before exec.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (env.count(text.substr(0, text.find('='))) == 0) environment.push_back(text);
    }
    for (const auto& [key, value] : env) environment.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        setpgid(0, 0);
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
    close(pipeFds[1]);
    fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    ProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    for (;;) {
        char buffer[4096];
        ssize_t n;
        while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, n);
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            result.timedOut = true;
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, n);
    close(pipeFds[0]);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string WineBinary() { return Env("WINE_BIN", "/usr/lib/wine/wine64"); }

ProcessResult RunWine(const std::vector<std::string>& argv,
                      const std::map<std::string, std::string>& env, int timeoutSeconds) {
    std::vector<std::string> full = {WineBinary()};
    full.insert(full.end(), argv.begin(), argv.end());
    return RunProcess(full, env, timeoutSeconds);
}

void SetPrefixDpi(int dpi) {
    const std::string value = std::to_string(dpi);
    for (const char* key : {"HKCU\\Control Panel\\Desktop", "HKCC\\Software\\Fonts"}) {
        RunWine({"reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", value, "/f"});
    }
}

namespace {

constexpr char kClientsKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\"
    "{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
// The vendor's loader reads the 32-bit view of HKLM.
constexpr char kClientStateKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\EdgeUpdate\\ClientState\\"
    "{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
// Where the vendor's installer puts the runtime; the substitute is installed there too. Written
// as a registry file's string data, with its backslashes doubled.
constexpr char kRuntimeRootRegData[] =
    "C:\\\\Program Files (x86)\\\\Microsoft\\\\EdgeWebView\\\\Application";

fs::path RuntimeRootUnix() {
    return Prefix() / "drive_c/Program Files (x86)/Microsoft/EdgeWebView/Application";
}

}  // namespace

void SetRuntimeInstalled(bool installed, const std::string& version) {
    fs::remove_all(RuntimeRootUnix());
    // One registry file for both values: each "reg" run costs a Wine start.
    std::string reg = "Windows Registry Editor Version 5.00\r\n\r\n";
    if (installed) {
        const fs::path folder = RuntimeRootUnix() / version / "EBWebView/x64";
        fs::create_directories(folder);
        fs::copy_file(ClientLibrary(), folder / "EmbeddedBrowserWebView.dll",
                      fs::copy_options::overwrite_existing);
        reg += std::string("[") + kClientsKey + "]\r\n\"pv\"=\"" + version + "\"\r\n\r\n";
        reg += std::string("[") + kClientStateKey + "]\r\n\"EBWebView\"=\"" + kRuntimeRootRegData +
               "\\\\" + version + "\"\r\n";
    } else {
        reg += std::string("[") + kClientsKey + "]\r\n\"pv\"=-\r\n\r\n";
        reg += std::string("[") + kClientStateKey + "]\r\n\"EBWebView\"=-\r\n";
    }
    const fs::path file = WorkDir() / "runtime.reg";
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << reg;
    const ProcessResult result = RunWine({"reg", "import", WinPath(file)});
    if (result.exitCode != 0) throw std::runtime_error("reg import failed: " + result.output);
}

AppFolder::AppFolder(const std::string& name, Loader loader) {
    dir_ = WorkDir() / name;
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const fs::path win = WinBuildDir();
    fs::copy_file(loader == Loader::Vendor ? LinkedHostExe() : HostExe(),
                  dir_ / "WebView2Wrapper.exe");
    switch (loader) {
        case Loader::Substitute:
            fs::copy_file(win / "substitute" / "WebView2Loader.dll", dir_ / "WebView2Loader.dll");
            break;
        case Loader::Minimal:
            fs::copy_file(win / "tests/win/helpers/minimal_loader/WebView2Loader.dll",
                          dir_ / "WebView2Loader.dll");
            break;
        case Loader::Vendor:
            break;
    }
}

void AppFolder::WriteFixedRuntime() const {
    Write("webview2/msedgewebview2.exe", "MZ");
    CopyIn(ClientLibrary(), "webview2/EBWebView/x64/EmbeddedBrowserWebView.dll");
}

void AppFolder::Write(const std::string& relativePath, const std::string& bytes) const {
    const fs::path path = dir_ / relativePath;
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void AppFolder::CopyIn(const fs::path& from, const std::string& relativePath) const {
    const fs::path to = dir_ / relativePath;
    fs::create_directories(to.parent_path());
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

nlohmann::json AppFolder::Probe(const std::vector<std::string>& probeOptions,
                                const std::map<std::string, std::string>& env,
                                int timeoutSeconds) const {
    return ProbeProgram(WinPath(dir_ / "WebView2Wrapper.exe"), probeOptions, env, timeoutSeconds);
}

nlohmann::json ProbeProgram(const std::string& program,
                            const std::vector<std::string>& probeOptions,
                            const std::map<std::string, std::string>& env, int timeoutSeconds) {
    std::vector<std::string> argv = {WinPath(WinBuildDir() / "tools/probe/probe.exe")};
    argv.insert(argv.end(), probeOptions.begin(), probeOptions.end());
    argv.push_back("--");
    argv.push_back(program);
    const ProcessResult result = RunWine(argv, env, timeoutSeconds + 15);
    if (result.timedOut) throw std::runtime_error("probe did not finish");
    const size_t start = result.output.find("{\"boxes\"");
    if (start == std::string::npos) throw std::runtime_error("no probe report: " + result.output);
    return nlohmann::json::parse(result.output.substr(start));
}

fs::path LocalAppData() {
    for (const auto& user : fs::directory_iterator(Prefix() / "drive_c/users")) {
        const fs::path local = user.path() / "AppData/Local";
        if (user.path().filename() != "Public" && fs::is_directory(local)) return local;
    }
    throw std::runtime_error("no AppData/Local in the prefix");
}

namespace {

// host.log of the app named in the folder's package.json, or an empty path.
fs::path HostLogOf(const fs::path& appDir) {
    const nlohmann::json settings =
        nlohmann::json::parse(ReadFileBytes(appDir / "package.json"), nullptr, false);
    if (!settings.is_object() || !settings.contains("name") || !settings["name"].is_string() ||
        settings["name"].get<std::string>().empty()) {
        return {};
    }
    return LocalAppData() / settings["name"].get<std::string>() / "host.log";
}

// The events of the log's lines from byte `from` on (all of them when the log is shorter, as
// after its older part moved away): each line without its time and its CR LF.
std::vector<std::string> HostLogEvents(const fs::path& log, std::size_t from) {
    if (!fs::is_regular_file(log)) return {};
    std::string bytes = ReadFileBytes(log);
    bytes.erase(0, from <= bytes.size() ? from : 0);
    std::vector<std::string> events;
    std::istringstream lines(bytes);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t space = line.find(' ');
        EXPECT_EQ(space, 24u) << "a line begins with its UTC time: " << line;
        events.push_back(space == std::string::npos ? line : line.substr(space + 1));
    }
    return events;
}

}  // namespace

HostRun AppFolder::Run(const std::string& scenario, const std::vector<std::string>& probeOptions,
                       std::map<std::string, std::string> env, int timeoutSeconds) const {
    const fs::path log = HostLogOf(dir_);
    const std::size_t logBefore = fs::is_regular_file(log) ? fs::file_size(log) : 0;
    const fs::path transcript = dir_ / "transcript.jsonl";
    fs::remove(transcript);
    env["WRAPPER_SUBSTITUTE_TRANSCRIPT"] = WinPath(transcript);
    if (!scenario.empty()) {
        Write("scenario.txt", scenario);
        env["WRAPPER_SUBSTITUTE_SCENARIO"] = WinPath(dir_ / "scenario.txt");
    }
    std::vector<std::string> options = probeOptions;
    if (std::find(options.begin(), options.end(), "--timeout") == options.end()) {
        options.insert(options.end(), {"--timeout", "30000"});
    }
    HostRun run;
    run.probe = Probe(options, env, timeoutSeconds);
    run.transcript = ReadTranscript(transcript);
    if (!log.empty()) run.hostLog = HostLogEvents(log, logBefore);
    return run;
}

std::vector<nlohmann::json> HostRun::Of(const std::string& type) const {
    std::vector<nlohmann::json> lines;
    for (const nlohmann::json& line : transcript) {
        if (line.value("type", "") == type) lines.push_back(line);
    }
    return lines;
}

std::vector<nlohmann::json> HostRun::EnvironmentCalls() const {
    std::vector<nlohmann::json> lines;
    for (const nlohmann::json& line : Of("call")) {
        const std::string method = line.value("method", "");
        if (method == "CreateCoreWebView2EnvironmentWithOptions" ||
            method == "CreateWebViewEnvironmentWithOptionsInternal")
            lines.push_back(line);
    }
    return lines;
}

std::vector<nlohmann::json> HostRun::Calls(const std::string& method) const {
    std::vector<nlohmann::json> lines;
    for (const nlohmann::json& line : Of("call")) {
        if (line.value("method", "") == method) lines.push_back(line);
    }
    return lines;
}

std::vector<nlohmann::json> HostRun::Events(const std::string& event) const {
    std::vector<nlohmann::json> lines;
    for (const nlohmann::json& line : Of("event")) {
        if (line.value("event", "") == event) lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> HostRun::CallSequence(const std::string& object) const {
    std::vector<std::string> methods;
    for (const nlohmann::json& line : Of("call")) {
        if (object.empty() || line.value("object", "") == object) {
            methods.push_back(line.value("method", ""));
        }
    }
    return methods;
}

nlohmann::json HostRun::Response(const std::string& uri) const {
    for (const nlohmann::json& line : Of("response")) {
        if (line.value("uri", "") == uri) return line;
    }
    return nullptr;
}

std::string ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<nlohmann::json> ReadJsonLines(const fs::path& path) {
    std::vector<nlohmann::json> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

// The runtime reads every body whole into memory, on the one thread that reads all of them.
constexpr std::uint64_t kLargestExpectedBody = 64ull * 1024 * 1024;

std::vector<nlohmann::json> ReadTranscript(const fs::path& path) {
    std::vector<nlohmann::json> lines = ReadJsonLines(path);
    for (const nlohmann::json& line : lines) {
        const std::string type = line.value("type", "");
        if (type == "wrongThread") {
            ADD_FAILURE() << "the host called the runtime from another thread (wrongThread): "
                          << line.dump();
        } else if (type == "response" && line.contains("bodyAgile") && line["bodyAgile"] == false) {
            ADD_FAILURE() << "a response body is not agile (bodyAgile: false): "
                          << line.value("uri", "");
        } else if (type == "response" && line.contains("body") && line["body"].is_object() &&
                   line["body"].value("length", std::uint64_t{0}) > kLargestExpectedBody) {
            ADD_FAILURE() << "the runtime read a body of " << line["body"].value("length", 0ull)
                          << " bytes into memory at once (more than 64 MiB): "
                          << line.value("uri", "");
        } else if (type == "browserArgumentRefused") {
            ADD_FAILURE() << "a browser argument of the app was not applied: " << line.dump();
        } else if (type == "nestedLoopInCallback") {
            ADD_FAILURE() << "the host ran a message loop inside a callback of the runtime "
                             "(nestedLoopInCallback): "
                          << line.dump();
        } else if (type == "parentDestroyed" && line.contains("insideCallback") &&
                   !line["insideCallback"].is_null()) {
            ADD_FAILURE() << "the host destroyed the control's parent window inside a callback of "
                             "the runtime (parentDestroyed): "
                          << line.dump();
        }
    }
    return lines;
}

}  // namespace e2e
