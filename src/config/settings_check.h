// The host's verdict on the text of package.json, shared by the host's start-up and the packager
// so that both accept and refuse exactly the same files.
#pragma once

#include <filesystem>
#include <string>

#include "config/app_config.h"

enum class SettingsVerdict {
    Accepted,
    LoadFailed,   // empty text: the host says "Failed to load package.json..."
    ParseFailed,  // the host says "Failed to parse package.json..."
};

struct SettingsCheck {
    SettingsVerdict verdict = SettingsVerdict::LoadFailed;
    // Why the text is refused, naming the rule it breaks: "not valid JSON (...)", "\"name\" is
    // missing, empty or not a string", "\"settings.content-mode\" is \"web\"; ...". Empty when
    // accepted.
    std::string reason;
    AppConfig config;  // filled when accepted
};

// Judges the bytes of a settings file exactly as start-up does: an empty text fails to load;
// otherwise it is parsed with ParseAppConfig (a leading byte-order mark is skipped, a zero byte
// ends the text).
SettingsCheck CheckSettingsText(const std::string& text);

// The whole file as bytes; empty when it is missing, unreadable or empty (as the host's reader).
std::string ReadSettingsFile(const std::filesystem::path& path);
