// Settings text and the origin tests: any input either parses into a config or fails with one of
// the documented errors, the shared verdict agrees with the parse and names a rule for every
// refusal, and the URI tests never read outside their strings.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "config/app_config.h"
#include "config/settings_check.h"
#include "webview/origin.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    AppConfig config;
    bool parsed = false;
    try {
        ParseAppConfig(text, config);
        parsed = true;
        if (config.name.empty()) std::abort();  // an empty name must have been refused
    } catch (const nlohmann::json::exception&) {
    } catch (const std::runtime_error& error) {
        const std::string message = error.what();
        if (message != "invalid name" && message != "invalid distribution mode" &&
            message != "invalid hosting mode" && message != "invalid content mode" &&
            message != "invalid headers") {
            std::abort();
        }
    }
    const SettingsCheck check = CheckSettingsText(text);
    const SettingsVerdict expected = text.empty() ? SettingsVerdict::LoadFailed
                                     : parsed     ? SettingsVerdict::Accepted
                                                  : SettingsVerdict::ParseFailed;
    if (check.verdict != expected || check.reason.empty() != parsed) std::abort();
    if (parsed && check.config.name != config.name) std::abort();
    // Every header the host would send is an allowed one with a single line of printable text.
    for (const ResponseHeader& header : config.responseHeaders) {
        if (std::find(std::begin(kResponseHeaderNames), std::end(kResponseHeaderNames),
                      std::string_view(header.name)) == std::end(kResponseHeaderNames) ||
            header.value.empty() || header.value.size() > kMaxResponseHeaderValue ||
            std::any_of(header.value.begin(), header.value.end(),
                        [](char c) { return c < 0x20 || c > 0x7E; }))
            std::abort();
    }
    // The same bytes as a URI against a few origins.
    for (const char* origin : {"https://app.localhost/", "https://example.com", ""}) {
        const bool passes = PassesOriginTest(text, origin);
        if (passes && text.compare(0, std::strlen(origin), origin) != 0) std::abort();
    }
    MayOpenExternally(text);
    return 0;
}
