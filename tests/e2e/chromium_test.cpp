// Real pages in headless Chromium through the substitute runtime's Chromium driver: the host
// serves a bundle made by the packer, the page does the handshake, resizes the window, plays a
// WebM clip through range requests, tries another origin, opens URLs externally and closes the
// window; a screenshot of the screen shows the page's content.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
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

class ChromiumPages : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ChromiumInstalled()) << "chromium is missing: run ./dev setup";
        profile_ = fs::temp_directory_path() / ("wrapper-chromium-" + std::to_string(getpid()));
        const e2e::ProcessResult started =
            e2e::RunProcess({"bash", kSession.string(), "start", profile_.string()}, {}, 60);
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
};

TEST_F(ChromiumPages, BundleAppRunsInChromium) {
    AppFolder app("chromium_pages");
    app.WritePackageJson(R"({"name":"chromium-test","main":"index.html",)"
                         R"("window":{"title":"Chromium Test","width":800,"height":600},)"
                         R"("settings":{"content-mode":"bundle"}})");
    ASSERT_NO_FATAL_FAILURE(PackBundle(e2e::SourceDir() / "tests/e2e/pages/chromium/www", app));
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
TEST_F(ChromiumPages, ThreadedWebAssemblyRunsOnlyWhenCrossOriginIsolated) {
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
            std::string(R"({"name":"chromium-threads","window":{"title":"Threads"})") +
            (isolated ? R"(,"settings":{"headers":{"Cross-Origin-Opener-Policy":"same-origin",)"
                        R"("Cross-Origin-Embedder-Policy":"require-corp"}}})"
                      : "}"));
        const e2e::HostRun run =
            app.Run("", {"--timeout", "100000"}, {{"WRAPPER_SUBSTITUTE_CHROMIUM", endpoint_}}, 150);
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

// `./dev run --keep-open` (tools/run-app.sh with WRAPPER_RUN_KEEP_OPEN): the sample app's real
// pages stay in the window until it is closed, and a player's input reaches them through the live
// view. Driven from outside through the X display: a click into the sample's width field and typed
// keys change the page (its form sends the typed width, seen in the transcript), and Alt+F4
// closes the window, which ends the run with exit code 0.
TEST(KeepOpen, MouseAndKeysReachThePageUntilTheWindowIsClosed) {
    ASSERT_TRUE(ChromiumInstalled()) << "chromium is missing: run ./dev setup";
    const fs::path build = e2e::WinBuildDir().parent_path();
    const fs::path transcript = build / "run/hello/transcript.jsonl";
    fs::remove(transcript);
    const char* display = std::getenv("WRAPPER_TEST_DISPLAY");
    ASSERT_NE(display, nullptr);
    e2e::ProcessResult result;
    std::thread runner([&] {
        result = e2e::RunProcess(
            {"bash", (e2e::SourceDir() / "tools/run-app.sh").string(), build.string(),
             (e2e::SourceDir() / "examples/hello").string()},
            {{"WRAPPER_RUN_KEEP_OPEN", "1"}, {"WRAPPER_PAGE_DRIVER", "chromium"},
             {"DISPLAY", display}},
            300);
    });
    const auto waitFor = [&](const std::string& text, int seconds) {
        for (int i = 0; i < seconds * 10; ++i) {
            if (e2e::ReadFileBytes(transcript).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    };
    const auto xdotool = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        return e2e::RunProcess(args, {{"DISPLAY", display}}, 30);
    };
    // The page has done its handshake and painted.
    const bool loaded = waitFor("wrapper-init-response", 120);
    std::string window;
    if (loaded) {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const e2e::ProcessResult found =
            xdotool({"search", "--name", "^Hello from WebView2Wrapper$"});
        window = found.output.substr(0, found.output.find('\n'));
    }
    EXPECT_TRUE(loaded) << "the page did not load";
    EXPECT_FALSE(window.empty()) << "no window";
    if (!window.empty()) {
        // The width field of the sample's "Window" form, at its place in the 960x640 page.
        xdotool({"mousemove", "--window", window, "145", "608", "click", "1"});
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        xdotool({"key", "--delay", "100", "ctrl+a", "7", "1", "3", "Return"});
        EXPECT_TRUE(waitFor(R"(\"windowWidth\":713)", 30)) << "the typed width did not arrive";
        // Without a window manager keys go to the window under the pointer, and the window is
        // smaller now.
        xdotool({"mousemove", "--window", window, "100", "100"});
        xdotool({"key", "alt+F4"});
    }
    runner.join();
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("exit code: 0"), std::string::npos) << result.output;
}

}  // namespace
