#include "config/app_config.h"

#include <cstring>
#include <stdexcept>

#include "config/json_members.h"

namespace {

const nlohmann::json& Section(const nlohmann::json& root, const char* key) {
    static const nlohmann::json null;
    auto it = root.is_object() ? root.find(key) : root.end();
    return (root.is_object() && it != root.end()) ? *it : null;
}

}  // namespace

void ParseAppConfig(const std::string& text, AppConfig& config) {
    // The file is handed to the parser as a zero-terminated string: a zero byte ends the text.
    const nlohmann::json root = nlohmann::json::parse(text.c_str());

    config.name = ReadStringMember(root, "name", "");
    if (config.name.empty()) throw std::runtime_error("invalid name");
    config.main = ReadStringMember(root, "main", "index.html");

    const nlohmann::json& window = Section(root, "window");
    config.title = ReadStringMember(window, "title", kDefaultTitle);
    config.width = ReadIntMember(window, "width", 1024);
    config.height = ReadIntMember(window, "height", 768);
    config.icon = ReadStringMember(window, "icon", "");
    config.resizable = ReadBoolMember(window, "resizable", true);

    config.chromiumArgs = ReadStringMember(root, "chromium-args", "");

    const nlohmann::json& settings = Section(root, "settings");
    const std::string distribution = ReadStringMember(settings, "distribution-mode", "evergreen");
    if (distribution == "evergreen") {
        config.distributionMode = DistributionMode::Evergreen;
    } else if (distribution == "fixed") {
        config.distributionMode = DistributionMode::Fixed;
    } else {
        throw std::runtime_error("invalid distribution mode");
    }
    const std::string hosting = ReadStringMember(settings, "hosting-mode", "windowed");
    if (hosting == "windowed") {
        config.hostingMode = HostingMode::Windowed;
    } else if (hosting == "window-to-visual") {
        config.hostingMode = HostingMode::WindowToVisual;
    } else {
        throw std::runtime_error("invalid hosting mode");
    }
    const std::string content = ReadStringMember(settings, "content-mode", "bundle");
    if (content == "bundle") {
        config.contentMode = ContentMode::Bundle;
    } else if (content == "remote") {
        config.contentMode = ContentMode::Remote;
    } else {
        throw std::runtime_error("invalid content mode");
    }
    config.enableDevTools = ReadBoolMember(settings, "enable-devtools", true);

    const nlohmann::json& messages = Section(root, "messages");
    config.installWebView2Message =
        ReadStringMember(messages, "install-webview2", kDefaultInstallMessage);
    config.downloadingMessage =
        ReadStringMember(messages, "downloading", kDefaultDownloadingMessage);
    config.installFailedMessage =
        ReadStringMember(messages, "install-webview2-failed", kDefaultInstallFailedMessage);
}
