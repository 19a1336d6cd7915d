// Turning a request path into the key used for the bundle and for loose files.
#pragma once

#include <string>

// Decodes every %XX escape (hex digits of either case) into the raw byte; an escape that is
// invalid or cut short stays as it is. "+" is not a space here. The result may be invalid UTF-8:
// the caller passes it through the platform's UTF-8 conversion, which replaces such bytes.
std::string PercentDecode(const std::string& text);

// Whether a key may be looked up as a file under the content folder: it must not be empty
// (that names the folder itself) and must hold no ".." segment, backslash, colon or NUL byte,
// nor start with "/". Bundle lookups never ask this: a bundle name cannot leave the bundle.
bool IsSafeLooseKey(const std::string& key);

// The loose file's path: `contentRoot` (ending in a backslash) followed by the key with every
// "/" turned into "\".
std::string LooseFilePath(const std::string& contentRoot, const std::string& key);
