// The main window's procedure and the DPI helpers.
#include "app/main_window_win.h"
#include "app/ui_services_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(MainWindow, ScaleRoundsUpAndSaturates) {
    EXPECT_EQ(ScaleLength(333, 1.75f), 583);
    EXPECT_EQ(ScaleLength(101, 1.25f), 127);
    EXPECT_EQ(ScaleLength(1024, 1.25f), 1280);
    EXPECT_EQ(ScaleLength(768, 1.5f), 1152);
    EXPECT_EQ(ScaleLength(-50, 1.0f), -50);
    EXPECT_EQ(ScaleLength(-101, 1.25f), -126);
    EXPECT_EQ(ScaleLength(0, 1.5f), 0);
    EXPECT_EQ(ScaleLength(2147483647, 1.5f), 2147483647);
    EXPECT_EQ(ScaleLength(-2147483647 - 1, 2.0f), -2147483647 - 1);
}

TEST(MainWindow, OuterSizeAddsTheFrame) {
    const OuterSize plain = OuterSizeForClient(800, 600, WS_POPUP, 0);
    EXPECT_EQ(plain.width, 800);
    EXPECT_EQ(plain.height, 600);
    const OuterSize framed = OuterSizeForClient(800, 600, kResizableStyle, 0);
    EXPECT_GT(framed.width, 800);
    EXPECT_GT(framed.height, 600);
}

// The window lives on a thread of its own so that a blocking default handling (the keyboard menu
// loop) shows up as a timed-out send instead of hanging the test.
class WindowThread {
public:
    WindowThread() {
        thread_ = std::thread([this] {
            WNDCLASSEXW windowClass{};
            windowClass.cbSize = sizeof(windowClass);
            windowClass.lpfnWndProc = MainWndProc;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = L"MainWindowTestClass";
            RegisterClassExW(&windowClass);
            HWND created = CreateWindowExW(0, L"MainWindowTestClass", L"test", kResizableStyle,
                                           0, 0, 300, 200, nullptr, nullptr,
                                           GetModuleHandleW(nullptr), nullptr);
            ShowWindow(created, SW_SHOW);
            threadId_ = GetCurrentThreadId();
            window_ = created;
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            quitCode_ = static_cast<int>(message.wParam);
        });
        while (window_.load() == nullptr) Sleep(5);
    }
    ~WindowThread() {
        if (IsWindow(window_)) PostMessageW(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    HWND Window() const { return window_; }
    DWORD ThreadId() const { return threadId_; }
    int Join() {
        thread_.join();
        thread_ = std::thread([] {});
        return quitCode_;
    }

private:
    std::thread thread_;
    std::atomic<HWND> window_{nullptr};
    std::atomic<DWORD> threadId_{0};
    int quitCode_ = -1;
};

TEST(MainWindow, KeyboardMenuIsSwallowedAndCloseEndsTheLoop) {
    WindowThread thread;
    // Alt alone (lParam 0), Alt+F ('f') and Alt+Space (' '): answered at once, no menu mode.
    for (LPARAM key : {LPARAM{0}, LPARAM{'f'}, LPARAM{' '}}) {
        DWORD_PTR result = 1;
        ASSERT_NE(SendMessageTimeoutW(thread.Window(), WM_SYSCOMMAND, SC_KEYMENU, key,
                                      SMTO_ABORTIFHUNG, 3000, &result),
                  0)
            << "the keyboard menu was entered for key " << key;
        EXPECT_EQ(result, 0u);
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        GetGUIThreadInfo(thread.ThreadId(), &info);
        EXPECT_EQ(info.flags & GUI_INMENUMODE, 0u);
    }
    // Size and move messages before any WebView host exists are harmless.
    SendMessageW(thread.Window(), WM_SIZE, 0, MAKELPARAM(100, 100));
    SendMessageW(thread.Window(), WM_MOVE, 0, 0);
    PostMessageW(thread.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(thread.Join(), 0);
}

}  // namespace
