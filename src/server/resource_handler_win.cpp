#include "server/resource_handler_win.h"

#include <shlwapi.h>

#include <optional>

#include "app/paths_win.h"
#include "bundle/asset_bundle.h"
#include "server/mapped_stream_win.h"
#include "server/request_key.h"
#include "server/response_plan.h"
#include "webview/veltra_webview_win.h"

namespace {

std::string TakeTaskString(LPWSTR text) {
    std::string narrow = text != nullptr ? ToNarrow(text) : std::string();
    CoTaskMemFree(text);
    return narrow;
}

LooseFileFacts QueryLooseFile(const std::string& filePath) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    LooseFileFacts facts;
    if (GetFileAttributesExW(AddLongPathPrefix(ToWide(filePath)).c_str(), GetFileExInfoStandard,
                             &data)) {
        facts.exists = true;
        facts.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        facts.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    return facts;
}

// A stream holding a copy of the bytes; null past the 32-bit count such a stream takes.
ComPtr<IStream> MemoryStream(const std::uint8_t* bytes, std::uint64_t count) {
    ComPtr<IStream> stream;
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
    if (host.bundleMapping == nullptr) return MemoryStream(bytes, plan.count);
    const auto offset = static_cast<std::uint64_t>(bytes - host.bundleMapping->View());
    return NewMappedStream(host.bundleMapping, offset, plan.count, ToWide(key));
}

}  // namespace

HRESULT OnWebResourceRequested(VeltraWebView& host,
                               ICoreWebView2WebResourceRequestedEventArgs* args) noexcept {
    try {
        ComPtr<ICoreWebView2WebResourceRequest> request;
        if (FAILED(args->get_Request(&request)) || request == nullptr) return S_OK;
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

        ComPtr<IStream> body;
        switch (plan.body) {
            case BodySource::None:
                break;
            case BodySource::NotFoundText:
                body = MemoryStream(reinterpret_cast<const std::uint8_t*>(kNotFoundBody.data()),
                                    kNotFoundBody.size());
                break;
            case BodySource::BundleBytes:
                body = BundleStream(host, *entry, plan, key);
                if (body == nullptr) ChangeToServerError(plan);
                break;
            case BodySource::LooseFileStream:
                if (FAILED(SHCreateStreamOnFileEx(AddLongPathPrefix(ToWide(filePath)).c_str(),
                                                  STGM_READ, 0, FALSE, nullptr, &body))) {
                    body.Reset();
                    ChangeToServerError(plan);
                }
                break;
            case BodySource::LooseFileView: {
                // A view mapped before the file grew may not reach the range: that is a 500 too.
                std::shared_ptr<const SharedMapping> mapped = host.MapLooseFile(key, filePath);
                if (mapped != nullptr && RangeFitsView(plan, mapped->Size())) {
                    body = NewMappedStream(std::move(mapped), plan.first, plan.count, ToWide(key));
                }
                if (body == nullptr) ChangeToServerError(plan);
                break;
            }
        }

        const std::wstring headerText = ToWide(JoinHeaderLines(plan.headers));
        const std::wstring reason = ToWide(plan.reason);
        ComPtr<ICoreWebView2WebResourceResponse> response;
        if (host.environment != nullptr) {
            host.environment->CreateWebResourceResponse(body.Get(), plan.status, reason.c_str(),
                                                        headerText.c_str(), &response);
        }
        if (response != nullptr) args->put_Response(response.Get());
    } catch (...) {
        // Out of memory while answering: the request stays unanswered rather than unwinding into
        // the runtime.
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
