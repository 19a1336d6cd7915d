// probe_hook.dll: a window-procedure hook the probe places on the watched program's GUI thread.
// It records every position a progress bar is given (PBM_SETPOS), as the line "setpos N" in the
// file named by WRAPPER_PROBE_HOOK_LOG, at the moment the bar takes it. Polling from outside can
// miss a position that lasts only a moment (a bar set to 100 just before its window closes).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeCallWndRetProc(int code, WPARAM wParam,
                                                                      LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        wchar_t className[64] = {};
        if (call->message == PBM_SETPOS && GetClassNameW(call->hwnd, className, 64) > 0 &&
            lstrcmpiW(className, PROGRESS_CLASSW) == 0) {
            wchar_t path[1024] = {};
            const DWORD length = GetEnvironmentVariableW(L"WRAPPER_PROBE_HOOK_LOG", path, 1024);
            if (length > 0 && length < 1024) {
                const int position = static_cast<int>(SendMessageW(call->hwnd, PBM_GETPOS, 0, 0));
                if (FILE* file = _wfopen(path, L"ab")) {
                    fprintf(file, "setpos %d\n", position);
                    fclose(file);
                }
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
