// The WebView host under Wine with the substitute runtime: environment and controller set-up,
// settings, handler registration, navigation policy, the page's events and the fallbacks.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "bundle/bundle_writer.h"
#include "harness.h"

namespace {

using e2e::AppFolder;
using nlohmann::json;

constexpr char kStartFailed[] =
    "Failed to start the WebView2 control. Check that the Microsoft Edge WebView2 runtime is "
    "installed and working.";

AppFolder BundleApp(const std::string& name, const std::string& extraSettings = "",
                    e2e::Loader loader = e2e::Loader::Substitute) {
    AppFolder app(name, loader);
    app.WritePackageJson(R"({"name":"host-test","chromium-args":"--disable-gpu --lang=fr",)"
                         R"("window":{"title":"Host Test"},"settings":{)" +
                         extraSettings + "}}");
    app.Write("www/index.html", "<!doctype html><title>Host Test</title>");
    return app;
}

std::vector<std::string> Filtered(const std::vector<std::string>& methods,
                                  const std::vector<std::string>& keep) {
    std::vector<std::string> out;
    for (const std::string& m : methods) {
        if (std::find(keep.begin(), keep.end(), m) != keep.end()) out.push_back(m);
    }
    return out;
}

long Seq(const json& line) { return line.value("seq", -1L); }

// The seq of the first line matching type and name (method or event), or -1.
long FirstSeq(const e2e::HostRun& run, const std::string& type, const std::string& name) {
    for (const json& line : run.transcript) {
        if (line.value("type", "") == type &&
            (line.value("method", "") == name || line.value("event", "") == name)) {
            return Seq(line);
        }
    }
    return -1;
}

const std::vector<std::string> kRegistrations = {
    "add_AcceleratorKeyPressed",
    "add_DocumentTitleChanged",
    "AddWebResourceRequestedFilterWithRequestSourceKinds",
    "add_WebResourceRequested",
    "add_NavigationStarting",
    "add_PermissionRequested",
    "add_ContainsFullScreenElementChanged",
    "add_WindowCloseRequested",
    "add_NewWindowRequested",
    "add_WebMessageReceived",
    "add_DOMContentLoaded",
    "add_NavigationCompleted",
    "add_ProcessFailed",
    "Navigate"};

// The tests where the loader takes part run twice: with our substitute loader, and with the
// vendor's loader starting the substitute installed as a runtime.
class WebViewHostWithLoader : public testing::TestWithParam<e2e::Loader> {};

INSTANTIATE_TEST_SUITE_P(Loaders, WebViewHostWithLoader,
                         testing::Values(e2e::Loader::Substitute, e2e::Loader::Vendor),
                         [](const auto& info) { return e2e::LoaderName(info.param); });

TEST_P(WebViewHostWithLoader, BundleModeStartsHiddenThenShowsAtDomContentLoaded) {
    AppFolder app = BundleApp("host_bundle", "", GetParam());
    // Then the player switches to another program and back, and minimises and restores the window.
    const std::string scenario =
        "snapshot\ndomcontentloaded\nsnapshot\ndeactivate\nsnapshot\nactivate\nsnapshot\n"
        "minimize\nsleep 300\nsnapshot\nrestore\nsleep 300\nsnapshot\nclose\n";
    const e2e::HostRun run = app.Run(scenario);
    ASSERT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
    EXPECT_TRUE(run.probe["boxes"].empty());

    const auto environments = run.EnvironmentCalls();
    ASSERT_EQ(environments.size(), 1u);
    const json& environment = environments[0];
    EXPECT_EQ(environment["browserFolder"], nullptr);
    if (GetParam() == e2e::Loader::Vendor) {
        // The vendor's loader found the installed runtime and handed the host's options over.
        EXPECT_EQ(environment["method"], "CreateWebViewEnvironmentWithOptionsInternal");
        EXPECT_EQ(environment["runtimeType"], 0);
        EXPECT_EQ(environment["checkRunningInstance"], true);
        EXPECT_EQ(environment["version"], e2e::kRuntimeVersion);
        EXPECT_EQ(environment["olderThanTarget"], false);
        EXPECT_EQ(environment["optionsInterface"], "0x00000000");
        // The loader makes sure of the environment's interface before it hands it on.
        long query = -1;
        for (const json& line : run.Calls("QueryInterface")) {
            if (line["object"] == "environment" && line["interface"] == "ICoreWebView2Environment")
                query = Seq(line);
        }
        const auto completions = run.Of("completion");
        ASSERT_FALSE(completions.empty());
        EXPECT_GT(query, Seq(environment));
        EXPECT_LT(query, Seq(completions[0]));
    }
    const std::string userData = environment["userDataFolder"];
    EXPECT_EQ(userData.substr(userData.size() - 10), "\\host-test") << userData;
    EXPECT_EQ(environment["additionalBrowserArguments"], "--disable-gpu --lang=fr");
    EXPECT_EQ(environment["targetCompatibleBrowserVersion"], "137.0.3296.44");
    EXPECT_EQ(environment["language"], "");
    EXPECT_EQ(environment["allowSingleSignOnUsingOSPrimaryAccount"], false);
    EXPECT_EQ(environment["forcedHostingMode"], nullptr);
    ASSERT_EQ(run.Calls("CreateCoreWebView2Controller").size(), 1u);

    // The seven settings in order, then the browser's own accelerator keys off.
    std::vector<std::pair<std::string, bool>> settings;
    for (const json& line : run.Of("call")) {
        if (line.value("object", "") == "settings" && line.value("method", "").rfind("put_", 0) == 0) {
            settings.emplace_back(line["method"], line["value"]);
        }
    }
    const std::vector<std::pair<std::string, bool>> expected = {
        {"put_IsScriptEnabled", true},           {"put_AreHostObjectsAllowed", false},
        {"put_AreDefaultScriptDialogsEnabled", true}, {"put_IsWebMessageEnabled", true},
        {"put_IsZoomControlEnabled", false},     {"put_AreDefaultContextMenusEnabled", true},
        {"put_AreDevToolsEnabled", true},        {"put_AreBrowserAcceleratorKeysEnabled", false}};
    EXPECT_EQ(settings, expected);

    EXPECT_EQ(Filtered(run.CallSequence(), kRegistrations), kRegistrations);
    // One filter, for every source kind: service workers and shared workers load the app's files.
    EXPECT_TRUE(run.Calls("AddWebResourceRequestedFilter").empty());
    const auto filters = run.Calls("AddWebResourceRequestedFilterWithRequestSourceKinds");
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(filters[0]["uri"], "https://app.localhost/*");
    EXPECT_EQ(filters[0]["context"], "all");
    EXPECT_EQ(filters[0]["sourceKinds"], 0xFFFFFFFFu);
    ASSERT_EQ(run.Calls("Navigate").size(), 1u);
    EXPECT_EQ(run.Calls("Navigate")[0]["uri"], "https://app.localhost/index.html");
    EXPECT_EQ(run.Response("https://app.localhost/index.html")["status"], 200);

    // Bounds: the client rectangle, before the navigation.
    const auto bounds = run.Calls("put_Bounds");
    ASSERT_FALSE(bounds.empty());
    EXPECT_LT(Seq(bounds[0]), FirstSeq(run, "call", "Navigate"));

    // Shown only by DOMContentLoaded (a runtime that never completes the environment leaves the
    // window hidden for good: see the start-up tests), each time with the control visible and
    // focused. Calls made inside a handler are written before the event's own line.
    const auto loaded = run.Events("DOMContentLoaded");
    ASSERT_EQ(loaded.size(), 2u);
    const auto visible = run.Calls("put_IsVisible");
    const auto focus = run.Calls("MoveFocus");
    // Shown at each DOMContentLoaded, hidden while minimised, shown again on restore.
    ASSERT_EQ(visible.size(), 4u);
    EXPECT_GT(Seq(visible[0]), Seq(run.Response("https://app.localhost/index.html")));
    EXPECT_EQ(visible[0]["value"], true);
    EXPECT_GT(Seq(visible[1]), Seq(loaded[0]));
    EXPECT_EQ(visible[1]["value"], true);
    EXPECT_EQ(visible[2]["value"], false);
    EXPECT_EQ(visible[3]["value"], true);
    // Focused after each show, before the event's own line (calls inside a handler come first).
    for (std::size_t i = 0; i < 2; ++i) {
        const auto after = std::find_if(focus.begin(), focus.end(), [&](const json& call) {
            return Seq(call) > Seq(visible[i]);
        });
        ASSERT_NE(after, focus.end());
        EXPECT_LT(Seq(*after), Seq(loaded[i]));
    }
    for (const json& call : focus) EXPECT_EQ(call["reason"], "programmatic");

    const auto snapshots = run.Of("snapshot");
    ASSERT_EQ(snapshots.size(), 6u);
    EXPECT_EQ(snapshots[0]["visible"], true);  // the start page had loaded before the first step
    // The page has the keys after the start page, loses them to the other program, and has them
    // again once the host is active: the runtime gives them back only on the host's MoveFocus.
    const json pageFocused = {true, true, false, true, nullptr /* minimised */, true};
    for (std::size_t i = 0; i < snapshots.size(); ++i) {
        if (!pageFocused[i].is_null()) EXPECT_EQ(snapshots[i]["pageFocused"], pageFocused[i]) << i;
    }
    const auto activations = run.Of("activation");
    ASSERT_EQ(activations.size(), 2u);
    EXPECT_EQ(activations[0]["hostActive"], false);
    EXPECT_EQ(activations[1]["hostActive"], true);
    // Minimised: the page is hidden until the window is restored (between snapshots 4 and 5).
    EXPECT_GT(Seq(visible[2]), Seq(snapshots[3]));
    EXPECT_LT(Seq(visible[2]), Seq(snapshots[4]));
    EXPECT_GT(Seq(visible[3]), Seq(snapshots[4]));
    EXPECT_LT(Seq(visible[3]), Seq(snapshots[5]));

    // The log says what the host found and decided, one line each.
    EXPECT_EQ(run.hostLog, (std::vector<std::string>{
                               std::string("start: executable ") + WRAPPER_PROJECT_VERSION +
                                   ".0, distribution evergreen, content bundle, hosting windowed",
                               std::string("runtime: ") + e2e::kRuntimeVersion + " found",
                               "bundle: none (loose files)", "extension: none", "exit code 0"}));

    // A log that cannot be written (here host.log is a folder) changes nothing of the run.
    if (GetParam() != e2e::Loader::Substitute) return;
    const e2e::fs::path log = e2e::LocalAppData() / "host-test" / "host.log";
    e2e::fs::remove(log);
    e2e::fs::create_directories(log);
    const e2e::HostRun blocked = app.Run(scenario);
    e2e::fs::remove_all(log);
    EXPECT_EQ(blocked.probe["exitCode"], 0);
    EXPECT_EQ(blocked.probe["boxes"], run.probe["boxes"]);
    EXPECT_EQ(blocked.probe["timedOut"], false);
    EXPECT_EQ(blocked.CallSequence(), run.CallSequence());
    EXPECT_EQ(blocked.Of("snapshot").size(), 6u);
    EXPECT_TRUE(blocked.hostLog.empty());
    EXPECT_FALSE(e2e::fs::exists(e2e::LocalAppData() / "host-test" / "host.log.1"));
}

// Permission requests by who asks: the app's own pages and frames of its origin get what they
// ask for; any other origin's frame (an ad, an embedded player) is left to the runtime, which asks
// the player, and the log says so. {kind, requesting URI, state after the host, log line or ""}.
struct PermissionRow {
    const char* kind;
    const char* uri;
    const char* state;
    const char* logged;
};
const PermissionRow kBundlePermissions[] = {
    {"camera", "https://app.localhost/", "allow", ""},
    {"microphone", "https://app.localhost/index.html", "allow", ""},
    {"geolocation", "https://app.localhost/frames/map.html?x=1#y", "allow", ""},  // own frame
    {"clipboard-read", "https://APP.localhost:443/", "allow", ""},
    {"notifications", "https://app.localhost/", "allow", ""},
    {"geolocation", "https://example.com/", "default",
     "permission geolocation asked by https://example.com: left to the runtime's default"},
    {"camera", "https://ads.example/frame.html", "default",
     "permission camera asked by https://ads.example: left to the runtime's default"},
    {"microphone", "https://app.localhost.evil.example/", "default",
     "permission microphone asked by https://app.localhost.evil.example: left to the runtime's "
     "default"},
    {"clipboard-read", "https://app.localhost@evil.example/", "default",
     "permission clipboard-read asked by https://evil.example: left to the runtime's default"},
    {"camera", "http://app.localhost/", "default",
     "permission camera asked by http://app.localhost: left to the runtime's default"},
    {"local-fonts", "https://app.localhost:8443/", "default",
     "permission local-fonts asked by https://app.localhost:8443: left to the runtime's default"},
    {"window-management", "about:blank", "default",
     "permission window-management asked by a page without an origin: left to the runtime's "
     "default"},
};
const PermissionRow kRemotePermissions[] = {
    {"camera", "https://example.com/game/index.html", "allow", ""},
    {"microphone", "https://example.com/other/page.html", "allow", ""},  // same origin
    {"camera", "https://app.localhost/", "default",
     "permission camera asked by https://app.localhost: left to the runtime's default"},
    {"geolocation", "https://example.com:444/game/index.html", "default",
     "permission geolocation asked by https://example.com:444: left to the runtime's default"},
};

template <size_t N>
void ExpectPermissions(const e2e::HostRun& run, const PermissionRow (&rows)[N]) {
    const auto events = run.Events("PermissionRequested");
    ASSERT_EQ(events.size(), N);
    std::vector<std::string> expectedLog;
    for (size_t i = 0; i < N; ++i) {
        EXPECT_EQ(events[i]["state"], std::string(rows[i].state)) << rows[i].kind << " " << rows[i].uri;
        if (*rows[i].logged != '\0') expectedLog.push_back(rows[i].logged);
    }
    std::vector<std::string> logged;
    for (const std::string& line : run.hostLog) {
        if (line.rfind("permission ", 0) == 0) logged.push_back(line);
    }
    EXPECT_EQ(logged, expectedLog);
}

template <size_t N>
std::string PermissionSteps(const PermissionRow (&rows)[N]) {
    std::string steps;
    for (const PermissionRow& row : rows) {
        steps += std::string("permission ") + row.kind + " " + row.uri + "\n";
    }
    return steps;
}

TEST(WebViewHost, RemoteModeHasNoFilterNoResourceAndNoNavigationHandler) {
    AppFolder app("host_remote");
    app.WritePackageJson(
        R"({"name":"r","main":"https://example.com/app?x=1","settings":{"content-mode":"remote"}})");
    const e2e::HostRun run = app.Run(
        "navigate https://elsewhere.example/\n"
        "message-string https://example.com/app?x=1 {\"type\":\"wrapper-init\"}\n"
        "message-string https://example.com/ {\"type\":\"wrapper-init\"}\n" +
        PermissionSteps(kRemotePermissions) + "close\n");
    // Permissions follow the origin of `main`, not its whole prefix.
    ExpectPermissions(run, kRemotePermissions);
    EXPECT_TRUE(run.Calls("AddWebResourceRequestedFilter").empty());
    EXPECT_TRUE(run.Calls("AddWebResourceRequestedFilterWithRequestSourceKinds").empty());
    EXPECT_TRUE(run.Calls("add_WebResourceRequested").empty());
    EXPECT_TRUE(run.Calls("add_NavigationStarting").empty());
    ASSERT_EQ(run.Calls("Navigate").size(), 1u);
    EXPECT_EQ(run.Calls("Navigate")[0]["uri"], "https://example.com/app?x=1");
    for (const json& event : run.Events("NavigationStarting")) EXPECT_EQ(event["cancel"], false);
    // Only the source that begins with the full `main` URL is heard.
    EXPECT_EQ(run.Calls("PostWebMessageAsJson").size(), 1u);
    EXPECT_EQ(run.probe["exitCode"], 0);
}

TEST(WebViewHost, NavigationOutsideTheOriginIsCancelled) {
    AppFolder app = BundleApp("host_navigation");
    app.Write("www/page2.html", "<p>2</p>");
    const e2e::HostRun run = app.Run(
        "navigate https://example.com/\n"
        "navigate https://APP.localhost/page2.html\n"
        "navigate https://app.localhost.evil.net/\n"
        "navigate http://app.localhost/page2.html\n"
        "navigate https://app.localhost/page2.html\n"
        "close\n");
    std::map<std::string, bool> cancelled;
    for (const json& event : run.Events("NavigationStarting")) cancelled[event["uri"]] = event["cancel"];
    EXPECT_EQ(cancelled["https://example.com/"], true);
    EXPECT_EQ(cancelled["https://APP.localhost/page2.html"], true);
    EXPECT_EQ(cancelled["https://app.localhost.evil.net/"], true);
    EXPECT_EQ(cancelled["http://app.localhost/page2.html"], true);
    EXPECT_EQ(cancelled["https://app.localhost/page2.html"], false);
    EXPECT_EQ(cancelled["https://app.localhost/index.html"], false);
    EXPECT_EQ(run.Response("https://app.localhost/page2.html")["status"], 200);
    EXPECT_TRUE(run.Response("https://example.com/").is_null());
}

// The runtime reads every body whole into memory on its one reader thread: the harness fails a
// run that read one over 64 MiB, unless the test expects it.
TEST(WebViewHost, TranscriptsWithAHugeBodyFailTheTest) {
    const e2e::fs::path file = e2e::WorkDir() / "huge-body.jsonl";
    const auto write = [&](std::uint64_t length) {
        std::ofstream(file, std::ios::trunc)
            << json{{"seq", 1}, {"type", "response"}, {"uri", "https://app.localhost/big.webm"},
                    {"body", {{"length", length}}}, {"bodyAgile", true}}
                   .dump()
            << "\n";
    };
    write(64ull << 20);
    EXPECT_EQ(e2e::ReadTranscript(file).size(), 1u);
    write((64ull << 20) + 1);
    EXPECT_NONFATAL_FAILURE(e2e::ReadTranscript(file), "more than 64 MiB");
    e2e::fs::remove(file);
}

TEST(WebViewHost, MessagesAreHeardOnlyFromTheOrigin) {
    AppFolder app = BundleApp("host_messages");
    app.Write("www/assets.dat", EncodeBundle({{"index.html", "<!doctype html><title>M</title>"}}));
    const std::string init = R"({"type":"wrapper-init"})";
    const std::string scenario =
        "message-string https://app.localhost/index.html " + init + "\n" +
        "message-string https://app.localhost.evil.net/ " + init + "\n" +
        "message-string https://other.example/ " + init + "\n" +
        "message-string https://App.localhost/ " + init + "\n" +
        "message-string https://app.localhost " + init + "\n" +
        // Posted as a JSON object rather than a string: dropped.
        "message-json https://app.localhost/ " + init + "\n" +
        "message-string https://app.localhost/sub/page.html " + init + "\n" + "close\n";
    // The host is also asked to post one message from a worker thread: the runtime refuses it,
    // and the harness turns the transcript's wrongThread line into a failure of the test.
    e2e::HostRun run;
    EXPECT_NONFATAL_FAILURE(
        (run = app.Run(scenario, {}, {{"WRAPPER_TEST_WRONG_THREAD_CALL", "1"}})), "wrongThread");
    const auto refused = run.Of("wrongThread");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0]["object"], "webview");
    EXPECT_EQ(refused[0]["method"], "PostWebMessageAsJson");
    // Two handshakes were heard, each answered once; the refused post is not among the calls.
    EXPECT_EQ(run.Calls("PostWebMessageAsJson").size(), 2u);
    EXPECT_EQ(run.probe["exitCode"], 0);
}

TEST(WebViewHost, PageEventsTitlePermissionsCloseAndDevTools) {
    AppFolder app = BundleApp("host_events");
    const e2e::HostRun run = app.Run(
        "title Première page €\n"
        "snapshot\n"
        "title\n"
        "snapshot\n" +
        PermissionSteps(kBundlePermissions) +
        "key F12 down\n"
        "key F12 up\n"
        "key F5 down\n"
        "close\n");
    const auto snapshots = run.Of("snapshot");
    ASSERT_EQ(snapshots.size(), 2u);
    EXPECT_EQ(snapshots[0]["title"], "Première page €");
    EXPECT_EQ(snapshots[1]["title"], "");
    ExpectPermissions(run, kBundlePermissions);
    EXPECT_EQ(run.Calls("OpenDevToolsWindow").size(), 2u);  // press and release alike
    EXPECT_EQ(run.Events("WindowCloseRequested").size(), 1u);
    EXPECT_EQ(run.probe["exitCode"], 0);
    EXPECT_EQ(run.probe["timedOut"], false);
    // The page's window.close(): the close is posted, the control closed while its window still
    // exists, the window destroyed outside every callback, and nothing reaches the runtime after.
    const auto closes = run.Calls("Close");
    const auto destroyed = run.Of("parentDestroyed");
    ASSERT_EQ(closes.size(), 1u);
    ASSERT_EQ(destroyed.size(), 1u);
    EXPECT_EQ(closes[0]["object"], "controller");
    EXPECT_GT(Seq(closes[0]), FirstSeq(run, "event", "WindowCloseRequested"));
    EXPECT_LT(Seq(closes[0]), Seq(destroyed[0]));
    EXPECT_EQ(destroyed[0]["closeCalled"], true);
    EXPECT_EQ(destroyed[0]["insideCallback"], nullptr);
    EXPECT_TRUE(run.Of("callAfterClose").empty());

    AppFolder off = BundleApp("host_devtools_off", R"("enable-devtools":false)");
    const e2e::HostRun quiet = off.Run("key F12 down\nkey F12 up\nclose\n");
    EXPECT_TRUE(quiet.Calls("OpenDevToolsWindow").empty());
    const auto devtools = quiet.Calls("put_AreDevToolsEnabled");
    ASSERT_EQ(devtools.size(), 1u);
    EXPECT_EQ(devtools[0]["value"], false);
}

TEST(WebViewHost, OlderRuntimesStillShowThePage) {
    {
        SCOPED_TRACE("no ICoreWebView2Settings3");
        AppFolder app = BundleApp("host_no_settings3");
        const e2e::HostRun run =
            app.Run("key F12\nsnapshot\nclose\n", {}, {{"WRAPPER_SUBSTITUTE_NO_SETTINGS3", "1"}});
        EXPECT_TRUE(run.Calls("put_AreBrowserAcceleratorKeysEnabled").empty());
        EXPECT_TRUE(run.Calls("add_AcceleratorKeyPressed").empty());
        EXPECT_TRUE(run.Calls("OpenDevToolsWindow").empty());
        ASSERT_EQ(run.Of("snapshot").size(), 1u);
        EXPECT_EQ(run.Of("snapshot")[0]["visible"], true);
        EXPECT_EQ(run.probe["exitCode"], 0);
    }
    {
        SCOPED_TRACE("no ICoreWebView2_2");
        AppFolder app = BundleApp("host_no_webview2_2");
        const e2e::HostRun run =
            app.Run("snapshot\nclose\n", {}, {{"WRAPPER_SUBSTITUTE_NO_WEBVIEW2_2", "1"}});
        EXPECT_TRUE(run.Calls("add_DOMContentLoaded").empty());
        // A runtime this old has no source-kind filters: the plain one, and the log says what
        // workers lose.
        EXPECT_TRUE(run.Calls("AddWebResourceRequestedFilterWithRequestSourceKinds").empty());
        ASSERT_EQ(run.Calls("AddWebResourceRequestedFilter").size(), 1u);
        EXPECT_NE(testing::PrintToString(run.hostLog)
                      .find("service workers and shared workers cannot load the app's files"),
                  std::string::npos);
        // Shown once, right after the navigation was asked for.
        const auto visible = run.Calls("put_IsVisible");
        ASSERT_EQ(visible.size(), 1u);
        EXPECT_GT(Seq(visible[0]), FirstSeq(run, "call", "Navigate"));
        ASSERT_EQ(run.Of("snapshot").size(), 1u);
        EXPECT_EQ(run.Of("snapshot")[0]["visible"], true);
        EXPECT_EQ(run.probe["exitCode"], 0);
    }
}

TEST_P(WebViewHostWithLoader, CreationFailuresEndWithABoxAndExitCodeOne) {
    const std::vector<std::pair<std::string, std::string>> switches = {
        {"WRAPPER_SUBSTITUTE_FAIL_ENVIRONMENT", "hresult"},
        {"WRAPPER_SUBSTITUTE_FAIL_ENVIRONMENT", "null"},
        {"WRAPPER_SUBSTITUTE_FAIL_ENVIRONMENT", "sync"},
        {"WRAPPER_SUBSTITUTE_FAIL_CONTROLLER", "hresult"},
        {"WRAPPER_SUBSTITUTE_FAIL_CONTROLLER", "null"},
        {"WRAPPER_SUBSTITUTE_FAIL_CONTROLLER", "sync"},
        {"WRAPPER_SUBSTITUTE_FAIL_SETTINGS", "1"},
        // The controller fails and the host's posts to its window fail too (a full queue): the
        // box still comes after the callback returned.
        {"WRAPPER_TEST_FAIL_WINDOW_POSTS", "1"},
    };
    for (const auto& [name, value] : switches) {
        SCOPED_TRACE(name + "=" + value);
        AppFolder app = BundleApp("host_fail", "", GetParam());
        const e2e::fs::path transcript = app.Dir() / "transcript.jsonl";
        std::map<std::string, std::string> environment = {{name, value}};
        if (name == "WRAPPER_TEST_FAIL_WINDOW_POSTS")
            environment["WRAPPER_SUBSTITUTE_FAIL_CONTROLLER"] = "hresult";
        const e2e::HostRun run = app.Run("", {"--watch", e2e::WinPath(transcript)}, environment);
        if (GetParam() == e2e::Loader::Vendor && name == "WRAPPER_SUBSTITUTE_FAIL_ENVIRONMENT") {
            // The vendor's loader tries a failed creation once more (not one that completes
            // without an environment), then hands the failure on.
            EXPECT_EQ(run.EnvironmentCalls().size(), value == "null" ? 1u : 2u);
        }
        ASSERT_EQ(run.probe["boxes"].size(), 1u) << run.probe.dump();
        EXPECT_EQ(run.probe["boxes"][0]["caption"], "Host Test");
        EXPECT_EQ(run.probe["boxes"][0]["text"], kStartFailed);
        EXPECT_EQ(run.probe["boxes"][0]["icon"], "error");
        EXPECT_EQ(run.probe["everVisible"], false);
        EXPECT_EQ(run.probe["exitCode"], 1);
        EXPECT_EQ(run.probe["timedOut"], false);
        // The box comes after the completion that failed has returned: a completion's line is
        // written when its handler returns, and every one was in the transcript when the box
        // was seen. No message loop ran inside a completion.
        const long long watched = run.probe["boxes"][0].value("watchedSize", -1LL);
        ASSERT_GE(watched, 0);
        const std::string before =
            e2e::ReadFileBytes(transcript).substr(0, static_cast<std::size_t>(watched));
        const long linesBefore = std::count(before.begin(), before.end(), '\n');
        for (const json& completion : run.Of("completion")) {
            EXPECT_LE(Seq(completion), linesBefore) << completion.dump();
        }
        EXPECT_TRUE(run.Of("nestedLoopInCallback").empty());
        // The log names the box and the runtime's result code, then the exit code.
        ASSERT_GE(run.hostLog.size(), 2u);
        const std::string failed = run.hostLog[run.hostLog.size() - 2];
        EXPECT_EQ(
            failed.rfind(std::string("start failed: \"") + kStartFailed + "\" (HRESULT 0x", 0), 0u)
            << failed;
        if (value == "hresult") EXPECT_NE(failed.find("(HRESULT 0x8"), std::string::npos);
        EXPECT_EQ(run.hostLog.back(), "exit code 1");
    }
}

// The scenario's end closes the window from outside (the probe), not through the page.
const std::vector<std::string> kCloseAtEnd = {"--close-on-text", "\"type\":\"end\""};

constexpr char kAppStopped[] = "The app stopped unexpectedly and has to close.";
constexpr char kNotResponding[] =
    "The app is not responding.\n\nDo you want to wait for it? Choose No to close the app.";

// ProcessFailed by kind. The browser process exiting gives a new environment and controller in
// the same window (the scenario goes on in the new control), at most three times within a minute,
// whether the environment's BrowserProcessExited comes first, second or never;
// a renderer that exited is reloaded, at most three times; an unresponsive page is waited for,
// then the player is asked once per episode; other kinds change nothing. Every box comes after
// the callback returned (the harness fails a run with a loop inside a callback).
TEST_P(WebViewHostWithLoader, ProcessFailuresByKind) {
    struct Case {
        const char* name;
        std::string scenario;
        const char* answer;  // the button the probe presses in each box
        int exitCode;
        std::vector<std::string> boxes;
        size_t environments;
        size_t reloads;
        std::string logged;  // a line of host.log: the last failure and what the host did
    };
    const std::string browserExit = "process-failed browser-exited\n";
    const auto browserExitWith = [](const char* order) {
        return std::string("process-failed browser-exited exit-event ") + order + "\n";
    };
    const std::string rendererExit = "process-failed render-exited\n";
    const std::string unresponsive = "process-failed render-unresponsive\n";
    // A run that ends with a box is not closed from outside: the box ends it.
    const std::string linger = "sleep 25000\n";
    const std::string crashed = "reason crashed; exit code -1073741819; process \"\"; the host: ";
    const Case cases[] = {
        {"gpu",
         "process-failed gpu-exited\nprocess-failed utility-exited\n"
         "process-failed frame-render-exited\nsnapshot\nend\n",
         "1",
         0,
         {},
         1,
         0,
         "frame render process exited; " + crashed + "none (the runtime recovers by itself)"},
        {"renderer",
         rendererExit + "wait Reload 1\nsnapshot\nend\n",
         "1",
         0,
         {},
         1,
         1,
         "render process exited; " + crashed + "reload"},
        {"renderer-fourth",
         rendererExit + "wait Reload 1\n" + rendererExit + "wait Reload 2\n" + rendererExit +
             "wait Reload 3\n" + rendererExit + linger,
         "1",
         1,
         {kAppStopped},
         1,
         3,
         "render process exited; " + crashed +
             "the stopped-unexpectedly box, exit code 1 (too many renderer exits)"},
        // In fullscreen when the browser exits: the new control's window is not.
        {"browser",
         "fullscreen true\nsnapshot\n" + browserExit + "snapshot\nend\n",
         "1",
         0,
         {},
         2,
         0,
         "browser process exited; " + crashed +
             "a new environment and controller once the browser process is gone (at most 5 s), "
             "then the start page"},
        {"browser-exit-event-first",
         browserExitWith("first") + "snapshot\nend\n",
         "1",
         0,
         {},
         2,
         0,
         "the browser process is gone; the host: a new environment and controller, then the "
         "start page"},
        // One recovery for each order of the two events; the fourth exit gives up.
        {"browser-fourth",
         browserExitWith("first") + browserExitWith("never") + browserExitWith("second") +
             browserExit + linger,
         "1",
         1,
         {kStartFailed},
         4,
         0,
         "browser process exited; " + crashed +
             "the start-failure box, exit code 1 (too many browser exits)"},
        // Reported at 0, 6, 11 and 12 seconds: asked once, at the third; "Yes" waits.
        {"unresponsive-wait",
         unresponsive + "sleep 6000\n" + unresponsive + "sleep 5000\n" + unresponsive +
             "sleep 1000\n" + unresponsive + "sleep 500\nsnapshot\nend\n",
         "6",
         0,
         {kNotResponding},
         1,
         0,
         "render process unresponsive; reason unresponsive; exit code 0; process \"\"; the host: "
         "ask whether to wait or close"},
        {"unresponsive-close",
         unresponsive + "sleep 6000\n" + unresponsive + "sleep 5000\n" + unresponsive + linger,
         "7",
         1,
         {kNotResponding},
         1,
         0,
         "the player closed the app that was not responding; exit code 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // How an unresponsive page is handled has nothing to do with the loader that made the
        // environment, and those rows wait 11 to 13 s each: they run with the substitute's loader
        // only. Every exit row runs with both, as the new environments come from the loader.
        if (GetParam() == e2e::Loader::Vendor && std::string(c.name).rfind("unresponsive", 0) == 0)
            continue;
        AppFolder app = BundleApp(std::string("host_failed_") + c.name, "", GetParam());
        std::vector<std::string> options = kCloseAtEnd;
        options.insert(options.end(), {"--watch", e2e::WinPath(app.Dir() / "transcript.jsonl"),
                                       "--answer", c.answer});
        const e2e::HostRun run = app.Run(c.scenario, options);
        EXPECT_EQ(run.probe["exitCode"], c.exitCode) << run.probe.dump();
        EXPECT_EQ(run.probe["timedOut"], false);
        std::vector<std::string> boxes;
        for (const json& box : run.probe["boxes"]) {
            boxes.push_back(box.value("text", ""));
            EXPECT_EQ(box["caption"], "Host Test");
        }
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_EQ(run.EnvironmentCalls().size(), c.environments);
        EXPECT_EQ(run.Calls("CreateCoreWebView2Controller").size(), c.environments);
        EXPECT_EQ(run.Calls("Reload").size(), c.reloads);
        const auto failures = run.Events("ProcessFailed");
        ASSERT_FALSE(failures.empty());
        for (const json& failure : failures) EXPECT_EQ(failure["handlers"], 1) << failure.dump();
        // Each control navigates to the start page, and the window is never left around a dead
        // control: the last snapshot (when there is one) shows it.
        size_t starts = 0;
        for (const json& navigate : run.Calls("Navigate"))
            starts += navigate["uri"] == "https://app.localhost/index.html";
        EXPECT_EQ(starts, c.environments);
        for (const json& snapshot : run.Of("snapshot")) EXPECT_EQ(snapshot["visible"], true);
        // However the run ends, a control still open is closed before the window goes, and none
        // is called once the runtime closed it.
        const bool lastClosedByRuntime = std::string(c.name) == "browser-fourth";
        EXPECT_EQ(run.Calls("Close").size(), lastClosedByRuntime ? 0u : 1u);
        EXPECT_TRUE(run.Of("callAfterClose").empty());
        // host.log names each failure (kind, reason, exit code, process) and what was done.
        size_t failureLines = 0;
        bool logged = false;
        for (const std::string& line : run.hostLog) {
            failureLines += line.rfind("process failure: ", 0) == 0;
            logged = logged || line.find(c.logged) != std::string::npos;
        }
        EXPECT_EQ(failureLines, failures.size());
        EXPECT_TRUE(logged) << c.logged << "\n" << testing::PrintToString(run.hostLog);
        if (std::string(c.name) == "browser-fourth") {
            // first, never (the host waited 5 s, then went on), second, and the last one's.
            EXPECT_EQ(run.Events("BrowserProcessExited").size(), 3u);
            EXPECT_NE(
                testing::PrintToString(run.hostLog).find("no BrowserProcessExited within 5 s"),
                std::string::npos);
        }
        if (std::string(c.name).rfind("browser-exit-event-first", 0) == 0) {
            const auto environments = run.EnvironmentCalls();
            const auto exited = run.Events("BrowserProcessExited");
            ASSERT_EQ(environments.size(), 2u);
            ASSERT_EQ(exited.size(), 1u);
            EXPECT_LT(Seq(exited[0]), Seq(failures[0]));
            EXPECT_GT(Seq(environments[1]), Seq(exited[0]));
        }
        if (std::string(c.name) == "browser") {
            // The new control is made after the callback returned, with the same folder, options
            // and handlers.
            const auto environments = run.EnvironmentCalls();
            ASSERT_EQ(environments.size(), 2u);
            EXPECT_EQ(environments[1]["userDataFolder"], environments[0]["userDataFolder"]);
            EXPECT_EQ(environments[1]["additionalBrowserArguments"],
                      environments[0]["additionalBrowserArguments"]);
            EXPECT_GT(Seq(environments[1]), Seq(failures[0]));
            EXPECT_EQ(run.Calls("add_ProcessFailed").size(), 2u);
            EXPECT_EQ(run.Calls("add_WebMessageReceived").size(), 2u);
            // ... and only once the environment said the old browser process is gone.
            const auto exited = run.Events("BrowserProcessExited");
            ASSERT_EQ(exited.size(), 1u);
            EXPECT_EQ(exited[0]["handlers"], 1);
            // Fullscreen ended with the control it belonged to.
            const auto snapshots = run.Of("snapshot");
            ASSERT_EQ(snapshots.size(), 2u);
            EXPECT_EQ(snapshots[0]["style"].get<unsigned>() & 0x00C00000u, 0u) << "fullscreen";
            EXPECT_EQ(snapshots[1]["style"].get<unsigned>() & 0x00C00000u, 0x00C00000u);
            EXPECT_GT(Seq(environments[1]), Seq(exited[0]));
        }
    }
}

TEST_P(WebViewHostWithLoader, LoaderRetryAfterAFailedFirstCreationReadsWhatTheHostGave) {
    // The vendor's loader, after a failed first environment creation, tries once more from the
    // message loop with the very pointers the host passed: they must still be alive then. The
    // substitute loader imitates it; behind the vendor's loader, the substitute runtime fails its
    // first creation and the loader retries. In fixed mode the browser folder is among the
    // pointers too.
    const bool vendor = GetParam() == e2e::Loader::Vendor;
    struct Case {
        const char* retry;
        const char* settings;
        bool starts;
    };
    const Case cases[] = {
        {"succeeds", "", true},
        {"succeeds", R"("distribution-mode":"fixed")", true},
        {"fails", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("retry ") + c.retry + " " + c.settings);
        AppFolder app = BundleApp("host_retry", c.settings, GetParam());
        app.WriteFixedRuntime();
        const e2e::HostRun run = app.Run(c.starts ? "snapshot\nclose\n" : "", {},
                                         {{"WRAPPER_SUBSTITUTE_RETRY_ENVIRONMENT", c.retry}});
        const auto attempts = run.EnvironmentCalls();
        ASSERT_EQ(attempts.size(), 2u) << run.probe.dump();
        if (!vendor) {
            ASSERT_EQ(run.Of("loader-retry").size(), 1u);
            EXPECT_LT(Seq(attempts[0]), Seq(run.Of("loader-retry")[0]));
        }
        EXPECT_EQ(attempts[0]["attempt"], 1);
        EXPECT_EQ(attempts[1]["attempt"], 2);
        // The same text and the same options object, still intact, both times.
        for (const char* field :
             {"browserFolder", "userDataFolder", "additionalBrowserArguments", "language",
              "targetCompatibleBrowserVersion", "allowSingleSignOnUsingOSPrimaryAccount",
              "runtimeType", "runtimeFolder"}) {
            EXPECT_EQ(attempts[1].value(field, json()), attempts[0].value(field, json())) << field;
        }
        const std::string userData = attempts[1]["userDataFolder"];
        EXPECT_EQ(userData.substr(userData.size() - 10), "\\host-test") << userData;
        EXPECT_EQ(attempts[1]["additionalBrowserArguments"], "--disable-gpu --lang=fr");
        if (vendor) {
            EXPECT_EQ(attempts[1]["runtimeType"], std::string(c.settings).empty() ? 0 : 1);
        } else {
            EXPECT_EQ(attempts[1]["browserFolder"],
                      std::string(c.settings).empty() ? json(nullptr) : json("webview2"));
        }
        EXPECT_TRUE(run.Of("failure").empty());
        EXPECT_EQ(run.probe["timedOut"], false);
        if (c.starts) {
            EXPECT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
            EXPECT_TRUE(run.probe["boxes"].empty());
            ASSERT_EQ(run.Of("snapshot").size(), 1u);
            EXPECT_EQ(run.Of("snapshot")[0]["visible"], true);
            EXPECT_EQ(run.Calls("CreateCoreWebView2Controller").size(), 1u);
            EXPECT_EQ(run.Response("https://app.localhost/index.html")["status"], 200);
        } else {
            EXPECT_EQ(run.probe["exitCode"], 1) << run.probe.dump();
            ASSERT_EQ(run.probe["boxes"].size(), 1u);
            EXPECT_EQ(run.probe["boxes"][0]["text"], kStartFailed);
            EXPECT_EQ(run.probe["everVisible"], false);
            EXPECT_TRUE(run.Calls("CreateCoreWebView2Controller").empty());
        }
    }
}

TEST_P(WebViewHostWithLoader, HostingModeVariableAndFixedRuntimeFolder) {
    AppFolder app =
        BundleApp("host_hosting",
                  R"("hosting-mode":"window-to-visual","distribution-mode":"fixed")", GetParam());
    app.WriteFixedRuntime();
    const e2e::HostRun run = app.Run("close\n");
    const auto environments = run.EnvironmentCalls();
    ASSERT_EQ(environments.size(), 1u);
    EXPECT_EQ(environments[0]["forcedHostingMode"], "COREWEBVIEW2_HOSTING_MODE_WINDOW_TO_VISUAL");
    if (GetParam() == e2e::Loader::Vendor) {
        // The runtime started is the fixed-version one beside the app, not the installed one.
        EXPECT_EQ(environments[0]["runtimeType"], 1);
        EXPECT_EQ(environments[0]["runtimeFolder"], e2e::WinPath(app.Dir() / "webview2"));
    } else {
        EXPECT_EQ(environments[0]["browserFolder"], "webview2");
    }
    EXPECT_EQ(run.probe["exitCode"], 0);
}

class UrlHandlers : public testing::Test {
protected:
    // Registers the recorder as the prefix's handler of the schemes a page may open. It stays
    // registered: no other test opens URIs externally.
    static void SetUpTestSuite() {
        const std::string recorder =
            e2e::WinPath(e2e::WinBuildDir() / "tests/win/helpers/url_recorder.exe");
        for (const char* scheme : {"http", "https", "mailto", "wrappertest"}) {
            const std::string key = std::string("HKCR\\") + scheme;
            e2e::RunWine({"reg", "add", key, "/v", "URL Protocol", "/t", "REG_SZ", "/d", "", "/f"});
            e2e::RunWine({"reg", "add", key + "\\shell\\open\\command", "/ve", "/t", "REG_SZ",
                          "/d", "\"" + recorder + "\" \"%1\"", "/f"});
        }
    }
};

TEST_F(UrlHandlers, NewWindowsOpenOnlySafeUrisExternally) {
    AppFolder app = BundleApp("host_new_window");
    const std::string log = (app.Dir() / "opened.log").string();
    const e2e::HostRun run = app.Run(
        "new-window https://example.com/a?b=1\n"
        "new-window http://example.com/\n"
        "new-window mailto:someone@example.com\n"
        "new-window wrappertest://run/42\n"
        "new-window file:///C:/windows/system32/notepad.exe\n"
        "new-window C:\\windows\\system32\\notepad.exe\n"
        "new-window \\\\server\\share\\x.exe\n"
        "new-window javascript:alert(1)\n"
        "sleep 1500\n"
        "close\n",
        {}, {{"WRAPPER_TEST_OPEN_LOG", e2e::WinPath(log)}});
    const auto events = run.Events("NewWindowRequested");
    ASSERT_EQ(events.size(), 8u);
    for (const json& event : events) EXPECT_EQ(event["handled"], true) << event.dump();

    std::ifstream in(log);
    std::vector<std::string> opened;
    for (std::string line; std::getline(in, line);) opened.push_back(line);
    std::sort(opened.begin(), opened.end());
    const std::vector<std::string> expected = {"http://example.com/", "https://example.com/a?b=1",
                                               "mailto:someone@example.com",
                                               "wrappertest://run/42"};
    EXPECT_EQ(opened, expected);
}

}  // namespace
