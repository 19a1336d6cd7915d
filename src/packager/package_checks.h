// What `wrapper-bundle package` checks in an app before packing it, beyond what the host refuses:
// the extension library the host would not load, and settings it would silently not apply.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "config/app_config.h"

// What the host takes silently in the settings `text` (accepted, as `config`) but the author most
// likely did not mean, one line each: members of the wrong type (the host takes the default),
// unknown keys in "window", "settings" and "messages" (ignored), "settings.headers" in remote
// content mode (the host serves no page then, so it sends no header), developer tools left on, and
// a name that cannot be a folder name (the host keeps the browser's data in a folder of that name,
// and the runtime would not start).
std::vector<std::string> SettingsWarnings(const std::string& text, const AppConfig& config);

// What keeps the file from being the app's extension library, or empty: the host loads it only
// when it is an x64 DLL that exports Init, Release, OnMainWindowCreated and OnExtensionMessage by
// these plain names (a library built without extern "C" exports decorated names).
std::string ExtensionLibraryProblem(const std::filesystem::path& path);
