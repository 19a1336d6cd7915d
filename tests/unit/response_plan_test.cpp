#include "server/response_plan.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "server/request_key.h"

namespace {

constexpr char kCache[] = "Cache-Control: no-store";
constexpr char kRanges[] = "Accept-Ranges: bytes";
constexpr char kHtml[] = "Content-Type: text/html; charset=utf-8";
constexpr char kPng[] = "Content-Type: image/png";
constexpr char kOctets[] = "Content-Type: application/octet-stream";
constexpr std::uint64_t k4GiB = 4294967296ull;

TEST(PercentDecode, Cases) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"%E2%82%AC.png", "\xE2\x82\xAC.png"},
        {"%e2%82%ac.png", "\xE2\x82\xAC.png"},
        {"a%2Fb", "a/b"},
        {"a%2fb", "a/b"},
        {"%", "%"},
        {"%%", "%%"},
        {"%G1", "%G1"},
        {"%1G", "%1G"},
        {"%4", "%4"},
        {"a%4", "a%4"},
        {"%%41", "%A"},
        {"%2541", "%41"},  // decoded once only
        {"%00", std::string("\0", 1)},
        {"x%00y", std::string("x\0y", 3)},
        {"%FF%fe", "\xFF\xFE"},  // invalid UTF-8 bytes are kept for the caller's conversion
        {"a+b c", "a+b c"},
        {"index.html?v=%32", "index.html?v=2"},
        {"", ""},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(PercentDecode(input), expected) << input;

    // No length limit: a key far longer than any fixed buffer still decodes completely.
    std::string longInput;
    std::string longExpected;
    for (int i = 0; i < 5000; ++i) {
        longInput += "%41";
        longExpected += "A";
    }
    EXPECT_EQ(PercentDecode(longInput), longExpected);
}

TEST(RequestKey, SafeLooseKeys) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"index.html", true},
        {"a/b/c.js", true},
        {"a..b/..c/d..", true},
        {"./index.html", true},
        {".../x", true},
        {"index.html?v=2", true},
        {"", false},
        {"..", false},
        {"../secret", false},
        {"a/../b", false},
        {"a/..", false},
        {"/etc/passwd", false},
        {"a\\b", false},
        {"C:/Windows/win.ini", false},
        {"file.txt:stream", false},
        {std::string("a\0b", 3), false},
    };
    for (const auto& [key, safe] : cases) EXPECT_EQ(IsSafeLooseKey(key), safe) << key;

    EXPECT_EQ(LooseFilePath("C:\\app\\www\\", "a/b/c.js"), "C:\\app\\www\\a\\b\\c.js");
    EXPECT_EQ(LooseFilePath("C:\\app\\www\\", ""), "C:\\app\\www\\");
}

struct PlanCase {
    std::string name;
    std::string key;
    std::optional<std::uint64_t> bundleSize;
    LooseFileFacts loose;
    std::optional<std::string> range;
    int status;
    std::vector<std::string> headers;
    BodySource body;
    std::uint64_t first;
    std::uint64_t count;
    std::vector<ResponseHeader> added = {};  // the app's own headers
};

std::string ReasonFor(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 404:
            return "Not Found";
        case 416:
            return "Range Not Satisfiable";
        case 500:
            return "Internal Server Error";
    }
    return "?";
}

void ExpectPlan(const PlanCase& c) {
    SCOPED_TRACE(c.name);
    const ResponsePlan plan =
        PlanResponse(c.key, c.bundleSize, c.loose, c.range ? &*c.range : nullptr, c.added);
    EXPECT_EQ(plan.status, c.status);
    EXPECT_EQ(plan.reason, ReasonFor(c.status));
    EXPECT_EQ(plan.headers, c.headers);
    EXPECT_EQ(plan.body, c.body);
    EXPECT_EQ(plan.first, c.first);
    EXPECT_EQ(plan.count, c.count);
}

const LooseFileFacts kNoFile{};
const LooseFileFacts kFile1000{true, false, 1000};
const LooseFileFacts kFolder{true, true, 0};
const std::vector<std::string> kNotFound = {kCache};
// The two headers of cross-origin isolation, as "settings" / "headers" gives them.
const std::vector<ResponseHeader> kIsolation = {{"Cross-Origin-Opener-Policy", "same-origin"},
                                                {"Cross-Origin-Embedder-Policy", "require-corp"}};
constexpr char kCoop[] = "Cross-Origin-Opener-Policy: same-origin";
constexpr char kCoep[] = "Cross-Origin-Embedder-Policy: require-corp";

TEST(ResponsePlan, Table) {
    // clang-format off
    const std::vector<PlanCase> cases = {
        {"bundle whole", "index.html", 1000, kNoFile, std::nullopt, 200,
         {kCache, kHtml, kRanges, "Content-Length: 1000"}, BodySource::BundleBytes, 0, 1000},
        {"loose whole", "img/a.png", std::nullopt, kFile1000, std::nullopt, 200,
         {kCache, kPng, kRanges, "Content-Length: 1000"}, BodySource::LooseFile, 0, 1000},
        {"bundle partial", "index.html", 1000, kNoFile, "bytes=100-199", 206,
         {kCache, kHtml, kRanges, "Content-Range: bytes 100-199/1000", "Content-Length: 100"},
         BodySource::BundleBytes, 100, 100},
        {"bundle whole range", "index.html", 1000, kNoFile, "bytes=0-", 206,
         {kCache, kHtml, kRanges, "Content-Range: bytes 0-999/1000", "Content-Length: 1000"},
         BodySource::BundleBytes, 0, 1000},
        {"loose whole range streams", "img/a.png", std::nullopt, kFile1000, "bytes=0-", 206,
         {kCache, kPng, kRanges, "Content-Range: bytes 0-999/1000", "Content-Length: 1000"},
         BodySource::LooseFile, 0, 1000},
        {"loose suffix over whole file streams", "img/a.png", std::nullopt, kFile1000,
         "bytes=-1000", 206,
         {kCache, kPng, kRanges, "Content-Range: bytes 0-999/1000", "Content-Length: 1000"},
         BodySource::LooseFile, 0, 1000},
        {"loose partial maps", "img/a.png", std::nullopt, kFile1000, " bytes=100- ", 206,
         {kCache, kPng, kRanges, "Content-Range: bytes 100-999/1000", "Content-Length: 900"},
         BodySource::LooseFile, 100, 900},
        {"loose last byte", "img/a.png", std::nullopt, kFile1000, "bytes=-1", 206,
         {kCache, kPng, kRanges, "Content-Range: bytes 999-999/1000", "Content-Length: 1"},
         BodySource::LooseFile, 999, 1},
        {"not found", "missing.html", std::nullopt, kNoFile, std::nullopt, 404, kNotFound,
         BodySource::NotFoundText, 0, 14},
        {"not found ignores range", "missing.html", std::nullopt, kNoFile, "bytes=0-", 404,
         kNotFound, BodySource::NotFoundText, 0, 14},
        {"416", "index.html", 1000, kNoFile, "bytes=1000-", 416, {kCache, kHtml, kRanges},
         BodySource::None, 0, 0},
        {"416 loose", "img/a.png", std::nullopt, kFile1000, "bytes=abc", 416,
         {kCache, kPng, kRanges}, BodySource::None, 0, 0},
        {"416 empty file", "empty.txt", std::nullopt, LooseFileFacts{true, false, 0}, "bytes=0-",
         416, {kCache, "Content-Type: text/plain; charset=utf-8", kRanges}, BodySource::None, 0,
         0},
        {"empty file whole", "empty.txt", std::nullopt, LooseFileFacts{true, false, 0},
         std::nullopt, 200,
         {kCache, "Content-Type: text/plain; charset=utf-8", kRanges, "Content-Length: 0"},
         BodySource::LooseFile, 0, 0},
        {"empty bundle entry", "e.bin", 0, kNoFile, std::nullopt, 200,
         {kCache, kOctets, kRanges, "Content-Length: 0"}, BodySource::BundleBytes, 0, 0},
        {"bundle wins over loose file", "index.html", 10, kFile1000, std::nullopt, 200,
         {kCache, kHtml, kRanges, "Content-Length: 10"}, BodySource::BundleBytes, 0, 10},
        {"bundle entry with an empty name", "", 5, kFolder, std::nullopt, 200,
         {kCache, kOctets, kRanges, "Content-Length: 5"}, BodySource::BundleBytes, 0, 5},
        {"bundle names are never refused", "../up.js", 3, kNoFile, std::nullopt, 200,
         {kCache, "Content-Type: application/javascript; charset=utf-8", kRanges,
          "Content-Length: 3"},
         BodySource::BundleBytes, 0, 3},
        {"empty key is the content folder", "", std::nullopt, kFolder, std::nullopt, 404,
         kNotFound, BodySource::NotFoundText, 0, 14},
        {"folder key", "img", std::nullopt, LooseFileFacts{true, true, 4096}, std::nullopt, 404,
         kNotFound, BodySource::NotFoundText, 0, 14},
        {"folder key with range", "img/", std::nullopt, kFolder, "bytes=0-", 404, kNotFound,
         BodySource::NotFoundText, 0, 14},
        {"traversal", "../secret.txt", std::nullopt, kFile1000, std::nullopt, 404, kNotFound,
         BodySource::NotFoundText, 0, 14},
        {"backslash", "a\\b.txt", std::nullopt, kFile1000, std::nullopt, 404, kNotFound,
         BodySource::NotFoundText, 0, 14},
        {"drive", "C:/x.txt", std::nullopt, kFile1000, std::nullopt, 404, kNotFound,
         BodySource::NotFoundText, 0, 14},
        {"query string stays in the key", "index.html?v=2", std::nullopt, kFile1000,
         std::nullopt, 200, {kCache, kOctets, kRanges, "Content-Length: 1000"},
         BodySource::LooseFile, 0, 1000},
        {"large loose file streams whole", "big.mp4", std::nullopt,
         LooseFileFacts{true, false, 5 * k4GiB}, std::nullopt, 200,
         {kCache, "Content-Type: video/mp4", kRanges, "Content-Length: 21474836480"},
         BodySource::LooseFile, 0, 5 * k4GiB},
        {"large loose file small range past 4 GiB", "big.mp4", std::nullopt,
         LooseFileFacts{true, false, 5 * k4GiB}, "bytes=4294967296-4294967395", 206,
         {kCache, "Content-Type: video/mp4", kRanges,
          "Content-Range: bytes 4294967296-4294967395/21474836480", "Content-Length: 100"},
         BodySource::LooseFile, k4GiB, 100},
        // Bodies read in place from a mapping have no size limit of their own.
        {"loose view over 4 GiB - 1", "big.mp4", std::nullopt,
         LooseFileFacts{true, false, 5 * k4GiB}, "bytes=1-21474836479", 206,
         {kCache, "Content-Type: video/mp4", kRanges,
          "Content-Range: bytes 1-21474836479/21474836480", "Content-Length: 21474836479"},
         BodySource::LooseFile, 1, 5 * k4GiB - 1},
        // An open-ended range gets at most 4 MiB, and Content-Range says where it ends.
        {"large loose file open range is capped", "big.mp4", std::nullopt,
         LooseFileFacts{true, false, 5 * k4GiB}, "bytes=4294967296-", 206,
         {kCache, "Content-Type: video/mp4", kRanges,
          "Content-Range: bytes 4294967296-4299161599/21474836480", "Content-Length: 4194304"},
         BodySource::LooseFile, k4GiB, 4194304},
        {"bundle open range from 0 is capped", "big.bin", 10485760, kNoFile, "bytes=0-", 206,
         {kCache, kOctets, kRanges, "Content-Range: bytes 0-4194303/10485760",
          "Content-Length: 4194304"},
         BodySource::BundleBytes, 0, 4194304},
        {"open range ending at the file's end", "big.bin", 10485760, kNoFile, "bytes=8388608-",
         206,
         {kCache, kOctets, kRanges, "Content-Range: bytes 8388608-10485759/10485760",
          "Content-Length: 2097152"},
         BodySource::BundleBytes, 8388608, 2097152},
        {"bundle body of exactly 4 GiB - 1", "big.bin", k4GiB - 1, kNoFile, std::nullopt, 200,
         {kCache, kOctets, kRanges, "Content-Length: 4294967295"}, BodySource::BundleBytes, 0,
         k4GiB - 1},
        {"bundle body of 4 GiB", "big.bin", k4GiB, kNoFile, std::nullopt, 200,
         {kCache, kOctets, kRanges, "Content-Length: 4294967296"}, BodySource::BundleBytes, 0,
         k4GiB},
        {"bundle body of 5 GiB", "big.bin", 5 * k4GiB / 4, kNoFile, std::nullopt, 200,
         {kCache, kOctets, kRanges, "Content-Length: 5368709120"}, BodySource::BundleBytes, 0,
         5 * k4GiB / 4},
        {"bundle range of 4 GiB", "big.bin", k4GiB + 10, kNoFile, "bytes=10-4294967305", 206,
         {kCache, kOctets, kRanges, "Content-Range: bytes 10-4294967305/4294967306",
          "Content-Length: 4294967296"},
         BodySource::BundleBytes, 10, k4GiB},
        {"bundle small range in a huge entry", "big.bin", k4GiB + 10, kNoFile, "bytes=-10", 206,
         {kCache, kOctets, kRanges, "Content-Range: bytes 4294967296-4294967305/4294967306",
          "Content-Length: 10"},
         BodySource::BundleBytes, k4GiB, 10},
        // The app's own headers come after the fixed lines of every answer, in their order.
        {"added on 200", "index.html", 1000, kNoFile, std::nullopt, 200,
         {kCache, kHtml, kRanges, "Content-Length: 1000", kCoop, kCoep}, BodySource::BundleBytes,
         0, 1000, kIsolation},
        {"added on 200 loose", "img/a.png", std::nullopt, kFile1000, std::nullopt, 200,
         {kCache, kPng, kRanges, "Content-Length: 1000", kCoop, kCoep}, BodySource::LooseFile, 0,
         1000, kIsolation},
        {"added on 206", "img/a.png", std::nullopt, kFile1000, "bytes=100-199", 206,
         {kCache, kPng, kRanges, "Content-Range: bytes 100-199/1000", "Content-Length: 100", kCoop,
          kCoep},
         BodySource::LooseFile, 100, 100, kIsolation},
        {"added on 404", "missing.html", std::nullopt, kNoFile, std::nullopt, 404,
         {kCache, kCoop, kCoep}, BodySource::NotFoundText, 0, 14, kIsolation},
        {"added on a refused key", "../secret.txt", std::nullopt, kFile1000, std::nullopt, 404,
         {kCache, "Content-Security-Policy: default-src 'self'; script-src 'self' 'wasm-unsafe-eval'"},
         BodySource::NotFoundText, 0, 14,
         {{"Content-Security-Policy", "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'"}}},
        {"added on 416", "index.html", 1000, kNoFile, "bytes=1000-", 416,
         {kCache, kHtml, kRanges, kCoop, kCoep}, BodySource::None, 0, 0, kIsolation},
    };
    // clang-format on
    for (const PlanCase& c : cases) ExpectPlan(c);
}

// The Windows handler's order of work, with maps standing in for the bundle and the disk; it
// records which loose paths were asked about.
struct FakeServer {
    std::map<std::string, std::uint64_t> bundle;
    std::map<std::string, LooseFileFacts> disk;  // by key
    std::vector<std::string> queried;

    ResponsePlan Serve(const std::string& rawPath, const std::string* range = nullptr) {
        const std::string key = PercentDecode(rawPath);
        std::optional<std::uint64_t> bundleSize;
        LooseFileFacts facts;
        if (const auto hit = bundle.find(key); hit != bundle.end()) {
            bundleSize = hit->second;
        } else if (IsSafeLooseKey(key)) {
            queried.push_back(key);
            if (const auto file = disk.find(key); file != disk.end()) facts = file->second;
        }
        return PlanResponse(key, bundleSize, facts, range, {});
    }
};

TEST(ResponsePlan, EncodedKeysDecodeBeforeTheyAreRefused) {
    FakeServer server;
    server.disk = {{"../secret.txt", kFile1000},
                   {"a\\b.txt", kFile1000},
                   {"sub/../index.html", kFile1000},
                   {"\xE2\x82\xAC.png", kFile1000},
                   {"a/b.png", kFile1000},
                   {"sub", kFolder},
                   {"", kFolder}};
    for (const std::string raw :
         {"..%2Fsecret.txt", "%2E%2E/secret.txt", "%2e%2e%2fsecret.txt", "a%5Cb.txt",
          "sub/%2E%2E/index.html", "sub/..%2Findex.html", "%2Fetc/passwd", "C%3A/x", "a%00b"}) {
        EXPECT_EQ(server.Serve(raw).status, 404) << raw;
    }
    EXPECT_TRUE(server.queried.empty()) << "a refused key reached the file system";

    EXPECT_EQ(server.Serve("%E2%82%AC.png").status, 200);
    EXPECT_EQ(server.Serve("a%2Fb.png").status, 200);
    EXPECT_EQ(server.Serve("sub").status, 404);
    EXPECT_EQ(server.Serve("").status, 404);
    EXPECT_EQ(server.queried, (std::vector<std::string>{"\xE2\x82\xAC.png", "a/b.png", "sub"}));

    // Letter case: the bundle match is exact, so a key differing in case goes to the disk.
    server.bundle = {{"Index.html", 7}};
    server.disk = {{"index.html", kFile1000}};
    EXPECT_EQ(server.Serve("Index.html").body, BodySource::BundleBytes);
    EXPECT_EQ(server.Serve("index.html").body, BodySource::LooseFile);
}

TEST(ResponsePlan, ServerError) {
    const std::string range = "bytes=100-199";
    for (const std::vector<ResponseHeader>& added : {std::vector<ResponseHeader>{}, kIsolation}) {
        SCOPED_TRACE(added.size());
        // A body that cannot be had: the lines made so far stay, the app's own still last.
        ResponsePlan plan = PlanResponse("a.png", std::nullopt, kFile1000, &range, added);
        const std::vector<std::string> headers = plan.headers;
        ChangeToServerError(plan);
        EXPECT_EQ(plan.status, 500);
        EXPECT_EQ(plan.reason, "Internal Server Error");
        EXPECT_EQ(plan.headers, headers);
        EXPECT_EQ(plan.headers.back(), added.empty() ? "Content-Length: 100" : kCoep);
        EXPECT_EQ(plan.body, BodySource::None);

        // Handling that failed on the way: the cache line and the app's own headers.
        const ResponsePlan failed = ServerErrorPlan(added);
        EXPECT_EQ(failed.status, 500);
        EXPECT_EQ(failed.reason, "Internal Server Error");
        const std::vector<std::string> expected =
            added.empty() ? std::vector<std::string>{kCache}
                          : std::vector<std::string>{kCache, kCoop, kCoep};
        EXPECT_EQ(failed.headers, expected);
        EXPECT_EQ(failed.body, BodySource::None);
        EXPECT_EQ(failed.count, 0u);
    }
}

TEST(ResponsePlan, JoinHeaderLines) {
    EXPECT_EQ(JoinHeaderLines({}), "");
    EXPECT_EQ(JoinHeaderLines({kCache}), kCache);
    EXPECT_EQ(JoinHeaderLines({"A: 1", "B: 2", "C: 3"}), "A: 1\nB: 2\nC: 3");
    EXPECT_EQ(kNotFoundBody.size(), 14u);
    EXPECT_EQ(kNotFoundBody, "File not found");
}

}  // namespace
