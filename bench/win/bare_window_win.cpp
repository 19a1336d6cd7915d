// The start-up benchmark's baseline: a program that does only what every windowed program does
// (registers a window class, creates a window and shows it) and runs until the window is closed.
// Built like the host (static, the same subsystem), so that the difference is the host's own work.
// Given a library's path as its command line, it loads that library first, as the host loads its
// WebView2 loader: the difference then leaves out what loading the library costs.
// Built with BARE_WITH_HOST_IMPORTS (bare_window_imports.exe), it also imports the system DLLs the
// host imports beyond a windowed program's (COM, the shell, GDI+) without calling them, so that
// the difference leaves out what loading those costs.
#include <windows.h>

#ifdef BARE_WITH_HOST_IMPORTS
#include <gdiplus.h>
#include <objbase.h>
#include <shlobj.h>
#endif

namespace {

#ifdef BARE_WITH_HOST_IMPORTS
volatile bool never = false;  // the imports are bound at load, the calls are never made

void UseHostImports() {
    if (!never) return;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    PWSTR folder = nullptr;
    SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder);
    ULONG_PTR token = 0;
    const Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
}
#else
void UseHostImports() {}
#endif

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    if (commandLine != nullptr && *commandLine != L'\0' && LoadLibraryW(commandLine) == nullptr) {
        return 1;
    }
    UseHostImports();
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"WrapperBenchBareWindow";
    if (RegisterClassExW(&windowClass) == 0) return 1;
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"bare window",
                                        WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 1280,
                                        800, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
