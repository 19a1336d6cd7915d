// The parsed package.json.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// A header line the host adds to every answer on the app origin ("settings" / "headers"): the name
// in the spelling of kResponseHeaderNames, whatever letter case the file used, and the value.
struct ResponseHeader {
    std::string name;
    std::string value;
    bool operator==(const ResponseHeader&) const = default;
};

// The only headers "settings" / "headers" may name (letter case does not count): the ones a page
// needs to opt into browser features (cross-origin isolation for threads, content security,
// permissions, timing, service worker scope). Headers that describe the answer itself
// (Content-Type, Cache-Control, ...) stay the host's own.
inline constexpr const char* kResponseHeaderNames[] = {
    "Cross-Origin-Opener-Policy", "Cross-Origin-Embedder-Policy", "Cross-Origin-Resource-Policy",
    "Content-Security-Policy",    "Permissions-Policy",           "Timing-Allow-Origin",
    "X-Content-Type-Options",     "Service-Worker-Allowed"};
inline constexpr std::size_t kMaxResponseHeaderValue = 4096;  // bytes

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
    std::vector<ResponseHeader> responseHeaders;  // in the byte order of the names as written
    std::string installWebView2Message;
    std::string downloadingMessage;
    std::string installFailedMessage;
};

// A value the host refuses. what() is the fixed text ("invalid name", "invalid distribution mode",
// ...); `key` is the member's path ("name", "settings.distribution-mode"), `value` the refused
// string (empty for a name) and `expected` what would be accepted, in words. `problem`, when set,
// says in full what is wrong with the member instead ("is not a header the host may send; ...").
class InvalidSettingError : public std::runtime_error {
public:
    InvalidSettingError(const char* what, std::string key, std::string value, std::string expected,
                        std::string problem = {})
        : std::runtime_error(what),
          key(std::move(key)),
          value(std::move(value)),
          expected(std::move(expected)),
          problem(std::move(problem)) {}
    std::string key;
    std::string value;
    std::string expected;
    std::string problem;
};

// Why Windows cannot hold a file or folder called `name` (one name, UTF-8), in words ("holds the
// character \":\"", "is a device name there", ...), or empty when it can: no \\ / : * ? " < > | or
// control character, not "." or "..", no trailing "." or " ", not a device name (CON, PRN, AUX,
// NUL, COM1-COM9, LPT1-LPT9, with or without an extension), at most 255 UTF-16 units. An empty
// name is refused too.
std::string FolderNameProblem(std::string_view name);

// What "name" must be, in words, for the messages that refuse one.
inline constexpr char kFolderNameRule[] =
    "the name is the app's folder in %LOCALAPPDATA%, so it must be one Windows folder name: no "
    "\\ / : * ? \" < > | or control characters, not \".\" or \"..\", no \".\" or space at the end, "
    "not a device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with or without an extension), "
    "at most 255 UTF-16 units";

// Fills `config` from the settings text. Throws on a JSON syntax error (the library's exception)
// or with InvalidSettingError "invalid name" (also for a name FolderNameProblem refuses: the name is
// the last folder of the user-data path, which the page gets read-write), "invalid distribution mode", "invalid hosting mode",
// "invalid content mode" or "invalid headers". Parsing stops at the first zero byte of the text.
void ParseAppConfig(const std::string& text, AppConfig& config);
