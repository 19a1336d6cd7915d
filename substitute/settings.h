// The webview's settings, with the runtime's defaults; every put is recorded with its value.
#pragma once

#include <string>

#include "com_support.h"

namespace substitute {

class Settings final : public ComObject<ICoreWebView2Settings3, ICoreWebView2Settings,
                                        ICoreWebView2Settings2, ICoreWebView2Settings3> {
  public:
    Settings(bool withSettings3, ClosedFlag closed);

    HRESULT STDMETHODCALLTYPE get_IsScriptEnabled(BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_IsScriptEnabled(BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_IsWebMessageEnabled(BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_AreDefaultScriptDialogsEnabled(BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_IsStatusBarEnabled(BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_AreDevToolsEnabled(BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_AreDefaultContextMenusEnabled(BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_AreHostObjectsAllowed(BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_AreHostObjectsAllowed(BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_IsZoomControlEnabled(BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_IsBuiltInErrorPageEnabled(BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_IsBuiltInErrorPageEnabled(BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_UserAgent(LPWSTR* value) override;
    HRESULT STDMETHODCALLTYPE put_UserAgent(LPCWSTR value) override;
    HRESULT STDMETHODCALLTYPE get_AreBrowserAcceleratorKeysEnabled(BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL value) override;

    bool WebMessagesEnabled() const { return webMessages_ != FALSE; }
    bool DevToolsEnabled() const { return devTools_ != FALSE; }

  protected:
    void OnQueryInterface(REFIID riid, bool answered) override;

  private:
    HRESULT Set(BOOL& field, const char* method, BOOL value);

    BOOL script_ = TRUE;
    BOOL webMessages_ = TRUE;
    BOOL scriptDialogs_ = TRUE;
    BOOL statusBar_ = TRUE;
    BOOL devTools_ = TRUE;
    BOOL contextMenus_ = TRUE;
    BOOL hostObjects_ = TRUE;
    BOOL zoomControl_ = TRUE;
    BOOL errorPage_ = TRUE;
    BOOL acceleratorKeys_ = TRUE;
    std::string userAgent_;
};

// Records a query for a WebView2 interface on `object` (other interfaces are not recorded).
void RecordQuery(const char* object, REFIID riid, bool answered);

}  // namespace substitute
