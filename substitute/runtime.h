// Process-wide parts of the substitute runtime: the switches read from the environment, the
// transcript, and the dispatcher that delivers completions and events through the GUI thread's
// message loop.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "runtime_version.h"

namespace substitute {

using Json = nlohmann::ordered_json;

// How a creation step fails when a switch asks for it.
enum class Failure {
    None,
    HResult,  // the completion gets a failing HRESULT and no object
    Null,     // the completion gets S_OK and no object
    Sync,     // the call itself returns a failing HRESULT and never completes
};

// The loader's own second attempt at creating an environment after a failed first one, as the
// vendor's loader makes it.
enum class Retry {
    None,      // the first attempt is the only one
    Succeeds,  // the first attempt fails, the retry succeeds
    Fails,     // both fail; only then does the caller's handler hear of it
};

struct Switches {
    std::wstring scenarioPath;    // WRAPPER_SUBSTITUTE_SCENARIO
    std::wstring transcriptPath;  // WRAPPER_SUBSTITUTE_TRANSCRIPT
    bool noWebView23 = false;     // WRAPPER_SUBSTITUTE_NO_WEBVIEW23 (also no Environment14)
    bool noSettings3 = false;     // WRAPPER_SUBSTITUTE_NO_SETTINGS3
    bool noWebView2_2 = false;    // WRAPPER_SUBSTITUTE_NO_WEBVIEW2_2
    Failure failEnvironment = Failure::None;  // WRAPPER_SUBSTITUTE_FAIL_ENVIRONMENT
    Failure failController = Failure::None;   // WRAPPER_SUBSTITUTE_FAIL_CONTROLLER
    bool failSettings = false;                // WRAPPER_SUBSTITUTE_FAIL_SETTINGS
    bool noHash = false;                      // WRAPPER_SUBSTITUTE_NO_HASH
    Retry retryEnvironment = Retry::None;     // WRAPPER_SUBSTITUTE_RETRY_ENVIRONMENT
    // Not a variable: the user-data folder the environment was created with (the host's, or the
    // default beside the executable). The Chromium driver's profile lives in it.
    std::wstring userDataFolder;
    // Not a variable: the options' AdditionalBrowserArguments (empty without any).
    std::string browserArguments;
    // WRAPPER_SUBSTITUTE_FAIL_NAVIGATION: the host's navigations fail with this
    // COREWEBVIEW2_WEB_ERROR_STATUS (a name of the scenario language); -1: they do not.
    int failNavigation = -1;
    // WRAPPER_SUBSTITUTE_BROWSER_EXIT_EVENT: when BrowserProcessExited comes after a browser
    // exit, a BrowserExitEvent value ("first", "second", "never"; default "second"); a scenario's
    // process-failed step may say otherwise.
    int browserExitEvent = 1;

    // Reads the process environment as it is now (the Win32 block, which also sees
    // SetEnvironmentVariableW made by the host).
    static Switches Read();
};

// The switches as read when the last environment was created.
const Switches& CurrentSwitches();
void SetCurrentSwitches(const Switches& switches);

std::wstring EnvironmentVariable(const wchar_t* name, bool* present = nullptr);

// The thread the runtime belongs to: the one that created the first environment (0 before).
DWORD RuntimeThread();
void BindRuntimeThread();

// JSON lines, one object per line, flushed per line. Every line starts with "seq" (1, 2, ...)
// and "type". Without a transcript path nothing is written, but calls are still counted. Lines
// may be written from any thread (a refused call is recorded on the caller's thread).
class Transcript {
public:
    static Transcript& Get();

    // Opens `path` (truncating it) unless it is already the open file; empty closes. A new path
    // starts the line numbers and the call counts again.
    void Open(const std::wstring& path);
    void Write(const std::string& type, Json fields) noexcept;
    void CountCall(const std::string& method);
    std::size_t CallCount(const std::string& method) const;

private:
    Transcript() = default;
    mutable std::mutex mutex_;
    std::wstring path_;
    std::FILE* file_ = nullptr;
    unsigned long long sequence_ = 0;
    std::map<std::string, std::size_t> calls_;
};

// A call the host made: {"type":"call","object":...,"method":...,<fields>}.
void RecordCall(const char* object, const char* method, Json fields = Json::object()) noexcept;
// An event raised to the host, with the answers read back after the handlers returned.
void RecordEvent(const char* name, Json fields) noexcept;
void Record(const std::string& type, Json fields) noexcept;

std::string HResultText(HRESULT result);
// The UTF-8 text of a nullable wide string, or null.
Json Utf8OrNull(const wchar_t* text);
// A JSON array [left, top, right, bottom].
Json RectJson(const RECT& rect);
Json HResultList(const std::vector<HRESULT>& results);
// Name of a WebView2 interface this runtime knows, or null.
const char* InterfaceName(REFIID riid);

// Delivers work later on the thread that first used it (the runtime's thread), through a
// message-only window: one task per posted message or timer, from that thread's message loop.
// While a callback of the host runs (CallbackScope), the window procedure entered again means the
// handler runs a message loop of its own: that is recorded once per callback as a
// "nestedLoopInCallback" line, and the task or timer that arrived is held back and run after the
// callback returned, so that callbacks never nest. Entering a callback also posts a probe
// message, so that a loop inside it shows even when no task is due.
class Dispatcher {
public:
    static Dispatcher& Get();
    // From any thread.
    void Post(std::function<void()> task);
    // From the runtime's thread.
    void PostAfter(unsigned milliseconds, std::function<void()> task);

    // Called by CallbackScope: the callback that was running before (null when none) is given
    // back to LeaveCallback.
    const char* EnterCallback(const char* callback);
    void LeaveCallback(const char* outer);
    // The host's callback running now, or null.
    const char* CurrentCallback() const { return callback_; }

private:
    Dispatcher();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Handle(UINT message, WPARAM wParam);
    void RunNext();
    void RunTimer(UINT_PTR id);

    HWND window_ = nullptr;
    std::mutex mutex_;  // guards queue_: tasks are posted from other threads too
    std::deque<std::function<void()>> queue_;
    std::map<UINT_PTR, std::function<void()>> timers_;
    UINT_PTR nextTimer_ = 1;
    const char* callback_ = nullptr;  // the host's callback running now
    bool nestedLoopRecorded_ = false;
    unsigned heldTasks_ = 0;  // task messages taken by a loop inside a callback, to post again
};

// Keeps this DLL loaded until the process ends: its objects and window procedure may be used
// after the host frees the library.
void PinModule();

// The version this runtime reports for itself.
inline constexpr wchar_t kRuntimeVersion[] = L"" SUBSTITUTE_RUNTIME_VERSION;

}  // namespace substitute
