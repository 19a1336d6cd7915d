#include "installer/bootstrapper_url_win.h"

#include <windows.h>

const std::wstring g_runtimeBootstrapperUrl = L"https://go.microsoft.com/fwlink/p/?LinkId=2124703";

std::wstring BootstrapperUrl() {
#if defined(WRAPPER_TEST_HOOKS) && WRAPPER_TEST_HOOKS
    constexpr wchar_t kVariable[] = L"WRAPPER_TEST_BOOTSTRAPPER_URL";
    const DWORD size = GetEnvironmentVariableW(kVariable, nullptr, 0);
    if (size > 1) {
        std::wstring url(size, L'\0');
        const DWORD length = GetEnvironmentVariableW(kVariable, url.data(), size);
        if (length > 0 && length < size) {
            url.resize(length);
            return url;
        }
    }
#endif
    return g_runtimeBootstrapperUrl;
}
