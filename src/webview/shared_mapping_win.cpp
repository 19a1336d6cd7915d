#include "webview/shared_mapping_win.h"

#include <cstring>
#include <new>

// Copies `count` bytes; 0 when reading `source` raised an exception (an in-page error: the storage
// behind a mapped view has gone away), 1 otherwise. Plain machine code with an exception scope of
// its own (the platform's C scope handler, as a compiler writes for a guarded block): the fault
// ends the copy and the call, nothing else.
extern "C" int WrapperGuardedCopy(void* destination, const void* source, std::size_t count);

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
    .seh_endprologue
    movq %rcx, %rdi
    movq %rdx, %rsi
    movq %r8, %rcx
.Lguarded_copy_begin:
    rep movsb
.Lguarded_copy_end:
    movl $1, %eax
.Lguarded_copy_done:
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
    .long 1
    .rva .Lguarded_copy_fault
    .text
    .seh_endproc
)");

bool CopyReportingFaults(void* destination, const void* source, std::size_t count) {
    return WrapperGuardedCopy(destination, source, count) != 0;
}

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
    return Holds(offset, count) && CopyReportingFaults(buffer, view_ + offset, count);
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
