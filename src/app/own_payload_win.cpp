#include "app/own_payload_win.h"

#include <windows.h>

#include <cstdint>

#include "app/paths_win.h"
#include "webview/shared_mapping_win.h"

namespace {

// A file handle closed on every way out.
struct FileHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~FileHandle() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

bool ReadFully(HANDLE file, std::uint64_t offset, void* buffer, std::size_t count) {
    return count <= UINT32_MAX && ReadFileAt(file, offset, buffer, static_cast<std::uint32_t>(count));
}

}  // namespace

OwnPayload ReadOwnPayload(const std::string& exePath) {
    OwnPayload own;
    own.path = exePath;
    FileHandle file;
    file.handle = CreateFileW(AddLongPathPrefix(ToWide(exePath)).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.handle == INVALID_HANDLE_VALUE) return own;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.handle, &size) || size.QuadPart <= 0) return own;
    own.kind = FindOneFilePayload(
        static_cast<std::uint64_t>(size.QuadPart),
        [&](std::uint64_t offset, void* buffer, std::size_t count) {
            return ReadFully(file.handle, offset, buffer, count);
        },
        own.layout);
    if (own.kind == OneFilePayload::Found || own.kind == OneFilePayload::BundleDamaged) {
        own.settings.assign(static_cast<std::size_t>(own.layout.settingsSize), '\0');
        if (!ReadFully(file.handle, own.layout.settingsOffset, own.settings.data(),
                       own.settings.size())) {
            own.kind = OneFilePayload::Damaged;
            own.settings.clear();
        }
    }
    return own;
}
