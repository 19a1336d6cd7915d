#include "runtime.h"

#include <atomic>
#include <cstdio>
#include <string_view>

#include "com_support.h"
#include "scenario.h"
#include "config/test_build_marker.h"

// The substitute is test infrastructure, like a host built with test hooks, and carries the same
// marker in both of its libraries, so that a packager refuses to ship it as the vendor's loader.
extern "C" __attribute__((used)) constexpr char WrapperSubstituteTestBuildMarker[] =
    "WRAPPER-TEST-HOOKS-BUILD";
static_assert(std::string_view(WrapperSubstituteTestBuildMarker) == kTestBuildMarker,
              "the substitute's marker is the packager's marker text");

namespace substitute {
namespace {

bool FlagSet(const wchar_t* name) {
    const std::wstring value = EnvironmentVariable(name);
    return !value.empty() && value != L"0";
}

Failure FailureMode(const wchar_t* name) {
    const std::wstring value = EnvironmentVariable(name);
    if (value == L"hresult") return Failure::HResult;
    if (value == L"null") return Failure::Null;
    if (value == L"sync") return Failure::Sync;
    return Failure::None;
}

Retry RetryMode(const wchar_t* name) {
    if (!FlagSet(name)) return Retry::None;
    return EnvironmentVariable(name) == L"fails" ? Retry::Fails : Retry::Succeeds;
}

Switches& MutableSwitches() {
    static Switches* switches = new Switches();  // process lifetime
    return *switches;
}

struct NamedInterface {
    const IID* iid;
    const char* name;
};

#define NAMED(Interface) \
    NamedInterface { &__uuidof(Interface), #Interface }
const NamedInterface kInterfaceNames[] = {
    NAMED(ICoreWebView2Environment),
    NAMED(ICoreWebView2Environment2),
    NAMED(ICoreWebView2Environment3),
    NAMED(ICoreWebView2Environment4),
    NAMED(ICoreWebView2Environment5),
    NAMED(ICoreWebView2Environment6),
    NAMED(ICoreWebView2Environment7),
    NAMED(ICoreWebView2Environment8),
    NAMED(ICoreWebView2Environment9),
    NAMED(ICoreWebView2Environment10),
    NAMED(ICoreWebView2Environment11),
    NAMED(ICoreWebView2Environment12),
    NAMED(ICoreWebView2Environment13),
    NAMED(ICoreWebView2Environment14),
    NAMED(ICoreWebView2Controller),
    NAMED(ICoreWebView2),
    NAMED(ICoreWebView2_2),
    NAMED(ICoreWebView2_3),
    NAMED(ICoreWebView2_4),
    NAMED(ICoreWebView2_5),
    NAMED(ICoreWebView2_6),
    NAMED(ICoreWebView2_7),
    NAMED(ICoreWebView2_8),
    NAMED(ICoreWebView2_9),
    NAMED(ICoreWebView2_10),
    NAMED(ICoreWebView2_11),
    NAMED(ICoreWebView2_12),
    NAMED(ICoreWebView2_13),
    NAMED(ICoreWebView2_14),
    NAMED(ICoreWebView2_15),
    NAMED(ICoreWebView2_16),
    NAMED(ICoreWebView2_17),
    NAMED(ICoreWebView2_18),
    NAMED(ICoreWebView2_19),
    NAMED(ICoreWebView2_20),
    NAMED(ICoreWebView2_21),
    NAMED(ICoreWebView2_22),
    NAMED(ICoreWebView2_23),
    NAMED(ICoreWebView2Settings),
    NAMED(ICoreWebView2Settings2),
    NAMED(ICoreWebView2Settings3),
};
#undef NAMED

constexpr UINT kRunTaskMessage = WM_APP + 1;
constexpr UINT kProbeMessage = WM_APP + 2;  // only shows whether a loop ran inside a callback
constexpr wchar_t kWindowClass[] = L"WrapperSubstituteDispatcher";

}  // namespace

std::wstring EnvironmentVariable(const wchar_t* name, bool* present) {
    if (present != nullptr) *present = false;
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
    if (length >= size) return {};
    value.resize(length);
    if (present != nullptr) *present = true;
    return value;
}

Switches Switches::Read() {
    Switches switches;
    switches.scenarioPath = EnvironmentVariable(L"WRAPPER_SUBSTITUTE_SCENARIO");
    switches.transcriptPath = EnvironmentVariable(L"WRAPPER_SUBSTITUTE_TRANSCRIPT");
    switches.noWebView23 = FlagSet(L"WRAPPER_SUBSTITUTE_NO_WEBVIEW23");
    switches.noSettings3 = FlagSet(L"WRAPPER_SUBSTITUTE_NO_SETTINGS3");
    switches.noWebView2_2 = FlagSet(L"WRAPPER_SUBSTITUTE_NO_WEBVIEW2_2");
    switches.failEnvironment = FailureMode(L"WRAPPER_SUBSTITUTE_FAIL_ENVIRONMENT");
    switches.failController = FailureMode(L"WRAPPER_SUBSTITUTE_FAIL_CONTROLLER");
    switches.failSettings = FlagSet(L"WRAPPER_SUBSTITUTE_FAIL_SETTINGS");
    switches.noHash = FlagSet(L"WRAPPER_SUBSTITUTE_NO_HASH");
    switches.retryEnvironment = RetryMode(L"WRAPPER_SUBSTITUTE_RETRY_ENVIRONMENT");
    const int exitEvent = ParseBrowserExitEvent(
        ToUtf8(EnvironmentVariable(L"WRAPPER_SUBSTITUTE_BROWSER_EXIT_EVENT")));
    if (exitEvent >= 0) switches.browserExitEvent = exitEvent;
    const std::string failNavigation =
        ToUtf8(EnvironmentVariable(L"WRAPPER_SUBSTITUTE_FAIL_NAVIGATION"));
    for (int status = 0;
         !failNavigation.empty() &&
         status <= COREWEBVIEW2_WEB_ERROR_STATUS_VALID_PROXY_AUTHENTICATION_REQUIRED;
         ++status) {
        if (failNavigation == WebErrorStatusName(status)) {
            switches.failNavigation = status;
            break;
        }
    }
    return switches;
}

const Switches& CurrentSwitches() { return MutableSwitches(); }

namespace {
std::atomic<DWORD> runtimeThread{0};
}  // namespace

DWORD RuntimeThread() { return runtimeThread.load(); }

void BindRuntimeThread() {
    DWORD unbound = 0;
    runtimeThread.compare_exchange_strong(unbound, GetCurrentThreadId());
}

HRESULT AdmitCall(const char* object, const char* method, const bool* closed) noexcept {
    const DWORD owner = RuntimeThread();
    const DWORD caller = GetCurrentThreadId();
    if (owner != 0 && caller != owner) {
        Record("wrongThread", Json{{"object", object}, {"method", method}, {"thread", caller}});
        return RPC_E_WRONG_THREAD;
    }
    if (closed != nullptr && *closed) {
        Record("callAfterClose", Json{{"object", object}, {"method", method}});
        return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    }
    return S_OK;
}

CallbackScope::CallbackScope(const char* callback) noexcept
    : outer_(Dispatcher::Get().EnterCallback(callback)) {}

CallbackScope::~CallbackScope() { Dispatcher::Get().LeaveCallback(outer_); }
void SetCurrentSwitches(const Switches& switches) { MutableSwitches() = switches; }

Transcript& Transcript::Get() {
    static Transcript* transcript = new Transcript();  // process lifetime; flushed per line
    return *transcript;
}

void Transcript::Open(const std::wstring& path) {
    const std::lock_guard lock(mutex_);
    if (path == path_ && (file_ != nullptr || path.empty())) return;
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    // Another file is another run: its lines count from 1 and its calls from 0 (a process that
    // makes several environments with one transcript keeps counting in it).
    if (path != path_) {
        sequence_ = 0;
        calls_.clear();
    }
    path_ = path;
    if (!path.empty()) file_ = _wfopen(path.c_str(), L"wb");
}

void Transcript::Write(const std::string& type, Json fields) noexcept {
    try {
        const std::lock_guard lock(mutex_);
        ++sequence_;
        if (file_ == nullptr) return;
        Json line;
        line["seq"] = sequence_;
        line["type"] = type;
        if (fields.is_object()) {
            for (auto& [key, value] : fields.items()) line[key] = std::move(value);
        }
        std::string text = line.dump(-1, ' ', false, Json::error_handler_t::replace);
        text += '\n';
        std::fwrite(text.data(), 1, text.size(), file_);
        std::fflush(file_);
    } catch (...) {
    }
}

void Transcript::CountCall(const std::string& method) {
    const std::lock_guard lock(mutex_);
    ++calls_[method];
}

std::size_t Transcript::CallCount(const std::string& method) const {
    const std::lock_guard lock(mutex_);
    const auto found = calls_.find(method);
    return found == calls_.end() ? 0 : found->second;
}

void Record(const std::string& type, Json fields) noexcept {
    Transcript::Get().Write(type, std::move(fields));
}

void RecordCall(const char* object, const char* method, Json fields) noexcept {
    try {
        Transcript::Get().CountCall(method);
        Json line;
        line["object"] = object;
        line["method"] = method;
        for (auto& [key, value] : fields.items()) line[key] = std::move(value);
        Record("call", std::move(line));
    } catch (...) {
    }
}

void RecordEvent(const char* name, Json fields) noexcept {
    try {
        Json line;
        line["event"] = name;
        for (auto& [key, value] : fields.items()) line[key] = std::move(value);
        Record("event", std::move(line));
    } catch (...) {
    }
}

std::string HResultText(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
    return text;
}

Json Utf8OrNull(const wchar_t* text) {
    return text == nullptr ? Json(nullptr) : Json(ToUtf8(text));
}

Json RectJson(const RECT& rect) {
    return Json::array({rect.left, rect.top, rect.right, rect.bottom});
}

Json HResultList(const std::vector<HRESULT>& results) {
    Json list = Json::array();
    for (HRESULT result : results) list.push_back(HResultText(result));
    return list;
}

const char* InterfaceName(REFIID riid) {
    for (const NamedInterface& named : kInterfaceNames) {
        if (IsEqualIID(riid, *named.iid)) return named.name;
    }
    return nullptr;
}

Dispatcher& Dispatcher::Get() {
    static Dispatcher* dispatcher = new Dispatcher();  // process lifetime, like its window
    return *dispatcher;
}

Dispatcher::Dispatcher() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&Dispatcher::WindowProc), &module);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Dispatcher::WindowProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);
    window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module,
                              nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void Dispatcher::Post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(std::move(task));
    }
    PostMessageW(window_, kRunTaskMessage, 0, 0);
}

void Dispatcher::PostAfter(unsigned milliseconds, std::function<void()> task) {
    const UINT_PTR id = nextTimer_++;
    timers_.emplace(id, std::move(task));
    SetTimer(window_, id, milliseconds, nullptr);
}

const char* Dispatcher::EnterCallback(const char* callback) {
    const char* outer = callback_;
    if (outer != nullptr) {
        Record("failure", Json{{"message", std::string("callback ") + callback +
                                               " raised inside callback " + outer}});
    } else {
        nestedLoopRecorded_ = false;
        PostMessageW(window_, kProbeMessage, 0, 0);
    }
    callback_ = callback;
    return outer;
}

void Dispatcher::LeaveCallback(const char* outer) {
    callback_ = outer;
    if (outer != nullptr) return;
    for (; heldTasks_ > 0; --heldTasks_) PostMessageW(window_, kRunTaskMessage, 0, 0);
}

void Dispatcher::RunNext() {
    std::function<void()> task;
    {
        const std::lock_guard lock(mutex_);
        if (queue_.empty()) return;
        task = std::move(queue_.front());
        queue_.pop_front();
    }
    task();
}

void Dispatcher::RunTimer(UINT_PTR id) {
    KillTimer(window_, id);
    const auto found = timers_.find(id);
    if (found == timers_.end()) return;
    std::function<void()> task = std::move(found->second);
    timers_.erase(found);
    task();
}

void Dispatcher::Handle(UINT message, WPARAM wParam) {
    if (callback_ != nullptr) {
        // A message loop runs inside the host's callback: record it, and hold back what arrived.
        if (!nestedLoopRecorded_) {
            nestedLoopRecorded_ = true;
            Record("nestedLoopInCallback", Json{{"callback", callback_}});
        }
        if (message == kRunTaskMessage) {
            ++heldTasks_;
        } else if (message == WM_TIMER) {
            // Due now: it becomes a task, run after the callback.
            const auto id = static_cast<UINT_PTR>(wParam);
            KillTimer(window_, id);
            const auto found = timers_.find(id);
            if (found != timers_.end()) {
                {
                    const std::lock_guard lock(mutex_);
                    queue_.push_back(std::move(found->second));
                }
                timers_.erase(found);
                ++heldTasks_;
            }
        }
        return;
    }
    if (message == kRunTaskMessage) {
        RunNext();
    } else if (message == WM_TIMER) {
        RunTimer(static_cast<UINT_PTR>(wParam));
    }
}

LRESULT CALLBACK Dispatcher::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Dispatcher*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr &&
        (message == kRunTaskMessage || message == WM_TIMER || message == kProbeMessage)) {
        try {
            self->Handle(message, wParam);
        } catch (const std::exception& error) {
            Record("failure", Json{{"message", std::string("internal error: ") + error.what()}});
        } catch (...) {
            Record("failure", Json{{"message", "internal error"}});
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void PinModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&PinModule), &module);
}

}  // namespace substitute
