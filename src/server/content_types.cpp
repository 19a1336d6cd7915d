#include "server/content_types.h"

#include <utility>

namespace {

constexpr char kDefaultContentType[] = "application/octet-stream";

// Inserted in this order; for a repeated extension the first row would win.
constexpr std::pair<const char*, const char*> kRows[] = {
    {".html", "text/html; charset=utf-8"},
    {".htm", "text/html; charset=utf-8"},
    {".js", "application/javascript; charset=utf-8"},
    {".mjs", "application/javascript; charset=utf-8"},  // module scripts
    {".ts", "application/typescript; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".json", "application/json; charset=utf-8"},
    {".xml", "text/xml; charset=utf-8"},
    {".csv", "text/csv; charset=utf-8"},
    {".tsv", "text/tab-separated-values; charset=utf-8"},
    {".txt", "text/plain; charset=utf-8"},
    {".md", "text/markdown; charset=utf-8"},
    {".ini", "text/plain; charset=utf-8"},
    {".wasm", "application/wasm"},
    {".wast", "application/wast"},
    {".png", "image/png"},
    {".apng", "image/apng"},
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".jxl", "image/jxl"},
    {".svg", "image/svg+xml"},
    {".webp", "image/webp"},
    {".gif", "image/gif"},
    {".tif", "image/tiff"},
    {".tiff", "image/tiff"},
    {".bmp", "image/bmp"},
    {".ico", "image/x-icon"},
    {".avif", "image/avif"},
    {".webm", "video/webm"},
    {".m4a", "audio/mp4"},
    {".mp3", "audio/mpeg"},
    {".mp4", "video/mp4"},
    {".mpg", "video/mpeg"},
    {".mpeg", "video/mpeg"},
    {".opus", "audio/ogg; codecs=opus"},
    {".ogg", "audio/ogg"},
    {".ogv", "video/ogg"},
    {".flac", "audio/flac"},
    {".wav", "audio/wav"},
    {".mid", "audio/midi"},
    {".midi", "audio/midi"},
    {".kar", "audio/midi"},
    {".woff", "application/font-woff"},
    {".woff2", "font/woff2"},
    {".ttf", "application/font-sfnt"},
    {".otf", "application/font-sfnt"},
    {".eot", "application/vnd.ms-fontobject"},
    {".zip", "application/zip"},
    {".pdf", "application/pdf"},
    {".scml", "text/xml"},
    {".scon", "application/json"},
};

std::map<std::string, std::string> BuildTable() {
    std::map<std::string, std::string> table;
    for (const auto& [extension, type] : kRows) table.emplace(extension, type);
    return table;
}

}  // namespace

const std::map<std::string, std::string>& ContentTypeTable() {
    // Built on first use (thread-safe), so no static-initialisation order can see it empty.
    static const std::map<std::string, std::string> table = BuildTable();
    return table;
}

std::string ContentTypeForPath(const std::string& path) {
    const std::string::size_type dot = path.rfind('.');
    if (dot == std::string::npos) return kDefaultContentType;
    std::string extension = path.substr(dot);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const auto& table = ContentTypeTable();
    const auto it = table.find(extension);
    return it == table.end() ? kDefaultContentType : it->second;
}
