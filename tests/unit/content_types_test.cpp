#include "server/content_types.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// Every media type with the extensions that map to it, written independently of the table.
const std::vector<std::pair<std::string, std::vector<std::string>>> kExpected = {
    {"text/html; charset=utf-8", {".html", ".htm"}},
    {"application/javascript; charset=utf-8", {".js", ".mjs"}},
    {"application/typescript; charset=utf-8", {".ts"}},
    {"text/css; charset=utf-8", {".css"}},
    {"application/json; charset=utf-8", {".json"}},
    {"text/xml; charset=utf-8", {".xml"}},
    {"text/csv; charset=utf-8", {".csv"}},
    {"text/tab-separated-values; charset=utf-8", {".tsv"}},
    {"text/plain; charset=utf-8", {".txt", ".ini"}},
    {"text/markdown; charset=utf-8", {".md"}},
    {"application/wasm", {".wasm"}},
    {"application/wast", {".wast"}},
    {"image/png", {".png"}},
    {"image/apng", {".apng"}},
    {"image/jpeg", {".jpg", ".jpeg"}},
    {"image/jxl", {".jxl"}},
    {"image/svg+xml", {".svg"}},
    {"image/webp", {".webp"}},
    {"image/gif", {".gif"}},
    {"image/tiff", {".tif", ".tiff"}},
    {"image/bmp", {".bmp"}},
    {"image/x-icon", {".ico"}},
    {"image/avif", {".avif"}},
    {"video/webm", {".webm"}},
    {"audio/mp4", {".m4a"}},
    {"audio/mpeg", {".mp3"}},
    {"video/mp4", {".mp4"}},
    {"video/mpeg", {".mpg", ".mpeg"}},
    {"audio/ogg; codecs=opus", {".opus"}},
    {"audio/ogg", {".ogg"}},
    {"video/ogg", {".ogv"}},
    {"audio/flac", {".flac"}},
    {"audio/wav", {".wav"}},
    {"audio/midi", {".mid", ".midi", ".kar"}},
    {"application/font-woff", {".woff"}},
    {"font/woff2", {".woff2"}},
    {"application/font-sfnt", {".ttf", ".otf"}},
    {"application/vnd.ms-fontobject", {".eot"}},
    {"application/zip", {".zip"}},
    {"application/pdf", {".pdf"}},
    {"text/xml", {".scml"}},
    {"application/json", {".scon"}},
};

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

TEST(ContentTypes, EveryRowInBothLetterCases) {
    std::set<std::string> extensions;
    for (const auto& [type, list] : kExpected) {
        for (const std::string& extension : list) {
            extensions.insert(extension);
            EXPECT_EQ(ContentTypeForPath("file" + extension), type) << extension;
            EXPECT_EQ(ContentTypeForPath("dir/sub/FILE" + Upper(extension)), type) << extension;
            EXPECT_EQ(ContentTypeForPath(extension), type) << "bare " << extension;
        }
    }
    EXPECT_EQ(extensions.size(), 51u);
    EXPECT_EQ(ContentTypeTable().size(), 51u);
    for (const auto& [extension, type] : ContentTypeTable()) {
        EXPECT_TRUE(extensions.count(extension)) << "unexpected row " << extension;
    }
}

TEST(ContentTypes, EdgeCasesFallBackToOctetStream) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"index.html", "text/html; charset=utf-8"},
        {"photo.JPG", "image/jpeg"},
        {"a.b.c.Css", "text/css; charset=utf-8"},
        {"archive.tar.gz", "application/octet-stream"},
        {"data.old/readme", "application/octet-stream"},  // extension ".old/readme"
        {"v1.2/app.js", "application/javascript; charset=utf-8"},
        {"noextension", "application/octet-stream"},
        {"", "application/octet-stream"},
        {"folder/", "application/octet-stream"},
        {"trailing.", "application/octet-stream"},
        {".htaccess", "application/octet-stream"},
        {"index.html?v=2", "application/octet-stream"},  // the query stays in the key
        {"index.html ", "application/octet-stream"},
        {"clip.\xC3\x89WEBM", "application/octet-stream"},  // only ASCII letters are lowered
        {std::string("x.png\0", 6), "application/octet-stream"},
    };
    for (const auto& [path, type] : cases) EXPECT_EQ(ContentTypeForPath(path), type) << path;
}

}  // namespace
