// The host's side of the optional extension library.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "extensions/iwrapper_app.h"

class VeltraWebView;

inline constexpr wchar_t kExtensionFileName[] = L"DI2ZozUzoraru.dll";

using ExtensionInitFn = const char** (*)(const char* exeFolder, const char* contentFolder,
                                         const char* userDataFolder, IWrapperApp* app);
using ExtensionReleaseFn = void (*)();
using ExtensionWindowCreatedFn = void (*)(HWND window);
using ExtensionMessageFn = void (*)(const char* json);

// Everything except the IWrapperApp operations is used on the GUI thread only (the thread that
// created the manager). The IWrapperApp operations may be called from any thread: texts sent from
// another thread travel to the GUI thread through a message-only window (the relay), where they
// take the same path as texts sent there, in the order they were sent.
class ExtensionManager : public IWrapperApp {
public:
    ExtensionManager(std::string exeFolder, std::string contentFolder, std::string userDataFolder,
                     std::string packageJson);
    ExtensionManager(const ExtensionManager&) = delete;
    ExtensionManager& operator=(const ExtensionManager&) = delete;
    // Closes the relay and unlinks the WebView host, which outlives the manager at shutdown, so
    // that it never reaches back into a deleted manager.
    virtual ~ExtensionManager();

    // Opens the relay (when the library file is there), then loads the library and runs its
    // "Init"; true when "Init" ran and returned a list.
    bool LoadExtension();

    // From now on texts sent from other threads are dropped, and those not yet delivered too: the
    // message loop has ended. Also done by the destructor.
    void CloseRelay();
    // The folder behind a directory tag, as the last handshake found it; GetDirectoryPath answers
    // from these entries, on every thread.
    void PublishDirectoryPath(const std::string& tag, const std::string& path);

    void SendWebMessage(const char* json) override;
    const char* GetDirectoryPath(const char* tag) override;
    const char* GetPackageJson() override;

    HMODULE module = nullptr;
    // Why the library did not load (HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND): there is none).
    HRESULT loadError = S_OK;
    ExtensionInitFn init = nullptr;
    ExtensionReleaseFn release = nullptr;
    ExtensionWindowCreatedFn onMainWindowCreated = nullptr;
    ExtensionMessageFn onExtensionMessage = nullptr;
    const std::string exeFolder;
    const std::string contentFolder;
    const std::string userDataFolder;
    const std::string packageJson;
    VeltraWebView* webViewHost = nullptr;
    std::vector<std::string> componentIds;
    bool pageReady = false;
    std::vector<std::string> pendingMessages;

private:
    static LRESULT CALLBACK RelayWindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    void OpenRelay();
    // The GUI thread's path of a sent text: posted at once after the first handshake, queued in
    // pendingMessages before it.
    void SendOnGuiThread(std::string json);
    // Takes every relayed text, oldest first, down the GUI thread's path (for the relay message
    // and for each tick of the relay's timer).
    void DeliverRelayed();
    // Wakes the GUI thread for the relayed texts; false when the post failed. Called with lock_.
    bool PostRelayMessage();

    const DWORD guiThread_;
    HWND relayWindow_ = nullptr;

    std::mutex lock_;  // guards everything below
    bool relayOpen_ = false;
    bool relayPosted_ = false;  // a relay message is on its way (or was taken by another loop)
    std::vector<std::string> relayed_;  // texts from other threads, not delivered yet
    std::set<std::string, std::less<>> keptPaths_;  // every path handed out, valid until deletion
    std::map<std::string, const char*, std::less<>> directoryPaths_;
};

extern ExtensionManager* g_extensionManager;
