// Entry point of WebView2Wrapper.exe.
#include <windows.h>

#include "app/startup_win.h"

#if defined(WRAPPER_TEST_HOOKS) && WRAPPER_TEST_HOOKS
#include "config/test_build_marker.h"
#endif

// Ask the graphics drivers of machines with two graphics processors for the fast one.
extern "C" {
__declspec(dllexport) DWORD NvOptimusEnablement = 1;
__declspec(dllexport) DWORD AmdPowerXpressRequestHighPerformance = 1;
}

#if defined(WRAPPER_TEST_HOOKS) && WRAPPER_TEST_HOOKS
// A build with test hooks says so in its image, where a packager looks for it before shipping.
// Exported, so that no linker can drop it. Release builds never contain these bytes.
extern "C" __declspec(dllexport) constexpr char WrapperTestBuildMarker[] =
    "WRAPPER-TEST-HOOKS-BUILD";
static_assert(sizeof(WrapperTestBuildMarker) == kTestBuildMarker.size() + 1 &&
                  std::string_view(WrapperTestBuildMarker) == kTestBuildMarker,
              "the exported marker is the packager's marker text");
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    try {
        return RunHost(instance);
    } catch (...) {
        return 1;
    }
}
