#include "app/host_log_win.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

#include "app/paths_win.h"

namespace {

struct HostLog {
    std::mutex lock;
    std::wstring path;       // long-path form of host.log; empty while there is no log
    std::wstring olderPath;  // host.log.1
};

HostLog& TheLog() {
    static HostLog log;
    return log;
}

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

std::string FormatHostLogLine(const std::string& event, int year, int month, int day, int hour,
                              int minute, int second, int millisecond) {
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ ", year, month, day,
                  hour, minute, second, millisecond);
    std::string line = stamp;
    // A line is short whatever it quotes (a box text comes from the app's settings): cut at a
    // character's first byte.
    size_t length = event.size();
    if (length > kHostLogEventLimit) {
        length = kHostLogEventLimit;
        while (length > 0 && (static_cast<unsigned char>(event[length]) & 0xC0) == 0x80) --length;
    }
    line.reserve(line.size() + length + 2);
    for (size_t i = 0; i < length; ++i)
        line += (event[i] == '\r' || event[i] == '\n') ? ' ' : event[i];
    line += "\r\n";
    return line;
}

std::string HResultText(long result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result) & 0xFFFFFFFFul);
    return text;
}

void WriteStartFailureToHostLog(const std::string& boxText, long result) {
    WriteHostLog("start failed: \"" + boxText + "\" (HRESULT " + HResultText(result) + ")");
}

void OpenHostLog(const std::string& userDataFolderUtf8) {
    HostLog& log = TheLog();
    const std::lock_guard<std::mutex> guard(log.lock);
    log.path.clear();
    log.olderPath.clear();
    if (userDataFolderUtf8.empty()) return;
    std::wstring folder = AddLongPathPrefix(ToWide(userDataFolderUtf8));
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    // Made one level deep, as the runtime's installer makes it (its parent, the local
    // application-data folder, exists); a folder that cannot be made shows at the first line.
    CreateDirectoryW(folder.c_str(), nullptr);
    log.path = folder + L"\\" + ToWide(kHostLogName);
    log.olderPath = folder + L"\\" + ToWide(kHostLogOlderName);
}

void WriteHostLog(const std::string& event) {
    try {
        HostLog& log = TheLog();
        const std::lock_guard<std::mutex> guard(log.lock);
        if (log.path.empty()) return;
        SYSTEMTIME now{};
        GetSystemTime(&now);
        const std::string line =
            FormatHostLogLine(event, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                              now.wSecond, now.wMilliseconds);
        WIN32_FILE_ATTRIBUTE_DATA facts{};
        if (GetFileAttributesExW(log.path.c_str(), GetFileExInfoStandard, &facts)) {
            const std::uint64_t size =
                (static_cast<std::uint64_t>(facts.nFileSizeHigh) << 32) | facts.nFileSizeLow;
            if (size + line.size() > kHostLogLimit) {
                MoveFileExW(log.path.c_str(), log.olderPath.c_str(), MOVEFILE_REPLACE_EXISTING);
            }
        }
        // Opened per line and shared, so that a support tool can read the log while the app runs.
        const FileHandle file(CreateFileW(log.path.c_str(), FILE_APPEND_DATA,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Get() == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    } catch (...) {
        // The log never changes the run, not even out of memory.
    }
}
