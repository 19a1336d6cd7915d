// probe: starts a program, watches it from outside and reports, as one JSON object on stdout,
// every message box it showed (caption, text, icon kind; each is answered with OK, or with the
// button --answer names: 6 Yes, 7 No, 2 Cancel), the state of
// its main window (found by class name), and its exit code.
//
//   probe.exe [--timeout MS] [--close-when never|window|visible] [--settle MS]
//             [--class NAME] [--extra-class NAME] [--extra-log FILE] [--close-extra-on FILE]
//             [--watch FILE] [--close-on FILE] [--answer BUTTON_ID] -- PROGRAM [ARGS...]
//
// --close-when: once the main window exists (window) or is visible (visible), wait --settle
// milliseconds, take a final snapshot and send it WM_CLOSE. On timeout the program is killed.
// --close-on: the main window is closed only once FILE exists too (e.g. once a screenshot of the
// window has been taken).
// --extra-class: also report the first window of that class the program shows (e.g. a progress
// window), with the largest progress-bar position seen in it and the bar's rectangle in the
// window's client coordinates.
// --extra-log: append to FILE, as they happen, a line "progress N" for each new bar position of the
// extra window and the line "gone" when that window no longer exists, so that a test can act on
// what the probe has seen while the program still runs. With it, the probe also hooks the extra
// window's thread (probe_hook.dll, beside the probe) as soon as it sees the window; the hook adds
// a line "setpos N" for every position the program gives the bar, however briefly it lasts, and
// the report lists them as "setPositions".
// --close-extra-on: once FILE exists, send WM_CLOSE to the extra window (once).
// --close-on-text TEXT: like --close-when window, once the --watch FILE holds TEXT (say, the line
// a scenario writes at its end): the program is closed from outside, never inside its own code.
// --watch: each box's report also gives "watchedSize", the size of FILE in bytes when the box was
// seen (-1 without the file): what a program writing FILE as it goes had written before the box.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

std::string Json(const std::wstring& w) {
    std::string out = "\"";
    for (unsigned char c : Utf8(w)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::wstring TextOf(HWND window) {
    wchar_t buffer[4096] = {};
    GetWindowTextW(window, buffer, 4096);
    return buffer;
}

std::wstring ClassOf(HWND window) {
    wchar_t buffer[256] = {};
    GetClassNameW(window, buffer, 256);
    return buffer;
}

// Appends one line to a log file and flushes it at once; no file name means no log.
void AppendLine(const std::wstring& path, const std::string& line) {
    if (path.empty()) return;
    FILE* file = _wfopen(path.c_str(), L"ab");
    if (file == nullptr) return;
    fprintf(file, "%s\n", line.c_str());
    fclose(file);
}

// The size of a file in bytes, or -1 when it cannot be queried.
// True when the file (which another process may be writing) holds `text`.
bool FileHolds(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string content;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        content.append(buffer, read);
    CloseHandle(file);
    return content.find(text) != std::string::npos;
}

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The positions the hook recorded in the log ("setpos N" lines).
std::string SetPositionsJson(const std::wstring& path) {
    std::string list;
    FILE* file = path.empty() ? nullptr : _wfopen(path.c_str(), L"rb");
    if (file == nullptr) return "[]";
    char line[128];
    while (fgets(line, sizeof line, file) != nullptr) {
        int position = 0;
        if (sscanf(line, "setpos %d", &position) == 1) {
            if (!list.empty()) list += ',';
            list += std::to_string(position);
        }
    }
    fclose(file);
    return "[" + list + "]";
}

// Hooks the window procedures of `thread` with probe_hook.dll from the probe's own folder.
HHOOK HookThread(DWORD thread) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path.resize(path.rfind(L'\\') + 1);
    path += L"probe_hook.dll";
    HMODULE module = LoadLibraryW(path.c_str());
    if (module == nullptr) return nullptr;
    auto* proc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void*>(GetProcAddress(module, "ProbeCallWndRetProc")));
    return proc != nullptr ? SetWindowsHookExW(WH_CALLWNDPROCRET, proc, module, thread) : nullptr;
}

std::string Rect(const RECT& r) {
    char buf[96];
    snprintf(buf, sizeof buf, "[%ld,%ld,%ld,%ld]", r.left, r.top, r.right, r.bottom);
    return buf;
}

struct Snapshot {
    bool found = false;
    std::wstring title;
    bool visible = false;
    RECT windowRect{};
    RECT clientRect{};
    DWORD style = 0;
    DWORD exStyle = 0;
};

Snapshot Take(HWND window) {
    Snapshot s;
    if (window == nullptr || !IsWindow(window)) return s;
    s.found = true;
    s.title = TextOf(window);
    s.visible = IsWindowVisible(window) != FALSE;
    GetWindowRect(window, &s.windowRect);
    GetClientRect(window, &s.clientRect);
    s.style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    s.exStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
    return s;
}

std::string SnapshotJson(const Snapshot& s) {
    if (!s.found) return "null";
    char styles[96];
    snprintf(styles, sizeof styles, "\"style\":%lu,\"exStyle\":%lu", s.style, s.exStyle);
    return "{\"title\":" + Json(s.title) + ",\"visible\":" + (s.visible ? "true" : "false") +
           ",\"windowRect\":" + Rect(s.windowRect) + ",\"clientRect\":" + Rect(s.clientRect) +
           "," + styles + "}";
}

struct Search {
    DWORD pid;
    std::wstring className;
    HWND found = nullptr;
    std::vector<HWND> boxes;
};

BOOL CALLBACK FindWindows(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid) return TRUE;
    const std::wstring cls = ClassOf(window);
    if (cls == L"#32770" && IsWindowVisible(window)) search->boxes.push_back(window);
    if (search->found == nullptr && cls == search->className) search->found = window;
    return TRUE;
}

BOOL CALLBACK FindIconControl(HWND child, LPARAM param) {
    if (ClassOf(child) == L"Static" &&
        (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<HWND*>(param) = child;
        return FALSE;
    }
    return TRUE;
}

// Pixels of a w x h area drawn by `paint` into a 32-bit top-down bitmap.
template <typename Paint>
std::vector<DWORD> Pixels(int w, int h, Paint paint) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<DWORD> pixels;
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        paint(dc);
        GdiFlush();
        pixels.assign(static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + w * h);
        SelectObject(dc, old);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    return pixels;
}

long long Difference(const std::vector<DWORD>& a, const std::vector<DWORD>& b) {
    if (a.size() != b.size() || a.empty()) return -1;
    long long sum = 0;
    for (size_t k = 0; k < a.size(); ++k) {
        for (int shift = 0; shift < 24; shift += 8) {
            sum += std::abs(static_cast<int>((a[k] >> shift) & 0xFF) -
                            static_cast<int>((b[k] >> shift) & 0xFF));
        }
    }
    return sum;
}

// Which standard icon a message box shows. Icon handles cannot be compared across processes on
// every system, so the icon control's pixels on screen are compared with each standard icon
// drawn here on the same background.
std::string IconKind(HWND box) {
    HWND iconControl = nullptr;
    EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&iconControl));
    if (iconControl == nullptr || !IsWindowVisible(iconControl)) return "none";
    UpdateWindow(box);
    Sleep(150);
    RECT r{};
    GetWindowRect(iconControl, &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return "none";
    const std::vector<DWORD> shown = Pixels(w, h, [&](HDC dc) {
        HDC screen = GetDC(nullptr);
        BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
        ReleaseDC(nullptr, screen);
    });
    if (shown.empty()) return "none";
    const DWORD background = shown[0];
    const COLORREF fill = RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF);
    const struct {
        LPCWSTR id;
        const char* name;
    } kinds[] = {{IDI_HAND, "error"},
                 {IDI_ASTERISK, "information"},
                 {IDI_EXCLAMATION, "warning"},
                 {IDI_QUESTION, "question"}};
    const char* best = "unknown";
    long long bestDifference = -1;
    for (const auto& kind : kinds) {
        const std::vector<DWORD> drawn = Pixels(w, h, [&](HDC dc) {
            HBRUSH brush = CreateSolidBrush(fill);
            RECT all{0, 0, w, h};
            FillRect(dc, &all, brush);
            DeleteObject(brush);
            DrawIconEx(dc, 0, 0, LoadIconW(nullptr, kind.id), 0, 0, 0, nullptr, DI_NORMAL);
        });
        const long long difference = Difference(shown, drawn);
        if (difference >= 0 && (bestDifference < 0 || difference < bestDifference)) {
            bestDifference = difference;
            best = kind.name;
        }
    }
    return best;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD timeoutMs = 30000;
    DWORD settleMs = 300;
    std::wstring closeWhen = L"never";
    std::wstring className = L"WindowsWebview2Wrapper";
    std::wstring extraClass;
    std::wstring extraLog;
    std::wstring closeExtraOn;
    std::wstring watched;
    std::wstring closeOn;
    int answer = IDOK;
    std::string closeText;
    int i = 1;
    for (; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--") {
            ++i;
            break;
        }
        if (i + 1 >= argc) break;
        if (arg == L"--timeout") timeoutMs = wcstoul(argv[++i], nullptr, 10);
        else if (arg == L"--settle") settleMs = wcstoul(argv[++i], nullptr, 10);
        else if (arg == L"--close-when") closeWhen = argv[++i];
        else if (arg == L"--class") className = argv[++i];
        else if (arg == L"--extra-class") extraClass = argv[++i];
        else if (arg == L"--extra-log") extraLog = argv[++i];
        else if (arg == L"--close-extra-on") closeExtraOn = argv[++i];
        else if (arg == L"--close-on")
            closeOn = argv[++i];
        else if (arg == L"--watch")
            watched = argv[++i];
        else if (arg == L"--close-on-text") {
            closeWhen = L"text";
            closeText = Utf8(argv[++i]);
        } else if (arg == L"--answer")
            answer = static_cast<int>(wcstol(argv[++i], nullptr, 10));
    }
    if (i >= argc) {
        fprintf(stderr, "usage: probe.exe [options] -- PROGRAM [ARGS...]\n");
        return 2;
    }
    std::wstring commandLine;
    for (int k = i; k < argc; ++k) {
        if (!commandLine.empty()) commandLine += L' ';
        commandLine += L'"' + std::wstring(argv[k]) + L'"';
    }
    // The hook runs inside the program and learns the log from the environment it inherits.
    if (!extraLog.empty()) SetEnvironmentVariableW(L"WRAPPER_PROBE_HOOK_LOG", extraLog.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        printf("{\"error\":\"cannot start program\",\"code\":%lu}\n", GetLastError());
        return 3;
    }

    std::string boxes;
    Snapshot last;
    bool everVisible = false;
    bool closeSent = false;
    DWORD conditionSince = 0;
    Snapshot extraLast;
    int extraMaxPos = -1;
    std::vector<int> extraPositions;
    RECT extraBarRect{};
    bool extraBarFound = false;
    bool extraCloseSent = false;
    bool extraGone = false;
    HHOOK extraHook = nullptr;
    const DWORD start = GetTickCount();
    bool timedOut = false;
    for (;;) {
        if (WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) break;
        Search search{process.dwProcessId, className, nullptr, {}};
        EnumWindows(FindWindows, reinterpret_cast<LPARAM>(&search));
        for (HWND box : search.boxes) {
            if (!boxes.empty()) boxes += ",";
            boxes += "{\"caption\":" + Json(TextOf(box)) +
                     ",\"text\":" + Json(TextOf(GetDlgItem(box, 0xFFFF))) + ",\"icon\":\"" +
                     IconKind(box) + "\"";
            if (!watched.empty()) boxes += ",\"watchedSize\":" + std::to_string(FileSize(watched));
            boxes += "}";
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
            // Wait for the box to go before looking again, so it is reported once.
            for (int k = 0; k < 250 && IsWindow(box) && IsWindowVisible(box); ++k) Sleep(20);
        }
        if (!extraClass.empty()) {
            Search extra{process.dwProcessId, extraClass, nullptr, {}};
            EnumWindows(FindWindows, reinterpret_cast<LPARAM>(&extra));
            if (extra.found != nullptr) {
                if (!extraLog.empty() && extraHook == nullptr && !extraLast.found) {
                    extraHook = HookThread(GetWindowThreadProcessId(extra.found, nullptr));
                    if (extraHook == nullptr) AppendLine(extraLog, "hook failed");
                }
                // A window being destroyed is hidden first: keep what was seen while it showed.
                const Snapshot now = Take(extra.found);
                if (now.found && (now.visible || !extraLast.found)) extraLast = now;
                HWND bar = FindWindowExW(extra.found, nullptr, PROGRESS_CLASSW, nullptr);
                DWORD_PTR answer = 0;
                // A bar destroyed meanwhile gives no answer rather than a position of 0.
                if (bar != nullptr && now.visible &&
                    SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) != 0) {
                    const int pos = static_cast<int>(answer);
                    if (extraPositions.empty() || extraPositions.back() != pos) {
                        extraPositions.push_back(pos);
                        AppendLine(extraLog, "progress " + std::to_string(pos));
                    }
                    if (pos > extraMaxPos) extraMaxPos = pos;
                    RECT barRect{};
                    if (GetWindowRect(bar, &barRect)) {
                        MapWindowPoints(nullptr, extra.found, reinterpret_cast<POINT*>(&barRect), 2);
                        extraBarRect = barRect;
                        extraBarFound = true;
                    }
                }
                if (!extraCloseSent && !closeExtraOn.empty() &&
                    GetFileAttributesW(closeExtraOn.c_str()) != INVALID_FILE_ATTRIBUTES) {
                    PostMessageW(extra.found, WM_CLOSE, 0, 0);
                    extraCloseSent = true;
                }
            } else if (extraLast.found && !extraGone) {
                extraGone = true;
                AppendLine(extraLog, "gone");
            }
        }
        if (search.found != nullptr) {
            const Snapshot now = Take(search.found);
            if (now.found) last = now;
            everVisible = everVisible || now.visible;
            const bool condition = (closeWhen == L"window") ||
                                   (closeWhen == L"visible" && now.visible) ||
                                   (closeWhen == L"text" && FileHolds(watched, closeText));
            if (!closeSent && condition) {
                if (conditionSince == 0) conditionSince = GetTickCount();
                if (GetTickCount() - conditionSince >= settleMs &&
                    (closeOn.empty() ||
                     GetFileAttributesW(closeOn.c_str()) != INVALID_FILE_ATTRIBUTES)) {
                    last = Take(search.found);
                    PostMessageW(search.found, WM_CLOSE, 0, 0);
                    closeSent = true;
                }
            }
        }
        if (GetTickCount() - start > timeoutMs) {
            timedOut = true;
            TerminateProcess(process.hProcess, 259);
            WaitForSingleObject(process.hProcess, 5000);
            break;
        }
    }
    if (extraHook != nullptr) UnhookWindowsHookEx(extraHook);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    std::string extraJson = "null";
    if (!extraClass.empty() && extraLast.found) {
        std::string positions;
        for (int p : extraPositions) {
            if (!positions.empty()) positions += ',';
            positions += std::to_string(p);
        }
        extraJson = "{\"window\":" + SnapshotJson(extraLast) +
                    ",\"maxProgress\":" + std::to_string(extraMaxPos) + ",\"progress\":[" +
                    positions + "],\"barRect\":" +
                    (extraBarFound ? Rect(extraBarRect) : std::string("null")) +
                    ",\"closeSent\":" + (extraCloseSent ? "true" : "false") +
                    ",\"setPositions\":" + SetPositionsJson(extraLog) + "}";
    }
    printf("{\"boxes\":[%s],\"window\":%s,\"everVisible\":%s,\"closeSent\":%s,\"extra\":%s,"
           "\"exitCode\":%lu,\"timedOut\":%s}\n",
           boxes.c_str(), SnapshotJson(last).c_str(), everVisible ? "true" : "false",
           closeSent ? "true" : "false", extraJson.c_str(), exitCode, timedOut ? "true" : "false");
    fflush(stdout);
    return 0;
}
