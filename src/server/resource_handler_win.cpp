#include "server/resource_handler_win.h"

#include <shlwapi.h>

#include <optional>
#include <stdexcept>

#include "app/paths_win.h"
#include "bundle/asset_bundle.h"
#include "config/app_config.h"
#include "server/body_stream_win.h"
#include "server/request_key.h"
#include "server/response_plan.h"
#include "webview/veltra_webview_win.h"

namespace {

#ifdef WRAPPER_TEST_HOOKS
// Whether the test variable `name` holds exactly `key`: a test-hooks build then acts as if the
// step that checks it had failed for that request.
bool TestHookNames(const wchar_t* name, const std::string& key) {
    wchar_t value[256] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 256);
    return length > 0 && length < 256 && ToNarrow(value) == key;
}
#endif

// Whether a test-hooks build was asked to act as if no body stream could be made for the request
// of `key`; never in other builds.
bool TestRefusesBodyStream([[maybe_unused]] const std::string& key) {
#ifdef WRAPPER_TEST_HOOKS
    return TestHookNames(L"WRAPPER_TEST_NO_BODY_STREAM", key);
#else
    return false;
#endif
}

std::string TakeTaskString(LPWSTR text) {
    std::string narrow = text != nullptr ? ToNarrow(text) : std::string();
    CoTaskMemFree(text);
    return narrow;
}

// The facts of a linked file are its target's: a link to a script serves the script.
LooseFileFacts QueryLooseFile(const std::string& filePath) {
    const FileFacts facts = QueryFileFacts(filePath);
    return LooseFileFacts{facts.exists, facts.isDirectory, facts.size};
}

// Every body is one of our own agile streams, so that the runtime's reader never waits for the
// GUI thread. Null when a test-hooks build was asked to fail it (WRAPPER_TEST_NO_BODY_STREAM).
ComPtr<IStream> BodyOver(std::shared_ptr<const ByteSource> source, std::uint64_t first,
                         std::uint64_t count, const std::string& key) {
    if (TestRefusesBodyStream(key)) return nullptr;
    return NewBodyStream(std::move(source), first, count, ToWide(key));
}

// The body of a bundle answer, copied out of the bundle's mapping as the runtime reads it. A bundle
// held in memory without a mapping owner (no mapped file behind it) is copied at once instead.
ComPtr<IStream> BundleStream(const VeltraWebView& host, const BundleFileEntry& entry,
                             const ResponsePlan& plan, const std::string& key) {
    const std::uint8_t* bytes = host.bundle->DataPointer(entry.offset) + plan.first;
    if (host.bundleMapping == nullptr) {
        if (plan.count > 0xFFFFFFFFu) return nullptr;
        std::shared_ptr<const ByteSource> copy = std::make_shared<MemoryBytes>(std::string(
            reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(plan.count)));
        return BodyOver(std::move(copy), 0, plan.count, key);
    }
    const auto offset = static_cast<std::uint64_t>(bytes - host.bundleMapping->View());
    return BodyOver(host.bundleMapping, offset, plan.count, key);
}

// The body of a loose answer, whole or a range: read by position from the file as it is when the
// runtime reads, through a handle that lets editors rewrite or replace it meanwhile. A file that
// is shorter now than the range: no body (500).
ComPtr<IStream> LooseStream(const std::string& filePath, const ResponsePlan& plan,
                            const std::string& key) {
    std::shared_ptr<const ByteSource> file = LooseFile::Open(AddLongPathPrefix(ToWide(filePath)));
    if (file == nullptr) return nullptr;
    return BodyOver(std::move(file), plan.first, plan.count, key);
}

const std::vector<ResponseHeader>& AddedHeaders(const VeltraWebView& host) {
    static const std::vector<ResponseHeader> none;
    return host.config != nullptr ? host.config->responseHeaders : none;
}

// The response of `plan` with `body`, made through the host's environment.
HRESULT CreateResponse(const VeltraWebView& host, const ResponsePlan& plan, IStream* body,
                       ICoreWebView2WebResourceResponse** response) {
    if (host.environment == nullptr) return E_UNEXPECTED;
    const std::wstring headerText = ToWide(JoinHeaderLines(plan.headers));
    const std::wstring reason = ToWide(plan.reason);
    return host.environment->CreateWebResourceResponse(body, plan.status, reason.c_str(),
                                                       headerText.c_str(), response);
}

// A new bodiless 500 (the prepared one when none can be made) set on the request; false when even
// that fails.
bool AnswerServerError(VeltraWebView& host, ICoreWebView2WebResourceRequestedEventArgs* args) {
    try {
        ComPtr<ICoreWebView2WebResourceResponse> response;
        if (SUCCEEDED(CreateServerErrorResponse(host, &response)) && response != nullptr &&
            SUCCEEDED(args->put_Response(response.Get()))) {
            return true;
        }
    } catch (...) {
        // No memory for the header text: the prepared answer below needs none.
    }
    return host.serverErrorResponse != nullptr &&
           SUCCEEDED(args->put_Response(host.serverErrorResponse.Get()));
}

// Sets the answer of `plan` on the request; false when the response cannot be made or set.
bool Answer(VeltraWebView& host, ICoreWebView2WebResourceRequestedEventArgs* args,
            const ResponsePlan& plan, IStream* body) {
    ComPtr<ICoreWebView2WebResourceResponse> response;
    return SUCCEEDED(CreateResponse(host, plan, body, &response)) && response != nullptr &&
           SUCCEEDED(args->put_Response(response.Get()));
}

}  // namespace

HRESULT CreateServerErrorResponse(const VeltraWebView& host,
                                  ICoreWebView2WebResourceResponse** response) {
    return CreateResponse(host, ServerErrorPlan(AddedHeaders(host)), nullptr, response);
}

HRESULT OnWebResourceRequested(VeltraWebView& host,
                               ICoreWebView2WebResourceRequestedEventArgs* args) noexcept {
    try {
        ComPtr<ICoreWebView2WebResourceRequest> request;
        if (FAILED(args->get_Request(&request)) || request == nullptr) {
            throw std::runtime_error("the request cannot be read");
        }
        LPWSTR rawUri = nullptr;
        request->get_Uri(&rawUri);
        const std::string uri = TakeTaskString(rawUri);
        ComPtr<ICoreWebView2HttpRequestHeaders> headers;
        request->get_Headers(&headers);

        // The key: what follows the origin, percent-decoded byte for byte, then passed through the
        // platform's UTF-8 conversion so that invalid UTF-8 is replaced as everywhere else.
        const std::string rest =
            uri.size() > host.appOrigin.size() ? uri.substr(host.appOrigin.size()) : std::string();
        const std::string key = ToNarrow(ToWide(PercentDecode(rest)));

        const BundleFileEntry* entry =
            host.bundle != nullptr ? host.bundle->FindFile(key) : nullptr;
        std::string filePath;
        LooseFileFacts loose;
        if (entry == nullptr && IsSafeLooseKey(key)) {
            filePath = LooseFilePath(host.exeFolder + host.contentFolder, key);
            loose = QueryLooseFile(filePath);
        }

        std::optional<std::string> range;
        BOOL hasRange = FALSE;
        if (headers != nullptr && SUCCEEDED(headers->Contains(L"Range", &hasRange)) && hasRange) {
            LPWSTR rawRange = nullptr;
            headers->GetHeader(L"Range", &rawRange);
            range = TakeTaskString(rawRange);
        }

        ResponsePlan plan =
            PlanResponse(key, entry != nullptr ? std::optional(entry->size) : std::nullopt, loose,
                         range ? &*range : nullptr, AddedHeaders(host));

#ifdef WRAPPER_TEST_HOOKS
        if (TestHookNames(L"WRAPPER_TEST_THROW_IN_REQUEST", key)) {
            throw std::runtime_error("request handling failed on purpose");
        }
#endif

        ComPtr<IStream> body;
        switch (plan.body) {
            case BodySource::None:
                break;
            case BodySource::NotFoundText:
                body = BodyOver(std::make_shared<MemoryBytes>(std::string(kNotFoundBody)), 0,
                                kNotFoundBody.size(), key);
                break;
            case BodySource::BundleBytes:
                body = BundleStream(host, *entry, plan, key);
                break;
            case BodySource::LooseFile:
                body = LooseStream(filePath, plan, key);
                break;
        }
        // A body the plan names but that could not be had (a file that cannot be read, no memory
        // for a stream): 500, with the header lines made so far.
        if (plan.body != BodySource::None && body == nullptr) ChangeToServerError(plan);
        if (!Answer(host, args, plan, body.Get())) AnswerServerError(host, args);
    } catch (...) {
        // Anything that failed on the way: a 500 rather than no answer at all (the runtime would
        // then look for the origin on the network).
        AnswerServerError(host, args);
    }
    return S_OK;
}
