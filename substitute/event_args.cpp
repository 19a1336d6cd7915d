#include "event_args.h"

#include "runtime.h"
#include "web_resource.h"

namespace substitute {

HRESULT RefuseDeferral(const char* object, ICoreWebView2Deferral** deferral) {
    return Guard([&] {
        RecordCall(object, "GetDeferral", Json{{"result", HResultText(E_NOTIMPL)}});
        if (deferral != nullptr) *deferral = nullptr;
        return E_NOTIMPL;
    });
}

NavigationStartingArgs::NavigationStartingArgs(std::string uri, bool userInitiated,
                                               UINT64 navigationId)
    : ComObject("navigation-starting"),
      uri_(std::move(uri)),
      userInitiated_(userInitiated),
      navigationId_(navigationId) {}

HRESULT NavigationStartingArgs::get_Uri(LPWSTR* uri) {
    return Call(__func__, [&] { return CopyOut(uri_, uri); });
}
HRESULT NavigationStartingArgs::get_IsUserInitiated(BOOL* isUserInitiated) {
    return Call(__func__, [&] { return Put<BOOL>(isUserInitiated, userInitiated_); });
}
HRESULT NavigationStartingArgs::get_IsRedirected(BOOL* isRedirected) {
    return Call(__func__, [&] { return Put<BOOL>(isRedirected, FALSE); });
}
HRESULT NavigationStartingArgs::get_RequestHeaders(
    ICoreWebView2HttpRequestHeaders** requestHeaders) {
    return Call(__func__, [&] {
        return PutRef(requestHeaders, ComPtr<RequestHeaders>(new RequestHeaders({})));
    });
}
HRESULT NavigationStartingArgs::get_Cancel(BOOL* cancel) {
    return Call(__func__, [&] { return Put(cancel, cancel_); });
}
HRESULT NavigationStartingArgs::put_Cancel(BOOL cancel) {
    return Call(__func__, [&] {
        cancel_ = cancel;
        return S_OK;
    });
}
HRESULT NavigationStartingArgs::get_NavigationId(UINT64* navigationId) {
    return Call(__func__, [&] { return Put(navigationId, navigationId_); });
}

HRESULT PermissionRequestedArgs::get_Uri(LPWSTR* uri) {
    return Call(__func__, [&] { return CopyOut(uri_, uri); });
}
HRESULT PermissionRequestedArgs::get_PermissionKind(COREWEBVIEW2_PERMISSION_KIND* permissionKind) {
    return Call(__func__, [&] { return Put(permissionKind, kind_); });
}
HRESULT PermissionRequestedArgs::get_IsUserInitiated(BOOL* isUserInitiated) {
    return Call(__func__, [&] { return Put<BOOL>(isUserInitiated, TRUE); });
}
HRESULT PermissionRequestedArgs::get_State(COREWEBVIEW2_PERMISSION_STATE* state) {
    return Call(__func__, [&] { return Put(state, state_); });
}
HRESULT PermissionRequestedArgs::put_State(COREWEBVIEW2_PERMISSION_STATE state) {
    return Call(__func__, [&] {
        state_ = state;
        return S_OK;
    });
}
HRESULT PermissionRequestedArgs::GetDeferral(ICoreWebView2Deferral** deferral) {
    return Call(__func__, [&] { return RefuseDeferral("permission-request", deferral); });
}

HRESULT NewWindowRequestedArgs::get_Uri(LPWSTR* uri) {
    return Call(__func__, [&] { return CopyOut(uri_, uri); });
}
HRESULT NewWindowRequestedArgs::put_NewWindow(ICoreWebView2* newWindow) {
    return Call(__func__, [&] {
        newWindow_ = newWindow;
        return S_OK;
    });
}
HRESULT NewWindowRequestedArgs::get_NewWindow(ICoreWebView2** newWindow) {
    return Call(__func__, [&] { return PutRef(newWindow, newWindow_); });
}
HRESULT NewWindowRequestedArgs::put_Handled(BOOL handled) {
    return Call(__func__, [&] {
        handled_ = handled;
        return S_OK;
    });
}
HRESULT NewWindowRequestedArgs::get_Handled(BOOL* handled) {
    return Call(__func__, [&] { return Put(handled, handled_); });
}
HRESULT NewWindowRequestedArgs::get_IsUserInitiated(BOOL* isUserInitiated) {
    return Call(__func__, [&] { return Put<BOOL>(isUserInitiated, TRUE); });
}
HRESULT NewWindowRequestedArgs::GetDeferral(ICoreWebView2Deferral** deferral) {
    return Call(__func__, [&] { return RefuseDeferral("new-window-request", deferral); });
}
HRESULT NewWindowRequestedArgs::get_WindowFeatures(ICoreWebView2WindowFeatures** value) {
    return Call(__func__,
                [&] { return PutRef(value, ComPtr<WindowFeatures>(new WindowFeatures())); });
}

HRESULT WebMessageReceivedArgs::get_Source(LPWSTR* value) {
    return Call(__func__, [&] { return CopyOut(source_, value); });
}
HRESULT WebMessageReceivedArgs::get_WebMessageAsJson(LPWSTR* value) {
    return Call(__func__, [&] { return CopyOut(json_, value); });
}
HRESULT WebMessageReceivedArgs::TryGetWebMessageAsString(LPWSTR* value) {
    return Call(__func__, [&] {
        if (value == nullptr) return E_POINTER;
        *value = nullptr;
        if (!text_) return E_INVALIDARG;  // the page posted something other than a string
        return CopyOut(*text_, value);
    });
}

AcceleratorKeyPressedArgs::AcceleratorKeyPressedArgs(UINT virtualKey,
                                                     COREWEBVIEW2_KEY_EVENT_KIND kind)
    : ComObject("accelerator-key"), virtualKey_(virtualKey), kind_(kind) {
    const bool released = kind == COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP ||
                          kind == COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP;
    const bool system = kind == COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN ||
                        kind == COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP;
    status_.RepeatCount = 1;
    status_.ScanCode = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    status_.IsExtendedKey = FALSE;
    status_.IsMenuKeyDown = system;
    status_.WasKeyDown = released;
    status_.IsKeyReleased = released;
    // Laid out as the lParam of WM_KEYDOWN / WM_KEYUP.
    const UINT32 bits = status_.RepeatCount | ((status_.ScanCode & 0xFF) << 16) |
                        (system ? 1u << 29 : 0u) | (released ? 3u << 30 : 0u);
    lParam_ = static_cast<INT>(bits);
}

HRESULT AcceleratorKeyPressedArgs::get_KeyEventKind(COREWEBVIEW2_KEY_EVENT_KIND* keyEventKind) {
    return Call(__func__, [&] { return Put(keyEventKind, kind_); });
}
HRESULT AcceleratorKeyPressedArgs::get_VirtualKey(UINT* virtualKey) {
    return Call(__func__, [&] { return Put(virtualKey, virtualKey_); });
}
HRESULT AcceleratorKeyPressedArgs::get_KeyEventLParam(INT* lParam) {
    return Call(__func__, [&] { return Put(lParam, lParam_); });
}
HRESULT AcceleratorKeyPressedArgs::get_PhysicalKeyStatus(
    COREWEBVIEW2_PHYSICAL_KEY_STATUS* physicalKeyStatus) {
    return Call(__func__, [&] { return Put(physicalKeyStatus, status_); });
}
HRESULT AcceleratorKeyPressedArgs::get_Handled(BOOL* handled) {
    return Call(__func__, [&] { return Put(handled, handled_); });
}
HRESULT AcceleratorKeyPressedArgs::put_Handled(BOOL handled) {
    return Call(__func__, [&] {
        handled_ = handled;
        return S_OK;
    });
}

HRESULT ProcessFailedArgs::get_ProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* value) {
    return Call(__func__, [&] {
        return Put(value, static_cast<COREWEBVIEW2_PROCESS_FAILED_KIND>(failure_.kind));
    });
}
HRESULT ProcessFailedArgs::get_Reason(COREWEBVIEW2_PROCESS_FAILED_REASON* reason) {
    return Call(__func__, [&] {
        return Put(reason, static_cast<COREWEBVIEW2_PROCESS_FAILED_REASON>(failure_.reason));
    });
}
HRESULT ProcessFailedArgs::get_ExitCode(int* exitCode) {
    return Call(__func__, [&] { return Put(exitCode, failure_.exitCode); });
}
HRESULT ProcessFailedArgs::get_ProcessDescription(LPWSTR* processDescription) {
    return Call(__func__, [&] { return CopyOut(failure_.description, processDescription); });
}
HRESULT ProcessFailedArgs::get_FrameInfosForFailedProcess(
    ICoreWebView2FrameInfoCollection** frames) {
    return Call(__func__, [&] {
        if (frames != nullptr) *frames = nullptr;
        return E_NOTIMPL;
    });
}

}  // namespace substitute
