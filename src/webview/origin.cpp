#include "webview/origin.h"

#include <algorithm>
#include <cctype>

std::string AppOriginFor(const AppConfig& config) {
    return config.contentMode == ContentMode::Bundle ? std::string(kBundleAppOrigin) : config.main;
}

std::string StartUrlFor(const AppConfig& config, const std::string& appOrigin) {
    return config.contentMode == ContentMode::Bundle ? appOrigin + config.main : config.main;
}

namespace {

// True when the origin has no "/" after the "//" that follows its scheme.
bool IsBareOrigin(const std::string& origin) {
    const size_t scheme = origin.find("://");
    if (scheme == std::string::npos) return false;
    return origin.find('/', scheme + 3) == std::string::npos;
}

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

bool PassesOriginTest(const std::string& uri, const std::string& appOrigin) {
    if (uri.size() < appOrigin.size() || uri.compare(0, appOrigin.size(), appOrigin) != 0) {
        return false;
    }
    if (!IsBareOrigin(appOrigin) || uri.size() == appOrigin.size()) return true;
    const char next = uri[appOrigin.size()];
    return next == '/' || next == '?' || next == '#';
}

bool MayOpenExternally(const std::string& uri) {
    // A scheme: a letter, then letters, digits, "+", "-" or ".", then ":".
    const size_t colon = uri.find(':');
    if (colon == std::string::npos || colon == 0 || !IsAsciiAlpha(uri[0])) return false;
    for (size_t i = 1; i < colon; ++i) {
        const char c = uri[i];
        if (!IsAsciiAlpha(c) && !std::isdigit(static_cast<unsigned char>(c)) && c != '+' &&
            c != '-' && c != '.') {
            return false;
        }
    }
    // One letter before the colon is a drive letter, not a scheme.
    if (colon == 1) return false;
    std::string scheme = uri.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* refused : {"file", "javascript", "data", "blob", "about", "vbscript"}) {
        if (scheme == refused) return false;
    }
    return true;
}
