#include "config/app_config.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

#include "config/json_members.h"

namespace {

const nlohmann::json& Section(const nlohmann::json& root, const char* key) {
    static const nlohmann::json null;
    auto it = root.is_object() ? root.find(key) : root.end();
    return (root.is_object() && it != root.end()) ? *it : null;
}

// A mode of the "settings" section: exactly one of its two spellings (the first is the default);
// any other string is refused with `error`.
template <typename Mode>
Mode ReadMode(const nlohmann::json& settings, const char* key, const char* error, const char* first,
              Mode firstMode, const char* second, Mode secondMode) {
    const std::string value = ReadStringMember(settings, key, first);
    if (value == first) return firstMode;
    if (value == second) return secondMode;
    throw InvalidSettingError(error, std::string("settings.") + key, value,
                              std::string("\"") + first + "\" or \"" + second + "\"");
}

// The spelling of kResponseHeaderNames for `name` (letter case does not count), or null.
const char* AllowedHeaderName(const std::string& name) {
    for (const char* allowed : kResponseHeaderNames) {
        const std::string_view spelling(allowed);
        if (name.size() == spelling.size() &&
            std::equal(name.begin(), name.end(), spelling.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return allowed;
    }
    return nullptr;
}

// What keeps `value` from being a header value the host sends as it stands, or empty: it must be
// one line of printable ASCII, neither empty nor longer than kMaxResponseHeaderValue bytes. A line
// end would start a header of the file's choosing, and the runtime's own reading of other bytes
// is not ours to guess.
std::string HeaderValueProblem(const std::string& value) {
    if (value.empty()) return "is empty; leave the header out instead";
    if (value.find_first_of("\r\n") != std::string::npos)
        return "holds a line break (CR or LF); a header value is one line of text";
    if (value.find('\0') != std::string::npos) return "holds a zero character (NUL)";
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "U+%04X", byte);
            return std::string("holds the control character ") + code +
                   "; a header value is printable text";
        }
        if (byte > 0x7F)
            return "holds a character outside ASCII; a header value is printable ASCII text "
                   "(percent-encode or punycode what needs more)";
    }
    if (value.size() > kMaxResponseHeaderValue)
        return "is " + std::to_string(value.size()) +
               " bytes long; a header value may have at most " +
               std::to_string(kMaxResponseHeaderValue);
    return {};
}

// "settings" / "headers": absent or null gives none; anything but an object of allowed names to
// acceptable values is refused, since a header left out silently would break the page in ways
// hard to trace back (threads without cross-origin isolation, a policy that is not applied).
std::vector<ResponseHeader> ReadResponseHeaders(const nlohmann::json& settings) {
    std::vector<ResponseHeader> headers;
    const auto found = settings.is_object() ? settings.find("headers") : settings.end();
    if (!settings.is_object() || found == settings.end() || found->is_null()) return headers;
    const auto refuse = [](std::string key, std::string problem) {
        throw InvalidSettingError("invalid headers", std::move(key), "", "", std::move(problem));
    };
    if (!found->is_object())
        refuse("settings.headers", "is not an object of header names and their values");
    for (auto item = found->begin(); item != found->end(); ++item) {
        const std::string key = "settings.headers." + item.key();
        const char* name = AllowedHeaderName(item.key());
        if (name == nullptr) {
            std::string names;
            for (const char* allowed : kResponseHeaderNames)
                names += (names.empty() ? "" : ", ") + std::string(allowed);
            refuse(key, "is not a header the host may send; it may send " + names +
                            " (letter case does not count)");
        }
        for (const ResponseHeader& earlier : headers) {
            if (earlier.name == name)
                refuse(key,
                       std::string("names ") + name +
                           " a second time (letter case does not count); give each header once");
        }
        if (!item->is_string()) refuse(key, "is not a string; a header value is one line of text");
        const std::string& value = item->get_ref<const std::string&>();
        if (const std::string problem = HeaderValueProblem(value); !problem.empty())
            refuse(key, problem);
        headers.push_back(ResponseHeader{name, value});
    }
    return headers;
}

}  // namespace

std::string FolderNameProblem(std::string_view name) {
    if (name.empty()) return "is empty";
    if (name == "." || name == "..") return "stands for a folder itself or its parent";
    std::size_t units = 0;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "U+%04X", byte);
            return std::string("holds the control character ") + code;
        }
        if (std::string_view("<>:\"\\/|?*").find(c) != std::string_view::npos)
            return std::string("holds the character \"") + c + "\"";
        // UTF-16 units: one per character, two for a four-byte sequence (a surrogate pair).
        if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
    }
    if (name.back() == '.' || name.back() == ' ')
        return "ends in \".\" or \" \", which Windows drops from a name";
    if (units > 255)
        return "is " + std::to_string(units) + " UTF-16 units long; Windows takes at most 255";
    std::string stem(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const bool numbered = stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9' &&
                          (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0);
    if (numbered || stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL")
        return "is the device name " + stem + " on Windows, with or without an extension";
    return {};
}

void ParseAppConfig(const std::string& text, AppConfig& config) {
    // The file is handed to the parser as a zero-terminated string: a zero byte ends the text.
    const nlohmann::json root = nlohmann::json::parse(text.c_str());

    config.name = ReadStringMember(root, "name", "");
    if (config.name.empty())
        throw InvalidSettingError("invalid name", "name", "", "a non-empty string");
    if (const std::string problem = FolderNameProblem(config.name); !problem.empty()) {
        throw InvalidSettingError("invalid name", "name", config.name, "",
                                  "is " + nlohmann::json(config.name).dump() + ", which " + problem +
                                      "; " + kFolderNameRule);
    }
    config.main = ReadStringMember(root, "main", "index.html");

    const nlohmann::json& window = Section(root, "window");
    config.title = ReadStringMember(window, "title", kDefaultTitle);
    config.width = ReadIntMember(window, "width", 1024);
    config.height = ReadIntMember(window, "height", 768);
    config.icon = ReadStringMember(window, "icon", "");
    config.resizable = ReadBoolMember(window, "resizable", true);

    config.chromiumArgs = ReadStringMember(root, "chromium-args", "");

    const nlohmann::json& settings = Section(root, "settings");
    config.distributionMode =
        ReadMode(settings, "distribution-mode", "invalid distribution mode", "evergreen",
                 DistributionMode::Evergreen, "fixed", DistributionMode::Fixed);
    config.hostingMode =
        ReadMode(settings, "hosting-mode", "invalid hosting mode", "windowed",
                 HostingMode::Windowed, "window-to-visual", HostingMode::WindowToVisual);
    config.contentMode = ReadMode(settings, "content-mode", "invalid content mode", "bundle",
                                  ContentMode::Bundle, "remote", ContentMode::Remote);
    config.enableDevTools = ReadBoolMember(settings, "enable-devtools", true);
    config.responseHeaders = ReadResponseHeaders(settings);

    const nlohmann::json& messages = Section(root, "messages");
    config.installWebView2Message =
        ReadStringMember(messages, "install-webview2", kDefaultInstallMessage);
    config.downloadingMessage =
        ReadStringMember(messages, "downloading", kDefaultDownloadingMessage);
    config.installFailedMessage =
        ReadStringMember(messages, "install-webview2-failed", kDefaultInstallFailedMessage);
}
