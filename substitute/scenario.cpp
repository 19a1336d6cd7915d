#include "scenario.h"

#include <cctype>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace substitute {
namespace {

const char* const kContextNames[] = {
    "all",          "document",
    "stylesheet",   "image",
    "media",        "font",
    "script",       "xhr",
    "fetch",        "text-track",
    "event-source", "websocket",
    "manifest",     "signed-exchange",
    "ping",         "csp-violation-report",
    "other",
};
const char* const kPermissionNames[] = {
    "unknown",           "microphone",    "camera",         "geolocation",
    "notifications",     "other-sensors", "clipboard-read", "multiple-automatic-downloads",
    "file-read-write",   "autoplay",      "local-fonts",    "midi-system-exclusive-messages",
    "window-management",
};
const char* const kKeyEventKindNames[] = {"down", "up", "system-down", "system-up"};
const char* const kPermissionStateNames[] = {"default", "allow", "deny"};
const char* const kProcessFailedKindNames[] = {
    "browser-exited",      "render-exited",         "render-unresponsive", "frame-render-exited",
    "utility-exited",      "sandbox-helper-exited", "gpu-exited",          "ppapi-plugin-exited",
    "ppapi-broker-exited", "unknown-exited",
};
const char* const kProcessFailedReasonNames[] = {
    "unexpected",    "unresponsive",  "terminated",      "crashed",
    "launch-failed", "out-of-memory", "profile-deleted",
};
const char* const kWebErrorStatusNames[] = {
    "unknown",
    "certificate-common-name-is-incorrect",
    "certificate-expired",
    "client-certificate-contains-errors",
    "certificate-revoked",
    "certificate-is-invalid",
    "server-unreachable",
    "timeout",
    "error-http-invalid-server-response",
    "connection-aborted",
    "connection-reset",
    "disconnected",
    "cannot-connect",
    "host-name-not-resolved",
    "operation-canceled",
    "redirect-failed",
    "unexpected-error",
    "valid-authentication-credentials-required",
    "valid-proxy-authentication-required",
};

template <std::size_t N>
const char* NameAt(const char* const (&names)[N], int value) {
    return value >= 0 && static_cast<std::size_t>(value) < N ? names[value] : "unknown-value";
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && (IsSpace(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// Splits off the first word; `rest` keeps everything after the single separator that follows it.
std::string_view TakeWord(std::string_view& rest) {
    rest = TrimLeft(rest);
    std::size_t end = 0;
    while (end < rest.size() && !IsSpace(rest[end])) ++end;
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    if (!rest.empty()) rest.remove_prefix(1);
    return word;
}

bool ParseUnsigned(std::string_view word, unsigned& value) {
    if (word.empty()) return false;
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
    }
    const std::string text(word);
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(text.c_str(), &end, base);
    if (text.empty() || end != text.c_str() + text.size() || text[0] == '-' ||
        parsed > 0xFFFFFFFFul)
        return false;
    value = static_cast<unsigned>(parsed);
    return true;
}

// A signed decimal or 0x-hexadecimal 32-bit value (exit codes such as 0xC0000005 wrap around).
bool ParseExitCode(std::string_view word, int& value) {
    const bool negative = !word.empty() && word[0] == '-';
    unsigned magnitude = 0;
    if (!ParseUnsigned(negative ? word.substr(1) : word, magnitude)) return false;
    if (negative && magnitude > 0x80000000u) return false;
    value = static_cast<int>(negative ? 0u - magnitude : magnitude);
    return true;
}

template <std::size_t N>
bool ParseName(const char* const (&names)[N], std::string_view word, int& value) {
    for (std::size_t i = 0; i < N; ++i) {
        if (word == names[i]) {
            value = static_cast<int>(i);
            return true;
        }
    }
    unsigned number = 0;
    if (!ParseUnsigned(word, number) || number > 0x7FFFFFFF) return false;
    value = static_cast<int>(number);
    return true;
}

bool ParseVirtualKey(std::string_view word, unsigned& key) {
    if ((word.size() == 2 || word.size() == 3) && (word[0] == 'F' || word[0] == 'f') &&
        std::isdigit(static_cast<unsigned char>(word[1]))) {
        unsigned n = 0;
        if (ParseUnsigned(word.substr(1), n) && n >= 1 && n <= 24) {
            key = 0x70 + n - 1;  // VK_F1 ...
            return true;
        }
    }
    if (word.size() == 1 && std::isalnum(static_cast<unsigned char>(word[0]))) {
        key = static_cast<unsigned>(std::toupper(static_cast<unsigned char>(word[0])));
        return true;
    }
    static const std::pair<const char*, unsigned> kNamed[] = {
        {"enter", 0x0D}, {"escape", 0x1B}, {"tab", 0x09}, {"space", 0x20}, {"backspace", 0x08},
    };
    for (const auto& [name, value] : kNamed) {
        if (word == name) {
            key = value;
            return true;
        }
    }
    return ParseUnsigned(word, key);
}

// "Name: value Other: value": a word that ends in ':' starts the next header.
bool ParseHeaders(std::string_view rest,
                  std::vector<std::pair<std::string, std::string>>& headers) {
    rest = TrimRight(TrimLeft(rest));
    while (!rest.empty()) {
        std::string_view name = TakeWord(rest);
        if (name.size() < 2 || name.back() != ':') return false;
        name.remove_suffix(1);
        // The value runs to the next word that ends in ':'.
        std::size_t end = 0;
        std::size_t scan = 0;
        while (true) {
            while (scan < rest.size() && IsSpace(rest[scan])) ++scan;
            const std::size_t wordStart = scan;
            while (scan < rest.size() && !IsSpace(rest[scan])) ++scan;
            if (wordStart == scan) {
                end = rest.size();
                break;
            }
            if (rest[scan - 1] == ':' && scan - wordStart > 1) {
                end = wordStart;
                break;
            }
        }
        headers.emplace_back(std::string(name),
                             std::string(TrimRight(TrimLeft(rest.substr(0, end)))));
        rest = TrimLeft(rest.substr(end));
    }
    return true;
}

// Parses one non-empty, non-comment line; returns an error text or "".
std::string ParseStep(std::string_view line, ScenarioStep& step) {
    std::string_view rest = line;
    const std::string_view keyword = TakeWord(rest);
    const auto needWord = [&](std::string& into) -> bool {
        const std::string_view word = TakeWord(rest);
        if (word.empty()) return false;
        into = std::string(word);
        return true;
    };
    const auto noMore = [&] { return TrimRight(TrimLeft(rest)).empty(); };

    if (keyword == "navigate" || keyword == "new-window") {
        step.kind = keyword == "navigate" ? StepKind::Navigate : StepKind::NewWindow;
        if (!needWord(step.uri) || !noMore()) return "expected: " + std::string(keyword) + " URI";
        return "";
    }
    if (keyword == "request") {
        step.kind = StepKind::Request;
        std::string context;
        if (!needWord(step.method) || !needWord(step.uri) || !needWord(context))
            return "expected: request METHOD URI CONTEXT [SOURCE] [Name: value]...";
        if (!ParseName(kContextNames, context, step.context))
            return "unknown resource context " + context;
        // The source, when named, comes before the headers (each of which has a colon).
        std::string_view after = rest;
        const std::string_view source = TakeWord(after);
        for (const int flag : {1, 2, 4}) {
            if (!source.empty() && source == RequestSourceName(flag)) {
                step.source = flag;
                rest = after;
            }
        }
        if (!ParseHeaders(rest, step.headers)) return "headers must read Name: value";
        return "";
    }
    if (keyword == "message-json" || keyword == "message-string") {
        step.kind = keyword == "message-json" ? StepKind::MessageJson : StepKind::MessageString;
        if (!needWord(step.uri)) return "expected: " + std::string(keyword) + " SOURCE TEXT";
        step.text2 = std::string(TrimRight(rest));
        if (step.kind == StepKind::MessageJson && !nlohmann::json::accept(step.text2))
            return "message-json needs one JSON value";
        return "";
    }
    if (keyword == "title") {
        step.kind = StepKind::Title;
        step.text2 = std::string(TrimRight(rest));
        return "";
    }
    if (keyword == "fullscreen") {
        step.kind = StepKind::Fullscreen;
        const std::string_view value = TakeWord(rest);
        if ((value != "true" && value != "false") || !noMore())
            return "expected: fullscreen true|false";
        step.flag = value == "true";
        return "";
    }
    if (keyword == "permission") {
        step.kind = StepKind::Permission;
        std::string kind;
        if (!needWord(kind) || !needWord(step.uri) || !noMore())
            return "expected: permission KIND URI";
        if (!ParseName(kPermissionNames, kind, step.permission))
            return "unknown permission kind " + kind;
        return "";
    }
    if (keyword == "key") {
        step.kind = StepKind::Key;
        const std::string_view key = TakeWord(rest);
        if (!ParseVirtualKey(key, step.virtualKey))
            return "expected: key VK [down|up|system-down|system-up]";
        const std::string_view kind = TakeWord(rest);
        if (!kind.empty() && !ParseName(kKeyEventKindNames, kind, step.keyEventKind))
            return "unknown key event kind " + std::string(kind);
        if (!noMore()) return "expected: key VK [down|up|system-down|system-up]";
        return "";
    }
    if (keyword == "wait") {
        step.kind = StepKind::Wait;
        step.milliseconds = kDefaultWaitMilliseconds;
        const bool ok = needWord(step.method) && ParseUnsigned(TakeWord(rest), step.count);
        const std::string_view timeout = TakeWord(rest);
        if (!ok || (!timeout.empty() && !ParseUnsigned(timeout, step.milliseconds)) || !noMore())
            return "expected: wait METHOD COUNT [TIMEOUT_MS]";
        return "";
    }
    if (keyword == "sleep") {
        step.kind = StepKind::Sleep;
        if (!ParseUnsigned(TakeWord(rest), step.milliseconds) || !noMore())
            return "expected: sleep MS";
        return "";
    }
    if (keyword == "process-failed") {
        step.kind = StepKind::ProcessFailed;
        constexpr char usage[] =
            "expected: process-failed KIND [REASON [EXIT_CODE]] [exit-event first|second|never]";
        const std::string_view kind = TakeWord(rest);
        if (!ParseName(kProcessFailedKindNames, kind, step.processKind)) return usage;
        std::vector<std::string_view> words;
        for (std::string_view word = TakeWord(rest); !word.empty(); word = TakeWord(rest))
            words.push_back(word);
        if (words.size() >= 2 && words[words.size() - 2] == "exit-event") {
            step.exitEvent = ParseBrowserExitEvent(words.back());
            if (step.exitEvent < 0) return usage;
            if (step.processKind != 0) return "exit-event belongs to browser-exited only";
            words.resize(words.size() - 2);
        }
        if (words.size() > 2) return usage;
        step.processReason = DefaultProcessFailedReason(step.processKind);
        if (!words.empty() && !ParseName(kProcessFailedReasonNames, words[0], step.processReason))
            return "unknown process failure reason " + std::string(words[0]);
        step.exitCode = DefaultExitCode(step.processReason);
        if (words.size() == 2 && !ParseExitCode(words[1], step.exitCode)) return usage;
        return "";
    }
    if (keyword == "navigate-fail") {
        step.kind = StepKind::NavigateFail;
        std::string status;
        if (!needWord(step.uri) || !needWord(status) || !noMore())
            return "expected: navigate-fail URI STATUS";
        if (!ParseName(kWebErrorStatusNames, status, step.webErrorStatus))
            return "unknown web error status " + status;
        return "";
    }
    const std::pair<std::string_view, StepKind> bare[] = {
        {"domcontentloaded", StepKind::DomContentLoaded},
        {"close", StepKind::Close},
        {"snapshot", StepKind::Snapshot},
        {"deactivate", StepKind::Deactivate},
        {"activate", StepKind::Activate},
        {"minimize", StepKind::Minimize},
        {"restore", StepKind::Restore},
        {"end", StepKind::End},
    };
    for (const auto& [word, kind] : bare) {
        if (keyword == word) {
            step.kind = kind;
            if (!noMore()) return std::string(word) + " takes no arguments";
            return "";
        }
    }
    return "unknown step " + std::string(keyword);
}

}  // namespace

ParsedScenario ParseScenario(std::string_view text) {
    ParsedScenario parsed;
    int lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string_view content = TrimLeft(line);
        if (content.empty() || content.front() == '#') continue;
        ScenarioStep step;
        step.line = lineNumber;
        step.text = std::string(content);
        const std::string error = ParseStep(content, step);
        if (error.empty()) {
            parsed.steps.push_back(std::move(step));
        } else {
            parsed.errors.push_back("line " + std::to_string(lineNumber) + ": " + error);
        }
    }
    return parsed;
}

const char* ResourceContextName(int context) { return NameAt(kContextNames, context); }
const char* PermissionKindName(int kind) { return NameAt(kPermissionNames, kind); }
const char* KeyEventKindName(int kind) { return NameAt(kKeyEventKindNames, kind); }
const char* PermissionStateName(int state) { return NameAt(kPermissionStateNames, state); }
const char* ProcessFailedKindName(int kind) { return NameAt(kProcessFailedKindNames, kind); }
const char* ProcessFailedReasonName(int reason) {
    return NameAt(kProcessFailedReasonNames, reason);
}
const char* WebErrorStatusName(int status) { return NameAt(kWebErrorStatusNames, status); }

int DefaultProcessFailedReason(int kind) {
    return kind == 2 ? 1 : 3;  // an unresponsive renderer is unresponsive; the rest crashed
}

int DefaultExitCode(int reason) {
    // A crash ends with an access violation's code; an unresponsive process has not ended.
    return reason == 3 ? static_cast<int>(0xC0000005u) : 0;
}

const char* BrowserExitEventName(int order) {
    static constexpr const char* kNames[] = {"first", "second", "never"};
    return order >= 0 && order < 3 ? kNames[order] : "second";
}

int ParseBrowserExitEvent(std::string_view word) {
    for (int order = kExitEventFirst; order <= kExitEventNever; ++order) {
        if (word == BrowserExitEventName(order)) return order;
    }
    return -1;
}

const char* RequestSourceName(int source) {
    switch (source) {
        case 2:
            return "shared-worker";
        case 4:
            return "service-worker";
        default:
            return "document";
    }
}

}  // namespace substitute
