// The few pieces of Microsoft's C++ runtime that the vendor's static WebView2 loader
// (WebView2LoaderStatic.lib, objects built with MSVC) calls and mingw-w64's runtime lacks. Each
// piece does what MSVC's runtime does for code compiled by MSVC; nothing else of that runtime is
// supplied, and nothing of ours calls these pieces.
#include "webview/msvc_runtime_win.h"

#include <windows.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <new>

// --- /GS stack cookies -----------------------------------------------------------------------
// MSVC's /GS code stores `__security_cookie ^ rsp` in each protected frame and, before returning,
// passes the stored value ^ rsp to `__security_check_cookie` in rcx. A mismatch means the frame was
// overwritten: MSVC's runtime then ends the process at once with __fastfail(FAST_FAIL_STACK_COOKIE_
// CHECK_FAILURE), where nothing of the process runs any more (no handler, no atexit, no unwinding),
// or with TerminateProcess where the processor feature is missing. The value starts as MSVC's
// well-known default and is made unpredictable before the first frame of the loader can use it.
extern "C" {
uintptr_t __security_cookie = 0x00002B992DDFA232ull;
}

// Called from the check below only; never returns.
extern "C" [[noreturn]] void WrapperReportCookieMismatch() {
    if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE)) {
        asm volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) : "memory");
    }
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_STACK_BUFFER_OVERRUN));
    for (;;) {
    }
}

// The check runs in a function's epilogue while rax holds its return value: the matching path
// touches nothing but the flags, as MSVC's own assembly routine does.
asm(R"(
    .text
    .globl __security_check_cookie
    .p2align 4
__security_check_cookie:
    cmpq __security_cookie(%rip), %rcx
    jne 1f
    ret
1:
    subq $40, %rsp
    call WrapperReportCookieMismatch
    int3
)");

namespace {

// MSVC's __security_init_cookie mixes the time, the process and thread ids, the performance
// counter and the address of a stack variable; so does this, once, before main runs. The top 16
// bits stay zero, as in MSVC's x64 cookie, so that a string overrun cannot rebuild it.
struct CookieInit {
    CookieInit() {
        FILETIME time{};
        GetSystemTimeAsFileTime(&time);
        LARGE_INTEGER counter{};
        QueryPerformanceCounter(&counter);
        uintptr_t cookie = (static_cast<uintptr_t>(time.dwHighDateTime) << 32) ^ time.dwLowDateTime;
        cookie ^= GetCurrentThreadId();
        cookie ^= GetCurrentProcessId();
        cookie ^= (static_cast<uintptr_t>(counter.LowPart) << 32) ^ static_cast<uintptr_t>(counter.QuadPart);
        cookie ^= reinterpret_cast<uintptr_t>(&cookie);
        cookie &= 0x0000FFFFFFFFFFFFull;
        if (cookie == 0x00002B992DDFA232ull || cookie == 0) cookie = 0x00002B992DDFA233ull;
        __security_cookie = cookie;
    }
};
// Before any other static object of the program: nothing has run the loader yet.
[[gnu::init_priority(101)]] CookieInit cookieInit;

}  // namespace

// --- Control-flow guard -----------------------------------------------------------------------
// MSVC's /guard:cf code calls every indirect target through `__guard_dispatch_icall_fptr`, with the
// target in rax and the callee's arguments in place. With CFG off for the image (as here: this
// image has no CFG table), MSVC's runtime points it at a routine that only jumps to rax.
asm(R"(
    .text
    .globl WrapperGuardDispatchNoCheck
    .p2align 4
WrapperGuardDispatchNoCheck:
    jmp *%rax
)");
extern "C" void WrapperGuardDispatchNoCheck();
extern "C" {
// Read-only, like the image's load configuration where MSVC keeps it.
extern void (*const __guard_dispatch_icall_fptr)();
void (*const __guard_dispatch_icall_fptr)() = &WrapperGuardDispatchNoCheck;
}

// --- Thread-safe function-local statics ("magic statics") -------------------------------------
// MSVC's code keeps one int guard per static: 0 before initialisation, -1 while a thread
// initialises it, and afterwards the value the process epoch had when it was done. Each thread
// has its own epoch, `_Init_thread_epoch`, a thread-local variable the compiled code reads
// through the image's TLS directory (the TEB's ThreadLocalStoragePointer[_tls_index] plus the
// variable's section-relative offset in .tls). A static whose guard is not above the thread's
// epoch is known to be done without any lock; otherwise the code calls _Init_thread_header, which
// claims the guard (-1, the caller then constructs and calls _Init_thread_footer) or waits while
// another thread constructs it and returns with the guard done. The footer advances the process
// epoch, stores it in the guard and in the thread's epoch, and wakes waiting threads.
namespace {

constexpr int kUninitialized = 0;
constexpr int kBeingInitialized = -1;
constexpr int kEpochStart = INT_MIN;

SRWLOCK initLock = SRWLOCK_INIT;
CONDITION_VARIABLE initDone = CONDITION_VARIABLE_INIT;
int globalEpoch = kEpochStart;

}  // namespace

extern "C" {
// In .tls, so that it is part of the image's TLS template that every thread gets a copy of; the
// `$` subsection sorts it after mingw-w64's _tls_start, which begins the template.
[[gnu::section(".tls$WRP")]] int _Init_thread_epoch = kEpochStart;
extern ULONG _tls_index;
}
// The variable's offset in the thread's block, by the same section-relative relocation the
// loader's code reads it with.
asm(R"(
    .section .rdata,"dr"
    .p2align 2
WrapperInitEpochOffset:
    .secrel32 _Init_thread_epoch
)");
extern "C" const uint32_t WrapperInitEpochOffset;

int& ThreadInitEpoch() {
    // The TEB's ThreadLocalStoragePointer, at gs:0x58 on x64.
    char** blocks = nullptr;
    asm("movq %%gs:0x58, %0" : "=r"(blocks));
    return *reinterpret_cast<int*>(blocks[_tls_index] + WrapperInitEpochOffset);
}

extern "C" void _Init_thread_header(int* guard) noexcept {
    AcquireSRWLockExclusive(&initLock);
    if (*guard == kUninitialized) {
        *guard = kBeingInitialized;
    } else {
        while (*guard == kBeingInitialized) {
            SleepConditionVariableSRW(&initDone, &initLock, INFINITE, 0);
        }
        // Done by another thread (no abort path is linked: an initialiser that throws would
        // leave the process, as nothing in the loader catches).
        ThreadInitEpoch() = globalEpoch;
    }
    ReleaseSRWLockExclusive(&initLock);
}

extern "C" void _Init_thread_footer(int* guard) noexcept {
    AcquireSRWLockExclusive(&initLock);
    ++globalEpoch;
    *guard = globalEpoch;
    ThreadInitEpoch() = globalEpoch;
    ReleaseSRWLockExclusive(&initLock);
    WakeAllConditionVariable(&initDone);
}

// --- std::nothrow, nothrow new, sized delete --------------------------------------------------
// MSVC's names for them (`std::nothrow`, `operator new(size_t, const std::nothrow_t&)`,
// `operator delete(void*, size_t)`) differ from GCC's, so they are defined here under MSVC's
// names and forward to this program's own operators: memory the loader allocates is freed by the
// same allocator. Nothrow new answers null when no memory is left, as MSVC's does.
extern "C" void* WrapperMsvcNothrowNew(size_t size) noexcept {
    return ::operator new(size, std::nothrow);
}
extern "C" void WrapperMsvcSizedDelete(void* block, size_t size) noexcept {
    ::operator delete(block, size);
}
asm(R"(
    .section .rdata,"dr"
    .globl "?nothrow@std@@3Unothrow_t@1@B"
"?nothrow@std@@3Unothrow_t@1@B":
    .byte 0
    .text
    .globl "??2@YAPEAX_KAEBUnothrow_t@std@@@Z"
    .p2align 4
"??2@YAPEAX_KAEBUnothrow_t@std@@@Z":
    jmp WrapperMsvcNothrowNew
    .globl "??3@YAXPEAX_K@Z"
    .p2align 4
"??3@YAXPEAX_K@Z":
    jmp WrapperMsvcSizedDelete
)");
