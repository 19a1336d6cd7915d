#include "webview/shared_mapping_win.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// The view a guarded copy reads from, as the copy's frame holds it for its exception filter.
struct GuardedView {
    const std::uint8_t* begin;
    std::size_t size;
};

}  // namespace

// Copies `count` bytes; 0 when reading `source` raised an exception that the filter below
// accepted (an in-page error: the storage behind the mapped view has gone away), 1 otherwise.
// Plain machine code with an exception scope of its own (the platform's C scope handler, as a
// compiler writes for a guarded block); the frame keeps `view` at its stack pointer, where the
// filter finds it through the establisher frame. Any fault the filter refuses passes on as if the
// copy had no scope at all.
extern "C" int WrapperGuardedCopy(void* destination, const void* source, std::size_t count,
                                  const GuardedView* view);
extern "C" LONG WrapperGuardedCopyFilter(EXCEPTION_POINTERS* pointers, void* establisherFrame);

asm(R"(
    .text
    .p2align 4
    .globl WrapperGuardedCopy
    .def WrapperGuardedCopy; .scl 2; .type 32; .endef
    .seh_proc WrapperGuardedCopy
WrapperGuardedCopy:
    pushq %rsi
    .seh_pushreg %rsi
    pushq %rdi
    .seh_pushreg %rdi
    subq $8, %rsp
    .seh_stackalloc 8
    .seh_endprologue
    movq %r9, (%rsp)
    movq %rcx, %rdi
    movq %rdx, %rsi
    movq %r8, %rcx
.Lguarded_copy_begin:
    rep movsb
.Lguarded_copy_end:
    movl $1, %eax
.Lguarded_copy_done:
    addq $8, %rsp
    popq %rdi
    popq %rsi
    ret
.Lguarded_copy_fault:
    xorl %eax, %eax
    jmp .Lguarded_copy_done
    .seh_handler __C_specific_handler, @except
    .seh_handlerdata
    .long 1
    .rva .Lguarded_copy_begin
    .rva .Lguarded_copy_end
    .rva WrapperGuardedCopyFilter
    .rva .Lguarded_copy_fault
    .text
    .seh_endproc
)");

LONG GuardedCopyFilter(const EXCEPTION_RECORD& record, const void* view, std::size_t viewSize) {
    if (record.ExceptionCode != EXCEPTION_IN_PAGE_ERROR &&
        record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    // Both say in their first parameter whether it was a read (0), and name the address in the
    // second: only reading the view is guarded (the view cannot be written).
    if (record.NumberParameters < 2 || record.ExceptionInformation[0] != 0) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const auto address = static_cast<std::uintptr_t>(record.ExceptionInformation[1]);
    const auto begin = reinterpret_cast<std::uintptr_t>(view);
    return address >= begin && address - begin < viewSize ? EXCEPTION_EXECUTE_HANDLER
                                                          : EXCEPTION_CONTINUE_SEARCH;
}

extern "C" LONG WrapperGuardedCopyFilter(EXCEPTION_POINTERS* pointers, void* establisherFrame) {
    const GuardedView* view = *static_cast<const GuardedView* const*>(establisherFrame);
    return GuardedCopyFilter(*pointers->ExceptionRecord, view->begin, view->size);
}

bool CopyReportingFaults(void* destination, const void* source, std::size_t count, const void* view,
                         std::size_t viewSize) {
    const GuardedView guarded{static_cast<const std::uint8_t*>(view), viewSize};
    return WrapperGuardedCopy(destination, source, count, &guarded) != 0;
}

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

std::shared_ptr<const SharedMapping> SharedMapping::Open(const std::wstring& path) {
    return OpenPart(path, 0, 0);
}

std::shared_ptr<const SharedMapping> SharedMapping::OpenPart(const std::wstring& path,
                                                             std::uint64_t offset,
                                                             std::uint64_t length) {
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
    const auto fileSize = static_cast<std::uint64_t>(size.QuadPart);
    if (length == 0) length = fileSize - std::min(offset, fileSize);
    if (offset > fileSize || length == 0 || length > fileSize - offset ||
        length > static_cast<std::uint64_t>(SIZE_MAX)) {
        SetLastError(ERROR_FILE_CORRUPT);
        return nullptr;
    }
    mapped->mapping_ = CreateFileMappingW(mapped->file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapped->mapping_ == nullptr) return nullptr;
    mapped->view_ = static_cast<const std::uint8_t*>(
        MapViewOfFile(mapped->mapping_, FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                      static_cast<DWORD>(offset), static_cast<SIZE_T>(length)));
    if (mapped->view_ == nullptr) return nullptr;
    mapped->size_ = length;
    return mapped;
}

SharedMapping::~SharedMapping() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    if (mapping_ != nullptr) CloseHandle(mapping_);
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool SharedMapping::ReadAt(std::uint64_t offset, void* buffer, std::uint32_t count) const {
    return Holds(offset, count) && CopyReportingFaults(buffer, view_ + offset, count, view_,
                                                       static_cast<std::size_t>(size_));
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
