#include "webview/shared_mapping_win.h"

#include <cstring>
#include <new>

namespace {

// Reads exactly `count` bytes at `offset` through `file`, which may be used by other threads at
// the same moment (the offset travels with the call, not with the handle).
bool ReadFileAt(HANDLE file, std::uint64_t offset, void* buffer, std::uint32_t count) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    while (count > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        if (!ReadFile(file, bytes, count, &read, &at) || read == 0) return false;
        bytes += read;
        offset += read;
        count -= read;
    }
    return true;
}

}  // namespace

std::shared_ptr<const SharedMapping> SharedMapping::Open(const std::wstring& path) {
    std::shared_ptr<SharedMapping> mapped;
    try {
        mapped.reset(new SharedMapping());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    // From here on the destructor closes whatever was obtained.
    mapped->file_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mapped->file_ == INVALID_HANDLE_VALUE) return nullptr;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(mapped->file_, &size) || size.QuadPart <= 0) return nullptr;
    mapped->mapping_ = CreateFileMappingW(mapped->file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapped->mapping_ == nullptr) return nullptr;
    mapped->view_ =
        static_cast<const std::uint8_t*>(MapViewOfFile(mapped->mapping_, FILE_MAP_READ, 0, 0, 0));
    if (mapped->view_ == nullptr) return nullptr;
    mapped->size_ = static_cast<std::uint64_t>(size.QuadPart);
    return mapped;
}

SharedMapping::~SharedMapping() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    if (mapping_ != nullptr) CloseHandle(mapping_);
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool SharedMapping::ReadAt(std::uint64_t offset, void* buffer, std::uint32_t count) const {
    return Holds(offset, count) && ReadFileAt(file_, offset, buffer, count);
}

std::shared_ptr<const LooseFile> LooseFile::Open(const std::wstring& path) {
    std::shared_ptr<LooseFile> loose;
    try {
        loose.reset(new LooseFile());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    loose->file_ = CreateFileW(path.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (loose->file_ == INVALID_HANDLE_VALUE) return nullptr;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(loose->file_, &size) || size.QuadPart < 0) return nullptr;
    loose->size_ = static_cast<std::uint64_t>(size.QuadPart);
    return loose;
}

LooseFile::~LooseFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool LooseFile::ReadAt(std::uint64_t offset, void* buffer, std::uint32_t count) const {
    return ReadFileAt(file_, offset, buffer, count);
}

bool MemoryBytes::ReadAt(std::uint64_t offset, void* buffer, std::uint32_t count) const {
    if (!Holds(offset, count)) return false;
    std::memcpy(buffer, bytes_.data() + offset, count);
    return true;
}
