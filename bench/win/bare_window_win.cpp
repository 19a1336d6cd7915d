// The start-up benchmark's baseline: a program that does only what every windowed program does
// (registers a window class, creates a window and shows it) and runs until the window is closed.
// Built like the host (static, the same subsystem), so that the difference is the host's own work.
// Given a library's path as its command line, it loads that library first, as the host loads its
// WebView2 loader: the difference then leaves out what loading the library costs.
#include <windows.h>

namespace {

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
