#include "app/startup_win.h"

#include <gdiplus.h>
#include <knownfolders.h>
#include <objbase.h>

#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>

#include "app/host_log_win.h"
#include "app/main_window_win.h"
#include "app/own_payload_win.h"
#include "app/paths_win.h"
#include "app/ui_services_win.h"
#include "config/app_config.h"
#include "bundle/asset_bundle.h"
#include "config/settings_check.h"
#include "config/settings_file_win.h"
#include "extensions/extension_manager_win.h"
#include "installer/runtime_installer_win.h"
#include "webview/shared_mapping_win.h"
#include "webview/veltra_webview_win.h"
#include "webview/webview2_loader_win.h"

namespace {

constexpr wchar_t kLoadFailedText[] =
    L"Failed to load package.json. Check the file is in the same folder as the app.";
constexpr wchar_t kParseFailedText[] =
    L"Failed to parse package.json. Check the file has valid JSON and that all parameters are "
    L"correct.";
constexpr wchar_t kFixedRuntimeMissingText[] =
    L"This app is set to \"fixed\" distribution mode, but the WebView2 control failed to "
    L"initialize. Check there is a valid fixed distribution of Microsoft Edge WebView2 runtime in "
    L"the \"webview2\" subfolder.";
constexpr wchar_t kFixedBrowserFolder[] = L"webview2";
constexpr char kContentFolder[] = "www\\";

// A box about a start-up step, and its line in the host's log with the step's result code.
void ShowStartFailure(const std::wstring& text, const std::wstring& caption, UINT icon,
                      HRESULT result) {
    WriteStartFailureToHostLog(ToNarrow(text), result);
    ShowMessage(text, caption, icon);
}

// The box and log line of a bundle that could not be read completely; start-up goes on.
void ReportBundleError(const AssetBundle& bundle, HRESULT result) {
    WriteHostLog("bundle: \"Error reading asset bundle\" (HRESULT " + HResultText(result) +
                 "), " + std::to_string(bundle.files.size()) +
                 " entries read before the error; start-up goes on");
    ShowMessage(L"Error reading asset bundle", kFallbackCaption, MB_ICONERROR);
}

// Step 10: maps the bundle when it exists and loads its directory: the one the executable
// carries, else www\assets.dat. A failure is reported and start-up goes on with whatever the
// bundle holds.
std::shared_ptr<const SharedMapping> OpenBundle(const std::string& exeFolder,
                                                const OwnPayload& own, AssetBundle& bundle) {
    if (own.kind == OneFilePayload::BundleDamaged) {
        ReportBundleError(bundle, HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT));
        return nullptr;
    }
    const bool carried = own.kind == OneFilePayload::Found && own.layout.bundleSize > 0;
    const std::string path = carried ? own.path : exeFolder + kContentFolder + "assets.dat";
    if (!carried && !FileExists(path)) {
        WriteHostLog("bundle: none (loose files)");
        return nullptr;
    }
    bool loaded = false;
    std::shared_ptr<const SharedMapping> mapping =
        carried ? MapBundle(AddLongPathPrefix(ToWide(path)), bundle, loaded,
                            own.layout.bundleOffset, own.layout.bundleSize)
                : MapBundle(AddLongPathPrefix(ToWide(path)), bundle, loaded);
    if (loaded) {
        WriteHostLog("bundle: " + std::to_string(bundle.files.size()) + " entries" +
                     (carried ? " (in the executable)" : ""));
        return mapping;
    }
    // Not a failed start: the run goes on with what was read (and loose files).
    ReportBundleError(bundle, mapping == nullptr ? LastErrorResult()
                                                 : HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT));
    return mapping;
}

const char* NameOf(DistributionMode mode) {
    return mode == DistributionMode::Fixed ? "fixed" : "evergreen";
}
const char* NameOf(ContentMode mode) { return mode == ContentMode::Remote ? "remote" : "bundle"; }
const char* NameOf(HostingMode mode) {
    return mode == HostingMode::WindowToVisual ? "window-to-visual" : "windowed";
}

// The file version of the running executable's version resource ("1.2.3.4"), or "unknown".
std::string ExecutableVersion() {
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_VERSION);
    HGLOBAL loaded = resource != nullptr ? LoadResource(nullptr, resource) : nullptr;
    const auto* bytes =
        static_cast<const BYTE*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    const DWORD size = resource != nullptr ? SizeofResource(nullptr, resource) : 0;
    // VS_FIXEDFILEINFO starts with its signature, DWORD-aligned in the resource.
    for (DWORD at = 0; bytes != nullptr && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, bytes + at, sizeof info);
        if (info.dwSignature != 0xFEEF04BD) continue;
        return std::to_string(HIWORD(info.dwFileVersionMS)) + "." +
               std::to_string(LOWORD(info.dwFileVersionMS)) + "." +
               std::to_string(HIWORD(info.dwFileVersionLS)) + "." +
               std::to_string(LOWORD(info.dwFileVersionLS));
    }
    return "unknown";
}

// The line about the extension library after step 11.
void LogExtension(const ExtensionManager& extensions, bool initialised) {
    std::string line = "extension: ";
    if (extensions.module == nullptr) {
        line += extensions.loadError == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)
                    ? "none"
                    : "DI2ZozUzoraru.dll not loaded (HRESULT " + HResultText(extensions.loadError) +
                          ")";
    } else if (extensions.init == nullptr || extensions.release == nullptr ||
               extensions.onMainWindowCreated == nullptr ||
               extensions.onExtensionMessage == nullptr) {
        line += "DI2ZozUzoraru.dll loaded without all four exports; none is called";
    } else if (!initialised) {
        line += "DI2ZozUzoraru.dll loaded, Init returned no component list";
    } else {
        line += "DI2ZozUzoraru.dll loaded, component ids:";
        for (const std::string& id : extensions.componentIds) line += " \"" + id + "\"";
    }
    WriteHostLog(line);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(0, slash + 1);
}

// The line about what the loader found; true when it found a runtime.
bool LogRuntime(const WebView2Loader::RuntimeQuery& query) {
    WriteHostLog(query.found ? "runtime: " + query.version + " found"
                             : "runtime: none found (HRESULT " + HResultText(query.result) + ")");
    return query.found;
}

// Step 9: a runtime must be available before the window is made. False ends start-up.
bool EnsureRuntime(HINSTANCE instance, const std::string& userDataFolder, const AppConfig& config,
                   const std::wstring& title, const wchar_t*& browserFolder) {
    if (config.distributionMode == DistributionMode::Fixed) {
        browserFolder = kFixedBrowserFolder;
        const WebView2Loader::RuntimeQuery fixed = g_webView2Loader->QueryRuntime(browserFolder);
        if (LogRuntime(fixed)) return true;
        ShowStartFailure(kFixedRuntimeMissingText, title, MB_ICONERROR, fixed.result);
        return false;
    }
    browserFolder = nullptr;
    if (LogRuntime(g_webView2Loader->QueryRuntime(nullptr))) return true;
    const std::wstring installMessage = ToWide(config.installWebView2Message);
    const std::wstring failedMessage = ToWide(config.installFailedMessage);
    ShowMessage(installMessage, title, MB_ICONINFORMATION);
    WriteHostLog("runtime installer: started");
    InstallWebView2Runtime(instance, userDataFolder, config);
    // The installer's outcome is judged only by asking again.
    const WebView2Loader::RuntimeQuery installed = g_webView2Loader->QueryRuntime(nullptr);
    if (LogRuntime(installed)) return true;
    ShowStartFailure(failedMessage, title, MB_ICONERROR, installed.result);
    return false;
}

// Ends start-up after the extension library was loaded (steps 12 and 15, or anything thrown up
// to step 17): nothing is released and nothing unloaded, so the manager stays alive until the
// process ends (the library still holds it as its IWrapperApp); only texts sent from other
// threads are dropped from now on.
int EndStartUpWithExtension(std::unique_ptr<ExtensionManager> extensions) {
    extensions->CloseRelay();
    static_cast<void>(extensions.release());
    return 1;
}

// GDI+ for the run; shut down on every way out, and at its place in the teardown.
class GdiplusSession {
public:
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token_, &input, nullptr);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    ~GdiplusSession() { Shutdown(); }
    void Shutdown() {
        if (token_ != 0) Gdiplus::GdiplusShutdown(token_);
        token_ = 0;
    }

private:
    ULONG_PTR token_ = 0;
};

// Whether a test-hooks build was asked to act as if start-up step `step` failed.
bool TestFailsStep([[maybe_unused]] const wchar_t* step) {
#ifdef WRAPPER_TEST_HOOKS
    wchar_t value[8] = {};
    const DWORD length = GetEnvironmentVariableW(L"WRAPPER_TEST_FAIL_STARTUP_STEP", value, 8);
    return length > 0 && length < 8 && lstrcmpW(value, step) == 0;
#else
    return false;
#endif
}

// Clears g_webView2Loader when the loader it points to is about to go, on every way out.
struct LoaderRegistration {
    explicit LoaderRegistration(WebView2Loader* loader) { g_webView2Loader = loader; }
    LoaderRegistration(const LoaderRegistration&) = delete;
    LoaderRegistration& operator=(const LoaderRegistration&) = delete;
    ~LoaderRegistration() { g_webView2Loader = nullptr; }
};

}  // namespace

std::shared_ptr<const SharedMapping> MapBundle(const std::wstring& path, AssetBundle& bundle,
                                               bool& loaded, std::uint64_t offset,
                                               std::uint64_t length) {
    loaded = false;
    std::shared_ptr<const SharedMapping> mapping = SharedMapping::OpenPart(path, offset, length);
    if (mapping == nullptr) return nullptr;
    bundle.readMode = ReadMode::Memory;
    bundle.base = mapping->View();
    bundle.stream = nullptr;
    bundle.position = 0;
    bundle.limit = mapping->Size();
    try {
        bundle.Load();
        loaded = true;
    } catch (...) {
    }
    return mapping;
}

int RunMessageLoop(HWND filter) {
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, filter, 0, 0);
        if (got == 0) return static_cast<int>(static_cast<UINT>(message.wParam));  // WM_QUIT
        if (got == -1) return 1;  // the loop cannot go on; -1 must neither spin nor pass as a code
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

namespace {

int RunHostSteps(HINSTANCE instance) {
    // 1. COM for this thread, a single-threaded apartment; never uninitialised.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    // 2. The executable's folder, with its trailing backslash.
    const std::string exePath = GetExecutablePath();
    const std::string exeFolder = FolderOf(exePath);

    // 3. and 4. The settings: those the executable carries (a one-file app; a damaged payload
    // gives no text, as a damaged package.json does), else package.json.
    const OwnPayload own = ReadOwnPayload(exePath);
    const std::string settingsText =
        own.kind == OneFilePayload::None ? ReadSettingsText(exeFolder) : own.settings;
    SettingsCheck settings = CheckSettingsText(settingsText);
    if (settings.verdict == SettingsVerdict::LoadFailed) {
        ShowMessage(kLoadFailedText, kFallbackCaption, MB_ICONERROR);
        return 1;
    }
    if (settings.verdict != SettingsVerdict::Accepted) {
        ShowMessage(kParseFailedText, kFallbackCaption, MB_ICONERROR);
        return 1;
    }
    AppConfig& config = settings.config;

    // 5. The WebView2 user-data folder (not created here).
    const std::string userDataFolder =
        GetKnownFolderPath(FOLDERID_LocalAppData) + "\\" + config.name;
    // The host's log lives there; it is made here for the log, the runtime makes the rest.
    OpenHostLog(userDataFolder);
    WriteHostLog(std::string("start: executable ") + ExecutableVersion() + ", distribution " +
                 NameOf(config.distributionMode) + ", content " + NameOf(config.contentMode) +
                 ", hosting " + NameOf(config.hostingMode));
    if (own.kind != OneFilePayload::None) WriteHostLog("settings: carried in the executable");

    // 6. GDI+.
    GdiplusSession gdiplus;

    // 7. The window icon.
    HICON icon = nullptr;
    if (!config.icon.empty()) icon = LoadIconFromImage(exeFolder + config.icon);
    if (icon == nullptr) icon = LoadIconW(nullptr, IDI_APPLICATION);
    config.iconHandle = icon;

    // 8. The title, as the window caption and the caption of the runtime boxes.
    const std::wstring title = ToWide(config.title);

    // 9. The WebView2 loader and a runtime.
    WebView2Loader loader;
    if (!LoadHostLoader(loader, exeFolder)) {
        // Only a test build that loads a loader library can get here; it has no box of its own.
        WriteStartFailureToHostLog("no WebView2 loader", LastErrorResult());
        return 1;
    }
    const LoaderRegistration loaderRegistration(&loader);
    const wchar_t* browserFolder = nullptr;
    if (!EnsureRuntime(instance, userDataFolder, config, title, browserFolder)) return 1;

    // 10. The asset bundle.
    AssetBundle bundle;
    std::shared_ptr<const SharedMapping> bundleMapping = OpenBundle(exeFolder, own, bundle);

    // 11. The extension manager and the extension library.
    auto extensions = std::make_unique<ExtensionManager>(exeFolder, kContentFolder,
                                                         userDataFolder, settingsText);
    g_extensionManager = extensions.get();
    // From here to the message loop, anything thrown (no memory for the host, say) must not
    // unwind past the manager while the library is loaded and its threads may still call in.
    std::unique_ptr<VeltraWebView> host;
    try {
        LogExtension(*extensions, extensions->LoadExtension());

        // 12. The window class.
        if (TestFailsStep(L"12") ||
            RegisterAppWindowClass(instance, MainWndProc, icon, COLOR_WINDOW + 1,
                                   kMainWindowClass) == 0) {
            ShowStartFailure(L"Failed to register window class", kFallbackCaption, MB_ICONERROR,
                             LastErrorResult());
            return EndStartUpWithExtension(std::move(extensions));
        }

        // 13. to 15. The hidden main window, sized so that its client area is the configured size.
        const DWORD style = config.resizable ? kResizableStyle : kFixedSizeStyle;
        const int clientHeight = ScaleForDpi(config.height);
        const int clientWidth = ScaleForDpi(config.width);
        const OuterSize outer = OuterSizeForClient(clientWidth, clientHeight, style, 0);
        HWND window = TestFailsStep(L"15")
                          ? nullptr
                          : CreateWindowExW(0, kMainWindowClass, title.c_str(), style,
                                            CW_USEDEFAULT, CW_USEDEFAULT, outer.width, outer.height,
                                            nullptr, nullptr, instance, nullptr);
        if (window == nullptr) {
            ShowStartFailure(L"Failed to create window", kFallbackCaption, MB_ICONERROR,
                             LastErrorResult());
            return EndStartUpWithExtension(std::move(extensions));
        }

        // 16. The extension learns the window.
        if (extensions->onMainWindowCreated != nullptr) extensions->onMainWindowCreated(window);

        // 17. The WebView host; its set-up goes on asynchronously from the message loop.
        if (TestFailsStep(L"17")) throw std::bad_alloc();
        host = std::make_unique<VeltraWebView>(&config, &bundle, window, exeFolder, kContentFolder,
                                               browserFolder, userDataFolder);
        host->bundleMapping = bundleMapping;
        g_webViewHost = host.get();
        host->Init();
    } catch (...) {
        if (host != nullptr) host->StopEvents();  // the box's loop must not run the set-up on
        g_webViewHost = nullptr;
        ShowStartFailure(kStartFailedText, title, MB_ICONERROR, E_UNEXPECTED);
        return EndStartUpWithExtension(std::move(extensions));
    }

    // 18. The message loop.
    const int exitCode = RunMessageLoop();

    // Teardown. No WebView2 event reaches the host, nor through it the library, from here on
    // (the library's "Release" may run a message loop of its own); the library's texts from
    // other threads are dropped. However the loop ended, the control is closed while its window
    // still exists.
    host->CloseController();
    extensions->CloseRelay();
    host->CloseMappedFiles();
    g_webViewHost = nullptr;
    if (extensions->release != nullptr) extensions->release();
    if (extensions->module != nullptr) {
        FreeLibrary(extensions->module);
        extensions->module = nullptr;
    }
    extensions.reset();
    g_extensionManager = nullptr;
    bundle.Clear();
    // The last owner's reference: the bundle is unmapped here, or when the runtime releases the
    // last body stream it still holds.
    bundleMapping.reset();
    gdiplus.Shutdown();
    host.reset();
    return exitCode;
}

}  // namespace

int RunHost(HINSTANCE instance) {
    const int exitCode = RunHostSteps(instance);
    WriteHostLog("exit code " + std::to_string(exitCode));
    return exitCode;
}
