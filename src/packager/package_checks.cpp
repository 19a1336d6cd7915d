#include "packager/package_checks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

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
    if (config.name.find('/') != std::string::npos || !WindowsNameProblem({config.name}).empty())
        warnings.push_back("\"name\" \"" + config.name + "\" cannot be a folder name on Windows; "
                           "the host keeps the browser's data in a folder of that name, and the "
                           "runtime would fail to start");
    return warnings;
}
