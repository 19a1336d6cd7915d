// EmbeddedBrowserWebView.dll: the runtime's client library, the entry the vendor's
// WebView2Loader.dll calls once it has found this runtime, installed (the registry names its
// version folder) or as a fixed-version folder beside the app.
#include <array>
#include <cwctype>

#include "com_support.h"
#include "environment.h"
#include "runtime.h"

namespace substitute {
namespace {

std::wstring OwnPath() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&OwnPath), &self))
        return {};
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The folder `levels` folders up from `path` (1: the folder holding the file).
std::wstring Ancestor(const std::wstring& path, int levels) {
    std::wstring folder = path;
    for (int i = 0; i < levels; ++i) {
        const std::size_t slash = folder.find_last_of(L"\\/");
        if (slash == std::wstring::npos) return {};
        folder.resize(slash);
    }
    return folder;
}

std::wstring Name(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Four numbers separated by dots, as runtime versions are written.
bool IsVersion(const std::wstring& text) {
    int parts = 1;
    bool digit = false;
    for (wchar_t c : text) {
        if (c == L'.') {
            if (!digit) return false;
            ++parts;
            digit = false;
        } else if (std::iswdigit(c)) {
            digit = true;
        } else {
            return false;
        }
    }
    return digit && parts == 4;
}

// The ProductVersion string of the library's own version resource, or empty.
std::wstring ResourceVersion(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::string data(size, '\0');
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return {};
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translations), &length) ||
        length < sizeof(Translation))
        return {};
    std::array<wchar_t, 64> key{};
    swprintf(key.data(), key.size(), L"\\StringFileInfo\\%04x%04x\\ProductVersion",
             translations[0].language, translations[0].codePage);
    wchar_t* value = nullptr;
    if (!VerQueryValueW(data.data(), key.data(), reinterpret_cast<void**>(&value), &length) ||
        value == nullptr)
        return {};
    return value;
}

// The version this copy of the runtime reports: the name of its version folder when it is laid
// out as an installed runtime ("<version>\EBWebView\x64\EmbeddedBrowserWebView.dll"), otherwise
// (a fixed-version folder) its own version resource.
std::wstring OwnVersion(const std::wstring& path) {
    const std::wstring versionFolder = Name(Ancestor(path, 3));
    if (IsVersion(versionFolder)) return versionFolder;
    const std::wstring resource = ResourceVersion(path);
    return resource.empty() ? std::wstring(kRuntimeVersion) : resource;
}

HRESULT CreateFromLoader(bool checkRunningInstance, int runtimeType, PCWSTR userDataFolder,
                         IUnknown* options,
                         ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
    const std::wstring path = OwnPath();
    RuntimeEntry entry;
    entry.object = "runtime";
    entry.method = "CreateWebViewEnvironmentWithOptionsInternal";
    entry.version = OwnVersion(path);
    entry.fields["checkRunningInstance"] = checkRunningInstance;
    entry.fields["runtimeType"] = runtimeType;
    entry.fields["runtimeFolder"] = ToUtf8(Ancestor(path, 3));
    // The loader hands the host's options over as they are; the runtime reads them through the
    // interface the host implements.
    ComPtr<ICoreWebView2EnvironmentOptions> read;
    if (options != nullptr) {
        const HRESULT answered = options->QueryInterface(IID_PPV_ARGS(&read));
        entry.fields["optionsInterface"] = HResultText(answered);
    }
    return CreateEnvironment(nullptr, userDataFolder, read.Get(), handler, entry);
}

}  // namespace
}  // namespace substitute

extern "C" HRESULT STDAPICALLTYPE CreateWebViewEnvironmentWithOptionsInternal(
    bool checkRunningInstance, int runtimeType, PCWSTR userDataFolder, IUnknown* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
    return substitute::Guard([&] {
        return substitute::CreateFromLoader(checkRunningInstance, runtimeType, userDataFolder,
                                            options, handler);
    });
}
