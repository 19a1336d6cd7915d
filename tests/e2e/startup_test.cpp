// Start-up of the real host under Wine: settings problems, the loader, the runtime check
// and the hidden main window.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"

namespace {

using e2e::AppFolder;
using e2e::Loader;
using nlohmann::json;

constexpr char kFallback[] = "Windows WebView2 wrapper";
constexpr char kLoadFailed[] =
    "Failed to load package.json. Check the file is in the same folder as the app.";
constexpr char kParseFailed[] =
    "Failed to parse package.json. Check the file has valid JSON and that all parameters are "
    "correct.";

void ExpectSingleBox(const json& report, const std::string& caption, const std::string& text,
                     const std::string& icon) {
    ASSERT_EQ(report["boxes"].size(), 1u) << report.dump();
    EXPECT_EQ(report["boxes"][0]["caption"], caption);
    EXPECT_EQ(report["boxes"][0]["text"], text);
    EXPECT_EQ(report["boxes"][0]["icon"], icon);
}

TEST(Startup, SettingsFileProblemsEndWithTheirBox) {
    struct Case {
        const char* name;
        const char* text;  // nullptr: no file at all
        const char* message;
    };
    const Case cases[] = {
        {"missing", nullptr, kLoadFailed},
        {"empty", "", kLoadFailed},
        {"unparsable", "{\"name\": \"x\",", kParseFailed},
        {"comment", "// app\n{\"name\": \"x\"}", kParseFailed},
        {"invalid_name", "{\"name\": 3}", kParseFailed},
        {"bad_mode", "{\"name\":\"x\",\"settings\":{\"content-mode\":\"Remote\"}}", kParseFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppFolder app(std::string("settings_") + c.name, Loader::Minimal);
        if (c.text != nullptr) app.WritePackageJson(c.text);
        const json report = app.Probe({"--timeout", "20000"});
        ExpectSingleBox(report, kFallback, c.message, "error");
        EXPECT_EQ(report["window"], nullptr);
        EXPECT_EQ(report["exitCode"], 1);
        EXPECT_EQ(report["timedOut"], false);
    }
}

// The runtime check runs with a stand-in loader that only answers the version query, and with
// the vendor's loader linked into the host, which finds the substitute installed as a runtime (or
// beside the app).
class StartupWithLoader : public testing::TestWithParam<Loader> {};

INSTANTIATE_TEST_SUITE_P(Loaders, StartupWithLoader,
                         testing::Values(Loader::Minimal, Loader::Vendor),
                         [](const auto& info) { return e2e::LoaderName(info.param); });

TEST_P(StartupWithLoader, RuntimeCheckByDistributionMode) {
    // With the vendor's loader the page loads and the window is shown: wait for that.
    const std::string closeWhen = GetParam() == Loader::Vendor ? "visible" : "window";
    {
        SCOPED_TRACE("fixed mode without a runtime folder");
        AppFolder app("fixed_missing", GetParam());
        app.WritePackageJson(
            R"({"name":"fixed","window":{"title":"Fixed App"},"settings":{"distribution-mode":"fixed"}})");
        const json report = app.Probe({"--timeout", "20000"});
        ExpectSingleBox(report, "Fixed App",
                        "This app is set to \"fixed\" distribution mode, but the WebView2 control "
                        "failed to initialize. Check there is a valid fixed distribution of "
                        "Microsoft Edge WebView2 runtime in the \"webview2\" subfolder.",
                        "error");
        EXPECT_EQ(report["exitCode"], 1);
    }
    {
        SCOPED_TRACE("fixed mode with a runtime folder");
        AppFolder app("fixed_present", GetParam());
        app.WritePackageJson(R"({"name":"fixed","settings":{"distribution-mode":"fixed"}})");
        app.WriteFixedRuntime();
        const json report = app.Probe({"--timeout", "20000", "--close-when", closeWhen});
        EXPECT_TRUE(report["boxes"].empty()) << report.dump();
        EXPECT_NE(report["window"], nullptr);
        if (GetParam() == Loader::Vendor) EXPECT_EQ(report["everVisible"], true);
        EXPECT_EQ(report["exitCode"], 0);
    }
    {
        SCOPED_TRACE("evergreen mode with the runtime installed shows nothing");
        AppFolder app("evergreen_present", GetParam());
        app.WritePackageJson(R"({"name":"evergreen"})");
        // The host with the loader inside never loads a WebView2Loader.dll lying beside it (this
        // one has none of the loader's functions).
        if (GetParam() == Loader::Vendor) {
            app.CopyIn(e2e::WinBuildDir() / "tests/win/helpers/empty_loader/WebView2Loader.dll",
                       "WebView2Loader.dll");
        }
        const json report = app.Probe({"--timeout", "20000", "--close-when", closeWhen});
        EXPECT_TRUE(report["boxes"].empty()) << report.dump();
        if (GetParam() == Loader::Vendor) EXPECT_EQ(report["everVisible"], true);
        EXPECT_EQ(report["exitCode"], 0);
    }
}

struct WindowCase {
    int dpi;
    bool resizable;
    int width;
    int height;
};

TEST(Startup, HiddenWindowWithConfiguredClientSizeAtEachDpi) {
    const WindowCase cases[] = {
        {96, false, 1024, 768}, {120, false, 1280, 960}, {144, true, 1536, 1152}};
    for (const WindowCase& c : cases) {
        SCOPED_TRACE(c.dpi);
        e2e::DpiScope dpi(c.dpi);
        AppFolder app("window_" + std::to_string(c.dpi), Loader::Minimal);
        app.WritePackageJson(std::string(R"({"name":"win","window":{"title":"Fenêtre €",)") +
                             R"("width":1024,"height":768,"resizable":)" +
                             (c.resizable ? "true" : "false") + "}}");
        const json report =
            app.Probe({"--timeout", "30000", "--close-when", "window", "--settle", "800"});
        EXPECT_TRUE(report["boxes"].empty()) << report.dump();
        const json& window = report["window"];
        ASSERT_NE(window, nullptr) << report.dump();
        EXPECT_EQ(window["title"], "Fenêtre €");
        EXPECT_EQ(window["visible"], false);
        EXPECT_EQ(report["everVisible"], false);
        EXPECT_EQ(window["clientRect"], json::array({0, 0, c.width, c.height}));
        const unsigned style = window["style"];
        EXPECT_EQ(style & 0x10000000u, 0u) << "WS_VISIBLE";
        EXPECT_EQ((style & 0x00040000u) != 0, c.resizable) << "sizing border";
        EXPECT_EQ((style & 0x00010000u) != 0, c.resizable) << "maximise box";
        EXPECT_NE(style & 0x00020000u, 0u) << "minimise box";
        EXPECT_EQ(report["exitCode"], 0) << "WM_CLOSE ends the process normally";
    }
}

// A first navigation that fails (no DOMContentLoaded comes, only NavigationCompleted with an error
// status) still shows the window, with the runtime's error page and the window's title: the
// process never stays alive without one. The rule holds for each control: after a browser exit
// the new control's failed first navigation is shown and focused too. With our loader and with
// the vendor's.
TEST(Startup, FailedFirstNavigationStillShowsTheWindow) {
    for (Loader loader : {Loader::Substitute, Loader::Vendor}) {
        SCOPED_TRACE(e2e::LoaderName(loader));
        AppFolder app("first_navigation_fails", loader);
        app.WritePackageJson(R"({"name":"nav-fails","window":{"title":"Nav Fails"}})");
        app.Write("www/index.html", "<!doctype html><title>Never shown</title>");
        const e2e::HostRun run =
            app.Run("snapshot\nprocess-failed browser-exited exit-event first\nsnapshot\nend\n",
                    {"--watch", e2e::WinPath(app.Dir() / "transcript.jsonl"), "--close-on-text",
                     "\"type\":\"end\""},
                    {{"WRAPPER_SUBSTITUTE_FAIL_NAVIGATION", "host-name-not-resolved"}});
        EXPECT_TRUE(run.probe["boxes"].empty()) << run.probe.dump();
        EXPECT_EQ(run.probe["everVisible"], true);
        EXPECT_EQ(run.probe["exitCode"], 0);
        EXPECT_TRUE(run.Events("DOMContentLoaded").empty());
        const auto completed = run.Events("NavigationCompleted");
        ASSERT_EQ(completed.size(), 2u);
        for (const json& navigation : completed) {
            EXPECT_EQ(navigation["isSuccess"], false);
            EXPECT_EQ(navigation["webErrorStatus"], "host-name-not-resolved");
        }
        ASSERT_EQ(run.Of("snapshot").size(), 2u);
        for (const json& snapshot : run.Of("snapshot")) {
            EXPECT_EQ(snapshot["visible"], true);
            EXPECT_EQ(snapshot["title"], "Nav Fails");
        }
        // Each control is made visible and focused once its first navigation failed: a MoveFocus
        // inside each failure's handler (the event's line is written once its handlers ran, so
        // the call comes between the previous failure and this one). Activating the window
        // moves the focus too, so the calls are not counted.
        const auto focus = run.Calls("MoveFocus");
        for (std::size_t i = 0; i < completed.size(); ++i) {
            const long after = i == 0 ? 0 : completed[i - 1]["seq"].get<long>();
            const long before = completed[i]["seq"].get<long>();
            EXPECT_TRUE(std::any_of(focus.begin(), focus.end(), [&](const json& call) {
                const long seq = call["seq"].get<long>();
                return seq > after && seq < before;
            })) << "no MoveFocus for failed navigation " << i;
        }
        EXPECT_EQ(run.Calls("put_IsVisible").size(), 2u);
        EXPECT_EQ(std::count(run.hostLog.begin(), run.hostLog.end(),
                             "the first navigation failed: web error status 13"),
                  2)
            << testing::PrintToString(run.hostLog);
    }
}

}  // namespace
