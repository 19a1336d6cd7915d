// tools/package-app.sh: the distributable folder and zip of an app, checked file by file; the
// bundle verifies with the packer; a second run gives the same bytes; what the host would refuse
// is refused before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "config/test_build_marker.h"
#include "harness.h"
#include "sample_app.h"

namespace {

namespace fs = std::filesystem;
using e2e::ProcessResult;

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every file under `folder`, as relative paths with "/".
std::set<std::string> FilesUnder(const fs::path& folder) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            files.insert(entry.path().lexically_relative(folder).generic_string());
    }
    return files;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::set<std::string> ZipEntries(const fs::path& zip) {
    const ProcessResult run = e2e::RunProcess(
        {"python3", "-c",
         "import sys, zipfile\nfor n in zipfile.ZipFile(sys.argv[1]).namelist(): print(n)",
         zip.string()},
        {}, 60);
    EXPECT_EQ(run.exitCode, 0) << zip;
    const std::vector<std::string> lines = Lines(run.output);
    return {lines.begin(), lines.end()};
}

fs::path Packer() { return e2e::BuildDir() / "native/tools/packer/wrapper-bundle"; }

fs::path FreshWorkDir(const std::string& name) {
    const fs::path dir = e2e::BuildDir() / "e2e-work" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

TEST(Package, SampleAppHasTheShippedFilesAndNoSubstitute) {
    const fs::path app = e2e::SourceDir() / "examples/hello";
    const fs::path out = FreshWorkDir("package_hello") / "hello";
    const ProcessResult first = e2e::PackageApp(app, out);
    ASSERT_EQ(first.exitCode, 0) << first.output;

    // One line tells where the vendor's loader goes.
    const std::vector<std::string> lines = Lines(first.output);
    const auto loaderLines = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("WebView2Loader.dll") != std::string::npos &&
               l.find("beside") != std::string::npos;
    });
    EXPECT_EQ(loaderLines, 1) << first.output;

    std::set<std::string> expected = {"WebView2Wrapper.exe", "package.json", "icon.png",
                                      "www/assets.dat"};
    const fs::path extension = e2e::SampleExtension();
    if (!extension.empty()) expected.insert("DI2ZozUzoraru.dll");
    EXPECT_EQ(FilesUnder(out), expected) << "no substitute loader, no loose web files";
    EXPECT_EQ(e2e::ReadFileBytes(out / "package.json"), e2e::ReadFileBytes(app / "package.json"));
    // The release host, never the test build.
    const std::string host = e2e::ReadFileBytes(out / "WebView2Wrapper.exe");
    EXPECT_TRUE(host == e2e::ReadFileBytes(e2e::ReleaseHost()));
    EXPECT_EQ(host.find(kTestBuildMarker), std::string::npos);
    EXPECT_EQ(e2e::ReadFileBytes(out / "icon.png"), e2e::ReadFileBytes(app / "icon.png"));
    if (!extension.empty())
        EXPECT_EQ(e2e::ReadFileBytes(out / "DI2ZozUzoraru.dll"), e2e::ReadFileBytes(extension));

    std::set<std::string> zipped;
    for (const std::string& file : expected) zipped.insert("hello/" + file);
    const fs::path zip = out.parent_path() / "hello.zip";
    EXPECT_EQ(ZipEntries(zip), zipped);

    // The bundle holds exactly the www files and loads as the host loads it.
    const std::set<std::string> webFiles = FilesUnder(app / "www");
    std::uint64_t webBytes = 0;
    for (const std::string& file : webFiles) webBytes += fs::file_size(app / "www" / file);
    const ProcessResult verify =
        e2e::RunProcess({Packer().string(), "verify", (out / "www/assets.dat").string()}, {}, 60);
    EXPECT_EQ(verify.exitCode, 0);
    EXPECT_EQ(verify.output, "ok: " + std::to_string(webFiles.size()) + " files, " +
                                 std::to_string(webBytes) + " bytes\n");
    const ProcessResult list =
        e2e::RunProcess({Packer().string(), "list", (out / "www/assets.dat").string()}, {}, 60);
    std::set<std::string> listed;
    for (const std::string& line : Lines(list.output))
        listed.insert(line.substr(0, line.find('\t')));
    EXPECT_EQ(listed, webFiles);

    // Packaging again over the earlier package gives the same bytes.
    const std::string bundleBytes = e2e::ReadFileBytes(out / "www/assets.dat");
    const std::string zipBytes = e2e::ReadFileBytes(zip);
    const ProcessResult second = e2e::PackageApp(app, out);
    ASSERT_EQ(second.exitCode, 0) << second.output;
    EXPECT_TRUE(e2e::ReadFileBytes(out / "www/assets.dat") == bundleBytes) << "bundle bytes differ";
    EXPECT_TRUE(e2e::ReadFileBytes(zip) == zipBytes) << "zip bytes differ";
    EXPECT_EQ(FilesUnder(out), expected);
}

TEST(Package, LooseFilesOwnExtensionIconAndFixedRuntime) {
    const fs::path work = FreshWorkDir("package_loose");
    const fs::path app = work / "my app";
    WriteFile(app / "package.json", R"({"name":"loose","window":{"icon":"assets/app icon.png"},)"
                                    R"("settings":{"distribution-mode":"fixed"}})");
    WriteFile(app / "assets/app icon.png", "icon bytes");
    WriteFile(app / "assets/unused.txt", "not named by package.json");
    WriteFile(app / "notes.md", "left out");
    WriteFile(app / "DI2ZozUzoraru.dll", "the app's own extension");
    WriteFile(app / "WebView2Loader.dll", "never shipped from here");
    WriteFile(app / "webview2/msedgewebview2.exe", "fixed runtime");
    WriteFile(app / "www/index.html", "<p>loose</p>");
    WriteFile(app / "www/sub dir/a.js", "1;");

    const fs::path out = work / "dist";
    const ProcessResult run = e2e::PackageApp(app, out, {"--loose"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::set<std::string> expected = {
        "WebView2Wrapper.exe",        "package.json",   "assets/app icon.png",
        "DI2ZozUzoraru.dll",          "www/index.html", "www/sub dir/a.js",
        "webview2/msedgewebview2.exe"};
    EXPECT_EQ(FilesUnder(out), expected);
    EXPECT_EQ(e2e::ReadFileBytes(out / "DI2ZozUzoraru.dll"), "the app's own extension");
    EXPECT_EQ(e2e::ReadFileBytes(out / "www/sub dir/a.js"), "1;");
    EXPECT_NE(run.output.find("WebView2Loader.dll"), std::string::npos);

    // An icon outside the app folder is not copied, and says so; the package is still made.
    WriteFile(work / "secret.png", "outside");
    WriteFile(app / "package.json", R"({"name":"loose","window":{"icon":"../secret.png"}})");
    const ProcessResult outside = e2e::PackageApp(app, out, {"--no-zip"});
    ASSERT_EQ(outside.exitCode, 0) << outside.output;
    EXPECT_NE(outside.output.find("not a path inside the app folder"), std::string::npos)
        << outside.output;
    EXPECT_EQ(FilesUnder(out), (std::set<std::string>{"WebView2Wrapper.exe", "package.json",
                                                      "DI2ZozUzoraru.dll", "www/assets.dat"}));
}

TEST(Package, RefusesWhatTheHostWouldRefuseAndWritesNothing) {
    struct Case {
        const char* name;
        const char* packageJson;  // null: no package.json
        const char* out;          // relative to the app folder's parent
        bool foreignOut = false;  // the output folder already holds someone else's file
    };
    const Case cases[] = {
        {"no_package_json", nullptr, "out"},
        {"empty_name", R"({"name":""})", "out"},
        {"name_not_string", R"({"name":7})", "out"},
        {"comment", "{\"name\":\"x\" /* no */}", "out"},
        {"capitalised_mode", R"({"name":"x","settings":{"distribution-mode":"Fixed"}})", "out"},
        {"bad_content_mode", R"({"name":"x","settings":{"content-mode":"web"}})", "out"},
        {"out_inside_www", R"({"name":"x"})", "app/www/out"},
        {"out_is_app", R"({"name":"x"})", "app"},
        {"foreign_out", R"({"name":"x"})", "out", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path work = FreshWorkDir(std::string("package_refused_") + c.name);
        const fs::path app = work / "app";
        if (c.packageJson != nullptr) WriteFile(app / "package.json", c.packageJson);
        WriteFile(app / "www/index.html", "<p>x</p>");
        const fs::path out = work / c.out;
        if (c.foreignOut) WriteFile(out / "keep.txt", "mine");
        const std::set<std::string> before = FilesUnder(work);

        const ProcessResult run = e2e::PackageApp(app, out);
        EXPECT_EQ(run.exitCode, 1) << run.output;
        EXPECT_EQ(FilesUnder(work), before) << "nothing written";
        EXPECT_FALSE(fs::exists(work / "out.zip"));
    }
}

}  // namespace
