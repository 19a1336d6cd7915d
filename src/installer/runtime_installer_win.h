// Download of the WebView2 runtime's bootstrapper with a small progress window, and its launch.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <optional>
#include <string>

#include "installer/bootstrapper_url_win.h"

struct AppConfig;

inline constexpr wchar_t kProgressWindowClass[] = L"WebView2Setup";
inline constexpr wchar_t kBootstrapperFileName[] = L"\\Webview2Setup.exe";
// Visible at once, not resizable, no maximise box (0x10CA0000).
inline constexpr DWORD kProgressWindowStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// What the download thread needs; owned by InstallWebView2Runtime, which outlives the thread.
struct DownloadJob {
    std::wstring url;
    std::wstring destination;
    HWND window = nullptr;
    HWND progressBar = nullptr;
};

// The bar position for `progress` of `progressMax` bytes: the percentage computed in single
// precision and truncated, kept within 0..100. Nothing when the total is unknown (0).
std::optional<int> ProgressPercent(ULONG progress, ULONG progressMax);

// The download's status callback. It lives on the download thread's stack for the length of the
// download, so it keeps no reference count and answers no interface queries.
class DownloadProgress final : public IBindStatusCallback {
public:
    explicit DownloadProgress(HWND bar) : progressBar(bar) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD reserved, IBinding* binding) override;
    HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                         LPCWSTR statusText) override;
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR error) override;
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* bindFlags, BINDINFO* bindInfo) override;
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format,
                                              STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID riid, IUnknown* object) override;

    HWND progressBar;
};

// Thread entry: downloads job->url to job->destination, then closes the progress window.
// `job` points to a DownloadJob. Returns 0.
unsigned __stdcall DownloadThread(void* job);

// The progress window's procedure: its destruction ends the installer's message loop.
LRESULT CALLBACK ProgressWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Downloads the bootstrapper into userDataFolder with a progress window, runs it there and waits
// for it to end. Failures to set up the window are shown in a box with the configured title; the
// outcome of the download and of the installer is judged by the caller, by asking for the runtime
// again. Runs on the GUI thread before the main window exists.
void InstallWebView2Runtime(HINSTANCE instance, const std::string& userDataFolder,
                            const AppConfig& config);
