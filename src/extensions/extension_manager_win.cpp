#include "extensions/extension_manager_win.h"

#include "app/paths_win.h"
#include "webview/veltra_webview_win.h"

ExtensionManager* g_extensionManager = nullptr;

namespace {

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

ExtensionManager::ExtensionManager(std::string exeFolder, std::string contentFolder,
                                   std::string userDataFolder, std::string packageJson)
    : exeFolder(std::move(exeFolder)),
      contentFolder(std::move(contentFolder)),
      userDataFolder(std::move(userDataFolder)),
      packageJson(std::move(packageJson)) {}

ExtensionManager::~ExtensionManager() {
    if (webViewHost != nullptr && webViewHost->extensions == this) {
        webViewHost->extensions = nullptr;
    }
}

bool ExtensionManager::LoadExtension() {
    const std::wstring path = AddLongPathPrefix(ToWide(exeFolder) + kExtensionFileName);
    module = LoadLibraryW(path.c_str());
    if (module == nullptr) return false;
    init = Export<ExtensionInitFn>(module, "Init");
    release = Export<ExtensionReleaseFn>(module, "Release");
    onMainWindowCreated = Export<ExtensionWindowCreatedFn>(module, "OnMainWindowCreated");
    onExtensionMessage = Export<ExtensionMessageFn>(module, "OnExtensionMessage");
    if (init == nullptr || release == nullptr || onMainWindowCreated == nullptr ||
        onExtensionMessage == nullptr) {
        return false;
    }
    const char** ids =
        init(exeFolder.c_str(), contentFolder.c_str(), userDataFolder.c_str(), this);
    if (ids == nullptr) return false;
    for (const char** id = ids; *id != nullptr; ++id) componentIds.emplace_back(*id);
    return true;
}

void ExtensionManager::SendWebMessage(const char* json) {
    if (json == nullptr) return;
    try {
        if (pageReady && webViewHost != nullptr) {
            webViewHost->PostJsonToPage(json);
        } else {
            pendingMessages.emplace_back(json);
        }
    } catch (...) {
        // Nothing may unwind into the extension's code; the message is lost like a failed post.
    }
}

const char* ExtensionManager::GetDirectoryPath(const char* tag) {
    static const char kEmpty[] = "";
    if (tag == nullptr || webViewHost == nullptr) return kEmpty;
    try {
        auto it = webViewHost->directoryPaths.find(tag);
        return it == webViewHost->directoryPaths.end() ? kEmpty : it->second.c_str();
    } catch (...) {
        return kEmpty;
    }
}

const char* ExtensionManager::GetPackageJson() { return packageJson.c_str(); }
