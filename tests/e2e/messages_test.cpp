// Page messages end to end, through the substitute runtime under Wine: the handshake with its
// folder handles, window size, position and fullscreen on the real window, and messages from
// sources outside the app origin.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "harness.h"
#include "page_messages.h"

namespace {

using namespace e2e;
using nlohmann::json;

AppFolder WindowApp(const std::string& folder) {
    AppFolder app(folder);
    app.WritePackageJson(
        R"({"name":"messages-test","window":{"title":"Messages","width":640,"height":480}})");
    app.Write("www/index.html", "<!doctype html><title>Messages</title>");
    return app;
}

// The screen the session's Wine windows live on, from the X server: {0, 0, width, height}.
json MonitorRect() {
    const char* display = std::getenv("WRAPPER_TEST_DISPLAY");
    if (display == nullptr) display = std::getenv("DISPLAY");
    const e2e::ProcessResult result =
        e2e::RunProcess({"xdpyinfo", "-display", display != nullptr ? display : ""}, {}, 20);
    std::smatch match;
    const std::regex dimensions(R"(dimensions:\s+(\d+)x(\d+) pixels)");
    if (!std::regex_search(result.output, match, dimensions)) return nullptr;
    return json::array({0, 0, std::stoi(match[1]), std::stoi(match[2])});
}

int Width(const json& rect) { return rect[2].get<int>() - rect[0].get<int>(); }
int Height(const json& rect) { return rect[3].get<int>() - rect[1].get<int>(); }

TEST(Messages, HandshakeWithoutExtensionPostsHandlesThenTheAnswerEveryTime) {
    AppFolder app = WindowApp("messages_handshake");
    const e2e::HostRun run = app.Run(Post(kWrapperInit) + "wait PostWebMessageAsJson 1\n" +
                                     Post(kWrapperInit) + "wait PostWebMessageAsJson 2\nclose\n");
    ASSERT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
    EXPECT_TRUE(run.Of("failure").empty()) << run.Of("failure")[0].dump();

    EXPECT_EQ(PostedToPage(run), (std::vector<std::string>{"handles", kAnswerWithoutComponents,
                                                           "handles", kAnswerWithoutComponents}));
    const std::vector<json> handleMessages = run.Calls("PostWebMessageAsJsonWithAdditionalObjects");
    ASSERT_EQ(handleMessages.size(), 2u);
    const json& first = handleMessages[0];
    EXPECT_EQ(first["json"], R"({"type":"directory-handles"})");
    ASSERT_EQ(first["count"], 13);
    const json& objects = first["objects"];
    ASSERT_EQ(objects.size(), 13u) << first.dump();
    EXPECT_EQ(handleMessages[1]["objects"], objects) << "the second handshake repeats the set";

    std::vector<std::string> paths;
    for (size_t i = 0; i < objects.size(); ++i) {
        SCOPED_TRACE(i);
        if (i == 11) {
            EXPECT_EQ(objects[i], nullptr) << "Wine has no Screenshots folder";
            paths.emplace_back();
            continue;
        }
        ASSERT_TRUE(objects[i].is_object()) << objects[i].dump();
        EXPECT_EQ(objects[i]["kind"], "directory");
        EXPECT_EQ(objects[i]["permission"], "read-write");
        paths.push_back(objects[i]["path"]);
    }
    const std::string exeFolder = e2e::WinPath(app.Dir()) + "\\";
    EXPECT_EQ(paths[0], exeFolder);
    EXPECT_EQ(paths[1], exeFolder + "www\\");
    EXPECT_EQ(paths[2], paths[3] + "\\messages-test");
    // The user's folders: absolute, without a trailing backslash, in the profile as Wine lays it
    // out.
    const std::string& profile = paths[9];
    EXPECT_TRUE(std::regex_match(profile, std::regex(R"(C:\\users\\[^\\]+)"))) << profile;
    const std::vector<std::pair<size_t, std::string>> knownFolders = {
        {3, "\\AppData\\Local"}, {4, "\\AppData\\Roaming"}, {5, "\\Desktop"},
        {6, "\\Documents"},      {7, "\\Downloads"},        {8, "\\Pictures"},
        {10, "\\Saved Games"},   {12, "\\Videos"}};
    for (const auto& [index, tail] : knownFolders) {
        EXPECT_EQ(paths[index], profile + tail) << index;
    }
    for (size_t i = 2; i < paths.size(); ++i) {
        if (!paths[i].empty()) EXPECT_NE(paths[i].back(), '\\') << i;
    }

    // One handle asked for each non-empty folder, read-write, in table order.
    const std::vector<json> created = run.Calls("CreateWebFileSystemDirectoryHandle");
    ASSERT_EQ(created.size(), 24u);
    for (size_t i = 0, row = 0; i < 12; ++i, ++row) {
        if (row == 11) ++row;
        EXPECT_EQ(created[i]["path"], paths[row]) << i;
        EXPECT_EQ(created[i]["permission"], "read-write");
        EXPECT_EQ(created[i + 12]["path"], paths[row]) << i;
    }
}

TEST(Messages, OlderRuntimeGetsOnlyTheAnswer) {
    AppFolder app = WindowApp("messages_older_runtime");
    const e2e::HostRun run =
        app.Run(Post(kWrapperInit) + "wait PostWebMessageAsJson 1\n" + Post(kWrapperInit) +
                    "wait PostWebMessageAsJson 2\nclose\n",
                {}, {{"WRAPPER_SUBSTITUTE_NO_WEBVIEW23", "1"}});
    ASSERT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
    EXPECT_EQ(PostedToPage(run),
              (std::vector<std::string>{kAnswerWithoutComponents, kAnswerWithoutComponents}));
    EXPECT_TRUE(run.Calls("CreateWebFileSystemDirectoryHandle").empty());
    EXPECT_TRUE(run.Calls("CreateObjectCollection").empty());
}

// The page's window requests, step by step, each followed by a snapshot of the real window.
struct GeometryStep {
    const char* note;
    std::vector<std::string> messages;
};

std::vector<json> RunGeometry(const AppFolder& app, const std::vector<GeometryStep>& steps) {
    std::string scenario = "snapshot\n";
    for (const GeometryStep& step : steps) {
        for (const std::string& message : step.messages) scenario += Post(message);
        scenario += "snapshot\n";
    }
    const e2e::HostRun run = app.Run(scenario + "close\n");
    EXPECT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
    EXPECT_TRUE(run.Of("failure").empty());
    std::vector<json> snapshots = run.Of("snapshot");
    EXPECT_EQ(snapshots.size(), steps.size() + 1);
    snapshots.resize(steps.size() + 1);
    return snapshots;
}

std::string SizeMessage(const std::string& width, const std::string& height) {
    return R"({"type":"set-window-size","windowWidth":)" + width + R"(,"windowHeight":)" + height +
           "}";
}
std::string PositionMessage(const std::string& x, const std::string& y) {
    return R"({"type":"set-window-position","windowX":)" + x + R"(,"windowY":)" + y + "}";
}
constexpr char kEnterFullscreen[] = R"({"type":"set-fullscreen","fullscreen":true})";
constexpr char kLeaveFullscreen[] = R"({"type":"set-fullscreen","fullscreen":false})";

constexpr unsigned kFramedStyleBits = 0x00C40000;  // caption and sizing border
constexpr unsigned kEdgeExStyleBits = 0x00020301;  // the four edge styles

void ExpectSameWindow(const json& actual, const json& expected) {
    EXPECT_EQ(actual["windowRect"], expected["windowRect"]);
    EXPECT_EQ(actual["clientRect"], expected["clientRect"]);
    EXPECT_EQ(actual["style"], expected["style"]);
    EXPECT_EQ(actual["exStyle"], expected["exStyle"]);
}

// `fullscreen` covers the whole monitor and has the styles of the framed `windowed` without
// caption, sizing border or edges.
void ExpectFullscreenOf(const json& fullscreen, const json& windowed) {
    const json monitor = MonitorRect();
    ASSERT_NE(monitor, nullptr);
    const unsigned style = windowed["style"];
    const unsigned exStyle = windowed["exStyle"];
    ASSERT_EQ(style & kFramedStyleBits, kFramedStyleBits);
    EXPECT_EQ(fullscreen["windowRect"], monitor);
    EXPECT_EQ(fullscreen["clientRect"], monitor);
    EXPECT_EQ(fullscreen["style"].get<unsigned>(), style & ~kFramedStyleBits);
    EXPECT_EQ(fullscreen["exStyle"].get<unsigned>(), exStyle & ~kEdgeExStyleBits);
}

TEST(Messages, SizePositionAndFullscreenMoveTheRealWindowAt96Dpi) {
    AppFolder app = WindowApp("messages_geometry");
    const std::vector<GeometryStep> steps = {
        {"1 leaving while windowed does nothing; position",
         {kLeaveFullscreen, PositionMessage("120", "80")}},
        {"2 size", {SizeMessage("800", "600")}},
        {"3 negative position", {PositionMessage("-50", "10")}},
        {"4 sizes that are ignored",
         {SizeMessage("0", "600"), SizeMessage("800", "-1"), SizeMessage("\"900\"", "600"),
          R"({"type":"set-window-size","windowHeight":500})", SizeMessage("-2147483648", "5")}},
        {"5 fractions truncate", {SizeMessage("700.9", "500.2")}},
        {"6 enter fullscreen", {kEnterFullscreen}},
        {"7 repeated, size and position ignored",
         {kEnterFullscreen, SizeMessage("300", "200"), PositionMessage("5", "5")}},
        {"8 leave", {kLeaveFullscreen}},
        {"9 leave again", {kLeaveFullscreen}},
        {"10 in and out with a non-boolean flag",
         {kEnterFullscreen, R"({"type":"set-fullscreen","fullscreen":1})"}},
        {"11 in and out with the flag missing", {kEnterFullscreen, R"({"type":"set-fullscreen"})"}},
    };
    const std::vector<json> shot = RunGeometry(app, steps);
    ASSERT_EQ(shot.size(), steps.size() + 1);

    EXPECT_EQ(shot[0]["clientRect"], json::array({0, 0, 640, 480})) << shot[0].dump();
    // 1: the outer corner moves, the size stays.
    EXPECT_EQ(shot[1]["windowRect"], json::array({120, 80, 120 + Width(shot[0]["windowRect"]),
                                                  80 + Height(shot[0]["windowRect"])}));
    EXPECT_EQ(shot[1]["clientRect"], shot[0]["clientRect"]);
    // 2: the client area takes the requested size, the window keeps its top-left corner.
    EXPECT_EQ(shot[2]["clientRect"], json::array({0, 0, 800, 600}));
    EXPECT_EQ(shot[2]["windowRect"][0], 120);
    EXPECT_EQ(shot[2]["windowRect"][1], 80);
    // 3: negative positions are applied as they are.
    const int outerWidth = Width(shot[2]["windowRect"]);
    const int outerHeight = Height(shot[2]["windowRect"]);
    EXPECT_EQ(shot[3]["windowRect"], json::array({-50, 10, -50 + outerWidth, 10 + outerHeight}));
    ExpectSameWindow(shot[4], shot[3]);
    EXPECT_EQ(shot[5]["clientRect"], json::array({0, 0, 700, 500}));
    EXPECT_EQ(shot[5]["windowRect"][0], -50);

    // 6: the whole monitor, without caption, sizing border or edges.
    ExpectFullscreenOf(shot[6], shot[5]);
    ExpectSameWindow(shot[7], shot[6]);
    // 8: the exact rectangle and styles from before; 9 to 11 end where they began.
    ExpectSameWindow(shot[8], shot[5]);
    ExpectSameWindow(shot[9], shot[5]);
    ExpectSameWindow(shot[10], shot[5]);
    ExpectSameWindow(shot[11], shot[5]);
}

TEST(Messages, PageFullscreenEventMovesTheRealWindowAndMatchingRequestsChangeNothing) {
    // The page's own fullscreen (element.requestFullscreen) reaches the host as the runtime's
    // ContainsFullScreenElementChanged event; the scenario's "fullscreen" step raises it.
    AppFolder app = WindowApp("messages_page_fullscreen");
    const std::string scenario = "snapshot\n" + Post(PositionMessage("60", "40")) +
                                 "snapshot\n"                     // 1 windowed
                                 "fullscreen true\nsnapshot\n" +  // 2 fullscreen
                                 Post(SizeMessage("300", "200")) +
                                 Post(PositionMessage("5", "5")) + "snapshot\n" +  // 3 ignored
                                 Post(kEnterFullscreen) +
                                 "snapshot\n"                      // 4 matches
                                 "fullscreen false\nsnapshot\n" +  // 5 back
                                 Post(kLeaveFullscreen) +
                                 "snapshot\n"                      // 6 matches
                                 "fullscreen false\nsnapshot\n" +  // 7 again
                                 Post(SizeMessage("500", "400")) +
                                 "snapshot\nclose\n";  // 8
    const e2e::HostRun run = app.Run(scenario);
    ASSERT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
    EXPECT_TRUE(run.Of("failure").empty());
    const std::vector<json> events = run.Events("ContainsFullScreenElementChanged");
    ASSERT_EQ(events.size(), 3u);
    for (const json& event : events) EXPECT_EQ(event["handlers"], 1) << event.dump();
    const std::vector<json> shot = run.Of("snapshot");
    ASSERT_EQ(shot.size(), 9u);

    const json& windowed = shot[1];
    EXPECT_EQ(windowed["windowRect"][0], 60);
    EXPECT_EQ(windowed["windowRect"][1], 40);
    ExpectFullscreenOf(shot[2], windowed);
    ExpectSameWindow(shot[3], shot[2]);
    ExpectSameWindow(shot[4], shot[2]);
    // Back to the rectangle and styles saved when the page went fullscreen.
    ExpectSameWindow(shot[5], windowed);
    ExpectSameWindow(shot[6], windowed);
    ExpectSameWindow(shot[7], windowed);
    // Size requests count again.
    EXPECT_EQ(shot[8]["clientRect"], json::array({0, 0, 500, 400}));
}

TEST(Messages, SizesAndPositionsScaleAt120Dpi) {
    e2e::DpiScope dpi(120);
    AppFolder app = WindowApp("messages_geometry_120");
    const std::vector<GeometryStep> steps = {
        {"1 size", {SizeMessage("1024", "768")}},
        {"2 odd sizes round up", {SizeMessage("1001", "101")}},
        {"3 position", {PositionMessage("-40", "101")}},
    };
    const std::vector<json> shot = RunGeometry(app, steps);
    ASSERT_EQ(shot.size(), steps.size() + 1);
    EXPECT_EQ(shot[0]["clientRect"], json::array({0, 0, 800, 600})) << "640 x 480 at 1.25";
    EXPECT_EQ(shot[1]["clientRect"], json::array({0, 0, 1280, 960}));
    EXPECT_EQ(shot[2]["clientRect"], json::array({0, 0, 1252, 127})) << "1251.25 and 126.25";
    const json& rect = shot[3]["windowRect"];
    EXPECT_EQ(rect[0], -50);
    EXPECT_EQ(rect[1], 127);
    EXPECT_EQ(Width(rect), Width(shot[2]["windowRect"]));
}

TEST(Messages, ForeignSourcesChangeNothing) {
    const std::vector<std::string> everything = {kWrapperInit, SizeMessage("900", "700"),
                                                 PositionMessage("33", "44"), kEnterFullscreen,
                                                 R"({"type":"extension-message"})"};
    {
        SCOPED_TRACE("bundle mode");
        AppFolder app = WindowApp("messages_foreign");
        std::string scenario = "snapshot\n";
        for (const char* source :
             {"https://example.com/", "https://app.localhost.attacker.net/",
              "http://app.localhost/", "https://APP.LOCALHOST/", "https://app.localhost"}) {
            for (const std::string& message : everything) scenario += Post(message, source);
        }
        // The same messages from the app, with a letter-case variant of each type first.
        scenario += "snapshot\n" +
                    Post(R"({"type":"Set-Window-Size","windowWidth":900,"windowHeight":700})") +
                    Post(R"({"type":"WRAPPER-INIT"})") + "snapshot\n" +
                    Post(SizeMessage("900", "700")) + Post(kWrapperInit) + "snapshot\nclose\n";
        const e2e::HostRun run = app.Run(scenario);
        ASSERT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
        const std::vector<json> shot = run.Of("snapshot");
        ASSERT_EQ(shot.size(), 4u);
        ExpectSameWindow(shot[1], shot[0]);
        ExpectSameWindow(shot[2], shot[0]);
        EXPECT_EQ(shot[3]["clientRect"], json::array({0, 0, 900, 700}));
        EXPECT_EQ(PostedToPage(run),
                  (std::vector<std::string>{"handles", kAnswerWithoutComponents}));
    }
    {
        SCOPED_TRACE("remote mode with a bare origin");
        AppFolder app("messages_foreign_remote");
        app.WritePackageJson(
            R"({"name":"remote","main":"https://example.com","settings":{"content-mode":"remote"}})");
        std::string scenario = "snapshot\n";
        for (const std::string& message : everything) {
            scenario += Post(message, "https://example.com.attacker.net/");
        }
        scenario += "snapshot\n" + Post(SizeMessage("900", "700"), "https://example.com/page") +
                    Post(kWrapperInit, "https://example.com") + "snapshot\nclose\n";
        const e2e::HostRun run = app.Run(scenario);
        ASSERT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
        const std::vector<json> shot = run.Of("snapshot");
        ASSERT_EQ(shot.size(), 3u);
        ExpectSameWindow(shot[1], shot[0]);
        EXPECT_EQ(shot[2]["clientRect"], json::array({0, 0, 900, 700}));
        EXPECT_EQ(PostedToPage(run),
                  (std::vector<std::string>{"handles", kAnswerWithoutComponents}));
    }
}

}  // namespace
