// The WebView2 SDK step of ./dev setup (tools/webview2-sdk/webview2-sdk.sh): the package is
// unpacked only when its SHA-512 is the pinned one; a tampered, cut or missing package is refused
// and leaves the SDK folder as it was.
#include <gtest/gtest.h>

#include <fstream>

#include "harness.h"

namespace {

namespace fs = std::filesystem;

fs::path Script() { return e2e::SourceDir() / "tools/webview2-sdk/webview2-sdk.sh"; }

// The package ./dev setup checked, kept in the SDK folder.
fs::path CheckedPackage() { return e2e::SdkDir() / "Microsoft.Web.WebView2.1.0.3719.77.nupkg"; }

// Runs one of the script's functions in bash, with its output and errors together.
e2e::ProcessResult RunFunction(const std::vector<std::string>& call,
                               const std::map<std::string, std::string>& env = {}) {
    std::vector<std::string> argv = {"bash", "-c", "source \"$0\" && \"$@\" 2>&1",
                                     Script().string()};
    argv.insert(argv.end(), call.begin(), call.end());
    return e2e::RunProcess(argv, env, 120);
}

fs::path FreshDir(const std::string& name) {
    const fs::path dir = e2e::WorkDir() / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(SdkSetup, OnlyThePinnedPackageIsUnpacked) {
    const std::string package = e2e::ReadFileBytes(CheckedPackage());
    ASSERT_GT(package.size(), 1000000u) << CheckedPackage();
    const fs::path work = FreshDir("sdk_setup");

    {
        SCOPED_TRACE("the pinned package");
        const fs::path dest = work / "good";
        const e2e::ProcessResult install =
            RunFunction({"webview2_sdk_install", CheckedPackage().string(), dest.string()});
        ASSERT_EQ(install.exitCode, 0) << install.output;
        EXPECT_EQ(e2e::ReadFileBytes(dest / "build/native/include/WebView2.h"),
                  e2e::ReadFileBytes(e2e::SdkDir() / "build/native/include/WebView2.h"));
        EXPECT_FALSE(e2e::ReadFileBytes(dest / "build/native/x64/WebView2Loader.dll").empty());
        EXPECT_FALSE(e2e::ReadFileBytes(dest / "build/native/x64/WebView2LoaderStatic.lib").empty());
        EXPECT_EQ(e2e::ReadFileBytes(dest / ".sha512"),
                  e2e::ReadFileBytes(e2e::SdkDir() / ".sha512"));
    }

    std::string flipped = package;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x01);
    const struct {
        const char* name;
        std::string bytes;  // empty: no file at all
        const char* says;
    } refused[] = {
        {"one byte changed", flipped, "refusing"},
        {"cut short", package.substr(0, package.size() - 4096), "refusing"},
        {"not a package", "PK\x03\x04 but nothing else", "refusing"},
        {"missing", "", "not found"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        const fs::path nupkg = work / "candidate.nupkg";
        fs::remove(nupkg);
        if (!c.bytes.empty()) WriteBytes(nupkg, c.bytes);
        // An SDK folder from before stays as it was.
        const fs::path dest = work / "kept";
        fs::create_directories(dest);
        WriteBytes(dest / "marker", "before");
        const e2e::ProcessResult install =
            RunFunction({"webview2_sdk_install", nupkg.string(), dest.string()});
        EXPECT_NE(install.exitCode, 0) << install.output;
        EXPECT_NE(install.output.find(c.says), std::string::npos) << install.output;
        EXPECT_EQ(e2e::ReadFileBytes(dest / "marker"), "before");
        EXPECT_FALSE(fs::exists(dest / "build"));
        EXPECT_FALSE(fs::exists(work / "kept.unpacking"));
    }
}

TEST(SdkSetup, APackageGivenByHandIsCheckedEvenWhenTheSdkIsInPlace) {
    const fs::path work = FreshDir("sdk_setup_by_hand");
    const fs::path deps = work / "deps";
    // A checked SDK is in place (its stamp is all the fast path looks at).
    fs::create_directories(deps / "webview2-sdk");
    fs::copy_file(e2e::SdkDir() / ".sha512", deps / "webview2-sdk/.sha512");
    std::string package = e2e::ReadFileBytes(CheckedPackage());
    ASSERT_FALSE(package.empty());
    package[100] = static_cast<char>(package[100] ^ 0x20);
    WriteBytes(work / "downloaded.nupkg", package);

    const e2e::ProcessResult tampered =
        RunFunction({"webview2_sdk_ensure", deps.string()},
                    {{"WEBVIEW2_NUPKG", (work / "downloaded.nupkg").string()}});
    EXPECT_NE(tampered.exitCode, 0) << tampered.output;
    EXPECT_NE(tampered.output.find("refusing"), std::string::npos) << tampered.output;

    const e2e::ProcessResult good = RunFunction({"webview2_sdk_ensure", deps.string()},
                                                {{"WEBVIEW2_NUPKG", CheckedPackage().string()}});
    EXPECT_EQ(good.exitCode, 0) << good.output;
}

}  // namespace
