// The installer's pieces in-process: the progress percentage, the status callback on a real
// progress bar, the progress window's procedure, and the download thread on a local file.
#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "installer/runtime_installer_win.h"

namespace {

TEST(RuntimeInstaller, ProgressPercentTruncatesAndIgnoresAnUnknownTotal) {
    struct Case {
        ULONG progress;
        ULONG total;
        std::optional<int> percent;
    };
    // clang-format off
    const Case cases[] = {
        {150000, 300000, 50}, {0, 300000, 0}, {1, 3, 33}, {2, 3, 66}, {299999, 300000, 99},
        {300000, 300000, 100}, {0, 0, std::nullopt}, {4096, 0, std::nullopt},
        // More than announced: the bar's top, not an overflow of the conversion.
        {600000, 300000, 100}, {ULONG_MAX, 1, 100},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.progress) + " of " + std::to_string(c.total));
        EXPECT_EQ(ProgressPercent(c.progress, c.total), c.percent);
    }
}

// A hidden window of the installer's class with a progress bar of range 0..100 inside.
class RuntimeInstallerWindow : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = ProgressWndProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"InstallerTestWindow";
        RegisterClassExW(&windowClass);
    }
    void SetUp() override {
        window_ = CreateWindowExW(0, L"InstallerTestWindow", L"", WS_OVERLAPPED, 0, 0, 300, 90,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window_, nullptr);
        bar_ = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD, 10, 10, 200, 20, window_,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(bar_, nullptr);
        SendMessageW(bar_, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    }
    void TearDown() override {
        if (IsWindow(window_)) DestroyWindow(window_);
        DrainQuit();
    }
    int Position() const { return static_cast<int>(SendMessageW(bar_, PBM_GETPOS, 0, 0)); }
    // Takes a WM_QUIT from the queue; its exit code, or -1 when there was none.
    static int DrainQuit() {
        MSG message{};
        int code = -1;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) code = static_cast<int>(message.wParam);
        }
        return code;
    }

    HWND window_ = nullptr;
    HWND bar_ = nullptr;
};

TEST_F(RuntimeInstallerWindow, CallbackMovesTheBarAndKeepsNoReferences) {
    DownloadProgress progress(bar_);
    IBindStatusCallback* callback = &progress;

    EXPECT_EQ(callback->OnProgress(150000, 300000, BINDSTATUS_DOWNLOADINGDATA, nullptr), S_OK);
    EXPECT_EQ(Position(), 50);
    EXPECT_EQ(callback->OnProgress(9000, 0, BINDSTATUS_DOWNLOADINGDATA, L"x"), S_OK);
    EXPECT_EQ(Position(), 50) << "an unknown total leaves the bar alone";
    EXPECT_EQ(callback->OnProgress(300000, 300000, BINDSTATUS_ENDDOWNLOADDATA, nullptr), S_OK);
    EXPECT_EQ(Position(), 100);

    for (REFIID iid : {IID_IUnknown, IID_IBindStatusCallback, IID_IServiceProvider}) {
        void* object = &progress;
        EXPECT_EQ(callback->QueryInterface(iid, &object), E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(callback->AddRef(), 1u);
        EXPECT_EQ(callback->Release(), 1u);
        EXPECT_EQ(callback->Release(), 1u) << "never deletes the object";
    }
    EXPECT_EQ(callback->OnStartBinding(0, nullptr), E_NOTIMPL);
    LONG priority = 0;
    EXPECT_EQ(callback->GetPriority(&priority), E_NOTIMPL);
    EXPECT_EQ(callback->OnLowResource(0), S_OK);
    EXPECT_EQ(callback->OnStopBinding(S_OK, nullptr), E_NOTIMPL);
    DWORD flags = 0;
    BINDINFO info{};
    info.cbSize = sizeof(info);
    EXPECT_EQ(callback->GetBindInfo(&flags, &info), E_NOTIMPL);
    EXPECT_EQ(callback->OnDataAvailable(0, 0, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(callback->OnObjectAvailable(IID_IUnknown, nullptr), E_NOTIMPL);
    EXPECT_EQ(Position(), 100);
}

TEST_F(RuntimeInstallerWindow, DestroyingTheWindowEndsTheLoopWithCodeZero) {
    DrainQuit();
    EXPECT_EQ(ProgressWndProc(window_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"caption")), TRUE);
    wchar_t text[16] = {};
    GetWindowTextW(window_, text, 16);
    EXPECT_STREQ(text, L"caption") << "other messages get the default handling";
    EXPECT_EQ(DrainQuit(), -1);
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window_)) << "WM_CLOSE destroys the window";
    EXPECT_EQ(DrainQuit(), 0);
}

std::wstring TempFolder() {
    wchar_t path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, path);
    std::wstring folder =
        std::wstring(path) + L"installer_test_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs DownloadThread on a file: link and the window's loop until the thread closes the window.
TEST_F(RuntimeInstallerWindow, DownloadThreadOverwritesTheDestinationThenClosesTheWindow) {
    const std::wstring folder = TempFolder();
    const std::wstring source = folder + L"\\source.bin";
    const std::wstring destination = folder + kBootstrapperFileName;
    std::string bytes(300000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    std::ofstream(source.c_str(), std::ios::binary).write(bytes.data(), bytes.size());
    std::ofstream(destination.c_str(), std::ios::binary) << "an installer from an earlier run";

    DownloadJob job;
    job.url = L"file:///" + source;
    job.destination = destination;
    job.window = window_;
    job.progressBar = bar_;
    DrainQuit();
    const HANDLE thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, DownloadThread, &job, 0, nullptr));
    ASSERT_NE(thread, nullptr);
    // The thread's messages are handled here, as in the installer's loop; bounded.
    bool quit = false;
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while (!quit && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) quit = true;
            DispatchMessageW(&message);
        }
    }
    EXPECT_TRUE(quit) << "the thread closes the window, which ends the loop";
    EXPECT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeThread(thread, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    CloseHandle(thread);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_TRUE(ReadAll(destination) == bytes) << "the destination holds the downloaded bytes";
    DeleteFileW(source.c_str());
    DeleteFileW(destination.c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
