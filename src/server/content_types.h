// The media type of each file served to the WebView, chosen by the file name's extension.
#pragma once

#include <map>
#include <string>

// Extension (with its dot, lower case) to media type; built once, never changed.
const std::map<std::string, std::string>& ContentTypeTable();

// The media type for a request key: the extension runs from the last "." of the whole path
// (folders included) to the end and is lowered byte by byte (ASCII letters only); anything not
// in the table, or no dot at all, gives "application/octet-stream".
std::string ContentTypeForPath(const std::string& path);
