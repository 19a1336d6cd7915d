#include "installer/runtime_installer_win.h"

#include <commctrl.h>
#include <process.h>

#include "app/main_window_win.h"
#include "app/paths_win.h"
#include "app/ui_services_win.h"
#include "config/app_config.h"

namespace {

// A kernel handle with one owner; null and INVALID_HANDLE_VALUE both mean none.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() {
        if (valid()) CloseHandle(handle_);
    }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// A function of a system library that only the installer needs, loaded from the system folder
// when the installer first asks for it; null when it cannot be had. The app would otherwise load
// these libraries at every start (urlmon brings wininet, ws2_32 and mpr with it) for a download
// that almost never happens. The library stays loaded for the rest of the process: the progress
// window's class and the download's threads may still use it after the installer returns.
template <typename Fn>
Fn InstallerFunction(const wchar_t* library, const char* name) {
    const HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// _beginthreadex, unless a test build has been asked to act as if no thread could be made.
HANDLE StartDownloadThread(DownloadJob* job) {
#ifdef WRAPPER_TEST_HOOKS
    if (GetEnvironmentVariableW(L"WRAPPER_TEST_FAIL_DOWNLOAD_THREAD", nullptr, 0) > 1) {
        return nullptr;
    }
#endif
    return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, DownloadThread, job, 0, nullptr));
}

// Nothing in here throws: the calls are plain platform calls.
void Download(const DownloadJob& job) noexcept {
    DownloadProgress progress(job.progressBar);
    // A failed download is not reported here: the caller's second runtime check decides.
    using DownloadFn = HRESULT(WINAPI*)(IUnknown*, const wchar_t*, const wchar_t*, DWORD,
                                        IBindStatusCallback*);
    if (const auto download = InstallerFunction<DownloadFn>(L"urlmon.dll", "URLDownloadToFileW"))
        download(nullptr, job.url.c_str(), job.destination.c_str(), 0, &progress);
    // Closing destroys the window, whose procedure then ends the GUI thread's loop. After an
    // early close by the user the window no longer exists and this does nothing.
    SendMessageW(job.window, WM_CLOSE, 0, 0);
}

// Runs the installer with no arguments in `folder` and waits for it. A file that does not start
// (none was downloaded, or it is not a program) is not reported.
void RunInstaller(const std::wstring& path, const std::wstring& folder) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    wchar_t commandLine[1] = L"";
    if (!CreateProcessW(path.c_str(), commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process)) {
        return;
    }
    const OwnedHandle processHandle(process.hProcess);
    const OwnedHandle threadHandle(process.hThread);
    WaitForSingleObject(processHandle.get(), INFINITE);
}

}  // namespace

std::optional<int> ProgressPercent(ULONG progress, ULONG progressMax) {
    if (progressMax == 0) return std::nullopt;
    const float percent = static_cast<float>(progress) * 100.0f / static_cast<float>(progressMax);
    // A count beyond the announced total would not fit an int after the multiplication.
    if (percent >= 100.0f) return 100;
    return static_cast<int>(percent);
}

HRESULT STDMETHODCALLTYPE DownloadProgress::QueryInterface(REFIID, void** object) {
    if (object != nullptr) *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE DownloadProgress::AddRef() { return 1; }

ULONG STDMETHODCALLTYPE DownloadProgress::Release() { return 1; }

HRESULT STDMETHODCALLTYPE DownloadProgress::OnStartBinding(DWORD, IBinding*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE DownloadProgress::GetPriority(LONG*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE DownloadProgress::OnLowResource(DWORD) { return S_OK; }

HRESULT STDMETHODCALLTYPE DownloadProgress::OnProgress(ULONG progress, ULONG progressMax, ULONG,
                                                       LPCWSTR) {
    if (const std::optional<int> percent = ProgressPercent(progress, progressMax)) {
        SendMessageW(progressBar, PBM_SETPOS, static_cast<WPARAM>(*percent), 0);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DownloadProgress::OnStopBinding(HRESULT, LPCWSTR) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE DownloadProgress::GetBindInfo(DWORD*, BINDINFO*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE DownloadProgress::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DownloadProgress::OnObjectAvailable(REFIID, IUnknown*) {
    return E_NOTIMPL;
}

unsigned __stdcall DownloadThread(void* job) {
    Download(*static_cast<const DownloadJob*>(job));
    _endthreadex(0);
    return 0;
}

LRESULT CALLBACK ProgressWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void InstallWebView2Runtime(HINSTANCE instance, const std::string& userDataFolder,
                            const AppConfig& config) {
    const std::wstring folder = ToWide(userDataFolder);
    const std::wstring title = ToWide(config.title);

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_PROGRESS_CLASS;
    using InitControlsFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto initControls =
        InstallerFunction<InitControlsFn>(L"comctl32.dll", "InitCommonControlsEx");
    if (initControls == nullptr || !initControls(&controls)) {
        ShowMessage(L"Failed to initialize common controls", title, MB_ICONERROR);
        return;
    }

    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        ShowMessage(L"Failed to create user data directory", title, MB_ICONERROR);
        return;
    }

    const HICON icon = static_cast<HICON>(config.iconHandle);
    // Brush value 5: the system's COLOR_MENU brush.
    if (RegisterAppWindowClass(instance, ProgressWndProc, icon, COLOR_MENU + 1,
                               kProgressWindowClass) == 0) {
        ShowMessage(L"Failed to register window class", title, MB_ICONERROR);
        return;
    }

    // Centred on the primary screen.
    const int width = ScaleForDpi(300);
    const int height = ScaleForDpi(90);
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2;
    const HWND window = CreateWindowExW(
        0, kProgressWindowClass, ToWide(config.downloadingMessage).c_str(), kProgressWindowStyle, x,
        y, width, height, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        ShowMessage(L"Failed to create window", title, MB_ICONERROR);
        return;
    }

    RECT client{};
    GetClientRect(window, &client);
    const int margin = ScaleForDpi(10);
    const int margins = ScaleForDpi(20);
    const HWND bar =
        CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, client.left + margin,
                        client.top + margin, client.right - client.left - margins,
                        client.bottom - client.top - margins, window, nullptr, instance, nullptr);
    SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageW(bar, PBM_SETSTEP, 1, 0);

    DownloadJob job;
    job.url = BootstrapperUrl();
    job.destination = folder + kBootstrapperFileName;
    job.window = window;
    job.progressBar = bar;

    const OwnedHandle thread(StartDownloadThread(&job));
    // Without a thread nothing would ever close the window: close it now so that start-up goes
    // on to its second runtime check instead of waiting for the user.
    if (!thread.valid()) DestroyWindow(window);

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {  // -1 (an error) must not spin
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    // The download goes on after an early close of the window; the installer waits for it.
    if (thread.valid()) WaitForSingleObject(thread.get(), INFINITE);

    RunInstaller(job.destination, folder);
}
