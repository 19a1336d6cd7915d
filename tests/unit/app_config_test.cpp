#include "config/app_config.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "config/json_members.h"
#include "config/settings_check.h"

namespace {

AppConfig Parse(const std::string& text) {
    AppConfig config;
    ParseAppConfig(text, config);
    return config;
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
}

// The message of the parse failure, or "" when the text parses.
std::string ParseError(const std::string& text) {
    try {
        Parse(text);
        return "";
    } catch (const nlohmann::json::exception&) {
        return "json";
    } catch (const std::runtime_error& e) {
        return e.what();
    }
}

TEST(AppConfig, OnlyNameGivesEveryDefault) {
    const AppConfig c = Parse(R"({"name":"app"})");
    EXPECT_EQ(c.name, "app");
    EXPECT_EQ(c.main, "index.html");
    EXPECT_EQ(c.title, "Windows WebView2 wrapper");
    EXPECT_EQ(c.width, 1024);
    EXPECT_EQ(c.height, 768);
    EXPECT_EQ(c.icon, "");
    EXPECT_EQ(c.iconHandle, nullptr);
    EXPECT_TRUE(c.resizable);
    EXPECT_EQ(c.chromiumArgs, "");
    EXPECT_EQ(c.contentMode, ContentMode::Bundle);
    EXPECT_EQ(c.distributionMode, DistributionMode::Evergreen);
    EXPECT_EQ(c.hostingMode, HostingMode::Windowed);
    EXPECT_TRUE(c.enableDevTools);
    EXPECT_TRUE(c.responseHeaders.empty());
    EXPECT_EQ(c.installWebView2Message,
              "This app requires the Microsoft Edge WebView2 runtime. It will be downloaded and "
              "installed for you now.");
    EXPECT_EQ(c.downloadingMessage, "Downloading...");
    EXPECT_EQ(c.installFailedMessage,
              "Failed to install the Microsoft Edge WebView2 runtime. Check that you have "
              "permission to install it, and that your Internet connection is working. Run the "
              "app again to try again.");
}

TEST(AppConfig, EveryKeyIsRead) {
    const AppConfig c = Parse(R"({
        "name": "Game \u00e9", "main": "start.html", "chromium-args": "--foo",
        "window": {"title": "T", "width": 800, "height": 600, "icon": "i.png", "resizable": false},
        "settings": {"content-mode": "remote", "distribution-mode": "fixed",
                     "hosting-mode": "window-to-visual", "enable-devtools": false,
                     "headers": {"cross-origin-embedder-policy": "require-corp",
                                 "Cross-Origin-Opener-Policy": "same-origin",
                                 "PERMISSIONS-POLICY": "  fullscreen=(self) "}},
        "messages": {"install-webview2": "a", "downloading": "", "install-webview2-failed": "c"}})");
    EXPECT_EQ(c.name, "Game \xC3\xA9");
    EXPECT_EQ(c.main, "start.html");
    EXPECT_EQ(c.chromiumArgs, "--foo");
    EXPECT_EQ(c.title, "T");
    EXPECT_EQ(c.width, 800);
    EXPECT_EQ(c.height, 600);
    EXPECT_EQ(c.icon, "i.png");
    EXPECT_FALSE(c.resizable);
    EXPECT_EQ(c.contentMode, ContentMode::Remote);
    EXPECT_EQ(c.distributionMode, DistributionMode::Fixed);
    EXPECT_EQ(c.hostingMode, HostingMode::WindowToVisual);
    EXPECT_FALSE(c.enableDevTools);
    // In the byte order of the names as written, spelt as the host sends them, values unchanged.
    EXPECT_EQ(c.responseHeaders,
              (std::vector<ResponseHeader>{{"Cross-Origin-Opener-Policy", "same-origin"},
                                           {"Permissions-Policy", "  fullscreen=(self) "},
                                           {"Cross-Origin-Embedder-Policy", "require-corp"}}));
    EXPECT_EQ(c.installWebView2Message, "a");
    EXPECT_EQ(c.downloadingMessage, "");
    EXPECT_EQ(c.installFailedMessage, "c");
}

struct WindowVector {
    const char* window;  // the "window" member's JSON
    int width;
    int height;
    bool resizable;
    const char* title;
};

TEST(AppConfig, WindowMemberTypes) {
    const std::vector<WindowVector> vectors = {
        {"5", 1024, 768, true, "Windows WebView2 wrapper"},
        {"null", 1024, 768, true, "Windows WebView2 wrapper"},
        {"[1,2]", 1024, 768, true, "Windows WebView2 wrapper"},
        {R"({"width":"800","height":true})", 1024, 768, true, "Windows WebView2 wrapper"},
        {R"({"width":800.9,"height":-1})", 800, -1, true, "Windows WebView2 wrapper"},
        {R"({"width":-800.9,"height":0})", -800, 0, true, "Windows WebView2 wrapper"},
        {R"({"width":4294967297,"height":18446744073709551615})", 1, -1, true,
         "Windows WebView2 wrapper"},
        {R"({"width":-4294967297})", -1, 768, true, "Windows WebView2 wrapper"},
        {R"({"width":1e300,"height":-1e300})", 2147483647, -2147483647 - 1, true,
         "Windows WebView2 wrapper"},
        {R"({"width":2147483647.5,"height":8e2})", 2147483647, 800, true,
         "Windows WebView2 wrapper"},
        {R"({"resizable":0})", 1024, 768, true, "Windows WebView2 wrapper"},
        {R"({"resizable":"false"})", 1024, 768, true, "Windows WebView2 wrapper"},
        {R"({"resizable":false,"title":7})", 1024, 768, false, "Windows WebView2 wrapper"},
        {R"({"Title":"x","WIDTH":5})", 1024, 768, true, "Windows WebView2 wrapper"},
        {R"({"title":""})", 1024, 768, true, ""},
    };
    for (const WindowVector& v : vectors) {
        SCOPED_TRACE(v.window);
        const AppConfig c = Parse(std::string(R"({"name":"a","window":)") + v.window + "}");
        EXPECT_EQ(c.width, v.width);
        EXPECT_EQ(c.height, v.height);
        EXPECT_EQ(c.resizable, v.resizable);
        EXPECT_EQ(c.title, v.title);
    }
}

struct ErrorVector {
    std::string text;
    const char* error;  // "" parses; "json" a syntax error; else the runtime_error text
};

TEST(AppConfig, FailuresAndTheirOrder) {
    const std::vector<ErrorVector> vectors = {
        {R"({"name":"a"})", ""},
        {R"({})", "invalid name"},
        {R"({"name":""})", "invalid name"},
        {R"({"name":5})", "invalid name"},
        {R"({"name":null})", "invalid name"},
        {R"({"Name":"a"})", "invalid name"},
        {R"(["name","a"])", "invalid name"},
        {R"("a")", "invalid name"},
        {R"(12)", "invalid name"},
        {R"({"name":"a"} {"name":"b"})", "json"},
        {R"({"name":"a",})", "json"},
        {"// c\n{\"name\":\"a\"}", "json"},
        {"{\"name\":\"a\" /* c */}", "json"},
        {"", "json"},
        {"\xEF\xBB\xBF{\"name\":\"a\"}", ""},
        {std::string("{\"name\":\"a\"}\0garbage", 20), ""},
        {std::string("{\"name\":\0\"a\"}", 13), "json"},
        {R"({"name":"a","settings":{"distribution-mode":1}})", ""},
        {R"({"name":"a","settings":{"distribution-mode":"Fixed"}})", "invalid distribution mode"},
        {R"({"name":"a","settings":{"hosting-mode":"Windowed"}})", "invalid hosting mode"},
        {R"({"name":"a","settings":{"content-mode":"Bundle"}})", "invalid content mode"},
        {R"({"name":"a","settings":{"content-mode":"x","hosting-mode":"x"}})",
         "invalid hosting mode"},
        {R"({"name":"a","settings":{"content-mode":"x","hosting-mode":"x","distribution-mode":"x"}})",
         "invalid distribution mode"},
        {R"({"settings":{"content-mode":"x"}})", "invalid name"},
        // The name is the last folder of the user-data path: one Windows folder name, or refused.
        {R"({"name":"..","settings":{"content-mode":"x"}})", "invalid name"},
        {R"({"name":"."})", "invalid name"},
        {R"({"name":"a\\b"})", "invalid name"},
        {R"({"name":"a/b"})", "invalid name"},
        {R"({"name":"/a"})", "invalid name"},
        {R"({"name":"C:"})", "invalid name"},
        {R"({"name":"a*"})", "invalid name"},
        {R"({"name":"a?"})", "invalid name"},
        {R"({"name":"\"a\""})", "invalid name"},
        {R"({"name":"<a>"})", "invalid name"},
        {R"({"name":"a|b"})", "invalid name"},
        {R"({"name":"a\tb"})", "invalid name"},
        {R"({"name":"a\u0001"})", "invalid name"},
        {R"({"name":"a\u007f"})", "invalid name"},
        {R"({"name":"game."})", "invalid name"},
        {R"({"name":"game "})", "invalid name"},
        {R"({"name":" game"})", ""},
        {R"({"name":".game"})", ""},
        {R"({"name":"my.game"})", ""},
        {R"({"name":"CON"})", "invalid name"},
        {R"({"name":"con"})", "invalid name"},
        {R"({"name":"Con.txt"})", "invalid name"},
        {R"({"name":"CON .txt"})", "invalid name"},
        {R"({"name":"prn"})", "invalid name"},
        {R"({"name":"AUX.tar.gz"})", "invalid name"},
        {R"({"name":"nul"})", "invalid name"},
        {R"({"name":"COM1"})", "invalid name"},
        {R"({"name":"com9.x"})", "invalid name"},
        {R"({"name":"LPT1"})", "invalid name"},
        {R"({"name":"lpt9"})", "invalid name"},
        {R"({"name":"COM0"})", ""},
        {R"({"name":"COM10"})", ""},
        {R"({"name":"LPT"})", ""},
        {R"({"name":"console"})", ""},
        {R"({"name":"nul-game"})", ""},
        {R"({"name":"auxiliary.app"})", ""},
        {R"({"name":")" + std::string(255, 'a') + R"("})", ""},
        {R"({"name":")" + std::string(256, 'a') + R"("})", "invalid name"},
        // UTF-16 units, not bytes: 255 two-byte letters fit; 128 characters outside the BMP are
        // 256 units.
        {"{\"name\":\"" + Repeat("\xC3\xA9", 255) + "\"}", ""},
        {"{\"name\":\"" + Repeat("\xE2\x82\xAC", 255) + "\"}", ""},
        {"{\"name\":\"" + Repeat("\xF0\x9F\x98\x80", 127) + "a\"}", ""},
        {"{\"name\":\"" + Repeat("\xF0\x9F\x98\x80", 128) + "\"}", "invalid name"},
        {R"({"name":"a","settings":"remote"})", ""},
        {R"({"name":"a","version":"1.0","dependencies":{"x":"1"},"scripts":[]})", ""},
        // "settings" / "headers": the allowed names in any letter case, each value one line of
        // printable ASCII of at most 4 KiB; anything else is refused, wrong types included.
        {R"j({"name":"a","settings":{"headers":{
            "Cross-Origin-Opener-Policy":"same-origin","cross-origin-embedder-policy":"require-corp",
            "CROSS-ORIGIN-RESOURCE-POLICY":"same-site","Content-Security-Policy":"default-src 'self'",
            "Permissions-Policy":"fullscreen=(self)","Timing-Allow-Origin":"*",
            "X-Content-Type-Options":"nosniff","Service-Worker-Allowed":"/"}}})j",
         ""},
        {R"({"name":"a","settings":{"headers":null}})", ""},
        {R"({"name":"a","settings":{"headers":{}}})", ""},
        {R"({"name":"a","headers":{"X-Frame-Options":"DENY"},"window":{"headers":5}})", ""},
        {R"({"name":"a","settings":{"headers":"Cross-Origin-Opener-Policy: same-origin"}})",
         "invalid headers"},
        {R"({"name":"a","settings":{"headers":[["Timing-Allow-Origin","*"]]}})", "invalid headers"},
        {R"({"name":"a","settings":{"headers":true}})", "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"X-Frame-Options":"DENY"}}})", "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Content-Type":"text/plain"}}})", "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Cache-Control":"max-age=60"}}})",
         "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Set-Cookie":"a=b"}}})", "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Access-Control-Allow-Origin":"*"}}})",
         "invalid headers"},
        {R"({"name":"a","settings":{"headers":{" Timing-Allow-Origin":"*"}}})", "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin:":"*"}}})", "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Timing_Allow_Origin":"*"}}})", "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"":"*"}}})", "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin":"*","timing-allow-origin":"*"}}})",
         "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin":1}}})", "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin":null}}})", "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin":["*"]}}})", "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin":""}}})", "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin":"*\r\nSet-Cookie: a=b"}}})",
         "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin":"*\nX: y"}}})",
         "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin":"*\r"}}})", "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin":"*\u0000"}}})",
         "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin":"a\tb"}}})",
         "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin":"a\u007fb"}}})",
         "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Timing-Allow-Origin":"https://caf\u00e9.example"}}})",
         "invalid headers"},
        {R"({"name":"a","settings":{"headers":{"Content-Security-Policy":")" +
             std::string(4096, 'a') + R"("}}})",
         ""},
        {R"({"name":"a","settings":{"headers":{"Content-Security-Policy":")" +
             std::string(4097, 'a') + R"("}}})",
         "invalid headers"},
        {R"({"name":"a","settings":{"content-mode":"x","headers":{"X":""}}})",
         "invalid content mode"},
        {R"({"name":"a","settings":{"content-mode":"remote","headers":{"X":""}}})",
         "invalid headers"},
    };
    for (const ErrorVector& v : vectors) {
        SCOPED_TRACE(v.text);
        EXPECT_EQ(ParseError(v.text), v.error);
    }
}

TEST(AppConfig, SettingsAndMessagesOfWrongTypeKeepDefaults) {
    const AppConfig c = Parse(
        R"({"name":"a","main":7,"chromium-args":["x"],
            "settings":{"enable-devtools":0,"content-mode":null},
            "messages":{"install-webview2":1,"downloading":false,"install-webview2-failed":{}}})");
    EXPECT_EQ(c.main, "index.html");
    EXPECT_EQ(c.chromiumArgs, "");
    EXPECT_TRUE(c.enableDevTools);
    EXPECT_EQ(c.contentMode, ContentMode::Bundle);
    EXPECT_EQ(c.downloadingMessage, "Downloading...");
    EXPECT_EQ(c.installWebView2Message.rfind("This app requires", 0), 0u);
    EXPECT_EQ(c.installFailedMessage.rfind("Failed to install", 0), 0u);
}

// The verdict the host's start-up and the packager share, and the rule each refusal names.
TEST(SettingsCheck, VerdictAndTheRuleNamed) {
    struct Vector {
        std::string text;
        SettingsVerdict verdict;
        std::string reason;  // the whole reason, or its start when it ends in "..."
    };
    const std::vector<Vector> vectors = {
        {R"({"name":"a"})", SettingsVerdict::Accepted, ""},
        {"\xEF\xBB\xBF{\"name\":\"a\"}", SettingsVerdict::Accepted, ""},
        {std::string("{\"name\":\"a\"}\0", 13), SettingsVerdict::Accepted, ""},
        {R"({"name":"\ud83d\ude00"})", SettingsVerdict::Accepted, ""},
        {"", SettingsVerdict::LoadFailed, "the file is empty"},
        {std::string("\0{\"name\":\"a\"}", 13), SettingsVerdict::ParseFailed,
         "not valid JSON (parse error at line 1, column 1: ..."},
        {R"({"name":"a","w":NaN})", SettingsVerdict::ParseFailed, "not valid JSON (..."},
        {R"({"name":"a","w":Infinity})", SettingsVerdict::ParseFailed, "not valid JSON (..."},
        {R"({"name":"\ud800"})", SettingsVerdict::ParseFailed, "not valid JSON (..."},
        {"{\"name\":\"\xC3\x28\"}", SettingsVerdict::ParseFailed, "not valid JSON (..."},
        {"{\"name\":\"a\"}\xFF", SettingsVerdict::ParseFailed, "not valid JSON (..."},
        {R"({"name":""})", SettingsVerdict::ParseFailed,
         "\"name\" is missing, empty or not a string"},
        {R"({"name":["a"]})", SettingsVerdict::ParseFailed,
         "\"name\" is missing, empty or not a string"},
        {R"({"name":".."})", SettingsVerdict::ParseFailed,
         "\"name\" is \"..\", which stands for a folder itself or its parent; the name is the "
         "app's folder in %LOCALAPPDATA%, so it must be one Windows folder name: no \\ / : * ? \" "
         "< > | or control characters, not \".\" or \"..\", no \".\" or space at the end, not a "
         "device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with or without an extension), at "
         "most 255 UTF-16 units"},
        {R"({"name":"a\\b"})", SettingsVerdict::ParseFailed,
         "\"name\" is \"a\\\\b\", which holds the character \"\\\"; the name is ..."},
        {R"({"name":"a\u001b"})", SettingsVerdict::ParseFailed,
         "\"name\" is \"a\\u001b\", which holds the control character U+001B; ..."},
        {R"({"name":"game."})", SettingsVerdict::ParseFailed,
         "\"name\" is \"game.\", which ends in \".\" or \" \", which Windows drops from a name; ..."},
        {R"({"name":"Com3.dat"})", SettingsVerdict::ParseFailed,
         "\"name\" is \"Com3.dat\", which is the device name COM3 on Windows, with or without an "
         "extension; ..."},
        {R"({"name":")" + std::string(300, 'x') + R"("})", SettingsVerdict::ParseFailed,
         "\"name\" is \"" + std::string(300, 'x') +
             "\", which is 300 UTF-16 units long; Windows takes at most 255; ..."},
        {R"({"name":"a","settings":{"distribution-mode":"Fixed"}})", SettingsVerdict::ParseFailed,
         "\"settings.distribution-mode\" is \"Fixed\"; it must be \"evergreen\" or \"fixed\" "
         "(letter case counts)"},
        {R"({"name":"a","settings":{"hosting-mode":"visual"}})", SettingsVerdict::ParseFailed,
         "\"settings.hosting-mode\" is \"visual\"; it must be \"windowed\" or "
         "\"window-to-visual\" (letter case counts)"},
        {R"({"name":"a","settings":{"content-mode":"a\"b\n"}})", SettingsVerdict::ParseFailed,
         "\"settings.content-mode\" is \"a\\\"b\\n\"; it must be \"bundle\" or \"remote\" "
         "(letter case counts)"},
        {R"({"name":"a","settings":{"headers":"COOP"}})", SettingsVerdict::ParseFailed,
         "\"settings.headers\" is not an object of header names and their values"},
        {R"({"name":"a","settings":{"headers":{"X-Frame-Options":"DENY"}}})",
         SettingsVerdict::ParseFailed,
         "\"settings.headers.X-Frame-Options\" is not a header the host may send; it may send "
         "Cross-Origin-Opener-Policy, Cross-Origin-Embedder-Policy, Cross-Origin-Resource-Policy, "
         "Content-Security-Policy, Permissions-Policy, Timing-Allow-Origin, "
         "X-Content-Type-Options, Service-Worker-Allowed (letter case does not count)"},
        {R"({"name":"a","settings":{"headers":{"A\nB":"x"}}})", SettingsVerdict::ParseFailed,
         "\"settings.headers.A\\nB\" is not a header the host may send; ..."},
        {R"({"name":"a","settings":{"headers":{"COOP":"x","Cross-Origin-Opener-Policy":"x",
                                                "cross-origin-opener-policy":"y"}}})",
         SettingsVerdict::ParseFailed,
         "\"settings.headers.COOP\" is not a header the host may send; ..."},
        {R"({"name":"a","settings":{"headers":{"Cross-Origin-Opener-Policy":"x",
                                                "cross-origin-opener-policy":"y"}}})",
         SettingsVerdict::ParseFailed,
         "\"settings.headers.cross-origin-opener-policy\" names Cross-Origin-Opener-Policy a "
         "second time (letter case does not count); give each header once"},
        {R"({"name":"a","settings":{"headers":{"Service-Worker-Allowed":false}}})",
         SettingsVerdict::ParseFailed,
         "\"settings.headers.Service-Worker-Allowed\" is not a string; a header value is one line "
         "of text"},
        {R"({"name":"a","settings":{"headers":{"Service-Worker-Allowed":""}}})",
         SettingsVerdict::ParseFailed,
         "\"settings.headers.Service-Worker-Allowed\" is empty; leave the header out instead"},
        {R"({"name":"a","settings":{"headers":{"Service-Worker-Allowed":"/\r\nSet-Cookie: a"}}})",
         SettingsVerdict::ParseFailed,
         "\"settings.headers.Service-Worker-Allowed\" holds a line break (CR or LF); a header "
         "value is one line of text"},
        {R"({"name":"a","settings":{"headers":{"Service-Worker-Allowed":"/\u0000"}}})",
         SettingsVerdict::ParseFailed,
         "\"settings.headers.Service-Worker-Allowed\" holds a zero character (NUL)"},
        {R"({"name":"a","settings":{"headers":{"Service-Worker-Allowed":"/\u001b[0m"}}})",
         SettingsVerdict::ParseFailed,
         "\"settings.headers.Service-Worker-Allowed\" holds the control character U+001B; a "
         "header value is printable text"},
        {R"({"name":"a","settings":{"headers":{"Service-Worker-Allowed":"/\u2028"}}})",
         SettingsVerdict::ParseFailed,
         "\"settings.headers.Service-Worker-Allowed\" holds a character outside ASCII; ..."},
        {R"({"name":"a","settings":{"headers":{"Content-Security-Policy":")" +
             std::string(5000, ' ') + R"("}}})",
         SettingsVerdict::ParseFailed,
         "\"settings.headers.Content-Security-Policy\" is 5000 bytes long; a header value may "
         "have at most 4096"},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.text);
        const SettingsCheck check = CheckSettingsText(v.text);
        EXPECT_EQ(check.verdict, v.verdict);
        const std::string reason = v.reason;
        if (reason.size() > 3 && reason.compare(reason.size() - 3, 3, "...") == 0) {
            EXPECT_EQ(check.reason.rfind(reason.substr(0, reason.size() - 3), 0), 0u)
                << check.reason;
            EXPECT_EQ(check.reason.find("[json.exception"), std::string::npos) << check.reason;
        } else {
            EXPECT_EQ(check.reason, reason);
        }
        if (v.verdict == SettingsVerdict::Accepted) EXPECT_FALSE(check.config.name.empty());
    }
}

}  // namespace
