// Our own declarations of the WebView2 COM interfaces, enums, structs and loader functions, binary
// compatible with the vendor's SDK header: same names, IIDs, parents, vtable order and parameter
// types. Interfaces of the inheritance chains whose methods the host never calls keep the real
// method names with empty parameter lists; they exist only so that the later slots stay right.
#pragma once

// The formatter cannot read MIDL_INTERFACE declarations; the layout below is kept by hand.
// clang-format off

#include <eventtoken.h>
#include <oaidl.h>
#include <objidl.h>
#include <unknwn.h>
#include <windows.h>

// Interfaces that appear only as parameter types of methods the host never calls.
struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler;
struct ICoreWebView2CallDevToolsProtocolMethodCompletedHandler;
struct ICoreWebView2CapturePreviewCompletedHandler;
struct ICoreWebView2CookieManager;
struct ICoreWebView2DevToolsProtocolEventReceiver;
struct ICoreWebView2ExecuteScriptCompletedHandler;
struct ICoreWebView2FrameInfoCollection;
struct ICoreWebView2FocusChangedEventHandler;
struct ICoreWebView2MoveFocusRequestedEventHandler;
struct ICoreWebView2NewBrowserVersionAvailableEventHandler;
struct ICoreWebView2ScriptDialogOpeningEventHandler;
struct ICoreWebView2WebResourceResponseReceivedEventHandler;
struct ICoreWebView2ZoomFactorChangedEventHandler;

// Interfaces declared below, referred to before their declaration.
struct ICoreWebView2;
struct ICoreWebView2AcceleratorKeyPressedEventArgs;
struct ICoreWebView2AcceleratorKeyPressedEventHandler;
struct ICoreWebView2BrowserProcessExitedEventArgs;
struct ICoreWebView2BrowserProcessExitedEventHandler;
struct ICoreWebView2ContentLoadingEventArgs;
struct ICoreWebView2ContentLoadingEventHandler;
struct ICoreWebView2ContainsFullScreenElementChangedEventHandler;
struct ICoreWebView2Controller;
struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler;
struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler;
struct ICoreWebView2Deferral;
struct ICoreWebView2DocumentTitleChangedEventHandler;
struct ICoreWebView2DOMContentLoadedEventArgs;
struct ICoreWebView2DOMContentLoadedEventHandler;
struct ICoreWebView2Environment;
struct ICoreWebView2EnvironmentOptions;
struct ICoreWebView2FileSystemHandle;
struct ICoreWebView2HistoryChangedEventHandler;
struct ICoreWebView2HttpHeadersCollectionIterator;
struct ICoreWebView2HttpRequestHeaders;
struct ICoreWebView2HttpResponseHeaders;
struct ICoreWebView2NavigationCompletedEventArgs;
struct ICoreWebView2NavigationCompletedEventHandler;
struct ICoreWebView2NavigationStartingEventArgs;
struct ICoreWebView2NavigationStartingEventHandler;
struct ICoreWebView2NewWindowRequestedEventArgs;
struct ICoreWebView2NewWindowRequestedEventHandler;
struct ICoreWebView2ObjectCollection;
struct ICoreWebView2ObjectCollectionView;
struct ICoreWebView2PermissionRequestedEventArgs;
struct ICoreWebView2PermissionRequestedEventHandler;
struct ICoreWebView2ProcessFailedEventArgs;
struct ICoreWebView2ProcessFailedEventHandler;
struct ICoreWebView2Settings;
struct ICoreWebView2SourceChangedEventArgs;
struct ICoreWebView2SourceChangedEventHandler;
struct ICoreWebView2WebMessageReceivedEventArgs;
struct ICoreWebView2WebMessageReceivedEventHandler;
struct ICoreWebView2WebResourceRequest;
struct ICoreWebView2WebResourceRequestedEventArgs;
struct ICoreWebView2WebResourceRequestedEventHandler;
struct ICoreWebView2WebResourceResponse;
struct ICoreWebView2WindowCloseRequestedEventHandler;
struct ICoreWebView2WindowFeatures;

// ---------------------------------------------------------------------------------------------
// Enums (plain 32-bit C enums) and structs

typedef enum COREWEBVIEW2_WEB_RESOURCE_CONTEXT {
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL = 0,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT = 1,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_STYLESHEET = 2,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_IMAGE = 3,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MEDIA = 4,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FONT = 5,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SCRIPT = 6,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_XML_HTTP_REQUEST = 7,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH = 8,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_TEXT_TRACK = 9,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_EVENT_SOURCE = 10,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_WEBSOCKET = 11,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_MANIFEST = 12,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SIGNED_EXCHANGE = 13,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_PING = 14,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_CSP_VIOLATION_REPORT = 15,
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_OTHER = 16
} COREWEBVIEW2_WEB_RESOURCE_CONTEXT;

// Whose requests a filter covers: the document's (the page, its dedicated workers, its frames),
// a shared worker's, a service worker's (flags).
typedef enum COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS {
    COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_NONE = 0,
    COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_DOCUMENT = 0x1,
    COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_SHARED_WORKER = 0x2,
    COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_SERVICE_WORKER = 0x4,
    COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_ALL = 0xffffffff
} COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS;
DEFINE_ENUM_FLAG_OPERATORS(COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS)

typedef enum COREWEBVIEW2_PERMISSION_STATE {
    COREWEBVIEW2_PERMISSION_STATE_DEFAULT = 0,
    COREWEBVIEW2_PERMISSION_STATE_ALLOW = 1,
    COREWEBVIEW2_PERMISSION_STATE_DENY = 2
} COREWEBVIEW2_PERMISSION_STATE;

typedef enum COREWEBVIEW2_PERMISSION_KIND {
    COREWEBVIEW2_PERMISSION_KIND_UNKNOWN_PERMISSION = 0,
    COREWEBVIEW2_PERMISSION_KIND_MICROPHONE = 1,
    COREWEBVIEW2_PERMISSION_KIND_CAMERA = 2,
    COREWEBVIEW2_PERMISSION_KIND_GEOLOCATION = 3,
    COREWEBVIEW2_PERMISSION_KIND_NOTIFICATIONS = 4,
    COREWEBVIEW2_PERMISSION_KIND_OTHER_SENSORS = 5,
    COREWEBVIEW2_PERMISSION_KIND_CLIPBOARD_READ = 6,
    COREWEBVIEW2_PERMISSION_KIND_MULTIPLE_AUTOMATIC_DOWNLOADS = 7,
    COREWEBVIEW2_PERMISSION_KIND_FILE_READ_WRITE = 8,
    COREWEBVIEW2_PERMISSION_KIND_AUTOPLAY = 9,
    COREWEBVIEW2_PERMISSION_KIND_LOCAL_FONTS = 10,
    COREWEBVIEW2_PERMISSION_KIND_MIDI_SYSTEM_EXCLUSIVE_MESSAGES = 11,
    COREWEBVIEW2_PERMISSION_KIND_WINDOW_MANAGEMENT = 12
} COREWEBVIEW2_PERMISSION_KIND;

typedef enum COREWEBVIEW2_MOVE_FOCUS_REASON {
    COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC = 0,
    COREWEBVIEW2_MOVE_FOCUS_REASON_NEXT = 1,
    COREWEBVIEW2_MOVE_FOCUS_REASON_PREVIOUS = 2
} COREWEBVIEW2_MOVE_FOCUS_REASON;

typedef enum COREWEBVIEW2_KEY_EVENT_KIND {
    COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN = 0,
    COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP = 1,
    COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN = 2,
    COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP = 3
} COREWEBVIEW2_KEY_EVENT_KIND;

typedef enum COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION {
    COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION_READ_ONLY = 0,
    COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION_READ_WRITE = 1
} COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION;

typedef enum COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND {
    COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND_FILE = 0,
    COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND_DIRECTORY = 1
} COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND;

typedef enum COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT {
    COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_PNG = 0,
    COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_JPEG = 1
} COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT;

typedef enum COREWEBVIEW2_PROCESS_FAILED_KIND {
    COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED = 0,
    COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED = 1,
    COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE = 2,
    COREWEBVIEW2_PROCESS_FAILED_KIND_FRAME_RENDER_PROCESS_EXITED = 3,
    COREWEBVIEW2_PROCESS_FAILED_KIND_UTILITY_PROCESS_EXITED = 4,
    COREWEBVIEW2_PROCESS_FAILED_KIND_SANDBOX_HELPER_PROCESS_EXITED = 5,
    COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED = 6,
    COREWEBVIEW2_PROCESS_FAILED_KIND_PPAPI_PLUGIN_PROCESS_EXITED = 7,
    COREWEBVIEW2_PROCESS_FAILED_KIND_PPAPI_BROKER_PROCESS_EXITED = 8,
    COREWEBVIEW2_PROCESS_FAILED_KIND_UNKNOWN_PROCESS_EXITED = 9
} COREWEBVIEW2_PROCESS_FAILED_KIND;

typedef enum COREWEBVIEW2_PROCESS_FAILED_REASON {
    COREWEBVIEW2_PROCESS_FAILED_REASON_UNEXPECTED = 0,
    COREWEBVIEW2_PROCESS_FAILED_REASON_UNRESPONSIVE = 1,
    COREWEBVIEW2_PROCESS_FAILED_REASON_TERMINATED = 2,
    COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED = 3,
    COREWEBVIEW2_PROCESS_FAILED_REASON_LAUNCH_FAILED = 4,
    COREWEBVIEW2_PROCESS_FAILED_REASON_OUT_OF_MEMORY = 5,
    COREWEBVIEW2_PROCESS_FAILED_REASON_PROFILE_DELETED = 6
} COREWEBVIEW2_PROCESS_FAILED_REASON;

typedef enum COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND {
    COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND_NORMAL = 0,
    COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND_FAILED = 1
} COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND;

typedef enum COREWEBVIEW2_WEB_ERROR_STATUS {
    COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN = 0,
    COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_COMMON_NAME_IS_INCORRECT = 1,
    COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_EXPIRED = 2,
    COREWEBVIEW2_WEB_ERROR_STATUS_CLIENT_CERTIFICATE_CONTAINS_ERRORS = 3,
    COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_REVOKED = 4,
    COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_IS_INVALID = 5,
    COREWEBVIEW2_WEB_ERROR_STATUS_SERVER_UNREACHABLE = 6,
    COREWEBVIEW2_WEB_ERROR_STATUS_TIMEOUT = 7,
    COREWEBVIEW2_WEB_ERROR_STATUS_ERROR_HTTP_INVALID_SERVER_RESPONSE = 8,
    COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_ABORTED = 9,
    COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_RESET = 10,
    COREWEBVIEW2_WEB_ERROR_STATUS_DISCONNECTED = 11,
    COREWEBVIEW2_WEB_ERROR_STATUS_CANNOT_CONNECT = 12,
    COREWEBVIEW2_WEB_ERROR_STATUS_HOST_NAME_NOT_RESOLVED = 13,
    COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED = 14,
    COREWEBVIEW2_WEB_ERROR_STATUS_REDIRECT_FAILED = 15,
    COREWEBVIEW2_WEB_ERROR_STATUS_UNEXPECTED_ERROR = 16,
    COREWEBVIEW2_WEB_ERROR_STATUS_VALID_AUTHENTICATION_CREDENTIALS_REQUIRED = 17,
    COREWEBVIEW2_WEB_ERROR_STATUS_VALID_PROXY_AUTHENTICATION_REQUIRED = 18
} COREWEBVIEW2_WEB_ERROR_STATUS;

typedef struct COREWEBVIEW2_PHYSICAL_KEY_STATUS {
    UINT32 RepeatCount;
    UINT32 ScanCode;
    BOOL IsExtendedKey;
    BOOL IsMenuKeyDown;
    BOOL WasKeyDown;
    BOOL IsKeyReleased;
} COREWEBVIEW2_PHYSICAL_KEY_STATUS;

// ---------------------------------------------------------------------------------------------
// Loader functions (WebView2Loader.dll, undecorated exports)

extern "C" {
HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder,
    ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);
HRESULT STDAPICALLTYPE GetAvailableCoreWebView2BrowserVersionString(PCWSTR browserExecutableFolder,
                                                                    LPWSTR* versionInfo);
}

// ---------------------------------------------------------------------------------------------
// Environment

MIDL_INTERFACE("b96d755e-0319-4e92-a296-23436f46a1fc")
ICoreWebView2Environment : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
        HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(
        IStream* content, int statusCode, LPCWSTR reasonPhrase, LPCWSTR headers,
        ICoreWebView2WebResourceResponse** response) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* versionInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_NewBrowserVersionAvailable(
        ICoreWebView2NewBrowserVersionAvailableEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_NewBrowserVersionAvailable(
        EventRegistrationToken token) = 0;
};

MIDL_INTERFACE("41f3632b-5ef4-404f-ad82-2d606c5a9a21")
ICoreWebView2Environment2 : public ICoreWebView2Environment {
public:
    virtual HRESULT STDMETHODCALLTYPE CreateWebResourceRequest() = 0;
};

MIDL_INTERFACE("80a22ae3-be7c-4ce2-afe1-5a50056cdeeb")
ICoreWebView2Environment3 : public ICoreWebView2Environment2 {
public:
    virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2CompositionController() = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2PointerInfo() = 0;
};

MIDL_INTERFACE("20944379-6dcf-41d6-a0a0-abc0fc50de0d")
ICoreWebView2Environment4 : public ICoreWebView2Environment3 {
public:
    virtual HRESULT STDMETHODCALLTYPE GetAutomationProviderForWindow() = 0;
};

MIDL_INTERFACE("319e423d-e0d7-4b8d-9254-ae9475de9b17")
ICoreWebView2Environment5 : public ICoreWebView2Environment4 {
public:
    virtual HRESULT STDMETHODCALLTYPE add_BrowserProcessExited(
        ICoreWebView2BrowserProcessExitedEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_BrowserProcessExited(EventRegistrationToken token) = 0;
};

MIDL_INTERFACE("e59ee362-acbd-4857-9a8e-d3644d9459a9")
ICoreWebView2Environment6 : public ICoreWebView2Environment5 {
public:
    virtual HRESULT STDMETHODCALLTYPE CreatePrintSettings() = 0;
};

MIDL_INTERFACE("43c22296-3bbd-43a4-9c00-5c0df6dd29a2")
ICoreWebView2Environment7 : public ICoreWebView2Environment6 {
public:
    virtual HRESULT STDMETHODCALLTYPE get_UserDataFolder() = 0;
};

MIDL_INTERFACE("d6eb91dd-c3d2-45e5-bd29-6dc2bc4de9cf")
ICoreWebView2Environment8 : public ICoreWebView2Environment7 {
public:
    virtual HRESULT STDMETHODCALLTYPE add_ProcessInfosChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_ProcessInfosChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProcessInfos() = 0;
};

MIDL_INTERFACE("f06f41bf-4b5a-49d8-b9f6-fa16cd29f274")
ICoreWebView2Environment9 : public ICoreWebView2Environment8 {
public:
    virtual HRESULT STDMETHODCALLTYPE CreateContextMenuItem() = 0;
};

MIDL_INTERFACE("ee0eb9df-6f12-46ce-b53f-3f47b9c928e0")
ICoreWebView2Environment10 : public ICoreWebView2Environment9 {
public:
    virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2ControllerOptions() = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2ControllerWithOptions() = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2CompositionControllerWithOptions() = 0;
};

MIDL_INTERFACE("f0913dc6-a0ec-42ef-9805-91dff3a2966a")
ICoreWebView2Environment11 : public ICoreWebView2Environment10 {
public:
    virtual HRESULT STDMETHODCALLTYPE get_FailureReportFolderPath() = 0;
};

MIDL_INTERFACE("f503db9b-739f-48dd-b151-fdfcf253f54e")
ICoreWebView2Environment12 : public ICoreWebView2Environment11 {
public:
    virtual HRESULT STDMETHODCALLTYPE CreateSharedBuffer() = 0;
};

MIDL_INTERFACE("af641f58-72b2-11ee-b962-0242ac120002")
ICoreWebView2Environment13 : public ICoreWebView2Environment12 {
public:
    virtual HRESULT STDMETHODCALLTYPE GetProcessExtendedInfos() = 0;
};

MIDL_INTERFACE("a5e9fad9-c875-59da-9bd7-473aa5ca1cef")
ICoreWebView2Environment14 : public ICoreWebView2Environment13 {
public:
    virtual HRESULT STDMETHODCALLTYPE CreateWebFileSystemFileHandle(
        LPCWSTR path, COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION permission,
        ICoreWebView2FileSystemHandle** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateWebFileSystemDirectoryHandle(
        LPCWSTR path, COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION permission,
        ICoreWebView2FileSystemHandle** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateObjectCollection(
        UINT32 length, IUnknown** items, ICoreWebView2ObjectCollection** objectCollection) = 0;
};

// ---------------------------------------------------------------------------------------------
// Controller

MIDL_INTERFACE("4d00c0d1-9434-4eb6-8078-8697a560334f")
ICoreWebView2Controller : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* isVisible) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL isVisible) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ZoomFactor(double* zoomFactor) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoomFactor) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_ZoomFactorChanged(
        ICoreWebView2ZoomFactorChangedEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_ZoomFactorChanged(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT bounds, double zoomFactor) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_MoveFocusRequested(
        ICoreWebView2MoveFocusRequestedEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_MoveFocusRequested(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_GotFocus(
        ICoreWebView2FocusChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_GotFocus(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_LostFocus(
        ICoreWebView2FocusChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_LostFocus(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(
        ICoreWebView2AcceleratorKeyPressedEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_AcceleratorKeyPressed(
        EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parentWindow) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND parentWindow) = 0;
    virtual HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** coreWebView2) = 0;
};

MIDL_INTERFACE("c979903e-d4ca-4228-92eb-47ee3fa96eab")
ICoreWebView2Controller2 : public ICoreWebView2Controller {
public:
    virtual HRESULT STDMETHODCALLTYPE get_DefaultBackgroundColor() = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor() = 0;
};

// The scale the page is drawn at: devicePixelRatio, and the bounds' pixels per CSS pixel.
MIDL_INTERFACE("f9614724-5d2b-41dc-aef7-73d62b51543b")
ICoreWebView2Controller3 : public ICoreWebView2Controller2 {
public:
    virtual HRESULT STDMETHODCALLTYPE get_RasterizationScale(double* scale) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_RasterizationScale(double scale) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ShouldDetectMonitorScaleChanges(BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ShouldDetectMonitorScaleChanges(BOOL value) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_RasterizationScaleChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_RasterizationScaleChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BoundsMode() = 0;
    virtual HRESULT STDMETHODCALLTYPE put_BoundsMode() = 0;
};

// ---------------------------------------------------------------------------------------------
// WebView

MIDL_INTERFACE("76eceacb-0462-4d94-ac83-423a6793775e")
ICoreWebView2 : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) = 0;
    virtual HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) = 0;
    virtual HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR htmlContent) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_NavigationStarting(
        ICoreWebView2NavigationStartingEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_NavigationStarting(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_ContentLoading(
        ICoreWebView2ContentLoadingEventHandler* eventHandler, EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_ContentLoading(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_SourceChanged(
        ICoreWebView2SourceChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_SourceChanged(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_HistoryChanged(
        ICoreWebView2HistoryChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_HistoryChanged(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_NavigationCompleted(
        ICoreWebView2NavigationCompletedEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_FrameNavigationStarting(
        ICoreWebView2NavigationStartingEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_FrameNavigationStarting(
        EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_FrameNavigationCompleted(
        ICoreWebView2NavigationCompletedEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_FrameNavigationCompleted(
        EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_ScriptDialogOpening(
        ICoreWebView2ScriptDialogOpeningEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_ScriptDialogOpening(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_PermissionRequested(
        ICoreWebView2PermissionRequestedEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_PermissionRequested(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_ProcessFailed(
        ICoreWebView2ProcessFailedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_ProcessFailed(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
        LPCWSTR javaScript,
        ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecuteScript(
        LPCWSTR javaScript, ICoreWebView2ExecuteScriptCompletedHandler* handler) = 0;
    virtual HRESULT STDMETHODCALLTYPE CapturePreview(
        COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT imageFormat, IStream* imageStream,
        ICoreWebView2CapturePreviewCompletedHandler* handler) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reload() = 0;
    virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR webMessageAsJson) = 0;
    virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR webMessageAsString) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_WebMessageReceived(
        ICoreWebView2WebMessageReceivedEventHandler* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethod(
        LPCWSTR methodName, LPCWSTR parametersAsJson,
        ICoreWebView2CallDevToolsProtocolMethodCompletedHandler* handler) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CanGoBack(BOOL* canGoBack) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CanGoForward(BOOL* canGoForward) = 0;
    virtual HRESULT STDMETHODCALLTYPE GoBack() = 0;
    virtual HRESULT STDMETHODCALLTYPE GoForward() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDevToolsProtocolEventReceiver(
        LPCWSTR eventName, ICoreWebView2DevToolsProtocolEventReceiver** receiver) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE add_NewWindowRequested(
        ICoreWebView2NewWindowRequestedEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_NewWindowRequested(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_DocumentTitleChanged(
        ICoreWebView2DocumentTitleChangedEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_DocumentTitleChanged(
        EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR* title) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddHostObjectToScript(LPCWSTR name, VARIANT* object) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveHostObjectFromScript(LPCWSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenDevToolsWindow() = 0;
    virtual HRESULT STDMETHODCALLTYPE add_ContainsFullScreenElementChanged(
        ICoreWebView2ContainsFullScreenElementChangedEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_ContainsFullScreenElementChanged(
        EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ContainsFullScreenElement(
        BOOL* containsFullScreenElement) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_WebResourceRequested(
        ICoreWebView2WebResourceRequestedEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_WebResourceRequested(
        EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(
        const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilter(
        const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_WindowCloseRequested(
        ICoreWebView2WindowCloseRequestedEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_WindowCloseRequested(
        EventRegistrationToken token) = 0;
};

MIDL_INTERFACE("9e8f0cf8-e670-4b5e-b2bc-73e061e3184c")
ICoreWebView2_2 : public ICoreWebView2 {
public:
    virtual HRESULT STDMETHODCALLTYPE add_WebResourceResponseReceived(
        ICoreWebView2WebResourceResponseReceivedEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_WebResourceResponseReceived(
        EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE NavigateWithWebResourceRequest(
        ICoreWebView2WebResourceRequest* request) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_DOMContentLoaded(
        ICoreWebView2DOMContentLoadedEventHandler* eventHandler,
        EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_DOMContentLoaded(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CookieManager(
        ICoreWebView2CookieManager** cookieManager) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Environment(ICoreWebView2Environment** environment) = 0;
};

MIDL_INTERFACE("a0d6df20-3b92-416d-aa0c-437a9c727857")
ICoreWebView2_3 : public ICoreWebView2_2 {
public:
    virtual HRESULT STDMETHODCALLTYPE TrySuspend() = 0;
    virtual HRESULT STDMETHODCALLTYPE Resume() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsSuspended() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetVirtualHostNameToFolderMapping() = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearVirtualHostNameToFolderMapping() = 0;
};

MIDL_INTERFACE("20d02d59-6df2-42dc-bd06-f98a694b1302")
ICoreWebView2_4 : public ICoreWebView2_3 {
public:
    virtual HRESULT STDMETHODCALLTYPE add_FrameCreated() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_FrameCreated() = 0;
    virtual HRESULT STDMETHODCALLTYPE add_DownloadStarting() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_DownloadStarting() = 0;
};

MIDL_INTERFACE("bedb11b8-d63c-11eb-b8bc-0242ac130003")
ICoreWebView2_5 : public ICoreWebView2_4 {
public:
    virtual HRESULT STDMETHODCALLTYPE add_ClientCertificateRequested() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_ClientCertificateRequested() = 0;
};

MIDL_INTERFACE("499aadac-d92c-4589-8a75-111bfc167795")
ICoreWebView2_6 : public ICoreWebView2_5 {
public:
    virtual HRESULT STDMETHODCALLTYPE OpenTaskManagerWindow() = 0;
};

MIDL_INTERFACE("79c24d83-09a3-45ae-9418-487f32a58740")
ICoreWebView2_7 : public ICoreWebView2_6 {
public:
    virtual HRESULT STDMETHODCALLTYPE PrintToPdf() = 0;
};

MIDL_INTERFACE("e9632730-6e1e-43ab-b7b8-7b2c9e62e094")
ICoreWebView2_8 : public ICoreWebView2_7 {
public:
    virtual HRESULT STDMETHODCALLTYPE add_IsMutedChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_IsMutedChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsMuted() = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IsMuted() = 0;
    virtual HRESULT STDMETHODCALLTYPE add_IsDocumentPlayingAudioChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_IsDocumentPlayingAudioChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsDocumentPlayingAudio() = 0;
};

MIDL_INTERFACE("4d7b2eab-9fdc-468d-b998-a9260b5ed651")
ICoreWebView2_9 : public ICoreWebView2_8 {
public:
    virtual HRESULT STDMETHODCALLTYPE add_IsDefaultDownloadDialogOpenChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_IsDefaultDownloadDialogOpenChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsDefaultDownloadDialogOpen() = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenDefaultDownloadDialog() = 0;
    virtual HRESULT STDMETHODCALLTYPE CloseDefaultDownloadDialog() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DefaultDownloadDialogCornerAlignment() = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DefaultDownloadDialogCornerAlignment() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DefaultDownloadDialogMargin() = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DefaultDownloadDialogMargin() = 0;
};

MIDL_INTERFACE("b1690564-6f5a-4983-8e48-31d1143fecdb")
ICoreWebView2_10 : public ICoreWebView2_9 {
public:
    virtual HRESULT STDMETHODCALLTYPE add_BasicAuthenticationRequested() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_BasicAuthenticationRequested() = 0;
};

MIDL_INTERFACE("0be78e56-c193-4051-b943-23b460c08bdb")
ICoreWebView2_11 : public ICoreWebView2_10 {
public:
    virtual HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethodForSession() = 0;
    virtual HRESULT STDMETHODCALLTYPE add_ContextMenuRequested() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_ContextMenuRequested() = 0;
};

MIDL_INTERFACE("35d69927-bcfa-4566-9349-6b3e0d154cac")
ICoreWebView2_12 : public ICoreWebView2_11 {
public:
    virtual HRESULT STDMETHODCALLTYPE add_StatusBarTextChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_StatusBarTextChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_StatusBarText() = 0;
};

MIDL_INTERFACE("f75f09a8-667e-4983-88d6-c8773f315e84")
ICoreWebView2_13 : public ICoreWebView2_12 {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Profile() = 0;
};

MIDL_INTERFACE("6daa4f10-4a90-4753-8898-77c5df534165")
ICoreWebView2_14 : public ICoreWebView2_13 {
public:
    virtual HRESULT STDMETHODCALLTYPE add_ServerCertificateErrorDetected() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_ServerCertificateErrorDetected() = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearServerCertificateErrorActions() = 0;
};

MIDL_INTERFACE("517b2d1d-7dae-4a66-a4f4-10352ffb9518")
ICoreWebView2_15 : public ICoreWebView2_14 {
public:
    virtual HRESULT STDMETHODCALLTYPE add_FaviconChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_FaviconChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FaviconUri() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFavicon() = 0;
};

MIDL_INTERFACE("0eb34dc9-9f91-41e1-8639-95cd5943906b")
ICoreWebView2_16 : public ICoreWebView2_15 {
public:
    virtual HRESULT STDMETHODCALLTYPE Print() = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowPrintUI() = 0;
    virtual HRESULT STDMETHODCALLTYPE PrintToPdfStream() = 0;
};

MIDL_INTERFACE("702e75d4-fd44-434d-9d70-1a68a6b1192a")
ICoreWebView2_17 : public ICoreWebView2_16 {
public:
    virtual HRESULT STDMETHODCALLTYPE PostSharedBufferToScript() = 0;
};

MIDL_INTERFACE("7a626017-28be-49b2-b865-3ba2b3522d90")
ICoreWebView2_18 : public ICoreWebView2_17 {
public:
    virtual HRESULT STDMETHODCALLTYPE add_LaunchingExternalUriScheme() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_LaunchingExternalUriScheme() = 0;
};

MIDL_INTERFACE("6921f954-79b0-437f-a997-c85811897c68")
ICoreWebView2_19 : public ICoreWebView2_18 {
public:
    virtual HRESULT STDMETHODCALLTYPE get_MemoryUsageTargetLevel() = 0;
    virtual HRESULT STDMETHODCALLTYPE put_MemoryUsageTargetLevel() = 0;
};

MIDL_INTERFACE("b4bc1926-7305-11ee-b962-0242ac120002")
ICoreWebView2_20 : public ICoreWebView2_19 {
public:
    virtual HRESULT STDMETHODCALLTYPE get_FrameId() = 0;
};

MIDL_INTERFACE("c4980dea-587b-43b9-8143-3ef3bf552d95")
ICoreWebView2_21 : public ICoreWebView2_20 {
public:
    virtual HRESULT STDMETHODCALLTYPE ExecuteScriptWithResult() = 0;
};

MIDL_INTERFACE("db75dfc7-a857-4632-a398-6969dde26c0a")
ICoreWebView2_22 : public ICoreWebView2_21 {
public:
    virtual HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilterWithRequestSourceKinds(
        LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT ResourceContext,
        COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS requestSourceKinds) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilterWithRequestSourceKinds(
        LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT ResourceContext,
        COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS requestSourceKinds) = 0;
};

MIDL_INTERFACE("508f0db5-90c4-5872-90a7-267a91377502")
ICoreWebView2_23 : public ICoreWebView2_22 {
public:
    virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsJsonWithAdditionalObjects(
        LPCWSTR webMessageAsJson, ICoreWebView2ObjectCollectionView* additionalObjects) = 0;
};

// ---------------------------------------------------------------------------------------------
// Settings

MIDL_INTERFACE("e562e4f0-d7fa-43ac-8d71-c05150499f00")
ICoreWebView2Settings : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_IsScriptEnabled(BOOL* isScriptEnabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IsScriptEnabled(BOOL isScriptEnabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsWebMessageEnabled(BOOL* isWebMessageEnabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL isWebMessageEnabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AreDefaultScriptDialogsEnabled(
        BOOL* areDefaultScriptDialogsEnabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(
        BOOL areDefaultScriptDialogsEnabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsStatusBarEnabled(BOOL* isStatusBarEnabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL isStatusBarEnabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AreDevToolsEnabled(BOOL* areDevToolsEnabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL areDevToolsEnabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AreDefaultContextMenusEnabled(BOOL* enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AreHostObjectsAllowed(BOOL* allowed) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AreHostObjectsAllowed(BOOL allowed) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsZoomControlEnabled(BOOL* enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsBuiltInErrorPageEnabled(BOOL* enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IsBuiltInErrorPageEnabled(BOOL enabled) = 0;
};

MIDL_INTERFACE("ee9a0f68-f46c-4e32-ac23-ef8cac224d2a")
ICoreWebView2Settings2 : public ICoreWebView2Settings {
public:
    virtual HRESULT STDMETHODCALLTYPE get_UserAgent(LPWSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_UserAgent(LPCWSTR value) = 0;
};

MIDL_INTERFACE("fdb5ab74-af33-4854-84f0-0a631deb5eba")
ICoreWebView2Settings3 : public ICoreWebView2Settings2 {
public:
    virtual HRESULT STDMETHODCALLTYPE get_AreBrowserAcceleratorKeysEnabled(BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL value) = 0;
};

// ---------------------------------------------------------------------------------------------
// Resource requests and responses

MIDL_INTERFACE("453e667f-12c7-49d4-be6d-ddbe7956f57a")
ICoreWebView2WebResourceRequestedEventArgs : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Request(ICoreWebView2WebResourceRequest** request) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Response(
        ICoreWebView2WebResourceResponse** response) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Response(ICoreWebView2WebResourceResponse* response) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ResourceContext(
        COREWEBVIEW2_WEB_RESOURCE_CONTEXT* context) = 0;
};

MIDL_INTERFACE("97055cd4-512c-4264-8b5f-e3f446cea6a5")
ICoreWebView2WebResourceRequest : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Uri(LPCWSTR uri) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Method(LPWSTR* method) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Method(LPCWSTR method) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Content(IStream** content) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Content(IStream* content) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Headers(ICoreWebView2HttpRequestHeaders** headers) = 0;
};

MIDL_INTERFACE("e86cac0e-5523-465c-b536-8fb9fc8c8c60")
ICoreWebView2HttpRequestHeaders : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE GetHeader(LPCWSTR name, LPWSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHeaders(
        LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Contains(LPCWSTR name, BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHeader(LPCWSTR name, LPCWSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveHeader(LPCWSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIterator(
        ICoreWebView2HttpHeadersCollectionIterator** value) = 0;
};

MIDL_INTERFACE("03c5ff5a-9b45-4a88-881c-89a9f328619c")
ICoreWebView2HttpResponseHeaders : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE AppendHeader(LPCWSTR name, LPCWSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Contains(LPCWSTR name, BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHeader(LPCWSTR name, LPWSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHeaders(
        LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIterator(
        ICoreWebView2HttpHeadersCollectionIterator** value) = 0;
};

MIDL_INTERFACE("0702fc30-f43b-47bb-ab52-a42cb552ad9f")
ICoreWebView2HttpHeadersCollectionIterator : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE GetCurrentHeader(LPWSTR* name, LPWSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HasCurrentHeader(BOOL* hasCurrent) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveNext(BOOL* hasNext) = 0;
};

MIDL_INTERFACE("aafcc94f-fa27-48fd-97df-830ef75aaec9")
ICoreWebView2WebResourceResponse : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Content(IStream** content) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Content(IStream* content) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Headers(ICoreWebView2HttpResponseHeaders** headers) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_StatusCode(int* statusCode) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_StatusCode(int statusCode) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ReasonPhrase(LPWSTR* reasonPhrase) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ReasonPhrase(LPCWSTR reasonPhrase) = 0;
};

// ---------------------------------------------------------------------------------------------
// Event arguments

MIDL_INTERFACE("5b495469-e119-438a-9b18-7604f25f2e49")
ICoreWebView2NavigationStartingEventArgs : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsRedirected(BOOL* isRedirected) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RequestHeaders(
        ICoreWebView2HttpRequestHeaders** requestHeaders) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* navigationId) = 0;
};

MIDL_INTERFACE("973ae2ef-ff18-4894-8fb2-3c758f046810")
ICoreWebView2PermissionRequestedEventArgs : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PermissionKind(
        COREWEBVIEW2_PERMISSION_KIND* permissionKind) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_State(COREWEBVIEW2_PERMISSION_STATE* state) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_State(COREWEBVIEW2_PERMISSION_STATE state) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) = 0;
};

MIDL_INTERFACE("34acb11c-fc37-4418-9132-f9c21d1eafb9")
ICoreWebView2NewWindowRequestedEventArgs : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NewWindow(ICoreWebView2* newWindow) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NewWindow(ICoreWebView2** newWindow) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_WindowFeatures(ICoreWebView2WindowFeatures** value) = 0;
};

MIDL_INTERFACE("5eaf559f-b46e-4397-8860-e422f287ff1e")
ICoreWebView2WindowFeatures : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_HasPosition(BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HasSize(BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Left(UINT32* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Top(UINT32* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Height(UINT32* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Width(UINT32* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ShouldDisplayMenuBar(BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ShouldDisplayStatus(BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ShouldDisplayToolbar(BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ShouldDisplayScrollBars(BOOL* value) = 0;
};

MIDL_INTERFACE("0f99a40c-e962-4207-9e92-e3d542eff849")
ICoreWebView2WebMessageReceivedEventArgs : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* value) = 0;
};

MIDL_INTERFACE("9f760f8a-fb79-42be-9990-7b56900fa9c7")
ICoreWebView2AcceleratorKeyPressedEventArgs : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_KeyEventKind(COREWEBVIEW2_KEY_EVENT_KIND* keyEventKind) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_VirtualKey(UINT* virtualKey) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_KeyEventLParam(INT* lParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PhysicalKeyStatus(
        COREWEBVIEW2_PHYSICAL_KEY_STATUS* physicalKeyStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;
};

MIDL_INTERFACE("16b1e21a-c503-44f2-84c9-70aba5031283")
ICoreWebView2DOMContentLoadedEventArgs : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* value) = 0;
};

MIDL_INTERFACE("c10e7f7b-b585-46f0-a623-8befbf3e4ee0")
ICoreWebView2Deferral : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Complete() = 0;
};

// ---------------------------------------------------------------------------------------------
// Navigation, process-failure and browser-exit event arguments

MIDL_INTERFACE("31e0e545-1dba-4266-8914-f63848a1f7d7")
ICoreWebView2SourceChangedEventArgs : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_IsNewDocument(BOOL* value) = 0;
};

MIDL_INTERFACE("0c8a1275-9b6b-4901-87ad-70df25bafa6e")
ICoreWebView2ContentLoadingEventArgs : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_IsErrorPage(BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* value) = 0;
};

MIDL_INTERFACE("30d68b7d-20d9-4752-a9ca-ec8448fbb5c1")
ICoreWebView2NavigationCompletedEventArgs : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* isSuccess) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_WebErrorStatus(
        COREWEBVIEW2_WEB_ERROR_STATUS* webErrorStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* navigationId) = 0;
};

MIDL_INTERFACE("8155a9a4-1474-4a86-8cae-151b0fa6b8ca")
ICoreWebView2ProcessFailedEventArgs : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(
        COREWEBVIEW2_PROCESS_FAILED_KIND* value) = 0;
};

MIDL_INTERFACE("4dab9422-46fa-4c3e-a5d2-41d2071d3680")
ICoreWebView2ProcessFailedEventArgs2 : public ICoreWebView2ProcessFailedEventArgs {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Reason(COREWEBVIEW2_PROCESS_FAILED_REASON* reason) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ExitCode(int* exitCode) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ProcessDescription(LPWSTR* processDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FrameInfosForFailedProcess(
        ICoreWebView2FrameInfoCollection** frames) = 0;
};

MIDL_INTERFACE("1f00663f-af8c-4782-9cdd-dd01c52e34cb")
ICoreWebView2BrowserProcessExitedEventArgs : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_BrowserProcessExitKind(
        COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* value) = 0;
};

// ---------------------------------------------------------------------------------------------
// Object collections and file-system handles

MIDL_INTERFACE("0f36fd87-4f69-4415-98da-888f89fb9a33")
ICoreWebView2ObjectCollectionView : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Count(UINT32* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetValueAtIndex(UINT32 index, IUnknown** value) = 0;
};

MIDL_INTERFACE("5cfec11c-25bd-4e8d-9e1a-7acdaeeec047")
ICoreWebView2ObjectCollection : public ICoreWebView2ObjectCollectionView {
public:
    virtual HRESULT STDMETHODCALLTYPE RemoveValueAtIndex(UINT32 index) = 0;
    virtual HRESULT STDMETHODCALLTYPE InsertValueAtIndex(UINT32 index, IUnknown* value) = 0;
};

MIDL_INTERFACE("c65100ac-0de2-5551-a362-23d9bd1d0e1f")
ICoreWebView2FileSystemHandle : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Kind(COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Path(LPWSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Permission(
        COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION* value) = 0;
};

// ---------------------------------------------------------------------------------------------
// Implemented by the host: environment options and the completion and event handlers

MIDL_INTERFACE("2fde08a8-1e9a-4766-8c05-95a9ceb9d1c5")
ICoreWebView2EnvironmentOptions : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Language(LPWSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL allow) = 0;
};

MIDL_INTERFACE("4e8a3389-c9d8-4bd2-b6b5-124fee6cc14d")
ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode,
                                             ICoreWebView2Environment* result) = 0;
};

MIDL_INTERFACE("6c4819f3-c9b7-4260-8127-c9f5bde7f68c")
ICoreWebView2CreateCoreWebView2ControllerCompletedHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode,
                                             ICoreWebView2Controller* result) = 0;
};

MIDL_INTERFACE("b29c7e28-fa79-41a8-8e44-65811c76dcb2")
ICoreWebView2AcceleratorKeyPressedEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2Controller* sender,
                                             ICoreWebView2AcceleratorKeyPressedEventArgs* args) = 0;
};

MIDL_INTERFACE("f5f2b923-953e-4042-9f95-f3a118e1afd4")
ICoreWebView2DocumentTitleChangedEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, IUnknown* args) = 0;
};

MIDL_INTERFACE("ab00b74c-15f1-4646-80e8-e76341d25d71")
ICoreWebView2WebResourceRequestedEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                             ICoreWebView2WebResourceRequestedEventArgs* args) = 0;
};

MIDL_INTERFACE("9adbe429-f36d-432b-9ddc-f8881fbd76e3")
ICoreWebView2NavigationStartingEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                             ICoreWebView2NavigationStartingEventArgs* args) = 0;
};

MIDL_INTERFACE("15e1c6a3-c72a-4df3-91d7-d097fbec6bfd")
ICoreWebView2PermissionRequestedEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                             ICoreWebView2PermissionRequestedEventArgs* args) = 0;
};

MIDL_INTERFACE("e45d98b1-afef-45be-8baf-6c7728867f73")
ICoreWebView2ContainsFullScreenElementChangedEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, IUnknown* args) = 0;
};

MIDL_INTERFACE("5c19e9e0-092f-486b-affa-ca8231913039")
ICoreWebView2WindowCloseRequestedEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, IUnknown* args) = 0;
};

MIDL_INTERFACE("d4c185fe-c81c-4989-97af-2d3fa7ab5651")
ICoreWebView2NewWindowRequestedEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                             ICoreWebView2NewWindowRequestedEventArgs* args) = 0;
};

MIDL_INTERFACE("57213f19-00e6-49fa-8e07-898ea01ecbd2")
ICoreWebView2WebMessageReceivedEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                             ICoreWebView2WebMessageReceivedEventArgs* args) = 0;
};

MIDL_INTERFACE("4bac7e9c-199e-49ed-87ed-249303acf019")
ICoreWebView2DOMContentLoadedEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                             ICoreWebView2DOMContentLoadedEventArgs* args) = 0;
};

MIDL_INTERFACE("3c067f9f-5388-4772-8b48-79f7ef1ab37c")
ICoreWebView2SourceChangedEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                             ICoreWebView2SourceChangedEventArgs* args) = 0;
};

MIDL_INTERFACE("364471e7-f2be-4910-bdba-d72077d51c4b")
ICoreWebView2ContentLoadingEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                             ICoreWebView2ContentLoadingEventArgs* args) = 0;
};

MIDL_INTERFACE("c79a420c-efd9-4058-9295-3e8b4bcab645")
ICoreWebView2HistoryChangedEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, IUnknown* args) = 0;
};

MIDL_INTERFACE("d33a35bf-1c49-4f98-93ab-006e0533fe1c")
ICoreWebView2NavigationCompletedEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                             ICoreWebView2NavigationCompletedEventArgs* args) = 0;
};

MIDL_INTERFACE("79e0aea4-990b-42d9-aa1d-0fcc2e5bc7f1")
ICoreWebView2ProcessFailedEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                             ICoreWebView2ProcessFailedEventArgs* args) = 0;
};

MIDL_INTERFACE("fa504257-a216-4911-a860-fe8825712861")
ICoreWebView2BrowserProcessExitedEventHandler : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2Environment* sender,
                                             ICoreWebView2BrowserProcessExitedEventArgs* args) = 0;
};

// ---------------------------------------------------------------------------------------------
// Interface identifiers for __uuidof, IID_PPV_ARGS and ComPtr::As

#include "webview/webview2_uuids.h"

// clang-format on
