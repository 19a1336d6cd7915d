// The host's own environment-options object, with the SDK's defaults.
#pragma once

#include <string>

#include "webview/com_object_win.h"
#include "webview/webview2_api.h"

inline constexpr wchar_t kTargetCompatibleBrowserVersion[] = L"137.0.3296.44";

class EnvironmentOptions final : public ComObject<ICoreWebView2EnvironmentOptions> {
public:
    HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR* value) override;
    HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR value) override;
    HRESULT STDMETHODCALLTYPE get_Language(LPWSTR* value) override;
    HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR value) override;
    HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR* value) override;
    HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR value) override;
    HRESULT STDMETHODCALLTYPE get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) override;
    HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL allow) override;

private:
    std::wstring additionalBrowserArguments_;
    std::wstring language_;
    std::wstring targetCompatibleBrowserVersion_ = kTargetCompatibleBrowserVersion;
    BOOL allowSingleSignOn_ = FALSE;
};

// A CoTaskMemAlloc copy of a string, as WebView2 getters hand out.
HRESULT CopyToTaskMemory(const std::wstring& text, LPWSTR* out);
