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

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Whether `uri` begins with a scheme (a letter, then letters, digits, "+", "-" or "."), followed
// by ":"; its length, or 0.
size_t SchemeLength(const std::string& uri) {
    if (uri.empty() || !IsAsciiAlpha(uri[0])) return 0;
    for (size_t i = 1; i < uri.size(); ++i) {
        const char c = uri[i];
        if (c == ':') return i;
        if (!IsAsciiAlpha(c) && !std::isdigit(static_cast<unsigned char>(c)) && c != '+' &&
            c != '-' && c != '.') {
            return 0;
        }
    }
    return 0;
}

}  // namespace

bool PassesOriginTest(const std::string& uri, const std::string& appOrigin) {
    if (uri.size() < appOrigin.size() || uri.compare(0, appOrigin.size(), appOrigin) != 0) {
        return false;
    }
    if (!IsBareOrigin(appOrigin) || uri.size() == appOrigin.size()) return true;
    const char next = uri[appOrigin.size()];
    return next == '/' || next == '?' || next == '#';
}

std::string WebOriginOf(const std::string& uri) {
    const size_t colon = SchemeLength(uri);
    if (colon < 2 || uri.compare(colon, 3, "://") != 0) return "";
    const std::string scheme = Lowered(uri.substr(0, colon));
    const size_t start = colon + 3;
    const size_t end = std::min(uri.find_first_of("/?#\\", start), uri.size());
    std::string authority = uri.substr(start, end - start);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) authority.erase(0, at + 1);
    // The port follows the last ":" that is not inside an IPv6 address's brackets.
    const size_t bracket = authority.rfind(']');
    size_t portColon = authority.rfind(':');
    if (bracket != std::string::npos && portColon != std::string::npos && portColon < bracket) {
        portColon = std::string::npos;
    }
    const std::string host = Lowered(authority.substr(0, portColon));
    std::string port = portColon == std::string::npos ? "" : authority.substr(portColon + 1);
    if (host.empty()) return "";
    if (!port.empty()) {
        for (const char c : port) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return "";
        }
        port.erase(0, std::min(port.find_first_not_of('0'), port.size() - 1));
        if (port.size() > 5 || std::stoul(port) > 65535) return "";
    }
    // "host:" with nothing after the colon, like the scheme's own port, is the default port.
    if ((scheme == "http" && port == "80") || (scheme == "https" && port == "443")) port.clear();
    return scheme + "://" + host + (port.empty() ? "" : ":" + port);
}

bool MayOpenExternally(const std::string& uri) {
    const size_t colon = SchemeLength(uri);
    // None, or one letter before the colon: a drive letter, not a scheme.
    if (colon < 2) return false;
    const std::string scheme = Lowered(uri.substr(0, colon));
    for (const char* refused : {"file", "javascript", "data", "blob", "about", "vbscript"}) {
        if (scheme == refused) return false;
    }
    return true;
}
