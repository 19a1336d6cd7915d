// The host's message loop: its exit code is WM_QUIT's, or 1 when GetMessageW fails.
#include <gtest/gtest.h>

#include "app/startup_win.h"

namespace {

TEST(MessageLoop, ExitCodeComesFromQuitOrIsOneWhenGetMessageFails) {
    // A message posted before WM_QUIT is taken first, then the loop ends with WM_QUIT's code.
    PostThreadMessageW(GetCurrentThreadId(), WM_APP + 7, 0, 0);
    PostQuitMessage(7);
    EXPECT_EQ(RunMessageLoop(), 7);
    PostQuitMessage(-2);
    EXPECT_EQ(RunMessageLoop(), -2);

    // A window handle that names no window makes GetMessageW fail (-1): that is not an exit code
    // of -1, nor a reason to go round again.
    HWND noWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0001));
    ASSERT_FALSE(IsWindow(noWindow));
    PostQuitMessage(5);  // stays queued: the failing loop never reads it
    EXPECT_EQ(RunMessageLoop(noWindow), 1);
    EXPECT_EQ(RunMessageLoop(), 5);
}

}  // namespace
