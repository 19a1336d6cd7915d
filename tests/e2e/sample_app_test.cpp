// The sample app as it ships (laid out by tools/package-app.sh, as ./dev package does it, into a
// folder that already holds the test's files, hence --force), run with the substitute runtime
// and a scripted page that asks for every resource its start page names: each is served whole
// with its content type, the video also by range, and the handshake is answered. Its page-side
// protocol module passes its own tests under node.
#include "sample_app.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>

#include "harness.h"

namespace {

namespace fs = std::filesystem;
using e2e::AppFolder;
using nlohmann::json;

constexpr char kOrigin[] = "https://app.localhost/";

// The files a page pulls in: src and href attributes of the markup that name files of the app,
// then, transitively, the modules each script imports with a relative path.
std::set<std::string> StartPageResources(const fs::path& www, const std::string& page) {
    const std::regex attribute(R"re((?:src|href)="([^"]+)")re");
    const std::regex import(R"re((?:from|import)\s*\(?\s*"\./([^"]+)")re");
    std::set<std::string> found;
    const std::string markup = e2e::ReadFileBytes(www / page);
    for (std::sregex_iterator it(markup.begin(), markup.end(), attribute), end; it != end; ++it) {
        const std::string target = (*it)[1];
        if (target.find(':') == std::string::npos && target.rfind("/", 0) != 0)
            found.insert(target);
    }
    std::vector<std::string> scripts(found.begin(), found.end());
    while (!scripts.empty()) {
        const std::string script = scripts.back();
        scripts.pop_back();
        if (!script.ends_with(".js")) continue;
        const std::string code = e2e::ReadFileBytes(www / script);
        for (std::sregex_iterator it(code.begin(), code.end(), import), end; it != end; ++it) {
            const std::string module =
                (fs::path(script).parent_path() / std::string((*it)[1])).generic_string();
            if (found.insert(module).second) scripts.push_back(module);
        }
    }
    return found;
}

// The content type each kind of file must be served with.
const std::map<std::string, std::string> kExpectedTypes = {
    {".html", "text/html; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".js", "application/javascript; charset=utf-8"},
    {".png", "image/png"},
    {".webm", "video/webm"},
};

std::string ContextFor(const std::string& path) {
    const std::string extension = fs::path(path).extension().string();
    if (extension == ".css") return "stylesheet";
    if (extension == ".js") return "script";
    if (extension == ".png") return "image";
    if (extension == ".webm") return "media";
    return "fetch";
}

bool AskedForRange(const json& response) {
    for (const json& header : response["requestHeaders"]) {
        if (header.get<std::string>().rfind("Range:", 0) == 0) return true;
    }
    return false;
}

bool HasHeader(const json& response, const std::string& line) {
    for (const json& header : response["headers"]) {
        if (header == line) return true;
    }
    return false;
}

TEST(SampleApp, StartPageIsServedWholeAndTheHandshakeIsAnswered) {
    const fs::path source = e2e::SourceDir() / "examples/hello";
    const fs::path www = source / "www";
    const json settings = json::parse(e2e::ReadFileBytes(source / "package.json"));
    const std::string page = settings["main"];

    AppFolder app("sample_hello");
    const e2e::ProcessResult packaged =
        e2e::PackageApp(source, app.Dir(), {"--no-zip", "--quiet", "--force"});
    ASSERT_EQ(packaged.exitCode, 0) << packaged.output;
    app.CopyIn(e2e::WinBuildDir() / "substitute/WebView2Loader.dll", "WebView2Loader.dll");
    const bool extension = fs::exists(app.Dir() / "DI2ZozUzoraru.dll");

    const std::set<std::string> resources = StartPageResources(www, page);
    for (const char* expected :
         {"style.css", "app.js", "wrapper-host.js", "images/logo.png", "media/clip.webm"}) {
        EXPECT_EQ(resources.count(expected), 1u) << expected << " is named by the start page";
    }
    std::string scenario;
    for (const std::string& path : resources) {
        scenario += "request GET " + std::string(kOrigin) + path + " " + ContextFor(path) + "\n";
    }
    // A media element reads its file by ranges.
    scenario +=
        std::string("request GET ") + kOrigin + "media/clip.webm media Range: bytes=1000-\n";
    scenario += std::string("message-string ") + kOrigin + page + " {\"type\":\"wrapper-init\"}\n";
    scenario += "wait PostWebMessageAsJson 1\n";
    if (extension) {
        scenario += std::string("message-string ") + kOrigin + page +
                    " {\"type\":\"extension-message\",\"text\":\"Hello, extension\"}\nsleep 500\n";
    }
    scenario += "snapshot\nclose\n";
    const e2e::HostRun run = app.Run(scenario);
    ASSERT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
    EXPECT_TRUE(run.probe["boxes"].empty()) << run.probe.dump();
    ASSERT_EQ(run.Of("snapshot").size(), 1u);
    EXPECT_EQ(run.Of("snapshot")[0]["visible"], true);

    std::vector<std::string> served = {page};
    served.insert(served.end(), resources.begin(), resources.end());
    for (const std::string& path : served) {
        SCOPED_TRACE(path);
        json response;
        for (const json& line : run.Of("response")) {
            if (line["uri"] == kOrigin + path && !AskedForRange(line)) response = line;
        }
        ASSERT_TRUE(response.is_object()) << "no whole-file response";
        const std::string bytes = e2e::ReadFileBytes(www / path);
        EXPECT_EQ(response["status"], 200);
        ASSERT_EQ(kExpectedTypes.count(fs::path(path).extension().string()), 1u);
        EXPECT_TRUE(HasHeader(
            response, "Content-Type: " + kExpectedTypes.at(fs::path(path).extension().string())))
            << response["headers"].dump();
        EXPECT_TRUE(HasHeader(response, "Content-Length: " + std::to_string(bytes.size())));
        EXPECT_EQ(response["body"]["length"], bytes.size());
        if (response["body"].contains("text")) EXPECT_EQ(response["body"]["text"], bytes);
    }
    bool ranged = false;
    const std::uint64_t videoSize = fs::file_size(www / "media/clip.webm");
    for (const json& line : run.Of("response")) {
        if (line["uri"] != std::string(kOrigin) + "media/clip.webm" || !AskedForRange(line))
            continue;
        ranged = true;
        EXPECT_EQ(line["status"], 206);
        EXPECT_TRUE(HasHeader(line, "Content-Range: bytes 1000-" + std::to_string(videoSize - 1) +
                                        "/" + std::to_string(videoSize)))
            << line["headers"].dump();
        EXPECT_EQ(line["body"]["length"], videoSize - 1000);
    }
    EXPECT_TRUE(ranged);
    EXPECT_TRUE(run.Of("unanswered").empty());

    // The handshake: thirteen handles, then the answer with the extension's components.
    const auto handles = run.Calls("PostWebMessageAsJsonWithAdditionalObjects");
    ASSERT_EQ(handles.size(), 1u);
    EXPECT_EQ(handles[0]["json"], R"({"type":"directory-handles"})");
    EXPECT_EQ(handles[0]["count"], 13);
    const auto posts = run.Calls("PostWebMessageAsJson");
    ASSERT_FALSE(posts.empty());
    const json answer = json::parse(posts[0]["json"].get<std::string>());
    EXPECT_EQ(answer["type"], "wrapper-init-response");
    EXPECT_LT(handles[0]["seq"], posts[0]["seq"]);
    ASSERT_TRUE(answer["registeredComponentIds"].is_array());
    EXPECT_EQ(answer["registeredComponentIds"].empty(), !extension) << answer.dump();
    if (extension) {
        // The sample extension answers the page's message, quoting it.
        ASSERT_GE(posts.size(), 2u) << "no answer from the extension";
        const std::string reply = posts.back()["json"];
        EXPECT_TRUE(json::accept(reply)) << reply;
        EXPECT_NE(reply.find("Hello, extension"), std::string::npos) << reply;
    }
}

TEST(SampleApp, PageProtocolModulePassesItsTests) {
    const fs::path test = e2e::SourceDir() / "examples/hello/test/wrapper-host.test.mjs";
    const e2e::ProcessResult node = e2e::RunProcess({"node", "--version"}, {}, 30);
    if (node.exitCode != 0) GTEST_SKIP() << "node is not installed (./dev setup installs it)";
    const e2e::ProcessResult run = e2e::RunProcess({"node", "--test", test.string()}, {}, 120);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("# fail 0"), std::string::npos) << run.output;
}

}  // namespace
