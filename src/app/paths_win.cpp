#include "app/paths_win.h"

#include <pathcch.h>
#include <shlobj.h>

#include <climits>
#include <memory>

namespace {

constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";
constexpr size_t kPrefixLength = 4;
constexpr DWORD kPathCapacity = 32767;

bool HasLongPathPrefix(const std::wstring& path) {
    return path.size() >= kPrefixLength && path.compare(0, kPrefixLength, kLongPathPrefix) == 0;
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
    std::wstring result;
    result.reserve(path.size() + kPrefixLength);
    if (path.size() >= kPrefixLength && !HasLongPathPrefix(path)) result = kLongPathPrefix;
    for (wchar_t c : path) result.push_back(c == L'/' ? L'\\' : c);
    return result;
}

std::wstring StripLongPathPrefix(const std::wstring& path) {
    if (HasLongPathPrefix(path)) return path.substr(kPrefixLength);
    return path;
}

std::string GetExecutablePath() {
    static std::string cached;
    if (!cached.empty()) return cached;
    auto modulePath = std::make_unique<wchar_t[]>(kPathCapacity);
    auto canonical = std::make_unique<wchar_t[]>(kPathCapacity);
    const DWORD length = GetModuleFileNameW(nullptr, modulePath.get(), kPathCapacity);
    if (length == 0 || length >= kPathCapacity) return {};
    if (FAILED(PathCchCanonicalizeEx(canonical.get(), kPathCapacity, modulePath.get(),
                                     PATHCCH_ALLOW_LONG_PATHS))) {
        // Keep the module path as reported rather than giving up on the folder altogether.
        wcscpy_s(canonical.get(), kPathCapacity, modulePath.get());
    }
    cached = ToNarrow(StripLongPathPrefix(canonical.get()));
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

std::uint64_t GetFileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(AddLongPathPrefix(ToWide(path)).c_str(), GetFileExInfoStandard,
                              &data)) {
        return 0;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
