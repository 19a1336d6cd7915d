#include "app/paths_win.h"

#include <pathcch.h>
#include <shlobj.h>

#include <climits>
#include <memory>

namespace {

constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";
constexpr size_t kPrefixLength = 4;
// The long form of a network path: "\\server\share" becomes "\\?\UNC\server\share".
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";
constexpr size_t kLongUncPrefixLength = 8;
constexpr DWORD kPathCapacity = 32767;

bool StartsWith(const std::wstring& path, const wchar_t* prefix, size_t length) {
    return path.size() >= length && path.compare(0, length, prefix) == 0;
}

bool HasLongPathPrefix(const std::wstring& path) {
    return StartsWith(path, kLongPathPrefix, kPrefixLength);
}

// "\\?\UNC\", with the three letters in any case, as the platform reads them.
bool HasLongUncPrefix(const std::wstring& path) {
    return HasLongPathPrefix(path) && path.size() >= kLongUncPrefixLength &&
           CompareStringOrdinal(path.c_str() + kPrefixLength, 4, L"UNC\\", 4, TRUE) == CSTR_EQUAL;
}

// Exactly two leading backslashes ("\\server\share\..."); the caller has ruled out "\\?\" and
// "\\.\" already.
bool IsNetworkPath(const std::wstring& path) {
    return path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\\';
}

}  // namespace

std::wstring ToWide(const std::string& text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring result(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data(), needed);
    return result;
}

std::string ToNarrow(const std::wstring& text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string result(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), needed, nullptr, nullptr);
    return result;
}

std::wstring AddLongPathPrefix(const std::wstring& path) {
    std::wstring plain;
    plain.reserve(path.size());
    for (wchar_t c : path) plain.push_back(c == L'/' ? L'\\' : c);
    if (plain.size() < kPrefixLength || HasLongPathPrefix(plain)) return plain;
    // A device path ("\\.\pipe\...") already bypasses the platform's path rules.
    if (StartsWith(plain, L"\\\\.\\", kPrefixLength)) return plain;
    if (IsNetworkPath(plain)) return kLongUncPrefix + plain.substr(2);
    return kLongPathPrefix + plain;
}

std::wstring StripLongPathPrefix(const std::wstring& path) {
    if (HasLongUncPrefix(path)) return L"\\\\" + path.substr(kLongUncPrefixLength);
    if (HasLongPathPrefix(path)) return path.substr(kPrefixLength);
    return path;
}

std::string PlainModulePath(const std::wstring& modulePath) {
    auto canonical = std::make_unique<wchar_t[]>(kPathCapacity);
    if (FAILED(PathCchCanonicalizeEx(canonical.get(), kPathCapacity, modulePath.c_str(),
                                     PATHCCH_ALLOW_LONG_PATHS))) {
        // Keep the module path as reported rather than giving up on the folder altogether.
        return ToNarrow(StripLongPathPrefix(modulePath));
    }
    return ToNarrow(StripLongPathPrefix(canonical.get()));
}

std::string GetExecutablePath() {
    static std::string cached;
    if (!cached.empty()) return cached;
    auto modulePath = std::make_unique<wchar_t[]>(kPathCapacity);
    const DWORD length = GetModuleFileNameW(nullptr, modulePath.get(), kPathCapacity);
    if (length == 0 || length >= kPathCapacity) return {};
    cached = PlainModulePath(std::wstring(modulePath.get(), length));
    return cached;
}

std::string GetKnownFolderPath(const GUID& folderId) {
    PWSTR raw = nullptr;
    std::string result;
    if (SUCCEEDED(SHGetKnownFolderPath(folderId, 0, nullptr, &raw)) && raw != nullptr) {
        result = ToNarrow(StripLongPathPrefix(raw));
    }
    CoTaskMemFree(raw);
    return result;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesW(AddLongPathPrefix(ToWide(path)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

FileFacts QueryFileFacts(const std::string& path) {
    // Opened for its attributes only, so that no other program's sharing mode stands in the way;
    // the backup flag lets a folder be opened too. A symbolic link is followed to its target.
    HANDLE file = CreateFileW(AddLongPathPrefix(ToWide(path)).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    FileFacts facts;
    if (file == INVALID_HANDLE_VALUE) return facts;
    // Only the size and the kind: GetFileInformationByHandle would also look up the volume's
    // serial number, which takes Wine a hundred times as long.
    FILE_STANDARD_INFO information{};
    if (GetFileInformationByHandleEx(file, FileStandardInfo, &information, sizeof information)) {
        facts.exists = true;
        facts.isDirectory = information.Directory != FALSE;
        facts.size = facts.isDirectory || information.EndOfFile.QuadPart < 0
                         ? 0
                         : static_cast<std::uint64_t>(information.EndOfFile.QuadPart);
    }
    CloseHandle(file);
    return facts;
}

std::uint64_t GetFileSize(const std::string& path) { return QueryFileFacts(path).size; }
