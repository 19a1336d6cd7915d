#include "server/request_key.h"

#include <string_view>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string PercentDecode(const std::string& text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                decoded.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        decoded.push_back(text[i]);
    }
    return decoded;
}

bool IsSafeLooseKey(const std::string& key) {
    if (key.empty() || key.front() == '/') return false;
    if (key.find_first_of(std::string_view("\\:\0", 3)) != std::string::npos) return false;
    std::string::size_type start = 0;
    while (start <= key.size()) {
        std::string::size_type end = key.find('/', start);
        if (end == std::string::npos) end = key.size();
        if (std::string_view(key).substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

std::string LooseFilePath(const std::string& contentRoot, const std::string& key) {
    std::string path = contentRoot;
    path.reserve(contentRoot.size() + key.size());
    for (char c : key) path.push_back(c == '/' ? '\\' : c);
    return path;
}
