// A read-only view of a whole file, owned by reference count: the host keeps one reference for as
// long as it serves the file, and every body stream made over the view keeps another, so a stream
// the runtime still holds after the host's teardown reads valid memory. The view, the mapping and
// the file handle are closed when the last reference goes, on whichever thread drops it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

class SharedMapping {
public:
    // Opens `path` (already in its long-path form) for reading, sharing read access only, and
    // maps the whole file. Null when the file cannot be opened or is empty, or when any step of
    // the mapping fails (nothing stays open then).
    static std::shared_ptr<const SharedMapping> Open(const std::wstring& path);

    SharedMapping(const SharedMapping&) = delete;
    SharedMapping& operator=(const SharedMapping&) = delete;
    ~SharedMapping();

    const std::uint8_t* View() const { return view_; }
    std::uint64_t Size() const { return size_; }  // the file's size when it was mapped

    // Whether the `count` bytes starting `offset` bytes into the view lie inside it.
    bool Holds(std::uint64_t offset, std::uint64_t count) const;

private:
    SharedMapping() = default;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE mapping_ = nullptr;
    const std::uint8_t* view_ = nullptr;
    std::uint64_t size_ = 0;
};
