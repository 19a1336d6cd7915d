#include "extensions/extension_manager_win.h"

#include "app/host_log_win.h"
#include "app/paths_win.h"
#include "webview/veltra_webview_win.h"

ExtensionManager* g_extensionManager = nullptr;

namespace {

constexpr wchar_t kRelayWindowClass[] = L"WindowsWebview2WrapperExtensionRelay";
constexpr UINT kRelayMessage = WM_APP + 1;
// The relay's second wake-up, for a relay message that never came (its post failed because the
// GUI thread's queue was full, or a message loop not ours took it away): texts wait at most this
// long. Timer messages are made afresh while the timer runs, so this one cannot be lost.
constexpr UINT_PTR kRelayTimer = 1;
constexpr UINT kRelayTimerMs = 250;
const char kEmpty[] = "";

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
      packageJson(std::move(packageJson)),
      guiThread_(GetCurrentThreadId()) {}

ExtensionManager::~ExtensionManager() {
    CloseRelay();
    if (webViewHost != nullptr && webViewHost->extensions == this) {
        webViewHost->extensions = nullptr;
    }
}

bool ExtensionManager::LoadExtension() {
    const std::wstring path = AddLongPathPrefix(ToWide(exeFolder) + kExtensionFileName);
    // Before the library is loaded: a thread it starts may send at once. Most apps have no
    // library, and their start-up does not pay for the window.
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) OpenRelay();
    module = LoadLibraryW(path.c_str());
    if (module == nullptr) {
        loadError = LastErrorResult();
        return false;
    }
    OpenRelay();  // (a library put there just now)
    // Only a loaded library has threads that may send: only then the timer runs.
    if (relayWindow_ != nullptr) SetTimer(relayWindow_, kRelayTimer, kRelayTimerMs, nullptr);
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

void ExtensionManager::OpenRelay() {
    if (relayWindow_ != nullptr) return;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = RelayWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kRelayWindowClass;
    RegisterClassExW(&windowClass);  // fails harmlessly when already registered
    relayWindow_ = CreateWindowExW(0, kRelayWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   windowClass.hInstance, nullptr);
    if (relayWindow_ == nullptr) return;  // texts from other threads will be dropped
    SetWindowLongPtrW(relayWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    const std::lock_guard<std::mutex> guard(lock_);
    relayOpen_ = true;
}

void ExtensionManager::CloseRelay() {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        relayOpen_ = false;
        relayed_.clear();
    }
    if (relayWindow_ != nullptr) {
        DestroyWindow(relayWindow_);
        relayWindow_ = nullptr;
    }
}

LRESULT CALLBACK ExtensionManager::RelayWindowProc(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam) {
    if (message == kRelayMessage || (message == WM_TIMER && wParam == kRelayTimer)) {
        auto* manager =
            reinterpret_cast<ExtensionManager*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (manager != nullptr) manager->DeliverRelayed();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void ExtensionManager::DeliverRelayed() {
    std::vector<std::string> texts;
    {
        const std::lock_guard<std::mutex> guard(lock_);
        texts.swap(relayed_);
        relayPosted_ = false;
    }
    try {
        for (std::string& text : texts) SendOnGuiThread(std::move(text));
    } catch (...) {
        // Nothing may unwind into the message loop; the rest are lost like failed posts.
    }
}

void ExtensionManager::SendOnGuiThread(std::string json) {
    if (pageReady && webViewHost != nullptr) {
        webViewHost->PostJsonToPage(json);
    } else {
        pendingMessages.push_back(std::move(json));
    }
}

void ExtensionManager::SendWebMessage(const char* json) {
    if (json == nullptr) return;
    try {
        std::string text(json);
        if (GetCurrentThreadId() == guiThread_) {
            SendOnGuiThread(std::move(text));
            return;
        }
        const std::lock_guard<std::mutex> guard(lock_);
        if (!relayOpen_) return;  // the message loop has ended
        relayed_.push_back(std::move(text));
        // One relay message carries every text queued until it is handled; should posting fail
        // (the GUI thread's queue is full), the next text tries again, and the relay's timer
        // delivers them meanwhile.
        if (!relayPosted_) relayPosted_ = PostRelayMessage();
    } catch (...) {
        // Nothing may unwind into the extension's code; the message is lost like a failed post.
    }
}

bool ExtensionManager::PostRelayMessage() {
#ifdef WRAPPER_TEST_HOOKS
    // A test-hooks build can be asked to act as if the first post failed.
    static bool failedOnce = false;
    if (!failedOnce && GetEnvironmentVariableW(L"WRAPPER_TEST_FAIL_RELAY_POST", nullptr, 0) > 0) {
        failedOnce = true;
        return false;
    }
#endif
    return PostMessageW(relayWindow_, kRelayMessage, 0, 0) != FALSE;
}

void ExtensionManager::PublishDirectoryPath(const std::string& tag, const std::string& path) {
    const std::lock_guard<std::mutex> guard(lock_);
    const char* kept = keptPaths_.insert(path).first->c_str();
    directoryPaths_[tag] = kept;
}

const char* ExtensionManager::GetDirectoryPath(const char* tag) {
    if (tag == nullptr) return kEmpty;
    try {
        const std::lock_guard<std::mutex> guard(lock_);
        const auto found = directoryPaths_.find(std::string_view(tag));
        return found == directoryPaths_.end() ? kEmpty : found->second;
    } catch (...) {
        return kEmpty;
    }
}

const char* ExtensionManager::GetPackageJson() { return packageJson.c_str(); }
