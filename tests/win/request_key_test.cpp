// The request key as the handler forms it: percent-decoded bytes passed through the platform's
// UTF-8 conversion, so invalid UTF-8 is replaced exactly as every other conversion replaces it.
#include <gtest/gtest.h>

#include "app/paths_win.h"
#include "server/request_key.h"

namespace {

std::string Key(const std::string& rest) { return ToNarrow(ToWide(PercentDecode(rest))); }

TEST(RequestKey, DecodesToUtf8AndReplacesInvalidBytes) {
    const struct {
        const char* rest;
        std::string key;
    } vectors[] = {
        {"%E2%82%AC.png", "\xE2\x82\xAC.png"},
        {"a%2Fb.js", "a/b.js"},
        {"%zz%4", "%zz%4"},
        {"caf%C3%A9.html?v=2", "caf\xC3\xA9.html?v=2"},
        {"%FF.png", "\xEF\xBF\xBD.png"},
        {"%E2%82.png", "\xEF\xBF\xBD.png"},
        {"%C0%AF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"", ""},
    };
    for (const auto& v : vectors) EXPECT_EQ(Key(v.rest), v.key) << v.rest;
}

TEST(RequestKey, LongKeysAreDecodedWhole) {
    std::string rest;
    for (int i = 0; i < 3000; ++i) rest += "%41";
    EXPECT_EQ(Key(rest), std::string(3000, 'A'));
}

}  // namespace
