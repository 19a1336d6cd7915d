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

// Whether the file is empty or its last byte ends a line.
bool EndsInLineBreak(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart == 0) return true;
    LARGE_INTEGER last{};
    last.QuadPart = size.QuadPart - 1;
    char byte = 0;
    DWORD read = 0;
    if (!SetFilePointerEx(file, last, nullptr, FILE_BEGIN) ||
        !ReadFile(file, &byte, 1, &read, nullptr) || read != 1) {
        return true;  // cannot tell: no break rather than an empty line each time
    }
    return byte == '\n';
}

// host.log is full: it moves to host.log.1. When another program holds it so that it cannot
// move, its text is copied there (when it can be read) and host.log is emptied in place; false
// when neither works, and the line is dropped rather than let the log grow past its bound.
bool MakeRoom(const HostLog& log) {
    if (MoveFileExW(log.path.c_str(), log.olderPath.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    CopyFileW(log.path.c_str(), log.olderPath.c_str(), FALSE);
    const FileHandle file(CreateFileW(log.path.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Get() != INVALID_HANDLE_VALUE && SetEndOfFile(file.Get());
}

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

long LastErrorResult() {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
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
            // (+ 2: the line break a cut line may need first)
            if (size + line.size() + 2 > kHostLogLimit && !MakeRoom(log)) return;
        }
        // Opened per line and shared, so that a support tool can read the log while the app runs.
        const FileHandle file(CreateFileW(log.path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Get() == INVALID_HANDLE_VALUE) return;
        // A line an earlier write left unfinished (a full disk) is ended first, so that this one
        // starts a line of its own.
        std::string text = EndsInLineBreak(file.Get()) ? line : "\r\n" + line;
        const char* next = text.data();
        size_t left = text.size();
        DWORD written = 0;
        while (left > 0 &&
               WriteFile(file.Get(), next, static_cast<DWORD>(left), &written, nullptr) &&
               written > 0) {
            next += written;
            left -= written;
        }
    } catch (...) {
        // The log never changes the run, not even out of memory.
    }
}
