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
// content mode (the host serves no page then, so it sends no header) and developer tools left on.
std::vector<std::string> SettingsWarnings(const std::string& text, const AppConfig& config);

// A warning for each package beside `out` (the folders next to it that hold a package.json) whose
// app name differs from `name` only in letter case: on Windows both apps keep their data (saves,
// the browser's storage) in one folder, %LOCALAPPDATA%\<name>.
std::vector<std::string> NameSharingWarnings(const std::filesystem::path& out,
                                             const std::string& name);

// What the packager refuses in the settings `text` that the host accepts (as `config`), naming
// the rule, or empty: a member given twice in one object (the host's JSON reader keeps the last
// and drops the first in silence, so of two "Content-Security-Policy" headers one is never sent),
// and in remote content mode a "main" that is not written as the browser writes the URL (the host
// takes messages only from pages whose URL begins with "main" byte for byte, and the runtime
// reports URLs with scheme and host in lower case and without the scheme's default port).
std::string SettingsRefusal(const std::string& text, const AppConfig& config);

// `url` as the browser writes it (scheme and host in lower case, no default port, "/" for an
// empty path), or empty when `url` is no absolute http(s) URL; `problem` then says why.
std::string BrowserFormOfUrl(const std::string& url, std::string& problem);

// A warning when the bundle's start page `page` (its bytes) runs inline script (a <script>
// element without src, or an on...= attribute) while `config` sends a Content-Security-Policy
// without 'unsafe-inline' (nor a nonce or hash, which allow chosen inline scripts): the browser
// would not run that script. Empty otherwise.
std::string InlineScriptWarning(const AppConfig& config, const std::string& page);

// What keeps the file from being the app's extension library, or empty: the host loads it only
// when it is an x64 DLL that exports Init, Release, OnMainWindowCreated and OnExtensionMessage by
// these plain names (a library built without extern "C" exports decorated names).
std::string ExtensionLibraryProblem(const std::filesystem::path& path);
