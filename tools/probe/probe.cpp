// probe: starts a program, watches it from outside and reports, as one JSON object on stdout,
// every message box it showed (caption, text, icon kind; each is answered with OK), the state of
// its main window (found by class name), and its exit code.
//
//   probe.exe [--timeout MS] [--close-when never|window|visible] [--settle MS]
//             [--class NAME] [--extra-class NAME] -- PROGRAM [ARGS...]
//
// --close-when: once the main window exists (window) or is visible (visible), wait --settle
// milliseconds, take a final snapshot and send it WM_CLOSE. On timeout the program is killed.
// --extra-class: also report the first window of that class the program shows (e.g. a progress
// window), with the largest progress-bar position seen in it.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
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

std::string IconKind(HWND box) {
    // The icon's control id differs between systems: look for the icon-style static control.
    HWND iconControl = nullptr;
    EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&iconControl));
    if (iconControl == nullptr) return "none";
    auto icon = reinterpret_cast<HICON>(SendMessageW(iconControl, STM_GETICON, 0, 0));
    if (icon == nullptr) return "none";
    const struct {
        LPCWSTR id;
        const char* name;
    } kinds[] = {{IDI_HAND, "error"},
                 {IDI_ASTERISK, "information"},
                 {IDI_EXCLAMATION, "warning"},
                 {IDI_QUESTION, "question"}};
    for (const auto& kind : kinds) {
        if (LoadIconW(nullptr, kind.id) == icon) return kind.name;
    }
    return "unknown";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD timeoutMs = 30000;
    DWORD settleMs = 300;
    std::wstring closeWhen = L"never";
    std::wstring className = L"WindowsWebview2Wrapper";
    std::wstring extraClass;
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
    const DWORD start = GetTickCount();
    bool timedOut = false;
    for (;;) {
        if (WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) break;
        Search search{process.dwProcessId, className, nullptr, {}};
        EnumWindows(FindWindows, reinterpret_cast<LPARAM>(&search));
        for (HWND box : search.boxes) {
            if (!boxes.empty()) boxes += ",";
            boxes += "{\"caption\":" + Json(TextOf(box)) + ",\"text\":" +
                     Json(TextOf(GetDlgItem(box, 0xFFFF))) + ",\"icon\":\"" + IconKind(box) + "\"}";
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
            // Wait for the box to go before looking again, so it is reported once.
            for (int k = 0; k < 250 && IsWindow(box) && IsWindowVisible(box); ++k) Sleep(20);
        }
        if (!extraClass.empty()) {
            Search extra{process.dwProcessId, extraClass, nullptr, {}};
            EnumWindows(FindWindows, reinterpret_cast<LPARAM>(&extra));
            if (extra.found != nullptr) {
                extraLast = Take(extra.found);
                HWND bar = FindWindowExW(extra.found, nullptr, PROGRESS_CLASSW, nullptr);
                if (bar != nullptr) {
                    const int pos = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
                    if (extraPositions.empty() || extraPositions.back() != pos)
                        extraPositions.push_back(pos);
                    if (pos > extraMaxPos) extraMaxPos = pos;
                }
            }
        }
        if (search.found != nullptr) {
            const Snapshot now = Take(search.found);
            if (now.found) last = now;
            everVisible = everVisible || now.visible;
            const bool condition = (closeWhen == L"window") || (closeWhen == L"visible" && now.visible);
            if (!closeSent && condition) {
                if (conditionSince == 0) conditionSince = GetTickCount();
                if (GetTickCount() - conditionSince >= settleMs) {
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
                    positions + "]}";
    }
    printf("{\"boxes\":[%s],\"window\":%s,\"everVisible\":%s,\"closeSent\":%s,\"extra\":%s,"
           "\"exitCode\":%lu,\"timedOut\":%s}\n",
           boxes.c_str(), SnapshotJson(last).c_str(), everVisible ? "true" : "false",
           closeSent ? "true" : "false", extraJson.c_str(), exitCode, timedOut ? "true" : "false");
    fflush(stdout);
    return 0;
}
