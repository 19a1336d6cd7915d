#include "server/resource_handler_win.h"

#include <shlwapi.h>

#include <optional>
#include <stdexcept>

#include "app/paths_win.h"
#include "bundle/asset_bundle.h"
#include "server/mapped_stream_win.h"
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

// A stream over a copy of the bytes; null when it cannot be made (no memory, or past the 32-bit
// count such a stream takes).
ComPtr<IStream> MemoryStream(const std::uint8_t* bytes, std::uint64_t count,
                             [[maybe_unused]] const std::string& key) {
    ComPtr<IStream> stream;
#ifdef WRAPPER_TEST_HOOKS
    if (TestHookNames(L"WRAPPER_TEST_NO_MEMORY_STREAM", key)) return stream;
#endif
    if (count > 0xFFFFFFFFu) return stream;
    // The new stream's first reference is ours (ComPtr::Attach would take a second one here).
    *stream.ReleaseAndGetAddressOf() = SHCreateMemStream(bytes, static_cast<UINT>(count));
    return stream;
}

// The body of a bundle answer, read in place from the bundle's mapping. A bundle held in memory
// without a mapping owner (no mapped file behind it) is copied instead.
ComPtr<IStream> BundleStream(const VeltraWebView& host, const BundleFileEntry& entry,
                             const ResponsePlan& plan, const std::string& key) {
    const std::uint8_t* bytes = host.bundle->DataPointer(entry.offset) + plan.first;
    if (host.bundleMapping == nullptr) return MemoryStream(bytes, plan.count, key);
    const auto offset = static_cast<std::uint64_t>(bytes - host.bundleMapping->View());
    return NewMappedStream(host.bundleMapping, offset, plan.count, ToWide(key));
}

// Sets the answer of `plan` on the request.
void Answer(VeltraWebView& host, ICoreWebView2WebResourceRequestedEventArgs* args,
            const ResponsePlan& plan, IStream* body) {
    const std::wstring headerText = ToWide(JoinHeaderLines(plan.headers));
    const std::wstring reason = ToWide(plan.reason);
    ComPtr<ICoreWebView2WebResourceResponse> response;
    if (host.environment != nullptr) {
        host.environment->CreateWebResourceResponse(body, plan.status, reason.c_str(),
                                                    headerText.c_str(), &response);
    }
    if (response != nullptr) args->put_Response(response.Get());
}

}  // namespace

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
        const std::string rest = uri.size() > host.appOrigin.size()
                                     ? uri.substr(host.appOrigin.size())
                                     : std::string();
        const std::string key = ToNarrow(ToWide(PercentDecode(rest)));

        const BundleFileEntry* entry = host.bundle != nullptr ? host.bundle->FindFile(key) : nullptr;
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
                         range ? &*range : nullptr);

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
                body = MemoryStream(reinterpret_cast<const std::uint8_t*>(kNotFoundBody.data()),
                                    kNotFoundBody.size(), key);
                break;
            case BodySource::BundleBytes:
                body = BundleStream(host, *entry, plan, key);
                break;
            case BodySource::LooseFileStream:
                if (FAILED(SHCreateStreamOnFileEx(AddLongPathPrefix(ToWide(filePath)).c_str(),
                                                  STGM_READ, 0, FALSE, nullptr, &body))) {
                    body.Reset();
                }
                break;
            case BodySource::LooseFileView: {
                // A view mapped before the file grew may not reach the range: that is a 500 too.
                std::shared_ptr<const SharedMapping> mapped = host.MapLooseFile(key, filePath);
                if (mapped != nullptr && RangeFitsView(plan, mapped->Size())) {
                    body = NewMappedStream(std::move(mapped), plan.first, plan.count, ToWide(key));
                }
                break;
            }
        }
        // A body the plan names but that could not be had (a file that cannot be read, no memory
        // for a stream, a view too short): 500, with the header lines made so far.
        if (plan.body != BodySource::None && body == nullptr) ChangeToServerError(plan);
        Answer(host, args, plan, body.Get());
    } catch (...) {
        // Anything that failed on the way: the prepared answer, which needs no memory, rather
        // than no answer at all (the runtime would then look for the origin on the network).
        if (host.serverErrorResponse != nullptr) args->put_Response(host.serverErrorResponse.Get());
    }
    return S_OK;
}

std::shared_ptr<const SharedMapping> VeltraWebView::MapLooseFile(const std::string& key,
                                                                 const std::string& filePath) {
    auto found = mappedFiles.find(key);
    if (found != mappedFiles.end()) return found->second;
    std::shared_ptr<const SharedMapping> mapped =
        SharedMapping::Open(AddLongPathPrefix(ToWide(filePath)));
    if (mapped != nullptr) mappedFiles.emplace(key, mapped);
    return mapped;
}
