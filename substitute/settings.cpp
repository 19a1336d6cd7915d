#include "settings.h"

#include "runtime.h"

namespace substitute {

void RecordQuery(const char* object, REFIID riid, bool answered) {
    const char* name = InterfaceName(riid);
    if (name == nullptr) return;
    RecordCall(object, "QueryInterface", Json{{"interface", name}, {"answered", answered}});
}

Settings::Settings(bool withSettings3, ClosedFlag closed)
    : ComObject("settings"),
      userAgent_(
          "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
          "Chrome/137.0.0.0 Safari/537.36 Edg/137.0.0.0") {
    ShareClosedFlag(std::move(closed));
    if (!withSettings3) LimitInterfaces(2);
}

void Settings::OnQueryInterface(REFIID riid, bool answered) {
    RecordQuery("settings", riid, answered);
}

HRESULT Settings::Set(BOOL& field, const char* method, BOOL value) {
    return Guard([&] {
        field = value;
        RecordCall("settings", method, Json{{"value", value != FALSE}});
        return S_OK;
    });
}

HRESULT Settings::get_IsScriptEnabled(BOOL* value) {
    return Call(__func__, [&] { return Put(value, script_); });
}
HRESULT Settings::put_IsScriptEnabled(BOOL value) {
    return Call(__func__, [&] { return Set(script_, "put_IsScriptEnabled", value); });
}
HRESULT Settings::get_IsWebMessageEnabled(BOOL* value) {
    return Call(__func__, [&] { return Put(value, webMessages_); });
}
HRESULT Settings::put_IsWebMessageEnabled(BOOL value) {
    return Call(__func__, [&] { return Set(webMessages_, "put_IsWebMessageEnabled", value); });
}
HRESULT Settings::get_AreDefaultScriptDialogsEnabled(BOOL* value) {
    return Call(__func__, [&] { return Put(value, scriptDialogs_); });
}
HRESULT Settings::put_AreDefaultScriptDialogsEnabled(BOOL value) {
    return Call(__func__,
                [&] { return Set(scriptDialogs_, "put_AreDefaultScriptDialogsEnabled", value); });
}
HRESULT Settings::get_IsStatusBarEnabled(BOOL* value) {
    return Call(__func__, [&] { return Put(value, statusBar_); });
}
HRESULT Settings::put_IsStatusBarEnabled(BOOL value) {
    return Call(__func__, [&] { return Set(statusBar_, "put_IsStatusBarEnabled", value); });
}
HRESULT Settings::get_AreDevToolsEnabled(BOOL* value) {
    return Call(__func__, [&] { return Put(value, devTools_); });
}
HRESULT Settings::put_AreDevToolsEnabled(BOOL value) {
    return Call(__func__, [&] { return Set(devTools_, "put_AreDevToolsEnabled", value); });
}
HRESULT Settings::get_AreDefaultContextMenusEnabled(BOOL* value) {
    return Call(__func__, [&] { return Put(value, contextMenus_); });
}
HRESULT Settings::put_AreDefaultContextMenusEnabled(BOOL value) {
    return Call(__func__,
                [&] { return Set(contextMenus_, "put_AreDefaultContextMenusEnabled", value); });
}
HRESULT Settings::get_AreHostObjectsAllowed(BOOL* value) {
    return Call(__func__, [&] { return Put(value, hostObjects_); });
}
HRESULT Settings::put_AreHostObjectsAllowed(BOOL value) {
    return Call(__func__, [&] { return Set(hostObjects_, "put_AreHostObjectsAllowed", value); });
}
HRESULT Settings::get_IsZoomControlEnabled(BOOL* value) {
    return Call(__func__, [&] { return Put(value, zoomControl_); });
}
HRESULT Settings::put_IsZoomControlEnabled(BOOL value) {
    return Call(__func__, [&] { return Set(zoomControl_, "put_IsZoomControlEnabled", value); });
}
HRESULT Settings::get_IsBuiltInErrorPageEnabled(BOOL* value) {
    return Call(__func__, [&] { return Put(value, errorPage_); });
}
HRESULT Settings::put_IsBuiltInErrorPageEnabled(BOOL value) {
    return Call(__func__, [&] { return Set(errorPage_, "put_IsBuiltInErrorPageEnabled", value); });
}
HRESULT Settings::get_UserAgent(LPWSTR* value) {
    return Call(__func__, [&] { return CopyOut(userAgent_, value); });
}
HRESULT Settings::put_UserAgent(LPCWSTR value) {
    return Call(__func__, [&] {
        userAgent_ = ToUtf8(value);
        RecordCall("settings", "put_UserAgent", Json{{"value", userAgent_}});
        return S_OK;
    });
}
HRESULT Settings::get_AreBrowserAcceleratorKeysEnabled(BOOL* value) {
    return Call(__func__, [&] { return Put(value, acceleratorKeys_); });
}
HRESULT Settings::put_AreBrowserAcceleratorKeysEnabled(BOOL value) {
    return Call(__func__, [&] {
        return Set(acceleratorKeys_, "put_AreBrowserAcceleratorKeysEnabled", value);
    });
}

}  // namespace substitute
