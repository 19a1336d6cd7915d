// A stand-in for the runtime's bootstrapper installer, served to the host by the end-to-end tests.
// It appends one line to the file named by WRAPPER_FAKE_BOOTSTRAPPER_LOG (when set): its current
// directory and its own path, separated by a tab, in UTF-8. Built in two variants: one installs
// the runtime, the other (FAKE_BOOTSTRAPPER_REGISTERS=0) changes nothing, like a failed install.
// Installing marks the runtime installed the way the vendor's installer does (the "pv" value of
// the runtime's client key) and, when WRAPPER_FAKE_BOOTSTRAPPER_RUNTIME names the substitute's
// client library, lays it out the way the vendor's loader finds a runtime: copied to
// "<Program Files (x86)>\Microsoft\EdgeWebView\Application\<version>\EBWebView\x64", with
// the "EBWebView" value of the runtime's client-state key (32-bit view) naming the version folder.
#include <windows.h>

#include <string>

#ifndef FAKE_BOOTSTRAPPER_REGISTERS
#define FAKE_BOOTSTRAPPER_REGISTERS 1
#endif

namespace {

constexpr wchar_t kClientKey[] =
    L"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr wchar_t kClientStateKey[] =
    L"SOFTWARE\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr wchar_t kVersion[] = L"137.0.3296.44";

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring Variable(const wchar_t* name) {
    wchar_t buffer[4096] = {};
    const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
    return length > 0 && length < 4096 ? std::wstring(buffer, length) : std::wstring();
}

void RecordRun(const std::wstring& logPath) {
    wchar_t directory[4096] = {};
    GetCurrentDirectoryW(4096, directory);
    wchar_t self[4096] = {};
    GetModuleFileNameW(nullptr, self, 4096);
    const std::string line = Utf8(directory) + "\t" + Utf8(self) + "\n";
    HANDLE file = CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

bool MarkRuntimeInstalled() {
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, kClientKey, L"pv", REG_SZ, kVersion,
                           sizeof(kVersion)) == ERROR_SUCCESS;
}

bool InstallClientLibrary(const std::wstring& library) {
    const std::wstring programFiles = Variable(L"ProgramFiles(x86)");
    if (programFiles.empty()) return false;
    const std::wstring versionFolder =
        programFiles + L"\\Microsoft\\EdgeWebView\\Application\\" + kVersion;
    std::wstring folder;
    for (const wchar_t* part : {L"\\Microsoft", L"\\EdgeWebView", L"\\Application"}) {
        folder = (folder.empty() ? programFiles : folder) + part;
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    for (const wchar_t* part : {L"", L"\\EBWebView", L"\\EBWebView\\x64"}) {
        CreateDirectoryW((versionFolder + part).c_str(), nullptr);
    }
    const std::wstring target = versionFolder + L"\\EBWebView\\x64\\EmbeddedBrowserWebView.dll";
    if (!CopyFileW(library.c_str(), target.c_str(), FALSE)) return false;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kClientStateKey, 0, nullptr, 0,
                        KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LSTATUS status = RegSetValueExW(
        key, L"EBWebView", 0, REG_SZ, reinterpret_cast<const BYTE*>(versionFolder.c_str()),
        static_cast<DWORD>((versionFolder.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring logPath = Variable(L"WRAPPER_FAKE_BOOTSTRAPPER_LOG");
    if (!logPath.empty()) RecordRun(logPath);
    if (!FAKE_BOOTSTRAPPER_REGISTERS) return 0;
    if (!MarkRuntimeInstalled()) return 1;
    const std::wstring library = Variable(L"WRAPPER_FAKE_BOOTSTRAPPER_RUNTIME");
    if (!library.empty() && !InstallClientLibrary(library)) return 1;
    return 0;
}
