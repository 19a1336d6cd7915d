// The request side of the content server as the runtime hands it to the host (a URI and at most a
// Range header), and the substitute runtime's environment created the way the host creates it:
// what the Windows tests and benchmarks need to call the host's real request handler.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <cstring>
#include <string>

#include "app/paths_win.h"
#include "server/resource_handler_win.h"
#include "webview/com_object_win.h"
#include "webview/veltra_webview_win.h"
#include "webview/webview2_loader_win.h"

namespace resource_requests {

using Microsoft::WRL::ComPtr;

inline HRESULT CopyOut(const std::wstring& text, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (*out == nullptr) return E_OUTOFMEMORY;
    std::memcpy(*out, text.c_str(), bytes);
    return S_OK;
}

class RequestHeaders final : public ComObject<ICoreWebView2HttpRequestHeaders> {
public:
    explicit RequestHeaders(std::wstring range) : range_(std::move(range)) {}
    HRESULT STDMETHODCALLTYPE GetHeader(LPCWSTR name, LPWSTR* value) override {
        if (!IsRange(name)) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        return CopyOut(range_, value);
    }
    HRESULT STDMETHODCALLTYPE GetHeaders(LPCWSTR,
                                         ICoreWebView2HttpHeadersCollectionIterator**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Contains(LPCWSTR name, BOOL* value) override {
        if (value == nullptr) return E_POINTER;
        *value = IsRange(name) ? TRUE : FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHeader(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveHeader(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIterator(ICoreWebView2HttpHeadersCollectionIterator**) override {
        return E_NOTIMPL;
    }

private:
    bool IsRange(LPCWSTR name) const {
        return !range_.empty() && name != nullptr && _wcsicmp(name, L"Range") == 0;
    }
    std::wstring range_;  // empty: the request has no Range header
};

class Request final : public ComObject<ICoreWebView2WebResourceRequest> {
public:
    Request(std::wstring uri, std::wstring range)
        : uri_(std::move(uri)), headers_(new RequestHeaders(std::move(range))) {}
    HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override { return CopyOut(uri_, uri); }
    HRESULT STDMETHODCALLTYPE put_Uri(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Method(LPWSTR* method) override {
        return CopyOut(L"GET", method);
    }
    HRESULT STDMETHODCALLTYPE put_Method(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Content(IStream** content) override {
        if (content == nullptr) return E_POINTER;
        *content = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Content(IStream*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Headers(ICoreWebView2HttpRequestHeaders** headers) override {
        if (headers == nullptr) return E_POINTER;
        return headers_.CopyTo(headers);
    }

private:
    std::wstring uri_;
    ComPtr<ICoreWebView2HttpRequestHeaders> headers_;
};

class RequestedArgs final : public ComObject<ICoreWebView2WebResourceRequestedEventArgs> {
public:
    explicit RequestedArgs(ComPtr<ICoreWebView2WebResourceRequest> request)
        : request_(std::move(request)) {}
    HRESULT STDMETHODCALLTYPE get_Request(ICoreWebView2WebResourceRequest** request) override {
        if (request == nullptr) return E_POINTER;
        return request_.CopyTo(request);
    }
    HRESULT STDMETHODCALLTYPE get_Response(ICoreWebView2WebResourceResponse** response) override {
        if (response == nullptr) return E_POINTER;
        return response_.CopyTo(response);
    }
    HRESULT STDMETHODCALLTYPE put_Response(ICoreWebView2WebResourceResponse* response) override {
        if (refusedPuts > 0) {
            --refusedPuts;
            return E_FAIL;
        }
        response_ = response;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE
    get_ResourceContext(COREWEBVIEW2_WEB_RESOURCE_CONTEXT* context) override {
        if (context == nullptr) return E_POINTER;
        *context = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_OTHER;
        return S_OK;
    }
    ICoreWebView2WebResourceResponse* Response() const { return response_.Get(); }
    int refusedPuts = 0;  // this many put_Response calls fail first, setting nothing

private:
    ComPtr<ICoreWebView2WebResourceRequest> request_;
    ComPtr<ICoreWebView2WebResourceResponse> response_;
};

inline constexpr char kOrigin[] = "https://app.localhost/";

// The host's answer to a request for `key` (after the origin) with an optional Range value;
// null when the handler set none.
inline ComPtr<ICoreWebView2WebResourceResponse> Answer(VeltraWebView& host, const std::string& key,
                                                       const std::string& range = "") {
    ComPtr<RequestedArgs> args(new RequestedArgs(ComPtr<ICoreWebView2WebResourceRequest>(
        new Request(ToWide(kOrigin + key), ToWide(range)))));
    OnWebResourceRequested(host, args.Get());
    return args->Response();
}

class EnvironmentWaiter {
public:
    HRESULT OnCreated(HRESULT errorCode, ICoreWebView2Environment* created) {
        done = true;
        if (SUCCEEDED(errorCode)) environment = created;
        return S_OK;
    }
    bool done = false;
    ComPtr<ICoreWebView2Environment> environment;
};

// The environment of the loaded runtime, created as the host creates it; pumps this thread's
// messages until it arrives (10 s at most).
inline ComPtr<ICoreWebView2Environment> CreateEnvironment(const WebView2Loader& loader,
                                                          const std::wstring& userDataFolder) {
    EnvironmentWaiter waiter;
    ComPtr<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> handler(
        NewCallback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                    &EnvironmentWaiter::OnCreated>(&waiter));
    if (FAILED(loader.createEnvironment(nullptr, userDataFolder.c_str(), nullptr, handler.Get()))) {
        return nullptr;
    }
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (!waiter.done && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    return waiter.environment;
}

inline std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// The folder holding the substitute runtime, with its trailing backslash: that of `dll` when
// given, else of WRAPPER_SUBSTITUTE_DLL, else ..\..\substitute\ from this program's folder (the
// build tree's layout).
inline std::string SubstituteFolder(std::wstring dll = {}) {
    if (dll.empty()) {
        wchar_t value[MAX_PATH * 4];
        const DWORD length =
            GetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_DLL", value, MAX_PATH * 4);
        dll = length > 0 && length < MAX_PATH * 4
                  ? std::wstring(value)
                  : ModuleFolder() + L"..\\..\\substitute\\WebView2Loader.dll";
    }
    // The loader is loaded by a long-path name, which keeps ".." segments: resolve them first.
    wchar_t full[MAX_PATH * 4];
    wchar_t* fileName = nullptr;
    const DWORD length = GetFullPathNameW(dll.c_str(), MAX_PATH * 4, full, &fileName);
    if (length == 0 || length >= MAX_PATH * 4 || fileName == nullptr) return {};
    return ToNarrow(std::wstring(full, fileName));
}

}  // namespace resource_requests
