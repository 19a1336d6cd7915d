// The scenario language: page-side steps, one per line, parsed into a list the player runs in
// order. Plain C++ (no Windows headers); enum-like values carry the WebView2 numbers.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace substitute {

enum class StepKind {
    Navigate,          // navigate URI
    Request,           // request METHOD URI CONTEXT [SOURCE] [Name: value]...
    DomContentLoaded,  // domcontentloaded
    MessageJson,       // message-json SOURCE JSON
    MessageString,     // message-string SOURCE TEXT
    Title,             // title [TEXT]
    Fullscreen,        // fullscreen true|false
    Close,             // close
    NewWindow,         // new-window URI
    Permission,        // permission KIND URI
    Key,               // key VK [down|up|system-down|system-up]
    Wait,              // wait METHOD COUNT [TIMEOUT_MS]
    Sleep,             // sleep MS
    Snapshot,          // snapshot
    Deactivate,        // deactivate
    Activate,          // activate
    Minimize,          // minimize
    Restore,           // restore
    ProcessFailed,     // process-failed KIND [REASON [EXIT_CODE]] [exit-event ORDER]
    NavigateFail,      // navigate-fail URI STATUS
    End,               // end
};

struct ScenarioStep {
    StepKind kind = StepKind::End;
    int line = 0;        // 1-based line in the file
    std::string text;    // the line as written
    std::string uri;     // navigate, request, message source, new-window, permission
    std::string method;  // request method, or the host method a wait counts
    std::string text2;   // message payload or title
    std::vector<std::pair<std::string, std::string>> headers;  // request headers, in order
    int context = 0;       // COREWEBVIEW2_WEB_RESOURCE_CONTEXT value
    int source = 1;        // who asks: a COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS flag
    int permission = 0;    // COREWEBVIEW2_PERMISSION_KIND value
    int keyEventKind = 0;  // COREWEBVIEW2_KEY_EVENT_KIND value
    unsigned virtualKey = 0;
    bool flag = false;          // fullscreen value
    unsigned count = 0;         // wait count
    unsigned milliseconds = 0;  // sleep length or wait timeout
    int processKind = 0;        // COREWEBVIEW2_PROCESS_FAILED_KIND value
    int processReason = 0;      // COREWEBVIEW2_PROCESS_FAILED_REASON value
    int exitCode = 0;           // the failed process's exit code
    int exitEvent = -1;         // a BrowserExitEvent value; -1: the runtime's switch decides
    int webErrorStatus = 0;     // COREWEBVIEW2_WEB_ERROR_STATUS value of a failing navigation
};

struct ParsedScenario {
    std::vector<ScenarioStep> steps;
    std::vector<std::string> errors;  // "line N: ..." for each line that could not be read
};

ParsedScenario ParseScenario(std::string_view text);

// Names shared by the scenario language and the transcript.
const char* ResourceContextName(int context);
const char* PermissionKindName(int kind);
const char* KeyEventKindName(int kind);
const char* PermissionStateName(int state);
const char* ProcessFailedKindName(int kind);
const char* ProcessFailedReasonName(int reason);
const char* WebErrorStatusName(int status);
// "document", "shared-worker", "service-worker" for a single request source flag.
const char* RequestSourceName(int source);
// The reason and exit code a failure of `kind` reports when the scenario names none.
int DefaultProcessFailedReason(int kind);
int DefaultExitCode(int reason);

inline constexpr unsigned kDefaultWaitMilliseconds = 5000;

// When the environment raises BrowserProcessExited after its browser process exited, relative to
// the control's ProcessFailed: the runtime documents no order, and runtimes before 1.0.992.28
// never raise it.
enum BrowserExitEvent { kExitEventFirst = 0, kExitEventSecond = 1, kExitEventNever = 2 };
// "first", "second", "never"; ParseBrowserExitEvent gives -1 for another word.
const char* BrowserExitEventName(int order);
int ParseBrowserExitEvent(std::string_view word);

}  // namespace substitute
