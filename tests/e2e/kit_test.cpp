// The kits (build/kit, made by ./dev kit): what the zip and the Linux archive hold, that their
// programs are the release builds, that the guide is complete and self-contained, that the Linux
// archive packages on its own, and that the quick start's commands work under Wine exactly as
// written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "config/test_build_marker.h"
#include "harness.h"
#include "sample_app.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kVersion = WRAPPER_PROJECT_VERSION;
const std::string kWinName = "WebView2Wrapper-" + kVersion + "-win64";
const std::string kLinuxName = "WebView2Wrapper-" + kVersion + "-linux-x64";

fs::path KitDir() { return e2e::ReleaseBuildDir().parent_path() / "kit"; }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// Output of a Unix command, which must succeed.
std::string RunTool(const std::vector<std::string>& argv) {
    const e2e::ProcessResult result = e2e::RunProcess(argv, {}, 120);
    if (result.timedOut || result.exitCode != 0) {
        throw std::runtime_error(argv[0] + " failed: " + result.output);
    }
    return result.output;
}

// A fresh folder for the unpacked kit.
fs::path WorkDir(const std::string& name) {
    const fs::path dir = e2e::WorkDir() / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// The files every kit holds besides its packer, in byte order.
const std::vector<std::string> kSharedFiles = {
    "QUICKSTART.md",      "THIRD-PARTY-NOTICES.txt",   "USER-GUIDE.html",
    "USER-GUIDE.md",      "WebView2Wrapper.exe",
    "extension/README.md", "extension/iwrapper_app.h", "extension/sample_extension.cpp",
    "page/wrapper-host.d.ts", "page/wrapper-host.js"};

std::vector<std::string> KitEntries(const std::string& folder, const std::string& packer) {
    std::vector<std::string> entries;
    for (const std::string& file : kSharedFiles) entries.push_back(folder + "/" + file);
    entries.push_back(folder + "/" + packer);
    std::sort(entries.begin(), entries.end());
    return entries;
}

// The guide as a kit user reads it: every box the host can show is explained, the chapters the
// kit promises are there, the HTML page loads nothing from elsewhere, and neither text sends the
// reader to files of the project's source tree or to its developer commands.
void ExpectACompleteGuide(const fs::path& kit) {
    const std::string markdown = e2e::ReadFileBytes(kit / "USER-GUIDE.md");
    const std::string page = e2e::ReadFileBytes(kit / "USER-GUIDE.html");
    for (const char* box :
         {"Failed to load package.json. Check the file is in the same folder as the app.",
          "Failed to parse package.json. Check the file has valid JSON and that all parameters "
          "are correct.",
          "Error reading asset bundle",
          "This app is set to \"fixed\" distribution mode, but the WebView2 control failed to "
          "initialize.",
          "Failed to start the WebView2 control.", "Failed to register window class",
          "Failed to create window", "Failed to create user data directory"}) {
        EXPECT_NE(markdown.find(box), std::string::npos) << box;
    }
    for (const char* anchor : {"id=\"packagejson-reference\"", "id=\"the-page-module\"",
                               "id=\"writing-an-extension\"", "id=\"games\"",
                               "id=\"troubleshooting\"", "--autoplay-policy=no-user-gesture-required",
                               "--remote-debugging-port", "EBWebView", "<style>"}) {
        EXPECT_NE(page.find(anchor), std::string::npos) << anchor;
    }
    for (const char* external : {"<link", "<script", "src=", "@import", "url("}) {
        EXPECT_EQ(page.find(external), std::string::npos) << "loads " << external;
    }
    for (const fs::path& text : {kit / "USER-GUIDE.md", kit / "QUICKSTART.md"}) {
        const std::string bytes = e2e::ReadFileBytes(text);
        for (const char* elsewhere : {"./dev", "examples/", "src/", "build/"})
            EXPECT_EQ(bytes.find(elsewhere), std::string::npos) << text << " names " << elsewhere;
    }
}

// The fenced ```bat blocks of a Markdown text, one command per line, in order.
std::vector<std::string> BatCommands(const std::string& markdown) {
    std::vector<std::string> commands;
    bool inside = false;
    for (const std::string& line : Lines(markdown)) {
        if (line.rfind("```", 0) == 0) {
            inside = !inside && line == "```bat";
        } else if (inside) {
            commands.push_back(line);
        }
    }
    return commands;
}

TEST(Kit, HoldsTheReleaseProgramsAndWhatADeveloperNeedsAndNothingElse) {
    const fs::path zip = KitDir() / (kWinName + ".zip");
    ASSERT_TRUE(fs::is_regular_file(zip)) << zip << " is missing: make it with ./dev kit";
    // Entries in byte order (the archive is deterministic), files only.
    const std::vector<std::string> entries = Lines(RunTool({"unzip", "-Z1", zip.string()}));
    EXPECT_EQ(entries, KitEntries(kWinName, "wrapper-bundle.exe"));
    // One time for every entry: the commit's.
    std::set<std::string> times;
    for (const std::string& line : Lines(RunTool({"unzip", "-Z", "-T", zip.string()}))) {
        std::istringstream fields(line);
        std::vector<std::string> words{std::istream_iterator<std::string>(fields), {}};
        if (words.size() >= 8 && words[0].size() == 10 && words[0][0] == '-')
            times.insert(words[6]);
    }
    EXPECT_EQ(times.size(), 1u) << "entry times differ";

    const fs::path dir = WorkDir("kit-contents");
    RunTool({"unzip", "-q", zip.string(), "-d", dir.string()});
    const fs::path kit = dir / kWinName;
    const fs::path release = e2e::ReleaseBuildDir();
    const std::string host = e2e::ReadFileBytes(kit / "WebView2Wrapper.exe");
    EXPECT_TRUE(host == e2e::ReadFileBytes(release / "WebView2Wrapper.exe"))
        << "not the release host";
    EXPECT_TRUE(e2e::ReadFileBytes(kit / "wrapper-bundle.exe") ==
                e2e::ReadFileBytes(release / "tools/packer/wrapper-bundle.exe"));
    EXPECT_EQ(host.find(kTestBuildMarker), std::string::npos) << "a test build in the kit";
    EXPECT_TRUE(host != e2e::ReadFileBytes(e2e::WinBuildDir() / "WebView2Wrapper.exe"));
    // The vendor's loader is inside the host: its import table names no loader library, and the
    // kit holds no library at all, least of all a runtime stand-in.
    for (const std::string& line :
         Lines(RunTool({"x86_64-w64-mingw32-objdump", "-p", (kit / "WebView2Wrapper.exe").string()}))) {
        if (line.find("DLL Name:") == std::string::npos) continue;
        std::string name = line.substr(line.find(':') + 1);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        EXPECT_EQ(name.find("webview2loader"), std::string::npos) << line;
    }
    EXPECT_NE(host.find("CreateWebViewEnvironmentWithOptionsInternal"), std::string::npos)
        << "no loader inside the host";
    const std::string substitute =
        e2e::ReadFileBytes(e2e::WinBuildDir() / "substitute/WebView2Loader.dll");
    for (const auto& entry : fs::recursive_directory_iterator(kit)) {
        if (!entry.is_regular_file()) continue;
        EXPECT_NE(entry.path().extension(), ".dll") << entry.path();
        const std::string bytes = e2e::ReadFileBytes(entry.path());
        EXPECT_TRUE(substitute.empty() || bytes != substitute) << entry.path();
        // The packer holds the marker text as what it looks for; nothing else may.
        if (entry.path().filename() != "wrapper-bundle.exe")
            EXPECT_EQ(bytes.find(kTestBuildMarker), std::string::npos) << entry.path();
    }
    // The page module, its types and the extension header are the project's own files.
    const fs::path source = e2e::SourceDir();
    for (const auto& [inKit, inSource] : std::vector<std::pair<std::string, std::string>>{
             {"page/wrapper-host.js", "examples/hello/www/wrapper-host.js"},
             {"page/wrapper-host.d.ts", "examples/hello/www/wrapper-host.d.ts"},
             {"extension/iwrapper_app.h", "src/extensions/iwrapper_app.h"},
             {"extension/sample_extension.cpp", "examples/extension/sample_extension.cpp"},
             {"USER-GUIDE.md", "tools/kit/USER-GUIDE.md"},
             {"THIRD-PARTY-NOTICES.txt", "tools/kit/THIRD-PARTY-NOTICES.txt"}}) {
        EXPECT_TRUE(e2e::ReadFileBytes(kit / inKit) == e2e::ReadFileBytes(source / inSource))
            << inKit;
    }
    const std::string notices = e2e::ReadFileBytes(kit / "THIRD-PARTY-NOTICES.txt");
    for (const char* component :
         {"nlohmann/json", "mingw-w64 runtime", "winpthreads", "GCC RUNTIME LIBRARY EXCEPTION",
          "libstdc++", "Microsoft Edge WebView2 SDK"}) {
        EXPECT_NE(notices.find(component), std::string::npos) << component;
    }
    ExpectACompleteGuide(kit);
}

// The Linux archive holds the Windows kit's files with the Linux packer, which is a release build
// that needs no library beyond the C library, and which packages an app on its own: with no
// PATH and no other variable, the host and the loader beside it go into the package.
TEST(Kit, TheLinuxKitPackagesOnItsOwn) {
    const fs::path archive = KitDir() / (kLinuxName + ".tar.gz");
    ASSERT_TRUE(fs::is_regular_file(archive)) << archive << " is missing: make it with ./dev kit";
    std::vector<std::string> entries;
    for (const std::string& entry : Lines(RunTool({"tar", "-tzf", archive.string()})))
        if (entry.back() != '/') entries.push_back(entry);
    EXPECT_EQ(entries, KitEntries(kLinuxName, "wrapper-bundle"));
    const fs::path dir = WorkDir("kit-linux");
    RunTool({"tar", "-xzf", archive.string(), "-C", dir.string()});
    const fs::path kit = dir / kLinuxName;
    const fs::path packer = kit / "wrapper-bundle";
    const std::string bytes = e2e::ReadFileBytes(packer);
    EXPECT_EQ(bytes.find("__asan_init"), std::string::npos) << "built with AddressSanitizer";
    EXPECT_EQ(bytes.find("__ubsan_handle"), std::string::npos) << "built with UBSan";
    EXPECT_EQ(bytes.find(e2e::SourceDir().string()), std::string::npos)
        << "names the source folder";
    for (const std::string& line : Lines(RunTool({"readelf", "-d", packer.string()}))) {
        if (line.find("(NEEDED)") == std::string::npos) continue;
        // libarchive, zlib and the C++ runtime are linked in.
        bool cLibrary = false;
        for (const char* library : {"[libc.so", "[libm.so", "[ld-linux"})
            cLibrary = cLibrary || line.find(library) != std::string::npos;
        EXPECT_TRUE(cLibrary) << "needs more than the C library: " << line;
    }
    const std::string windowsKit = (KitDir() / kWinName).string();
    for (const std::string& file : kSharedFiles) {
        EXPECT_TRUE(e2e::ReadFileBytes(kit / file) == e2e::ReadFileBytes(windowsKit + "/" + file))
            << file << " differs from the Windows kit's";
    }
    ExpectACompleteGuide(kit);

    const fs::path out = dir / "out/Hello";
    const e2e::ProcessResult packaged = e2e::RunProcess(
        {"/usr/bin/env", "-i", packer.string(), "package",
         (e2e::SourceDir() / "examples/hello").string(), out.string(), "--zip"},
        {}, 120);
    ASSERT_EQ(packaged.exitCode, 0) << packaged.output;
    EXPECT_TRUE(fs::is_regular_file(out / "www/assets.dat"));
    EXPECT_TRUE(fs::is_regular_file(out.string() + ".zip"));
    EXPECT_FALSE(fs::exists(out / "WebView2Loader.dll")) << "the loader is inside the host";
    EXPECT_TRUE(e2e::ReadFileBytes(out / "THIRD-PARTY-NOTICES.txt") ==
                e2e::ReadFileBytes(kit / "THIRD-PARTY-NOTICES.txt"));
    size_t programs = 0;
    for (const auto& entry : fs::directory_iterator(out))
        programs += entry.path().extension() == ".exe" ? 1 : 0;
    EXPECT_EQ(programs, 1u) << "the host beside the packer";
}

// The quick start's commands, each line run as written by cmd.exe in the unpacked kit's folder
// (PowerShell takes the same lines: the quick start writes no file through the shell and starts
// every program by its path); the line that starts the packaged program runs it through the
// probe. The package holds the vendor's loader from the kit, which finds the substitute runtime
// the test session installed in the prefix.
TEST(Kit, TheQuickStartWorksAsWritten) {
    const fs::path zip = KitDir() / (kWinName + ".zip");
    ASSERT_TRUE(fs::is_regular_file(zip)) << zip << " is missing: make it with ./dev kit";
    const fs::path dir = WorkDir("kit-quickstart");
    RunTool({"unzip", "-q", zip.string(), "-d", dir.string()});
    const fs::path kit = dir / kWinName;
    const e2e::ProcessResult help =
        e2e::RunWine({e2e::WinPath(kit / "wrapper-bundle.exe"), "--help"});
    if (help.output.find("wrapper-bundle init") == std::string::npos) {
        GTEST_SKIP() << "this wrapper-bundle.exe has no init command, which the quick start "
                        "uses; its --help says:\n"
                     << help.output;
    }
    const std::map<std::string, std::string> env;

    const std::vector<std::string> commands =
        BatCommands(e2e::ReadFileBytes(kit / "QUICKSTART.md"));
    ASSERT_EQ(commands.size(), 3u) << "init, package, start";
    for (const std::string& command : commands) {
        // Nothing written through the shell (cmd's echo escapes, PowerShell's UTF-16 redirection),
        // and programs of the current folder started by path, as PowerShell requires.
        EXPECT_EQ(command.find_first_of(">^|"), std::string::npos) << command;
        EXPECT_EQ(command.rfind(".\\", 0), 0u) << command;
    }
    int started = 0;
    for (size_t k = 0; k < commands.size(); ++k) {
        const std::string& command = commands[k];
        SCOPED_TRACE(command);
        const bool startsTheApp = command.size() > 4 && command.find(' ') == std::string::npos &&
                                  command.compare(command.size() - 4, 4, ".exe") == 0;
        if (startsTheApp) {
            std::string relative = command.rfind(".\\", 0) == 0 ? command.substr(2) : command;
            std::replace(relative.begin(), relative.end(), '\\', '/');
            std::map<std::string, std::string> runEnv = env;
            runEnv["WRAPPER_SUBSTITUTE_TRANSCRIPT"] = e2e::WinPath(dir / "transcript.jsonl");
            const json report =
                e2e::ProbeProgram(e2e::WinPath(kit / relative),
                                  {"--timeout", "30000", "--close-when", "window"}, runEnv, 45);
            EXPECT_TRUE(report["boxes"].empty()) << report.dump();
            ASSERT_NE(report["window"], nullptr) << report.dump();
            EXPECT_EQ(report["exitCode"], 0);
            ++started;
            continue;
        }
        // One batch file per line: the line as written, run in the kit's folder.
        const fs::path batch = dir / ("step" + std::to_string(k) + ".bat");
        std::ofstream(batch, std::ios::binary) << "@cd /d " << e2e::WinPath(kit) << "\r\n"
                                               << command << "\r\n";
        const e2e::ProcessResult result =
            e2e::RunWine({"cmd", "/c", e2e::WinPath(batch)}, env, 120);
        ASSERT_FALSE(result.timedOut);
        ASSERT_EQ(result.exitCode, 0) << result.output;
    }
    EXPECT_EQ(started, 1);
    // What the quick start says it makes: the program under its own name, the app as a bundle,
    // the notices beside the tool, and the zip of the same files.
    const fs::path package = kit / "dist/MyApp";
    EXPECT_TRUE(fs::is_regular_file(package / "MyApp.exe"));
    EXPECT_FALSE(fs::exists(package / "WebView2Wrapper.exe"));
    EXPECT_TRUE(fs::is_regular_file(package / "www/assets.dat"));
    EXPECT_TRUE(e2e::ReadFileBytes(package / "THIRD-PARTY-NOTICES.txt") ==
                e2e::ReadFileBytes(kit / "THIRD-PARTY-NOTICES.txt"))
        << "the notices beside the tool go into the package";
    EXPECT_FALSE(fs::exists(package / "WebView2Loader.dll")) << "the loader is inside the host";
    ASSERT_TRUE(fs::is_regular_file(kit / "dist/MyApp.zip"));
    const std::string zipped = RunTool({"unzip", "-Z1", (kit / "dist/MyApp.zip").string()});
    for (const char* entry : {"MyApp/www/assets.dat", "MyApp/MyApp.exe"})
        EXPECT_NE(zipped.find(entry), std::string::npos) << zipped;
    EXPECT_EQ(zipped.find("WebView2Loader.dll"), std::string::npos) << zipped;
    const std::vector<nlohmann::json> transcript = e2e::ReadTranscript(dir / "transcript.jsonl");
    bool served = false;
    for (const nlohmann::json& line : transcript) {
        if (line.value("type", "") == "response" &&
            line.value("uri", "") == "https://app.localhost/index.html") {
            // init's start page, whose script (main.js) uses the page module.
            served = line.value("status", 0) == 200 &&
                     line["body"].value("text", "").find("src=\"main.js\"") != std::string::npos;
        }
    }
    EXPECT_TRUE(served) << "the start page was not served from the package";
}

}  // namespace
