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
struct ICoreWebView2ContentLoadingEventHandler;
struct ICoreWebView2CookieManager;
struct ICoreWebView2DevToolsProtocolEventReceiver;
struct ICoreWebView2ExecuteScriptCompletedHandler;
struct ICoreWebView2FocusChangedEventHandler;
struct ICoreWebView2HistoryChangedEventHandler;
struct ICoreWebView2MoveFocusRequestedEventHandler;
struct ICoreWebView2NavigationCompletedEventHandler;
struct ICoreWebView2NewBrowserVersionAvailableEventHandler;
struct ICoreWebView2ProcessFailedEventHandler;
struct ICoreWebView2ScriptDialogOpeningEventHandler;
struct ICoreWebView2SourceChangedEventHandler;
struct ICoreWebView2WebResourceResponseReceivedEventHandler;
struct ICoreWebView2ZoomFactorChangedEventHandler;

// Interfaces declared below, referred to before their declaration.
struct ICoreWebView2;
struct ICoreWebView2AcceleratorKeyPressedEventArgs;
struct ICoreWebView2AcceleratorKeyPressedEventHandler;
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
struct ICoreWebView2HttpHeadersCollectionIterator;
struct ICoreWebView2HttpRequestHeaders;
struct ICoreWebView2HttpResponseHeaders;
struct ICoreWebView2NavigationStartingEventArgs;
struct ICoreWebView2NavigationStartingEventHandler;
struct ICoreWebView2NewWindowRequestedEventArgs;
struct ICoreWebView2NewWindowRequestedEventHandler;
struct ICoreWebView2ObjectCollection;
struct ICoreWebView2ObjectCollectionView;
struct ICoreWebView2PermissionRequestedEventArgs;
struct ICoreWebView2PermissionRequestedEventHandler;
struct ICoreWebView2Settings;
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
    virtual HRESULT STDMETHODCALLTYPE add_BrowserProcessExited() = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_BrowserProcessExited() = 0;
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
    virtual HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilterWithRequestSourceKinds() = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilterWithRequestSourceKinds() = 0;
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

// ---------------------------------------------------------------------------------------------
// Interface identifiers for __uuidof, IID_PPV_ARGS and ComPtr::As

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(ICoreWebView2Environment, 0xb96d755e, 0x0319, 0x4e92, 0xa2, 0x96, 0x23, 0x43, 0x6f, 0x46, 0xa1, 0xfc)
__CRT_UUID_DECL(ICoreWebView2Environment2, 0x41f3632b, 0x5ef4, 0x404f, 0xad, 0x82, 0x2d, 0x60, 0x6c, 0x5a, 0x9a, 0x21)
__CRT_UUID_DECL(ICoreWebView2Environment3, 0x80a22ae3, 0xbe7c, 0x4ce2, 0xaf, 0xe1, 0x5a, 0x50, 0x05, 0x6c, 0xde, 0xeb)
__CRT_UUID_DECL(ICoreWebView2Environment4, 0x20944379, 0x6dcf, 0x41d6, 0xa0, 0xa0, 0xab, 0xc0, 0xfc, 0x50, 0xde, 0x0d)
__CRT_UUID_DECL(ICoreWebView2Environment5, 0x319e423d, 0xe0d7, 0x4b8d, 0x92, 0x54, 0xae, 0x94, 0x75, 0xde, 0x9b, 0x17)
__CRT_UUID_DECL(ICoreWebView2Environment6, 0xe59ee362, 0xacbd, 0x4857, 0x9a, 0x8e, 0xd3, 0x64, 0x4d, 0x94, 0x59, 0xa9)
__CRT_UUID_DECL(ICoreWebView2Environment7, 0x43c22296, 0x3bbd, 0x43a4, 0x9c, 0x00, 0x5c, 0x0d, 0xf6, 0xdd, 0x29, 0xa2)
__CRT_UUID_DECL(ICoreWebView2Environment8, 0xd6eb91dd, 0xc3d2, 0x45e5, 0xbd, 0x29, 0x6d, 0xc2, 0xbc, 0x4d, 0xe9, 0xcf)
__CRT_UUID_DECL(ICoreWebView2Environment9, 0xf06f41bf, 0x4b5a, 0x49d8, 0xb9, 0xf6, 0xfa, 0x16, 0xcd, 0x29, 0xf2, 0x74)
__CRT_UUID_DECL(ICoreWebView2Environment10, 0xee0eb9df, 0x6f12, 0x46ce, 0xb5, 0x3f, 0x3f, 0x47, 0xb9, 0xc9, 0x28, 0xe0)
__CRT_UUID_DECL(ICoreWebView2Environment11, 0xf0913dc6, 0xa0ec, 0x42ef, 0x98, 0x05, 0x91, 0xdf, 0xf3, 0xa2, 0x96, 0x6a)
__CRT_UUID_DECL(ICoreWebView2Environment12, 0xf503db9b, 0x739f, 0x48dd, 0xb1, 0x51, 0xfd, 0xfc, 0xf2, 0x53, 0xf5, 0x4e)
__CRT_UUID_DECL(ICoreWebView2Environment13, 0xaf641f58, 0x72b2, 0x11ee, 0xb9, 0x62, 0x02, 0x42, 0xac, 0x12, 0x00, 0x02)
__CRT_UUID_DECL(ICoreWebView2Environment14, 0xa5e9fad9, 0xc875, 0x59da, 0x9b, 0xd7, 0x47, 0x3a, 0xa5, 0xca, 0x1c, 0xef)
__CRT_UUID_DECL(ICoreWebView2Controller, 0x4d00c0d1, 0x9434, 0x4eb6, 0x80, 0x78, 0x86, 0x97, 0xa5, 0x60, 0x33, 0x4f)
__CRT_UUID_DECL(ICoreWebView2, 0x76eceacb, 0x0462, 0x4d94, 0xac, 0x83, 0x42, 0x3a, 0x67, 0x93, 0x77, 0x5e)
__CRT_UUID_DECL(ICoreWebView2_2, 0x9e8f0cf8, 0xe670, 0x4b5e, 0xb2, 0xbc, 0x73, 0xe0, 0x61, 0xe3, 0x18, 0x4c)
__CRT_UUID_DECL(ICoreWebView2_3, 0xa0d6df20, 0x3b92, 0x416d, 0xaa, 0x0c, 0x43, 0x7a, 0x9c, 0x72, 0x78, 0x57)
__CRT_UUID_DECL(ICoreWebView2_4, 0x20d02d59, 0x6df2, 0x42dc, 0xbd, 0x06, 0xf9, 0x8a, 0x69, 0x4b, 0x13, 0x02)
__CRT_UUID_DECL(ICoreWebView2_5, 0xbedb11b8, 0xd63c, 0x11eb, 0xb8, 0xbc, 0x02, 0x42, 0xac, 0x13, 0x00, 0x03)
__CRT_UUID_DECL(ICoreWebView2_6, 0x499aadac, 0xd92c, 0x4589, 0x8a, 0x75, 0x11, 0x1b, 0xfc, 0x16, 0x77, 0x95)
__CRT_UUID_DECL(ICoreWebView2_7, 0x79c24d83, 0x09a3, 0x45ae, 0x94, 0x18, 0x48, 0x7f, 0x32, 0xa5, 0x87, 0x40)
__CRT_UUID_DECL(ICoreWebView2_8, 0xe9632730, 0x6e1e, 0x43ab, 0xb7, 0xb8, 0x7b, 0x2c, 0x9e, 0x62, 0xe0, 0x94)
__CRT_UUID_DECL(ICoreWebView2_9, 0x4d7b2eab, 0x9fdc, 0x468d, 0xb9, 0x98, 0xa9, 0x26, 0x0b, 0x5e, 0xd6, 0x51)
__CRT_UUID_DECL(ICoreWebView2_10, 0xb1690564, 0x6f5a, 0x4983, 0x8e, 0x48, 0x31, 0xd1, 0x14, 0x3f, 0xec, 0xdb)
__CRT_UUID_DECL(ICoreWebView2_11, 0x0be78e56, 0xc193, 0x4051, 0xb9, 0x43, 0x23, 0xb4, 0x60, 0xc0, 0x8b, 0xdb)
__CRT_UUID_DECL(ICoreWebView2_12, 0x35d69927, 0xbcfa, 0x4566, 0x93, 0x49, 0x6b, 0x3e, 0x0d, 0x15, 0x4c, 0xac)
__CRT_UUID_DECL(ICoreWebView2_13, 0xf75f09a8, 0x667e, 0x4983, 0x88, 0xd6, 0xc8, 0x77, 0x3f, 0x31, 0x5e, 0x84)
__CRT_UUID_DECL(ICoreWebView2_14, 0x6daa4f10, 0x4a90, 0x4753, 0x88, 0x98, 0x77, 0xc5, 0xdf, 0x53, 0x41, 0x65)
__CRT_UUID_DECL(ICoreWebView2_15, 0x517b2d1d, 0x7dae, 0x4a66, 0xa4, 0xf4, 0x10, 0x35, 0x2f, 0xfb, 0x95, 0x18)
__CRT_UUID_DECL(ICoreWebView2_16, 0x0eb34dc9, 0x9f91, 0x41e1, 0x86, 0x39, 0x95, 0xcd, 0x59, 0x43, 0x90, 0x6b)
__CRT_UUID_DECL(ICoreWebView2_17, 0x702e75d4, 0xfd44, 0x434d, 0x9d, 0x70, 0x1a, 0x68, 0xa6, 0xb1, 0x19, 0x2a)
__CRT_UUID_DECL(ICoreWebView2_18, 0x7a626017, 0x28be, 0x49b2, 0xb8, 0x65, 0x3b, 0xa2, 0xb3, 0x52, 0x2d, 0x90)
__CRT_UUID_DECL(ICoreWebView2_19, 0x6921f954, 0x79b0, 0x437f, 0xa9, 0x97, 0xc8, 0x58, 0x11, 0x89, 0x7c, 0x68)
__CRT_UUID_DECL(ICoreWebView2_20, 0xb4bc1926, 0x7305, 0x11ee, 0xb9, 0x62, 0x02, 0x42, 0xac, 0x12, 0x00, 0x02)
__CRT_UUID_DECL(ICoreWebView2_21, 0xc4980dea, 0x587b, 0x43b9, 0x81, 0x43, 0x3e, 0xf3, 0xbf, 0x55, 0x2d, 0x95)
__CRT_UUID_DECL(ICoreWebView2_22, 0xdb75dfc7, 0xa857, 0x4632, 0xa3, 0x98, 0x69, 0x69, 0xdd, 0xe2, 0x6c, 0x0a)
__CRT_UUID_DECL(ICoreWebView2_23, 0x508f0db5, 0x90c4, 0x5872, 0x90, 0xa7, 0x26, 0x7a, 0x91, 0x37, 0x75, 0x02)
__CRT_UUID_DECL(ICoreWebView2Settings, 0xe562e4f0, 0xd7fa, 0x43ac, 0x8d, 0x71, 0xc0, 0x51, 0x50, 0x49, 0x9f, 0x00)
__CRT_UUID_DECL(ICoreWebView2Settings2, 0xee9a0f68, 0xf46c, 0x4e32, 0xac, 0x23, 0xef, 0x8c, 0xac, 0x22, 0x4d, 0x2a)
__CRT_UUID_DECL(ICoreWebView2Settings3, 0xfdb5ab74, 0xaf33, 0x4854, 0x84, 0xf0, 0x0a, 0x63, 0x1d, 0xeb, 0x5e, 0xba)
__CRT_UUID_DECL(ICoreWebView2WebResourceRequestedEventArgs, 0x453e667f, 0x12c7, 0x49d4, 0xbe, 0x6d, 0xdd, 0xbe, 0x79, 0x56, 0xf5, 0x7a)
__CRT_UUID_DECL(ICoreWebView2WebResourceRequest, 0x97055cd4, 0x512c, 0x4264, 0x8b, 0x5f, 0xe3, 0xf4, 0x46, 0xce, 0xa6, 0xa5)
__CRT_UUID_DECL(ICoreWebView2HttpRequestHeaders, 0xe86cac0e, 0x5523, 0x465c, 0xb5, 0x36, 0x8f, 0xb9, 0xfc, 0x8c, 0x8c, 0x60)
__CRT_UUID_DECL(ICoreWebView2HttpResponseHeaders, 0x03c5ff5a, 0x9b45, 0x4a88, 0x88, 0x1c, 0x89, 0xa9, 0xf3, 0x28, 0x61, 0x9c)
__CRT_UUID_DECL(ICoreWebView2HttpHeadersCollectionIterator, 0x0702fc30, 0xf43b, 0x47bb, 0xab, 0x52, 0xa4, 0x2c, 0xb5, 0x52, 0xad, 0x9f)
__CRT_UUID_DECL(ICoreWebView2WebResourceResponse, 0xaafcc94f, 0xfa27, 0x48fd, 0x97, 0xdf, 0x83, 0x0e, 0xf7, 0x5a, 0xae, 0xc9)
__CRT_UUID_DECL(ICoreWebView2NavigationStartingEventArgs, 0x5b495469, 0xe119, 0x438a, 0x9b, 0x18, 0x76, 0x04, 0xf2, 0x5f, 0x2e, 0x49)
__CRT_UUID_DECL(ICoreWebView2PermissionRequestedEventArgs, 0x973ae2ef, 0xff18, 0x4894, 0x8f, 0xb2, 0x3c, 0x75, 0x8f, 0x04, 0x68, 0x10)
__CRT_UUID_DECL(ICoreWebView2NewWindowRequestedEventArgs, 0x34acb11c, 0xfc37, 0x4418, 0x91, 0x32, 0xf9, 0xc2, 0x1d, 0x1e, 0xaf, 0xb9)
__CRT_UUID_DECL(ICoreWebView2WindowFeatures, 0x5eaf559f, 0xb46e, 0x4397, 0x88, 0x60, 0xe4, 0x22, 0xf2, 0x87, 0xff, 0x1e)
__CRT_UUID_DECL(ICoreWebView2WebMessageReceivedEventArgs, 0x0f99a40c, 0xe962, 0x4207, 0x9e, 0x92, 0xe3, 0xd5, 0x42, 0xef, 0xf8, 0x49)
__CRT_UUID_DECL(ICoreWebView2AcceleratorKeyPressedEventArgs, 0x9f760f8a, 0xfb79, 0x42be, 0x99, 0x90, 0x7b, 0x56, 0x90, 0x0f, 0xa9, 0xc7)
__CRT_UUID_DECL(ICoreWebView2DOMContentLoadedEventArgs, 0x16b1e21a, 0xc503, 0x44f2, 0x84, 0xc9, 0x70, 0xab, 0xa5, 0x03, 0x12, 0x83)
__CRT_UUID_DECL(ICoreWebView2Deferral, 0xc10e7f7b, 0xb585, 0x46f0, 0xa6, 0x23, 0x8b, 0xef, 0xbf, 0x3e, 0x4e, 0xe0)
__CRT_UUID_DECL(ICoreWebView2ObjectCollectionView, 0x0f36fd87, 0x4f69, 0x4415, 0x98, 0xda, 0x88, 0x8f, 0x89, 0xfb, 0x9a, 0x33)
__CRT_UUID_DECL(ICoreWebView2ObjectCollection, 0x5cfec11c, 0x25bd, 0x4e8d, 0x9e, 0x1a, 0x7a, 0xcd, 0xae, 0xee, 0xc0, 0x47)
__CRT_UUID_DECL(ICoreWebView2FileSystemHandle, 0xc65100ac, 0x0de2, 0x5551, 0xa3, 0x62, 0x23, 0xd9, 0xbd, 0x1d, 0x0e, 0x1f)
__CRT_UUID_DECL(ICoreWebView2EnvironmentOptions, 0x2fde08a8, 0x1e9a, 0x4766, 0x8c, 0x05, 0x95, 0xa9, 0xce, 0xb9, 0xd1, 0xc5)
__CRT_UUID_DECL(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, 0x4e8a3389, 0xc9d8, 0x4bd2, 0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d)
__CRT_UUID_DECL(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, 0x6c4819f3, 0xc9b7, 0x4260, 0x81, 0x27, 0xc9, 0xf5, 0xbd, 0xe7, 0xf6, 0x8c)
__CRT_UUID_DECL(ICoreWebView2AcceleratorKeyPressedEventHandler, 0xb29c7e28, 0xfa79, 0x41a8, 0x8e, 0x44, 0x65, 0x81, 0x1c, 0x76, 0xdc, 0xb2)
__CRT_UUID_DECL(ICoreWebView2DocumentTitleChangedEventHandler, 0xf5f2b923, 0x953e, 0x4042, 0x9f, 0x95, 0xf3, 0xa1, 0x18, 0xe1, 0xaf, 0xd4)
__CRT_UUID_DECL(ICoreWebView2WebResourceRequestedEventHandler, 0xab00b74c, 0x15f1, 0x4646, 0x80, 0xe8, 0xe7, 0x63, 0x41, 0xd2, 0x5d, 0x71)
__CRT_UUID_DECL(ICoreWebView2NavigationStartingEventHandler, 0x9adbe429, 0xf36d, 0x432b, 0x9d, 0xdc, 0xf8, 0x88, 0x1f, 0xbd, 0x76, 0xe3)
__CRT_UUID_DECL(ICoreWebView2PermissionRequestedEventHandler, 0x15e1c6a3, 0xc72a, 0x4df3, 0x91, 0xd7, 0xd0, 0x97, 0xfb, 0xec, 0x6b, 0xfd)
__CRT_UUID_DECL(ICoreWebView2ContainsFullScreenElementChangedEventHandler, 0xe45d98b1, 0xafef, 0x45be, 0x8b, 0xaf, 0x6c, 0x77, 0x28, 0x86, 0x7f, 0x73)
__CRT_UUID_DECL(ICoreWebView2WindowCloseRequestedEventHandler, 0x5c19e9e0, 0x092f, 0x486b, 0xaf, 0xfa, 0xca, 0x82, 0x31, 0x91, 0x30, 0x39)
__CRT_UUID_DECL(ICoreWebView2NewWindowRequestedEventHandler, 0xd4c185fe, 0xc81c, 0x4989, 0x97, 0xaf, 0x2d, 0x3f, 0xa7, 0xab, 0x56, 0x51)
__CRT_UUID_DECL(ICoreWebView2WebMessageReceivedEventHandler, 0x57213f19, 0x00e6, 0x49fa, 0x8e, 0x07, 0x89, 0x8e, 0xa0, 0x1e, 0xcb, 0xd2)
__CRT_UUID_DECL(ICoreWebView2DOMContentLoadedEventHandler, 0x4bac7e9c, 0x199e, 0x49ed, 0x87, 0xed, 0x24, 0x93, 0x03, 0xac, 0xf0, 0x19)
#endif
// clang-format on
