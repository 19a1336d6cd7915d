#include "app/startup_win.h"

#include <gdiplus.h>
#include <knownfolders.h>
#include <objbase.h>

#include <exception>
#include <memory>
#include <string>

#include "app/main_window_win.h"
#include "app/paths_win.h"
#include "config/app_config.h"
#include "bundle/asset_bundle.h"
#include "config/settings_check.h"
#include "config/settings_file_win.h"
#include "extensions/extension_manager_win.h"
#include "installer/runtime_installer_win.h"
#include "webview/veltra_webview_win.h"
#include "webview/webview2_loader_win.h"

namespace {

constexpr wchar_t kLoadFailedText[] =
    L"Failed to load package.json. Check the file is in the same folder as the app.";
constexpr wchar_t kParseFailedText[] =
    L"Failed to parse package.json. Check the file has valid JSON and that all parameters are "
    L"correct.";
constexpr wchar_t kLoaderMissingText[] =
    L"Failed to load WebView2Loader.dll. Check the file is in the same folder as the app.";
constexpr wchar_t kFixedRuntimeMissingText[] =
    L"This app is set to \"fixed\" distribution mode, but the WebView2 control failed to "
    L"initialize. Check there is a valid fixed distribution of Microsoft Edge WebView2 runtime in "
    L"the \"webview2\" subfolder.";
constexpr wchar_t kFixedBrowserFolder[] = L"webview2";
constexpr char kContentFolder[] = "www\\";

// The mapping of www\assets.dat; what was obtained is closed at teardown.
struct BundleMapping {
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE mapping = nullptr;
    void* view = nullptr;

    void Close() {
        if (view != nullptr) UnmapViewOfFile(view);
        if (mapping != nullptr) CloseHandle(mapping);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        view = nullptr;
        mapping = nullptr;
        file = INVALID_HANDLE_VALUE;
    }
};

// Step 10: maps the bundle when it exists and loads its directory. A failure is reported and
// start-up goes on with whatever the bundle holds.
void OpenBundle(const std::string& exeFolder, AssetBundle& bundle, BundleMapping& mapping) {
    const std::string path = exeFolder + kContentFolder + "assets.dat";
    if (!FileExists(path)) return;
    bool ok = false;
    mapping.file = CreateFileW(AddLongPathPrefix(ToWide(path)).c_str(), GENERIC_READ,
                               FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
    LARGE_INTEGER size{};
    // The true 64-bit size of the opened file: it is also the length of the view.
    if (mapping.file != INVALID_HANDLE_VALUE && GetFileSizeEx(mapping.file, &size)) {
        mapping.mapping =
            CreateFileMappingW(mapping.file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping.mapping != nullptr) {
            mapping.view = MapViewOfFile(mapping.mapping, FILE_MAP_READ, 0, 0, 0);
        }
    }
    if (mapping.view != nullptr) {
        bundle.readMode = ReadMode::Memory;
        bundle.base = static_cast<const std::uint8_t*>(mapping.view);
        bundle.stream = nullptr;
        bundle.position = 0;
        bundle.limit = static_cast<std::uint64_t>(size.QuadPart);
        try {
            bundle.Load();
            ok = true;
        } catch (...) {
        }
    }
    if (!ok) ShowMessage(L"Error reading asset bundle", kFallbackCaption, MB_ICONERROR);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(0, slash + 1);
}

// Step 9: a runtime must be available before the window is made. False ends start-up.
bool EnsureRuntime(HINSTANCE instance, const std::string& userDataFolder, const AppConfig& config,
                   const std::wstring& title, const wchar_t*& browserFolder) {
    if (config.distributionMode == DistributionMode::Fixed) {
        browserFolder = kFixedBrowserFolder;
        if (g_webView2Loader->RuntimeAvailable(browserFolder)) return true;
        ShowMessage(kFixedRuntimeMissingText, title, MB_ICONERROR);
        return false;
    }
    browserFolder = nullptr;
    if (g_webView2Loader->RuntimeAvailable(nullptr)) return true;
    const std::wstring installMessage = ToWide(config.installWebView2Message);
    const std::wstring failedMessage = ToWide(config.installFailedMessage);
    ShowMessage(installMessage, title, MB_ICONINFORMATION);
    InstallWebView2Runtime(instance, userDataFolder, config);
    // The installer's outcome is judged only by asking again.
    if (g_webView2Loader->RuntimeAvailable(nullptr)) return true;
    ShowMessage(failedMessage, title, MB_ICONERROR);
    return false;
}

}  // namespace

void ShowMessage(const std::wstring& text, const std::wstring& caption, UINT icon) {
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | icon);
}

int RunHost(HINSTANCE instance) {
    // 1. COM for this thread, a single-threaded apartment; never uninitialised.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    // 2. The executable's folder, with its trailing backslash.
    const std::string exeFolder = FolderOf(GetExecutablePath());

    // 3. and 4. The settings.
    const std::string settingsText = ReadSettingsText(exeFolder);
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

    // 6. GDI+.
    ULONG_PTR gdiplusToken = 0;
    Gdiplus::GdiplusStartupInput gdiplusInput;
    Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr);

    // 7. The window icon.
    HICON icon = nullptr;
    if (!config.icon.empty()) icon = LoadIconFromImage(exeFolder + config.icon);
    if (icon == nullptr) icon = LoadIconW(nullptr, IDI_APPLICATION);
    config.iconHandle = icon;

    // 8. The title, as the window caption and the caption of the runtime boxes.
    const std::wstring title = ToWide(config.title);

    // 9. The WebView2 loader and a runtime.
    WebView2Loader loader;
    if (!loader.Load(exeFolder)) {
        ShowMessage(kLoaderMissingText, kFallbackCaption, MB_ICONERROR);
        return 1;
    }
    g_webView2Loader = &loader;
    const wchar_t* browserFolder = nullptr;
    if (!EnsureRuntime(instance, userDataFolder, config, title, browserFolder)) return 1;

    // 10. The asset bundle.
    AssetBundle bundle;
    BundleMapping bundleMapping;
    OpenBundle(exeFolder, bundle, bundleMapping);

    // 11. The extension manager and the extension library.
    auto extensions = std::make_unique<ExtensionManager>(exeFolder, kContentFolder,
                                                         userDataFolder, settingsText);
    g_extensionManager = extensions.get();
    extensions->LoadExtension();

    // 12. The window class.
    if (RegisterAppWindowClass(instance, MainWndProc, icon, COLOR_WINDOW + 1, kMainWindowClass) ==
        0) {
        ShowMessage(L"Failed to register window class", kFallbackCaption, MB_ICONERROR);
        return 1;
    }

    // 13. to 15. The hidden main window, sized so that its client area is the configured size.
    const DWORD style = config.resizable ? kResizableStyle : kFixedSizeStyle;
    const int clientHeight = ScaleForDpi(config.height);
    const int clientWidth = ScaleForDpi(config.width);
    const OuterSize outer = OuterSizeForClient(clientWidth, clientHeight, style, 0);
    HWND window = CreateWindowExW(0, kMainWindowClass, title.c_str(), style, CW_USEDEFAULT,
                                  CW_USEDEFAULT, outer.width, outer.height, nullptr, nullptr,
                                  instance, nullptr);
    if (window == nullptr) {
        ShowMessage(L"Failed to create window", kFallbackCaption, MB_ICONERROR);
        return 1;
    }

    // 16. The extension learns the window.
    if (extensions->onMainWindowCreated != nullptr) extensions->onMainWindowCreated(window);

    // 17. The WebView host; its set-up goes on asynchronously from the message loop.
    auto host = std::make_unique<VeltraWebView>(&config, &bundle, window, exeFolder,
                                                kContentFolder, browserFolder, userDataFolder);
    g_webViewHost = host.get();
    host->Init();

    // 18. The message loop.
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {  // -1 (an error) must not spin
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    // Teardown.
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
    bundleMapping.Close();
    Gdiplus::GdiplusShutdown(gdiplusToken);
    const int exitCode = static_cast<int>(static_cast<UINT>(message.wParam));
    host.reset();
    g_webView2Loader = nullptr;
    return exitCode;
}
