// The portable parts of `wrapper-bundle package`: its command line, the test-build marker scan,
// the manifest, and the decisions about the output folder.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "packager/app_packager.h"
#include "packager/bundle_tool.h"
#include "packager/package_checks.h"
#include "packager/package_output.h"
#include "config/settings_check.h"
#include "temp_files.h"

namespace fs = std::filesystem;

namespace {

using unit::TempDir;
using unit::WriteFile;

TEST(PackageArguments, AcceptedCommandLines) {
    struct Vector {
        std::vector<std::string> args;
        PackageOptions expected;
    };
    const std::vector<Vector> vectors = {
        {{"app", "out"}, {"app", "out", "", "", "", false, false, false, false, false, {}}},
        {{"--zip", "app", "--loose", "out", "--force", "--quiet"},
         {"app", "out", "", "", "", true, true, true, false, true, {}}},
        {{"app", "out", "--host", "h.exe", "--extension=e.dll", "--notices", "n.txt"},
         {"app", "out", "h.exe", "e.dll", "n.txt", false, false, false, false, false, {}}},
        {{"--host=C:\\x y\\h.exe", "app", "out"},
         {"app", "out", "C:\\x y\\h.exe", "", "", false, false, false, false, false, {}}},
        {{"app", "--one-file", "out", "--zip"},
         {"app", "out", "", "", "", false, false, true, true, false, {}}},
        // After "--" everything is a folder, even what looks like an option.
        {{"--zip", "--", "--loose", "-"},
         {"--loose", "-", "", "", "", false, false, true, false, false, {}}},
        {{"\xC3\xA9 app", "out/\xE2\x82\xAC"},
         {"\xC3\xA9 app", "out/\xE2\x82\xAC", "", "", "", false, false, false, false, false, {}}},
        {{"app", "out", "--exe-name", "My Game", "--icon=i.png", "--version", "1.2.3-rc.1",
          "--product-name", "P", "--description=D", "--company", "C", "--copyright", "(c) C"},
         {"app", "out", "", "", "", false, false, false, false, false,
          {"My Game", "i.png", "1.2.3-rc.1", "P", "D", "C", "(c) C"}}},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(::testing::PrintToString(v.args));
        PackageOptions options;
        ASSERT_EQ(ParsePackageArguments(v.args, options), "");
        EXPECT_EQ(options.app, v.expected.app);
        EXPECT_EQ(options.out, v.expected.out);
        EXPECT_EQ(options.host, v.expected.host);
        EXPECT_EQ(options.extension, v.expected.extension);
        EXPECT_EQ(options.notices, v.expected.notices);
        EXPECT_EQ(options.loose, v.expected.loose);
        EXPECT_EQ(options.force, v.expected.force);
        EXPECT_EQ(options.zip, v.expected.zip);
        EXPECT_EQ(options.oneFile, v.expected.oneFile);
        EXPECT_EQ(options.quiet, v.expected.quiet);
        EXPECT_TRUE(options.identity == v.expected.identity);
    }
}

TEST(PackageArguments, RefusedCommandLines) {
    struct Vector {
        std::vector<std::string> args;
        std::string error;
    };
    const std::vector<Vector> vectors = {
        {{}, "package needs APP_DIR and OUT_DIR"},
        {{"app"}, "package needs APP_DIR and OUT_DIR"},
        {{"app", "out", "third"}, "package needs APP_DIR and OUT_DIR"},
        {{"app", ""}, "APP_DIR and OUT_DIR may not be empty"},
        {{"app", "out", "--host"}, "--host needs a path"},
        {{"app", "out", "--host="}, "--host needs a path"},
        {{"app", "out", "--host", "a", "--host", "b"}, "--host given twice"},
        {{"app", "out", "--extension=a", "--extension=b"}, "--extension given twice"},
        // The loader is inside the host: the options that named one are gone.
        {{"app", "out", "--loader", "l.dll"}, "unknown option --loader"},
        {{"--no-loader", "app", "out"}, "unknown option --no-loader"},
        {{"app", "out", "--one-file=yes"}, "unknown option --one-file=yes"},
        {{"--loose", "app", "out", "--one-file"}, "--one-file and --loose together"},
        {{"app", "out", "--no-zip"}, "unknown option --no-zip"},
        {{"app", "out", "--zip=yes"}, "unknown option --zip=yes"},
        {{"app", "out", "--Loose"}, "unknown option --Loose"},
        {{"app", "out", "--icon"}, "--icon needs a path"},
        {{"app", "out", "--version="}, "--version needs a version"},
        {{"app", "out", "--company", "a", "--company", "b"}, "--company given twice"},
        {{"app", "out", "--version", "1.x"},
         "--version 1.x: not a version like 1.2.3 (up to four numbers of at most 65535, "
         "optionally followed by -text)"},
        {{"app", "out", "--exe-name", "a/b"},
         "--exe-name a/b: a file name may not contain < > : \" / \\ | ? * or control characters"},
        {{"app", "out", "--exe-name=com1.exe"},
         "--exe-name com1.exe: \"com1\" is the name of a Windows device"},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(::testing::PrintToString(v.args));
        PackageOptions options;
        EXPECT_EQ(ParsePackageArguments(v.args, options), v.error);
    }
}

TEST(PackageArguments, HelpAndUsageErrorsOfTheCommand) {
    struct Vector {
        std::vector<std::string> args;
        int code;
        const char* out;  // a part of the standard output, or ""
        const char* err;  // a part of the error output, or ""
    };
    const std::vector<Vector> vectors = {
        {{"package", "--help"}, 0, "usage: wrapper-bundle package APP_DIR OUT_DIR", ""},
        {{"package", "app", "-h"}, 0, "--extension DLL", ""},
        {{"package", "-h"}, 0, "Sign the packaged executable after packaging", ""},
        {{"package"}, 2, "", "wrapper-bundle: package needs APP_DIR and OUT_DIR\nusage:"},
        {{"package", "a", "b", "--zap"}, 2, "", "unknown option --zap"},
        {{"--help"}, 0, "wrapper-bundle package APP_DIR OUT_DIR", ""},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(::testing::PrintToString(v.args));
        std::ostringstream out, err;
        EXPECT_EQ(RunBundleTool(v.args, out, err), v.code);
        EXPECT_NE(out.str().find(v.out), std::string::npos) << out.str();
        EXPECT_NE(err.str().find(v.err), std::string::npos) << err.str();
        if (v.code == 0) EXPECT_EQ(err.str(), "");
    }
}

TEST(PackageMarker, FoundAnywhereWhateverTheReadSize) {
    TempDir tmp;
    const std::string marker = "WRAPPER-TEST-HOOKS-BUILD";
    const std::string filler(1000, 'x');
    struct Vector {
        const char* name;
        std::string content;
        bool found;
    };
    const std::vector<Vector> vectors = {
        {"empty", "", false},
        {"alone", marker, true},
        {"start", marker + filler, true},
        {"end", filler + marker, true},
        {"middle", filler + marker + filler, true},
        {"prefix only at the end", filler + marker.substr(0, marker.size() - 1), false},
        {"cut in two", filler + marker.substr(0, 10) + "|" + marker.substr(10), false},
        {"other case", filler + "wrapper-test-hooks-build", false},
        {"after a zero byte", std::string(5, '\0') + filler + marker, true},
    };
    for (const Vector& v : vectors) {
        WriteFile(tmp / "exe", v.content);
        // Read sizes of 1, around the marker's length and past the file, so that the marker
        // straddles reads at every offset.
        for (std::size_t chunk : {std::size_t{1}, std::size_t{7}, marker.size() - 1, marker.size(),
                                  marker.size() + 1, std::size_t{999}, std::size_t{1 << 16}}) {
            SCOPED_TRACE(std::string(v.name) + ", chunk " + std::to_string(chunk));
            EXPECT_EQ(FileContains(tmp / "exe", marker, chunk), v.found);
        }
    }
    EXPECT_FALSE(FileContains(tmp / "missing", marker));
}

TEST(PackageLoader, OnlyAnX64ImageIsTakenForTheLoader) {
    // A DOS header whose e_lfanew points at a PE header with the given machine.
    const auto image = [](std::uint16_t machine, std::uint32_t headerOffset = 0x80) {
        std::string bytes(headerOffset + 24, '\0');
        bytes[0] = 'M';
        bytes[1] = 'Z';
        for (int i = 0; i < 4; ++i) bytes[60 + i] = static_cast<char>(headerOffset >> (8 * i));
        bytes.replace(headerOffset, 4, std::string("PE\0\0", 4));
        bytes[headerOffset + 4] = static_cast<char>(machine & 0xFF);
        bytes[headerOffset + 5] = static_cast<char>(machine >> 8);
        return bytes;
    };
    struct Vector {
        const char* name;
        std::string bytes;
        bool x64;
    };
    std::string noSignature = image(0x8664);
    noSignature[0x81] = 'X';
    const std::vector<Vector> vectors = {
        {"x64", image(0x8664), true},
        {"x64, header far in", image(0x8664, 0x400), true},
        {"x86", image(0x014C), false},
        {"arm64", image(0xAA64), false},
        {"no PE signature", noSignature, false},
        {"header past the end", image(0x8664).substr(0, 0x82), false},
        {"DOS header only", std::string("MZ") + std::string(30, '\0'), false},
        {"text", "not a library at all, just some text of more than sixty-four bytes in length",
         false},
        {"empty", "", false},
    };
    TempDir tmp;
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.name);
        const auto path = tmp.path() / "WebView2Loader.dll";
        WriteFile(path, v.bytes);
        EXPECT_EQ(IsX64PortableExecutable(path), v.x64);
    }
    EXPECT_FALSE(IsX64PortableExecutable(tmp.path() / "missing.dll"));
}

TEST(PackageManifest, RoundTripAndForeignTexts) {
    const PackageManifest manifest{"My \xC3\xA9 App",
                                   {"WebView2Wrapper.exe", "www/a\nb.js", "www/\"q\".txt"},
                                   "My \xC3\xA9 App.zip"};
    const std::optional<PackageManifest> back =
        ParsePackageManifest(EncodePackageManifest(manifest));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->folder, manifest.folder);
    EXPECT_EQ(back->files, manifest.files);
    EXPECT_EQ(back->zip, manifest.zip);

    const char* foreign[] = {
        "",
        "not json",
        "[]",
        R"({"format":"other","version":1,"folder":"a","files":[],"zip":""})",
        R"({"format":"wrapper-bundle package","version":2,"folder":"a","files":[],"zip":""})",
        R"({"format":"wrapper-bundle package","version":1,"folder":"","files":[],"zip":""})",
        R"({"format":"wrapper-bundle package","version":1,"folder":"a","files":[1],"zip":""})",
        R"({"format":"wrapper-bundle package","version":1,"folder":"a","files":{},"zip":""})",
        R"({"format":"wrapper-bundle package","version":1,"folder":"a","files":[]})",
        // Names that would lead out of the folder when its files are deleted.
        R"({"format":"wrapper-bundle package","version":1,"folder":"a","files":["../x"],"zip":""})",
        R"({"format":"wrapper-bundle package","version":1,"folder":"a","files":["www/../../x"],"zip":""})",
        R"({"format":"wrapper-bundle package","version":1,"folder":"a","files":["/etc/x"],"zip":""})",
        R"({"format":"wrapper-bundle package","version":1,"folder":"a","files":["..\\x"],"zip":""})",
        R"({"format":"wrapper-bundle package","version":1,"folder":"a","files":["C:x"],"zip":""})",
        R"({"format":"wrapper-bundle package","version":1,"folder":"a","files":["a//b"],"zip":""})",
        R"({"format":"wrapper-bundle package","version":1,"folder":"a","files":["./a"],"zip":""})",
        R"({"format":"wrapper-bundle package","version":1,"folder":"a","files":[""],"zip":""})",
    };
    for (const char* text : foreign) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParsePackageManifest(text).has_value());
    }
}

TEST(PackageOutput, RefusalsByState) {
    using Kind = OutputState::Kind;
    using Zip = OutputState::ZipKind;
    const PackageManifest earlier{"out", {"WebView2Wrapper.exe", "www/assets.dat"}, "out.zip"};
    const PackageManifest earlierWithoutZip{"out", {"WebView2Wrapper.exe"}, ""};
    struct Vector {
        const char* name;
        OutputState state;
        bool zip;
        const char* refusal;        // a part of the refusal without --force, or "" for none
        const char* forcedRefusal;  // likewise with --force
    };
    const std::vector<Vector> vectors = {
        {"missing", {Kind::Missing, {}, std::nullopt, Zip::Missing}, true, "", ""},
        {"empty folder", {Kind::Folder, {}, std::nullopt, Zip::Missing}, true, "", ""},
        {"earlier package",
         {Kind::Folder, {"WebView2Wrapper.exe", "www/assets.dat"}, earlier, Zip::File},
         true,
         "",
         ""},
        {"earlier package missing a file",
         {Kind::Folder, {"www/assets.dat"}, earlier, Zip::File},
         true,
         "",
         ""},
        {"build tree",
         {Kind::Folder, {"WebView2Wrapper.exe", "build.ninja"}, std::nullopt, Zip::Missing},
         true,
         "not a package made by wrapper-bundle",
         ""},
        {"earlier package with a foreign file",
         {Kind::Folder, {"WebView2Loader.dll", "WebView2Wrapper.exe"}, earlier, Zip::File},
         true,
         "did not contain (WebView2Loader.dll)",
         ""},
        {"link",
         {Kind::Link, {}, std::nullopt, Zip::Missing},
         true,
         "symbolic link",
         "symbolic link"},
        {"file",
         {Kind::Other, {}, std::nullopt, Zip::Missing},
         true,
         "not a folder",
         "not a folder"},
        {"foreign zip",
         {Kind::Missing, {}, std::nullopt, Zip::File},
         true,
         "out.zip: exists and was not made by wrapper-bundle",
         ""},
        {"foreign zip, no zip asked", {Kind::Missing, {}, std::nullopt, Zip::File}, false, "", ""},
        {"zip of a package made without one",
         {Kind::Folder, {}, earlierWithoutZip, Zip::File},
         true,
         "out.zip: exists and was not made",
         ""},
        {"zip is a folder",
         {Kind::Missing, {}, std::nullopt, Zip::Other},
         true,
         "out.zip: exists and is not a file",
         "out.zip: exists and is not a file"},
    };
    for (const Vector& v : vectors) {
        for (bool force : {false, true}) {
            SCOPED_TRACE(std::string(v.name) + (force ? ", forced" : ""));
            const std::string refusal = OutputRefusal(v.state, "out", force, v.zip);
            const std::string expected = force ? v.forcedRefusal : v.refusal;
            if (expected.empty()) {
                EXPECT_EQ(refusal, "");
            } else {
                EXPECT_NE(refusal.find(expected), std::string::npos) << refusal;
                EXPECT_EQ(refusal.rfind("out", 0), 0u) << "names the folder: " << refusal;
            }
        }
    }
}

TEST(PackageOutput, StateReadFromDisk) {
    TempDir tmp;
    const fs::path out = tmp / "out";
    EXPECT_EQ(ReadOutputState(out).kind, OutputState::Kind::Missing);

    WriteFile(out / "WebView2Wrapper.exe", "MZ");
    WriteFile(out / "www/assets.dat", "bundle");
    fs::create_directories(out / "empty/inner");
    fs::create_directory_symlink(tmp / "elsewhere", out / "link");
    OutputState state = ReadOutputState(out);
    EXPECT_EQ(state.kind, OutputState::Kind::Folder);
    EXPECT_EQ(state.entries,
              (std::vector<std::string>{"WebView2Wrapper.exe", "link", "www/assets.dat"}));
    EXPECT_FALSE(state.manifest.has_value());
    EXPECT_EQ(state.zip, OutputState::ZipKind::Missing);

    WriteFile(ManifestPathFor(out), EncodePackageManifest({"out", {"x"}, "out.zip"}));
    WriteFile(ZipPathFor(out), "PK");
    state = ReadOutputState(out);
    ASSERT_TRUE(state.manifest.has_value());
    EXPECT_EQ(state.manifest->files, std::vector<std::string>{"x"});
    EXPECT_EQ(state.zip, OutputState::ZipKind::File);

    // A manifest written for another folder name does not count.
    WriteFile(ManifestPathFor(out), EncodePackageManifest({"other", {"x"}, ""}));
    EXPECT_FALSE(ReadOutputState(out).manifest.has_value());

    // A link to a folder inside is an entry of its own and is not entered.
    WriteFile(tmp / "saves/game.sav", "progress");
    fs::create_directory_symlink(tmp / "saves", out / "saves");
    EXPECT_EQ(ReadOutputState(out).entries,
              (std::vector<std::string>{"WebView2Wrapper.exe", "link", "saves", "www/assets.dat"}));
    // Deleting its own files goes through no link, and leaves what it did not list.
    WriteFile(out / "www/notes.txt", "not the tool's");
    EXPECT_EQ(RemoveOwnFiles(out, {"WebView2Wrapper.exe", "saves/game.sav", "www/assets.dat",
                                   "never/written.txt"}),
              std::vector<std::string>{"saves/game.sav"});
    EXPECT_EQ(ListEntries(out), (std::vector<std::string>{"link", "saves", "www/notes.txt"}));
    EXPECT_EQ(ListEntries(tmp / "saves"), std::vector<std::string>{"game.sav"});
    EXPECT_EQ(ReplacedName(out), tmp / "out.replaced-1");
    fs::create_directory(tmp / "out.replaced-1");
    EXPECT_EQ(ReplacedName(out), tmp / "out.replaced-2");
    EXPECT_EQ(ReplacedName(out, ".zip"), tmp / "out.replaced-1.zip");

    fs::create_directory_symlink(out, tmp / "alias");
    EXPECT_EQ(ReadOutputState(tmp / "alias").kind, OutputState::Kind::Link);
    WriteFile(tmp / "plain", "text");
    EXPECT_EQ(ReadOutputState(tmp / "plain").kind, OutputState::Kind::Other);
}

TEST(PackageOutput, PlacesNeverWrittenEvenWithForce) {
    TempDir tmp;
    const fs::path app = tmp / "apps/game";
    WriteFile(app / "package.json", "{}");
    WriteFile(app / "www/index.html", "x");
    WriteFile(app / "webview2/runtime.exe", "x");
    WriteFile(tmp / "tools/WebView2Wrapper.exe", "MZ");
    WriteFile(app / "img/icon.png", "x");
    WriteFile(tmp / "site/dist/index.html", "x");
    fs::create_directory_symlink(app, tmp / "game-link");
    fs::create_directory_symlink(tmp / "site/dist", tmp / "desktop-www");
    // The icon, and a www that is a link to where the web sources really are.
    const std::vector<fs::path> inputs = {tmp / "tools/WebView2Wrapper.exe", fs::path(),
                                          app / "img/icon.png", tmp / "desktop-www"};
    const char* home = std::getenv("HOME");

    struct Vector {
        fs::path out;
        const char* reason;  // a part of the reason, or "" when allowed
    };
    const std::vector<Vector> vectors = {
        {app, "app folder"},
        {app / ".", "app folder"},
        {tmp / "apps", "app folder or hold it"},
        {tmp.path(), "app folder or hold it"},
        {tmp / "game-link", "app folder"},
        {tmp / "game-link/www/out", "www folder"},
        {app / "www", "www folder"},
        {app / "www/sub/out", "www folder"},
        {app / "www/../www/new", "www folder"},
        {app / "webview2/out", "webview2 runtime folder"},
        {tmp / "tools", "which is to be packaged from there"},
        {app / "img", "img/icon.png, which is to be packaged from there"},
        {tmp / "site", "desktop-www, which is to be packaged from there"},
        {tmp / "site/dist", "desktop-www, which is to be packaged from there"},
        {home != nullptr ? fs::path(home) : fs::path("/root"), "home folder"},
        {fs::current_path(), "the current folder"},
        {fs::current_path().parent_path(), "the current folder"},
        {"/", "root"},
        {"/usr", "the system folder /"},
        {"/home", "system folder /home"},
        {app / "img/sub", ""},
        {tmp / "site/other", ""},
        {app / "dist", ""},
        {tmp / "apps/game-dist", ""},
        {tmp / "apps/gam", ""},
        {tmp / "apps/game/wwwx", ""},
        {tmp / "out", ""},
    };
    // The home, current and system folders may also hold this test's folder (a checkout or a
    // temporary folder below them): then any of their reasons may come first.
    const auto holdsApp = [&](const fs::path& folder) {
        const fs::path inside = fs::weakly_canonical(app), outer = fs::weakly_canonical(folder);
        return std::mismatch(outer.begin(), outer.end(), inside.begin(), inside.end()).first ==
               outer.end();
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.out.string());
        const std::string reason = ForbiddenOutputReason(v.out, app, inputs);
        if (std::string(v.reason).empty()) {
            EXPECT_EQ(reason, "");
        } else if (holdsApp(v.out)) {
            EXPECT_NE(reason, "");
        } else {
            EXPECT_NE(reason.find(v.reason), std::string::npos) << reason;
        }
    }
}

TEST(PackageSettings, WarnsWhereTheHostWouldSilentlyTakeADefault) {
    struct Vector {
        const char* text;
        std::vector<const char*> warnings;  // a part of each warning, in order
    };
    const char* devtools = "\"settings.enable-devtools\" is on";
    const std::vector<Vector> vectors = {
        {R"({"name":"a","settings":{"enable-devtools":false}})", {}},
        {"\xEF\xBB\xBF{\"name\":\"a\",\"settings\":{\"enable-devtools\":false},\"extra\":1}", {}},
        {R"({"name":"a"})", {devtools}},
        {R"({"name":"a","window":{"width":"800","colour":"red","resizable":0}})",
         {"\"window.colour\" is not a setting the host knows; it is ignored",
          "\"window.resizable\" is not true or false; the host takes its default",
          "\"window.width\" is not a number; the host takes its default", devtools}},
        {R"({"name":"a","settings":{"content-mode":1,"enable-devtools":"no"}})",
         {"\"settings.content-mode\" is not a string",
          "\"settings.enable-devtools\" is not true or false", devtools}},
        {R"({"name":"a","messages":{"install":"x"},"settings":5,"main":7})",
         {"\"main\" is not a string", "\"settings\" is not an object",
          "\"messages.install\" is not a setting the host knows", devtools}},
        {R"({"name":"a","settings":{"enable-devtools":false,
                                    "headers":{"Cross-Origin-Opener-Policy":"same-origin"}}})",
         {}},
        {R"({"name":"a","settings":{"enable-devtools":false,"content-mode":"remote",
                                    "headers":{"Cross-Origin-Opener-Policy":"same-origin"}}})",
         {"\"settings.headers\" has no effect in remote content mode"}},
        {R"({"name":"a","settings":{"enable-devtools":false,"content-mode":"remote",
                                    "headers":{}}})",
         {}},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.text);
        const SettingsCheck check = CheckSettingsText(v.text);
        ASSERT_EQ(check.verdict, SettingsVerdict::Accepted) << check.reason;
        const std::vector<std::string> warnings = SettingsWarnings(v.text, check.config);
        ASSERT_EQ(warnings.size(), v.warnings.size()) << ::testing::PrintToString(warnings);
        for (std::size_t i = 0; i < warnings.size(); ++i)
            EXPECT_NE(warnings[i].find(v.warnings[i]), std::string::npos) << warnings[i];
    }
}

// What the host accepts but would drop or never match, refused with the rule: a member given twice
// (the reader keeps the last), a remote "main" not written as the browser writes URLs.
TEST(PackageSettings, RefusesWhatTheHostWouldDropOrNeverMatch) {
    struct Vector {
        std::string text;
        const char* refusal;  // a part of the refusal, or "" for none
    };
    const auto remote = [](const std::string& main) {
        return R"({"name":"a","main":")" + main + R"(","settings":{"content-mode":"remote"}})";
    };
    const std::vector<Vector> vectors = {
        {R"({"name":"a","settings":{"headers":{"Content-Security-Policy":"default-src 'self'",
                                               "Content-Security-Policy":"img-src *"}}})",
         "\"settings.headers.Content-Security-Policy\" is given twice; the host would keep only "
         "the last, and drop the first in silence: give it once"},
        {R"({"name":"a","name":"b"})", "\"name\" is given twice"},
        {"\xEF\xBB\xBF{\"window\":{\"width\":1,\"width\":2},\"name\":\"a\"}",
         "\"window.width\" is given twice"},
        {R"({"name":"a","x":[{"k":1},{"k":2,"k":3}]})", "\"x[].k\" is given twice"},
        {R"({"name":"a","x":[{"k":1},{"k":2}],"window":{"k":1},"k":{"k":{"k":1}}})", ""},
        {R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin":"*"}},"headers":{}})", ""},
        // Remote mode: "main" as the browser writes it, or refused naming that form.
        {remote("https://example.com/"), ""},
        {remote("https://example.com/Game/Index.html?v=1#top"), ""},
        {remote("http://127.0.0.1:8080/"), ""},
        {remote("https://[::1]:8443/"), ""},
        {remote("https://Example.com/"), "write \"main\" as \"https://example.com/\""},
        {remote("HTTPS://example.com/a"), "write \"main\" as \"https://example.com/a\""},
        {remote("https://example.com:443/"), "write \"main\" as \"https://example.com/\""},
        {remote("http://example.com:80/x"), "write \"main\" as \"http://example.com/x\""},
        {remote("https://example.com:0443/"), "write \"main\" as \"https://example.com/\""},
        {remote("https://example.com:80/"), ""},
        {remote("https://example.com"), "write \"main\" as \"https://example.com/\""},
        {remote("https://example.com?q"), "write \"main\" as \"https://example.com/?q\""},
        {remote("https://example.com\\\\a"), "write \"main\" as \"https://example.com/a\""},
        {remote("https://example.com/?a\\\\b"), ""},
        {remote("index.html"), "\"main\" \"index.html\" is not an absolute http:// or https:// URL"},
        {remote("file:///c:/game/index.html"), "is not an absolute http:// or https:// URL"},
        {remote("https://user:pw@example.com/"), "carries a user name or password"},
        {remote("https://:443/"), "has no host"},
        {remote("https://example.com:x/"), "has a port that is not a number"},
        {remote("https://b\u00fccher.example/"), "in punycode (xn--...)"},
        {remote("https://example.com/my game/"), "which the browser percent-encodes"},
        // Bundle mode: "main" is a path in the bundle, not a URL.
        {R"({"name":"a","main":"Start Page.html"})", ""},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.text);
        const SettingsCheck check = CheckSettingsText(v.text);
        ASSERT_EQ(check.verdict, SettingsVerdict::Accepted) << check.reason;
        const std::string refusal = SettingsRefusal(v.text, check.config);
        if (std::string(v.refusal).empty()) {
            EXPECT_EQ(refusal, "");
        } else {
            EXPECT_NE(refusal.find(v.refusal), std::string::npos) << refusal;
        }
    }

    // A Content-Security-Policy that would keep the start page's inline script from running.
    struct PageVector {
        const char* policy;  // "" for none
        const char* page;
        const char* warning;  // a part of the warning, or "" for none
    };
    const std::vector<PageVector> pages = {
        {"default-src 'self'", "<script type=\"module\">go()</script>", "holds an inline <script>"},
        {"default-src 'self'", "<SCRIPT>\ngo()</SCRIPT>", "holds an inline <script>"},
        {"default-src 'self'", "<script\ttype=module src=\"main.js\"></script>", ""},
        {"default-src 'self'", "<script src=main.js></script><scripts>x</scripts>", ""},
        {"default-src 'self'", "<body onload=\"go()\">", "an inline event handler (onload=...)"},
        {"default-src 'self'", "<p>no script</p>", ""},
        {"default-src 'self' 'unsafe-inline'", "<script>go()</script>", ""},
        {"script-src 'self' 'UNSAFE-INLINE'", "<script>go()</script>", ""},
        {"script-src 'nonce-abc'", "<script nonce=abc>go()</script>", ""},
        {"script-src 'sha256-abc='", "<script>go()</script>", ""},
        {"", "<script>go()</script>", ""},
    };
    for (const PageVector& v : pages) {
        SCOPED_TRACE(std::string(v.policy) + " | " + v.page);
        AppConfig config;
        config.main = "index.html";
        if (*v.policy) config.responseHeaders = {{"Content-Security-Policy", v.policy}};
        const std::string warning = InlineScriptWarning(config, v.page);
        if (std::string(v.warning).empty()) {
            EXPECT_EQ(warning, "");
        } else {
            EXPECT_NE(warning.find(v.warning), std::string::npos) << warning;
            EXPECT_NE(warning.find("has no 'unsafe-inline'"), std::string::npos) << warning;
        }
    }

    // Packages beside the output whose names differ only in letter case share one data folder.
    unit::TempDir tmp;
    unit::WriteFile(tmp / "dist/one/package.json", R"({"name":"Game"})");
    unit::WriteFile(tmp / "dist/two/package.json", R"({"name":"other"})");
    unit::WriteFile(tmp / "dist/three/package.json", R"({"name":"game"})");
    unit::WriteFile(tmp / "dist/four/package.json", R"({"name":"GAME","name":)");
    unit::WriteFile(tmp / "dist/out/package.json", R"({"name":"GaMe"})");
    const std::vector<std::string> sharing = NameSharingWarnings(tmp / "dist/out", "game");
    ASSERT_EQ(sharing.size(), 1u) << ::testing::PrintToString(sharing);
    EXPECT_NE(sharing[0].find("\"name\" is \"game\", and the package " + (tmp / "dist/one").string() +
                              " beside this one is \"Game\": on Windows"),
              std::string::npos)
        << sharing[0];
    EXPECT_EQ(NameSharingWarnings(tmp / "dist/out", "Other").size(), 1u);
    EXPECT_EQ(NameSharingWarnings(tmp / "dist/out", "new").size(), 0u);
    EXPECT_EQ(NameSharingWarnings(tmp / "missing/out", "game").size(), 0u);
}

TEST(PackageOutput, NamesWindowsCannotHold) {
    struct Vector {
        std::vector<std::string> names;
        const char* problem;  // a part of the refusal, or "" for none
    };
    const std::vector<Vector> vectors = {
        {{"WebView2Wrapper.exe", "www/index.html", "www/caf\xC3\xA9/\xE2\x82\xAC.js"}, ""},
        {{"www/auxiliary.js", "www/con-game/a.js", "www/com10.js", "www/a.b.c", ".hidden"}, ""},
        {{"www/Logo.png", "www/logo.png"}, "www/Logo.png and www/logo.png: one name on Windows"},
        {{"www/IMG/a.png", "www/img/a.png"}, "www/IMG/a.png and www/img/a.png"},
        {{"www/img", "www/IMG/a.png"}, "www/img and the folder www/IMG"},
        {{"www/a\\b.js"}, "the character \"\\\""},
        {{"www/what?.js"}, "the character \"?\""},
        {{"www/a:b.js"}, "the character \":\""},
        {{"www/tab\t.js"}, "it holds the control character U+0009"},
        {{"www/trailing."}, "ends in \".\" or \" \""},
        {{"www/space /a.js"}, "ends in \".\" or \" \""},
        {{"www/aux.js"}, "it is the device name AUX"},
        {{"www/NUL"}, "the device name NUL"},
        {{"webview2/COM1.dll"}, "the device name COM1"},
        {{"www/lpt9.txt.bak"}, "the device name LPT9"},
        {{"www/" + std::string(256, 'a') + "/x.js"}, "256 UTF-16 units long"},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.names.back());
        const std::string problem = WindowsNameProblem(v.names);
        if (std::string(v.problem).empty()) {
            EXPECT_EQ(problem, "");
        } else {
            EXPECT_NE(problem.find(v.problem), std::string::npos) << problem;
        }
    }
}

}  // namespace
