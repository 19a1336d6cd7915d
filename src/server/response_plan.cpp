#include "server/response_plan.h"

#include <utility>

#include "server/byte_range.h"
#include "server/content_types.h"
#include "server/request_key.h"

namespace {

constexpr char kCacheControlLine[] = "Cache-Control: no-store";

// The plan with the app's own header lines after its fixed ones.
ResponsePlan WithAdded(ResponsePlan plan, const std::vector<ResponseHeader>& added) {
    for (const ResponseHeader& header : added)
        plan.headers.push_back(header.name + ": " + header.value);
    return plan;
}

ResponsePlan NotFound() {
    ResponsePlan plan;
    plan.status = 404;
    plan.reason = "Not Found";
    plan.headers = {kCacheControlLine};
    plan.body = BodySource::NotFoundText;
    plan.count = kNotFoundBody.size();
    return plan;
}

void SetBody(ResponsePlan& plan, BodySource body, std::uint64_t first, std::uint64_t count) {
    plan.body = body;
    plan.first = first;
    plan.count = count;
}

// The answer without the app's own headers.
ResponsePlan PlanFixedLines(const std::string& key, std::optional<std::uint64_t> bundleSize,
                            const LooseFileFacts& loose, const std::string* rangeHeader) {
    const bool inBundle = bundleSize.has_value();
    if (!inBundle && (!IsSafeLooseKey(key) || !loose.exists || loose.isDirectory)) {
        return NotFound();
    }
    const std::uint64_t total = inBundle ? *bundleSize : loose.size;

    ResponsePlan plan;
    plan.headers = {kCacheControlLine, "Content-Type: " + ContentTypeForPath(key),
                    "Accept-Ranges: bytes"};

    if (rangeHeader == nullptr) {
        plan.headers.push_back("Content-Length: " + std::to_string(total));
        plan.status = 200;
        plan.reason = "OK";
        SetBody(plan, inBundle ? BodySource::BundleBytes : BodySource::LooseFile, 0, total);
        return plan;
    }

    std::string value = *rangeHeader;
    TrimWhitespace(value);
    const ByteRange range = ParseRangeHeader(value, total);
    if (!range.satisfiable) {
        plan.status = 416;
        plan.reason = "Range Not Satisfiable";
        return plan;
    }
    const std::uint64_t count = range.last - range.first + 1;
    plan.headers.push_back("Content-Range: bytes " + std::to_string(range.first) + "-" +
                           std::to_string(range.last) + "/" + std::to_string(total));
    plan.headers.push_back("Content-Length: " + std::to_string(count));
    plan.status = 206;
    plan.reason = "Partial Content";
    SetBody(plan, inBundle ? BodySource::BundleBytes : BodySource::LooseFile, range.first, count);
    return plan;
}

}  // namespace

ResponsePlan PlanResponse(const std::string& key, std::optional<std::uint64_t> bundleSize,
                          const LooseFileFacts& loose, const std::string* rangeHeader,
                          const std::vector<ResponseHeader>& added) {
    return WithAdded(PlanFixedLines(key, bundleSize, loose, rangeHeader), added);
}

ResponsePlan ServerErrorPlan(const std::vector<ResponseHeader>& added) {
    ResponsePlan plan;
    plan.headers = {kCacheControlLine};
    ChangeToServerError(plan);
    return WithAdded(std::move(plan), added);
}

void ChangeToServerError(ResponsePlan& plan) {
    plan.status = 500;
    plan.reason = "Internal Server Error";
    plan.body = BodySource::None;
    plan.first = 0;
    plan.count = 0;
}

std::string JoinHeaderLines(const std::vector<std::string>& lines) {
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) joined.push_back('\n');
        joined += lines[i];
    }
    return joined;
}
