// Fuzzes the request-key decoding, the range parser and the response plan together, checking the
// plan's invariants on every input.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "server/byte_range.h"
#include "server/request_key.h"
#include "server/response_plan.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Sizes near the interesting edges: small, around 2 GiB and 4 GiB, and anything at all.
std::uint64_t TakeSize(FuzzedDataProvider& input) {
    const std::uint64_t base[] = {
        0, 1, 1000, 0x7FFFFFFFull, 0xFFFFFFFFull, 0x100000000ull, 0xFFFFFFFFFFFFFFFFull};
    switch (input.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            return input.ConsumeIntegralInRange<std::uint64_t>(0, 4096);
        case 1:
            return base[input.ConsumeIntegralInRange<std::size_t>(0, 6)] +
                   input.ConsumeIntegralInRange<std::uint64_t>(0, 3) - 1;
        default:
            return input.ConsumeIntegral<std::uint64_t>();
    }
}

std::string Header(const std::string& name, const std::string& value) {
    return name + ": " + value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool inBundle = input.ConsumeBool();
    const bool hasRange = input.ConsumeBool();
    LooseFileFacts loose;
    loose.exists = input.ConsumeBool();
    loose.isDirectory = input.ConsumeBool();
    loose.size = TakeSize(input);
    const std::uint64_t bundleSize = TakeSize(input);
    // The app's own headers, or none: they must end every answer and change nothing before them.
    std::vector<ResponseHeader> added;
    if (input.ConsumeBool())
        added = {{"Cross-Origin-Opener-Policy", "same-origin"},
                 {"Cross-Origin-Embedder-Policy", "require-corp"}};
    const std::string range = input.ConsumeRandomLengthString(64);
    const std::string rawKey = input.ConsumeRemainingBytesAsString();

    const std::string key = PercentDecode(rawKey);
    Check(key.size() <= rawKey.size(), "decoding never lengthens");
    if (rawKey.find('%') == std::string::npos) Check(key == rawKey, "no escape, no change");

    const std::optional<std::uint64_t> bundle =
        inBundle ? std::optional<std::uint64_t>(bundleSize) : std::nullopt;
    ResponsePlan plan = PlanResponse(key, bundle, loose, hasRange ? &range : nullptr, added);
    Check(plan.headers.size() > added.size(), "fixed lines before the app's own");
    for (std::size_t i = 0; i < added.size(); ++i) {
        Check(plan.headers[plan.headers.size() - added.size() + i] ==
                  Header(added[i].name, added[i].value),
              "the app's own headers last, in order");
    }
    plan.headers.resize(plan.headers.size() - added.size());
    const std::uint64_t total = inBundle ? bundleSize : loose.size;
    const bool found = inBundle || (IsSafeLooseKey(key) && loose.exists && !loose.isDirectory);

    Check(!plan.headers.empty() && plan.headers[0] == "Cache-Control: no-store", "cache line");
    const std::string joined = JoinHeaderLines(plan.headers);
    Check(joined.empty() || joined.back() != '\n', "no line end after the last header");

    if (!found) {
        Check(plan.status == 404 && plan.headers.size() == 1, "404 has the cache line only");
        Check(plan.body == BodySource::NotFoundText && plan.count == kNotFoundBody.size(),
              "404 body");
        return 0;
    }
    Check(plan.headers.size() >= 3 && plan.headers[2] == "Accept-Ranges: bytes", "found headers");
    const bool bundleBody = plan.body == BodySource::BundleBytes;
    const bool looseBody = plan.body == BodySource::LooseFile;
    Check(!bundleBody || inBundle, "bundle bytes only for a bundle hit");
    Check(!looseBody || !inBundle, "loose bodies only without a bundle hit");
    // Bodies are read from the file by position, whatever their size, but never past its end.
    if (bundleBody || looseBody) {
        Check(plan.first <= total && plan.count <= total - plan.first, "body inside the file");
    }

    switch (plan.status) {
        case 200:
            Check(!hasRange && plan.first == 0 && plan.count == total, "200 is the whole file");
            Check(plan.headers.back() == Header("Content-Length", std::to_string(total)),
                  "200 length");
            break;
        case 206: {
            Check(hasRange && plan.count >= 1, "206 has a range");
            Check(plan.first < total && plan.count <= total - plan.first, "206 inside the file");
            const std::uint64_t last = plan.first + plan.count - 1;
            Check(plan.headers.size() == 5 &&
                      plan.headers[3] ==
                          Header("Content-Range", "bytes " + std::to_string(plan.first) + "-" +
                                                      std::to_string(last) + "/" +
                                                      std::to_string(total)) &&
                      plan.headers[4] == Header("Content-Length", std::to_string(plan.count)),
                  "206 headers");
            break;
        }
        case 416:
            Check(hasRange && plan.headers.size() == 3 && plan.body == BodySource::None, "416");
            break;
        default:
            // 500 is the handler's answer when a body cannot be made; the plan never gives it.
            Check(false, "unexpected status");
    }

    if (hasRange) {
        std::string trimmed = range;
        TrimWhitespace(trimmed);
        const ByteRange parsed = ParseRangeHeader(trimmed, total);
        if (parsed.satisfiable) {
            Check(parsed.first <= parsed.last && parsed.last < total, "range inside the file");
        }
        Check(parsed.satisfiable == (plan.status == 206), "range decides");
    }
    return 0;
}
