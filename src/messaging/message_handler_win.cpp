// Page messages on the Windows side: dispatch to the window and the extension, the handshake,
// and the folder handles handed to the page.
#include <windows.h>
#include <knownfolders.h>

#include <array>

#include "app/paths_win.h"
#include "extensions/extension_manager_win.h"
#include "messaging/directory_folders.h"
#include "messaging/message_protocol.h"
#include "webview/veltra_webview_win.h"

namespace {

class HostActions final : public MessageActions {
public:
    HostActions(VeltraWebView& host, bool outsideCallback)
        : host_(host), outsideCallback_(outsideCallback) {}
    void WrapperInit() override { host_.HandleWrapperInit(); }
    void SetFullscreen(bool fullscreen) override { host_.SetFullscreen(fullscreen); }
    void SetWindowSize(std::int32_t width, std::int32_t height) override {
        host_.SetWindowSize(width, height);
    }
    void SetWindowPosition(std::int32_t x, std::int32_t y) override {
        host_.SetWindowPosition(x, y);
    }
    void ExtensionMessage(const std::string& text) override {
        if (outsideCallback_) {
            CallExtension(host_, text);
            return;
        }
        ExtensionManager* extensions = host_.extensions;
        if (extensions == nullptr || extensions->onExtensionMessage == nullptr) return;
        // The library may show a box or run a loop: never inside the runtime's callback.
        VeltraWebView* host = &host_;
        host_.RunAfterCallback([host, text] { CallExtension(*host, text); });
    }

private:
    static void CallExtension(VeltraWebView& host, const std::string& text) {
        ExtensionManager* extensions = host.extensions;
        if (extensions != nullptr && extensions->onExtensionMessage != nullptr) {
            extensions->onExtensionMessage(text.c_str());
        }
    }

    VeltraWebView& host_;
    const bool outsideCallback_;
};

const GUID* KnownFolderGuid(KnownFolderId id) {
    switch (id) {
        case KnownFolderId::LocalAppData: return &FOLDERID_LocalAppData;
        case KnownFolderId::RoamingAppData: return &FOLDERID_RoamingAppData;
        case KnownFolderId::Desktop: return &FOLDERID_Desktop;
        case KnownFolderId::Documents: return &FOLDERID_Documents;
        case KnownFolderId::Downloads: return &FOLDERID_Downloads;
        case KnownFolderId::Pictures: return &FOLDERID_Pictures;
        case KnownFolderId::Profile: return &FOLDERID_Profile;
        case KnownFolderId::SavedGames: return &FOLDERID_SavedGames;
        case KnownFolderId::Screenshots: return &FOLDERID_Screenshots;
        case KnownFolderId::Videos: return &FOLDERID_Videos;
        case KnownFolderId::None: break;
    }
    return nullptr;
}

}  // namespace

void VeltraWebView::HandleWebMessage(const std::string& text) {
    // Page messages keep the page's order: while an extension's message waits for the callback
    // to return (or runs), every later message waits behind it, handshakes included.
    if (WorkIsLeft()) {
        RunAfterCallback([this, text] { DispatchPageMessage(text, true); });
        return;
    }
    DispatchPageMessage(text, false);
}

void VeltraWebView::DispatchPageMessage(const std::string& text, bool outsideCallback) {
    HostActions actions(*this, outsideCallback);
    DispatchWebMessage(text, actions);
}

void VeltraWebView::HandleWrapperInit() {
    PostDirectoryHandles();
    static const std::vector<std::string> kNoComponents;
    const std::vector<std::string>& ids =
        extensions != nullptr ? extensions->componentIds : kNoComponents;
    PostJsonToPage(BuildWrapperInitResponse(ids));
    if (extensions == nullptr) return;
    // By index, and each text copied before it is posted: should posting let the relay deliver
    // a text from another thread, it joins the end of this queue and goes out in its turn.
    std::vector<std::string>& queue = extensions->pendingMessages;
    for (size_t i = 0; i < queue.size(); ++i) {
        const std::string queued = queue[i];
        PostJsonToPage(queued);
    }
    extensions->pageReady = true;
    queue.clear();
}

void VeltraWebView::PostJsonToPage(const std::string& json) {
    if (webview == nullptr) return;
    const std::wstring text = ToWide(json);
    webview->PostWebMessageAsJson(text.c_str());
}

void VeltraWebView::PostDirectoryHandles() {
    ComPtr<ICoreWebView2Environment14> environment14;
    ComPtr<ICoreWebView2_23> webview23;
    if (environment == nullptr || webview == nullptr || FAILED(environment.As(&environment14)) ||
        FAILED(webview.As(&webview23))) {
        return;  // an older runtime: no handles, the handshake goes on
    }
    std::array<ComPtr<ICoreWebView2FileSystemHandle>, kDirectoryHandleCount> handles;
    const HostFolders folders{exeFolder, contentFolder, userDataFolder};
    const auto knownFolderPath = [](KnownFolderId id) {
        const GUID* guid = KnownFolderGuid(id);
        return guid != nullptr ? GetKnownFolderPath(*guid) : std::string();
    };
    for (const DirectoryFolder& row : DirectoryFolders()) {
        AddDirectoryHandle(environment14.Get(), &handles[row.index], std::string(row.tag),
                           DirectoryFolderPath(row, folders, knownFolderPath));
    }
    std::array<IUnknown*, kDirectoryHandleCount> items{};
    for (size_t i = 0; i < handles.size(); ++i) items[i] = handles[i].Get();
    ComPtr<ICoreWebView2ObjectCollection> collection;
    environment14->CreateObjectCollection(static_cast<UINT32>(items.size()), items.data(),
                                          &collection);
    const std::wstring json = ToWide(DirectoryHandlesMessage());
    webview23->PostWebMessageAsJsonWithAdditionalObjects(json.c_str(), collection.Get());
}

void VeltraWebView::AddDirectoryHandle(ICoreWebView2Environment14* environment14,
                                       ComPtr<ICoreWebView2FileSystemHandle>* slot,
                                       const std::string& tag, const std::string& path) {
    if (path.empty()) return;
    directoryPaths[tag] = path;
    if (extensions != nullptr) extensions->PublishDirectoryPath(tag, path);
    const std::wstring widePath = ToWide(path);
    environment14->CreateWebFileSystemDirectoryHandle(
        widePath.c_str(), COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION_READ_WRITE,
        slot->ReleaseAndGetAddressOf());
}
