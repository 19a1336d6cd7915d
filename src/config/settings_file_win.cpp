#include "config/settings_file_win.h"

#include <cstdio>

#include "app/paths_win.h"

std::string ReadSettingsText(const std::string& exeFolder) {
    const std::string path = exeFolder + "package.json";
    FILE* file = _wfopen(AddLongPathPrefix(ToWide(path)).c_str(), L"rbS");
    if (file == nullptr) return {};
    std::string text;
    const std::uint64_t size = GetFileSize(path);
    if (size != 0 && size < text.max_size()) {
        text.assign(static_cast<size_t>(size), '\0');
        const size_t read = fread(text.data(), 1, text.size(), file);
        text.resize(read);  // a file that shrank in between gives what could be read
    }
    fclose(file);
    return text;
}
