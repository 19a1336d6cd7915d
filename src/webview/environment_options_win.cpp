#include "webview/environment_options_win.h"

#include <cstring>

HRESULT CopyToTaskMemory(const std::wstring& text, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (*out == nullptr) return E_OUTOFMEMORY;
    std::memcpy(*out, text.c_str(), bytes);
    return S_OK;
}

namespace {

HRESULT Store(std::wstring& field, LPCWSTR value) {
    try {
        field = value != nullptr ? value : L"";
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace

HRESULT EnvironmentOptions::get_AdditionalBrowserArguments(LPWSTR* value) {
    return CopyToTaskMemory(additionalBrowserArguments_, value);
}
HRESULT EnvironmentOptions::put_AdditionalBrowserArguments(LPCWSTR value) {
    return Store(additionalBrowserArguments_, value);
}
HRESULT EnvironmentOptions::get_Language(LPWSTR* value) {
    return CopyToTaskMemory(language_, value);
}
HRESULT EnvironmentOptions::put_Language(LPCWSTR value) { return Store(language_, value); }
HRESULT EnvironmentOptions::get_TargetCompatibleBrowserVersion(LPWSTR* value) {
    return CopyToTaskMemory(targetCompatibleBrowserVersion_, value);
}
HRESULT EnvironmentOptions::put_TargetCompatibleBrowserVersion(LPCWSTR value) {
    return Store(targetCompatibleBrowserVersion_, value);
}
HRESULT EnvironmentOptions::get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) {
    if (allow == nullptr) return E_POINTER;
    *allow = allowSingleSignOn_;
    return S_OK;
}
HRESULT EnvironmentOptions::put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL allow) {
    allowSingleSignOn_ = allow;
    return S_OK;
}
