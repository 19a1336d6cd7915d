#include "config/app_config.h"

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

}  // namespace

void ParseAppConfig(const std::string& text, AppConfig& config) {
    // The file is handed to the parser as a zero-terminated string: a zero byte ends the text.
    const nlohmann::json root = nlohmann::json::parse(text.c_str());

    config.name = ReadStringMember(root, "name", "");
    if (config.name.empty())
        throw InvalidSettingError("invalid name", "name", "", "a non-empty string");
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

    const nlohmann::json& messages = Section(root, "messages");
    config.installWebView2Message =
        ReadStringMember(messages, "install-webview2", kDefaultInstallMessage);
    config.downloadingMessage =
        ReadStringMember(messages, "downloading", kDefaultDownloadingMessage);
    config.installFailedMessage =
        ReadStringMember(messages, "install-webview2-failed", kDefaultInstallFailedMessage);
}
