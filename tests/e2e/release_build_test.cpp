// The two builds of the host: the release tree's (build/release), which ships, and the test-hooks
// tree's (build/win), which only tests use. Read from outside: the bytes of each file, and their
// version resources as Windows reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
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

}  // namespace
