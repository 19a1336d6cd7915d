// Web messages in both directions.

#include "webview.h"

#include <nlohmann/json.hpp>

#include "event_args.h"

namespace substitute {
namespace {

constexpr char kObject[] = "webview";

// One entry of PostWebMessageAsJsonWithAdditionalObjects: null, a file-system handle, or
// something else.
Json DescribeObject(IUnknown* object) {
    if (object == nullptr) return nullptr;
    ComPtr<ICoreWebView2FileSystemHandle> handle;
    if (FAILED(object->QueryInterface(IID_PPV_ARGS(&handle)))) return Json{{"kind", "other"}};
    COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND kind = COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND_FILE;
    COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION permission =
        COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION_READ_ONLY;
    LPWSTR pathText = nullptr;
    std::string path;
    handle->get_Kind(&kind);
    handle->get_Permission(&permission);
    TakeString(handle->get_Path(&pathText), pathText, path);
    return Json{
        {"kind", kind == COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND_DIRECTORY ? "directory" : "file"},
        {"path", path},
        {"permission", permission == COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION_READ_WRITE
                           ? "read-write"
                           : "read-only"}};
}

}  // namespace

HRESULT WebView::PostWebMessageAsJson(LPCWSTR webMessageAsJson) {
    return Call(__func__, [&] {
        if (webMessageAsJson == nullptr) return E_INVALIDARG;
        const std::string json = ToUtf8(webMessageAsJson);
        const bool valid = nlohmann::json::accept(json);
        RecordCall(kObject, "PostWebMessageAsJson", Json{{"json", json}, {"valid", valid}});
        if (valid && !*closed_) driver_->OnHostMessage(json, "");
        return valid ? S_OK : E_INVALIDARG;
    });
}

HRESULT WebView::PostWebMessageAsString(LPCWSTR webMessageAsString) {
    return Call(__func__, [&] {
        RecordCall(kObject, "PostWebMessageAsString",
                   Json{{"text", Utf8OrNull(webMessageAsString)}});
        if (webMessageAsString != nullptr && !*closed_)
            driver_->OnHostMessage(Json(ToUtf8(webMessageAsString)).dump(), "");
        return S_OK;
    });
}

HRESULT WebView::PostWebMessageAsJsonWithAdditionalObjects(
    LPCWSTR webMessageAsJson, ICoreWebView2ObjectCollectionView* additionalObjects) {
    return Call(__func__, [&] {
        if (webMessageAsJson == nullptr) return E_INVALIDARG;
        const std::string json = ToUtf8(webMessageAsJson);
        const bool valid = nlohmann::json::accept(json);
        Json fields{{"json", json}, {"valid", valid}};
        if (additionalObjects == nullptr) {
            fields["objects"] = nullptr;
        } else {
            UINT32 count = 0;
            additionalObjects->get_Count(&count);
            Json objects = Json::array();
            for (UINT32 i = 0; i < count; ++i) {
                ComPtr<IUnknown> item;
                additionalObjects->GetValueAtIndex(i, &item);
                objects.push_back(DescribeObject(item.Get()));
            }
            fields["count"] = count;
            fields["objects"] = std::move(objects);
        }
        const std::string objectsJson =
            fields["objects"].is_array() ? fields["objects"].dump() : "";
        RecordCall(kObject, "PostWebMessageAsJsonWithAdditionalObjects", std::move(fields));
        if (valid && !*closed_) driver_->OnHostMessage(json, objectsJson);
        return valid ? S_OK : E_INVALIDARG;
    });
}

void WebView::RaiseWebMessage(const std::string& source, const std::string& json,
                              const std::optional<std::string>& asString) {
    if (SkipClosed("WebMessageReceived")) return;
    Json fields{
        {"source", source}, {"json", json}, {"string", asString ? Json(*asString) : Json(nullptr)}};
    if (!settings_->WebMessagesEnabled()) {
        fields["delivered"] = false;
        RecordEvent("WebMessageReceived", std::move(fields));
        return;
    }
    ComPtr<WebMessageReceivedArgs> args(new WebMessageReceivedArgs(source, json, asString));
    const auto results = webMessageReceived_.Invoke(Self(), args.Get());
    fields["handlers"] = results.size();
    fields["results"] = HResultList(results);
    RecordEvent("WebMessageReceived", std::move(fields));
}

}  // namespace substitute
