#include "webview/veltra_webview_win.h"

#include <shellapi.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <thread>

#include "app/host_log_win.h"
#include "app/paths_win.h"
#include "app/ui_services_win.h"
#include "app/window_events_win.h"
#include "config/app_config.h"
#include "extensions/extension_manager_win.h"
#include "server/resource_handler_win.h"
#include "webview/com_object_win.h"
#include "webview/environment_options_win.h"
#include "webview/origin.h"
#include "webview/webview2_loader_win.h"

VeltraWebView* g_webViewHost = nullptr;

namespace {

// The main window's timer that ends the wait for BrowserProcessExited.
constexpr UINT_PTR kBrowserExitTimer = 0x5630;

// A string WebView2 handed out, freed with CoTaskMemFree.
class TaskString {
public:
    TaskString() = default;
    TaskString(const TaskString&) = delete;
    TaskString& operator=(const TaskString&) = delete;
    ~TaskString() { CoTaskMemFree(text_); }
    LPWSTR* Out() { return &text_; }
    bool Empty() const { return text_ == nullptr; }
    std::wstring Wide() const { return text_ != nullptr ? text_ : L""; }
    std::string Narrow() const { return ToNarrow(Wide()); }

private:
    LPWSTR text_ = nullptr;
};

// Registers a new callback object that forwards `source`'s event to `Method` of `host`. The
// handlers are never removed, so the token is not kept; the source holds the only reference.
template <auto Method, typename Source, typename Handler>
void Subscribe(Source* source, HRESULT (Source::*add)(Handler*, EventRegistrationToken*),
               VeltraWebView* host) {
    ComPtr<Handler> handler(NewCallback<Handler, Method>(host));
    EventRegistrationToken token{};
    (source->*add)(handler.Get(), &token);
}

const char* ProcessFailedKindText(COREWEBVIEW2_PROCESS_FAILED_KIND kind) {
    switch (kind) {
        case COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED:
            return "browser process exited";
        case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED:
            return "render process exited";
        case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE:
            return "render process unresponsive";
        case COREWEBVIEW2_PROCESS_FAILED_KIND_FRAME_RENDER_PROCESS_EXITED:
            return "frame render process exited";
        case COREWEBVIEW2_PROCESS_FAILED_KIND_UTILITY_PROCESS_EXITED:
            return "utility process exited";
        case COREWEBVIEW2_PROCESS_FAILED_KIND_SANDBOX_HELPER_PROCESS_EXITED:
            return "sandbox helper process exited";
        case COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED:
            return "GPU process exited";
        case COREWEBVIEW2_PROCESS_FAILED_KIND_PPAPI_PLUGIN_PROCESS_EXITED:
            return "PPAPI plugin process exited";
        case COREWEBVIEW2_PROCESS_FAILED_KIND_PPAPI_BROKER_PROCESS_EXITED:
            return "PPAPI broker process exited";
        case COREWEBVIEW2_PROCESS_FAILED_KIND_UNKNOWN_PROCESS_EXITED:
            return "unknown process exited";
    }
    return "unknown kind";  // a newer runtime's
}

const char* ProcessFailedReasonText(COREWEBVIEW2_PROCESS_FAILED_REASON reason) {
    switch (reason) {
        case COREWEBVIEW2_PROCESS_FAILED_REASON_UNEXPECTED:
            return "unexpected";
        case COREWEBVIEW2_PROCESS_FAILED_REASON_UNRESPONSIVE:
            return "unresponsive";
        case COREWEBVIEW2_PROCESS_FAILED_REASON_TERMINATED:
            return "terminated";
        case COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED:
            return "crashed";
        case COREWEBVIEW2_PROCESS_FAILED_REASON_LAUNCH_FAILED:
            return "launch failed";
        case COREWEBVIEW2_PROCESS_FAILED_REASON_OUT_OF_MEMORY:
            return "out of memory";
        case COREWEBVIEW2_PROCESS_FAILED_REASON_PROFILE_DELETED:
            return "profile deleted";
    }
    return "unknown reason";
}

// The log's name of a permission kind (the names the runtime's documentation gives them).
const char* PermissionKindName(COREWEBVIEW2_PERMISSION_KIND kind) {
    static constexpr const char* kNames[] = {
        "unknown",           "microphone",    "camera",         "geolocation",
        "notifications",     "other-sensors", "clipboard-read", "multiple-automatic-downloads",
        "file-read-write",   "autoplay",      "local-fonts",    "midi-system-exclusive-messages",
        "window-management",
    };
    const auto index = static_cast<size_t>(kind);
    return index < std::size(kNames) ? kNames[index] : "unknown";
}

}  // namespace

VeltraWebView::VeltraWebView(AppConfig* config, AssetBundle* bundle, HWND window,
                             std::string exeFolder, std::string contentFolder,
                             const wchar_t* browserFolder, std::string userDataFolder)
    : config(config),
      bundle(bundle),
      extensions(g_extensionManager),
      window(window),
      exeFolder(std::move(exeFolder)),
      contentFolder(std::move(contentFolder)),
      userDataFolder(std::move(userDataFolder)),
      appOrigin(AppOriginFor(*config)),
      browserFolder(browserFolder),
      permissionOrigin_(WebOriginOf(StartUrlFor(*config, appOrigin))),
      leftWork_([this] {
          return this->window != nullptr &&
                 PostMessageW(this->window, kAfterCallbackMessage, 0, 0) != FALSE;
      }) {
    if (extensions != nullptr) extensions->webViewHost = this;
}

VeltraWebView::~VeltraWebView() {
    directoryPaths.clear();
    CloseMappedFiles();
    taskbarList.Reset();
    webview2.Reset();
    webview.Reset();
    controller.Reset();
    environment.Reset();
    if (extensions != nullptr && extensions->webViewHost == this) extensions->webViewHost = nullptr;
}

void VeltraWebView::Init() {
    if (config->hostingMode == HostingMode::WindowToVisual) {
        SetEnvironmentVariableW(L"COREWEBVIEW2_FORCED_HOSTING_MODE",
                                L"COREWEBVIEW2_HOSTING_MODE_WINDOW_TO_VISUAL");
    }
    loaderUserDataFolder_ = ToWide(userDataFolder);
    if (browserFolder != nullptr) loaderBrowserFolder_ = browserFolder;
    loaderOptions_ = new EnvironmentOptions();
    const std::wstring arguments = ToWide(config->chromiumArgs);
    loaderOptions_->put_AdditionalBrowserArguments(arguments.c_str());
    CreateEnvironment();
}

void VeltraWebView::CreateEnvironment() {
    ComPtr<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> handler(
        NewCallback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                    &VeltraWebView::OnEnvironmentCreated>(this));
    const HRESULT result = g_webView2Loader->createEnvironment(
        browserFolder != nullptr ? loaderBrowserFolder_.c_str() : nullptr,
        loaderUserDataFolder_.c_str(), loaderOptions_.Get(), handler.Get());
    // A call that fails outright never completes: without this the window would stay hidden.
    if (FAILED(result)) FailStart(result);
}

HRESULT VeltraWebView::OnEnvironmentCreated(HRESULT errorCode,
                                            ICoreWebView2Environment* createdEnvironment) {
    try {
        if (FAILED(errorCode) || createdEnvironment == nullptr) {
            FailStart(FAILED(errorCode) ? errorCode : E_POINTER);
            return S_OK;
        }
        environment = createdEnvironment;
        ComPtr<ICoreWebView2Environment5> environment5;
        if (SUCCEEDED(environment.As(&environment5)) && environment5 != nullptr) {
            Subscribe<&VeltraWebView::OnBrowserProcessExited>(
                environment5.Get(), &ICoreWebView2Environment5::add_BrowserProcessExited, this);
        }
        CreateServerErrorResponse(*this, &serverErrorResponse);
        ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> handler(
            NewCallback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                        &VeltraWebView::OnControllerCreated>(this));
        const HRESULT result = environment->CreateCoreWebView2Controller(window, handler.Get());
        if (FAILED(result)) FailStart(result);
    } catch (...) {
        FailStart(E_UNEXPECTED);  // the start cannot go on: say so rather than leave it hidden
    }
    return S_OK;
}

HRESULT VeltraWebView::OnControllerCreated(HRESULT errorCode,
                                           ICoreWebView2Controller* createdController) {
    try {
        SetUpController(errorCode, createdController);
    } catch (...) {
        FailStart(E_UNEXPECTED);
    }
    return S_OK;
}

void VeltraWebView::SetUpController(HRESULT errorCode, ICoreWebView2Controller* createdController) {
    if (FAILED(errorCode) || createdController == nullptr) {
        FailStart(FAILED(errorCode) ? errorCode : E_POINTER);
        return;
    }
    controller = createdController;
    firstNavigationDone_ = false;
    life_.ControlReady();
    webview.Reset();
    webview2.Reset();
    controller->get_CoreWebView2(&webview);
    ComPtr<ICoreWebView2Settings> settings;
    const HRESULT settingsResult =
        webview != nullptr ? webview->get_Settings(&settings) : E_NOINTERFACE;
    if (FAILED(settingsResult) || settings == nullptr) {
        FailStart(FAILED(settingsResult) ? settingsResult : E_POINTER);
        return;
    }
    webview.As(&webview2);

    settings->put_IsScriptEnabled(TRUE);
    settings->put_AreHostObjectsAllowed(FALSE);
    settings->put_AreDefaultScriptDialogsEnabled(TRUE);
    settings->put_IsWebMessageEnabled(TRUE);
    settings->put_IsZoomControlEnabled(FALSE);
    settings->put_AreDefaultContextMenusEnabled(TRUE);
    settings->put_AreDevToolsEnabled(config->enableDevTools ? TRUE : FALSE);

    ComPtr<ICoreWebView2Settings3> settings3;
    if (SUCCEEDED(settings.As(&settings3)) && settings3 != nullptr) {
        settings3->put_AreBrowserAcceleratorKeysEnabled(FALSE);
        Subscribe<&VeltraWebView::OnAcceleratorKeyPressed>(
            controller.Get(), &ICoreWebView2Controller::add_AcceleratorKeyPressed, this);
    }

    RECT bounds{};
    GetClientRect(window, &bounds);
    controller->put_Bounds(bounds);

    ICoreWebView2* core = webview.Get();
    Subscribe<&VeltraWebView::OnDocumentTitleChanged>(core, &ICoreWebView2::add_DocumentTitleChanged,
                                                      this);
    if (config->contentMode == ContentMode::Bundle) {
        const std::wstring filter = ToWide(appOrigin + "*");
        // Requests of the page's service workers and shared workers reach the host only through a
        // filter with their source kinds; the plain filter covers the document alone.
        ComPtr<ICoreWebView2_22> webview22;
        if (FAILED(webview.As(&webview22)) || webview22 == nullptr ||
            FAILED(webview22->AddWebResourceRequestedFilterWithRequestSourceKinds(
                filter.c_str(), COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL,
                COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_ALL))) {
            core->AddWebResourceRequestedFilter(filter.c_str(),
                                                COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
            WriteHostLog(
                "the runtime has no source-kind filters (ICoreWebView2_22): service "
                "workers and shared workers cannot load the app's files");
        }
        Subscribe<&VeltraWebView::OnWebResourceRequestedEvent>(
            core, &ICoreWebView2::add_WebResourceRequested, this);
        Subscribe<&VeltraWebView::OnNavigationStarting>(core, &ICoreWebView2::add_NavigationStarting,
                                                        this);
    }
    Subscribe<&VeltraWebView::OnPermissionRequested>(core, &ICoreWebView2::add_PermissionRequested,
                                                     this);
    Subscribe<&VeltraWebView::OnContainsFullScreenElementChanged>(
        core, &ICoreWebView2::add_ContainsFullScreenElementChanged, this);
    Subscribe<&VeltraWebView::OnWindowCloseRequested>(core, &ICoreWebView2::add_WindowCloseRequested,
                                                      this);
    Subscribe<&VeltraWebView::OnNewWindowRequested>(core, &ICoreWebView2::add_NewWindowRequested,
                                                    this);
    Subscribe<&VeltraWebView::OnWebMessageReceived>(core, &ICoreWebView2::add_WebMessageReceived,
                                                    this);
    if (webview2 != nullptr) {
        Subscribe<&VeltraWebView::OnDOMContentLoaded>(webview2.Get(),
                                                      &ICoreWebView2_2::add_DOMContentLoaded, this);
    }
    Subscribe<&VeltraWebView::OnNavigationCompleted>(core, &ICoreWebView2::add_NavigationCompleted,
                                                     this);
    Subscribe<&VeltraWebView::OnProcessFailed>(core, &ICoreWebView2::add_ProcessFailed, this);

    const std::wstring startUrl = ToWide(StartUrlFor(*config, appOrigin));
    webview->Navigate(startUrl.c_str());
#ifdef WRAPPER_TEST_HOOKS
    // Tests break the runtime's one-thread rule on purpose, once, to see it refused and reported.
    if (GetEnvironmentVariableW(L"WRAPPER_TEST_WRONG_THREAD_CALL", nullptr, 0) > 1) {
        std::thread([core] { core->PostWebMessageAsJson(L"{}"); }).join();
    }
#endif
    // A runtime without DOMContentLoaded would never show the window: show it now instead.
    if (webview2 == nullptr) ShowLoadedPage();
}

void VeltraWebView::CloseMappedFiles() { bundleMapping.reset(); }

void VeltraWebView::FailStart(HRESULT result) {
    if (startFailed_) return;
    startFailed_ = true;
    WriteStartFailureToHostLog(ToNarrow(kStartFailedText), result);
    life_.Stop();
    // Mostly called inside a WebView2 completion, where no modal loop may run: the box is shown
    // once the callback has returned. Should the post fail (a full queue), a timer shows it (its
    // message is made when the queue is empty, so it needs no room there); without either, the
    // run ends without a box rather than with one inside the callback.
    if (PostToWindow(kStartFailedMessage)) return;
    if (SetTimer(nullptr, 0, 0, [](HWND, UINT, UINT_PTR timer, DWORD) {
            KillTimer(nullptr, timer);
            OnStartFailed();
        }) != 0) {
        return;
    }
    WriteHostLog("the start-failure box cannot be shown after the callback; exit code 1");
    PostQuitMessage(1);
}

void VeltraWebView::ReportStartFailure() {
    ShowMessage(kStartFailedText, ToWide(config->title), MB_ICONERROR);
    PostQuitMessage(1);
}

bool VeltraWebView::PostToWindow(UINT message) {
#ifdef WRAPPER_TEST_HOOKS
    // Tests make these posts fail, as a full message queue would.
    if (GetEnvironmentVariableW(L"WRAPPER_TEST_FAIL_WINDOW_POSTS", nullptr, 0) > 1) return false;
#endif
    return window != nullptr && PostMessageW(window, message, 0, 0) != FALSE;
}

void VeltraWebView::RecreateWebView() {
    if (eventsStopped_ || startFailed_ || life_.State() != LifeState::Recreating) return;
    KillTimer(window, kBrowserExitTimer);
    // The old page is gone with its control: the window leaves its fullscreen state, and what
    // the page left undone is dropped.
    SetFullscreen(false);
    ForgetPage();
    // The runtime closed the old control already; let it and its environment go.
    webview2.Reset();
    webview.Reset();
    controller.Reset();
    serverErrorResponse.Reset();
    environment.Reset();
    CreateEnvironment();
}

void VeltraWebView::ReportAppStopped() {
    if (eventsStopped_) return;
    ShowMessage(kAppStoppedText, ToWide(config->title), MB_ICONERROR);
    PostQuitMessage(1);
}

void VeltraWebView::AskAboutUnresponsivePage() {
    if (eventsStopped_ || !life_.StillUnresponsive(GetTickCount64())) return;
    const int answer = MessageBoxW(window, kPageUnresponsiveText, ToWide(config->title).c_str(),
                                   MB_YESNO | MB_ICONWARNING);
    if (answer != IDNO || eventsStopped_) return;
    // The page may have answered while the box was up: then it is not the page the player
    // gave up on.
    if (!life_.StillUnresponsive(GetTickCount64())) {
        WriteHostLog("the player chose to close the app, but the page responds again: it goes on");
        return;
    }
    life_.Stop();
    WriteHostLog("the player closed the app that was not responding; exit code 1");
    PostQuitMessage(1);
}

void VeltraWebView::OnBrowserExitWaitOver() {
    KillTimer(window, kBrowserExitTimer);
    const std::optional<LifeMillis> deadline = life_.Deadline();
    if (eventsStopped_ || !deadline) return;
    // The timer's own clock may run a little ahead of the tick count: its firing ends the wait.
    const LifeAction action = life_.Tick(std::max<LifeMillis>(GetTickCount64(), *deadline));
    if (action == LifeAction::None) return;
    WriteHostLog("no BrowserProcessExited within 5 s; the host: " +
                 std::string(LifeActionText(action)));
    RecreateWebView();
}

void VeltraWebView::ForgetPage() {
    leftWork_.NewPage();
    if (extensions != nullptr) extensions->pageReady = false;
}

void VeltraWebView::ShowLoadedPage() {
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    if (controller != nullptr) {
        controller->put_IsVisible(TRUE);
        controller->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
    }
}

void VeltraWebView::OpenExternally(const std::string& uri) {
    const std::wstring wide = ToWide(uri);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;  // a URI without a handler fails quietly, with no box
    info.lpVerb = L"open";
    info.lpFile = wide.c_str();
    info.nShow = SW_SHOWDEFAULT;
    ShellExecuteExW(&info);
}

void VeltraWebView::CloseController() {
    StopEvents();
    life_.Stop();
    KillTimer(window, kBrowserExitTimer);
    if (controller != nullptr) controller->Close();
    webview2.Reset();
    webview.Reset();
    controller.Reset();
}

HRESULT VeltraWebView::OnAcceleratorKeyPressed(ICoreWebView2Controller*,
                                               ICoreWebView2AcceleratorKeyPressedEventArgs* args) {
    UINT key = 0;
    if (config->enableDevTools && SUCCEEDED(args->get_VirtualKey(&key)) && key == VK_F12 &&
        webview != nullptr) {
        webview->OpenDevToolsWindow();
    }
    return S_OK;
}

HRESULT VeltraWebView::OnDocumentTitleChanged(ICoreWebView2* sender, IUnknown*) {
    TaskString title;
    sender->get_DocumentTitle(title.Out());
    SetWindowTextW(window, title.Wide().c_str());
    return S_OK;
}

HRESULT VeltraWebView::OnWebResourceRequestedEvent(
    ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) {
    return OnWebResourceRequested(*this, args);
}

HRESULT VeltraWebView::OnNavigationStarting(ICoreWebView2*,
                                            ICoreWebView2NavigationStartingEventArgs* args) {
    TaskString uri;
    args->get_Uri(uri.Out());
    if (!PassesOriginTest(uri.Narrow(), appOrigin)) args->put_Cancel(TRUE);
    return S_OK;
}

HRESULT VeltraWebView::OnPermissionRequested(ICoreWebView2*,
                                             ICoreWebView2PermissionRequestedEventArgs* args) {
    TaskString uri;
    args->get_Uri(uri.Out());
    const std::string origin = WebOriginOf(uri.Narrow());
    if (!origin.empty() && origin == permissionOrigin_) {
        args->put_State(COREWEBVIEW2_PERMISSION_STATE_ALLOW);
        return S_OK;
    }
    // Another origin's frame (an ad, an embedded player): the runtime asks the player.
    COREWEBVIEW2_PERMISSION_KIND kind = COREWEBVIEW2_PERMISSION_KIND_UNKNOWN_PERMISSION;
    args->get_PermissionKind(&kind);
    WriteHostLog(std::string("permission ") + PermissionKindName(kind) + " asked by " +
                 (origin.empty() ? "a page without an origin" : origin) +
                 ": left to the runtime's default");
    return S_OK;
}

HRESULT VeltraWebView::OnContainsFullScreenElementChanged(ICoreWebView2* sender, IUnknown*) {
    BOOL contains = FALSE;
    sender->get_ContainsFullScreenElement(&contains);
    SetFullscreen(contains != FALSE);
    return S_OK;
}

HRESULT VeltraWebView::OnWindowCloseRequested(ICoreWebView2*, IUnknown*) {
    // Posted: the window (and the control in it) must not go while this callback is on the stack.
    PostMessageW(window, WM_CLOSE, 0, 0);
    return S_OK;
}

HRESULT VeltraWebView::OnNewWindowRequested(ICoreWebView2*,
                                            ICoreWebView2NewWindowRequestedEventArgs* args) {
    TaskString uri;
    args->get_Uri(uri.Out());
    const std::string target = uri.Narrow();
    if (MayOpenExternally(target)) RunAfterCallback([this, target] { OpenExternally(target); });
    args->put_Handled(TRUE);
    return S_OK;
}

HRESULT VeltraWebView::OnWebMessageReceived(ICoreWebView2*,
                                            ICoreWebView2WebMessageReceivedEventArgs* args) {
    TaskString source;
    args->get_Source(source.Out());
    if (!PassesOriginTest(source.Narrow(), appOrigin)) return S_OK;
    TaskString text;
    // A message posted as JSON rather than as a string has no text: it is dropped.
    if (FAILED(args->TryGetWebMessageAsString(text.Out())) || text.Empty()) return S_OK;
    life_.PageAnswered();
    HandleWebMessage(text.Narrow());
    return S_OK;
}

HRESULT VeltraWebView::OnDOMContentLoaded(ICoreWebView2*, ICoreWebView2DOMContentLoadedEventArgs*) {
    life_.PageAnswered();
    ShowLoadedPage();
    return S_OK;
}

HRESULT VeltraWebView::OnNavigationCompleted(ICoreWebView2*,
                                             ICoreWebView2NavigationCompletedEventArgs* args) {
    life_.PageAnswered();
    if (firstNavigationDone_) return S_OK;
    firstNavigationDone_ = true;
    BOOL success = TRUE;
    if (FAILED(args->get_IsSuccess(&success)) || success != FALSE) return S_OK;
    // No DOMContentLoaded comes: the window shows the runtime's error page rather than nothing.
    COREWEBVIEW2_WEB_ERROR_STATUS status = COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN;
    args->get_WebErrorStatus(&status);
    WriteHostLog("the first navigation failed: web error status " +
                 std::to_string(static_cast<int>(status)));
    ShowLoadedPage();
    return S_OK;
}

HRESULT VeltraWebView::OnProcessFailed(ICoreWebView2* sender,
                                       ICoreWebView2ProcessFailedEventArgs* args) {
    COREWEBVIEW2_PROCESS_FAILED_KIND kind = COREWEBVIEW2_PROCESS_FAILED_KIND_UNKNOWN_PROCESS_EXITED;
    if (FAILED(args->get_ProcessFailedKind(&kind))) return S_OK;
    std::string event = std::string("process failure: ") + ProcessFailedKindText(kind);
    ComPtr<ICoreWebView2ProcessFailedEventArgs2> details;
    if (SUCCEEDED(ComPtr<ICoreWebView2ProcessFailedEventArgs>(args).As(&details)) &&
        details != nullptr) {
        COREWEBVIEW2_PROCESS_FAILED_REASON reason = COREWEBVIEW2_PROCESS_FAILED_REASON_UNEXPECTED;
        int exitCode = 0;
        TaskString description;
        details->get_Reason(&reason);
        details->get_ExitCode(&exitCode);
        details->get_ProcessDescription(description.Out());
        event += std::string("; reason ") + ProcessFailedReasonText(reason) + "; exit code " +
                 std::to_string(exitCode) + "; process \"" + description.Narrow() + "\"";
    }
    // A failure of a control the host already replaced changes nothing.
    const bool current = sender != nullptr && sender == webview.Get();
    const ULONGLONG now = GetTickCount64();
    LifeAction next = LifeAction::None;
    std::string action = "none (the runtime recovers by itself)";
    if (!current) {
        action = "none (an earlier control)";
    } else if (kind == COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED) {
        ComPtr<ICoreWebView2Environment5> environment5;
        const bool exitEventOffered =
            SUCCEEDED(environment.As(&environment5)) && environment5 != nullptr;
        next = life_.BrowserProcessFailed(now, exitEventOffered);
        action = next == LifeAction::None ? "none (the browser process is gone already)"
                                          : LifeActionText(next);
    } else if (kind == COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED) {
        next = life_.RendererExited(now);
        action = LifeActionText(next);
    } else if (kind == COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE) {
        next = life_.Unresponsive(now);
        action = next == LifeAction::None ? "wait" : LifeActionText(next);
    }
    WriteHostLog(event + "; the host: " + action);
    Follow(next, sender);
    return S_OK;
}

HRESULT VeltraWebView::OnBrowserProcessExited(ICoreWebView2Environment* sender,
                                              ICoreWebView2BrowserProcessExitedEventArgs*) {
    if (sender == nullptr || sender != environment.Get()) return S_OK;
    const LifeAction next = life_.BrowserProcessExited(GetTickCount64());
    if (next == LifeAction::None) return S_OK;
    WriteHostLog(std::string("the browser process is gone; the host: ") + LifeActionText(next));
    Follow(next, nullptr);
    return S_OK;
}

void VeltraWebView::Follow(LifeAction action, ICoreWebView2* sender) {
    if (action == LifeAction::WaitForBrowserExit || action == LifeAction::Recreate ||
        action == LifeAction::TooManyBrowserExits) {
        // The runtime closed the control with its browser process: every call on it would fail.
        webview2.Reset();
        webview.Reset();
        controller.Reset();
    }
    switch (action) {
        case LifeAction::None:
            return;
        case LifeAction::WaitForBrowserExit:
            // The control is closed; the page's texts wait for the next handshake.
            ForgetPage();
            if (SetTimer(window, kBrowserExitTimer, static_cast<UINT>(kBrowserExitWaitMs),
                         [](HWND, UINT, UINT_PTR, DWORD) {
                             if (g_webViewHost != nullptr) g_webViewHost->OnBrowserExitWaitOver();
                         }) != 0) {
                return;
            }
            // Without a timer the wait could never end: do not wait.
            life_.Tick(*life_.Deadline());
            [[fallthrough]];
        case LifeAction::Recreate:
            ForgetPage();
            if (!PostToWindow(kRecreateWebViewMessage)) {
                WriteHostLog(
                    "the new control cannot be asked for; the host: the start-failure "
                    "box, exit code 1");
                FailStart(LastErrorResult());
            }
            return;
        case LifeAction::Reload:
            ForgetPage();
            if (sender != nullptr) sender->Reload();
            return;
        case LifeAction::AskUnresponsive:
            PostToWindow(kPageUnresponsiveMessage);
            return;
        case LifeAction::TooManyBrowserExits:
            ForgetPage();
            FailStart(HRESULT_FROM_WIN32(ERROR_INVALID_STATE));
            return;
        case LifeAction::TooManyRendererExits:
            ForgetPage();
            if (!PostToWindow(kAppStoppedMessage)) PostQuitMessage(1);
            return;
    }
}

void OnMainWindowMoved() {
    if (g_webViewHost != nullptr && g_webViewHost->controller != nullptr) {
        g_webViewHost->controller->NotifyParentWindowPositionChanged();
    }
}

void OnStartFailed() {
    if (g_webViewHost != nullptr) g_webViewHost->ReportStartFailure();
}

void OnRecreateWebView() {
    if (g_webViewHost != nullptr) g_webViewHost->RecreateWebView();
}

void OnAppStopped() {
    if (g_webViewHost != nullptr) g_webViewHost->ReportAppStopped();
}

void OnPageUnresponsive() {
    if (g_webViewHost != nullptr) g_webViewHost->AskAboutUnresponsivePage();
}

void OnAfterCallback() {
    if (g_webViewHost != nullptr) g_webViewHost->RunLeftWork();
}

void OnMainWindowClosing() {
    if (g_webViewHost != nullptr) g_webViewHost->CloseController();
}

void OnMainWindowResized() {
    if (g_webViewHost != nullptr && g_webViewHost->controller != nullptr) {
        RECT bounds{};
        GetClientRect(g_webViewHost->window, &bounds);
        g_webViewHost->controller->put_Bounds(bounds);
    }
}

void OnMainWindowActivated() {
    if (g_webViewHost != nullptr && g_webViewHost->controller != nullptr &&
        !IsIconic(g_webViewHost->window))
        g_webViewHost->controller->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
}

void OnMainWindowMinimised(bool minimised) {
    static bool hidden = false;  // the page was hidden because the window was minimised
    if (g_webViewHost == nullptr || g_webViewHost->controller == nullptr) return;
    if (minimised && !hidden) {
        hidden = true;
        g_webViewHost->controller->put_IsVisible(FALSE);
    } else if (!minimised && hidden) {
        hidden = false;
        g_webViewHost->controller->put_IsVisible(TRUE);
    }
}
