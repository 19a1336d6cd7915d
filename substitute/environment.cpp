#include "environment.h"

#include <cwctype>
#include <map>
#include <mutex>

#include "collections.h"
#include "scenario.h"
#include "controller.h"
#include "event_args.h"
#include "web_resource.h"
#include "webview.h"

namespace substitute {
namespace {

constexpr char kObject[] = "environment";
constexpr HRESULT kEnvironmentFailure = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
constexpr HRESULT kControllerFailure = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);

const char* FailureName(Failure failure) {
    switch (failure) {
        case Failure::None:
            return nullptr;
        case Failure::HResult:
            return "hresult";
        case Failure::Null:
            return "null";
        case Failure::Sync:
            return "sync";
    }
    return nullptr;
}

Json SwitchList(const Switches& switches) {
    Json list = Json::array();
    if (switches.noWebView23) list.push_back("no-webview23");
    if (switches.noSettings3) list.push_back("no-settings3");
    if (switches.noWebView2_2) list.push_back("no-webview2_2");
    if (const char* mode = FailureName(switches.failEnvironment))
        list.push_back(std::string("fail-environment=") + mode);
    if (const char* mode = FailureName(switches.failController))
        list.push_back(std::string("fail-controller=") + mode);
    if (switches.failSettings) list.push_back("fail-settings");
    if (switches.noHash) list.push_back("no-hash");
    if (switches.retryEnvironment == Retry::Succeeds) list.push_back("retry-environment=succeeds");
    if (switches.retryEnvironment == Retry::Fails) list.push_back("retry-environment=fails");
    if (switches.failNavigation >= 0)
        list.push_back(std::string("fail-navigation=") +
                       WebErrorStatusName(switches.failNavigation));
    return list;
}

// Reads one string option through the host's getter; null when the getter fails.
template <typename Getter>
Json ReadOption(ICoreWebView2EnvironmentOptions* options, Getter getter) {
    LPWSTR value = nullptr;
    std::string text;
    if (!TakeString((options->*getter)(&value), value, text)) return nullptr;
    return text;
}

std::wstring ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Creates the folder and its missing parents.
bool CreateFolders(const std::wstring& path) {
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\' || path[i] == L'/') {
            const std::wstring prefix = path.substr(0, i);
            if (prefix.empty() || prefix.back() == L':' || IsFolder(prefix)) continue;
            CreateDirectoryW(prefix.c_str(), nullptr);
        }
    }
    return IsFolder(path);
}

template <typename Handler, typename Object>
void PostCompletion(const char* name, ComPtr<Handler> handler, HRESULT errorCode,
                    ComPtr<Object> object, std::function<void()> after) {
    Dispatcher::Get().Post([name, handler, errorCode, object, after] {
        HRESULT result = E_UNEXPECTED;
        try {
            CallbackScope scope(name);
            result = handler->Invoke(errorCode, object.Get());
        } catch (...) {
        }
        Record("completion", Json{{"handler", name},
                                  {"errorCode", HResultText(errorCode)},
                                  {"object", object != nullptr},
                                  {"result", HResultText(result)}});
        if (after) after();
    });
}

}  // namespace

bool IsAbsolutePath(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) return true;
    return path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') &&
           (path[1] == L'\\' || path[1] == L'/');
}

int CompareVersions(std::wstring_view left, std::wstring_view right) {
    while (!left.empty() || !right.empty()) {
        auto take = [](std::wstring_view& text) {
            unsigned long long number = 0;
            std::size_t i = 0;
            for (; i < text.size() && text[i] != L'.'; ++i) {
                if (text[i] >= L'0' && text[i] <= L'9' && number < 1'000'000'000ULL)
                    number = number * 10 + static_cast<unsigned>(text[i] - L'0');
            }
            text.remove_prefix(i < text.size() ? i + 1 : i);
            return number;
        };
        const unsigned long long a = take(left), b = take(right);
        if (a != b) return a < b ? -1 : 1;
    }
    return 0;
}

namespace {

// The user-data folders in use by a live environment (their browser runs): the arguments it was
// started with, and how many environments share it.
std::mutex foldersMutex;  // an environment's last reference may go on any thread
struct FolderUse {
    std::string arguments;
    int environments = 0;
};
std::map<std::wstring, FolderUse>& FoldersInUse() {
    static auto* folders = new std::map<std::wstring, FolderUse>();
    return *folders;
}

std::wstring FolderKey(std::wstring folder) {
    for (wchar_t& c : folder) {
        if (c == L'/') c = L'\\';
        c = static_cast<wchar_t>(std::towlower(c));
    }
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    return folder;
}

}  // namespace

Environment::Environment(const Switches& switches, std::wstring version)
    : ComObject(kObject), switches_(switches), version_(std::move(version)) {
    if (switches.noWebView23) LimitInterfaces(13);
    const std::lock_guard lock(foldersMutex);
    FolderUse& use = FoldersInUse()[FolderKey(switches_.userDataFolder)];
    if (use.environments++ == 0) use.arguments = switches_.browserArguments;
}

Environment::~Environment() {
    const std::lock_guard lock(foldersMutex);
    const auto found = FoldersInUse().find(FolderKey(switches_.userDataFolder));
    if (found != FoldersInUse().end() && --found->second.environments <= 0)
        FoldersInUse().erase(found);
}

bool Environment::FolderFree(const Switches& switches) {
    const std::lock_guard lock(foldersMutex);
    const auto found = FoldersInUse().find(FolderKey(switches.userDataFolder));
    return found == FoldersInUse().end() || found->second.arguments == switches.browserArguments;
}

void Environment::OnQueryInterface(REFIID riid, bool answered) {
    RecordQuery(kObject, riid, answered);
}

HRESULT Environment::CreateCoreWebView2Controller(
    HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) {
    return Call(__func__, [&] {
        const bool validWindow = IsWindow(parentWindow) != FALSE;
        RecordCall(kObject, "CreateCoreWebView2Controller",
                   Json{{"parentWindowValid", validWindow},
                        {"failure", FailureName(switches_.failController)
                                        ? Json(FailureName(switches_.failController))
                                        : Json(nullptr)}});
        if (handler == nullptr) return E_INVALIDARG;
        if (!validWindow) return HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
        if (switches_.failController == Failure::Sync) return kControllerFailure;
        ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> keep(handler);
        if (switches_.failController != Failure::None) {
            const HRESULT code =
                switches_.failController == Failure::HResult ? kControllerFailure : S_OK;
            PostCompletion("CreateCoreWebView2ControllerCompleted", keep, code,
                           ComPtr<Controller>(), nullptr);
            return S_OK;
        }
        ComPtr<WebView> webview(
            new WebView(ComPtr<ICoreWebView2Environment>(this), parentWindow, switches_));
        ComPtr<Controller> controller(new Controller(webview, parentWindow));
        PostCompletion("CreateCoreWebView2ControllerCompleted", keep, S_OK, controller,
                       [webview] { webview->StartPage(); });
        return S_OK;
    });
}

HRESULT Environment::CreateWebResourceResponse(IStream* content, int statusCode,
                                               LPCWSTR reasonPhrase, LPCWSTR headers,
                                               ICoreWebView2WebResourceResponse** response) {
    return Call(__func__, [&] {
        HttpHeaderList lines = ParseHeaderLines(ToUtf8(headers));
        Json headerLines = Json::array();
        for (const HttpHeader& header : lines) headerLines.push_back(header.line);
        RecordCall(kObject, "CreateWebResourceResponse",
                   Json{{"status", statusCode},
                        {"content", content != nullptr},
                        {"headers", std::move(headerLines)}});
        ComPtr<WebResourceResponse> created(
            new WebResourceResponse(content, statusCode, ToUtf8(reasonPhrase), std::move(lines)));
        return PutRef(response, created);
    });
}

HRESULT Environment::get_BrowserVersionString(LPWSTR* versionInfo) {
    return Call(__func__, [&] { return CopyOut(std::wstring_view(version_), versionInfo); });
}

HRESULT Environment::add_NewBrowserVersionAvailable(
    ICoreWebView2NewBrowserVersionAvailableEventHandler* eventHandler,
    EventRegistrationToken* token) {
    return Call(__func__, [&] {
        if (eventHandler == nullptr) return E_INVALIDARG;
        if (token == nullptr) return E_POINTER;
        token->value = NextEventToken();  // never raised: this runtime is never updated
        RecordCall(kObject, "add_NewBrowserVersionAvailable", Json{{"token", token->value}});
        return S_OK;
    });
}

HRESULT Environment::remove_NewBrowserVersionAvailable(EventRegistrationToken token) {
    return Call(__func__, [&] {
        RecordCall(kObject, "remove_NewBrowserVersionAvailable", Json{{"token", token.value}});
        return S_OK;
    });
}

HRESULT Environment::add_BrowserProcessExited(
    ICoreWebView2BrowserProcessExitedEventHandler* eventHandler, EventRegistrationToken* token) {
    return Call(__func__, [&] {
        const HRESULT result = browserProcessExited_.Add(eventHandler, token);
        Json fields{{"result", HResultText(result)}};
        if (SUCCEEDED(result)) fields["token"] = token->value;
        RecordCall(kObject, "add_BrowserProcessExited", std::move(fields));
        return result;
    });
}

HRESULT Environment::remove_BrowserProcessExited(EventRegistrationToken token) {
    return Call(__func__, [&] {
        const bool removed = browserProcessExited_.Remove(token);
        RecordCall(kObject, "remove_BrowserProcessExited",
                   Json{{"token", token.value}, {"removed", removed}});
        return S_OK;
    });
}

void Environment::RaiseBrowserProcessExited(bool failed) {
    ComPtr<BrowserProcessExitedArgs> args(
        new BrowserProcessExitedArgs(failed, static_cast<UINT32>(GetCurrentProcessId())));
    const auto results =
        browserProcessExited_.Invoke(static_cast<ICoreWebView2Environment*>(this), args.Get());
    RecordEvent("BrowserProcessExited", Json{{"exitKind", failed ? "failed" : "normal"},
                                             {"handlers", results.size()},
                                             {"results", HResultList(results)}});
}

HRESULT Environment::CreateHandle(const char* method, COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND kind,
                                  LPCWSTR path,
                                  COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION permission,
                                  ICoreWebView2FileSystemHandle** value) {
    return Guard([&] {
        if (value == nullptr) return E_POINTER;
        *value = nullptr;
        const std::wstring text = path == nullptr ? std::wstring() : std::wstring(path);
        const HRESULT result = IsAbsolutePath(text) ? S_OK : E_INVALIDARG;
        RecordCall(
            kObject, method,
            Json{{"path", ToUtf8(text)},
                 {"permission", permission == COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION_READ_WRITE
                                    ? "read-write"
                                    : "read-only"},
                 {"result", HResultText(result)}});
        if (FAILED(result)) return result;
        return PutRef(value,
                      ComPtr<FileSystemHandle>(new FileSystemHandle(kind, text, permission)));
    });
}

HRESULT Environment::CreateWebFileSystemFileHandle(
    LPCWSTR path, COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION permission,
    ICoreWebView2FileSystemHandle** value) {
    return Call(__func__, [&] {
        return CreateHandle("CreateWebFileSystemFileHandle",
                            COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND_FILE, path, permission, value);
    });
}

HRESULT Environment::CreateWebFileSystemDirectoryHandle(
    LPCWSTR path, COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION permission,
    ICoreWebView2FileSystemHandle** value) {
    return Call(__func__, [&] {
        return CreateHandle("CreateWebFileSystemDirectoryHandle",
                            COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND_DIRECTORY, path, permission,
                            value);
    });
}

HRESULT Environment::CreateObjectCollection(UINT32 length, IUnknown** items,
                                            ICoreWebView2ObjectCollection** objectCollection) {
    return Call(__func__, [&] {
        RecordCall(kObject, "CreateObjectCollection", Json{{"count", length}});
        if (objectCollection == nullptr) return E_POINTER;
        *objectCollection = nullptr;
        if (items == nullptr && length > 0) return E_INVALIDARG;
        return PutRef(objectCollection,
                      ComPtr<ObjectCollection>(new ObjectCollection(length, items)));
    });
}

namespace {

using EnvironmentHandler = ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler;

// S_OK on a thread of a single-threaded apartment; CO_E_NOTINITIALIZED where COM was never
// initialised, RPC_E_CHANGED_MODE in the multithreaded apartment (the runtime's documented
// answers).
HRESULT ApartmentResult() {
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    const HRESULT result = CoGetApartmentType(&type, &qualifier);
    if (result == CO_E_NOTINITIALIZED) return CO_E_NOTINITIALIZED;
    if (FAILED(result)) return result;
    if (type == APTTYPE_STA || type == APTTYPE_MAINSTA) return S_OK;
    return type == APTTYPE_MTA && qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA ? CO_E_NOTINITIALIZED
                                                                             : RPC_E_CHANGED_MODE;
}

// One attempt at CreateCoreWebView2EnvironmentWithOptions; `attempt` 2 is the loader's own retry.
HRESULT AttemptEnvironment(PCWSTR browserFolder, PCWSTR userDataFolder,
                           ICoreWebView2EnvironmentOptions* options, EnvironmentHandler* handler,
                           const RuntimeEntry& entry, int attempt) {
    PinModule();
    Switches switches = Switches::Read();
    if (CompareVersions(entry.version, kRuntimeVersion) < 0) switches.noWebView23 = true;
    // Behind the vendor's loader, which retries by itself, the runtime counts its own calls.
    const bool behindVendorLoader = entry.object != std::string_view("loader");
    static int runtimeCalls = 0;
    if (behindVendorLoader) attempt = ++runtimeCalls;
    SetCurrentSwitches(switches);
    Transcript::Get().Open(switches.transcriptPath);
    // As the runtime does: the environment is made only on a thread in a single-threaded
    // apartment, and the call fails at once otherwise.
    const HRESULT apartment = ApartmentResult();
    if (FAILED(apartment)) {
        Record("apartmentRefused",
               Json{{"object", entry.object},
                    {"method", entry.method},
                    {"apartment", apartment == CO_E_NOTINITIALIZED ? "none" : "multithreaded"},
                    {"result", HResultText(apartment)}});
        return apartment;
    }
    Dispatcher::Get();  // bound to this thread, the host's GUI thread
    BindRuntimeThread();

    Json call = entry.fields;
    if (switches.retryEnvironment != Retry::None) call["attempt"] = attempt;
    call["browserFolder"] = browserFolder == nullptr ? Json(nullptr) : Json(ToUtf8(browserFolder));
    call["userDataFolder"] =
        userDataFolder == nullptr ? Json(nullptr) : Json(ToUtf8(userDataFolder));
    if (options != nullptr) {
        call["additionalBrowserArguments"] =
            ReadOption(options, &ICoreWebView2EnvironmentOptions::get_AdditionalBrowserArguments);
        call["language"] = ReadOption(options, &ICoreWebView2EnvironmentOptions::get_Language);
        call["targetCompatibleBrowserVersion"] = ReadOption(
            options, &ICoreWebView2EnvironmentOptions::get_TargetCompatibleBrowserVersion);
        BOOL allow = FALSE;
        call["allowSingleSignOnUsingOSPrimaryAccount"] =
            SUCCEEDED(options->get_AllowSingleSignOnUsingOSPrimaryAccount(&allow))
                ? Json(allow != FALSE)
                : Json(nullptr);
        if (call["targetCompatibleBrowserVersion"].is_string()) {
            const std::string target = call["targetCompatibleBrowserVersion"];
            call["olderThanTarget"] = CompareVersions(entry.version, ToUtf16(target)) < 0;
        }
    } else {
        call["options"] = nullptr;
    }
    bool hostingModeSet = false;
    const std::wstring hostingMode =
        EnvironmentVariable(L"COREWEBVIEW2_FORCED_HOSTING_MODE", &hostingModeSet);
    call["forcedHostingMode"] = hostingModeSet ? Json(ToUtf8(hostingMode)) : Json(nullptr);

    // Without a folder the runtime uses "<executable>.WebView2" beside the executable.
    const std::wstring dataFolder = userDataFolder != nullptr && userDataFolder[0] != L'\0'
                                        ? std::wstring(userDataFolder)
                                        : ExecutablePath() + L".WebView2";
    call["userDataFolderUsed"] = ToUtf8(dataFolder);
    switches.userDataFolder = dataFolder;
    if (call.contains("additionalBrowserArguments") &&
        call["additionalBrowserArguments"].is_string())
        switches.browserArguments = call["additionalBrowserArguments"];
    call["userDataFolderCreated"] = CreateFolders(dataFolder);
    call["switches"] = SwitchList(switches);
    call["version"] = ToUtf8(entry.version);
    RecordCall(entry.object, entry.method, std::move(call));

    if (handler == nullptr) return E_POINTER;
    if (switches.failEnvironment == Failure::Sync) return kEnvironmentFailure;
    ComPtr<EnvironmentHandler> keep(handler);
    if (switches.retryEnvironment != Retry::None && attempt == 1 && behindVendorLoader) {
        // The first creation fails; the vendor's loader tries again by itself.
        PostCompletion("CreateCoreWebView2EnvironmentCompleted", keep, kEnvironmentFailure,
                       ComPtr<Environment>(), nullptr);
        return S_OK;
    }
    if (switches.retryEnvironment != Retry::None && attempt == 1) {
        // The first attempt fails. Like the vendor's loader, try once more later, from the
        // message loop, with the very pointers the caller gave, holding no reference to the
        // options object and no copy of the strings: they must still be alive by then.
        Record("loader-retry", Json{{"errorCode", HResultText(kEnvironmentFailure)}});
        Dispatcher::Get().Post([browserFolder, userDataFolder, options, keep, entry] {
            Guard([&] {
                return AttemptEnvironment(browserFolder, userDataFolder, options, keep.Get(), entry,
                                          2);
            });
        });
        return S_OK;
    }
    ComPtr<Environment> environment;
    HRESULT code = S_OK;
    if (switches.retryEnvironment == Retry::Fails) {
        code = kEnvironmentFailure;
    } else if (switches.failEnvironment == Failure::None && !Environment::FolderFree(switches)) {
        // Another environment's browser holds the folder with other arguments.
        Record("environmentRefused",
               Json{{"cause", "the user-data folder is in use with other browser arguments"},
                    {"userDataFolder", ToUtf8(dataFolder)}});
        code = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    } else if (switches.failEnvironment == Failure::None) {
        environment = new Environment(switches, entry.version);
    } else if (switches.failEnvironment == Failure::HResult) {
        code = kEnvironmentFailure;
    }
    PostCompletion("CreateCoreWebView2EnvironmentCompleted", keep, code, environment, nullptr);
    return S_OK;
}

}  // namespace

HRESULT CreateEnvironment(PCWSTR browserFolder, PCWSTR userDataFolder,
                          ICoreWebView2EnvironmentOptions* options, EnvironmentHandler* handler,
                          const RuntimeEntry& entry) {
    return Guard([&] {
        return AttemptEnvironment(browserFolder, userDataFolder, options, handler, entry, 1);
    });
}

}  // namespace substitute
