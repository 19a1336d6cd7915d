// Serving speed of the content server: the host's real request handler answers requests for
// bundle files and loose files, whole and by ranges, with responses made by the substitute
// runtime's environment; each answer is timed from handler entry to the end of reading its body
// stream and compared with a plain memcpy of the same bytes measured in the same run.
//
// Usage: bench_content_server.exe [LOADER_DLL]
//   LOADER_DLL defaults to WRAPPER_SUBSTITUTE_DLL, else ..\..\substitute\WebView2Loader.dll from
//   this program's folder (the build tree's layout).
#include <objbase.h>
#include <shlwapi.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/paths_win.h"
#include "bundle/asset_bundle.h"
#include "bundle/bundle_writer.h"
#include "config/app_config.h"
#include "server/resource_handler_win.h"
#include "webview/com_object_win.h"
#include "webview/veltra_webview_win.h"
#include "webview/webview2_loader_win.h"

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// The request side, as the runtime would hand it to the host: a URI and at most a Range header.

HRESULT CopyOut(const std::wstring& text, LPWSTR* out) {
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

  private:
    ComPtr<ICoreWebView2WebResourceRequest> request_;
    ComPtr<ICoreWebView2WebResourceResponse> response_;
};

// ---------------------------------------------------------------------------------------------
// The substitute's environment, created the way the host creates it.

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

// Pumps this thread's messages until the environment arrives (10 s at most).
ComPtr<ICoreWebView2Environment> CreateEnvironment(const WebView2Loader& loader,
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

// ---------------------------------------------------------------------------------------------
// Timing.

double Frequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
}

double Now() {
    static const double frequency = Frequency();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Case {
    const char* name;
    std::string key;
    std::string range;     // empty: whole file
    std::string expected;  // the body bytes
    int status;
};

struct Result {
    double responseSeconds;   // median, handler entry to the end of the body
    double memcpySeconds;     // median, one memcpy of the body's size
    double memStreamSeconds;  // median, a memory stream made of the same bytes and read to its end
    double requestsPerSecond;
};

constexpr char kOrigin[] = "https://app.localhost/";
constexpr std::size_t kReadChunk = 64 * 1024;  // what a reader of the body asks for at a time
constexpr double kBatchSeconds = 0.15;
constexpr int kRounds = 5;

class Bench {
  public:
    Bench(VeltraWebView& host, std::size_t largest)
        : host_(host), destination_(largest), source_(largest) {}

    // One request, answered and read to its end. Returns false when the answer is wrong.
    bool Serve(const Case& c, double* window) {
        ComPtr<RequestedArgs> args(new RequestedArgs(ComPtr<ICoreWebView2WebResourceRequest>(
            new Request(ToWide(kOrigin + c.key), ToWide(c.range)))));
        const double start = Now();
        OnWebResourceRequested(host_, args.Get());
        ICoreWebView2WebResourceResponse* response = args->Response();
        ComPtr<IStream> body;
        if (response != nullptr) response->get_Content(&body);
        const std::size_t length = body != nullptr ? ReadToEnd(body.Get()) : 0;
        *window = Now() - start;
        int status = 0;
        if (response != nullptr) response->get_StatusCode(&status);
        return status == c.status && length == c.expected.size() &&
               std::memcmp(destination_.data(), c.expected.data(), length) == 0;
    }

    bool Measure(const Case& c, Result& result) {
        double window = 0;
        for (int i = 0; i < 3; ++i) {
            if (!Serve(c, &window)) return false;
        }
        std::memcpy(source_.data(), c.expected.data(), c.expected.size());
        std::vector<double> responses;
        std::vector<double> copies;
        std::vector<double> memStreams;
        double servingTime = 0;
        std::size_t served = 0;
        for (int round = 0; round < kRounds; ++round) {
            const double batchStart = Now();
            do {
                if (!Serve(c, &window)) return false;
                responses.push_back(window);
                ++served;
            } while (Now() - batchStart < kBatchSeconds);
            servingTime += Now() - batchStart;
            copies.push_back(CopyTime(c.expected.size()));
            memStreams.push_back(MemStreamTime(c.expected.size()));
        }
        result.responseSeconds = Median(responses);
        result.memcpySeconds = Median(copies);
        result.memStreamSeconds = Median(memStreams);
        result.requestsPerSecond = static_cast<double>(served) / servingTime;
        return true;
    }

  private:
    // Reads the stream to its end (or until the destination is full); returns the byte count.
    std::size_t ReadToEnd(IStream* stream) {
        std::size_t length = 0;
        while (length < destination_.size()) {
            ULONG read = 0;
            const std::size_t room = std::min(kReadChunk, destination_.size() - length);
            if (FAILED(
                    stream->Read(destination_.data() + length, static_cast<ULONG>(room), &read)) ||
                read == 0) {
                break;
            }
            length += read;
        }
        return length;
    }

    // The platform's part of a bundle answer alone: SHCreateMemStream over the bytes (its copy),
    // then the stream read to its end.
    double MemStreamTime(std::size_t size) {
        std::vector<double> times;
        const double batchStart = Now();
        do {
            const double start = Now();
            IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(source_.data()),
                                                static_cast<UINT>(size));
            if (stream == nullptr) return 0;
            ReadToEnd(stream);
            times.push_back(Now() - start);
            stream->Release();
        } while (Now() - batchStart < kBatchSeconds / 2);
        return Median(times);
    }

    // One memcpy of `size` bytes, timed over enough repeats to be far above the clock's step;
    // the median of several such batches.
    double CopyTime(std::size_t size) {
        std::vector<double> perCopy;
        const double batchStart = Now();
        do {
            int repeats = 0;
            const double start = Now();
            double elapsed = 0;
            do {
                std::memcpy(destination_.data(), source_.data(), size);
                // Keep the copy from being dropped or merged with the next one.
                asm volatile("" : : "r"(destination_.data()) : "memory");
                ++repeats;
                elapsed = Now() - start;
            } while (elapsed < 0.0005);
            perCopy.push_back(elapsed / repeats);
        } while (Now() - batchStart < kBatchSeconds / 2);
        return Median(perCopy);
    }

    VeltraWebView& host_;
    std::vector<char> destination_;
    std::vector<char> source_;
};

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// The folder holding the loader library, with its trailing backslash.
std::string LoaderFolder(int argc, wchar_t** argv) {
    std::wstring dll;
    if (argc > 1) {
        dll = argv[1];
    } else {
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

std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 31 + seed) ^ (i >> 8));
    }
    return bytes;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int Run(int argc, wchar_t** argv) {
    // The substitute reads its switches when the environment is created: no transcript, no
    // scenario, and no hashing of bodies (this program reads them itself anyway).
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_TRANSCRIPT", nullptr);
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_SCENARIO", nullptr);
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_NO_HASH", L"1");

    WebView2Loader loader;
    const std::string loaderFolder = LoaderFolder(argc, argv);
    if (!loader.Load(loaderFolder)) {
        std::fprintf(stderr, "cannot load the loader library from \"%s\"\n", loaderFolder.c_str());
        return 2;
    }

    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    const fs::path work =
        fs::path(temp) / ("wrapper-content-bench-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(work);
    fs::create_directories(work / "www");

    const std::size_t kSmall = 4 * 1024;
    const std::size_t kLarge = 1024 * 1024;
    const std::string small = Pattern(kSmall, 1);
    const std::string large = Pattern(kLarge, 2);
    WriteBytes(work / "www" / "loose-4k.bin", small);
    WriteBytes(work / "www" / "loose-1m.bin", large);
    // The bundle as the host holds it: bytes in memory (the host's are a mapped view of the
    // file, which is the same memory once its pages are in).
    const std::string bundleBytes =
        EncodeBundle({{"bundle-4k.bin", small}, {"bundle-1m.bin", large}});
    AssetBundle bundle;
    bundle.readMode = ReadMode::Memory;
    bundle.base = reinterpret_cast<const std::uint8_t*>(bundleBytes.data());
    bundle.limit = bundleBytes.size();
    bundle.Load();

    const ComPtr<ICoreWebView2Environment> environment =
        CreateEnvironment(loader, (work / "user-data").wstring());
    if (environment == nullptr) {
        std::fprintf(stderr, "the substitute gave no environment\n");
        return 2;
    }

    AppConfig config;
    config.name = "content-bench";
    config.main = "index.html";
    VeltraWebView host(&config, &bundle, nullptr, ToNarrow(work.wstring()) + "\\", "www\\", nullptr,
                       ToNarrow((work / "user-data").wstring()));
    host.environment = environment;

    // Ranges: the middle half of each file, so neither end of the file is a special case.
    const std::string smallRange = "bytes=1024-3071";
    const std::string largeRange = "bytes=262144-786431";
    const std::vector<Case> cases = {
        {"bundle 4 KiB whole", "bundle-4k.bin", "", small, 200},
        {"bundle 4 KiB range", "bundle-4k.bin", smallRange, small.substr(1024, 2048), 206},
        {"bundle 1 MiB whole", "bundle-1m.bin", "", large, 200},
        {"bundle 1 MiB range", "bundle-1m.bin", largeRange, large.substr(262144, 524288), 206},
        {"loose 4 KiB whole", "loose-4k.bin", "", small, 200},
        {"loose 4 KiB range", "loose-4k.bin", smallRange, small.substr(1024, 2048), 206},
        {"loose 1 MiB whole", "loose-1m.bin", "", large, 200},
        {"loose 1 MiB range", "loose-1m.bin", largeRange, large.substr(262144, 524288), 206},
    };

    std::printf(
        "Content server under Wine: handler entry to the end of the body, against a memcpy of\n"
        "the same bytes; \"memstream\" is SHCreateMemStream over those bytes read to its end, the\n"
        "platform's share of a bundle answer (medians; timer %.0f Hz)\n",
        Frequency());
    std::printf("%-20s %9s %11s %12s %10s %13s %6s %9s\n", "case", "bytes", "requests/s",
                "response us", "memcpy us", "memstream us", "ratio", "mem ratio");
    Bench bench(host, kLarge);
    int failures = 0;
    double bundleLargeRatio = 0;
    for (const Case& c : cases) {
        Result result{};
        if (!bench.Measure(c, result)) {
            std::printf("%-20s wrong answer\n", c.name);
            ++failures;
            continue;
        }
        const double ratio = result.responseSeconds / result.memcpySeconds;
        if (c.key == "bundle-1m.bin" && c.range.empty()) bundleLargeRatio = ratio;
        std::printf("%-20s %9zu %11.0f %12.2f %10.3f %13.2f %6.1f %9.1f\n", c.name,
                    c.expected.size(), result.requestsPerSecond, result.responseSeconds * 1e6,
                    result.memcpySeconds * 1e6, result.memStreamSeconds * 1e6, ratio,
                    result.memStreamSeconds / result.memcpySeconds);
    }
    std::printf("aim: a 1 MiB bundle response within 3x its memcpy: %.1fx (%s)\n", bundleLargeRatio,
                bundleLargeRatio > 0 && bundleLargeRatio <= 3 ? "met" : "not met");

    host.CloseMappedFiles();
    host.environment.Reset();
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const int code = Run(argc, argv);
        std::fflush(stdout);
        return code;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "content server bench failed: %s\n", error.what());
        return 2;
    }
}
