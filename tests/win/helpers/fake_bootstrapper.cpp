// A stand-in for the runtime's bootstrapper installer, served to the host by the end-to-end tests.
// It appends one line to the file named by WRAPPER_FAKE_BOOTSTRAPPER_LOG (when set): its current
// directory and its own path, separated by a tab, in UTF-8. Built in two variants: one marks the
// runtime as installed the way the vendor's installer does (the "pv" value of the runtime's client
// key), the other (FAKE_BOOTSTRAPPER_REGISTERS=0) leaves the registry alone, like a failed install.
#include <windows.h>

#include <string>

#ifndef FAKE_BOOTSTRAPPER_REGISTERS
#define FAKE_BOOTSTRAPPER_REGISTERS 1
#endif

namespace {

constexpr wchar_t kClientKey[] =
    L"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
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

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring logPath = Variable(L"WRAPPER_FAKE_BOOTSTRAPPER_LOG");
    if (!logPath.empty()) RecordRun(logPath);
    if (FAKE_BOOTSTRAPPER_REGISTERS && !MarkRuntimeInstalled()) return 1;
    return 0;
}
