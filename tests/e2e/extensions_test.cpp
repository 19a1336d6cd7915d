// Native extensions end to end under Wine: the test libraries of tests/win/helpers/extensions log
// every call the host makes into them (and every call they make back), and the substitute's
// transcript shows what reached the page.
#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "harness.h"
#include "page_messages.h"

namespace {

using namespace e2e;
using nlohmann::json;

// package.json with formatting, CRLF line ends, non-ASCII text and members the host never reads:
// the extension must get these bytes back unchanged.
constexpr char kPackageJson[] =
    "{\r\n\t\"name\": \"ext-test\",\r\n  \"window\" : { \"title\": \"Extensions \xE2\x9C\x93\" },"
    "\r\n  \"x-extension\": {\"keep\": [1, 2.50, \"\\u00e9\"]}\r\n}\r\n";

struct ExtensionRun {
    e2e::HostRun host;
    std::vector<json> log;  // the library's log lines, in order

    // The host's calls into the library, in order (the "call" lines).
    std::vector<json> Calls() const {
        std::vector<json> calls;
        for (const json& line : log) {
            if (line.contains("call")) calls.push_back(line);
        }
        return calls;
    }
    std::vector<std::string> CallNames() const {
        std::vector<std::string> names;
        for (const json& call : Calls()) names.push_back(call["call"]);
        return names;
    }
};

e2e::fs::path TestLibrary(const std::string& variant) {
    return e2e::WinBuildDir() / "tests/win/helpers/extensions" / variant / "DI2ZozUzoraru.dll";
}

// An app folder with `library` (none when empty) beside the host as DI2ZozUzoraru.dll.
AppFolder ExtensionApp(const std::string& folder, const e2e::fs::path& library) {
    AppFolder app(folder);
    app.WritePackageJson(kPackageJson);
    app.Write("www/index.html", "<!doctype html><title>Extensions</title>");
    if (!library.empty()) app.CopyIn(library, "DI2ZozUzoraru.dll");
    return app;
}

ExtensionRun RunExtension(const AppFolder& app, const std::string& scenario,
                          std::map<std::string, std::string> env = {},
                          const std::vector<std::string>& probeOptions = {}) {
    const e2e::fs::path log = app.Dir() / "extension.log";
    e2e::fs::remove(log);
    env["WRAPPER_TEST_EXTENSION_LOG"] = e2e::WinPath(log);
    ExtensionRun run;
    run.host = app.Run(scenario, probeOptions, env);
    run.log = e2e::ReadJsonLines(log);
    EXPECT_EQ(run.host.probe["exitCode"], 0) << run.host.probe.dump();
    EXPECT_TRUE(run.host.probe["boxes"].empty()) << run.host.probe.dump();
    EXPECT_TRUE(run.host.Of("failure").empty());
    return run;
}

std::string Answer(const std::string& idsArray) {
    return R"({"registeredComponentIds":)" + idsArray + R"(,"type":"wrapper-init-response"})";
}

// What every library's log shows whatever it exports: all calls on one thread, the main window
// present from "OnMainWindowCreated" until the loop has ended, "Release" as the last call, and
// after it only the library's unloading by FreeLibrary.
void ExpectLifecycle(const ExtensionRun& run) {
    const std::vector<json> calls = run.Calls();
    ASSERT_FALSE(calls.empty());
    std::set<long> threads;
    for (const json& call : calls) {
        threads.insert(call["thread"].get<long>());
        const std::string name = call["call"];
        const int expectedWindows = name == "Init" || name == "Release" ? 0 : 1;
        EXPECT_EQ(call["mainWindows"], expectedWindows) << call.dump();
    }
    EXPECT_EQ(threads.size(), 1u) << "every call on the GUI thread";
    EXPECT_EQ(calls.back()["call"], "Release");
    ASSERT_GE(run.log.size(), 2u);
    EXPECT_EQ(run.log[run.log.size() - 2], calls.back()) << "nothing after Release";
    EXPECT_EQ(run.log.back(), json({{"dll", "detach"}, {"freeLibrary", true}}));
}

TEST(Extensions, ExportsAndInitResultDecideTheCallsAndTheAnswer) {
    const std::string before = R"({"type":"extension-message","k":"before"})";
    const std::string after = R"({"type":"extension-message","k":"after"})";
    const std::string scenario =
        Post(before) + Post(kWrapperInit) + "wait PostWebMessageAsJson 1\n" + Post(after) +
        Post(kWrapperInit) + "wait PostWebMessageAsJson 2\nsnapshot\nclose\n";
    const std::vector<std::string> allFour = {"Init", "OnMainWindowCreated", "OnExtensionMessage",
                                              "OnExtensionMessage", "Release"};
    struct Case {
        const char* variant;  // "" for no library at all
        std::vector<std::string> calls;
        const char* ids;
    };
    const Case cases[] = {
        {"", {}, "[]"},
        {"init_empty", allFour, "[]"},
        {"init_null", allFour, "[]"},
        {"duplicates", allFour, R"(["a","a","b"])"},
        {"no_init", {"OnExtensionMessage", "OnExtensionMessage", "Release"}, "[]"},
    };
    std::vector<ExtensionRun> runs;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("library: ") + c.variant);
        const std::string variant = c.variant;
        AppFolder app = ExtensionApp("extension_calls_" + (variant.empty() ? "none" : variant),
                                     variant.empty() ? e2e::fs::path() : TestLibrary(variant));
        runs.push_back(RunExtension(app, scenario));
        const ExtensionRun& run = runs.back();
        const std::string answer = Answer(c.ids);
        EXPECT_EQ(PostedToPage(run.host),
                  (std::vector<std::string>{"handles", answer, "handles", answer}));
        EXPECT_EQ(run.CallNames(), c.calls);
        if (c.calls.empty()) {
            EXPECT_TRUE(run.log.empty());
            continue;
        }
        ExpectLifecycle(run);
        std::vector<std::string> received;
        for (const json& call : run.Calls()) {
            if (call["call"] == "OnExtensionMessage") received.push_back(call["json"]);
        }
        EXPECT_EQ(received, (std::vector<std::string>{before, after}));
    }
    ASSERT_EQ(runs.size(), 5u);
    // Without the library the host makes the very same runtime calls as with one that registers
    // nothing and ignores every message, and leaves its window as it does: the window the host
    // made and sized, as the runtime saw it while the page ran (where the system put it is not
    // the host's decision, and the probe's last look may come while the window is going).
    EXPECT_EQ(runs[0].host.CallSequence(), runs[1].host.CallSequence());
    const auto decided = [](const ExtensionRun& run) {
        std::vector<json> window;
        for (json snapshot : run.host.Of("snapshot")) {
            for (const char* key : {"seq", "time", "windowRect"}) snapshot.erase(key);
            window.push_back(snapshot);
        }
        for (const json& bounds : run.host.Calls("put_Bounds")) window.push_back(bounds["bounds"]);
        return window;
    };
    ASSERT_EQ(runs[0].host.Of("snapshot").size(), 1u);
    EXPECT_EQ(runs[0].host.Of("snapshot")[0]["visible"], true);
    EXPECT_EQ(decided(runs[0]), decided(runs[1]));
}

// The "GetDirectoryPath" lines that follow the n-th call of the host (0-based), as tag -> result.
std::map<std::string, std::string> PathsReadAfterCall(const ExtensionRun& run, size_t n) {
    std::map<std::string, std::string> paths;
    size_t seen = 0;
    for (const json& line : run.log) {
        if (line.contains("call")) {
            if (seen++ > n) break;
            continue;
        }
        if (seen == n + 1 && line["app"] == "GetDirectoryPath") paths[line["tag"]] = line["result"];
    }
    return paths;
}

const char* const kTags[] = {"<app>",
                             "<web-resource>",
                             "<current-app-data>",
                             "<local-app-data>",
                             "<roaming-app-data>",
                             "<desktop>",
                             "<documents>",
                             "<downloads>",
                             "<pictures>",
                             "<profile>",
                             "<saved-games>",
                             "<screenshots>",
                             "<videos>"};

TEST(Extensions, FullLibrarySeesFoldersPackageTextAndMessagesAndItsRepliesReachThePage) {
    AppFolder app = ExtensionApp("extension_full", TestLibrary("full"));
    // Sent with leading blanks, a tab, escapes, non-ASCII text and members the host ignores: the
    // library must receive exactly these bytes.
    const std::string exact =
        "  {\"type\" : \"extension-message\",\t\"data\": {\"\xC3\xA9\": \"\\u00e9 \xE2\x9C\x93\", "
        "\"n\": 1.50e+1}, \"unknown\": [1, 2 ,3]}";
    const std::string scenario =
        Post(R"({"type":"extension-message","n":1})") + Post(kWrapperInit) +
        "wait PostWebMessageAsJson 2\n" + Post(exact) +
        // A reload does not make the page "not ready" again.
        "navigate https://app.localhost/index.html\n" +
        Post(R"({"type":"extension-message","n":3})") + Post(kWrapperInit) +
        "wait PostWebMessageAsJson 5\n" + Post(R"({"type":"extension-message","n":4})") +
        "wait PostWebMessageAsJson 6\nclose\n";
    const ExtensionRun run = RunExtension(app, scenario);

    const std::string answer = Answer(R"(["alpha","β-beta"])");
    const auto reply = [](int n) {
        return R"({"type":"extension-reply","count":)" + std::to_string(n) + "}";
    };
    EXPECT_EQ(PostedToPage(run.host),
              (std::vector<std::string>{"handles", answer, reply(1), reply(2), reply(3), "handles",
                                        answer, reply(4)}));
    // The library hears a page message once the runtime's callback for it has returned, before
    // the page's next message: so the event line before each later reply is the message that
    // caused it (the first reply waited for the first handshake's answer, checked above).
    std::vector<std::string> causes;
    for (const json& post : run.host.Calls("PostWebMessageAsJson")) {
        const std::string text = post["json"];
        if (text.find("extension-reply") == std::string::npos || text == reply(1)) continue;
        json previous;
        for (const json& line : run.host.Of("event")) {
            if (line["seq"].get<long>() < post["seq"].get<long>()) previous = line;
        }
        EXPECT_EQ(previous.value("event", ""), "WebMessageReceived") << text;
        causes.push_back(previous.value("string", ""));
    }
    EXPECT_EQ(causes, (std::vector<std::string>{exact, R"({"type":"extension-message","n":3})",
                                                R"({"type":"extension-message","n":4})"}));

    ASSERT_EQ(run.CallNames(),
              (std::vector<std::string>{"Init", "OnMainWindowCreated", "OnExtensionMessage",
                                        "OnExtensionMessage", "OnExtensionMessage",
                                        "OnExtensionMessage", "Release"}));
    ExpectLifecycle(run);
    const std::vector<json> calls = run.Calls();
    const std::string exeFolder = e2e::WinPath(app.Dir()) + "\\";
    const json handles = run.host.Calls("PostWebMessageAsJsonWithAdditionalObjects").at(0);
    const std::string localAppData = handles["objects"][3]["path"];
    EXPECT_EQ(calls[0]["exeFolder"], exeFolder);
    EXPECT_EQ(calls[0]["contentFolder"], "www\\");
    EXPECT_EQ(calls[0]["userDataFolder"], localAppData + "\\ext-test");
    EXPECT_EQ(calls[0]["app"], true);
    EXPECT_EQ(calls[1]["isMainWindow"], true);
    EXPECT_EQ(calls[1]["visible"], false);
    EXPECT_EQ(calls[3]["json"], exact);

    // Read back in "Init": the package text, byte for byte.
    ASSERT_GE(run.log.size(), 3u);
    EXPECT_EQ(run.log[1], json({{"app", "GetPackageJson"}, {"result", kPackageJson}}));
    // Before the first handshake no folder is known: in "Init", "OnMainWindowCreated" and the
    // first message.
    using Paths = std::map<std::string, std::string>;
    EXPECT_EQ(PathsReadAfterCall(run, 0), (Paths{{"<documents>", ""}}));
    EXPECT_EQ(PathsReadAfterCall(run, 1), (Paths{{"<documents>", ""}}));
    const Paths beforeHandshake = PathsReadAfterCall(run, 2);
    ASSERT_EQ(beforeHandshake.size(), 15u);
    for (const auto& [tag, path] : beforeHandshake) EXPECT_EQ(path, "") << tag;
    // After it: the path behind each handle, the empty string for the slot without one and for
    // tags that are not in the table (letter case counts).
    const Paths afterHandshake = PathsReadAfterCall(run, 3);
    ASSERT_EQ(afterHandshake.size(), 15u);
    for (size_t i = 0; i < std::size(kTags); ++i) {
        const json& handle = handles["objects"][i];
        EXPECT_EQ(afterHandshake.at(kTags[i]), handle.is_null() ? "" : handle.value("path", "?"))
            << kTags[i];
    }
    EXPECT_EQ(afterHandshake.at("<app>"), exeFolder);
    EXPECT_EQ(afterHandshake.at("<web-resource>"), exeFolder + "www\\");
    const std::string documents = afterHandshake.at("<documents>");
    EXPECT_FALSE(documents.empty());
    EXPECT_NE(documents.back(), '\\');
    EXPECT_EQ(afterHandshake.at("<screenshots>"), "");
    EXPECT_EQ(afterHandshake.at("<Documents>"), "");
    EXPECT_EQ(afterHandshake.at(""), "");
    EXPECT_EQ(PathsReadAfterCall(run, 4), afterHandshake);
    EXPECT_EQ(PathsReadAfterCall(run, 5), afterHandshake) << "a second handshake, the same paths";
}

TEST(Extensions, OlderRuntimeLeavesEveryFolderUnknown) {
    AppFolder app = ExtensionApp("extension_older_runtime", TestLibrary("full"));
    const ExtensionRun run = RunExtension(app,
                                          Post(kWrapperInit) + "wait PostWebMessageAsJson 1\n" +
                                              Post(R"({"type":"extension-message"})") +
                                              "wait PostWebMessageAsJson 2\nclose\n",
                                          {{"WRAPPER_SUBSTITUTE_NO_WEBVIEW23", "1"}});
    EXPECT_EQ(PostedToPage(run.host),
              (std::vector<std::string>{Answer(R"(["alpha","β-beta"])"),
                                        R"({"type":"extension-reply","count":1})"}));
    const std::map<std::string, std::string> paths = PathsReadAfterCall(run, 2);
    ASSERT_EQ(paths.size(), 15u);
    for (const auto& [tag, path] : paths) EXPECT_EQ(path, "") << tag;
}

TEST(Extensions, MessagesSentBeforeTheFirstHandshakeFollowItsAnswerInOrder) {
    AppFolder app = ExtensionApp("extension_sends", TestLibrary("sends"));
    const ExtensionRun run =
        RunExtension(app, Post(kWrapperInit) + "wait PostWebMessageAsJson 4\n" +
                              Post(kWrapperInit) + "wait PostWebMessageAsJson 5\nclose\n");
    const std::string fromInit1 = R"({"type":"from-init","n":1})";
    const std::string fromInit2 = "{\"type\":\"from-init\",\"n\":2,\"text\":\"\xC3\xA9t\xC3\xA9\"}";
    const std::string notJson = "not json, passed on as it is";
    const std::string answer = Answer(R"(["sender"])");
    EXPECT_EQ(PostedToPage(run.host),
              (std::vector<std::string>{"handles", answer, fromInit1, fromInit2, notJson, "handles",
                                        answer}));
    // The text that is not JSON went to the runtime unchanged (which refused it).
    const std::vector<json> posts = run.host.Calls("PostWebMessageAsJson");
    ASSERT_EQ(posts.size(), 5u);
    EXPECT_EQ(posts[3]["valid"], false);
    EXPECT_EQ(run.CallNames(),
              (std::vector<std::string>{"Init", "OnMainWindowCreated", "Release"}));
    ExpectLifecycle(run);
}

TEST(Extensions, WorkerThreadMessagesReachThePageAllInOrderOnceAcrossHandshakes) {
    // The library's worker sends 500 texts before the first handshake (queued), then, once it
    // has seen the folders of that handshake, 500 more while the page handshakes again.
    AppFolder app = ExtensionApp("extension_threaded", TestLibrary("threaded"));
    const ExtensionRun run =
        RunExtension(app, Post(kWrapperInit) + "wait PostWebMessageAsJson 521 30000\n" +
                              Post(kWrapperInit) + "wait PostWebMessageAsJson 1002 30000\nclose\n");
    EXPECT_TRUE(run.host.Of("failure").empty()) << run.host.Of("failure")[0].dump();
    const std::string answer = Answer(R"(["worker"])");
    const std::vector<std::string> posted = PostedToPage(run.host);
    std::vector<int> numbers;
    std::vector<size_t> answers;
    std::vector<size_t> handles;
    for (size_t i = 0; i < posted.size(); ++i) {
        if (posted[i] == "handles") {
            handles.push_back(i);
        } else if (posted[i] == answer) {
            answers.push_back(i);
        } else {
            const json message = json::parse(posted[i]);
            ASSERT_EQ(message["type"], "worker") << posted[i];
            numbers.push_back(message["n"]);
        }
    }
    std::vector<int> expected(1000);
    for (int n = 0; n < 1000; ++n) expected[n] = n;
    EXPECT_EQ(numbers, expected) << "every text once, in the order sent";
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0], 1u);
    EXPECT_EQ(handles, (std::vector<size_t>{0, answers[1] - 1}));
    // The first 500 were queued and follow the first answer; the second handshake came while the
    // worker was still sending.
    EXPECT_EQ(posted[2], R"({"type":"worker","n":0})");
    EXPECT_EQ(posted[501], R"({"type":"worker","n":499})");
    EXPECT_LT(answers[1], posted.size() - 1) << "the second handshake came after the last text";

    ASSERT_EQ(run.CallNames(),
              (std::vector<std::string>{"Init", "OnMainWindowCreated", "Release"}));
    ExpectLifecycle(run);
    const long guiThread = run.Calls()[0]["thread"];
    const json handleMessage = run.host.Calls("PostWebMessageAsJsonWithAdditionalObjects").at(0);
    std::map<std::string, json> worker;
    for (const json& line : run.log) {
        if (line.contains("worker")) worker[line["worker"]] = line;
    }
    ASSERT_EQ(worker.size(), 2u) << run.log.size();
    EXPECT_EQ(worker["documents"]["result"], handleMessage["objects"][6]["path"]);
    EXPECT_NE(worker["documents"]["thread"].get<long>(), guiThread);
    EXPECT_EQ(worker["done"]["sent"], 1000);
}

TEST(Extensions, TextsWaitAcrossABrowserExitAndArriveInOrder) {
    // The browser process exits while the library's worker sends its second 500 texts, three
    // times, with the environment's BrowserProcessExited before ProcessFailed, never, and after
    // it: each time the host makes a new control, its page handshakes again and gets its folders
    // anew, and every text reaches a page once, in the order sent (those sent while no control
    // existed wait for the new page's handshake). The scenario goes on in each new control.
    AppFolder app = ExtensionApp("extension_browser_exit", TestLibrary("threaded"));
    const ExtensionRun run =
        RunExtension(app,
                     Post(kWrapperInit) + "wait PostWebMessageAsJson 521 30000\n" +
                         "process-failed browser-exited exit-event first\n" + Post(kWrapperInit) +
                         "wait PostWebMessageAsJson 600 30000\n" +
                         "process-failed browser-exited exit-event never\n" + Post(kWrapperInit) +
                         "wait PostWebMessageAsJson 700 30000\n" +
                         "process-failed browser-exited exit-event second\n" + Post(kWrapperInit) +
                         "wait PostWebMessageAsJson 1004 30000\nend\n",
                     {},
                     {"--watch", e2e::WinPath(app.Dir() / "transcript.jsonl"), "--close-on-text",
                      "\"type\":\"end\""});
    ASSERT_EQ(run.host.EnvironmentCalls().size(), 4u);
    ASSERT_EQ(run.host.Calls("CreateCoreWebView2Controller").size(), 4u);
    const std::string answer = Answer(R"(["worker"])");
    const std::vector<std::string> posted = PostedToPage(run.host);
    std::vector<int> numbers;
    size_t answers = 0, handles = 0;
    for (const std::string& text : posted) {
        if (text == "handles") {
            ++handles;
        } else if (text == answer) {
            ++answers;
        } else {
            numbers.push_back(json::parse(text).at("n"));
        }
    }
    std::vector<int> expected(1000);
    for (int n = 0; n < 1000; ++n) expected[n] = n;
    EXPECT_EQ(numbers, expected) << "every text once, in the order sent";
    EXPECT_EQ(answers, 4u);
    EXPECT_EQ(handles, 4u) << "each new page gets its folder handles anew";
    EXPECT_EQ(run.CallNames(),
              (std::vector<std::string>{"Init", "OnMainWindowCreated", "Release"}));
    ExpectLifecycle(run);
}

TEST(Extensions, ATextWhoseRelayPostFailedStillReachesThePageInOrder) {
    // A test-hooks switch makes the relay's first post fail, as when the GUI thread's queue is
    // full. The worker sends one text, then waits for the page to speak before it sends the
    // next: the first must arrive without that help.
    AppFolder app = ExtensionApp("extension_relay", TestLibrary("relay"));
    const ExtensionRun run = RunExtension(app,
                                          Post(kWrapperInit) + "wait PostWebMessageAsJson 2\n" +
                                              Post(R"({"type":"extension-message"})") +
                                              "wait PostWebMessageAsJson 3\nclose\n",
                                          {{"WRAPPER_TEST_FAIL_RELAY_POST", "1"}});
    EXPECT_EQ(PostedToPage(run.host), (std::vector<std::string>{"handles", Answer(R"(["relay"])"),
                                                                R"({"type":"relayed","n":1})",
                                                                R"({"type":"relayed","n":2})"}));
}

TEST(Extensions, NothingReachesTheLibraryOnceItsReleaseHasBegun) {
    // The library's "Release" runs a message loop of its own for 300 ms while the page goes on
    // sending it messages and asking for files: no event reaches the host any more, and so no
    // call reaches the library.
    AppFolder app = ExtensionApp("extension_release_pumps", TestLibrary("pumps"));
    std::string afterClose;
    for (int i = 0; i < 10; ++i) {
        afterClose += "sleep 25\n" +
                      Post(R"({"type":"extension-message","late":)" + std::to_string(i) + "}") +
                      "request GET https://app.localhost/index.html other\n";
    }
    const ExtensionRun run =
        RunExtension(app, Post(kWrapperInit) + "wait PostWebMessageAsJson 1\n" +
                              Post(R"({"type":"extension-message"})") + "close\n" + afterClose);
    EXPECT_EQ(run.CallNames(), (std::vector<std::string>{"Init", "OnMainWindowCreated",
                                                         "OnExtensionMessage", "Release"}));
    ASSERT_GE(run.log.size(), 2u);
    EXPECT_EQ(run.log[run.log.size() - 2], json({{"released", "end"}}));
    EXPECT_EQ(run.log.back(), json({{"dll", "detach"}, {"freeLibrary", true}}));
    // The page did go on while "Release" ran, but the host had closed the control when its
    // window closed: the runtime raised none of its messages and requests.
    std::map<std::string, int> skipped;
    for (const json& line : run.host.Of("skipped")) ++skipped[line.value("event", "")];
    EXPECT_GT(skipped["WebMessageReceived"], 2);
    EXPECT_GT(skipped["WebResourceRequested"], 0);
    EXPECT_EQ(run.host.Events("WebMessageReceived").size(), 2u);
    EXPECT_EQ(run.host.Of("response").size(), 1u) << "the start page's only";
}

TEST(Extensions, ALibraryShowingABoxForAMessageRunsItsLoopOutsideTheRuntimesCallback) {
    // The library's OnExtensionMessage runs a loop like a message box's for 200 ms each time. It
    // is called once the runtime's callback has returned, once per message in the page's order,
    // never from its own loop, and a handshake the page sent after a message still comes after
    // it. Its reply sent from Release is dropped.
    AppFolder app = ExtensionApp("extension_modal", TestLibrary("modal"));
    const std::string first = R"({"type":"extension-message","n":1})";
    const std::string second = R"({"type":"extension-message","n":2})";
    const std::string third = R"({"type":"extension-message","n":3})";
    const ExtensionRun run =
        RunExtension(app, Post(first) + Post(kWrapperInit) + Post(second) + Post(third) +
                              "wait PostWebMessageAsJson 4\nclose\n");
    EXPECT_TRUE(run.host.Of("nestedLoopInCallback").empty());
    // What the library sends during its Release, after the control was closed, is dropped by the
    // host: the runtime never hears of it.
    EXPECT_TRUE(run.host.Of("callAfterClose").empty());
    const auto reply = [](int n) {
        return R"({"type":"modal-reply","n":)" + std::to_string(n) + "}";
    };
    EXPECT_EQ(PostedToPage(run.host), (std::vector<std::string>{"handles", Answer(R"(["modal"])"),
                                                                reply(1), reply(2), reply(3)}));
    std::vector<json> seen;
    for (const json& line : run.log) {
        if (line.contains("modal") || line.value("call", "") == "OnExtensionMessage") {
            seen.push_back(line.contains("modal") ? line : json{{"json", line["json"]}});
        }
    }
    EXPECT_EQ(seen, (std::vector<json>{{{"json", first}},
                                       {{"modal", "end"}, {"n", 1}},
                                       {{"json", second}},
                                       {{"modal", "end"}, {"n", 2}},
                                       {{"json", third}},
                                       {{"modal", "end"}, {"n", 3}}}));
    ExpectLifecycle(run);
}

TEST(Extensions, ComponentIdThatIsNotUtf8StopsEveryHandshakeBeforeItsAnswer) {
    // The answer cannot be written: each handshake posts the folder handles and nothing more, the
    // texts the library sent stay queued, and so does one it sends after the first handshake.
    AppFolder app = ExtensionApp("extension_bad_id", TestLibrary("bad_id"));
    const ExtensionRun run = RunExtension(
        app, Post(kWrapperInit) + "wait PostWebMessageAsJsonWithAdditionalObjects 1\n" +
                 Post(R"({"type":"extension-message"})") + Post(kWrapperInit) +
                 "wait PostWebMessageAsJsonWithAdditionalObjects 2\n" +
                 Post(R"({"type":"extension-message"})") + "sleep 300\nclose\n");
    EXPECT_EQ(PostedToPage(run.host), (std::vector<std::string>{"handles", "handles"}));
    EXPECT_TRUE(run.host.Calls("PostWebMessageAsJson").empty());
    EXPECT_EQ(run.CallNames(),
              (std::vector<std::string>{"Init", "OnMainWindowCreated", "OnExtensionMessage",
                                        "OnExtensionMessage", "Release"}));
    std::vector<std::string> sent;
    for (const json& line : run.log) {
        if (line.contains("app") && line["app"] == "SendWebMessage") sent.push_back(line["json"]);
    }
    EXPECT_EQ(sent, (std::vector<std::string>{R"({"type":"from-init"})", R"({"type":"later"})",
                                              R"({"type":"later"})"}));
    ExpectLifecycle(run);
}

TEST(Extensions, EarlyExitsAtTheWindowKeepTheLibraryLoadedUntilTheProcessEnds) {
    struct Case {
        const char* step;
        const char* variant;
        const char* text;
        const char* caption;
        std::vector<std::string> calls;
    };
    const char* const fallback = "Windows WebView2 wrapper";
    const Case cases[] = {
        {"12", "full", "Failed to register window class", fallback, {"Init"}},
        {"15", "full", "Failed to create window", fallback, {"Init"}},
        // A worker still sending while the box is up and when the process ends.
        {"15", "threaded", "Failed to create window", fallback, {"Init"}},
        // Start-up throws (no memory for the host object) after the window was made.
        {"17",
         "threaded",
         "Failed to start the WebView2 control. Check that the Microsoft Edge WebView2 runtime is "
         "installed and working.",
         "Extensions \xE2\x9C\x93",
         {"Init", "OnMainWindowCreated"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("step ") + c.step + ", library " + c.variant);
        AppFolder app =
            ExtensionApp(std::string("extension_early_exit_") + c.step + "_" + c.variant,
                         TestLibrary(c.variant));
        const e2e::fs::path log = app.Dir() / "extension.log";
        const e2e::HostRun run = app.Run("", {},
                                         {{"WRAPPER_TEST_EXTENSION_LOG", e2e::WinPath(log)},
                                          {"WRAPPER_TEST_FAIL_STARTUP_STEP", c.step}});
        EXPECT_EQ(run.probe["exitCode"], 1) << run.probe.dump();
        EXPECT_EQ(run.probe["timedOut"], false);
        ASSERT_EQ(run.probe["boxes"].size(), 1u) << run.probe.dump();
        EXPECT_EQ(run.probe["boxes"][0]["text"], c.text);
        EXPECT_EQ(run.probe["boxes"][0]["caption"], c.caption);
        EXPECT_EQ(run.probe["everVisible"], false);
        const std::vector<json> lines = e2e::ReadJsonLines(log);
        std::vector<std::string> calls;
        for (const json& line : lines) {
            if (line.contains("call")) calls.push_back(line["call"]);
        }
        EXPECT_EQ(calls, c.calls) << "no Release";
        ASSERT_FALSE(lines.empty());
        // Unloaded only by the end of the process (not by FreeLibrary), which ended normally.
        EXPECT_EQ(lines.back(), json({{"dll", "detach"}, {"freeLibrary", false}}));
        EXPECT_TRUE(run.Calls("CreateCoreWebView2EnvironmentWithOptions").empty());
    }
}

TEST(Extensions, SampleExtensionRegistersItselfAndAnswersThePage) {
    AppFolder app = ExtensionApp("extension_sample",
                                 e2e::WinBuildDir() / "examples/extension/DI2ZozUzoraru.dll");
    const std::string request = R"({"type":"extension-message","text":"Hello, \"extension\""})";
    const ExtensionRun run =
        RunExtension(app, Post(kWrapperInit) + "wait PostWebMessageAsJson 1\n" + Post(request) +
                              "wait PostWebMessageAsJson 2\nclose\n");
    const std::vector<json> handles = run.host.Calls("PostWebMessageAsJsonWithAdditionalObjects");
    ASSERT_EQ(handles.size(), 1u);
    const json documents = handles[0]["objects"][6]["path"];
    const std::string reply = R"({"type":"sample-extension-reply","request":)" + request +
                              R"(,"documents":)" + documents.dump() + R"(,"packageJsonBytes":)" +
                              std::to_string(std::string(kPackageJson).size()) +
                              R"(,"windowTitle":"Extensions ✓"})";
    EXPECT_EQ(PostedToPage(run.host),
              (std::vector<std::string>{"handles", Answer(R"(["sample-extension"])"), reply}));
}

}  // namespace
