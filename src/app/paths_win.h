// Text conversion and file-system helpers of the Windows layer. All text inside the host is
// UTF-8; UTF-16 exists only at platform calls.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

std::wstring ToWide(const std::string& text);
std::string ToNarrow(const std::wstring& text);

// Turns every "/" into "\" and gives paths of four or more characters the platform's long form:
// a network path ("\\server\share\...", exactly two leading backslashes) becomes
// "\\?\UNC\server\share\...", any other path without a prefix gets "\\?\" in front. Paths that
// already begin with "\\?\" or the device prefix "\\.\" keep it. Nothing else is changed (no
// canonicalisation).
std::wstring AddLongPathPrefix(const std::wstring& path);
// The reverse: "\\?\UNC\server\..." becomes "\\server\...", "\\?\C:\..." becomes "C:\...".
std::wstring StripLongPathPrefix(const std::wstring& path);

// Full path of the running executable, computed once and cached.
std::string GetExecutablePath();
// What GetExecutablePath makes of the module path the system reports: canonical, without a
// long-path prefix, in UTF-8.
std::string PlainModulePath(const std::wstring& modulePath);
// Path of a known folder without trailing backslash, or empty when it has none.
std::string GetKnownFolderPath(const GUID& folderId);
bool FileExists(const std::string& path);

// What the file system says about the file or folder at `path`. A symbolic link is followed: the
// facts are its target's (a link whose target is missing does not exist).
struct FileFacts {
    bool exists = false;
    bool isDirectory = false;
    std::uint64_t size = 0;  // 0 for a folder
};
FileFacts QueryFileFacts(const std::string& path);
// The true 64-bit size of a file (of a link's target) or 0 when it cannot be queried.
std::uint64_t GetFileSize(const std::string& path);
