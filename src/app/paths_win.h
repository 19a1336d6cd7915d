// Text conversion and file-system helpers of the Windows layer. All text inside the host is
// UTF-8; UTF-16 exists only at platform calls.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

std::wstring ToWide(const std::string& text);
std::string ToNarrow(const std::wstring& text);

// Puts "\\?\" in front of paths of four or more characters that lack it and turns every "/"
// into "\". Nothing else is changed (no canonicalisation).
std::wstring AddLongPathPrefix(const std::wstring& path);
std::wstring StripLongPathPrefix(const std::wstring& path);

// Full path of the running executable, computed once and cached.
std::string GetExecutablePath();
// Path of a known folder without trailing backslash, or empty when it has none.
std::string GetKnownFolderPath(const GUID& folderId);
bool FileExists(const std::string& path);
// The true 64-bit size of a file or 0 when it cannot be queried.
std::uint64_t GetFileSize(const std::string& path);
