// The WebView host object of the main window: WebView2 environment and controller, their event
// handlers, window geometry and fullscreen, the page messages and the served files.
#pragma once

#include <windows.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/deferred_work.h"
#include "webview/runtime_life.h"
#include "webview/shared_mapping_win.h"
#include "webview/webview2_api.h"

class AssetBundle;
class ExtensionManager;
struct AppConfig;

using Microsoft::WRL::ComPtr;

// The box when the WebView2 control cannot be started (or start-up fails after the extension
// library was loaded); its caption is the configured title.
inline constexpr wchar_t kStartFailedText[] =
    L"Failed to start the WebView2 control. Check that the Microsoft Edge WebView2 runtime is "
    L"installed and working.";

// The box after the page's renderer ended too often (ProcessFailed, RENDER_PROCESS_EXITED);
// caption: the configured title. The run then ends with exit code 1.
inline constexpr wchar_t kAppStoppedText[] = L"The app stopped unexpectedly and has to close.";
// The box when the page has not responded for a while (RENDER_PROCESS_UNRESPONSIVE): Yes waits,
// No closes the app (exit code 1).
inline constexpr wchar_t kPageUnresponsiveText[] =
    L"The app is not responding.\n\nDo you want to wait for it? Choose No to close the app.";

class VeltraWebView {
public:
    VeltraWebView(AppConfig* config, AssetBundle* bundle, HWND window, std::string exeFolder,
                  std::string contentFolder, const wchar_t* browserFolder,
                  std::string userDataFolder);
    VeltraWebView(const VeltraWebView&) = delete;
    VeltraWebView& operator=(const VeltraWebView&) = delete;
    ~VeltraWebView();

    void Init();
    HRESULT OnEnvironmentCreated(HRESULT errorCode, ICoreWebView2Environment* environment);
    HRESULT OnControllerCreated(HRESULT errorCode, ICoreWebView2Controller* controller);
    // Drops the host's reference to the bundle's mapping; it closes once no body stream holds it
    // any more. (Loose files are opened per answer and held only by their body streams.)
    void CloseMappedFiles();
    // From now on no WebView2 event or completion reaches the host: the handlers still registered
    // return at once. Shutdown calls it before the extension's "Release".
    void StopEvents() { eventsStopped_ = true; }
    bool EventsStopped() const { return eventsStopped_; }

    // Window geometry (96-dpi units).
    void SetFullscreen(bool fullscreen);
    void SetWindowSize(int width, int height);
    void SetWindowPosition(int x, int y);

    // Page messages.
    void HandleWebMessage(const std::string& text);
    void HandleWrapperInit();
    void PostJsonToPage(const std::string& json);
    void PostDirectoryHandles();
    void AddDirectoryHandle(ICoreWebView2Environment14* environment14,
                            ComPtr<ICoreWebView2FileSystemHandle>* slot,
                            const std::string& tag, const std::string& path);

    // The start-failure box, then the end of the message loop with exit code 1. Called from the
    // main window's procedure for the message FailStart posts.
    void ReportStartFailure();

    // The one way out to the system's default handler for a URI (new windows), through the shell
    // without any user interface of its own. Never called inside a WebView2 callback.
    void OpenExternally(const std::string& uri);

    // Work a WebView2 callback leaves for after it has returned, run from the message loop (see
    // DeferredWork); nothing runs once events have stopped, nor work of a page since replaced.
    void RunAfterCallback(std::function<void()> work) { leftWork_.Add(std::move(work)); }
    void RunLeftWork() { leftWork_.Run(); }
    // Whether work left by callbacks is waiting or running: page messages then wait behind it.
    bool WorkIsLeft() const { return leftWork_.Busy(); }
    // The page's message dispatched with its extension messages handed over at once, for
    // callers outside any WebView2 callback.
    void DispatchPageMessage(const std::string& text, bool outsideCallback);

    // The main window is closing: stops events and closes the control before the window goes.
    // The host keeps no WebView2 object after it, so later calls are dropped without reaching
    // the runtime.
    void CloseController();

    // Event handlers.
    HRESULT OnAcceleratorKeyPressed(ICoreWebView2Controller* sender,
                                    ICoreWebView2AcceleratorKeyPressedEventArgs* args);
    HRESULT OnDocumentTitleChanged(ICoreWebView2* sender, IUnknown* args);
    HRESULT OnWebResourceRequestedEvent(ICoreWebView2* sender,
                                        ICoreWebView2WebResourceRequestedEventArgs* args);
    HRESULT OnNavigationStarting(ICoreWebView2* sender,
                                 ICoreWebView2NavigationStartingEventArgs* args);
    HRESULT OnPermissionRequested(ICoreWebView2* sender,
                                  ICoreWebView2PermissionRequestedEventArgs* args);
    HRESULT OnContainsFullScreenElementChanged(ICoreWebView2* sender, IUnknown* args);
    HRESULT OnWindowCloseRequested(ICoreWebView2* sender, IUnknown* args);
    HRESULT OnNewWindowRequested(ICoreWebView2* sender,
                                 ICoreWebView2NewWindowRequestedEventArgs* args);
    HRESULT OnWebMessageReceived(ICoreWebView2* sender,
                                 ICoreWebView2WebMessageReceivedEventArgs* args);
    HRESULT OnDOMContentLoaded(ICoreWebView2* sender, ICoreWebView2DOMContentLoadedEventArgs* args);
    HRESULT OnNavigationCompleted(ICoreWebView2* sender,
                                  ICoreWebView2NavigationCompletedEventArgs* args);
    HRESULT OnProcessFailed(ICoreWebView2* sender, ICoreWebView2ProcessFailedEventArgs* args);
    HRESULT OnBrowserProcessExited(ICoreWebView2Environment* sender,
                                   ICoreWebView2BrowserProcessExitedEventArgs* args);

    // From the main window's procedure, for the messages OnProcessFailed posts.
    // The browser process exited: a new environment and controller in the same window, with the
    // same folders, options and handlers, and the start page again.
    void RecreateWebView();
    // The "stopped unexpectedly" box, then the end of the message loop with exit code 1.
    void ReportAppStopped();
    // Asks whether to wait for the page that does not respond; No ends the run with exit code 1.
    // Neither the box nor the answer counts for a page that responds again meanwhile.
    void AskAboutUnresponsivePage();
    // The wait for BrowserProcessExited is over (the main window's timer).
    void OnBrowserExitWaitOver();

    AppConfig* config;
    AssetBundle* bundle;
    ExtensionManager* extensions;
    HWND window;
    std::string exeFolder;
    std::string contentFolder;
    std::string userDataFolder;
    std::string appOrigin;
    const wchar_t* browserFolder;
    ComPtr<ICoreWebView2Environment> environment;
    // The answer to a request whose handling failed on the way (a bodiless 500), made as soon as
    // the environment exists so that giving it needs nothing that could fail again.
    ComPtr<ICoreWebView2WebResourceResponse> serverErrorResponse;
    ComPtr<ICoreWebView2Controller> controller;
    ComPtr<ICoreWebView2> webview;
    ComPtr<ICoreWebView2_2> webview2;
    ComPtr<ITaskbarList2> taskbarList;
    // The mapping `bundle` reads from (null for a bundle held in memory without one).
    std::shared_ptr<const SharedMapping> bundleMapping;
    bool isFullscreen = false;
    LONG savedStyle = 0;
    LONG savedExStyle = 0;
    RECT savedRect{};
    std::map<std::string, std::string> directoryPaths;

private:
    // The body of OnControllerCreated.
    void SetUpController(HRESULT errorCode, ICoreWebView2Controller* createdController);
    // Creation of the environment or the controller failed (`result` says why, in the log): tell
    // the user and end the run, once the current callback has returned.
    void FailStart(HRESULT result);
    // The window becomes visible with the control focused (each DOMContentLoaded).
    void ShowLoadedPage();
    // Creates the environment (and through its completion the controller) with what Init stored.
    void CreateEnvironment();
    // Posts `message` to the main window; false when it could not be posted.
    bool PostToWindow(UINT message);
    // Permission requests from this origin (the start page's) are allowed; others are left to
    // the runtime, which asks the player.
    std::string permissionOrigin_;
    // What the host does about the runtime's process failures, and when.
    void Follow(LifeAction action, ICoreWebView2* sender);
    // A new control or a new document is coming: the old page's state goes.
    void ForgetPage();
    DeferredWork leftWork_;
    bool startFailed_ = false;
    // The rules of the first navigation (a failed one shows the error page) hold for each
    // control the host makes.
    bool firstNavigationDone_ = false;
    RuntimeLife life_;
    bool eventsStopped_ = false;
    // What the loader was given to create the environment. After a failed first attempt the
    // vendor's loader tries again on its own, later, with these very pointers, so they must
    // outlive Init: they live as long as the host.
    std::wstring loaderUserDataFolder_;
    std::wstring loaderBrowserFolder_;
    ComPtr<ICoreWebView2EnvironmentOptions> loaderOptions_;
};

extern VeltraWebView* g_webViewHost;
