// The two exported loader functions.
#include "com_support.h"
#include "environment.h"
#include "runtime.h"
#include "webview.h"

namespace substitute {
namespace {

constexpr const wchar_t* kClientKeys[] = {
    L"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}",
    L"SOFTWARE\\WOW6432Node\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-"
    L"00C3A9A7E4C5}",
};

// The installed runtime's version from the registry value "pv"; empty when none counts.
std::wstring InstalledVersion() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        for (const wchar_t* key : kClientKeys) {
            wchar_t value[128];
            DWORD size = sizeof value;
            if (RegGetValueW(root, key, L"pv", RRF_RT_REG_SZ, nullptr, value, &size) !=
                ERROR_SUCCESS)
                continue;
            const std::wstring version(value);
            if (!version.empty() && version != L"0.0.0.0") return version;
        }
    }
    return {};
}

std::wstring ExecutableFolder() {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder;
}

// A fixed-version runtime folder counts when it holds msedgewebview2.exe; a relative folder is
// taken relative to the executable's folder.
bool FolderHoldsRuntime(const std::wstring& folder) {
    std::wstring path = IsAbsolutePath(folder) ? folder : ExecutableFolder() + folder;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    path += L"msedgewebview2.exe";
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

HRESULT AvailableVersion(PCWSTR browserFolder, LPWSTR* versionInfo) {
    if (versionInfo == nullptr) return E_POINTER;
    *versionInfo = nullptr;
    std::wstring version;
    if (browserFolder == nullptr) {
        version = InstalledVersion();
    } else if (FolderHoldsRuntime(browserFolder)) {
        version = kRuntimeVersion;
    }
    Transcript::Get().Open(EnvironmentVariable(L"WRAPPER_SUBSTITUTE_TRANSCRIPT"));
    RecordCall("loader", "GetAvailableCoreWebView2BrowserVersionString",
               Json{{"browserFolder",
                     browserFolder == nullptr ? Json(nullptr) : Json(ToUtf8(browserFolder))},
                    {"version", version.empty() ? Json(nullptr) : Json(ToUtf8(version))}});
    if (version.empty()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    return CopyOut(version, versionInfo);
}

}  // namespace
}  // namespace substitute

HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder,
    ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler) {
    return substitute::Guard([&] {
        return substitute::CreateEnvironment(browserExecutableFolder, userDataFolder,
                                             environmentOptions, environmentCreatedHandler);
    });
}

HRESULT STDAPICALLTYPE GetAvailableCoreWebView2BrowserVersionString(PCWSTR browserExecutableFolder,
                                                                    LPWSTR* versionInfo) {
    return substitute::Guard(
        [&] { return substitute::AvailableVersion(browserExecutableFolder, versionInfo); });
}

// The tests' hook: raises ProcessFailed of `kind` (with `reason` and `exitCode`) on every open
// control of this process, from the message loop; the number of controls it will reach.
extern "C" int STDAPICALLTYPE SubstituteRaiseProcessFailed(int kind, int reason, int exitCode) {
    int raised = 0;
    substitute::Guard([&] {
        raised = substitute::RaiseProcessFailedEverywhere(
            substitute::ProcessFailure{kind, reason, exitCode, ""});
        return S_OK;
    });
    return raised;
}
