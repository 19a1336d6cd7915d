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
    const fs::path packer = e2e::WinBuildDir().parent_path() / "native/tools/packer/wrapper-bundle";
    fs::create_directories(app.Dir() / "www");
    const e2e::ProcessResult packed =
        e2e::RunProcess({packer.string(), "pack",
                         (e2e::SourceDir() / "tests/e2e/pages/chromium/www").string(),
                         (app.Dir() / "www/assets.dat").string()},
                        {}, 60);
    ASSERT_EQ(packed.exitCode, 0) << packed.output;
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

// A real renderer crash while the sample app runs: the page's renderer is crashed through the
// DevTools protocol (Page.crash) once its handshake is done; the runtime reports
// RENDER_PROCESS_EXITED and shows an error page, the host reloads, the page handshakes again,
// the window stays visible and the screenshot shows the page (its background), not the error.
TEST_F(ChromiumPages, RendererCrashReloadsTheSampleApp) {
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
