// `wrapper-bundle init APP_DIR`: a starter app folder to package.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char kInitUsage[] = "usage: wrapper-bundle init APP_DIR\n";

// The page module (wrapper-host.js) this tool was built with.
std::string_view PageModuleText();

// The starter package.json for an app folder of that name: every key the host reads, with its
// default value; "name" made of the folder's name, "window.title" the folder's name itself.
std::string StarterPackageJson(const std::string& folderName);

// Writes APP_DIR/package.json, APP_DIR/www/index.html (the start page, with its script and style
// in www/main.js and www/style.css: no inline script, so a Content-Security-Policy without
// 'unsafe-inline' lets it run) and APP_DIR/www/wrapper-host.js. APP_DIR must be missing or an empty folder: anything else is
// refused and nothing is changed. Returns the exit code (0, 1, or 2 for a wrong command line);
// `args` are the arguments after "init".
int RunInit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
