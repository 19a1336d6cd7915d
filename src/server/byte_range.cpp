#include "server/byte_range.h"

#include <algorithm>
#include <limits>

namespace {

bool IsRangeSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr std::string_view kUnitPrefix = "bytes=";

// A number read by the decimal-number rule, widened with its sign to 64 unsigned bits.
std::optional<std::uint64_t> ReadPosition(std::string_view text) {
    const std::optional<std::int64_t> value = ReadRangeNumber(text);
    if (!value) return std::nullopt;
    return static_cast<std::uint64_t>(*value);
}

ByteRange Range(std::uint64_t first, std::uint64_t last) { return ByteRange{true, first, last}; }

}  // namespace

void TrimWhitespace(std::string& text) {
    std::string::size_type end = text.size();
    while (end > 0 && IsRangeSpace(text[end - 1])) --end;
    text.erase(end);
    std::string::size_type begin = 0;
    while (begin < text.size() && IsRangeSpace(text[begin])) ++begin;
    text.erase(0, begin);
}

std::optional<std::int64_t> ReadRangeNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsRangeSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !IsDigit(text[i])) return std::nullopt;
    // Accumulate the magnitude unsigned; the negative limit is one larger than the positive one.
    const std::uint64_t limit =
        negative ? static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1
                 : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::uint64_t magnitude = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        if (magnitude > (limit - digit) / 10) return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    if (!negative) return static_cast<std::int64_t>(magnitude);
    // Two's complement negation in unsigned arithmetic keeps INT64_MIN representable.
    return static_cast<std::int64_t>(~magnitude + 1);
}

ByteRange ParseRangeHeader(const std::string& value, std::uint64_t total) {
    const ByteRange unsatisfiable;
    if (total == 0) return unsatisfiable;
    const std::string_view text = value;
    if (text.substr(0, kUnitPrefix.size()) != kUnitPrefix) return unsatisfiable;
    const std::string_view rangeSet = text.substr(kUnitPrefix.size());
    if (rangeSet.empty()) return unsatisfiable;
    const std::string_view::size_type dash = rangeSet.find('-');
    if (dash == std::string_view::npos) return unsatisfiable;

    if (dash == rangeSet.size() - 1) {  // first-
        const auto first = ReadPosition(rangeSet.substr(0, dash));
        if (!first || *first >= total) return unsatisfiable;
        return Range(*first, *first + std::min(total - *first, kOpenRangeLimit) - 1);
    }
    if (dash == 0) {  // -suffix
        const auto suffix = ReadPosition(rangeSet.substr(1));
        if (!suffix || *suffix == 0 || *suffix > total) return unsatisfiable;
        return Range(total - *suffix, total - 1);
    }
    // first-last
    const auto first = ReadPosition(rangeSet.substr(0, dash));
    const auto last = ReadPosition(rangeSet.substr(dash + 1));
    if (!first || !last || *first >= total || *last >= total || *first > *last) {
        return unsatisfiable;
    }
    return Range(*first, *last);
}
