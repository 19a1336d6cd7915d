// A DI2ZozUzoraru.dll for the end-to-end tests. It appends one JSON line per event to the file
// named by WRAPPER_TEST_EXTENSION_LOG:
//   {"call":NAME,...}  a call from the host, with its arguments, the calling thread and how many
//                      main windows that thread owns at that moment;
//   {"app":NAME,...}   a call this library made through IWrapperApp, with its argument and result;
//   {"dll":"detach","freeLibrary":BOOL}  the library leaving the process (true: by FreeLibrary).
// Text is written as raw UTF-8 with only quotes, backslashes and control bytes escaped, so a
// reader gets back the exact bytes the host handed over.
//
// One source, several libraries; the variant is chosen when compiling:
//   TEST_EXTENSION_FULL        all four exports; registers "alpha" and "β-beta"; reads the package
//                              text and the documents folder in Init and answers every page
//                              message with {"type":"extension-reply","count":N} after reading
//                              every folder path
//   TEST_EXTENSION_NO_INIT     only OnExtensionMessage and Release
//   TEST_EXTENSION_INIT_NULL   Init returns null
//   TEST_EXTENSION_INIT_EMPTY  Init returns a list whose first entry is null
//   TEST_EXTENSION_DUPLICATES  Init registers "a", "a", "b"
//   TEST_EXTENSION_SENDS       sends two texts from Init and one from OnMainWindowCreated
//   TEST_EXTENSION_BAD_ID      registers "ok" and an id that is not UTF-8; sends one text from Init
//                              and one from every OnExtensionMessage
//   TEST_EXTENSION_THREADED    starts a worker thread in Init that sends {"type":"worker","n":N}
//                              for N = 0 to 999: the first 500 at once, then (once
//                              GetDirectoryPath("<documents>"), asked from the worker, is no
//                              longer empty, i.e. after the first handshake) the other 500 with
//                              a short pause after each; it logs {"worker":"documents",...} and
//                              {"worker":"done",...}. Release stops and joins it.
//   TEST_EXTENSION_RELAY       starts a worker thread in Init that, once the first handshake is
//                              done, sends {"type":"relayed","n":1}, then waits for the page's
//                              first extension message before it sends {"type":"relayed","n":2}
//   TEST_EXTENSION_MODAL       every OnExtensionMessage runs a message loop of its own for 200 ms,
//                              as a message box would, then logs {"modal":"end","n":N} (N counts
//                              the messages received), sends {"type":"modal-reply","n":N} and,
//                              should it have been entered again from that loop, logs
//                              {"modal":"reentered"}; Release sends {"type":"from-release"}
//   TEST_EXTENSION_PUMPS       Release runs a message loop of its own for 300 ms (as a library
//                              joining a worker on this thread would) and logs
//                              {"released":"end"} when it returns
#include <windows.h>

#include <string>

#include "extensions/iwrapper_app.h"

#if defined(TEST_EXTENSION_FULL)
const char* kComponentIds[] = {"alpha", "\xCE\xB2-beta", nullptr};
#elif defined(TEST_EXTENSION_INIT_NULL)
const char** const kComponentIds = nullptr;
#elif defined(TEST_EXTENSION_INIT_EMPTY)
const char* kComponentIds[] = {nullptr};
#elif defined(TEST_EXTENSION_DUPLICATES)
const char* kComponentIds[] = {"a", "a", "b", nullptr};
#elif defined(TEST_EXTENSION_SENDS)
const char* kComponentIds[] = {"sender", nullptr};
#elif defined(TEST_EXTENSION_BAD_ID)
const char* kComponentIds[] = {"ok", "bad\xFF\xFEid", nullptr};
#elif defined(TEST_EXTENSION_THREADED)
const char* kComponentIds[] = {"worker", nullptr};
#elif defined(TEST_EXTENSION_RELAY)
const char* kComponentIds[] = {"relay", nullptr};
#elif defined(TEST_EXTENSION_PUMPS)
const char* kComponentIds[] = {"pumps", nullptr};
#elif defined(TEST_EXTENSION_MODAL)
const char* kComponentIds[] = {"modal", nullptr};
#elif !defined(TEST_EXTENSION_NO_INIT)
#error "choose a TEST_EXTENSION_ variant"
#endif

#define TEST_EXTENSION_EXPORT extern "C" __declspec(dllexport)

namespace {

IWrapperApp* g_app = nullptr;
int g_messagesReceived = 0;

// Takes and dispatches every message of this thread for `milliseconds`, as a modal box does.
[[maybe_unused]] void PumpMessagesFor(ULONGLONG milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

std::string Quoted(const char* text) {
    if (text == nullptr) return "null";
    std::string out = "\"";
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Appends one line to the log; plain Win32 file calls, so that it also works from DllMain.
void Log(const std::string& line) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"WRAPPER_TEST_EXTENSION_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

BOOL CALLBACK CountMainWindow(HWND window, LPARAM count) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (lstrcmpW(name, L"WindowsWebview2Wrapper") == 0) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// A host call: its name, the calling thread, the main windows that thread owns, then `fields`
// (",\"name\":value" pieces).
void LogCall(const char* name, const std::string& fields = "") {
    int windows = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountMainWindow, reinterpret_cast<LPARAM>(&windows));
    Log(std::string("{\"call\":\"") + name +
        "\",\"thread\":" + std::to_string(GetCurrentThreadId()) +
        ",\"mainWindows\":" + std::to_string(windows) + fields + "}");
}

[[maybe_unused]] void Send(const char* json) {
    Log("{\"app\":\"SendWebMessage\",\"json\":" + Quoted(json) + "}");
    g_app->SendWebMessage(json);
}

[[maybe_unused]] void ReadDirectoryPath(const char* tag) {
    const char* path = g_app->GetDirectoryPath(tag);
    Log("{\"app\":\"GetDirectoryPath\",\"tag\":" + Quoted(tag) + ",\"result\":" + Quoted(path) +
        "}");
}

#if defined(TEST_EXTENSION_THREADED)
constexpr int kWorkerMessages = 1000;
HANDLE g_worker = nullptr;
volatile LONG g_stopWorker = 0;

std::string ThreadField() { return ",\"thread\":" + std::to_string(GetCurrentThreadId()); }

DWORD WINAPI Worker(void*) {
    int sent = 0;
    const auto send = [&](int n) {
        const std::string text = R"({"type":"worker","n":)" + std::to_string(n) + "}";
        g_app->SendWebMessage(text.c_str());
        ++sent;
    };
    for (int n = 0; n < kWorkerMessages / 2; ++n) send(n);
    // The first handshake publishes the folders; until then every folder is unknown.
    std::string documents;
    for (int i = 0; i < 6000 && documents.empty() && g_stopWorker == 0; ++i) {
        documents = g_app->GetDirectoryPath("<documents>");
        if (documents.empty()) Sleep(10);
    }
    Log("{\"worker\":\"documents\",\"result\":" + Quoted(documents.c_str()) + ThreadField() + "}");
    for (int n = kWorkerMessages / 2; n < kWorkerMessages && g_stopWorker == 0; ++n) {
        send(n);
        Sleep(1);
    }
    Log("{\"worker\":\"done\",\"sent\":" + std::to_string(sent) + ThreadField() + "}");
    return 0;
}
#endif

#if defined(TEST_EXTENSION_RELAY)
HANDLE g_worker = nullptr;
HANDLE g_pageSpoke = CreateEventW(nullptr, TRUE, FALSE, nullptr);

DWORD WINAPI Worker(void*) {
    for (int i = 0; i < 6000 && g_app->GetDirectoryPath("<documents>")[0] == '\0'; ++i) Sleep(10);
    g_app->SendWebMessage(R"({"type":"relayed","n":1})");
    WaitForSingleObject(g_pageSpoke, 20000);
    g_app->SendWebMessage(R"({"type":"relayed","n":2})");
    return 0;
}
#endif

}  // namespace

#if !defined(TEST_EXTENSION_NO_INIT)
TEST_EXTENSION_EXPORT const char** Init(const char* exeFolder, const char* contentFolder,
                                        const char* userDataFolder, IWrapperApp* app) {
    LogCall("Init", ",\"exeFolder\":" + Quoted(exeFolder) + ",\"contentFolder\":" +
                        Quoted(contentFolder) + ",\"userDataFolder\":" + Quoted(userDataFolder) +
                        ",\"app\":" + (app != nullptr ? "true" : "false"));
    g_app = app;
#if defined(TEST_EXTENSION_FULL)
    Log("{\"app\":\"GetPackageJson\",\"result\":" + Quoted(g_app->GetPackageJson()) + "}");
    ReadDirectoryPath("<documents>");
#elif defined(TEST_EXTENSION_SENDS)
    Send(R"({"type":"from-init","n":1})");
    Send("{\"type\":\"from-init\",\"n\":2,\"text\":\"\xC3\xA9t\xC3\xA9\"}");
#elif defined(TEST_EXTENSION_BAD_ID)
    Send(R"({"type":"from-init"})");
#elif defined(TEST_EXTENSION_THREADED) || defined(TEST_EXTENSION_RELAY)
    g_worker = CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr);
#endif
    return kComponentIds;
}

TEST_EXTENSION_EXPORT void OnMainWindowCreated(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    LogCall("OnMainWindowCreated",
            std::string(",\"isMainWindow\":") +
                (lstrcmpW(name, L"WindowsWebview2Wrapper") == 0 ? "true" : "false") +
                ",\"visible\":" + (IsWindowVisible(window) ? "true" : "false"));
#if defined(TEST_EXTENSION_FULL)
    ReadDirectoryPath("<documents>");
#elif defined(TEST_EXTENSION_SENDS)
    Send("not json, passed on as it is");
#endif
}
#endif

TEST_EXTENSION_EXPORT void OnExtensionMessage(const char* json) {
    ++g_messagesReceived;
    LogCall("OnExtensionMessage", ",\"json\":" + Quoted(json));
#if defined(TEST_EXTENSION_FULL)
    for (const char* tag :
         {"<app>", "<web-resource>", "<current-app-data>", "<local-app-data>", "<roaming-app-data>",
          "<desktop>", "<documents>", "<downloads>", "<pictures>", "<profile>", "<saved-games>",
          "<screenshots>", "<videos>", "<Documents>", ""}) {
        ReadDirectoryPath(tag);
    }
    const std::string reply =
        R"({"type":"extension-reply","count":)" + std::to_string(g_messagesReceived) + "}";
    Send(reply.c_str());
#elif defined(TEST_EXTENSION_BAD_ID)
    Send(R"({"type":"later"})");
#elif defined(TEST_EXTENSION_RELAY)
    SetEvent(g_pageSpoke);
#elif defined(TEST_EXTENSION_MODAL)
    static bool inside = false;
    if (inside) Log(R"({"modal":"reentered"})");
    inside = true;
    PumpMessagesFor(200);
    inside = false;
    const std::string reply =
        R"({"type":"modal-reply","n":)" + std::to_string(g_messagesReceived) + "}";
    Log(R"({"modal":"end","n":)" + std::to_string(g_messagesReceived) + "}");
    Send(reply.c_str());
#endif
}

TEST_EXTENSION_EXPORT void Release() {
#if defined(TEST_EXTENSION_THREADED)
    // The worker is stopped and joined first, so that its last line comes before this call's.
    InterlockedExchange(&g_stopWorker, 1);
    if (g_worker != nullptr) {
        WaitForSingleObject(g_worker, 60000);
        CloseHandle(g_worker);
        g_worker = nullptr;
    }
#elif defined(TEST_EXTENSION_RELAY)
    SetEvent(g_pageSpoke);
    if (g_worker != nullptr) {
        WaitForSingleObject(g_worker, 60000);
        CloseHandle(g_worker);
        g_worker = nullptr;
    }
#endif
#if defined(TEST_EXTENSION_MODAL)
    Send(R"({"type":"from-release"})");  // too late: the control is closed
#endif
    LogCall("Release");
#if defined(TEST_EXTENSION_PUMPS)
    PumpMessagesFor(300);
    Log(R"({"released":"end"})");
#endif
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH) {
        Log(std::string("{\"dll\":\"detach\",\"freeLibrary\":") +
            (reserved == nullptr ? "true" : "false") + "}");
    }
    return TRUE;
}
