#include "packager/package_checks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <set>
#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

#include "bundle/bundle_writer.h"
#include "config/settings_check.h"
#include "packager/app_packager.h"
#include "packager/package_output.h"

namespace fs = std::filesystem;

std::string ExtensionLibraryProblem(const fs::path& path) {
    constexpr std::uintmax_t kLargestLibrary = std::uintmax_t{512} << 20;
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kLargestLibrary) return "cannot be read as a library";
    if (!IsX64PortableExecutable(path))
        return "not an x64 Windows library; the host is x64 and loads only x64 extensions";
    std::string image(static_cast<std::size_t>(size), '\0');
    std::ifstream in(path, std::ios::binary);
    if (!in.read(image.data(), static_cast<std::streamsize>(image.size())))
        return "cannot be read as a library";
    // Little-endian fields at checked offsets; 0 past the end of the file.
    const auto u16 = [&](std::uint64_t at) -> std::uint32_t {
        if (at + 2 > image.size()) return 0;
        return static_cast<unsigned char>(image[at]) |
               (static_cast<unsigned char>(image[at + 1]) << 8);
    };
    const auto u32 = [&](std::uint64_t at) -> std::uint32_t { return u16(at) | (u16(at + 2) << 16); };
    const std::uint64_t header = u32(60);
    constexpr std::uint32_t kDll = 0x2000, kPe32Plus = 0x20B;
    if (!(u16(header + 22) & kDll)) return "an x64 program, not a library (DLL)";
    const std::uint64_t optional = header + 24;
    const std::uint64_t optionalSize = u16(header + 20);
    if (u16(optional) != kPe32Plus || u32(optional + 108) < 1 || optionalSize < 120)
        return "a library without an export table";
    // Where a virtual address lies in the file, through the section that holds it.
    const std::uint64_t sections = optional + optionalSize;
    const std::uint32_t sectionCount = u16(header + 6);
    const auto offsetOf = [&](std::uint32_t rva) -> std::uint64_t {
        for (std::uint32_t i = 0; i < sectionCount; ++i) {
            const std::uint64_t section = sections + 40 * std::uint64_t{i};
            const std::uint32_t virtualAddress = u32(section + 12);
            const std::uint32_t length = std::max(u32(section + 8), u32(section + 16));
            if (rva >= virtualAddress && rva - virtualAddress < length)
                return u32(section + 20) + std::uint64_t{rva - virtualAddress};
        }
        return image.size();
    };
    const std::uint64_t exports = offsetOf(u32(optional + 112));
    const std::uint32_t nameCount = u32(exports + 24);
    const std::uint64_t names = offsetOf(u32(exports + 32));
    std::vector<std::string> exported;
    for (std::uint32_t i = 0; exports < image.size() && i < nameCount && i < 1u << 16; ++i) {
        const std::uint64_t name = offsetOf(u32(names + 4 * std::uint64_t{i}));
        if (name >= image.size()) break;
        exported.emplace_back(image.c_str() + name, strnlen(image.c_str() + name, image.size() - name));
    }
    std::string missing;
    for (const char* entry : {"Init", "Release", "OnMainWindowCreated", "OnExtensionMessage"})
        if (std::find(exported.begin(), exported.end(), entry) == exported.end())
            missing += (missing.empty() ? "" : ", ") + std::string(entry);
    if (missing.empty()) return {};
    return "does not export " + missing +
           " by plain name (declare them extern \"C\"); the host would not load it";
}

std::vector<std::string> SettingsWarnings(const std::string& text, const AppConfig& config) {
    std::string json = text;
    if (json.rfind("\xEF\xBB\xBF", 0) == 0) json.erase(0, 3);
    const nlohmann::json root = nlohmann::json::parse(json.c_str(), nullptr, false);
    std::vector<std::string> warnings;
    if (!root.is_object()) return warnings;
    using Type = nlohmann::json::value_t;
    struct Member {
        const char* key;
        bool (nlohmann::json::*is)() const noexcept;
        const char* kind;
    };
    const auto string = &nlohmann::json::is_string;
    const auto number = &nlohmann::json::is_number;
    const auto boolean = &nlohmann::json::is_boolean;
    const auto object = &nlohmann::json::is_object;
    const std::vector<std::pair<const char*, std::vector<Member>>> sections = {
        {"", {{"main", string, "a string"}, {"chromium-args", string, "a string"},
              {"window", object, "an object"}, {"settings", object, "an object"},
              {"messages", object, "an object"}}},
        {"window", {{"title", string, "a string"}, {"width", number, "a number"},
                    {"height", number, "a number"}, {"icon", string, "a string"},
                    {"resizable", boolean, "true or false"}}},
        {"settings", {{"distribution-mode", string, "a string"}, {"hosting-mode", string, "a string"},
                      {"content-mode", string, "a string"}, {"enable-devtools", boolean, "true or false"},
                      {"headers", object, "an object"}}},
        {"messages", {{"install-webview2", string, "a string"}, {"downloading", string, "a string"},
                      {"install-webview2-failed", string, "a string"}}},
    };
    for (const auto& [name, members] : sections) {
        const std::string prefix = *name ? std::string(name) + "." : "";
        const auto found = root.find(name);
        const nlohmann::json& section = *name ? (found != root.end() ? *found : nlohmann::json()) : root;
        if (!section.is_object()) continue;
        for (auto item = section.begin(); item != section.end(); ++item) {
            const std::string& key = item.key();
            const nlohmann::json& value = item.value();
            const auto member = std::find_if(members.begin(), members.end(),
                                             [&](const Member& m) { return key == m.key; });
            if (member == members.end()) {
                if (*name) warnings.push_back("\"" + prefix + key + "\" is not a setting the host knows; it is ignored");
            } else if (!(value.*(member->is))() && value.type() != Type::null) {
                warnings.push_back("\"" + prefix + key + "\" is not " + member->kind +
                                   "; the host takes its default");
            }
        }
    }
    if (config.contentMode == ContentMode::Remote && !config.responseHeaders.empty())
        warnings.push_back(
            "\"settings.headers\" has no effect in remote content mode: the pages come "
            "from the remote server, and only its own headers reach them");
    if (config.enableDevTools)
        warnings.push_back("\"settings.enable-devtools\" is on (as when it is left out): users can open the "
                           "developer tools; set it to false for a release");
    return warnings;
}

namespace {

// The first member given twice in one object of the JSON `text`, as its path ("settings.headers.
// Content-Security-Policy"), or empty. The text is read as the host reads it; a text the host
// refuses has none.
std::string RepeatedMember(const std::string& text) {
    struct Object {
        std::set<std::string> keys;
        std::string path;  // of the object, with a "." after it unless it is the root
        std::string key;   // the member being read
    };
    std::vector<Object> open;
    std::string repeated;
    using Event = nlohmann::json::parse_event_t;
    const auto callback = [&](int, Event event, nlohmann::json& parsed) {
        if (!repeated.empty()) return true;
        switch (event) {
            case Event::object_start: {
                std::string path;
                if (!open.empty()) path = open.back().path + open.back().key + ".";
                open.push_back(Object{{}, path, {}});
                break;
            }
            case Event::object_end: open.pop_back(); break;
            case Event::key:
                open.back().key = parsed.get<std::string>();
                if (!open.back().keys.insert(open.back().key).second)
                    repeated = open.back().path + open.back().key;
                break;
            case Event::array_start:
                // Members of objects inside arrays are named with "[]" for the array.
                if (!open.empty()) open.back().key += "[]";
                break;
            default: break;
        }
        return true;
    };
    std::string json = text;
    if (json.rfind("\xEF\xBB\xBF", 0) == 0) json.erase(0, 3);
    [[maybe_unused]] const nlohmann::json parsed =
        nlohmann::json::parse(json.c_str(), callback, false);
    return repeated;
}

}  // namespace

std::string BrowserFormOfUrl(const std::string& url, std::string& problem) {
    const std::size_t colon = url.find(':');
    const std::string scheme = FoldCase(url.substr(0, colon == std::string::npos ? 0 : colon));
    if ((scheme != "https" && scheme != "http") || url.compare(colon, 3, "://") != 0) {
        problem = "is not an absolute http:// or https:// URL";
        return {};
    }
    const std::size_t start = colon + 3;
    const std::size_t end = std::min(url.find_first_of("/?#\\", start), url.size());
    std::string authority = url.substr(start, end - start);
    std::string rest = url.substr(end);
    if (authority.find('@') != std::string::npos) {
        problem = "carries a user name or password; the browser leaves them out of the page's URL";
        return {};
    }
    std::string host = authority, port;
    const std::size_t portColon = authority.rfind(':');
    if (portColon != std::string::npos && authority.find(']', portColon) == std::string::npos) {
        host = authority.substr(0, portColon);
        port = authority.substr(portColon + 1);
    }
    if (host.empty()) {
        problem = "has no host";
        return {};
    }
    for (const char c : host) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            problem = "has a host with letters outside ASCII; write it as the browser does, in "
                      "punycode (xn--...)";
            return {};
        }
        if (c == '%' || c == ' ') {
            problem = "has a host with escapes or spaces";
            return {};
        }
    }
    if (port.find_first_not_of("0123456789") != std::string::npos) {
        problem = "has a port that is not a number";
        return {};
    }
    while (port.size() > 1 && port[0] == '0') port.erase(0, 1);
    if (port == (scheme == "https" ? "443" : "80")) port.clear();
    // The browser reads "\" in an http(s) path (not in the query or fragment) as "/".
    for (std::size_t i = 0; i < rest.size() && rest[i] != '?' && rest[i] != '#'; ++i)
        if (rest[i] == '\\') rest[i] = '/';
    if (rest.empty() || rest[0] != '/') rest.insert(0, "/");
    for (const char c : rest) {
        if (static_cast<unsigned char>(c) >= 0x80 || c == ' ' || c == '"' || c == '<' || c == '>') {
            problem = "has a path with spaces, quotes, angle brackets or letters outside ASCII, "
                      "which the browser percent-encodes";
            return {};
        }
    }
    return scheme + "://" + FoldCase(host) + (port.empty() ? "" : ":" + port) + rest;
}

std::string SettingsRefusal(const std::string& text, const AppConfig& config) {
    if (const std::string member = RepeatedMember(text); !member.empty())
        return nlohmann::json(member).dump() +
               " is given twice; the host would keep only the last, and drop the first in "
               "silence: give it once";
    if (config.contentMode != ContentMode::Remote) return {};
    std::string problem;
    const std::string form = BrowserFormOfUrl(config.main, problem);
    const std::string main = nlohmann::json(config.main).dump();
    if (form.empty())
        return "\"main\" " + main + " " + problem +
               "; in remote content mode it is the URL of the first page";
    if (form != config.main)
        return "\"main\" is " + main + ", but the browser writes that URL as " +
               nlohmann::json(form).dump() +
               ", and the host takes messages only from pages whose URL begins with \"main\" "
               "byte for byte: write \"main\" as " + nlohmann::json(form).dump();
    return {};
}

std::string InlineScriptWarning(const AppConfig& config, const std::string& page) {
    const auto policy = std::find_if(config.responseHeaders.begin(), config.responseHeaders.end(),
                                     [](const ResponseHeader& h) {
                                         return h.name == std::string("Content-Security-Policy");
                                     });
    if (policy == config.responseHeaders.end()) return {};
    const std::string value = FoldCase(policy->value);
    if (value.find("'unsafe-inline'") != std::string::npos ||
        value.find("'nonce-") != std::string::npos || value.find("'sha") != std::string::npos)
        return {};
    // Inline script in the page: a <script> element without src, or an event handler attribute.
    const std::string html = FoldCase(page);
    std::string found;
    for (std::size_t at = html.find("<script"); at != std::string::npos && found.empty();
         at = html.find("<script", at + 1)) {
        const std::size_t close = html.find('>', at);
        const std::string tag = html.substr(at, close == std::string::npos ? close : close - at);
        if (tag.size() > 7 && tag[7] != ' ' && tag[7] != '\t' && tag[7] != '\n' && tag[7] != '\r')
            continue;  // <scripts>, not a script element
        if (tag.find(" src=") == std::string::npos && tag.find("\tsrc=") == std::string::npos &&
            tag.find("\nsrc=") == std::string::npos)
            found = "an inline <script>";
    }
    for (const char* handler : {" onload=", " onclick=", " onerror=", " oninput=", " onchange=",
                                " onsubmit=", " onkeydown=", " onmousedown="}) {
        if (found.empty() && html.find(handler) != std::string::npos)
            found = std::string("an inline event handler (") + (handler + 1) + "...)";
    }
    if (found.empty()) return {};
    return "the start page \"" + config.main + "\" holds " + found +
           ", but \"settings.headers.Content-Security-Policy\" has no 'unsafe-inline' (nor a "
           "nonce or hash): the browser would not run that script. Move the script into a file "
           "(<script src=\"...\">), or allow it in the policy";
}

std::vector<std::string> NameSharingWarnings(const fs::path& out, const std::string& name) {
    std::vector<std::string> warnings;
    std::error_code ec;
    const fs::path parent = out.parent_path();
    if (parent.empty() || out.filename().empty()) return warnings;
    for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename() == out.filename() || IsLink(it->path()) ||
            !fs::is_directory(it->symlink_status(ec)))
            continue;
        const fs::path settings = it->path() / "package.json";
        if (!fs::is_regular_file(fs::symlink_status(settings, ec))) continue;
        const SettingsCheck other = CheckSettingsText(ReadSettingsFile(settings));
        if (other.verdict != SettingsVerdict::Accepted || other.config.name == name ||
            FoldCase(other.config.name) != FoldCase(name))
            continue;
        warnings.push_back("\"name\" is \"" + name + "\", and the package " +
                           Utf8FromPath(it->path()) + " beside this one is \"" +
                           other.config.name +
                           "\": on Windows, where letter case does not count, both apps would "
                           "keep their data (saves, the browser's storage) in one folder; give "
                           "them names that differ in more than letter case");
    }
    std::sort(warnings.begin(), warnings.end());
    return warnings;
}
