// The files behind response bodies, read by position from any thread: the bundle's mapping, a
// loose file of the content folder, or bytes held in memory. Each is owned by reference count:
// the host keeps one reference for as long as it serves from it, and every body stream made over
// it keeps another, so a stream the runtime still holds after the host's teardown still reads.
// Handles are closed when the last reference goes, on whichever thread drops it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Bytes a body stream reads by position.
class ByteSource {
public:
    ByteSource() = default;
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;
    virtual ~ByteSource() = default;

    // The size when the source was opened.
    virtual std::uint64_t Size() const = 0;
    // Copies the `count` bytes that start `offset` bytes in into `buffer`. False when they cannot
    // all be had (a read error, a file that has become shorter): the caller reports the failure.
    // Safe to call from several threads at once.
    virtual bool ReadAt(std::uint64_t offset, void* buffer, std::uint32_t count) const = 0;

    // Whether the `count` bytes starting `offset` bytes in lie inside the source.
    bool Holds(std::uint64_t offset, std::uint64_t count) const {
        return offset <= Size() && count <= Size() - offset;
    }
};

// Copies `count` bytes from `source`, which lies in the mapped view of `viewSize` bytes at
// `view`; false when reading the view faults (an in-page error: a share or a removable drive that
// goes away, a file cut short by another system), which then ends the copy instead of the
// process. Any other fault (a bad destination, a source outside the view) is a bug and goes on
// as it would without the guard, so that it is found.
bool CopyReportingFaults(void* destination, const void* source, std::size_t count, const void* view,
                         std::size_t viewSize);
// The guard's decision for an exception raised inside the copy: EXCEPTION_EXECUTE_HANDLER for an
// in-page error or an access violation in reading an address inside the view, else
// EXCEPTION_CONTINUE_SEARCH.
LONG GuardedCopyFilter(const EXCEPTION_RECORD& record, const void* view, std::size_t viewSize);

// Reads exactly `count` bytes at `offset` through `file`, which may be used by other threads at
// the same moment (the offset travels with the call, not with the handle).
bool ReadFileAt(HANDLE file, std::uint64_t offset, void* buffer, std::uint32_t count);

// A read-only view of a whole file or of a part of it (the bundle: its directory is read from the
// view). Bodies are
// copied out of the view with CopyReportingFaults, so a read error is a failed read.
class SharedMapping final : public ByteSource {
public:
    // Opens `path` (already in its long-path form) for reading, sharing read access only, and
    // maps the whole file. Null when the file cannot be opened or is empty, or when any step of
    // the mapping fails (nothing stays open then).
    static std::shared_ptr<const SharedMapping> Open(const std::wstring& path);
    // The same for the `length` bytes at `offset` (a multiple of the system's allocation
    // granularity, 64 KiB) of the file: a bundle carried inside a one-file executable. Length 0:
    // to the end. Null also when the range does not lie inside the file (ERROR_FILE_CORRUPT).
    static std::shared_ptr<const SharedMapping> OpenPart(const std::wstring& path,
                                                         std::uint64_t offset,
                                                         std::uint64_t length);

    ~SharedMapping() override;

    const std::uint8_t* View() const { return view_; }
    std::uint64_t Size() const override { return size_; }  // the mapped size
    bool ReadAt(std::uint64_t offset, void* buffer, std::uint32_t count) const override;

private:
    SharedMapping() = default;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE mapping_ = nullptr;
    const std::uint8_t* view_ = nullptr;
    std::uint64_t size_ = 0;
};

// A loose file of the content folder, opened for one answer. It shares reading, writing and
// deletion with everyone, and holds no mapping: an editor can rewrite, truncate, replace or delete
// the file while the runtime still holds the body. A read then sees the file as it is; bytes that
// are no longer there make the read fail.
class LooseFile final : public ByteSource {
public:
    // Null when the file cannot be opened (missing, a folder, held without sharing).
    static std::shared_ptr<const LooseFile> Open(const std::wstring& path);

    ~LooseFile() override;

    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::uint32_t count) const override;

private:
    LooseFile() = default;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::uint64_t size_ = 0;
};

// Bytes held in memory (the not-found text, a bundle without a mapping behind it).
class MemoryBytes final : public ByteSource {
public:
    explicit MemoryBytes(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, void* buffer, std::uint32_t count) const override;

private:
    const std::string bytes_;
};
