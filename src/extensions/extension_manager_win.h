// The host's side of the optional extension library.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "extensions/iwrapper_app.h"

class VeltraWebView;

inline constexpr wchar_t kExtensionFileName[] = L"DI2ZozUzoraru.dll";

using ExtensionInitFn = const char** (*)(const char* exeFolder, const char* contentFolder,
                                         const char* userDataFolder, IWrapperApp* app);
using ExtensionReleaseFn = void (*)();
using ExtensionWindowCreatedFn = void (*)(HWND window);
using ExtensionMessageFn = void (*)(const char* json);

class ExtensionManager : public IWrapperApp {
public:
    ExtensionManager(std::string exeFolder, std::string contentFolder, std::string userDataFolder,
                     std::string packageJson);
    ExtensionManager(const ExtensionManager&) = delete;
    ExtensionManager& operator=(const ExtensionManager&) = delete;
    // Unlinks the WebView host, which outlives the manager at shutdown, so that it never reaches
    // back into a deleted manager.
    virtual ~ExtensionManager();

    // Loads the library and runs its "Init"; true when "Init" ran and returned a list.
    bool LoadExtension();

    void SendWebMessage(const char* json) override;
    const char* GetDirectoryPath(const char* tag) override;
    const char* GetPackageJson() override;

    HMODULE module = nullptr;
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
};

extern ExtensionManager* g_extensionManager;
