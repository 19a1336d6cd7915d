// Single byte ranges from a "Range" request header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The most bytes an open-ended range ("bytes=N-") is answered with. The runtime reads every answer
// whole into memory on one thread, so the rest of a long video would be read at once; media
// players ask again from where a shorter answer ends.
constexpr std::uint64_t kOpenRangeLimit = 4 * 1024 * 1024;

struct ByteRange {
    bool satisfiable = false;
    std::uint64_t first = 0;  // offset of the first byte to send
    std::uint64_t last = 0;   // offset of the last byte to send, inclusive
};

// Removes the space and the control bytes 0x09 to 0x0D from the end, then from the start.
void TrimWhitespace(std::string& text);

// The decimal-number rule of range values: skip leading white space, one optional "+" or "-",
// then digits up to the first byte that is not one (the rest is ignored). No digits, or a value
// outside the signed 64-bit range, gives nothing.
std::optional<std::int64_t> ReadRangeNumber(std::string_view text);

// Parses a trimmed value of the forms "bytes=first-last", "bytes=first-" and "bytes=-suffix"
// against a file of `total` bytes. Only the first range of a list is used. An open-ended range
// ends after at most kOpenRangeLimit bytes; nothing else is clamped.
// A negative number is widened and compared as unsigned, so it acts larger than any file.
// When satisfiable, first <= last < total.
ByteRange ParseRangeHeader(const std::string& value, std::uint64_t total);
