// The answer to one request for the app origin, decided without touching the platform: status,
// reason phrase, header lines in order, and where the body's bytes come from. The Windows request
// handler looks the key up in the bundle, and only without a hit checks IsSafeLooseKey before it
// asks the file system for the loose file's facts; then it builds the body this plan names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/app_config.h"

enum class BodySource {
    None,          // no body stream
    NotFoundText,  // the bytes of kNotFoundBody
    BundleBytes,   // `count` bytes starting `first` bytes into the bundle entry's data
    LooseFile,     // `count` bytes starting `first` bytes into the loose file (the whole file
                   // or a range of it), read from the file when the body is read
};

inline constexpr std::string_view kNotFoundBody = "File not found";

struct LooseFileFacts {
    bool exists = false;
    bool isDirectory = false;
    std::uint64_t size = 0;
};

struct ResponsePlan {
    int status = 0;
    std::string reason;
    std::vector<std::string> headers;  // "Name: value", no line ends
    BodySource body = BodySource::None;
    std::uint64_t first = 0;
    std::uint64_t count = 0;
};

// `key` is the decoded request path (query string included); `bundleSize` the size of the bundle
// entry of exactly that name, if there is one; `loose` what the file system said about the loose
// file (ignored when the bundle has the key or the key is not a safe loose key); `rangeHeader`
// the raw value of the "Range" header (untrimmed), or null when the request has none. `added` are
// the app's own headers ("settings" / "headers"), which every answer carries after its fixed
// lines.
ResponsePlan PlanResponse(const std::string& key, std::optional<std::uint64_t> bundleSize,
                          const LooseFileFacts& loose, const std::string* rangeHeader,
                          const std::vector<ResponseHeader>& added);

// Turns a plan whose body cannot be produced (no stream, no view) into the 500 answer: the header
// lines made so far stay, the app's own last, the body goes.
void ChangeToServerError(ResponsePlan& plan);

// The answer to a request whose handling failed on the way: 500 without a body, with the cache
// line and the app's own headers.
ResponsePlan ServerErrorPlan(const std::vector<ResponseHeader>& added);

// The header lines with "\n" between them and none after the last.
std::string JoinHeaderLines(const std::vector<std::string>& lines);
