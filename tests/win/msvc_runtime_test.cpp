// The MSVC runtime pieces the linked-in WebView2 loader calls, used the way MSVC-built code uses
// them: through their MSVC names, with the registers and thread-local storage it uses.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "webview/msvc_runtime_win.h"

namespace {

// The MSVC-named operators and std::nothrow, as the loader's objects reference them.
asm(R"(
    .section .rdata,"dr"
    .p2align 3
TestMsvcNothrowNew:
    .quad "??2@YAPEAX_KAEBUnothrow_t@std@@@Z"
TestMsvcSizedDelete:
    .quad "??3@YAXPEAX_K@Z"
TestMsvcNothrow:
    .quad "?nothrow@std@@3Unothrow_t@1@B"
    .text
)");
extern "C" void* (*const TestMsvcNothrowNew)(size_t, const void*);
extern "C" void (*const TestMsvcSizedDelete)(void*, size_t);
extern "C" const void* const TestMsvcNothrow;

// A cookie mismatch, checked in a child process (this program run with only the test below):
// the process must end at once, with STATUS_STACK_BUFFER_OVERRUN, before the next line runs.
TEST(MsvcRuntime, DISABLED_CookieMismatchChild) {
    __security_check_cookie(__security_cookie ^ 0x100);
    fputs("still running after a cookie mismatch\n", stdout);
    fflush(stdout);
    ExitProcess(7);
}

TEST(MsvcRuntime, StackCookieCheckEndsTheProcessOnAMismatch) {
    EXPECT_NE(__security_cookie, 0x00002B992DDFA232ull) << "the cookie was never randomised";
    EXPECT_EQ(__security_cookie >> 48, 0u);
    __security_check_cookie(__security_cookie);  // a match returns

    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring command = std::wstring(L"\"") + self +
                           L"\" --gtest_also_run_disabled_tests "
                           L"--gtest_filter=MsvcRuntime.DISABLED_CookieMismatchChild";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &startup, &process));
    CloseHandle(writeEnd);
    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
    CloseHandle(readEnd);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, static_cast<DWORD>(STATUS_STACK_BUFFER_OVERRUN)) << output;
    EXPECT_EQ(output.find("still running"), std::string::npos) << output;
}

int64_t Combine(int64_t a, int64_t b, int64_t c, int64_t d) { return ((a * 10 + b) * 10 + c) * 10 + d; }

TEST(MsvcRuntime, GuardDispatchCallsTheTargetInRaxWithTheArgumentsInPlace) {
    int64_t result = 0;
    // As MSVC's code calls: target in rax, arguments in rcx, rdx, r8, r9, shadow space reserved.
    register int64_t third asm("r8") = 3;
    register int64_t fourth asm("r9") = 4;
    void (*const dispatch)() = __guard_dispatch_icall_fptr;
    asm volatile(
        "subq $32, %%rsp\n\t"
        "call *%[dispatch]\n\t"
        "addq $32, %%rsp"
        : "=a"(result), "+r"(third), "+r"(fourth)
        : "a"(&Combine), "c"(int64_t{1}), "d"(int64_t{2}), [dispatch] "r"(dispatch)
        : "r10", "r11", "memory", "cc");
    EXPECT_EQ(result, 1234);
}

// Thread-safe statics by MSVC's protocol, on threads of their own: each thread's epoch is its own
// copy from the TLS template, a second thread waits in the header while the first constructs,
// and the footer and the waiting header bring each thread's own epoch up to the static's.
struct StaticsRun {
    int guard = 0;
    int value = 0;
    HANDLE claimed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE waiterStarted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE waiterReturned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    int firstEpochBefore = 0, firstEpochAfter = 0, waiterEpochBefore = 0, waiterEpochAfter = 0;
    int waiterSawGuard = 0, waiterSawValue = 0;
    ~StaticsRun() {
        for (HANDLE h : {claimed, waiterStarted, waiterReturned, release}) CloseHandle(h);
    }
};

DWORD WINAPI FirstThread(void* parameter) {
    auto& run = *static_cast<StaticsRun*>(parameter);
    run.firstEpochBefore = ThreadInitEpoch();
    if (run.guard > ThreadInitEpoch()) {
        _Init_thread_header(&run.guard);
        if (run.guard == -1) {
            SetEvent(run.claimed);
            WaitForSingleObject(run.release, INFINITE);
            run.value = 42;
            _Init_thread_footer(&run.guard);
        }
    }
    run.firstEpochAfter = ThreadInitEpoch();
    return 0;
}

DWORD WINAPI WaiterThread(void* parameter) {
    auto& run = *static_cast<StaticsRun*>(parameter);
    run.waiterEpochBefore = ThreadInitEpoch();
    SetEvent(run.waiterStarted);
    if (run.guard > ThreadInitEpoch()) _Init_thread_header(&run.guard);
    run.waiterSawGuard = run.guard;
    run.waiterSawValue = run.value;
    run.waiterEpochAfter = ThreadInitEpoch();
    SetEvent(run.waiterReturned);
    return 0;
}

TEST(MsvcRuntime, ThreadSafeStaticsKeepAnEpochPerThreadInTls) {
    // The offset the loader's code reads with (section-relative, from the TLS template's start)
    // lands on the variable in the image's template.
    const auto* image = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
        image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& tlsEntry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
    ASSERT_NE(tlsEntry.VirtualAddress, 0u);
    const auto* tls = reinterpret_cast<const IMAGE_TLS_DIRECTORY64*>(image + tlsEntry.VirtualAddress);
    const auto* templateStart = reinterpret_cast<const char*>(tls->StartAddressOfRawData);
    const auto* templateEnd = reinterpret_cast<const char*>(tls->EndAddressOfRawData);
    const auto* variable = reinterpret_cast<const char*>(&_Init_thread_epoch);
    ASSERT_TRUE(variable >= templateStart && variable + sizeof(int) <= templateEnd);
    EXPECT_EQ(_Init_thread_epoch, INT_MIN);
    EXPECT_NE(&ThreadInitEpoch(), &_Init_thread_epoch) << "the thread's copy, not the template";

    StaticsRun run;
    HANDLE first = CreateThread(nullptr, 0, FirstThread, &run, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(run.claimed, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(run.guard, -1);
    HANDLE waiter = CreateThread(nullptr, 0, WaiterThread, &run, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(run.waiterStarted, 30000), WAIT_OBJECT_0);
    // While the first thread constructs, the waiter stays in the header (a wrong early return
    // shows here, or below as a value it saw unset).
    EXPECT_EQ(WaitForSingleObject(run.waiterReturned, 200), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(run.release);
    ASSERT_EQ(WaitForSingleObject(first, 30000), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(waiter, 30000), WAIT_OBJECT_0);
    CloseHandle(first);
    CloseHandle(waiter);

    EXPECT_EQ(run.firstEpochBefore, INT_MIN);
    EXPECT_EQ(run.waiterEpochBefore, INT_MIN);
    EXPECT_GT(run.guard, INT_MIN);
    EXPECT_EQ(run.firstEpochAfter, run.guard);
    EXPECT_EQ(run.waiterSawGuard, run.guard);
    EXPECT_EQ(run.waiterSawValue, 42);
    EXPECT_GE(run.waiterEpochAfter, run.guard);
    // The template, and so every new thread, still starts from the first epoch.
    EXPECT_EQ(_Init_thread_epoch, INT_MIN);
}

TEST(MsvcRuntime, NothrowNewAndSizedDeleteUnderTheirMsvcNames) {
    void* block = TestMsvcNothrowNew(64, TestMsvcNothrow);
    ASSERT_NE(block, nullptr);
    memset(block, 0xA5, 64);
    TestMsvcSizedDelete(block, 64);
    EXPECT_EQ(TestMsvcNothrowNew(SIZE_MAX - 4096, TestMsvcNothrow), nullptr)
        << "no memory: null, never an exception";
}

}  // namespace
