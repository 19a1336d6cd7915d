// The substitute WebView2 runtime seen from a tiny host: the built WebView2Loader.dll is loaded,
// an environment and a controller are created, a short scenario is played and the transcript is
// checked; then the runtime check through the registry and through a runtime folder.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "server/body_stream_win.h"
#include "substitute/folder_handles.h"
#include "webview/com_object_win.h"
#include "webview/webview2_api.h"

namespace {

using Microsoft::WRL::ComPtr;
using Json = nlohmann::ordered_json;

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// WRAPPER_SUBSTITUTE_DLL, else <build>/substitute/ seen from <build>/tests/win/.
std::wstring LoaderPath() {
    wchar_t value[MAX_PATH * 4];
    const DWORD length = GetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_DLL", value, MAX_PATH * 4);
    if (length > 0 && length < MAX_PATH * 4) return value;
    return ModuleFolder() + L"..\\..\\substitute\\WebView2Loader.dll";
}

struct Loader {
    decltype(&CreateCoreWebView2EnvironmentWithOptions) create = nullptr;
    decltype(&GetAvailableCoreWebView2BrowserVersionString) version = nullptr;
};

Loader LoadLoader() {
    Loader loader;
    HMODULE module = LoadLibraryW(LoaderPath().c_str());  // the runtime pins itself anyway
    if (module == nullptr) return loader;
    loader.create = reinterpret_cast<decltype(loader.create)>(reinterpret_cast<void*>(
        GetProcAddress(module, "CreateCoreWebView2EnvironmentWithOptions")));
    loader.version = reinterpret_cast<decltype(loader.version)>(reinterpret_cast<void*>(
        GetProcAddress(module, "GetAvailableCoreWebView2BrowserVersionString")));
    return loader;
}

std::string Narrow(const wchar_t* text) {
    if (text == nullptr) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

std::string TakeString(LPWSTR text) {
    std::string result = Narrow(text);
    CoTaskMemFree(text);
    return result;
}

template <typename Member>
struct InvokeSignature;
template <typename Class, typename FirstArg, typename SecondArg>
struct InvokeSignature<HRESULT (STDMETHODCALLTYPE Class::*)(FirstArg, SecondArg)> {
    using First = FirstArg;
    using Second = SecondArg;
    using Function = std::function<HRESULT(First, Second)>;
};

// A handler object whose Invoke runs a function (on the host's own reference-counting base).
template <typename Interface>
class Callback final : public ComObject<Interface> {
public:
    using Signature = InvokeSignature<decltype(&Interface::Invoke)>;
    using Function = typename Signature::Function;
    explicit Callback(Function body) : body_(std::move(body)) {}
    HRESULT STDMETHODCALLTYPE Invoke(typename Signature::First first,
                                     typename Signature::Second second) override {
        try {
            return body_(first, second);
        } catch (...) {
            return E_FAIL;
        }
    }

private:
    Function body_;
};

template <typename Interface>
ComPtr<Interface> MakeCallback(typename Callback<Interface>::Function body) {
    return ComPtr<Interface>(new Callback<Interface>(std::move(body)));
}

class Options final : public ComObject<ICoreWebView2EnvironmentOptions> {
public:
    HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR* value) override {
        return Copy(arguments, value);
    }
    HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR value) override {
        arguments = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Language(LPWSTR* value) override { return Copy(L"", value); }
    HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR* value) override {
        return Copy(L"137.0.3296.44", value);
    }
    HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) override {
        *allow = FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL) override {
        return S_OK;
    }
    std::wstring arguments;

private:
    static HRESULT Copy(const std::wstring& text, LPWSTR* out) {
        *out = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
        if (*out == nullptr) return E_OUTOFMEMORY;
        wcscpy(*out, text.c_str());
        return S_OK;
    }
};

// Pumps the thread's messages until `done` or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (!done()) {
        if (GetTickCount64() > deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

std::string ReadFileText(const std::wstring& path) {
    std::string text;
    if (std::FILE* file = _wfopen(path.c_str(), L"rb")) {
        char buffer[4096];
        size_t read = 0;
        while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, read);
        std::fclose(file);
    }
    return text;
}

void WriteFileText(const std::wstring& path, const std::string& text) {
    std::FILE* file = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

// A fresh folder under the temporary folder, removed with its files at the end.
class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path = std::wstring(base) + L"substitute-test-" + std::to_wstring(GetCurrentProcessId()) +
               L"-" + std::to_wstring(++counter_) + L"\\";
        CreateDirectoryW(path.c_str(), nullptr);
    }
    ~TempFolder() {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path + L"*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                    DeleteFileW((path + found.cFileName).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW((path + L"data\\nested").c_str());
        RemoveDirectoryW((path + L"data").c_str());
        RemoveDirectoryW(path.c_str());
    }
    std::wstring path;

private:
    static inline int counter_ = 0;
};

// Sets an environment variable for the scope of a test and restores the old value.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
        wchar_t old[1024];
        const DWORD length = GetEnvironmentVariableW(name, old, 1024);
        hadValue_ = length > 0 && length < 1024;
        if (hadValue_) old_ = old;
        SetEnvironmentVariableW(name, value);
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_, hadValue_ ? old_.c_str() : nullptr); }

private:
    const wchar_t* name_;
    std::wstring old_;
    bool hadValue_ = false;
};

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateParentWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ParentProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"SubstituteTestParent";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, L"SubstituteTestParent", L"Test host", WS_OVERLAPPEDWINDOW, 10, 20,
                           640, 480, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

std::vector<Json> ParseTranscript(const std::string& text) {
    std::vector<Json> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) break;  // every line ends with a newline
        lines.push_back(Json::parse(text.substr(start, end - start), nullptr, false));
        start = end + 1;
    }
    return lines;
}

// The first line after `from` with the given type whose members include `match`.
size_t Find(const std::vector<Json>& lines, const std::string& type, const Json& match,
            size_t from = 0) {
    for (size_t i = from; i < lines.size(); ++i) {
        if (!lines[i].is_object() || lines[i].value("type", "") != type) continue;
        bool all = true;
        for (const auto& [key, value] : match.items()) {
            if (!lines[i].contains(key) || lines[i][key] != value) all = false;
        }
        if (all) return i;
    }
    return std::string::npos;
}

ComPtr<IStream> MemoryStream(const std::string& bytes) {
    ComPtr<IStream> stream;
    stream.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                                    static_cast<UINT>(bytes.size())));
    // mingw's Attach takes a reference of its own: drop the one SHCreateMemStream gave.
    stream->Release();
    return stream;
}

// The tiny host: the same chain as the real one, with a handler for each event it tests. Its
// bodies are plain memory streams (not agile), except abc.txt: an agile stream over `agileFile`.
class TinyHost {
public:
    TinyHost(HWND window, std::wstring agileFile)
        : window_(window), agileFile_(std::move(agileFile)) {}

    HRESULT Start(const Loader& loader, const std::wstring& userData) {
        ComPtr<Options> options(new Options());
        options->arguments = L"--substitute-test";
        return loader.create(
            nullptr, userData.c_str(), options.Get(),
            MakeCallback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
                [this](HRESULT, ICoreWebView2Environment* environment) {
                    environmentDelivered = true;
                    environment_ = environment;
                    if (environment == nullptr) return S_OK;
                    const HRESULT result = environment->CreateCoreWebView2Controller(
                        window_,
                        MakeCallback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
                            [this](HRESULT, ICoreWebView2Controller* controller) {
                                return OnController(controller);
                            })
                            .Get());
                    controllerInsideCall = controller_ != nullptr;
                    return result;
                })
                .Get());
    }

    bool environmentDelivered = false;
    bool controllerInsideCall = false;
    std::vector<HRESULT> filterResults;  // the source-kind filter added, then two wrong removes
    // Set while one of the handlers runs; a handler entered while it is set counts in `nested`.
    bool inHandler = false;
    int nested = 0;
    ComPtr<ICoreWebView2Environment> environment_;
    ComPtr<ICoreWebView2Controller> controller_;
    ComPtr<ICoreWebView2> webview_;

private:
    HRESULT OnController(ICoreWebView2Controller* controller) {
        controller_ = controller;
        controller_->get_CoreWebView2(&webview_);
        ComPtr<ICoreWebView2Settings> settings;
        webview_->get_Settings(&settings);
        settings->put_IsScriptEnabled(TRUE);
        settings->put_AreDevToolsEnabled(FALSE);
        RECT bounds;
        GetClientRect(window_, &bounds);
        controller_->put_Bounds(bounds);
        EventRegistrationToken token;
        webview_->AddWebResourceRequestedFilter(L"https://app.localhost/*",
                                                COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
        // Service workers' requests under sw/ reach the host too; shared workers' do not.
        ComPtr<ICoreWebView2_22> webview22;
        if (SUCCEEDED(webview_.As(&webview22))) {
            const auto kinds = COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_SERVICE_WORKER;
            filterResults.push_back(webview22->AddWebResourceRequestedFilterWithRequestSourceKinds(
                L"https://app.localhost/sw/*", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL, kinds));
            filterResults.push_back(
                webview22->RemoveWebResourceRequestedFilterWithRequestSourceKinds(
                    L"https://app.localhost/sw/*", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL,
                    COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_ALL));
            filterResults.push_back(webview_->RemoveWebResourceRequestedFilter(
                L"https://app.localhost/sw/*", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL));
        }
        webview_->add_WebResourceRequested(
            MakeCallback<ICoreWebView2WebResourceRequestedEventHandler>(
                [this](ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) {
                    return Answer(args);
                })
                .Get(),
            &token);
        webview_->add_NavigationStarting(
            MakeCallback<ICoreWebView2NavigationStartingEventHandler>(
                [this](ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
                    nested += inHandler;
                    LPWSTR uri = nullptr;
                    args->get_Uri(&uri);
                    if (TakeString(uri).rfind("https://app.localhost/", 0) != 0)
                        args->put_Cancel(TRUE);
                    return S_OK;
                })
                .Get(),
            &token);
        webview_->add_PermissionRequested(
            MakeCallback<ICoreWebView2PermissionRequestedEventHandler>(
                [](ICoreWebView2*, ICoreWebView2PermissionRequestedEventArgs* args) {
                    return args->put_State(COREWEBVIEW2_PERMISSION_STATE_ALLOW);
                })
                .Get(),
            &token);
        webview_->add_DocumentTitleChanged(
            MakeCallback<ICoreWebView2DocumentTitleChangedEventHandler>([this](
                                                                            ICoreWebView2* sender,
                                                                            IUnknown*) {
                LPWSTR title = nullptr;
                sender->get_DocumentTitle(&title);
                SetWindowTextW(window_, title);
                CoTaskMemFree(title);
                // A navigation, then a message loop inside the handler: the runtime must hold
                // NavigationStarting back until the handler has returned.
                inHandler = true;
                sender->Navigate(L"https://app.localhost/again.html");
                PumpUntil([] { return false; }, 150);
                inHandler = false;
                return S_OK;
            }).Get(),
            &token);
        webview_->add_WebMessageReceived(
            MakeCallback<ICoreWebView2WebMessageReceivedEventHandler>(
                [](ICoreWebView2* sender, ICoreWebView2WebMessageReceivedEventArgs* args) {
                    LPWSTR text = nullptr;
                    if (FAILED(args->TryGetWebMessageAsString(&text))) return S_OK;
                    const std::string reply = "{\"echo\":" + Json(TakeString(text)).dump() + "}";
                    return sender->PostWebMessageAsJson(
                        std::wstring(reply.begin(), reply.end()).c_str());
                })
                .Get(),
            &token);
        ComPtr<ICoreWebView2_2> webview2;
        webview_.As(&webview2);
        webview2->add_DOMContentLoaded(
            MakeCallback<ICoreWebView2DOMContentLoadedEventHandler>(
                [this](ICoreWebView2*, ICoreWebView2DOMContentLoadedEventArgs*) {
                    ShowWindow(window_, SW_SHOW);
                    return controller_->put_IsVisible(TRUE);
                })
                .Get(),
            &token);
        return webview_->Navigate(L"https://app.localhost/index.html");
    }

    // Bodies by name; "missing.js" gets no response at all.
    HRESULT Answer(ICoreWebView2WebResourceRequestedEventArgs* args) {
        ComPtr<ICoreWebView2WebResourceRequest> request;
        args->get_Request(&request);
        LPWSTR uriText = nullptr;
        request->get_Uri(&uriText);
        const std::string name = TakeString(uriText).substr(sizeof "https://app.localhost/" - 1);
        if (name == "missing.js") return S_OK;
        std::string headers = "Content-Type: text/plain\nX-Name: " + name;
        ComPtr<ICoreWebView2HttpRequestHeaders> requestHeaders;
        request->get_Headers(&requestHeaders);
        BOOL hasRange = FALSE;
        requestHeaders->Contains(L"range", &hasRange);
        if (hasRange) {
            LPWSTR range = nullptr;
            requestHeaders->GetHeader(L"Range", &range);
            headers += "\nX-Range: " + TakeString(range);
        }
        std::string body = "<p>" + name + "</p>";
        if (name == "big.bin") body = std::string(5000, 'a');
        if (name == "bytes.bin") body = std::string("\xff\x00\x41", 3);
        ComPtr<IStream> stream = MemoryStream(body);
        // Left at its end, as after writing it: the runtime seeks to the start before reading.
        if (name == "big.bin") stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_END, nullptr);
        if (name == "abc.txt") {
            auto mapping = SharedMapping::Open(agileFile_);
            stream = NewBodyStream(mapping, 0, mapping->Size());
        }
        ComPtr<ICoreWebView2WebResourceResponse> response;
        environment_->CreateWebResourceResponse(
            stream.Get(), 200, L"OK", std::wstring(headers.begin(), headers.end()).c_str(),
            &response);
        return args->put_Response(response.Get());
    }

    HWND window_;
    std::wstring agileFile_;
};

constexpr char kScenario[] = R"(# the substitute's own test scenario
request GET https://app.localhost/a.js script Range: bytes=0-3 Accept: */*
request GET https://app.localhost/missing.js script
request GET https://other.example/b.css stylesheet
request GET https://app.localhost/shared.js script shared-worker
request GET https://app.localhost/sw/cache.js fetch service-worker Accept: */*
request GET https://app.localhost/sw/shared.js fetch shared-worker
request GET https://app.localhost/abc.txt fetch
request GET https://app.localhost/big.bin fetch
request GET https://app.localhost/bytes.bin image
message-string https://app.localhost/index.html {"type":"ping"}
wait PostWebMessageAsJson 1 3000
title Hello from the page
navigate https://elsewhere.example/
permission camera https://app.localhost/
key F12 up
fullscreen true
wait Navigate 5 100
snapshot
end
title never played
)";

TEST(Substitute, PlaysAScenarioThroughATinyHostAndWritesTheTranscript) {
    const Loader loader = LoadLoader();
    ASSERT_NE(loader.create, nullptr) << "WebView2Loader.dll not found or incomplete";
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TempFolder folder;
    const std::wstring transcriptPath = folder.path + L"transcript.jsonl";
    WriteFileText(folder.path + L"scenario.txt", kScenario);
    ScopedVariable scenario(L"WRAPPER_SUBSTITUTE_SCENARIO",
                            (folder.path + L"scenario.txt").c_str());
    ScopedVariable transcript(L"WRAPPER_SUBSTITUTE_TRANSCRIPT", transcriptPath.c_str());
    ScopedVariable hosting(L"COREWEBVIEW2_FORCED_HOSTING_MODE", nullptr);

    WriteFileText(folder.path + L"abc.txt", "abc");

    HWND window = CreateParentWindow();
    ASSERT_NE(window, nullptr);
    size_t played = 0;  // the lines up to the scenario's end
    DWORD worker = 0;
    std::vector<HRESULT> filterResults;
    {
        TinyHost host(window, folder.path + L"abc.txt");
        ASSERT_EQ(host.Start(loader, folder.path + L"data\\nested"), S_OK);
        EXPECT_FALSE(host.environmentDelivered) << "completed inside the call";
        const bool ended = PumpUntil(
            [&] {
                return ReadFileText(transcriptPath).find("\"type\":\"end\"") != std::string::npos;
            },
            15000);
        EXPECT_TRUE(ended) << ReadFileText(transcriptPath);
        PumpUntil([] { return false; }, 100);  // nothing may follow the end
        played = ParseTranscript(ReadFileText(transcriptPath)).size();
        EXPECT_FALSE(host.controllerInsideCall) << "completed inside the call";
        EXPECT_EQ(host.nested, 0) << "a handler ran inside another handler";
        filterResults = host.filterResults;

        // Calls from another thread are refused, change nothing, and are recorded.
        std::thread([&] {
            worker = GetCurrentThreadId();
            EXPECT_EQ(host.controller_->put_IsVisible(FALSE), RPC_E_WRONG_THREAD);
            EXPECT_EQ(host.webview_->PostWebMessageAsJson(L"{}"), RPC_E_WRONG_THREAD);
        }).join();
        BOOL visible = FALSE;
        EXPECT_EQ(host.controller_->get_IsVisible(&visible), S_OK);
        EXPECT_TRUE(visible);

        // After Close every method fails, and the runtime lets its handlers go.
        const auto watcher = MakeCallback<ICoreWebView2DocumentTitleChangedEventHandler>(
            [](ICoreWebView2*, IUnknown*) { return S_OK; });
        EventRegistrationToken token;
        ASSERT_EQ(host.webview_->add_DocumentTitleChanged(watcher.Get(), &token), S_OK);
        ComPtr<ICoreWebView2Settings> settings;
        ASSERT_EQ(host.webview_->get_Settings(&settings), S_OK);
        EXPECT_EQ(host.controller_->Close(), S_OK);
        const HRESULT invalidState = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
        EXPECT_EQ(host.controller_->Close(), invalidState);
        EXPECT_EQ(host.controller_->put_IsVisible(TRUE), invalidState);
        EXPECT_EQ(host.webview_->Navigate(L"https://app.localhost/"), invalidState);
        EXPECT_EQ(host.webview_->remove_DocumentTitleChanged(token), invalidState);
        EXPECT_EQ(settings->put_IsScriptEnabled(FALSE), invalidState);
        watcher->AddRef();
        EXPECT_EQ(watcher->Release(), 1u) << "the runtime still holds a handler";
    }
    DestroyWindow(window);

    std::vector<Json> lines = ParseTranscript(ReadFileText(transcriptPath));
    ASSERT_GT(lines.size(), played);
    const std::vector<Json> afterEnd(lines.begin() + static_cast<std::ptrdiff_t>(played),
                                     lines.end());
    lines.resize(played);
    ASSERT_FALSE(lines.empty());
    // Format: one object per line, "seq" counting from 1, then "type".
    const std::vector<std::string> types = {
        "call",           "event",    "completion", "response", "unanswered",           "scenario",
        "step",           "snapshot", "failure",    "end",      "nestedLoopInCallback", "skipped",
        "parentDestroyed"};
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_TRUE(lines[i].is_object()) << "line " << i + 1;
        EXPECT_EQ(lines[i].begin().key(), "seq");
        EXPECT_EQ(lines[i]["seq"], i + 1);
        EXPECT_NE(std::find(types.begin(), types.end(), lines[i].value("type", "")), types.end())
            << lines[i].dump();
    }
    EXPECT_EQ(lines.back()["type"], "end");
    EXPECT_EQ(Find(lines, "step", {{"text", "title never played"}}), std::string::npos);

    const size_t created =
        Find(lines, "call", {{"method", "CreateCoreWebView2EnvironmentWithOptions"}});
    ASSERT_EQ(created, 0u);
    EXPECT_EQ(lines[0]["additionalBrowserArguments"], "--substitute-test");
    EXPECT_EQ(lines[0]["targetCompatibleBrowserVersion"], "137.0.3296.44");
    EXPECT_EQ(lines[0]["forcedHostingMode"], nullptr);
    EXPECT_EQ(lines[0]["userDataFolderCreated"], true);
    EXPECT_NE(GetFileAttributesW((folder.path + L"data\\nested").c_str()), INVALID_FILE_ATTRIBUTES);

    // The chain: environment completion, controller, start page, in that order.
    const size_t environmentDone =
        Find(lines, "completion", {{"handler", "CreateCoreWebView2EnvironmentCompleted"}});
    const size_t controllerDone =
        Find(lines, "completion",
             {{"handler", "CreateCoreWebView2ControllerCompleted"}, {"object", true}});
    const size_t starting = Find(lines, "event",
                                 {{"event", "NavigationStarting"},
                                  {"uri", "https://app.localhost/index.html"},
                                  {"cancel", false}});
    const size_t document = Find(
        lines, "response", {{"uri", "https://app.localhost/index.html"}, {"context", "document"}});
    const size_t loaded = Find(lines, "event", {{"event", "DOMContentLoaded"}, {"handlers", 1}});
    const size_t firstStep = Find(lines, "step", {});
    ASSERT_NE(loaded, std::string::npos);
    EXPECT_LT(environmentDone, controllerDone);
    EXPECT_LT(controllerDone, starting);
    EXPECT_LT(starting, document);
    EXPECT_LT(document, loaded);
    EXPECT_LT(loaded, firstStep) << "the start page loads before the scenario's first step";
    EXPECT_NE(
        Find(lines, "call",
             {{"object", "settings"}, {"method", "put_AreDevToolsEnabled"}, {"value", false}}),
        std::string::npos);
    EXPECT_NE(Find(lines, "call",
                   {{"method", "AddWebResourceRequestedFilter"},
                    {"uri", "https://app.localhost/*"},
                    {"context", "all"}}),
              std::string::npos);
    const size_t bounds = Find(lines, "call", {{"method", "put_Bounds"}});
    ASSERT_NE(bounds, std::string::npos);
    EXPECT_EQ(lines[bounds]["bounds"].size(), 4u);

    // Responses: status, reason, header lines in order, the body read to its end.
    const size_t script = Find(lines, "response", {{"uri", "https://app.localhost/a.js"}});
    ASSERT_NE(script, std::string::npos);
    EXPECT_EQ(lines[script]["status"], 200);
    EXPECT_EQ(lines[script]["reason"], "OK");
    EXPECT_EQ(lines[script]["context"], "script");
    EXPECT_EQ(lines[script]["requestHeaders"], Json({"Range: bytes=0-3", "Accept: */*"}));
    EXPECT_EQ(lines[script]["headers"],
              Json({"Content-Type: text/plain", "X-Name: a.js", "X-Range: bytes=0-3"}));
    EXPECT_EQ(lines[script]["body"]["text"], "<p>a.js</p>");
    EXPECT_EQ(lines[script]["body"]["length"], 11);
    const size_t abc = Find(lines, "response", {{"uri", "https://app.localhost/abc.txt"}});
    ASSERT_NE(abc, std::string::npos);
    EXPECT_EQ(lines[abc]["body"]["sha256"],
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const size_t big = Find(lines, "response", {{"uri", "https://app.localhost/big.bin"}});
    ASSERT_NE(big, std::string::npos);
    EXPECT_EQ(lines[big]["body"]["length"], 5000);
    EXPECT_EQ(lines[big]["body"]["sha256"],
              "c526c6222044dab5674de9c4ac7f4566ebb5e4d8bf9d8ea34c9cc8a7cc3c869c");
    EXPECT_FALSE(lines[big]["body"].contains("text"));
    // Each body's read is timed from the host's answer; the reader held the whole body at once.
    EXPECT_GE(lines[big]["body"].value("readMs", -1), 0);
    EXPECT_GE(lines[big].value("readerPeak", 0), 5000u);
    const size_t bytes = Find(lines, "response", {{"uri", "https://app.localhost/bytes.bin"}});
    ASSERT_NE(bytes, std::string::npos);
    EXPECT_EQ(lines[bytes]["body"]["hex"], "ff0041");
    // Memory streams reach the runtime's reader as proxies, read through the pumping GUI thread;
    // the mapped stream is agile.
    EXPECT_EQ(lines[script]["bodyAgile"], false);
    EXPECT_EQ(lines[big]["bodyAgile"], false);
    EXPECT_EQ(lines[abc]["bodyAgile"], true);
    EXPECT_NE(Find(lines, "unanswered",
                   {{"uri", "https://app.localhost/missing.js"}, {"cause", "no-response"}}),
              std::string::npos);
    EXPECT_NE(
        Find(lines, "unanswered", {{"uri", "https://other.example/b.css"}, {"cause", "no-filter"}}),
        std::string::npos);
    // The plain filter covers documents only; the source-kind one its own kinds. A remove names
    // the very kinds the filter was added with.
    EXPECT_NE(Find(lines, "unanswered",
                   {{"uri", "https://app.localhost/shared.js"},
                    {"cause", "no-filter"},
                    {"source", "shared-worker"}}),
              std::string::npos);
    EXPECT_NE(Find(lines, "unanswered",
                   {{"uri", "https://app.localhost/sw/shared.js"}, {"cause", "no-filter"}}),
              std::string::npos);
    const size_t fromWorker =
        Find(lines, "response", {{"uri", "https://app.localhost/sw/cache.js"}});
    ASSERT_NE(fromWorker, std::string::npos);
    EXPECT_EQ(lines[fromWorker]["source"], "service-worker");
    EXPECT_EQ(lines[fromWorker]["requestHeaders"], Json({"Accept: */*"}));
    EXPECT_EQ(filterResults, (std::vector<HRESULT>{S_OK, HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
                                                   HRESULT_FROM_WIN32(ERROR_NOT_FOUND)}));

    // Page events with the host's answers.
    const size_t message =
        Find(lines, "event", {{"event", "WebMessageReceived"}, {"string", "{\"type\":\"ping\"}"}});
    const size_t reply = Find(lines, "call",
                              {{"method", "PostWebMessageAsJson"},
                               {"json", "{\"echo\":\"{\\\"type\\\":\\\"ping\\\"}\"}"}});
    ASSERT_NE(message, std::string::npos);
    ASSERT_NE(reply, std::string::npos);
    EXPECT_EQ(lines[message]["source"], "https://app.localhost/index.html");
    EXPECT_LT(reply, message) << "calls made inside a handler come before the event's line";
    EXPECT_NE(Find(lines, "event",
                   {{"event", "NavigationStarting"},
                    {"uri", "https://elsewhere.example/"},
                    {"userInitiated", true},
                    {"cancel", true}}),
              std::string::npos);
    EXPECT_NE(Find(lines, "event",
                   {{"event", "PermissionRequested"}, {"kind", "camera"}, {"state", "allow"}}),
              std::string::npos);
    EXPECT_NE(
        Find(lines, "event",
             {{"event", "ContainsFullScreenElementChanged"}, {"value", true}, {"handlers", 0}}),
        std::string::npos);
    EXPECT_NE(Find(lines, "failure",
                   {{"message", "wait timed out"}, {"method", "Navigate"}, {"seen", 2}}),
              std::string::npos);

    // The title handler's message loop is recorded, and the navigation it started is held back
    // until the handler returned.
    const size_t titled = Find(lines, "event", {{"event", "DocumentTitleChanged"}});
    const size_t loop = Find(lines, "nestedLoopInCallback", {{"callback", "DocumentTitleChanged"}});
    const size_t again =
        Find(lines, "event",
             {{"event", "NavigationStarting"}, {"uri", "https://app.localhost/again.html"}});
    EXPECT_LT(loop, titled);
    EXPECT_LT(titled, again);
    ASSERT_NE(again, std::string::npos);
    EXPECT_EQ(Find(lines, "nestedLoopInCallback", {}, loop + 1), std::string::npos);

    // After the end: the refused calls, then Close and the calls it made fail.
    EXPECT_EQ(Find(afterEnd, "call", {{"method", "put_IsVisible"}, {"value", false}}),
              std::string::npos);
    EXPECT_NE(Find(afterEnd, "wrongThread",
                   {{"object", "controller"}, {"method", "put_IsVisible"}, {"thread", worker}}),
              std::string::npos);
    EXPECT_NE(Find(afterEnd, "wrongThread",
                   {{"object", "webview"}, {"method", "PostWebMessageAsJson"}, {"thread", worker}}),
              std::string::npos);
    const size_t close = Find(afterEnd, "call", {{"method", "Close"}});
    ASSERT_NE(close, std::string::npos);
    EXPECT_NE(Find(afterEnd, "callAfterClose",
                   {{"object", "settings"}, {"method", "put_IsScriptEnabled"}}, close),
              std::string::npos);
    EXPECT_EQ(Find(afterEnd, "call", {{"method", "Navigate"}}, close), std::string::npos);

    const size_t snapshot = Find(lines, "snapshot", {});
    ASSERT_NE(snapshot, std::string::npos);
    EXPECT_EQ(lines[snapshot]["title"], "Hello from the page");
    EXPECT_EQ(lines[snapshot]["visible"], true);
    EXPECT_EQ(lines[snapshot]["windowRect"], Json({10, 20, 650, 500}));
    EXPECT_EQ(lines[snapshot]["style"].get<unsigned>() & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
    CoUninitialize();
}

constexpr char kLifeScenario[] = R"(# process failures and navigations that fail
navigate-fail https://app.localhost/gone.html host-name-not-resolved
process-failed gpu-exited
process-failed render-exited
process-failed render-unresponsive
process-failed frame-render-exited out-of-memory -536870904
process-failed browser-exited terminated 0
title on the next control
end
)";

// The runtime's life through a small host: a navigation's events in order with one id, a failing
// navigation, each kind of process failure, the browser process's exit closing the control and
// raising BrowserProcessExited, a second environment and controller that work (the scenario goes
// on there), the tests' hook, the parent window destroyed inside a callback, and environments
// refused off a single-threaded apartment.
TEST(Substitute, RaisesProcessFailuresAndTheNavigationSequence) {
    const Loader loader = LoadLoader();
    ASSERT_NE(loader.create, nullptr);
    const auto raiseHook = reinterpret_cast<int(STDAPICALLTYPE*)(int, int, int)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"WebView2Loader.dll"),
                                               "SubstituteRaiseProcessFailed")));
    ASSERT_NE(raiseHook, nullptr);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TempFolder folder;
    const std::wstring transcriptPath = folder.path + L"transcript.jsonl";
    WriteFileText(folder.path + L"scenario.txt", kLifeScenario);
    ScopedVariable scenario(L"WRAPPER_SUBSTITUTE_SCENARIO",
                            (folder.path + L"scenario.txt").c_str());
    ScopedVariable transcript(L"WRAPPER_SUBSTITUTE_TRANSCRIPT", transcriptPath.c_str());
    HWND window = CreateParentWindow();
    ASSERT_NE(window, nullptr);

    const HRESULT invalidState = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    struct Control {
        ComPtr<ICoreWebView2Environment> environment;
        ComPtr<ICoreWebView2Controller> controller;
        ComPtr<ICoreWebView2> webview;
    };
    std::vector<std::string> seen;  // what the handlers saw, in order
    bool browserExited = false;
    HRESULT callInsideBrowserExit = S_OK;
    bool destroyInTitle = false;
    const auto start = [&](Control& control) {
        ASSERT_EQ(
            loader.create(
                nullptr, folder.path.c_str(), nullptr,
                MakeCallback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
                    [&](HRESULT, ICoreWebView2Environment* environment) {
                        control.environment = environment;
                        ComPtr<ICoreWebView2Environment5> environment5;
                        EventRegistrationToken token{};
                        if (SUCCEEDED(control.environment.As(&environment5))) {
                            environment5->add_BrowserProcessExited(
                                MakeCallback<ICoreWebView2BrowserProcessExitedEventHandler>(
                                    [&](ICoreWebView2Environment*,
                                        ICoreWebView2BrowserProcessExitedEventArgs* args) {
                                        COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND kind{};
                                        args->get_BrowserProcessExitKind(&kind);
                                        seen.push_back("browser-exited:" + std::to_string(kind));
                                        browserExited = true;
                                        return S_OK;
                                    })
                                    .Get(),
                                &token);
                        }
                        return environment->CreateCoreWebView2Controller(
                            window,
                            MakeCallback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
                                [&](HRESULT, ICoreWebView2Controller* created) {
                                    EventRegistrationToken token{};
                                    control.controller = created;
                                    created->get_CoreWebView2(&control.webview);
                                    ICoreWebView2* core = control.webview.Get();
                                    core->add_NavigationCompleted(
                                        MakeCallback<ICoreWebView2NavigationCompletedEventHandler>(
                                            [&](ICoreWebView2*,
                                                ICoreWebView2NavigationCompletedEventArgs* args) {
                                                BOOL success = FALSE;
                                                COREWEBVIEW2_WEB_ERROR_STATUS status{};
                                                args->get_IsSuccess(&success);
                                                args->get_WebErrorStatus(&status);
                                                seen.push_back(
                                                    "completed:" + std::to_string(success) + ":" +
                                                    std::to_string(status));
                                                return S_OK;
                                            })
                                            .Get(),
                                        &token);
                                    core->add_ProcessFailed(
                                        MakeCallback<ICoreWebView2ProcessFailedEventHandler>(
                                            [&](ICoreWebView2* sender,
                                                ICoreWebView2ProcessFailedEventArgs* args) {
                                                COREWEBVIEW2_PROCESS_FAILED_KIND kind{};
                                                args->get_ProcessFailedKind(&kind);
                                                ComPtr<ICoreWebView2ProcessFailedEventArgs2> args2;
                                                COREWEBVIEW2_PROCESS_FAILED_REASON reason{};
                                                int exitCode = 1;
                                                if (SUCCEEDED(
                                                        ComPtr<ICoreWebView2ProcessFailedEventArgs>(
                                                            args)
                                                            .As(&args2))) {
                                                    args2->get_Reason(&reason);
                                                    args2->get_ExitCode(&exitCode);
                                                }
                                                seen.push_back("failed:" + std::to_string(kind) +
                                                               ":" + std::to_string(reason) + ":" +
                                                               std::to_string(exitCode));
                                                if (kind ==
                                                    COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED)
                                                    callInsideBrowserExit = sender->Reload();
                                                return S_OK;
                                            })
                                            .Get(),
                                        &token);
                                    core->add_DocumentTitleChanged(
                                        MakeCallback<ICoreWebView2DocumentTitleChangedEventHandler>(
                                            [&](ICoreWebView2*, IUnknown*) {
                                                seen.push_back("title");
                                                if (destroyInTitle) DestroyWindow(window);
                                                return S_OK;
                                            })
                                            .Get(),
                                        &token);
                                    return core->Navigate(L"https://app.localhost/index.html");
                                })
                                .Get());
                    })
                    .Get()),
            S_OK);
    };

    Control first;
    start(first);
    EXPECT_TRUE(PumpUntil([&] { return browserExited; }, 15000)) << ReadFileText(transcriptPath);
    EXPECT_EQ(callInsideBrowserExit, invalidState) << "the control is closed when the event comes";
    EXPECT_EQ(first.controller->put_IsVisible(TRUE), invalidState);
    EXPECT_EQ(first.webview->Navigate(L"https://app.localhost/"), invalidState);
    first = {};

    // A new environment and controller work, and the scenario goes on there.
    destroyInTitle = true;
    Control second;
    start(second);
    EXPECT_TRUE(PumpUntil([&] { return IsWindow(window) == FALSE; }, 15000));
    EXPECT_EQ(raiseHook(COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED, 3, 7), 1);
    // The hook walks the runtime thread's controls: from another thread it reaches none.
    int offThread = -1;
    std::thread([&] {
        offThread = raiseHook(COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED, 3, 8);
    }).join();
    EXPECT_EQ(offThread, 0);
    PumpUntil([] { return false; }, 200);

    const std::string none = std::to_string(COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN);
    const std::vector<std::string> expected = {
        "completed:1:" + none,  // the start page
        "completed:0:" + std::to_string(COREWEBVIEW2_WEB_ERROR_STATUS_HOST_NAME_NOT_RESOLVED),
        "failed:6:3:" + std::to_string(static_cast<int>(0xC0000005u)),
        "failed:1:3:" + std::to_string(static_cast<int>(0xC0000005u)),
        "failed:2:1:0",
        "failed:3:5:-536870904",
        "failed:0:2:0",
        "browser-exited:0",     // terminated: a normal exit
        "completed:1:" + none,  // the second control's start page
        "title",
        "failed:6:3:7",  // the hook
    };
    EXPECT_EQ(seen, expected);

    const std::vector<Json> lines = ParseTranscript(ReadFileText(transcriptPath));
    // The start page's events, in the documented order, with one navigation id.
    const size_t exited =
        Find(lines, "event", {{"event", "ProcessFailed"}, {"kind", "browser-exited"}});
    ASSERT_NE(exited, std::string::npos);
    std::vector<std::string> order;
    for (size_t i = 0; i < exited; ++i) {
        if (lines[i].value("type", "") == "event" && lines[i].value("navigationId", 0) == 1)
            order.push_back(lines[i].value("event", ""));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"NavigationStarting", "SourceChanged",
                                               "ContentLoading", "HistoryChanged",
                                               "DOMContentLoaded", "NavigationCompleted"}));
    const size_t failing = Find(lines, "event",
                                {{"event", "NavigationCompleted"},
                                 {"isSuccess", false},
                                 {"webErrorStatus", "host-name-not-resolved"}});
    ASSERT_NE(failing, std::string::npos);
    EXPECT_EQ(
        Find(lines, "event",
             {{"event", "DOMContentLoaded"}, {"navigationId", lines[failing]["navigationId"]}}),
        std::string::npos);
    const size_t refused = Find(lines, "callAfterClose", {{"method", "Reload"}});
    const size_t browserEvent = Find(lines, "event", {{"event", "BrowserProcessExited"}});
    EXPECT_LT(refused, exited) << "the handler's call fails: the control closed first";
    EXPECT_LT(exited, browserEvent);
    EXPECT_NE(Find(lines, "scenario", {{"continued", true}}, browserEvent), std::string::npos);
    EXPECT_NE(Find(lines, "wrongThread",
                   {{"object", "loader"}, {"method", "SubstituteRaiseProcessFailed"}}),
              std::string::npos);
    const size_t destroyed = Find(lines, "parentDestroyed", {});
    ASSERT_NE(destroyed, std::string::npos);
    EXPECT_EQ(lines[destroyed]["insideCallback"], "DocumentTitleChanged");
    EXPECT_EQ(lines[destroyed]["closeCalled"], false);

    // The runtime gives ProcessFailed and BrowserProcessExited in no fixed order, and older
    // runtimes never raise the second: the switch chooses (the scenario's step may too).
    {
        second.controller->Close();  // the hook below reaches one control only
        ScopedVariable noScenario(L"WRAPPER_SUBSTITUTE_SCENARIO", nullptr);
        struct Order {
            const char* name;
            const wchar_t* value;
            std::vector<std::string> sequence;
        };
        const Order orders[] = {
            {"first", L"first", {"browser-exited:1", "failed:0:3:1"}},
            {"second", L"second", {"failed:0:3:1", "browser-exited:1"}},
            {"never", L"never", {"failed:0:3:1"}},
        };
        for (const Order& order : orders) {
            SCOPED_TRACE(order.name);
            ScopedVariable exitEvent(L"WRAPPER_SUBSTITUTE_BROWSER_EXIT_EVENT", order.value);
            destroyInTitle = false;
            callInsideBrowserExit = S_OK;
            window = CreateParentWindow();
            ASSERT_NE(window, nullptr);
            Control control;
            start(control);
            ASSERT_TRUE(PumpUntil([&] { return control.webview != nullptr; }, 15000));
            PumpUntil([] { return false; }, 200);
            seen.clear();
            EXPECT_EQ(raiseHook(COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED, 3, 1), 1);
            PumpUntil([] { return false; }, 500);
            std::vector<std::string> exits;
            for (const std::string& event : seen) {
                if (event.rfind("failed:0", 0) == 0 || event.rfind("browser-exited", 0) == 0)
                    exits.push_back(event);
            }
            EXPECT_EQ(exits, order.sequence);
            // Either way the control is closed when its handlers hear of it.
            EXPECT_EQ(callInsideBrowserExit, invalidState);
            EXPECT_EQ(control.controller->put_IsVisible(TRUE), invalidState);
            control = {};
            DestroyWindow(window);
        }
    }

    // Environments are made only in a single-threaded apartment, as the runtime makes them.
    const auto createOn = [&](bool initialise) {
        HRESULT result = E_PENDING;
        std::thread([&] {
            if (initialise) CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            result = loader.create(
                nullptr, folder.path.c_str(), nullptr,
                MakeCallback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
                    [](HRESULT, ICoreWebView2Environment*) { return S_OK; })
                    .Get());
            if (initialise) CoUninitialize();
        }).join();
        return result;
    };
    EXPECT_EQ(createOn(true), RPC_E_CHANGED_MODE);
    EXPECT_EQ(createOn(false), CO_E_NOTINITIALIZED);
    const std::vector<Json> after = ParseTranscript(ReadFileText(transcriptPath));
    EXPECT_NE(
        Find(after, "apartmentRefused", {{"apartment", "multithreaded"}, {"result", "0x80010106"}}),
        std::string::npos);
    EXPECT_NE(Find(after, "apartmentRefused", {{"apartment", "none"}, {"result", "0x800401F0"}}),
              std::string::npos);
    second = {};
    CoUninitialize();
}

TEST(Substitute, SwitchesImitateOlderOrFailingRuntimes) {
    const Loader loader = LoadLoader();
    ASSERT_NE(loader.create, nullptr);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TempFolder folder;
    ScopedVariable transcript(L"WRAPPER_SUBSTITUTE_TRANSCRIPT", nullptr);
    ScopedVariable scenario(L"WRAPPER_SUBSTITUTE_SCENARIO", nullptr);

    struct Outcome {
        HRESULT returned = E_PENDING;
        bool completed = false;
        HRESULT errorCode = E_PENDING;
        ComPtr<ICoreWebView2Environment> environment;
    };
    const auto create = [&](const wchar_t* failure, const wchar_t* arguments = nullptr) {
        ScopedVariable fail(L"WRAPPER_SUBSTITUTE_FAIL_ENVIRONMENT", failure);
        ComPtr<Options> options;
        if (arguments != nullptr) {
            options = new Options();
            options->arguments = arguments;
        }
        Outcome outcome;
        outcome.returned =
            loader.create(nullptr, folder.path.c_str(), options.Get(),
                          MakeCallback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
                              [&outcome](HRESULT errorCode, ICoreWebView2Environment* environment) {
                                  outcome.completed = true;
                                  outcome.errorCode = errorCode;
                                  outcome.environment = environment;
                                  return S_OK;
                              })
                              .Get());
        PumpUntil([&] { return outcome.completed; }, 500);
        return outcome;
    };

    const Outcome failing = create(L"hresult");
    EXPECT_EQ(failing.returned, S_OK);
    EXPECT_TRUE(failing.completed);
    EXPECT_TRUE(FAILED(failing.errorCode));
    EXPECT_EQ(failing.environment, nullptr);
    const Outcome empty = create(L"null");
    EXPECT_TRUE(empty.completed);
    EXPECT_EQ(empty.errorCode, S_OK);
    EXPECT_EQ(empty.environment, nullptr);
    const Outcome refused = create(L"sync");
    EXPECT_TRUE(FAILED(refused.returned));
    EXPECT_FALSE(refused.completed);

    Outcome current = create(nullptr);
    ASSERT_NE(current.environment, nullptr);
    ComPtr<ICoreWebView2Environment14> environment14;
    EXPECT_EQ(current.environment.As(&environment14), S_OK);
    {
        ScopedVariable older(L"WRAPPER_SUBSTITUTE_NO_WEBVIEW23", L"1");
        const Outcome old = create(nullptr);
        ASSERT_NE(old.environment, nullptr);
        ComPtr<ICoreWebView2Environment13> environment13;
        EXPECT_EQ(old.environment.As(&environment13), S_OK);
        EXPECT_EQ(old.environment.As(&environment14), E_NOINTERFACE);
    }
    // A second environment on the folder with other browser arguments, while the first lives:
    // its browser would conflict with the running one.
    const Outcome conflicting = create(nullptr, L"--autoplay-policy=no-user-gesture-required");
    EXPECT_TRUE(conflicting.completed);
    EXPECT_EQ(conflicting.errorCode, HRESULT_FROM_WIN32(ERROR_INVALID_STATE));
    EXPECT_EQ(conflicting.environment, nullptr);
    EXPECT_NE(create(nullptr, L"").environment, nullptr);  // the same (no) arguments: shared
    // Once the first has gone, the folder takes the other arguments.
    environment14.Reset();
    current.environment.Reset();
    EXPECT_NE(create(nullptr, L"--autoplay-policy=no-user-gesture-required").environment,
              nullptr);
    CoUninitialize();
}

// Registry values of the runtime check, restored when the test ends.
class RuntimeRegistry {
public:
    static constexpr const wchar_t* kKeys[] = {
        L"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}",
        L"SOFTWARE\\WOW6432Node\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-"
        L"00C3A9A7E4C5}",
    };
    RuntimeRegistry() {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            for (const wchar_t* key : kKeys) {
                wchar_t value[128];
                DWORD size = sizeof value;
                if (RegGetValueW(root, key, L"pv", RRF_RT_REG_SZ, nullptr, value, &size) ==
                    ERROR_SUCCESS)
                    saved_.push_back({root, key, value});
            }
        }
    }
    ~RuntimeRegistry() {
        Clear();
        for (const Saved& entry : saved_) Set(entry.root, entry.key, entry.value.c_str());
    }
    static void Clear() {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            for (const wchar_t* key : kKeys) RegDeleteKeyValueW(root, key, L"pv");
        }
    }
    static bool Set(HKEY root, const wchar_t* key, const wchar_t* value) {
        return RegSetKeyValueW(root, key, L"pv", REG_SZ, value,
                               static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
    }

private:
    struct Saved {
        HKEY root;
        const wchar_t* key;
        std::wstring value;
    };
    std::vector<Saved> saved_;
};

TEST(Substitute, ReportsARuntimeOnlyWhenOneIsInstalledOrShipped) {
    const Loader loader = LoadLoader();
    ASSERT_NE(loader.version, nullptr);
    const auto query = [&](const wchar_t* folder) {
        LPWSTR version = reinterpret_cast<LPWSTR>(1);
        const HRESULT result = loader.version(folder, &version);
        const bool present = version != nullptr;
        const std::string text = present ? TakeString(version) : std::string();
        EXPECT_EQ(SUCCEEDED(result), present);
        return present ? text : std::string("<none>");
    };

    RuntimeRegistry registry;
    RuntimeRegistry::Clear();
    EXPECT_EQ(query(nullptr), "<none>");
    ASSERT_TRUE(RuntimeRegistry::Set(HKEY_CURRENT_USER, RuntimeRegistry::kKeys[0], L"0.0.0.0"));
    EXPECT_EQ(query(nullptr), "<none>");
    ASSERT_TRUE(RuntimeRegistry::Set(HKEY_CURRENT_USER, RuntimeRegistry::kKeys[0], L""));
    EXPECT_EQ(query(nullptr), "<none>");
    ASSERT_TRUE(RuntimeRegistry::Set(HKEY_CURRENT_USER, RuntimeRegistry::kKeys[1], L"120.0.1.2"));
    EXPECT_EQ(query(nullptr), "120.0.1.2");
    RuntimeRegistry::Clear();
    ASSERT_TRUE(
        RuntimeRegistry::Set(HKEY_LOCAL_MACHINE, RuntimeRegistry::kKeys[0], L"137.0.3296.44"));
    EXPECT_EQ(query(nullptr), "137.0.3296.44");

    // A fixed-version folder counts when it holds msedgewebview2.exe; relative to the exe.
    TempFolder folder;
    EXPECT_EQ(query(folder.path.c_str()), "<none>");
    WriteFileText(folder.path + L"msedgewebview2.exe", "");
    EXPECT_NE(query(folder.path.c_str()), "<none>");
    const std::wstring besideExe = ModuleFolder() + L"substitute-test-runtime";
    CreateDirectoryW(besideExe.c_str(), nullptr);
    EXPECT_EQ(query(L"substitute-test-runtime"), "<none>");
    WriteFileText(besideExe + L"\\msedgewebview2.exe", "");
    EXPECT_NE(query(L"substitute-test-runtime"), "<none>");
    DeleteFileW((besideExe + L"\\msedgewebview2.exe").c_str());
    RemoveDirectoryW(besideExe.c_str());
}

// The file operations behind the Chromium driver's folder handles, called as the page's script
// calls them, and as a hostile page could: every row names a call and the exception it must end
// in ("" when it succeeds). Nothing reaches outside the folders the host gave, a missing folder
// fails only when used, and a read-only handle changes nothing.
TEST(Substitute, FolderHandleCallsStayInTheirFoldersAndFailAsChromiumDoes) {
    using Json = substitute::Json;
    TempFolder folder;
    const std::wstring data = folder.path + L"data";
    CreateDirectoryW(data.c_str(), nullptr);
    CreateDirectoryW((data + L"\\nested").c_str(), nullptr);
    WriteFileText(data + L"\\file.txt", "inside");
    WriteFileText(folder.path + L"outside.txt", "outside");
    const auto utf8 = [](const std::wstring& text) {
        std::string result(text.size() * 3, '\0');
        result.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), result.data(),
                                          int(result.size()), nullptr, nullptr));
        return result;
    };

    substitute::FolderHandles handles;
    const std::string delivered = handles.DeliveryExpression(
        Json::array(
            {Json{{"kind", "directory"}, {"path", utf8(data) + "\\"}, {"permission", "read-write"}},
             Json{{"kind", "directory"},
                  {"path", utf8(folder.path) + "missing"},
                  {"permission", "read-write"}},
             Json{{"kind", "directory"}, {"path", utf8(data)}, {"permission", "read-only"}},
             nullptr, Json{{"kind", "other"}}})
            .dump());
    // The page gets numbers and names, never the Windows paths.
    EXPECT_EQ(delivered.find(utf8(folder.path)), std::string::npos) << delivered;
    for (const char* described :
         {R"({"kind":"directory","root":1,"name":"data","writable":true})",
          R"({"kind":"directory","root":2,"name":"missing","writable":true})",
          R"({"kind":"directory","root":3,"name":"data","writable":false})", "null",
          R"({"kind":"other"})"})
        EXPECT_NE(delivered.find(described), std::string::npos) << described << "\n" << delivered;

    const auto child = [](int root, Json path, const std::string& name, const char* kind,
                          bool create = false) {
        return Json{{"op", "child"}, {"root", root}, {"path", std::move(path)},
                    {"name", name},  {"kind", kind}, {"create", create}};
    };
    const std::pair<Json, std::string> rows[] = {
        {child(1, Json::array(), "file.txt", "file"), ""},
        {child(1, Json::array(), "nested", "directory"), ""},
        {child(1, Json::array(), "nested", "file"), "TypeMismatchError"},
        {child(1, Json::array(), "file.txt", "directory", true), "TypeMismatchError"},
        {child(1, Json::array(), "nothing", "file"), "NotFoundError"},
        {child(1, Json::array({"nothing"}), "x", "file", true), "NotFoundError"},
        {child(1, Json::array({"file.txt"}), "x", "file", true), "NotFoundError"},
        {child(1, Json::array(), ".hidden", "file", true), ""},
        {child(1, Json::array(), "caf\xC3\xA9 \xE2\x98\x95.txt", "file", true), ""},
        {child(1, Json::array(), "COM10", "file", true), ""},
        // Names that would leave the folder, or that Windows or Chromium refuse.
        {child(1, Json::array({".."}), "outside.txt", "file"), "TypeError"},
        {child(1, Json::array({"nested", ".."}), "file.txt", "file"), "TypeError"},
        {child(1, Json::array({"."}), "file.txt", "file"), "TypeError"},
        {child(1, Json::array({""}), "file.txt", "file"), "TypeError"},
        {child(1, Json::array({"nested\\.."}), "file.txt", "file"), "TypeError"},
        {child(1, Json::array({7}), "file.txt", "file"), "TypeError"},
        {child(1, Json::array(), "..\\outside.txt", "file"), "TypeError"},
        {child(1, Json::array(), "../outside.txt", "file"), "TypeError"},
        {child(1, Json::array(), "C:\\Windows", "directory"), "TypeError"},
        {child(1, Json::array(), "file.txt:stream", "file", true), "TypeError"},
        {child(1, Json::array(), "nul.txt", "file", true), "TypeError"},
        {child(1, Json::array(), "LPT1", "file", true), "TypeError"},
        {child(1, Json::array(), "link.LNK", "file", true), "TypeError"},
        {child(1, Json::array(), "x.{645ff040-5081-101b-9f08-00aa002f954e}", "file", true),
         "TypeError"},
        {child(1, Json::array(), "ends.", "file", true), "TypeError"},
        {child(1, Json::array(), "ends ", "file", true), "TypeError"},
        {child(1, Json::array(), " starts", "file", true), "TypeError"},
        {child(1, Json::array(), "~x", "file", true), "TypeError"},
        {child(1, Json::array(), "..x", "file", true), "TypeError"},
        {child(1, Json::array(), "a*b", "file", true), "TypeError"},
        {child(1, Json::array(), "tab\there", "file", true), "TypeError"},
        {child(1, Json::array(), "zero\xE2\x80\x8Bwidth", "file", true), "TypeError"},
        // Roots the page was never given.
        {child(0, Json::array(), "file.txt", "file"), "InvalidStateError"},
        {child(6, Json::array(), "file.txt", "file"), "InvalidStateError"},
        {Json{{"op", "list"}, {"root", "1"}, {"path", Json::array()}}, "InvalidStateError"},
        {Json{{"op", "list"}, {"root", 1}}, "InvalidStateError"},
        {Json{{"op", "format"}, {"root", 1}, {"path", Json::array()}}, "InvalidStateError"},
        {Json{{"op", "write"}, {"stream", 42}, {"position", 0}, {"data", ""}}, "InvalidStateError"},
        {Json::array({"child"}), "InvalidStateError"},
        // A folder that is missing: its handle was made, its use fails.
        {child(2, Json::array(), "x", "file", true), "NotFoundError"},
        {child(2, Json::array(), "x", "directory", true), "NotFoundError"},
        {Json{{"op", "list"}, {"root", 2}, {"path", Json::array()}}, "NotFoundError"},
        {Json{{"op", "remove"}, {"root", 2}, {"path", Json::array()}, {"name", "x"}},
         "NotFoundError"},
        {Json{{"op", "list"}, {"root", 1}, {"path", Json::array({"file.txt"})}},
         "TypeMismatchError"},
        {Json{{"op", "read"}, {"root", 1}, {"path", Json::array({"nested"})}}, "TypeMismatchError"},
        {Json{{"op", "open"}, {"root", 1}, {"path", Json::array({"gone.txt"})}}, "NotFoundError"},
        // Through the read-only handle: reading works, changes are not allowed.
        {Json{{"op", "read"}, {"root", 3}, {"path", Json::array({"file.txt"})}}, ""},
        {child(3, Json::array(), "new.txt", "file", true), "NotAllowedError"},
        {Json{{"op", "remove"}, {"root", 3}, {"path", Json::array()}, {"name", "file.txt"}},
         "NotAllowedError"},
        {Json{{"op", "open"}, {"root", 3}, {"path", Json::array({"file.txt"})}}, "NotAllowedError"},
        {Json{{"op", "remove"}, {"root", 1}, {"path", Json::array()}, {"name", "nothing"}},
         "NotFoundError"},
    };
    for (const auto& [call, expected] : rows) {
        const Json reply = handles.Answer(call);
        const std::string name = reply.contains("error") ? reply["error"].value("name", "?") : "";
        EXPECT_EQ(name, expected) << call.dump() << " -> " << reply.dump();
    }

    // Entries compared as Windows compares paths, across handles of one folder.
    EXPECT_EQ(
        handles.Answer(Json{{"op", "relate"},
                            {"root", 1},
                            {"path", Json::array()},
                            {"other", Json{{"root", 3}, {"path", Json::array({"NESTED", "x"})}}}}),
        (Json{{"value", Json::array({"NESTED", "x"})}}));
    EXPECT_EQ(handles.Answer(Json{{"op", "relate"},
                                  {"root", 1},
                                  {"path", Json::array({"nested"})},
                                  {"other", Json{{"root", 1}, {"path", Json::array()}}}}),
              (Json{{"value", nullptr}}));
    // The listing leaves out nothing the page may name, and the files outside stay as they were.
    const Json listing =
        handles.Answer(Json{{"op", "list"}, {"root", 1}, {"path", Json::array()}})["value"];
    EXPECT_EQ(listing.size(), 5u)
        << listing.dump();  // file.txt, nested, .hidden, café ☕.txt, COM10
    const Json read =
        handles.Answer(Json{{"op", "read"}, {"root", 1}, {"path", Json::array({"file.txt"})}});
    EXPECT_EQ(read["value"].value("data", ""), "aW5zaWRl") << read.dump();  // "inside"
    EXPECT_EQ(read["value"].value("type", ""), "text/plain");
    EXPECT_EQ(GetFileAttributesW((folder.path + L"missing").c_str()), INVALID_FILE_ATTRIBUTES);
    for (const char* name :
         {"nested", ".hidden", "caf\xC3\xA9 \xE2\x98\x95.txt", "COM10", "file.txt"})
        EXPECT_EQ(handles.Answer(Json{{"op", "remove"},
                                      {"root", 1},
                                      {"path", Json::array()},
                                      {"name", name},
                                      {"recursive", true}}),
                  (Json{{"value", Json::object()}}))
            << name;
    EXPECT_TRUE(RemoveDirectoryW(data.c_str())) << "the folder holds something the calls made";
}

}  // namespace
