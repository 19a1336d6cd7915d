// Registered in the test prefix as the handler of http, https, mailto and a custom scheme: appends
// the URI it was started with to the file named by WRAPPER_TEST_OPEN_LOG, one line per start.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    wchar_t logPath[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"WRAPPER_TEST_OPEN_LOG", logPath, MAX_PATH) == 0) return 1;
    FILE* log = _wfopen(logPath, L"ab");
    if (log == nullptr) return 1;
    for (int i = 1; i < argc; ++i) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        char* text = new char[bytes];
        WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, text, bytes, nullptr, nullptr);
        std::fprintf(log, "%s%s", i > 1 ? " " : "", text);
        delete[] text;
    }
    std::fprintf(log, "\n");
    std::fclose(log);
    return 0;
}
