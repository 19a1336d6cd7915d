// The two builds of the host: the release tree's (build/release), which ships, and the test-hooks
// tree's (build/win), which only tests use. Read from outside: the bytes of each file, and their
// version resources as Windows reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "config/test_build_marker.h"
#include "harness.h"
#include "sample_app.h"

namespace {

namespace fs = std::filesystem;

// `text` as UTF-16LE bytes (ASCII only), as a wide string literal lies in an image.
std::string Wide(std::string_view text) {
    std::string bytes;
    for (char c : text) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

bool Contains(const std::string& bytes, std::string_view what) {
    return bytes.find(what) != std::string::npos;
}

uint32_t Read32(const std::string& bytes, size_t offset) {
    if (offset + 4 > bytes.size()) throw std::runtime_error("short PE file");
    uint32_t value = 0;
    for (int k = 3; k >= 0; --k)
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + k]);
    return value;
}

// The COFF header fields of a PE image that a reproducible, stripped build fixes.
struct CoffHeader {
    uint32_t timeDateStamp;
    uint32_t pointerToSymbolTable;
    uint32_t numberOfSymbols;
};

CoffHeader ReadCoffHeader(const std::string& image) {
    const uint32_t pe = Read32(image, 0x3c);
    if (image.compare(pe, 4, std::string("PE\0\0", 4)) != 0) throw std::runtime_error("not PE");
    return {Read32(image, pe + 8), Read32(image, pe + 12), Read32(image, pe + 16)};
}

TEST(ReleaseBuild, OnlyTheTestBuildCarriesTheMarker) {
    const std::string hooks = e2e::ReadFileBytes(e2e::WinBuildDir() / "WebView2Wrapper.exe");
    const std::string release = e2e::ReadFileBytes(e2e::ReleaseHost());
    ASSERT_FALSE(hooks.empty());
    ASSERT_FALSE(release.empty());

    EXPECT_TRUE(Contains(hooks, kTestBuildMarker)) << "the test build must say what it is";

    EXPECT_FALSE(Contains(release, kTestBuildMarker));
    // No test variable's name as a literal, in either encoding (what the release host does with
    // the variables is checked by running it: see the installer's tests).
    EXPECT_FALSE(Contains(release, "WRAPPER_TEST_"));
    EXPECT_FALSE(Contains(release, Wide("WRAPPER_TEST_")));
    EXPECT_TRUE(Contains(release, Wide("https://go.microsoft.com/fwlink/p/?LinkId=2124703")));

    // Stripped, without a time stamp, and without the folders it was built in.
    const CoffHeader header = ReadCoffHeader(release);
    EXPECT_EQ(header.timeDateStamp, 0u);
    EXPECT_EQ(header.pointerToSymbolTable, 0u);
    EXPECT_EQ(header.numberOfSymbols, 0u);
    EXPECT_FALSE(Contains(release, e2e::SourceDir().string()));
    EXPECT_FALSE(Contains(release, e2e::ReleaseBuildDir().string()));
    EXPECT_LT(release.size(), hooks.size());
    // The host reads files with the platform's calls: the C++ file streams (and the locale
    // machinery they bring, about 700 KB) are not linked in.
    EXPECT_FALSE(Contains(release, "basic_filebuf"));

    // The libraries only the runtime installer needs (the download's urlmon, which brings
    // wininet, ws2_32 and mpr, and the progress bar's comctl32) are loaded when it runs: the
    // import table, which Windows loads at every start, names none of them.
    const e2e::ProcessResult dump =
        e2e::RunProcess({"x86_64-w64-mingw32-objdump", "-p", e2e::ReleaseHost().string()}, {}, 30);
    ASSERT_EQ(dump.exitCode, 0) << dump.output;
    std::set<std::string> imported;
    std::istringstream lines(dump.output);
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find("DLL Name: ");
        if (at == std::string::npos) continue;
        std::string name = line.substr(at + 10);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        imported.insert(name);
    }
    EXPECT_TRUE(imported.count("kernel32.dll")) << "no import table read";
    for (const char* installerOnly :
         {"urlmon.dll", "wininet.dll", "ws2_32.dll", "mpr.dll", "comctl32.dll"})
        EXPECT_EQ(imported.count(installerOnly), 0u) << installerOnly;
}

TEST(ReleaseBuild, BothBuildsCarryTheProjectVersion) {
    const std::string version = WRAPPER_PROJECT_VERSION;
    struct Case {
        const char* name;
        fs::path file;
        bool testBuild;
    };
    const Case cases[] = {
        {"release", e2e::ReleaseHost(), false},
        {"test hooks", e2e::WinBuildDir() / "WebView2Wrapper.exe", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::map<std::string, std::string> info = e2e::VersionInfo(c.file);
        // FILEVERSION and PRODUCTVERSION, the special-build flag (0x20) of a test build, VFT_APP.
        EXPECT_EQ(info.at("fixed"),
                  version + ".0 " + version + ".0 " + (c.testBuild ? "20" : "0") + " 1");
        EXPECT_EQ(info.at("translation"), "0409 04b0");
        EXPECT_EQ(info.at("FileVersion"), version);
        EXPECT_EQ(info.at("ProductVersion"), version);
        EXPECT_EQ(info.at("ProductName"), "WebView2Wrapper");
        EXPECT_EQ(info.at("FileDescription"), "WebView2Wrapper: desktop host for HTML5 apps");
        EXPECT_EQ(info.at("OriginalFilename"), "WebView2Wrapper.exe");
        EXPECT_EQ(info.at("InternalName"), "WebView2Wrapper");
        EXPECT_EQ(info.count("SpecialBuild"), c.testBuild ? 1u : 0u);
    }
    // The version in three parts, as the kit's name uses it.
    EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 2) << version;
}

// The release host runs an app as the test build does: the runtime stand-in beside it, the page
// served from the bundle, the window shown, exit code 0.
TEST(ReleaseBuild, RunsAnApp) {
    e2e::AppFolder app("release_runs_an_app");
    app.CopyIn(e2e::ReleaseHost(), "WebView2Wrapper.exe");
    app.WritePackageJson(R"({"name":"release-runs-an-app","window":{"title":"Reléase"}})");
    app.Write("www/index.html", "<h1>release</h1>");
    const e2e::HostRun run = app.Run("snapshot\nclose\n");
    EXPECT_TRUE(run.probe["boxes"].empty()) << run.probe.dump();
    EXPECT_EQ(run.probe["exitCode"], 0);
    const nlohmann::json page = run.Response("https://app.localhost/index.html");
    ASSERT_FALSE(page.is_null());
    EXPECT_EQ(page["status"], 200);
    EXPECT_EQ(page["body"]["text"], "<h1>release</h1>");
    // Seen from inside the run: the probe's polling can miss a window shown and closed at once.
    ASSERT_EQ(run.Of("snapshot").size(), 1u);
    EXPECT_EQ(run.Of("snapshot")[0]["visible"], true);
}

// What `./dev run` and `./dev package` build, planned from a clean build folder (only the SDK and
// libarchive's source, which `./dev setup` fetched, carried over): the release host, the Linux
// packer (linked with the system's libarchive) and, from the Windows test tree, only the runtime
// stand-in, the probe and the sample extension. Ninja's own list of the commands those targets
// take shows that no test, no GoogleTest, no sanitizer, no fuzzer and no libarchive is compiled
// on the way, and the folder holds no other tree.
TEST(ReleaseBuild, DevRunAndPackageBuildOnlyWhatTheyUse) {
    const fs::path build = e2e::WorkDir() / "dev-plan";
    fs::remove_all(build);
    fs::create_directories(build);
    fs::create_directory_symlink(e2e::WinBuildDir().parent_path() / "deps", build / "deps");
    const fs::path plan = build / "plan.txt";
    struct Case {
        std::vector<std::string> command;
        std::map<std::string, std::string> trees;  // tree -> its targets
    };
    const std::string hello = (e2e::SourceDir() / "examples/hello").string();
    const Case cases[] = {
        {{"run"},
         {{"release", "WebView2Wrapper"},
          {"run-linux", "wrapper-bundle"},
          {"win", "sample_extension EmbeddedBrowserWebView probe"}}},
        {{"package", hello, (build / "out").string()},
         {{"release", "WebView2Wrapper"},
          {"run-linux", "wrapper-bundle"},
          {"win", "sample_extension"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command[0]);
        fs::remove(plan);
        std::vector<std::string> argv = {(e2e::SourceDir() / "dev").string()};
        argv.insert(argv.end(), c.command.begin(), c.command.end());
        const e2e::ProcessResult result = e2e::RunProcess(
            argv, {{"WRAPPER_BUILD_DIR", build.string()}, {"WRAPPER_DEV_PLAN", plan.string()}},
            600);
        ASSERT_EQ(result.exitCode, 0) << result.output;
        std::map<std::string, std::string> trees;
        std::istringstream lines(e2e::ReadFileBytes(plan));
        std::string line;
        while (std::getline(lines, line)) {
            const size_t space = line.find(' ');
            std::string& targets = trees[line.substr(0, space)];
            targets += (targets.empty() ? "" : " ") + line.substr(space + 1);
        }
        EXPECT_EQ(trees, c.trees);
        for (const auto& [tree, targets] : trees) {
            std::vector<std::string> ninja = {"ninja", "-C", (build / tree).string(), "-t",
                                              "commands"};
            std::istringstream names(targets);
            for (std::string target; names >> target;) ninja.push_back(target);
            const e2e::ProcessResult commands = e2e::RunProcess(ninja, {}, 120);
            ASSERT_EQ(commands.exitCode, 0) << tree;
            EXPECT_FALSE(commands.output.empty()) << tree;
            // Nor libarchive from source: the packer for a run links the system's.
            for (const char* unwanted :
                 {"/tests/", "googletest", "-fsanitize", "/bench/", "libarchive-build"})
                EXPECT_FALSE(Contains(commands.output, unwanted)) << tree << " builds " << unwanted;
        }
    }
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(build))
        if (entry.is_directory()) left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"deps", "release", "run-linux", "win"}));
    fs::remove_all(build);
}

}  // namespace
