#include "config/settings_check.h"

#include <nlohmann/json.hpp>

namespace {

// The library's message without its "[json.exception.parse_error.101] " prefix.
std::string WithoutExceptionId(const std::string& message) {
    if (message.rfind("[json.exception.", 0) != 0) return message;
    const std::size_t end = message.find("] ");
    return end == std::string::npos ? message : message.substr(end + 2);
}

}  // namespace

SettingsCheck CheckSettingsText(const std::string& text) {
    SettingsCheck check;
    if (text.empty()) {
        check.verdict = SettingsVerdict::LoadFailed;
        check.reason = "the file is empty";
        return check;
    }
    check.verdict = SettingsVerdict::ParseFailed;
    try {
        ParseAppConfig(text, check.config);
        check.verdict = SettingsVerdict::Accepted;
    } catch (const nlohmann::json::exception& e) {
        check.reason = "not valid JSON (" + WithoutExceptionId(e.what()) + ")";
    } catch (const InvalidSettingError& e) {
        // The value came out of the parser, so it is valid UTF-8 and can be quoted as JSON.
        check.reason = nlohmann::json(e.key).dump();
        check.reason += !e.problem.empty() ? " " + e.problem
                        : e.key == "name"
                            ? " is missing, empty or not a string"
                            : " is " + nlohmann::json(e.value).dump() + "; it must be " +
                                  e.expected + " (letter case counts)";
    } catch (const std::exception& e) {
        check.reason = e.what();
    }
    if (check.verdict != SettingsVerdict::Accepted) check.config = AppConfig{};
    return check;
}
