// The parsed package.json.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

enum class ContentMode : std::int32_t { Bundle = 0, Remote = 1 };
enum class DistributionMode : std::int32_t { Evergreen = 0, Fixed = 1 };
enum class HostingMode : std::int32_t { Windowed = 0, WindowToVisual = 1 };

inline constexpr char kDefaultTitle[] = "Windows WebView2 wrapper";
inline constexpr char kDefaultInstallMessage[] =
    "This app requires the Microsoft Edge WebView2 runtime. It will be downloaded and installed "
    "for you now.";
inline constexpr char kDefaultDownloadingMessage[] = "Downloading...";
inline constexpr char kDefaultInstallFailedMessage[] =
    "Failed to install the Microsoft Edge WebView2 runtime. Check that you have permission to "
    "install it, and that your Internet connection is working. Run the app again to try again.";

struct AppConfig {
    std::string name;
    std::string main;
    std::string title;
    std::int32_t width = 1024;
    std::int32_t height = 768;
    std::string icon;
    void* iconHandle = nullptr;  // HICON, set by start-up after parsing
    bool resizable = true;
    std::string chromiumArgs;
    ContentMode contentMode = ContentMode::Bundle;
    DistributionMode distributionMode = DistributionMode::Evergreen;
    HostingMode hostingMode = HostingMode::Windowed;
    bool enableDevTools = true;
    std::string installWebView2Message;
    std::string downloadingMessage;
    std::string installFailedMessage;
};

// A value the host refuses. what() is the fixed text ("invalid name", "invalid distribution mode",
// ...); `key` is the member's path ("name", "settings.distribution-mode"), `value` the refused
// string (empty for a name) and `expected` what would be accepted, in words.
class InvalidSettingError : public std::runtime_error {
public:
    InvalidSettingError(const char* what, std::string key, std::string value, std::string expected)
        : std::runtime_error(what),
          key(std::move(key)),
          value(std::move(value)),
          expected(std::move(expected)) {}
    std::string key;
    std::string value;
    std::string expected;
};

// Fills `config` from the settings text. Throws on a JSON syntax error (the library's exception)
// or with InvalidSettingError "invalid name", "invalid distribution mode", "invalid hosting mode"
// or "invalid content mode". Parsing stops at the first zero byte of the text.
void ParseAppConfig(const std::string& text, AppConfig& config);
