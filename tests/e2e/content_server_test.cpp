// The content server end to end: the real host under Wine answers the page's requests for the app
// origin through the substitute runtime, from the bundle or the www folder, and the transcript
// shows each answer exactly as the host built it (status, reason, header lines, body bytes).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <map>
#include <optional>
#include <thread>

#include "bundle/bundle_writer.h"
#include "harness.h"

namespace {

using e2e::AppFolder;
using e2e::HostRun;
using nlohmann::json;
namespace fs = std::filesystem;

constexpr char kOrigin[] = "https://app.localhost/";
constexpr char kCache[] = "Cache-Control: no-store";
constexpr char kRanges[] = "Accept-Ranges: bytes";
constexpr char kNotFoundText[] = "File not found";
constexpr char kOctets[] = "application/octet-stream";

// One request of the page and the answer the host must give it.
struct Exchange {
    std::string path;   // after the origin, exactly as the page sends it
    std::string range;  // value of the "Range" header; empty: no header
    int status = 0;
    std::vector<std::string> headers;
    std::optional<std::string> body;  // nullopt: the response has no body stream
    std::string method = "GET";
    // A body too long to be written out: its length, and the bytes it must end with (`body` is
    // then unused).
    std::uint64_t longBody = 0;
    std::string longBodyEnd = {};
};

const std::map<int, std::string> kReasons = {{200, "OK"},
                                             {206, "Partial Content"},
                                             {404, "Not Found"},
                                             {416, "Range Not Satisfiable"},
                                             {500, "Internal Server Error"}};

std::string TypeLine(const std::string& type) { return "Content-Type: " + type; }
std::string LengthLine(std::uint64_t length) { return "Content-Length: " + std::to_string(length); }
std::string RangeLine(std::uint64_t first, std::uint64_t last, std::uint64_t total) {
    return "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
           std::to_string(total);
}

Exchange Whole(const std::string& path, const std::string& type, const std::string& bytes) {
    return {path, "", 200, {kCache, TypeLine(type), kRanges, LengthLine(bytes.size())}, bytes};
}

// A satisfiable range of `bytes` (the whole file) from first to last inclusive.
Exchange Part(const std::string& path, const std::string& range, const std::string& type,
              const std::string& bytes, std::uint64_t first, std::uint64_t last) {
    return {path,
            range,
            206,
            {kCache, TypeLine(type), kRanges, RangeLine(first, last, bytes.size()),
             LengthLine(last - first + 1)},
            bytes.substr(first, last - first + 1)};
}

Exchange NotSatisfiable(const std::string& path, const std::string& range,
                        const std::string& type) {
    return {path, range, 416, {kCache, TypeLine(type), kRanges}, std::nullopt};
}

Exchange Missing(const std::string& path, const std::string& range = "") {
    return {path, range, 404, {kCache}, kNotFoundText};
}

// An answer whose body is checked by its length and last bytes only.
Exchange LongBody(Exchange exchange, std::uint64_t length, const std::string& end) {
    exchange.longBody = length;
    exchange.longBodyEnd = end;
    return exchange;
}

std::string RequestLine(const Exchange& exchange) {
    std::string line = "request " + exchange.method + " " + kOrigin + exchange.path + " other";
    if (!exchange.range.empty()) line += " Range: " + exchange.range;
    return line + "\n";
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 0xF];
    }
    return hex;
}

std::string Unhex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// The body bytes of a transcript "response" line (bodies here are small enough to be written
// out in full), or nullopt for a response without a body stream.
std::optional<std::string> BodyOf(const json& response) {
    const json& body = response["body"];
    if (body.is_null()) return std::nullopt;
    const std::string bytes =
        body.contains("text") ? body["text"].get<std::string>() : Unhex(body.value("hex", ""));
    EXPECT_EQ(body["length"], bytes.size()) << "body longer than the transcript shows";
    return bytes;
}

// The "response" lines of the scenario's own requests (the start page's comes before the first
// step), in the order the requests were made.
std::vector<json> PageResponses(const std::vector<json>& transcript) {
    std::vector<json> responses;
    bool stepsBegun = false;
    for (const json& line : transcript) {
        const std::string type = line.value("type", "");
        if (type == "step") stepsBegun = true;
        if (type == "response" && stepsBegun) responses.push_back(line);
    }
    return responses;
}

// The complete lines of a transcript that is still being written.
std::vector<json> TranscriptSoFar(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<json> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        json line = json::parse(text.substr(start, end - start), nullptr, false);
        if (!line.is_discarded()) lines.push_back(std::move(line));
    }
    return lines;
}

// Waits (a minute at most) until the transcript holds `count` answers to the scenario's requests.
bool WaitForPageResponses(const fs::path& transcript, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (PageResponses(TranscriptSoFar(transcript)).size() >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void ExpectAnswer(const json& response, const Exchange& exchange) {
    SCOPED_TRACE(exchange.method + " " + exchange.path +
                 (exchange.range.empty() ? "" : " Range: " + exchange.range));
    EXPECT_EQ(response["uri"], kOrigin + exchange.path);
    EXPECT_EQ(response["method"], exchange.method);
    EXPECT_EQ(response["status"], exchange.status);
    EXPECT_EQ(response["reason"], kReasons.at(exchange.status));
    EXPECT_EQ(response["headers"], json(exchange.headers));
    if (exchange.longBody > 0) {
        // The transcript gives a long body's length and last bytes (up to 32).
        ASSERT_TRUE(response["body"].is_object());
        EXPECT_EQ(response["body"]["length"], exchange.longBody);
        EXPECT_EQ(response["body"].value("tail", ""), Hex(exchange.longBodyEnd));
        return;
    }
    const std::optional<std::string> body = BodyOf(response);
    EXPECT_EQ(body.has_value(), exchange.body.has_value());
    if (body && exchange.body) {
        EXPECT_EQ(*body, *exchange.body);
    }
}

// A pause of the page between two phases: long enough for the test to act on the files, and
// checked afterwards by a request whose answer shows whether the change came in time.
constexpr char kPause[] = "sleep 4000\n";

// Plays the phases of exchanges as one scenario ending with the page's close request, and checks
// every answer in order. Between two phases the page pauses, and `between(i)` runs here as soon as
// the transcript holds the answers of phase i. The host may run for `seconds`.
HostRun PlayAndCheck(const AppFolder& app, const std::vector<std::vector<Exchange>>& phases,
                     const std::function<void(std::size_t)>& between = {},
                     const std::map<std::string, std::string>& env = {}, int seconds = 30) {
    std::string scenario;
    std::vector<Exchange> all;
    for (std::size_t i = 0; i < phases.size(); ++i) {
        if (i > 0) scenario += kPause;
        for (const Exchange& exchange : phases[i]) scenario += RequestLine(exchange);
        all.insert(all.end(), phases[i].begin(), phases[i].end());
    }
    std::future<HostRun> running = std::async(std::launch::async, [&] {
        return app.Run(scenario + "close\n", {"--timeout", std::to_string(seconds * 1000)}, env,
                       seconds + 60);
    });
    std::size_t answered = 0;
    for (std::size_t i = 0; i + 1 < phases.size(); ++i) {
        answered += phases[i].size();
        if (!WaitForPageResponses(app.Dir() / "transcript.jsonl", answered)) break;
        between(i);
    }
    const HostRun run = running.get();
    EXPECT_EQ(run.probe["exitCode"], 0) << run.probe.dump();
    EXPECT_TRUE(run.Of("unanswered").empty());
    EXPECT_TRUE(run.Of("failure").empty());
    const std::vector<json> responses = PageResponses(run.transcript);
    EXPECT_EQ(responses.size(), all.size());
    for (std::size_t i = 0; i < std::min(responses.size(), all.size()); ++i) {
        ExpectAnswer(responses[i], all[i]);
    }
    return run;
}

// `size` bytes, every value from 0 to 255 in turn starting at `seed`: binary, so the transcript
// shows them as hex, and shifted copies differ at every position.
std::string Binary(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i + seed) & 0xFF);
    return bytes;
}

// Readable text of exactly `size` bytes.
std::string Text(std::size_t size, const std::string& word) {
    std::string text;
    for (int line = 0; text.size() < size; ++line) text += word + " " + std::to_string(line) + "\n";
    return text.substr(0, size);
}

AppFolder ContentApp(const std::string& name,
                     const std::vector<std::pair<std::string, std::string>>& bundled) {
    AppFolder app(name);
    app.WritePackageJson(R"({"name":"content-test","window":{"title":"Content"}})");
    app.Write("www/index.html", "<!doctype html><title>loose start page</title>");
    if (!bundled.empty()) app.Write("www/assets.dat", EncodeBundle(bundled));
    return app;
}

TEST(ContentServer, AnswersFromBundleThenFolderWithExactLinesAndBytes) {
    const std::string bundleIndex = "<!doctype html><title>from the bundle</title>";
    const std::string script = Text(1000, "console.log");
    const std::string bundledTheme = "body { color: red }";
    const std::string looseTheme = "body { color: green; background: white }";
    const std::string euro = Binary(300, 7);
    const std::string versioned = "export const version = 2;";
    const std::string data = Binary(1000, 0);
    const std::string euroLoose = Binary(200, 100);
    AppFolder app = ContentApp("content_answers", {{"index.html", bundleIndex},
                                                   {"app.js", script},
                                                   {"Theme.css", bundledTheme},
                                                   {"Only.txt", "bundle only"},
                                                   {"\xE2\x82\xAC.png", euro},
                                                   {"app.js?v=2", versioned},
                                                   {"empty.js", ""}});
    app.Write("www/Theme.css", looseTheme);
    app.Write("www/data.bin", data);
    app.Write("www/empty.txt", "");
    app.Write("www/img/\xE2\x82\xAC.png", euroLoose);
    app.Write("www/img/deeper/x.txt", "x");

    const std::string js = "application/javascript; charset=utf-8";
    const std::string html = "text/html; charset=utf-8";
    const std::string css = "text/css; charset=utf-8";
    std::vector<Exchange> exchanges = {
        // The table's rows, spelled out once.
        {"app.js",
         "",
         200,
         {"Cache-Control: no-store", "Content-Type: application/javascript; charset=utf-8",
          "Accept-Ranges: bytes", "Content-Length: 1000"},
         script},
        {"app.js",
         "bytes=10-19",
         206,
         {"Cache-Control: no-store", "Content-Type: application/javascript; charset=utf-8",
          "Accept-Ranges: bytes", "Content-Range: bytes 10-19/1000", "Content-Length: 10"},
         script.substr(10, 10)},
        {"app.js",
         "bytes=1000-",
         416,
         {"Cache-Control: no-store", "Content-Type: application/javascript; charset=utf-8",
          "Accept-Ranges: bytes"},
         std::nullopt},
        {"nothing-here.js", "", 404, {"Cache-Control: no-store"}, std::string("File not found")},
        // Bundle: the whole file as a range, the suffix form, the first of several ranges, bad
        // ranges; any method gets what a read gets.
        Part("app.js", "bytes=0-", js, script, 0, 999),
        Part("app.js", "bytes=-1", js, script, 999, 999),
        Part("app.js", "bytes=0-99,200-299", js, script, 0, 99),
        NotSatisfiable("app.js", "bytes=0-1000", js),
        NotSatisfiable("app.js", "bytes=x-5", js),
        NotSatisfiable("app.js", "bytes=-0", js),
        NotSatisfiable("app.js", "Bytes=0-1", js),
        {"app.js", "", 200, {kCache, TypeLine(js), kRanges, LengthLine(1000)}, script, "POST"},
        // The bundle comes first: its index.html, not the loose one, with the entry's size.
        Whole("index.html", html, bundleIndex),
        // Letter case: the bundle matches bytes exactly; the loose file is found whatever the
        // case, because Wine (like Windows) looks file names up without case.
        Whole("Theme.css", css, bundledTheme),
        Whole("theme.css", css, looseTheme),
        Whole("THEME.CSS", css, looseTheme),
        Missing("only.txt"),
        Whole("Only.txt", "text/plain; charset=utf-8", "bundle only"),
        // Query strings stay in the key: only a file of exactly that name answers.
        Missing("index.html?v=2"),
        Whole("app.js?v=2", kOctets, versioned),
        // Percent-escapes: UTF-8 names, an encoded slash, in the bundle and on disk.
        Whole("%E2%82%AC.png", "image/png", euro),
        Whole("img%2F%E2%82%AC.png", "image/png", euroLoose),
        Whole("img/%e2%82%ac.png", "image/png", euroLoose),
        // Loose files: whole, streamed ranges, ranges out of the mapped view, bad ranges.
        Whole("data.bin", kOctets, data),
        Part("data.bin", "bytes=0-", kOctets, data, 0, 999),
        Part("data.bin", "bytes=-1000", kOctets, data, 0, 999),
        Part("data.bin", "bytes=100-199", kOctets, data, 100, 199),
        Part("data.bin", "bytes=-10", kOctets, data, 990, 999),
        Part("data.bin", "bytes=999-", kOctets, data, 999, 999),
        NotSatisfiable("data.bin", "bytes=1000-", kOctets),
        NotSatisfiable("data.bin", "bytes=10-5", kOctets),
        NotSatisfiable("data.bin", "bytes=-1001", kOctets),
        NotSatisfiable("data.bin", "bytes=5", kOctets),
        NotSatisfiable("data.bin", "bytes=99999999999999999999-", kOctets),
        Whole("empty.txt", "text/plain; charset=utf-8", ""),
        Whole("empty.js", js, ""),
        NotSatisfiable("empty.js", "bytes=0-", js),
        NotSatisfiable("empty.txt", "bytes=0-", "text/plain; charset=utf-8"),
        // Folders are not files, the content folder itself included; nor is a Range read there.
        Missing(""),
        Missing("img"),
        Missing("img/"),
        Missing("img/deeper", "bytes=0-"),
        Missing("img/nothing.png", "bytes=0-"),
    };
    PlayAndCheck(app, {exchanges});
}

TEST(ContentServer, KeysThatClimbOutOfTheContentFolderAnswerNotFound) {
    // A page's URL parser removes ".." segments, but a request URI can still carry them, plain or
    // encoded. A loose lookup of such a key touches no file; a bundle name is matched exactly and
    // cannot leave the bundle, so a bundle entry of that name is still served.
    AppFolder app = ContentApp("content_traversal", {{"../bundled.txt", "inside the bundle"},
                                                     {"", "the entry without a name"}});
    app.Write("secret.txt", "beside the host");
    app.Write("www/sub/ok.txt", "ok");
    const std::string txt = "text/plain; charset=utf-8";
    PlayAndCheck(app, {{
                          Whole("sub/ok.txt", txt, "ok"),
                          Missing("../secret.txt"),
                          Missing("..%2Fsecret.txt"),
                          Missing("%2E%2E/secret.txt"),
                          Missing("%2e%2e%2fsecret.txt"),
                          Missing("sub/../../secret.txt"),
                          Missing("sub/..%2F..%2Fsecret.txt"),
                          Missing("..%5Csecret.txt"),
                          Missing("sub%5C..%5C..%5Csecret.txt"),
                          Missing("..%2Fsecret.txt", "bytes=0-"),
                          Missing("/secret.txt"),
                          Missing("%2Fsecret.txt"),
                          Missing("%5Csecret.txt"),
                          Missing("C:%5Cwindows%5Cwin.ini"),
                          Missing("sub/ok.txt%3A%3A%24DATA"),
                          Missing("sub/ok.txt%00.png"),
                          Whole("../bundled.txt", txt, "inside the bundle"),
                          Whole("..%2Fbundled.txt", txt, "inside the bundle"),
                          // The empty key names the content folder, but a bundle entry wins.
                          Whole("", kOctets, "the entry without a name"),
                      }});
}

// Rewrites `relative` inside the app folder in place from a Windows program, as an editor saves:
// the file is opened for writing, truncated and written again (copy onto an existing file). Under
// Wine such a program meets the host's sharing modes, which Linux-side writes would not.
void RewriteInPlace(const AppFolder& app, const std::string& relative, const std::string& bytes) {
    app.Write("rewrite.tmp", bytes);
    e2e::RunWine({"cmd", "/c", "copy", "/y", e2e::WinPath(app.Dir() / "rewrite.tmp"),
                  e2e::WinPath(app.Dir() / relative)});
    EXPECT_EQ(e2e::ReadFileBytes(app.Dir() / relative), bytes) << "the rewrite of " << relative;
}

TEST(ContentServer, LooseFilesRewrittenWhileServedServeTheirNewBytes) {
    // Loose files are read from the file as it is when the body is read, through a handle that
    // shares writing and deletion: an editor can rewrite a file the page has loaded, whole or by
    // ranges, while the app runs, and the next request serves the new bytes.
    const std::string kept1 = Binary(1000, 0);
    const std::string kept2 = Binary(1000, 50);
    const std::string grown1 = Text(1000, "first");
    const std::string grown2 = Text(2000, "second");
    const std::string txt = "text/plain; charset=utf-8";
    AppFolder app = ContentApp("content_rewrites", {});
    app.Write("www/kept.bin", kept1);
    app.Write("www/grown.txt", grown1);

    const std::vector<Exchange> before = {
        Part("kept.bin", "bytes=100-", kOctets, kept1, 100, 999),
        Whole("kept.bin", kOctets, kept1),
        Part("grown.txt", "bytes=0-", txt, grown1, 0, 999),
        Part("grown.txt", "bytes=10-19", txt, grown1, 10, 19),
    };
    const std::vector<Exchange> after = {
        Part("kept.bin", "bytes=100-", kOctets, kept2, 100, 999),
        Part("kept.bin", "bytes=0-99", kOctets, kept2, 0, 99),
        Whole("kept.bin", kOctets, kept2),
        Whole("grown.txt", txt, grown2),
        Part("grown.txt", "bytes=1500-", txt, grown2, 1500, 1999),
    };
    PlayAndCheck(app, {before, after}, [&](std::size_t) {
        RewriteInPlace(app, "www/kept.bin", kept2);
        RewriteInPlace(app, "www/grown.txt", grown2);
    });
}

// A file of `size` bytes ending in `tail`, with nothing stored before the tail (sparse).
void WriteSparse(const fs::path& path, std::uint64_t size, const std::string& tail) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.seekp(static_cast<std::streamoff>(size - tail.size()));
    out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
    ASSERT_TRUE(out.good()) << path;
}

// Another Windows program holding a file of the app open for writing, as long as the object
// lives: a batch file whose "call" has its error output appended to the file (%1). It says so by
// leaving held.flag, and lets go when release.flag appears (ping is Wine's only pause).
constexpr char kHoldScript[] = R"(@echo off
cd /d "%~dp0"
call :hold 2>> %1
exit /b 0
:hold
echo held> held.flag
set /a n=0
:again
if exist release.flag exit /b 0
set /a n+=1
if %n% geq 600 exit /b 0
ping -n 2 127.0.0.1 > NUL
goto again
)";

// Another Windows program (`argv`, run under Wine) holding a file of the app open as long as the
// object lives. It leaves held.flag in the app folder once it holds the file, and lets go when
// release.flag appears there.
class HeldFile {
public:
    HeldFile(const AppFolder& app, std::vector<std::string> argv) : app_(app) {
        holder_ = std::async(std::launch::async,
                             [argv = std::move(argv)] { return e2e::RunWine(argv, {}, 180); });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!fs::exists(app.Dir() / "held.flag") &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        held_ = fs::exists(app.Dir() / "held.flag");
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    ~HeldFile() {
        app_.Write("release.flag", "");
        holder_.wait();
    }
    bool Held() const { return held_; }

private:
    const AppFolder& app_;
    std::future<e2e::ProcessResult> holder_;
    bool held_ = false;
};

// Held open for writing (with read sharing) by the batch file above.
HeldFile HeldForWriting(const AppFolder& app, const std::string& relative) {
    std::string script;
    for (const char c : std::string(kHoldScript)) script += c == '\n' ? "\r\n" : std::string(1, c);
    app.Write("hold.cmd", script);
    std::string target = relative;
    std::replace(target.begin(), target.end(), '/', '\\');
    return HeldFile(app, {"cmd", "/c", e2e::WinPath(app.Dir() / "hold.cmd"), target});
}

// Held open for reading without any sharing (file_holder.exe): the host can neither stream nor map
// the file.
HeldFile HeldWithoutSharing(const AppFolder& app, const std::string& relative) {
    return HeldFile(app, {e2e::WinPath(e2e::WinBuildDir() / "tests/win/helpers/file_holder.exe"),
                          e2e::WinPath(app.Dir() / relative), e2e::WinPath(app.Dir())});
}

TEST(ContentServer, BodiesPast4GiBAndFilesHeldForWriting) {
    // Bodies are read from the files by position, so a bundle entry or a loose range past 4 GiB
    // is answered right: the substitute reads each whole (without hashing it) and the transcript
    // shows its length and last bytes. An open range gets at most 4 MiB, so that the runtime,
    // which reads every body whole into memory, never holds gigabytes. The bundle and huge.bin
    // are sparse files.
    // A loose file that another program holds open for writing is served whole and by ranges:
    // the host shares writing.
    constexpr std::uint64_t kHuge = (std::uint64_t{1} << 32) + 10;
    AppFolder app = ContentApp("content_errors", {});
    WriteSparse(app.Dir() / "www/huge.bin", kHuge, "0123456789");
    const std::string held = Text(500, "held");
    app.Write("www/held.txt", held);
    const std::string txt = "text/plain; charset=utf-8";

    // The bundle: a 4 GiB + 32 byte entry whose last 32 bytes are written, then a small one.
    constexpr std::uint64_t kEntry = (std::uint64_t{1} << 32) + 32;
    const std::string entryEnd = Binary(32, 200);
    const std::string after = "stored after the huge entry";
    const std::string prefix =
        EncodeBundlePrefix({{"movie.webm", kEntry}, {"after.txt", after.size()}});
    WriteSparse(app.Dir() / "www/assets.dat", prefix.size() + kEntry + after.size(),
                entryEnd + after);
    {
        std::fstream head(app.Dir() / "www/assets.dat",
                          std::ios::binary | std::ios::in | std::ios::out);
        head.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
    }
    const std::string webm = "video/webm";
    {
        const HeldFile writer = HeldForWriting(app, "www/held.txt");
        ASSERT_TRUE(writer.Held());
        const std::uint64_t piece = 4 * 1024 * 1024;
        const Exchange entryRest = LongBody(
            {"movie.webm",
             "bytes=4294962000-",
             206,
             {kCache, TypeLine(webm), kRanges, RangeLine(4294962000, kEntry - 1, kEntry),
              LengthLine(kEntry - 4294962000)},
             std::nullopt},
            kEntry - 4294962000, entryEnd);
        const Exchange looseRest = LongBody(
            {"huge.bin",
             "bytes=4290000000-",
             206,
             {kCache, TypeLine(kOctets), kRanges,
              RangeLine(4290000000, 4290000000 + piece - 1, kHuge), LengthLine(piece)},
             std::nullopt},
            piece, std::string(32, '\0'));
        PlayAndCheck(
            app,
            {{
                entryRest,
                {"movie.webm",
                 "bytes=-32",
                 206,
                 {kCache, TypeLine(webm), kRanges, RangeLine(kEntry - 32, kEntry - 1, kEntry),
                  LengthLine(32)},
                 entryEnd},
                Whole("after.txt", txt, after),
                {"huge.bin",
                 "bytes=-10",
                 206,
                 {kCache, TypeLine(kOctets), kRanges, RangeLine(kHuge - 10, kHuge - 1, kHuge),
                  LengthLine(10)},
                 std::string("0123456789")},
                {"huge.bin",
                 "bytes=4294967300-4294967301",
                 206,
                 {kCache, TypeLine(kOctets), kRanges,
                  "Content-Range: bytes 4294967300-4294967301/4294967306", "Content-Length: 2"},
                 std::string("45")},
                looseRest,
                NotSatisfiable("huge.bin", "bytes=4294967306-", kOctets),
                Whole("held.txt", txt, held),
                Part("held.txt", "bytes=0-", txt, held, 0, 499),
                Part("held.txt", "bytes=0-9", txt, held, 0, 9),
            }},
            {}, {{"WRAPPER_SUBSTITUTE_NO_HASH", "1"}}, 150);
    }
    fs::remove_all(app.Dir());
}

TEST(ContentServer, EveryRequestIsAnsweredEvenWhenItsAnswerCannotBeMade) {
    // A whole loose file that cannot be opened for reading; a request whose handling throws (a
    // test-hooks switch names its key) gets a bodiless 500; a body stream that cannot
    // be made (another switch) turns the planned answer into 500 with its header lines. Every
    // request is answered, and the handler always returns S_OK.
    AppFolder app = ContentApp("content_unanswerable",
                               {{"bundled.txt", "from the bundle"}, {"fine.txt", "also bundled"}});
    const std::string held = Text(300, "held");
    app.Write("www/held.txt", held);
    app.Write("www/boom.txt", "never served");
    const std::string txt = "text/plain; charset=utf-8";
    const Exchange thrown{"boom.txt", "", 500, {kCache}, std::nullopt};
    const HeldFile reader = HeldWithoutSharing(app, "www/held.txt");
    ASSERT_TRUE(reader.Held());
    const HostRun run = PlayAndCheck(
        app,
        {{
            {"held.txt", "", 500, {kCache, TypeLine(txt), kRanges, LengthLine(300)}, std::nullopt},
            {"held.txt",
             "bytes=0-9",
             500,
             {kCache, TypeLine(txt), kRanges, RangeLine(0, 9, 300), LengthLine(10)},
             std::nullopt},
            thrown,
            {"boom.txt", "bytes=0-1", 500, {kCache}, std::nullopt},
            {"bundled.txt",
             "",
             500,
             {kCache, TypeLine(txt), kRanges, LengthLine(15)},
             std::nullopt},
            {"bundled.txt",
             "bytes=5-",
             500,
             {kCache, TypeLine(txt), kRanges, RangeLine(5, 14, 15), LengthLine(10)},
             std::nullopt},
            // Other requests are answered as ever.
            Missing("missing.txt"),
            Whole("index.html", "text/html; charset=utf-8",
                  "<!doctype html><title>loose start page</title>"),
            Part("fine.txt", "bytes=5-", txt, "also bundled", 5, 11),
        }},
        {},
        {{"WRAPPER_TEST_THROW_IN_REQUEST", "boom.txt"},
         {"WRAPPER_TEST_NO_BODY_STREAM", "bundled.txt"}});
    for (const json& response : PageResponses(run.transcript)) {
        EXPECT_EQ(response["results"], json::array({"0x00000000"})) << response.dump();
    }
    // Every answer is a response of its own, the two for boom.txt too; the prepared one, made at
    // the start, is for when none can be made.
    EXPECT_EQ(run.Calls("CreateWebResourceResponse").size(), run.Of("response").size() + 1);
    EXPECT_EQ(run.Calls("CreateWebResourceResponse").at(0)["headers"], json({kCache}));
}

TEST(ContentServer, TheAppsOwnHeadersEndEveryAnswer) {
    // "settings" / "headers" (names in any letter case): after the fixed lines of every answer,
    // found or not, whole or partial, and of the 500s, the one prepared at the start included.
    AppFolder app = ContentApp("content_own_headers",
                               {{"bundled.txt", "from the bundle"}, {"broken.txt", "never read"}});
    app.WritePackageJson(R"({"name":"content-test","settings":{"headers":{)"
                         R"("cross-origin-opener-policy":"same-origin",)"
                         R"("Cross-Origin-Embedder-Policy":"require-corp"}}})");
    app.Write("www/loose.txt", "loose text");
    app.Write("www/boom.txt", "never served");
    const std::string coop = "Cross-Origin-Opener-Policy: same-origin";
    const std::string coep = "Cross-Origin-Embedder-Policy: require-corp";
    const auto withOwn = [&](Exchange exchange) {
        exchange.headers.insert(exchange.headers.end(), {coep, coop});
        return exchange;
    };
    const std::string txt = "text/plain; charset=utf-8";
    const HostRun run = PlayAndCheck(
        app,
        {{
            withOwn(Whole("bundled.txt", txt, "from the bundle")),
            withOwn(Whole("loose.txt", txt, "loose text")),
            withOwn(Part("loose.txt", "bytes=6-", txt, "loose text", 6, 9)),
            withOwn(NotSatisfiable("loose.txt", "bytes=10-", txt)),
            withOwn(Missing("missing.txt")),
            withOwn(Missing("../package.json")),
            withOwn({"boom.txt", "", 500, {kCache}, std::nullopt}),
            withOwn({"broken.txt",
                     "bytes=5-",
                     500,
                     {kCache, TypeLine(txt), kRanges, RangeLine(5, 9, 10), LengthLine(5)},
                     std::nullopt}),
        }},
        {},
        {{"WRAPPER_TEST_THROW_IN_REQUEST", "boom.txt"},
         {"WRAPPER_TEST_NO_BODY_STREAM", "broken.txt"}});
    // The start page's answer, and the prepared 500 (the first response made).
    const json start = run.Response(std::string(kOrigin) + "index.html");
    ASSERT_TRUE(start.is_object());
    EXPECT_EQ(start["headers"], json({kCache, "Content-Type: text/html; charset=utf-8", kRanges,
                                      LengthLine(46), coep, coop}));
    const std::vector<json> made = run.Calls("CreateWebResourceResponse");
    ASSERT_FALSE(made.empty());
    EXPECT_EQ(made[0]["status"], 500);
    EXPECT_EQ(made[0]["headers"], json({kCache, coep, coop}));
}

TEST(ContentServer, MissingBodyStreamOfANotFoundAnswer) {
    AppFolder app = ContentApp("content_no_stream", {});
    PlayAndCheck(app, {{{"missing.txt", "", 500, {kCache}, std::nullopt}, Missing("other.txt")}},
                 {}, {{"WRAPPER_TEST_NO_BODY_STREAM", "missing.txt"}});
}

TEST(ContentServer, LinkedFilesAreServedWithTheirTargetsSizeAndBytes) {
    // Links in the content folder, made on the Unix side: Wine shows them to Windows programs as
    // their targets (it cannot make Windows symbolic links, which the size query must follow too).
    AppFolder app = ContentApp("content_links", {});
    const std::string script = Text(700, "linked");
    const std::string video =
        Binary(3000, 3);  // whole bodies up to 4096 bytes are in the transcript
    app.Write("media/script.js", script);
    app.Write("media/clip.webm", video);
    fs::create_directories(app.Dir() / "www/linked");
    fs::create_symlink(app.Dir() / "media/script.js", app.Dir() / "www/linked/script.js");
    fs::create_symlink(app.Dir() / "media/clip.webm", app.Dir() / "www/linked/clip.webm");
    fs::create_symlink(app.Dir() / "media", app.Dir() / "www/linked/folder");
    fs::create_symlink(app.Dir() / "media/gone.js", app.Dir() / "www/linked/gone.js");
    const std::string js = "application/javascript; charset=utf-8";
    PlayAndCheck(app,
                 {{
                     Whole("linked/script.js", js, script),
                     Part("linked/script.js", "bytes=100-", js, script, 100, 699),
                     Whole("linked/clip.webm", "video/webm", video),
                     Part("linked/clip.webm", "bytes=2000-2099", "video/webm", video, 2000, 2099),
                     Part("linked/clip.webm", "bytes=-10", "video/webm", video, 2990, 2999),
                     Whole("linked/folder/script.js", js, script),
                     Missing("linked/folder"),
                     Missing("linked/gone.js"),
                 }});
}

TEST(ContentServer, BundleJustOver2GiBServesFilesStoredPastTheMark) {
    // The start page and a script lie behind 2 GiB of padding; the bundle file is sparse.
    constexpr std::uint64_t kPad = std::uint64_t{1} << 31;
    const std::string page = "<!doctype html><title>past 2 GiB</title>";
    const std::string script = Text(600, "late");
    AppFolder app("content_2gib");
    app.WritePackageJson(R"({"name":"content-2gib"})");
    const std::string prefix = EncodeBundlePrefix(
        {{"pad.bin", kPad}, {"index.html", page.size()}, {"late.js", script.size()}});
    WriteSparse(app.Dir() / "www/assets.dat", prefix.size() + kPad + page.size() + script.size(),
                page + script);
    {
        std::fstream head(app.Dir() / "www/assets.dat",
                          std::ios::binary | std::ios::in | std::ios::out);
        head.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
    }
    ASSERT_GT(fs::file_size(app.Dir() / "www/assets.dat"), kPad);

    const std::string js = "application/javascript; charset=utf-8";
    const HostRun run = PlayAndCheck(
        app, {{
                 Whole("late.js", js, script),
                 Part("late.js", "bytes=500-", js, script, 500, 599),
                 {"pad.bin",
                  "bytes=-4",
                  206,
                  {kCache, TypeLine(kOctets), kRanges,
                   "Content-Range: bytes 2147483644-2147483647/2147483648", "Content-Length: 4"},
                  std::string(4, '\0')},
                 NotSatisfiable("pad.bin", "bytes=2147483648-", kOctets),
             }});
    EXPECT_TRUE(run.probe["boxes"].empty()) << "the bundle loads: " << run.probe.dump();
    const json start = run.Response(std::string(kOrigin) + "index.html");
    ASSERT_FALSE(start.is_null());
    EXPECT_EQ(start["status"], 200);
    EXPECT_EQ(BodyOf(start), page);
    fs::remove_all(app.Dir());
}

}  // namespace
