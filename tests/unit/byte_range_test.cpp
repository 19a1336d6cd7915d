#include "server/byte_range.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

struct RangeCase {
    std::string value;
    std::uint64_t total;
    bool satisfiable;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

constexpr std::uint64_t k4GiB = 4294967296ull;

void ExpectRanges(const std::vector<RangeCase>& cases) {
    for (const RangeCase& c : cases) {
        std::string value = c.value;
        TrimWhitespace(value);
        const ByteRange range = ParseRangeHeader(value, c.total);
        EXPECT_EQ(range.satisfiable, c.satisfiable) << '"' << c.value << "\" of " << c.total;
        if (c.satisfiable && range.satisfiable) {
            EXPECT_EQ(range.first, c.first) << c.value;
            EXPECT_EQ(range.last, c.last) << c.value;
        }
    }
}

TEST(ByteRange, VectorsForAThousandByteFile) {
    ExpectRanges({
        {"bytes=0-", 1000, true, 0, 999},
        {"bytes=500-", 1000, true, 500, 999},
        {"bytes=999-", 1000, true, 999, 999},
        {"bytes=1000-", 1000, false},
        {"bytes=-1", 1000, true, 999, 999},
        {"bytes=-1000", 1000, true, 0, 999},
        {"bytes=-1001", 1000, false},
        {"bytes=0-0", 1000, true, 0, 0},
        {"bytes=10-5", 1000, false},
        {"bytes=5-999", 1000, true, 5, 999},
        {"bytes=5-1000", 1000, false},
        {"bytes=0-1000", 1000, false},
        {"bytes=0-99,200-299", 1000, true, 0, 99},
        {"  bytes=0-99 \t\r\n", 1000, true, 0, 99},
        {"bytes = 0-99", 1000, false},
        {"bytes =0-99", 1000, false},
        {"bytes=", 1000, false},
        {"bytes=5", 1000, false},
        {"items=0-5", 1000, false},
        {"Bytes=0-1", 1000, false},
        {"bytes", 1000, false},
        {"", 1000, false},
        {"bytes=-5-10", 1000, true, 995, 999},  // suffix form, n read from "5-10"
        {"bytes= 5-10", 1000, true, 5, 10},     // white space before a number is skipped
        {"bytes=5- 10", 1000, true, 5, 10},
        {"bytes=+5-+10", 1000, true, 5, 10},
        {"bytes=5x-10y", 1000, true, 5, 10},  // digits stop at the first non-digit
        {"bytes=0010-0020", 1000, true, 10, 20},
    });
}

TEST(ByteRange, EmptyFileIsNeverSatisfiable) {
    ExpectRanges({
        {"bytes=0-", 0, false},
        {"bytes=0-0", 0, false},
        {"bytes=-1", 0, false},
        {"bytes=-0", 0, false},
        {"bytes=", 0, false},
    });
}

TEST(ByteRange, OneByteFile) {
    ExpectRanges({
        {"bytes=0-0", 1, true, 0, 0},
        {"bytes=0-", 1, true, 0, 0},
        {"bytes=-1", 1, true, 0, 0},
        {"bytes=1-", 1, false},
        {"bytes=-2", 1, false},
    });
}

TEST(ByteRange, MalformedAndOutOfRangeNumbers) {
    ExpectRanges({
        {"bytes=-", 1000, false},  // the "-" is also the last byte: no number before it
        {"bytes=x-5", 1000, false},
        {"bytes=5-x", 1000, false},
        {"bytes=--5", 1000, false},  // suffix of -5 acts larger than the file
        {"bytes=+-5", 1000, false},
        {"bytes=-+", 1000, false},
        {"bytes=-0", 1000, false},
        {"bytes=-00", 1000, false},
        {"bytes=5--3", 1000, false},          // last -3 widens to a huge unsigned value
        {"bytes=-5-", 1000, true, 995, 999},  // suffix form: n read from "5-"
        {"bytes=9223372036854775808-", 1000, false},
        {"bytes=99999999999999999999999-", 1000, false},
        {"bytes=0-99999999999999999999999", 1000, false},
        {"bytes=-99999999999999999999999", 1000, false},
        {"bytes=-9223372036854775808", 1000, false},
        {"bytes=2147483648-", 1000, false},
        {"bytes=4294967296-4294967297", 1000, false},
    });
}

TEST(ByteRange, SixtyFourBitPositionsOnLargeFiles) {
    const std::uint64_t total = 5 * k4GiB;
    ExpectRanges({
        // An open-ended range is answered with at most kOpenRangeLimit bytes.
        {"bytes=4294967296-", total, true, k4GiB, k4GiB + kOpenRangeLimit - 1},
        {"bytes=0-", total, true, 0, kOpenRangeLimit - 1},
        {"bytes=0-", kOpenRangeLimit, true, 0, kOpenRangeLimit - 1},
        {"bytes=0-", kOpenRangeLimit + 1, true, 0, kOpenRangeLimit - 1},
        {"bytes=1-", kOpenRangeLimit + 1, true, 1, kOpenRangeLimit},
        {"bytes=2-", kOpenRangeLimit + 1, true, 2, kOpenRangeLimit},
        {"bytes=0-21474836479", total, true, 0, total - 1},  // closed ranges are not capped
        {"bytes=-21474836480", total, true, 0, total - 1},   // nor suffix ranges
        {"bytes=2147483648-2147483649", total, true, 2147483648ull, 2147483649ull},
        {"bytes=-4294967296", total, true, total - k4GiB, total - 1},
        {"bytes=21474836479-", total, true, 21474836479ull, total - 1},
        {"bytes=21470642176-", total, true, 21470642176ull, total - 1},  // exactly the limit left
        {"bytes=21470642175-", total, true, 21470642175ull, total - 2},
        {"bytes=21474836480-", total, false},
        {"bytes=-1", 0xFFFFFFFFFFFFFFFFull, true, 0xFFFFFFFFFFFFFFFEull, 0xFFFFFFFFFFFFFFFEull},
        {"bytes=9223372036854775807-", 0xFFFFFFFFFFFFFFFFull, true, 9223372036854775807ull,
         9223372036854775807ull + kOpenRangeLimit - 1},
        {"bytes=0-", 0xFFFFFFFFFFFFFFFFull, true, 0, kOpenRangeLimit - 1},
        // A negative last is compared as unsigned: it lies past the end even of a huge file.
        {"bytes=0--1", 0xFFFFFFFFFFFFFFFFull, false},
    });
}

TEST(ByteRange, TrimRemovesOnlySpaceAndControlWhiteSpace) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"  a b  ", "a b"},         {"\t\n\v\f\rx\r\f\v\n\t", "x"}, {"   ", ""}, {"", ""},
        {"\x08x\x0E", "\x08x\x0E"}, {"\xC2\xA0x", "\xC2\xA0x"},  // a non-breaking space is not
                                                                 // white space here
    };
    for (const auto& [input, expected] : cases) {
        std::string text = input;
        TrimWhitespace(text);
        EXPECT_EQ(text, expected);
    }
}

TEST(ByteRange, DecimalNumberRule) {
    const std::vector<std::pair<std::string, std::optional<std::int64_t>>> cases = {
        {"0", 0},
        {"  42abc", 42},
        {"\t+7", 7},
        {"-12", -12},
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", std::nullopt},
        {"-9223372036854775809", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"- 5", std::nullopt},
        {"x1", std::nullopt},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ReadRangeNumber(text), expected) << text;
}

}  // namespace
