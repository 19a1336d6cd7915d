// ReadSettingsFile, in a file of its own: the host reads package.json its own way, and linking the
// C++ file streams would more than double its size.
#include <fstream>
#include <iterator>

#include "config/settings_check.h"

std::string ReadSettingsFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return {};
    return text;
}
