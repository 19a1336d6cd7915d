// A stand-in loader that knows only whether a runtime is installed.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kClientKey[] =
    L"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";

bool RegistryHasRuntime() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        wchar_t value[64] = {};
        DWORD size = sizeof(value);
        if (RegGetValueW(root, kClientKey, L"pv", RRF_RT_REG_SZ, nullptr, value, &size) ==
                ERROR_SUCCESS &&
            value[0] != 0 && wcscmp(value, L"0.0.0.0") != 0) {
            return true;
        }
    }
    return false;
}

bool FolderHasRuntime(const wchar_t* folder) {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe);
    path.resize(path.rfind(L'\\') + 1);
    path += folder;
    path += L"\\msedgewebview2.exe";
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE GetAvailableCoreWebView2BrowserVersionString(
    PCWSTR folder, LPWSTR* version) {
    *version = nullptr;
    if (folder == nullptr ? !RegistryHasRuntime() : !FolderHasRuntime(folder)) {
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    constexpr wchar_t kVersion[] = L"137.0.3296.44";
    *version = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(kVersion)));
    if (*version == nullptr) return E_OUTOFMEMORY;
    memcpy(*version, kVersion, sizeof(kVersion));
    return S_OK;
}

// Accepted, but never completes: the host's window is created and stays hidden.
extern "C" HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(PCWSTR, PCWSTR, void*,
                                                                          void*) {
    return S_OK;
}
