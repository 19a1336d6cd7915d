#include "webview/shared_mapping_win.h"

#include <new>

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

bool SharedMapping::Holds(std::uint64_t offset, std::uint64_t count) const {
    return view_ != nullptr && offset <= size_ && count <= size_ - offset;
}
