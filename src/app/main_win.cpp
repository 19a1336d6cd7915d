// Entry point of WebView2Wrapper.exe.
#include <windows.h>

#include "app/startup_win.h"

// Ask the graphics drivers of machines with two graphics processors for the fast one.
extern "C" {
__declspec(dllexport) DWORD NvOptimusEnablement = 1;
__declspec(dllexport) DWORD AmdPowerXpressRequestHighPerformance = 1;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    try {
        return RunHost(instance);
    } catch (...) {
        return 1;
    }
}
