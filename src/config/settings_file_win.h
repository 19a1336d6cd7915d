#pragma once

#include <string>

// The bytes of exeFolder + "package.json", or empty when the file is missing, unreadable or empty.
std::string ReadSettingsText(const std::string& exeFolder);
