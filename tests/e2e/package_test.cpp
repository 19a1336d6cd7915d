// wrapper-bundle package: the distributable folder and zip of an app, checked file by file (also
// through tools/package-app.sh as ./dev package runs it); the bundle verifies; a second run gives
// the same bytes; what the host would refuse is refused before anything is written; earlier
// packages are replaced and other folders are not; a test build of the host is never shipped;
// wrapper-bundle.exe under Wine makes the same package as the Linux tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "config/test_build_marker.h"
#include "bundle/one_file.h"
#include "harness.h"
#include "packager/image_codec.h"
#include "packager/little_endian.h"
#include "packager/pe_resources.h"
#include "sample_app.h"

namespace {

namespace fs = std::filesystem;
using e2e::ProcessResult;

constexpr char kLoaderName[] = "WebView2Loader.dll";

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every file under `folder`, as relative paths with "/".
std::set<std::string> FilesUnder(const fs::path& folder) {
    std::set<std::string> files;
    if (!fs::is_directory(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            files.insert(entry.path().lexically_relative(folder).generic_string());
    }
    return files;
}

// Expects the two folders to hold the same files with the same bytes.
void ExpectSameFolders(const fs::path& a, const fs::path& b) {
    const std::set<std::string> files = FilesUnder(a);
    EXPECT_EQ(files, FilesUnder(b));
    for (const std::string& file : files) {
        EXPECT_TRUE(e2e::ReadFileBytes(a / file) == e2e::ReadFileBytes(b / file))
            << file << " differs";
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The files listed in a package manifest.
std::set<std::string> ParseManifestFiles(const fs::path& manifest) {
    const nlohmann::json json = nlohmann::json::parse(e2e::ReadFileBytes(manifest), nullptr, false);
    std::set<std::string> files;
    if (json.is_object() && json["files"].is_array())
        for (const auto& file : json["files"]) files.insert(file.get<std::string>());
    return files;
}

// The files of a zip, extracted with Info-ZIP's unzip into `into`.
void Unzip(const fs::path& zip, const fs::path& into) {
    fs::remove_all(into);
    fs::create_directories(into);
    const ProcessResult run = e2e::RunProcess({"unzip", "-q", zip.string(), "-d", into.string()},
                                              {{"LC_ALL", "C.UTF-8"}}, 120);
    EXPECT_EQ(run.exitCode, 0) << zip << run.output;
}

fs::path Packer() { return e2e::NativePacker(); }

fs::path SdkLoader() { return e2e::SdkDir() / "build/native/x64/WebView2Loader.dll"; }

fs::path FreshWorkDir(const std::string& name) {
    const fs::path dir = e2e::WorkDir() / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// The tests run the Windows packer that ships, the release tree's.
constexpr char kNoWindowsPacker[] =
    "the release tree has no wrapper-bundle.exe: ./dev build-release builds it";

// A copy of the release host in a folder of its own.
fs::path HostCopy(const fs::path& dir) {
    const fs::path host = dir / "host" / "WebView2Wrapper.exe";
    fs::create_directories(host.parent_path());
    fs::copy_file(e2e::ReleaseHost(), host, fs::copy_options::overwrite_existing);
    return host;
}

// A PNG of one colour (0xRRGGBB).
std::string SolidPng(int width, int height, std::uint32_t colour) {
    RgbaImage image{width, height, {}};
    for (int i = 0; i < width * height; ++i) {
        image.pixels.insert(image.pixels.end(),
                            {static_cast<std::uint8_t>(colour >> 16),
                             static_cast<std::uint8_t>(colour >> 8),
                             static_cast<std::uint8_t>(colour), 255});
    }
    return EncodePng(image);
}

// The names of a zip's entries.
std::set<std::string> ZipEntries(const fs::path& zip) {
    const ProcessResult run = e2e::RunProcess({"unzip", "-Z1", zip.string()}, {}, 60);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    const std::vector<std::string> lines = Lines(run.output);
    return {lines.begin(), lines.end()};
}

TEST(Package, SampleAppThroughTheScriptHasTheShippedFilesAndNoSubstitute) {
    const fs::path app = e2e::SourceDir() / "examples/hello";
    const fs::path out = FreshWorkDir("package_hello") / "hello";
    const ProcessResult first = e2e::PackageApp(app, out);
    ASSERT_EQ(first.exitCode, 0) << first.output;

    std::set<std::string> expected = {"WebView2Wrapper.exe", "package.json", "icon.png",
                                      "www/assets.dat"};
    const fs::path extension = e2e::SampleExtension();
    if (!extension.empty()) expected.insert("DI2ZozUzoraru.dll");
    const fs::path notices = e2e::SourceDir() / "tools/kit/THIRD-PARTY-NOTICES.txt";
    expected.insert("THIRD-PARTY-NOTICES.txt");
    EXPECT_EQ(FilesUnder(out), expected) << "no loose web files";
    EXPECT_EQ(e2e::ReadFileBytes(out / "package.json"), e2e::ReadFileBytes(app / "package.json"));
    // The release host with the app's identity, never the test build.
    const std::string host = e2e::ReadFileBytes(out / "WebView2Wrapper.exe");
    EXPECT_TRUE(host == e2e::HostWithIdentity(e2e::ReleaseHost(), app));
    EXPECT_EQ(host.find(kTestBuildMarker), std::string::npos);
    EXPECT_EQ(e2e::ReadFileBytes(out / "icon.png"), e2e::ReadFileBytes(app / "icon.png"));
    if (!extension.empty())
        EXPECT_EQ(e2e::ReadFileBytes(out / "DI2ZozUzoraru.dll"), e2e::ReadFileBytes(extension));
    EXPECT_EQ(e2e::ReadFileBytes(out / "THIRD-PARTY-NOTICES.txt"), e2e::ReadFileBytes(notices));

    // The zip holds the same files under the folder's name; the manifest lies beside, outside.
    const fs::path zip = out.parent_path() / "hello.zip";
    Unzip(zip, out.parent_path() / "unzipped");
    ExpectSameFolders(out, out.parent_path() / "unzipped/hello");
    EXPECT_TRUE(fs::exists(out.parent_path() / "hello.package-manifest"));

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

TEST(Package, LooseFilesOwnExtensionIconNoticesAndFixedRuntime) {
    const fs::path work = FreshWorkDir("package_loose");
    const fs::path app = work / "my app";
    WriteFile(app / "package.json", R"({"name":"loose","window":{"icon":"assets/app icon.png"},)"
                                    R"("settings":{"distribution-mode":"fixed"}})");
    WriteFile(app / "assets/app icon.png", "icon bytes");
    WriteFile(app / "assets/unused.txt", "not named by package.json");
    WriteFile(app / "notes.md", "left out");
    // An extension the host loads: the project's sample; another one is the same library with
    // bytes after the image.
    const std::string extension = e2e::ReadFileBytes(e2e::SampleExtension());
    ASSERT_FALSE(extension.empty()) << "the sample extension is not built";
    WriteFile(app / "DI2ZozUzoraru.dll", extension);
    WriteFile(app / "WebView2Loader.dll", "never shipped from here");
    WriteFile(app / "webview2/msedgewebview2.exe", "fixed runtime");
    WriteFile(app / "webview2/locales/\xC3\xA9.pak", "runtime locale");
    WriteFile(app / "www/index.html", "<p>loose</p>");
    WriteFile(app / "www/sub dir/a.js", "1;");
    const fs::path host = HostCopy(work);
    WriteFile(work / "notices.txt", "third-party notices");

    const fs::path out = work / "dist";
    const std::vector<std::string> inputs = {"--host", host.string(), "--notices",
                                             (work / "notices.txt").string()};
    std::vector<std::string> options = inputs;
    options.push_back("--loose");
    const ProcessResult run = e2e::RunPacker(app, out, options);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::set<std::string> expected = {"WebView2Wrapper.exe",
                                            "package.json",
                                            "assets/app icon.png",
                                            "DI2ZozUzoraru.dll",
                                            "www/index.html",
                                            "www/sub dir/a.js",
                                            "THIRD-PARTY-NOTICES.txt",
                                            "webview2/msedgewebview2.exe",
                                            "webview2/locales/\xC3\xA9.pak"};
    EXPECT_EQ(FilesUnder(out), expected);
    EXPECT_TRUE(e2e::ReadFileBytes(out / "DI2ZozUzoraru.dll") == extension);
    EXPECT_EQ(e2e::ReadFileBytes(out / "www/sub dir/a.js"), "1;");
    EXPECT_EQ(e2e::ReadFileBytes(out / "THIRD-PARTY-NOTICES.txt"), "third-party notices");
    EXPECT_TRUE(e2e::ReadFileBytes(out / "WebView2Wrapper.exe") == e2e::HostWithIdentity(host, app));
    EXPECT_TRUE(Contains(run.output, "WebView2Loader.dll is not copied")) << run.output;
    EXPECT_TRUE(Contains(run.output, "app icon.png is not a PNG or ICO file; WebView2Wrapper.exe "
                                     "keeps the host's icon"))
        << run.output;
    EXPECT_FALSE(fs::exists(work / "dist.zip")) << "a zip only with --zip";

    // An icon outside the app folder is not copied, and says so; the package is still made.
    // An extension given on the command line wins over the app's own.
    WriteFile(work / "secret.png", "outside");
    WriteFile(work / "other.dll", extension + "another extension");
    WriteFile(app / "package.json", R"({"name":"loose","window":{"icon":"../secret.png"}})");
    options = inputs;
    options.insert(options.end(), {"--extension", (work / "other.dll").string()});
    const ProcessResult outside = e2e::RunPacker(app, out, options);
    ASSERT_EQ(outside.exitCode, 0) << outside.output;
    EXPECT_TRUE(Contains(outside.output, "not a path inside the app folder")) << outside.output;
    EXPECT_EQ(FilesUnder(out),
              (std::set<std::string>{"WebView2Wrapper.exe", "package.json", "DI2ZozUzoraru.dll",
                                     "THIRD-PARTY-NOTICES.txt", "www/assets.dat"}));
    EXPECT_TRUE(e2e::ReadFileBytes(out / "DI2ZozUzoraru.dll") == extension + "another extension");

    // Without --notices, a notices file beside the host is taken; without one, a warning.
    WriteFile(host.parent_path() / "THIRD-PARTY-NOTICES.txt", "beside the host");
    ProcessResult beside = e2e::RunPacker(app, out, {"--host", host.string()});
    ASSERT_EQ(beside.exitCode, 0) << beside.output;
    EXPECT_EQ(e2e::ReadFileBytes(out / "THIRD-PARTY-NOTICES.txt"), "beside the host");
    fs::remove(host.parent_path() / "THIRD-PARTY-NOTICES.txt");
    beside = e2e::RunPacker(app, out, {"--host", host.string()});
    ASSERT_EQ(beside.exitCode, 0) << beside.output;
    EXPECT_TRUE(Contains(beside.output, "lacks the third-party notices")) << beside.output;
    EXPECT_FALSE(fs::exists(out / "THIRD-PARTY-NOTICES.txt"));
}

TEST(Package, TheHostShipsWithTheLoaderInsideAndItsNoticeBeside) {
    const fs::path work = FreshWorkDir("package_loader");
    const fs::path app = work / "app";
    WriteFile(app / "package.json", R"({"name":"loader"})");
    WriteFile(app / "www/index.html", "<p>loader</p>");
    const std::string notices =
        e2e::ReadFileBytes(e2e::SourceDir() / "tools/kit/THIRD-PARTY-NOTICES.txt");
    // The notices carry the SDK's licence, which asks for it with every binary copy.
    EXPECT_TRUE(Contains(notices, "WebView2 loader, from the Microsoft Edge WebView2 SDK"));
    EXPECT_TRUE(Contains(notices, "Copyright (C) Microsoft Corporation. All rights reserved."));
    EXPECT_TRUE(Contains(notices, "Redistributions in binary form must reproduce the above"));

    // As in the kit: the host and the notices beside the tool are the defaults; a loader library
    // lying there (as in kits of old) is not shipped.
    const fs::path tool = work / "kit";
    fs::create_directories(tool);
    fs::copy_file(Packer(), tool / "wrapper-bundle");
    fs::copy_file(HostCopy(work), tool / "WebView2Wrapper.exe");
    fs::copy_file(SdkLoader(), tool / kLoaderName);
    fs::copy_file(e2e::SourceDir() / "tools/kit/THIRD-PARTY-NOTICES.txt",
                  tool / "THIRD-PARTY-NOTICES.txt");
    const auto package = [&](const std::vector<std::string>& options) {
        std::vector<std::string> argv = {"sh",
                                         "-c",
                                         "exec \"$@\" 2>&1",
                                         "sh",
                                         (tool / "wrapper-bundle").string(),
                                         "package",
                                         app.string(),
                                         (work / "out").string(),
                                         "--force"};
        argv.insert(argv.end(), options.begin(), options.end());
        return e2e::RunProcess(argv, {}, 120);
    };
    ProcessResult run = package({"--zip"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FilesUnder(work / "out"),
              (std::set<std::string>{"WebView2Wrapper.exe", "package.json", "www/assets.dat",
                                     "THIRD-PARTY-NOTICES.txt"}));
    EXPECT_EQ(e2e::ReadFileBytes(work / "out/THIRD-PARTY-NOTICES.txt"), notices);
    Unzip(work / "out.zip", work / "unzipped");
    ExpectSameFolders(work / "out", work / "unzipped/out");

    // Refused, and nothing written: the options that named a loader, and extensions the host
    // would not load: 32-bit, or without the plain exported names.
    const std::string before = e2e::ReadFileBytes(work / "out.package-manifest");
    struct Refusal {
        std::vector<std::string> options;
        const char* says;
    };
    const std::vector<Refusal> refusals = {
        {{"--loader", SdkLoader().string()}, "unknown option --loader"},
        {{"--no-loader"}, "unknown option --no-loader"},
        {{"--extension", (e2e::SdkDir() / "build/native/x86" / kLoaderName).string()},
         "not an x64 Windows library; the host is x64 and loads only x64 extensions"},
        {{"--extension", SdkLoader().string()},
         "does not export Init, Release, OnMainWindowCreated, OnExtensionMessage by plain name"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.says);
        run = package(refusal.options);
        EXPECT_NE(run.exitCode, 0) << run.output;
        EXPECT_TRUE(Contains(run.output, refusal.says)) << run.output;
    }
    EXPECT_EQ(e2e::ReadFileBytes(work / "out.package-manifest"), before);
}

// The executable carries the app's name, icon and version, as Windows reads them
// (GetFileVersionInfoW and LoadImageW in version_info.exe) and as icoutils' wrestool does, and it
// starts; a PNG icon and an ICO one; no "version" gives 1.0.0.
TEST(Package, TheExeCarriesTheAppsNameIconAndVersionAndStarts) {
    const fs::path work = FreshWorkDir("package_identity");
    const fs::path app = work / "app";
    WriteFile(app / "package.json",
              R"({"name":"cat-game","version":"2.3.4-beta.1","description":"A game about cats",)"
              R"("author":{"name":"Jane Doe","email":"jane@example.com"},)"
              R"("window":{"title":"Cat Game","icon":"art/icon.png"}})");
    WriteFile(app / "art/icon.png", SolidPng(300, 200, 0xFF8000));
    WriteFile(app / "www/index.html", "<title>Cats</title><h1>cats</h1>");
    const fs::path out = work / "Cats";
    ProcessResult run = e2e::RunPacker(app, out,
                                       {"--host", e2e::ReleaseHost().string(), "--exe-name", "Cat Game",
                                        "--zip"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Contains(run.output, "Cat Game.exe: \"Cat Game\" version 2.3.4-beta.1, icon from "
                                     "art/icon.png"))
        << run.output;
    const fs::path exe = out / "Cat Game.exe";
    EXPECT_FALSE(fs::exists(out / "WebView2Wrapper.exe"));
    EXPECT_TRUE(ZipEntries(work / "Cats.zip").count("Cats/Cat Game.exe"));

    // The checksum is computed as the linker computes it: the release host's own field agrees.
    const std::string release = e2e::ReadFileBytes(e2e::ReleaseHost());
    EXPECT_EQ(ImageChecksum(release), Little32(release, Little32(release, 0x3C) + 24 + 64));
    EXPECT_EQ(ImageChecksum(e2e::ReadFileBytes(exe)),
              Little32(e2e::ReadFileBytes(exe), Little32(release, 0x3C) + 24 + 64));

    std::map<std::string, std::string> info = e2e::VersionInfo(exe);
    const std::map<std::string, std::string> expected = {
        {"fixed", "2.3.4.0 2.3.4.0 0 1"},
        {"translation", "0409 04b0"},
        {"ProductName", "Cat Game"},
        {"FileDescription", "A game about cats"},
        {"FileVersion", "2.3.4-beta.1"},
        {"ProductVersion", "2.3.4-beta.1"},
        {"CompanyName", "Jane Doe"},
        {"LegalCopyright", "Copyright (c) Jane Doe"},
        {"OriginalFilename", "Cat Game.exe"},
        {"InternalName", "Cat Game"},
        {"icon16", "16x16 ff8000"},
        {"icon32", "32x32 ff8000"},
        {"icon256", "256x256 ff8000"},
    };
    EXPECT_EQ(info, expected);

    // An independent reader: seven images and the group MAINICON, which icotool lists.
    const ProcessResult listed = e2e::RunProcess({"wrestool", "-l", exe.string()}, {}, 60);
    EXPECT_EQ(listed.exitCode, 0) << listed.output;
    std::size_t images = 0;
    for (const std::string& line : Lines(listed.output)) images += line.rfind("--type=3 ", 0) == 0;
    EXPECT_EQ(images, 7u) << listed.output;
    EXPECT_TRUE(Contains(listed.output, "--type=14 --name='MAINICON'")) << listed.output;
    EXPECT_TRUE(Contains(listed.output, "--type=16 --name=1")) << listed.output;
    const ProcessResult icons = e2e::RunProcess(
        {"sh", "-c", "wrestool -x -t 14 -o \"$2\" \"$1\" && icotool -l \"$2\"", "sh",
         exe.string(), (work / "extracted.ico").string()},
        {}, 60);
    EXPECT_EQ(icons.exitCode, 0) << icons.output;
    for (const char* size : {"16", "24", "32", "48", "64", "128", "256"}) {
        EXPECT_TRUE(Contains(icons.output, std::string("--width=") + size + " --height=" + size))
            << icons.output;
    }

    // It starts, with the vendor's loader finding the substitute runtime of the test session.
    const nlohmann::json report = e2e::ProbeProgram(
        e2e::WinPath(exe), {"--timeout", "30000", "--close-when", "window"}, {}, 60);
    EXPECT_TRUE(report["boxes"].empty()) << report.dump();
    EXPECT_NE(report["window"], nullptr) << report.dump();
    EXPECT_EQ(report["exitCode"], 0) << report.dump();

    // An ICO icon whose directory says 16x16, no planes and no bit count for a 48x48 PNG: the
    // group says what the image is, and Windows shows it at every size. No "version".
    std::string png = SolidPng(48, 48, 0x10C020);
    std::string ico("\0\0\1\0\1\0\x10\x10\0\0\0\0\0\0", 14);
    for (std::uint32_t value : {static_cast<std::uint32_t>(png.size()), 22u})
        for (int k = 0; k < 4; ++k) ico.push_back(static_cast<char>(value >> (8 * k)));
    WriteFile(app / "art/icon.ico", ico + png);
    WriteFile(app / "package.json", R"({"name":"cat-game","window":{"icon":"art/icon.ico"}})");
    run = e2e::RunPacker(app, out, {"--host", e2e::ReleaseHost().string(), "--exe-name", "Cat Game"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    info = e2e::VersionInfo(exe);
    EXPECT_EQ(info["fixed"], "1.0.0.0 1.0.0.0 0 1");
    EXPECT_EQ(info["FileVersion"], "1.0.0");
    EXPECT_EQ(info["ProductName"], "cat-game");
    EXPECT_EQ(info["FileDescription"], "cat-game");
    EXPECT_EQ(info.count("CompanyName"), 0u);
    EXPECT_EQ(info["icon16"], "16x16 10c020");
    EXPECT_EQ(info["icon32"], "32x32 10c020");
    EXPECT_EQ(info["icon256"], "256x256 10c020");
    std::string group;
    for (const Resource& r : ReadResources(e2e::ReadFileBytes(exe)))
        if (r.type.id == kResourceGroupIcon && r.name.text == u"MAINICON") group = r.data;
    ASSERT_EQ(group.size(), 6u + 14);
    EXPECT_EQ(group.substr(6, 8), std::string("\x30\x30\0\0\1\0\x20\0", 8))
        << "48x48, 1 plane, 32 bits";
}

// --one-file: the executable alone in an empty folder starts from what it carries; signed
// afterwards with a throw-away certificate (osslsigncode) it still verifies and runs; cut short
// or damaged it shows the boxes of a damaged bundle or package.json.
TEST(Package, OneFileExeRunsAloneSignedOrNotAndShowsItsBoxWhenDamaged) {
    const fs::path work = FreshWorkDir("package_one_file");
    const fs::path app = work / "Star Game";
    fs::create_directory(app);
    ProcessResult run = e2e::RunProcess({Packer().string(), "init", app.string()}, {}, 60);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const fs::path out = work / "dist";
    run = e2e::RunPacker(app, out,
                         {"--host", e2e::ReleaseHost().string(), "--one-file", "--zip"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FilesUnder(out), std::set<std::string>{"WebView2Wrapper.exe"});
    Unzip(work / "dist.zip", work / "unzipped");
    ExpectSameFolders(out, work / "unzipped/dist");
    const std::string exe = e2e::ReadFileBytes(out / "WebView2Wrapper.exe");
    ASSERT_EQ(exe.size() % 8, 0u) << "a certificate table follows without padding";

    // Each copy alone in a folder of its own.
    const auto alone = [&](const std::string& name, const std::string& bytes) {
        const fs::path dir = work / name;
        fs::create_directories(dir);
        WriteFile(dir / "Star Game.exe", bytes);
        return dir / "Star Game.exe";
    };
    const fs::path plain = alone("alone", exe);
    // Signed afterwards: the certificate table goes after the payload, at the end.
    ASSERT_EQ(e2e::RunProcess({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                               "ec_paramgen_curve:P-256", "-nodes", "-days", "2", "-subj", "/CN=Throwaway Test Signer", "-addext",
                               "extendedKeyUsage=codeSigning", "-keyout",
                               (work / "key.pem").string(), "-out", (work / "cert.pem").string()},
                              {}, 60)
                  .exitCode,
              0);
    const fs::path signedDir = work / "signed";
    fs::create_directories(signedDir);
    const fs::path signedExe = signedDir / "Star Game.exe";
    run = e2e::RunProcess({"osslsigncode", "sign", "-certs", (work / "cert.pem").string(), "-key",
                           (work / "key.pem").string(), "-n", "Star Game", "-in", plain.string(),
                           "-out", signedExe.string()},
                          {}, 60);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    run = e2e::RunProcess({"osslsigncode", "verify", "-in", signedExe.string(), "-CAfile",
                           (work / "cert.pem").string()},
                          {}, 60);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Contains(run.output, "Signature verification: ok")) << run.output;
    EXPECT_GT(fs::file_size(signedExe), exe.size());

    for (const fs::path& program : {plain, signedExe}) {
        SCOPED_TRACE(program.string());
        const fs::path transcript = work / (program.parent_path().filename().string() + ".jsonl");
        const nlohmann::json report = e2e::ProbeProgram(
            e2e::WinPath(program), {"--timeout", "30000", "--close-when", "visible"},
            {{"WRAPPER_SUBSTITUTE_TRANSCRIPT", e2e::WinPath(transcript)}}, 60);
        EXPECT_TRUE(report["boxes"].empty()) << report.dump();
        ASSERT_NE(report["window"], nullptr) << report.dump();
        EXPECT_EQ(report["window"]["title"], "Star Game");
        EXPECT_EQ(report["exitCode"], 0);
        bool servedIndex = false;
        for (const nlohmann::json& line : e2e::ReadJsonLines(transcript)) {
            servedIndex |= line.value("type", "") == "response" && line.value("status", 0) == 200 &&
                           line.value("uri", "") == "https://app.localhost/index.html";
        }
        EXPECT_TRUE(servedIndex) << "the page comes from the bundle inside the executable";
        EXPECT_EQ(FilesUnder(program.parent_path()), std::set<std::string>{"Star Game.exe"});
    }

    // Damage: the bundle cut short (the run goes on without it), the settings cut short.
    const std::uint64_t header = OneFilePayloadOffset(ExecutableImageEnd(exe.substr(0, 65536)));
    struct Damage {
        const char* name;
        std::string bytes;
        const char* box;
        int exitCode;
    };
    const Damage damages[] = {
        {"bundle cut short", exe.substr(0, exe.size() - 4096), "Error reading asset bundle", 0},
        {"settings cut short", exe.substr(0, header + kOneFileHeaderSize + 2),
         "Failed to load package.json. Check the file is in the same folder as the app.", 1},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        const fs::path program = alone(std::string("damaged-") + (damage.exitCode ? "1" : "0"),
                                       damage.bytes);
        const nlohmann::json report = e2e::ProbeProgram(
            e2e::WinPath(program), {"--timeout", "30000", "--close-when", "visible"}, {}, 60);
        ASSERT_EQ(report["boxes"].size(), 1u) << report.dump();
        EXPECT_EQ(report["boxes"][0]["text"], damage.box);
        EXPECT_EQ(report["exitCode"], damage.exitCode) << report.dump();
    }
}

// `init` into an empty folder, then package: the starter page is served and shown. Into a folder
// with a file: refused, nothing changed.
TEST(Package, InitMakesAnAppThatPackagesAndStarts) {
    const fs::path work = FreshWorkDir("package_init");
    const fs::path app = work / "Star Game";
    fs::create_directory(app);
    ProcessResult run = e2e::RunProcess({Packer().string(), "init", app.string()}, {}, 60);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const fs::path out = work / "dist";
    run = e2e::RunPacker(app, out, {"--host", e2e::ReleaseHost().string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Contains(run.output, "\"Star Game\" version 1.0.0, the host's icon")) << run.output;

    const fs::path transcript = work / "transcript.jsonl";
    const nlohmann::json report = e2e::ProbeProgram(
        e2e::WinPath(out / "WebView2Wrapper.exe"), {"--timeout", "30000", "--close-when", "window"},
        {{"WRAPPER_SUBSTITUTE_TRANSCRIPT", e2e::WinPath(transcript)}}, 60);
    EXPECT_TRUE(report["boxes"].empty()) << report.dump();
    ASSERT_NE(report["window"], nullptr) << report.dump();
    EXPECT_EQ(report["window"]["title"], "Star Game");
    EXPECT_EQ(report["exitCode"], 0);
    std::set<std::string> served;
    for (const nlohmann::json& line : e2e::ReadJsonLines(transcript)) {
        if (line.value("type", "") == "response" && line.value("status", 0) == 200)
            served.insert(line.value("uri", ""));
    }
    EXPECT_TRUE(served.count("https://app.localhost/index.html")) << report.dump();

    WriteFile(work / "mine/notes.txt", "mine");
    run = e2e::RunProcess({Packer().string(), "init", (work / "mine").string()}, {}, 60);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(FilesUnder(work / "mine"), std::set<std::string>{"notes.txt"});
}

TEST(Package, ReplacesEarlierPackagesOnlyAndForceNeverTheAppFolder) {
    const fs::path work = FreshWorkDir("package_replace");
    const fs::path app = work / "app";
    WriteFile(app / "package.json", R"({"name":"replace"})");
    WriteFile(app / "www/index.html", "<p>x</p>");
    const fs::path host = HostCopy(work);
    const std::vector<std::string> hostOption = {"--host", host.string()};
    auto withHost = [&](std::vector<std::string> more) {
        more.insert(more.end(), hostOption.begin(), hostOption.end());
        return more;
    };

    // An earlier package (loose, with zip) is replaced by the new one (bundled, no zip): the
    // loose files and the zip of the earlier one are gone.
    const fs::path out = work / "dist/App";
    ASSERT_EQ(e2e::RunPacker(app, out, withHost({"--loose", "--zip"})).exitCode, 0);
    EXPECT_TRUE(fs::exists(out / "www/index.html"));
    EXPECT_TRUE(fs::exists(work / "dist/App.zip"));
    ProcessResult run = e2e::RunPacker(app, out, withHost({}));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FilesUnder(out),
              (std::set<std::string>{"WebView2Wrapper.exe", "package.json", "www/assets.dat"}));
    EXPECT_FALSE(fs::exists(work / "dist/App.zip")) << "the earlier zip no longer matched";
    EXPECT_EQ(FilesUnder(work / "dist"),
              (std::set<std::string>{"App.package-manifest", "App/WebView2Wrapper.exe",
                                     "App/package.json", "App/www/assets.dat"}))
        << "no staging folder left behind";

    // The executable renamed by hand: the next package replaces it and keeps its name, in the
    // folder, the zip and the version resource; --exe-name chooses another.
    fs::rename(out / "WebView2Wrapper.exe", out / "My Game.exe");
    run = e2e::RunPacker(app, out, withHost({"--zip"}));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Contains(run.output, "keeping the name My Game.exe")) << run.output;
    EXPECT_EQ(FilesUnder(out),
              (std::set<std::string>{"My Game.exe", "package.json", "www/assets.dat"}));
    EXPECT_EQ(ZipEntries(work / "dist/App.zip"),
              (std::set<std::string>{"App/My Game.exe", "App/package.json", "App/www/assets.dat"}));
    EXPECT_TRUE(e2e::ReadFileBytes(out / "My Game.exe") ==
                e2e::HostWithIdentity(host, app, {.exeName = "My Game"}));
    fs::rename(out / "My Game.exe", out / "Again.exe");
    run = e2e::RunPacker(app, out, withHost({"--exe-name", "WebView2Wrapper"}));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FilesUnder(out),
              (std::set<std::string>{"WebView2Wrapper.exe", "package.json", "www/assets.dat"}));
    // Another program in its place is not taken for the renamed host: the package is refused.
    fs::rename(out / "WebView2Wrapper.exe", work / "kept.exe");
    fs::copy_file(e2e::SampleExtension(), out / "Launcher.exe");
    run = e2e::RunPacker(app, out, withHost({}));
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(fs::exists(out / "Launcher.exe"));
    fs::remove(out / "Launcher.exe");
    fs::rename(work / "kept.exe", out / "WebView2Wrapper.exe");

    // A file put into the package afterwards (the vendor's loader) stops a replacement that
    // would delete it, unless forced.
    WriteFile(out / "WebView2Loader.dll", "vendor's loader");
    run = e2e::RunPacker(app, out, withHost({}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.output, "did not contain (WebView2Loader.dll)")) << run.output;
    EXPECT_TRUE(fs::exists(out / "WebView2Loader.dll"));
    ASSERT_EQ(e2e::RunPacker(app, out, withHost({"--force"})).exitCode, 0);
    EXPECT_FALSE(fs::exists(out / "WebView2Loader.dll"));

    // A build tree: an executable of that name but no manifest. Refused and left as it was.
    const fs::path buildTree = work / "build/win";
    WriteFile(buildTree / "WebView2Wrapper.exe", "MZ built");
    WriteFile(buildTree / "build.ninja", "rules");
    run = e2e::RunPacker(app, buildTree, withHost({"--zip"}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.output, "not a package made by wrapper-bundle")) << run.output;
    EXPECT_EQ(FilesUnder(buildTree), (std::set<std::string>{"WebView2Wrapper.exe", "build.ninja"}));
    EXPECT_FALSE(fs::exists(work / "build/win.zip"));
    EXPECT_FALSE(fs::exists(work / "build/win.package-manifest"));
    // A foreign zip beside an output folder is not overwritten either.
    WriteFile(work / "other.zip", "someone's zip");
    run = e2e::RunPacker(app, work / "other", withHost({"--zip"}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.output, "other.zip: exists and was not made")) << run.output;
    EXPECT_EQ(e2e::ReadFileBytes(work / "other.zip"), "someone's zip");
    // With --force it is renamed aside, never deleted, and a line says where it went.
    run = e2e::RunPacker(app, work / "other", withHost({"--zip", "--force"}));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(e2e::ReadFileBytes(work / "other.replaced-1.zip"), "someone's zip");
    EXPECT_TRUE(Contains(run.output, "is now at " + (work / "other.replaced-1.zip").string()))
        << run.output;

    // --force replaces a foreign folder, which is renamed aside, never deleted...
    run = e2e::RunPacker(app, buildTree, withHost({"--force"}));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FilesUnder(buildTree),
              (std::set<std::string>{"WebView2Wrapper.exe", "package.json", "www/assets.dat"}));
    EXPECT_EQ(FilesUnder(work / "build/win.replaced-1"),
              (std::set<std::string>{"WebView2Wrapper.exe", "build.ninja"}));
    EXPECT_TRUE(Contains(Lines(run.output).back(), "is now at " + (work / "build/win.replaced-1").string()))
        << run.output;

    // ...but never the app folder, a folder holding it, a folder inside its www, or the folder
    // the host is packaged from.
    WriteFile(app / "www/sub/page.html", "<p>sub</p>");
    const std::set<std::string> before = FilesUnder(work);
    for (const fs::path& forbidden :
         {app, work, app / "www", app / "www/sub", app / "www/new", host.parent_path()}) {
        SCOPED_TRACE(forbidden);
        run = e2e::RunPacker(app, forbidden, withHost({"--force", "--zip"}));
        EXPECT_EQ(run.exitCode, 1) << run.output;
        EXPECT_TRUE(Contains(run.output, "the output folder")) << run.output;
    }
    EXPECT_EQ(FilesUnder(work), before) << "nothing written";

    // A write that fails (past a file size limit, as on a full disk) names the package or its
    // zip and the system's reason, never the hidden folder it is assembled in; the earlier
    // package and its zip stay as they were.
    const fs::path full = work / "full/App";
    ASSERT_EQ(e2e::RunPacker(app, full, withHost({"--zip"})).exitCode, 0);
    std::string noise(1 << 20, '\0');
    std::uint32_t state = 2463534242u;  // xorshift: bytes no zip can shrink
    for (char& c : noise) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        c = static_cast<char>(state >> 24);
    }
    WriteFile(app / "www/a.bin", noise);
    std::reverse(noise.begin(), noise.end());
    WriteFile(app / "www/b.bin", noise);
    const std::set<std::string> earlier = FilesUnder(work / "full");
    const std::string earlierZip = e2e::ReadFileBytes(work / "full/App.zip");
    struct Limited {
        std::vector<std::string> options;
        std::string says;
    };
    for (const Limited& limited : {Limited{{}, (full / "www/assets.dat").string() + ": write error: File too large"},
                                   Limited{{"--loose", "--zip"}, full.string() + ".zip: cannot be written: File too large"}}) {
        std::vector<std::string> argv = {"bash", "-c", "trap '' XFSZ; ulimit -f 1536; exec \"$@\" 2>&1",
                                         "sh", Packer().string(), "package", app.string(),
                                         full.string()};
        argv.insert(argv.end(), hostOption.begin(), hostOption.end());
        argv.insert(argv.end(), limited.options.begin(), limited.options.end());
        run = e2e::RunProcess(argv, {}, 120);
        EXPECT_EQ(run.exitCode, 1) << run.output;
        EXPECT_TRUE(Contains(run.output, limited.says)) << run.output;
        EXPECT_FALSE(Contains(run.output, ".staging-")) << run.output;
        EXPECT_EQ(FilesUnder(work / "full"), earlier);
        EXPECT_TRUE(e2e::ReadFileBytes(work / "full/App.zip") == earlierZip);
    }
    fs::remove(app / "www/a.bin");
    fs::remove(app / "www/b.bin");
}

// Links in and around the output, and replacements that cannot finish, with both tools: nothing
// reached through a link is deleted, and a replacement that fails leaves the old package whole.
// Under Wine 8 a Unix link to a folder is what Windows programs see as a link: a reparse point
// (FILE_ATTRIBUTE_REPARSE_POINT, though FSCTL_GET_REPARSE_POINT reads no tag), which
// GetFinalPathNameByHandleW resolves; a link to a file looks like a plain file, and
// CreateSymbolicLinkW reports success but makes nothing. So the links here are Unix links.
TEST(Package, BothToolsFollowNoLinkAndKeepTheOldPackageWhole) {
    // What an earlier run stopped half-way left undeletable.
    e2e::RunProcess({"sh", "-c", "chattr -R -i \"$1\" 2>/dev/null", "sh",
                     (e2e::WorkDir() / "package_links").string()},
                    {}, 60);
    const fs::path work = FreshWorkDir("package_links");
    const fs::path host = HostCopy(work);
    const bool windowsPacker = fs::exists(e2e::WindowsPacker());
    EXPECT_TRUE(windowsPacker) << kNoWindowsPacker;
    // chattr +i makes a file or folder that even root cannot delete or rename.
    const auto immutable = [](const fs::path& path, bool on) {
        return e2e::RunProcess({"chattr", on ? "+i" : "-i", path.string()}, {}, 30).exitCode == 0;
    };
    struct Row {
        const char* name;
        std::function<void(const fs::path& dir)> arrange;  // makes dir/app and more
        const char* out;                                   // relative to dir
        std::vector<std::string> options;
        int exitCode;
        const char* says;  // a part of the output; null: no output at all
        std::function<void(const fs::path& dir)> check;
    };
    const auto app = [](const fs::path& dir, const std::string& json) {
        WriteFile(dir / "app/package.json", json);
        WriteFile(dir / "app/www/index.html", "<p>x</p>");
    };
    const auto plainApp = [&](const fs::path& dir) { app(dir, R"({"name":"links"})"); };
    const std::set<std::string> package = {"WebView2Wrapper.exe", "package.json", "www/assets.dat"};
    const std::vector<Row> rows = {
        {"a folder link inside a forced foreign folder",
         [&](const fs::path& dir) {
             plainApp(dir);
             WriteFile(dir / "saves/game.sav", "progress");
             WriteFile(dir / "Out/notes.txt", "mine");
             fs::create_directory_symlink("../saves", dir / "Out/saves");
         },
         "Out", {"--force"}, 0, "is now at",
         [&](const fs::path& dir) {
             EXPECT_EQ(e2e::ReadFileBytes(dir / "saves/game.sav"), "progress");
             EXPECT_EQ(FilesUnder(dir / "Out"), package);
             EXPECT_EQ(FilesUnder(dir / "Out.replaced-1"), std::set<std::string>{"notes.txt"});
             EXPECT_TRUE(fs::is_symlink(dir / "Out.replaced-1/saves"));
         }},
        {"the output is a link to a folder",
         [&](const fs::path& dir) {
             plainApp(dir);
             WriteFile(dir / "target/keep.txt", "kept");
             fs::create_directory_symlink("target", dir / "Out");
         },
         "Out", {"--force"}, 1, "symbolic link",
         [&](const fs::path& dir) {
             EXPECT_EQ(FilesUnder(dir / "target"), std::set<std::string>{"keep.txt"});
         }},
        {"a folder link inside www",
         [&](const fs::path& dir) {
             plainApp(dir);
             WriteFile(dir / "shared/lib.js", "1;");
             fs::create_directory_symlink("../../shared", dir / "app/www/lib");
         },
         "Out", {}, 1, "symbolic link to a folder",
         [&](const fs::path& dir) { EXPECT_FALSE(fs::exists(dir / "Out")); }},
        {"the folder holding the real place of a linked www",
         [&](const fs::path& dir) {
             WriteFile(dir / "app/package.json", R"({"name":"links"})");
             WriteFile(dir / "site/dist/index.html", "<p>web sources</p>");
             fs::create_directory_symlink("../site/dist", dir / "app/www");
         },
         "site", {"--force"}, 1, "which is to be packaged from there",
         [&](const fs::path& dir) {
             EXPECT_EQ(FilesUnder(dir / "site"), std::set<std::string>{"dist/index.html"});
         }},
        {"the folder of the icon",
         [&](const fs::path& dir) {
             app(dir, R"({"name":"links","window":{"icon":"img/icon.png"}})");
             WriteFile(dir / "app/img/icon.png", "icon");
             WriteFile(dir / "app/img/logo-source.psd", "the designer's work");
         },
         "app/img", {"--force"}, 1, "which is to be packaged from there",
         [&](const fs::path& dir) {
             EXPECT_EQ(FilesUnder(dir / "app/img"),
                       (std::set<std::string>{"icon.png", "logo-source.psd"}));
         }},
        {"an earlier package that cannot be moved",
         [&](const fs::path& dir) {
             plainApp(dir);
             ASSERT_EQ(e2e::RunPacker(dir / "app", dir / "Out", {"--host", host.string()}).exitCode, 0);
             ASSERT_TRUE(immutable(dir / "Out", true)) << "chattr +i";
         },
         "Out", {}, 1, "cannot be replaced",
         [&](const fs::path& dir) {
             immutable(dir / "Out", false);
             EXPECT_EQ(FilesUnder(dir / "Out"), package);
             EXPECT_EQ(FilesUnder(dir), (std::set<std::string>{
                 "Out.package-manifest", "Out/WebView2Wrapper.exe", "Out/package.json",
                 "Out/www/assets.dat", "app/package.json", "app/www/index.html"}))
                 << "nothing else left";
             EXPECT_EQ(ParseManifestFiles(dir / "Out.package-manifest"), package);
         }},
        {"an earlier package with a file that cannot be deleted",
         [&](const fs::path& dir) {
             plainApp(dir);
             ASSERT_EQ(e2e::RunPacker(dir / "app", dir / "Out",
                                      {"--host", host.string(), "--loose"}).exitCode, 0);
             ASSERT_TRUE(immutable(dir / "Out/www", true)) << "chattr +i";
         },
         "Out", {}, 0, "could not be deleted entirely",
         [&](const fs::path& dir) {
             immutable(dir / "Out/www", false);
             EXPECT_EQ(FilesUnder(dir / "Out"), package);
             bool oldKept = false;
             for (const auto& entry : fs::directory_iterator(dir)) {
                 if (entry.path().filename().string().rfind(".Out.old-", 0) != 0) continue;
                 immutable(entry.path() / "www", false);
                 oldKept = fs::exists(entry.path() / "www/index.html");
             }
             EXPECT_TRUE(oldKept) << "the old page is kept aside, not lost";
         }},
        {"names that are one on Windows",
         [&](const fs::path& dir) {
             plainApp(dir);
             WriteFile(dir / "app/www/Logo.png", "new");
             WriteFile(dir / "app/www/logo.png", "old");
         },
         "Out", {"--loose"}, 1, "www/Logo.png and www/logo.png: one name on Windows",
         [&](const fs::path& dir) { EXPECT_FALSE(fs::exists(dir / "Out")); }},
        {"an icon path the host cannot open",
         [&](const fs::path& dir) {
             app(dir, R"({"name":"links","window":{"icon":"./img/icon.png"}})");
             WriteFile(dir / "app/img/icon.png", "icon");
         },
         "Out", {}, 1, "which the host cannot open on Windows",
         [&](const fs::path& dir) { EXPECT_FALSE(fs::exists(dir / "Out")); }},
        {"an earlier package named in another letter case",
         [&](const fs::path& dir) {
             plainApp(dir);
             ASSERT_EQ(e2e::RunPacker(dir / "app", dir / "Out", {"--host", host.string()}).exitCode, 0);
         },
         "OUT", {}, 0, "packaged links into",
         [&](const fs::path& dir) { EXPECT_EQ(FilesUnder(dir / "OUT"), package); }},
        {"staging left by a run that was stopped",
         [&](const fs::path& dir) {
             plainApp(dir);
             WriteFile(dir / ".Out.staging-0123456789abcdef/www/assets.dat", "half");
             WriteFile(dir / ".Out.staging-0123456789abcdef.zip.partial", "half");
             WriteFile(dir / ".Out.staging-mine/notes.txt", "not the tool's");
         },
         "Out", {}, 0, "packaged links into",
         [&](const fs::path& dir) {
             EXPECT_FALSE(fs::exists(dir / ".Out.staging-0123456789abcdef"));
             EXPECT_FALSE(fs::exists(dir / ".Out.staging-0123456789abcdef.zip.partial"));
             EXPECT_TRUE(fs::exists(dir / ".Out.staging-mine/notes.txt"));
         }},
        {"warnings silenced by --quiet",
         [&](const fs::path& dir) { app(dir, R"({"name":"a","window":{"colour":1},"main":"x.html"})"); },
         "Out", {"--quiet"}, 0, nullptr,
         [&](const fs::path& dir) { EXPECT_EQ(FilesUnder(dir / "Out"), package); }},
        {"a refusal is said even with --quiet",
         [&](const fs::path& dir) {
             plainApp(dir);
             WriteFile(dir / "app/DI2ZozUzoraru.dll", "not a library");
         },
         "Out", {"--quiet"}, 1, "DI2ZozUzoraru.dll: not an x64 Windows library",
         [&](const fs::path& dir) { EXPECT_FALSE(fs::exists(dir / "Out")); }},
        {"a bundle packed into www earlier",
         [&](const fs::path& dir) {
             plainApp(dir);
             WriteFile(dir / "app/www/assets.dat", "an old bundle");
             WriteFile(dir / "app/www/assets.dat.partial-0123456789abcdef", "half of one");
         },
         "Out", {"--loose"}, 0, "www/assets.dat is left out",
         [&](const fs::path& dir) {
             EXPECT_EQ(FilesUnder(dir / "Out"),
                       (std::set<std::string>{"WebView2Wrapper.exe", "package.json",
                                              "www/index.html"}));
         }},
    };
    for (bool windows : {false, true}) {
        if (windows && !windowsPacker) break;
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (windows ? ", wrapper-bundle.exe" : ""));
            const fs::path dir = work / (windows ? "windows" : "linux") / row.name;
            fs::create_directories(dir);
            row.arrange(dir);
            std::vector<std::string> options = row.options;
            options.insert(options.end(), {"--host", windows ? e2e::WinPath(host) : host.string()});
            const ProcessResult run =
                windows ? e2e::RunWindowsPacker(dir / "app", dir / row.out, options)
                        : e2e::RunPacker(dir / "app", dir / row.out, options);
            EXPECT_EQ(run.exitCode, row.exitCode) << run.output;
            if (row.says == nullptr) {
                EXPECT_EQ(run.output, "");
            } else {
                EXPECT_TRUE(Contains(run.output, row.says)) << run.output;
            }
            row.check(dir);
        }
    }
}

TEST(Package, TestBuildOfTheHostIsRefused) {
    const fs::path work = FreshWorkDir("package_test_build");
    const fs::path app = work / "app";
    WriteFile(app / "package.json", R"({"name":"marker"})");
    WriteFile(app / "www/index.html", "<p>x</p>");

    // A small executable with the marker deep inside, past the first read.
    std::string image = "MZ";
    image += std::string(200000, '\x01');
    image += kTestBuildMarker;
    image += std::string(1000, '\x02');
    WriteFile(work / "hooks/WebView2Wrapper.exe", image);
    std::vector<fs::path> hosts = {work / "hooks/WebView2Wrapper.exe"};
    // The Windows tree is built with the test hooks: once it carries the marker, it is refused.
    const fs::path hooksBuild = e2e::WinBuildDir() / "WebView2Wrapper.exe";
    if (Contains(e2e::ReadFileBytes(hooksBuild), std::string(kTestBuildMarker)))
        hosts.push_back(hooksBuild);
    for (const fs::path& host : hosts) {
        SCOPED_TRACE(host);
        const ProcessResult run =
            e2e::RunPacker(app, work / "out", {"--host", host.string(), "--zip"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(Contains(run.output, "this executable is a test build")) << run.output;
        EXPECT_FALSE(fs::exists(work / "out"));
        EXPECT_FALSE(fs::exists(work / "out.zip"));
    }

    // Something that is not an executable is not shipped as one.
    WriteFile(work / "text/WebView2Wrapper.exe", "just text");
    const ProcessResult text =
        e2e::RunPacker(app, work / "out", {"--host", (work / "text/WebView2Wrapper.exe").string()});
    EXPECT_EQ(text.exitCode, 1);
    EXPECT_TRUE(Contains(text.output, "not a Windows executable")) << text.output;
}

TEST(Package, RefusesWhatTheHostWouldRefuseAndWritesNothing) {
    struct Case {
        const char* name;
        const char* packageJson;  // null: no package.json
        const char* says;
    };
    const Case cases[] = {
        {"no_package_json", nullptr, "package.json: not found"},
        {"empty_file", "", "the file is empty"},
        {"empty_name", R"({"name":""})", "\"name\" is missing, empty or not a string"},
        {"comment", "{\"name\":\"x\" /* no */}", "not valid JSON"},
        {"capitalised_mode", R"({"name":"x","settings":{"distribution-mode":"Fixed"}})",
         "\"settings.distribution-mode\" is \"Fixed\"; it must be \"evergreen\" or \"fixed\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path work = FreshWorkDir(std::string("package_refused_") + c.name);
        const fs::path app = work / "app";
        if (c.packageJson != nullptr) WriteFile(app / "package.json", c.packageJson);
        WriteFile(app / "www/index.html", "<p>x</p>");
        const fs::path host = HostCopy(work);
        const std::set<std::string> before = FilesUnder(work);

        const ProcessResult run =
            e2e::RunPacker(app, work / "out", {"--host", host.string(), "--zip"});
        EXPECT_EQ(run.exitCode, 1) << run.output;
        EXPECT_TRUE(Contains(run.output, c.says)) << run.output;
        EXPECT_EQ(FilesUnder(work), before) << "nothing written";
    }
}

// The table of settings files that the packager must judge exactly as the host's start-up does.
struct SettingsCase {
    const char* name;
    std::string text;
    bool accepted;
    const char* rule;  // what the packager's refusal names
};

std::vector<SettingsCase> SettingsCases() {
    return {
        {"minimal", R"({"name":"a"})", true, ""},
        {"byte_order_mark", "\xEF\xBB\xBF{\"name\":\"a\"}", true, ""},
        {"trailing_zero_byte", std::string("{\"name\":\"a\"}\0", 13), true, ""},
        {"zero_byte_inside", std::string("{\"name\":\0\"a\"}", 13), false, "not valid JSON"},
        {"leading_zero_byte", std::string("\0{\"name\":\"a\"}", 13), false, "not valid JSON"},
        {"invalid_utf8_in_string", "{\"name\":\"caf\xE9\"}", false, "not valid JSON"},
        {"invalid_utf8_after", "{\"name\":\"a\"}\xFF", false, "not valid JSON"},
        {"utf8_name", "{\"name\":\"caf\xC3\xA9 \xE2\x82\xAC\"}", true, ""},
        {"nan", R"({"name":"a","window":{"width":NaN}})", false, "not valid JSON"},
        {"infinity", R"({"name":"a","window":{"width":Infinity}})", false, "not valid JSON"},
        {"huge_number", R"({"name":"a","window":{"width":1e400}})", false, "not valid JSON"},
        {"lone_surrogate", R"({"name":"\ud800"})", false, "not valid JSON"},
        {"surrogate_pair", R"({"name":"\ud83d\ude00"})", true, ""},
        {"trailing_comma", R"({"name":"a",})", false, "not valid JSON"},
        {"misspelt_mode", R"({"name":"a","settings":{"hosting-mode":"Windowed"}})", false,
         "\"settings.hosting-mode\""},
        {"mode_of_wrong_type", R"({"name":"a","settings":{"content-mode":1}})", true, ""},
        {"empty_name", R"({"name":""})", false, "\"name\""},
        {"name_not_string", R"({"name":7})", false, "\"name\""},
        {"duplicate_name_last_empty", R"({"name":"a","name":""})", false, "\"name\""},
        {"name_parent_folder", R"({"name":".."})", false, "\"name\" is \"..\", which stands for"},
        {"name_device", R"({"name":"Aux.game"})", false, "is the device name AUX on Windows"},
        {"root_array", R"([{"name":"a"}])", false, "\"name\""},
        {"wrong_types", R"({"name":"a","window":{"width":"800","resizable":0},"settings":5})", true,
         ""},
        {"empty_file", "", false, "the file is empty"},
        {"headers",
         R"({"name":"a","settings":{"headers":{"cross-origin-opener-policy":"same-origin",)"
         R"("Cross-Origin-Embedder-Policy":"require-corp"}}})",
         true, ""},
        {"header_not_allowed", R"({"name":"a","settings":{"headers":{"X-Frame-Options":"DENY"}}})",
         false, "\"settings.headers.X-Frame-Options\" is not a header the host may send"},
        {"header_with_line_break",
         R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin":"*\r\nSet-Cookie: a=b"}}})",
         false, "\"settings.headers.Timing-Allow-Origin\" holds a line break"},
        {"header_too_long",
         R"({"name":"a","settings":{"headers":{"Content-Security-Policy":")" +
             std::string(4097, 'a') + R"("}}})",
         false, "is 4097 bytes long"},
        {"headers_not_object", R"({"name":"a","settings":{"headers":["COOP"]}})", false,
         "\"settings.headers\" is not an object"},
    };
}

TEST(Package, AcceptsExactlyWhatTheHostStartsWith) {
    const fs::path work = FreshWorkDir("package_agreement");
    const fs::path host = HostCopy(work);
    const bool windowsPacker = fs::exists(e2e::WindowsPacker());
    for (const SettingsCase& c : SettingsCases()) {
        SCOPED_TRACE(c.name);
        // The host, started in a folder with that file.
        e2e::AppFolder folder(std::string("agreement_") + c.name, e2e::Loader::Minimal);
        folder.WritePackageJson(c.text);
        const nlohmann::json report =
            folder.Probe({"--timeout", "20000", "--close-when", "window"});
        const bool hostStarted = report["boxes"].empty() && report["window"] != nullptr;
        EXPECT_EQ(hostStarted, c.accepted) << report.dump();

        // The packagers, on an app folder with the same file.
        const fs::path app = work / c.name;
        WriteFile(app / "package.json", c.text);
        WriteFile(app / "www/index.html", "<p>x</p>");
        const ProcessResult native =
            e2e::RunPacker(app, work / "out" / c.name, {"--host", host.string()});
        EXPECT_EQ(native.exitCode == 0, hostStarted) << native.output;
        if (!c.accepted) EXPECT_TRUE(Contains(native.output, c.rule)) << native.output;
        if (windowsPacker) {
            const ProcessResult windows = e2e::RunWindowsPacker(app, work / "out-windows" / c.name,
                                                                {"--host", e2e::WinPath(host)});
            EXPECT_EQ(windows.exitCode == 0, hostStarted) << windows.output;
            if (!c.accepted) EXPECT_TRUE(Contains(windows.output, c.rule)) << windows.output;
        }
    }
    EXPECT_TRUE(windowsPacker) << kNoWindowsPacker;
}

TEST(Package, WindowsToolMakesTheSamePackageAsTheLinuxTool) {
    ASSERT_TRUE(fs::exists(e2e::WindowsPacker())) << kNoWindowsPacker;
    const fs::path work = FreshWorkDir("package_windows");
    const fs::path app = work / "caf\xC3\xA9 app";
    WriteFile(app / "package.json",
              "{\"name\":\"caf\xC3\xA9\",\"window\":{\"icon\":\"img\\\\ic\xC3\xB4n.png\"},"
              "\"settings\":{\"distribution-mode\":\"fixed\"}}");
    WriteFile(app / "img/ic\xC3\xB4n.png", SolidPng(40, 30, 0x336699));
    fs::create_directories(app);
    fs::copy_file(e2e::SampleExtension(), app / "DI2ZozUzoraru.dll");
    WriteFile(app / "webview2/msedgewebview2.exe", "runtime");
    WriteFile(app / "www/index.html", "<p>x</p>");
    WriteFile(app / "www/\xE2\x82\xAC/\xE6\x97\xA5\xE6\x9C\xAC.js", "// euro, japan");
    std::string big(3 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 5);
    WriteFile(app / "www/media/big.bin", big);
    const fs::path host = HostCopy(work);
    WriteFile(work / "notices.txt", "notices");

    for (const std::string layout : {"bundle", "loose", "one-file"}) {
        SCOPED_TRACE(layout);
        const bool loose = layout == "loose", oneFile = layout == "one-file";
        // Same folder name in two places: the name is part of the zip.
        const fs::path linuxOut = work / ("linux-" + layout) / "Caf\xC3\xA9";
        const fs::path windowsOut = work / ("windows-" + layout) / "Caf\xC3\xA9";
        // The app's identity too: its PNG icon scaled, a name, version and company of its own.
        const std::vector<std::string> identity = {"--exe-name", "Caf\xC3\xA9 Spiel", "--version",
                                                   "0.9.1", "--company", "Caf\xC3\xA9 GmbH"};
        std::vector<std::string> linuxOptions = {"--zip", "--host", host.string(), "--notices",
                                                 (work / "notices.txt").string()};
        std::vector<std::string> windowsOptions = {"--zip", "--host", e2e::WinPath(host),
                                                   "--notices", e2e::WinPath(work / "notices.txt")};
        linuxOptions.insert(linuxOptions.end(), identity.begin(), identity.end());
        windowsOptions.insert(windowsOptions.end(), identity.begin(), identity.end());
        if (loose || oneFile) {
            linuxOptions.push_back("--" + layout);
            windowsOptions.push_back("--" + layout);
        }
        const ProcessResult onLinux = e2e::RunPacker(app, linuxOut, linuxOptions);
        ASSERT_EQ(onLinux.exitCode, 0) << onLinux.output;
        const ProcessResult onWindows = e2e::RunWindowsPacker(app, windowsOut, windowsOptions);
        ASSERT_EQ(onWindows.exitCode, 0) << onWindows.output;

        ExpectSameFolders(linuxOut, windowsOut);
        if (oneFile) {
            // The executable alone: settings and bundle inside, the rest left to the user.
            EXPECT_EQ(FilesUnder(linuxOut), std::set<std::string>{"Caf\xC3\xA9 Spiel.exe"});
            EXPECT_TRUE(Contains(onLinux.output, "DI2ZozUzoraru.dll is not carried")) << onLinux.output;
        } else {
            EXPECT_TRUE(FilesUnder(linuxOut).count("img/ic\xC3\xB4n.png")) << "icon at its path";
            EXPECT_TRUE(FilesUnder(linuxOut).count("Caf\xC3\xA9 Spiel.exe"));
        }
        for (const char* suffix : {".zip", ".package-manifest"}) {
            fs::path linuxFile = linuxOut, windowsFile = windowsOut;
            linuxFile += suffix;
            windowsFile += suffix;
            EXPECT_TRUE(e2e::ReadFileBytes(linuxFile) == e2e::ReadFileBytes(windowsFile))
                << suffix << " differs";
        }
        fs::path zip = windowsOut;
        zip += ".zip";
        Unzip(zip, work / "unzipped");
        ExpectSameFolders(linuxOut, work / "unzipped/Caf\xC3\xA9");

        // Packaging again over its own package works under Windows too.
        const ProcessResult again = e2e::RunWindowsPacker(app, windowsOut, windowsOptions);
        EXPECT_EQ(again.exitCode, 0) << again.output;
    }

    // The Windows tool refuses the app folder, however it is spelt, and a test build.
    for (const std::string& out :
         {e2e::WinPath(app), e2e::WinPath(app) + "\\www\\x", e2e::WinPath(app) + "\\"}) {
        const std::vector<std::string> argv = {e2e::WineBinary(),
                                               e2e::WinPath(e2e::WindowsPacker()),
                                               "package",
                                               e2e::WinPath(app),
                                               out,
                                               "--force",
                                               "--host",
                                               e2e::WinPath(host)};
        const ProcessResult run = e2e::RunProcess(argv, {{"WINEDEBUG", "-all"}}, 120);
        EXPECT_EQ(run.exitCode, 1) << out;
    }
    // On a console (here Wine's, on a terminal that script(1) provides) names outside the code
    // page come out as they are.
    const std::string missing = e2e::WinPath(work / "caf\xC3\xA9-\xE6\x97\xA5\xE6\x9C\xAC");
    const ProcessResult console = e2e::RunProcess(
        {"script", "-qc",
         "stty cols 4000; '" + e2e::WineBinary() + "' '" + e2e::WinPath(e2e::WindowsPacker()) +
             "' package '" +
             missing + "' out",
         "/dev/null"},
        {{"WINEDEBUG", "-all"}, {"LANG", "C.UTF-8"}}, 120);
    EXPECT_TRUE(Contains(console.output, missing + ": not a folder")) << console.output;

    WriteFile(work / "hooks/WebView2Wrapper.exe", "MZ" + std::string(kTestBuildMarker));
    const ProcessResult hooks = e2e::RunWindowsPacker(
        app, work / "hooks-out", {"--host", e2e::WinPath(work / "hooks/WebView2Wrapper.exe")});
    EXPECT_EQ(hooks.exitCode, 1);
    EXPECT_TRUE(Contains(hooks.output, "this executable is a test build")) << hooks.output;
}

}  // namespace
