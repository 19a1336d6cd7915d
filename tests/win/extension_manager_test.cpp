// The extension manager: its link with the WebView host (which shutdown destroys in the order
// manager first, host last), the layout of IWrapperApp, and calls from other threads.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "app/paths_win.h"
#include "bundle/asset_bundle.h"
#include "config/app_config.h"
#include "extensions/extension_manager_win.h"
#include "webview/veltra_webview_win.h"

TEST(ExtensionManager, EitherSideDestroyedFirstLeavesTheOtherUnlinked) {
    AppConfig config;
    AssetBundle bundle;
    {
        SCOPED_TRACE("manager first, as at shutdown");
        auto manager = std::make_unique<ExtensionManager>("C:\\app\\", "www\\", "C:\\data", "{}");
        g_extensionManager = manager.get();
        VeltraWebView host(&config, &bundle, nullptr, "C:\\app\\", "www\\", nullptr, "C:\\data");
        ASSERT_EQ(host.extensions, manager.get());
        ASSERT_EQ(manager->webViewHost, &host);
        manager.reset();
        g_extensionManager = nullptr;
        EXPECT_EQ(host.extensions, nullptr);
    }
    {
        SCOPED_TRACE("host first");
        ExtensionManager manager("C:\\app\\", "www\\", "C:\\data", "{}");
        g_extensionManager = &manager;
        auto host = std::make_unique<VeltraWebView>(&config, &bundle, nullptr, "C:\\app\\", "www\\",
                                                    nullptr, "C:\\data");
        g_extensionManager = nullptr;
        ASSERT_EQ(manager.webViewHost, host.get());
        host.reset();
        EXPECT_EQ(manager.webViewHost, nullptr);
        EXPECT_STREQ(manager.GetDirectoryPath("<documents>"), "");
    }
}

// IWrapperApp as an extension built elsewhere sees it: a C compiler, or another C++ compiler,
// knows only "an object whose first member points to a table of three functions taking the
// object first". Any change to that layout breaks every extension already built.
extern "C" {
struct WrapperAppFunctions {
    void (*sendWebMessage)(void* app, const char* json);
    const char* (*getDirectoryPath)(void* app, const char* tag);
    const char* (*getPackageJson)(void* app);
};
struct WrapperAppObject {
    const WrapperAppFunctions* functions;
};
}

static_assert(std::is_polymorphic_v<IWrapperApp> && std::is_abstract_v<IWrapperApp>);
static_assert(!std::has_virtual_destructor_v<IWrapperApp>, "a destructor would take slots");
static_assert(sizeof(IWrapperApp) == sizeof(void*), "no data: the table pointer only");

TEST(ExtensionManager, IWrapperAppThroughAPlainTableOfThreeFunctions) {
    ExtensionManager manager("C:\\app\\", "www\\", "C:\\data", "{\"name\":\"abi\"}");
    IWrapperApp* app = &manager;
    ASSERT_EQ(static_cast<void*>(app), static_cast<void*>(&manager))
        << "extensions get the manager's own address";
    auto* object = reinterpret_cast<WrapperAppObject*>(app);
    const WrapperAppFunctions* table = object->functions;

    EXPECT_EQ(table->getPackageJson(object), manager.packageJson.c_str());
    EXPECT_STREQ(table->getDirectoryPath(object, "<documents>"), "");
    manager.PublishDirectoryPath("<documents>", "C:\\users\\me\\Documents");
    EXPECT_STREQ(table->getDirectoryPath(object, "<documents>"), "C:\\users\\me\\Documents");
    EXPECT_STREQ(table->getDirectoryPath(object, "<Documents>"), "");
    EXPECT_STREQ(table->getDirectoryPath(object, nullptr), "");
    table->sendWebMessage(object, R"({"type":"first"})");
    table->sendWebMessage(object, nullptr);
    table->sendWebMessage(object, R"({"type":"second"})");
    EXPECT_EQ(manager.pendingMessages,
              (std::vector<std::string>{R"({"type":"first"})", R"({"type":"second"})"}));
}

namespace {

// Runs this thread's messages until `done` holds or `milliseconds` have passed.
template <typename Done>
bool RunMessagesUntil(Done done, ULONGLONG milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (!done() && GetTickCount64() < deadline) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(1);
    }
    return done();
}

}  // namespace

TEST(ExtensionManager, CallsFromOtherThreadsTakeTheGuiThreadsPathInOrder) {
    // No library file beside this "host": no relay either, since no other thread can call.
    {
        ExtensionManager none("C:\\no such folder\\", "www\\", "C:\\data", "{}");
        EXPECT_FALSE(none.LoadExtension());
        EXPECT_EQ(none.loadError, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
        EXPECT_EQ(FindWindowExW(HWND_MESSAGE, nullptr, L"WindowsWebview2WrapperExtensionRelay",
                                nullptr),
                  nullptr);
    }
    // A file that is no library: LoadExtension opens the relay, and then fails to load it.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::string folder = ToNarrow(temp) + "wrapper-relay-test\\";
    CreateDirectoryW(ToWide(folder).c_str(), nullptr);
    const std::wstring notALibrary = ToWide(folder) + kExtensionFileName;
    CloseHandle(CreateFileW(notALibrary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    ExtensionManager manager(folder, "www\\", "C:\\data", "{}");
    EXPECT_FALSE(manager.LoadExtension());
    EXPECT_NE(manager.loadError, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    DeleteFileW(notALibrary.c_str());
    RemoveDirectoryW(ToWide(folder).c_str());
    manager.SendWebMessage("from the GUI thread");
    manager.PublishDirectoryPath("<documents>", "C:\\first");

    const char* seen[3] = {};
    std::thread worker([&] {
        seen[0] = manager.GetDirectoryPath("<documents>");
        for (int n = 0; n < 1000; ++n) {
            const std::string text = "{\"n\":" + std::to_string(n) + "}";
            manager.SendWebMessage(text.c_str());
        }
        seen[1] = manager.GetPackageJson();
        seen[2] = manager.GetDirectoryPath("<none>");
    });
    // Nothing arrives before this thread runs its messages.
    worker.join();
    EXPECT_EQ(manager.pendingMessages.size(), 1u);
    ASSERT_TRUE(RunMessagesUntil([&] { return manager.pendingMessages.size() == 1001; }, 10000));
    EXPECT_EQ(manager.pendingMessages[0], "from the GUI thread");
    for (int n = 0; n < 1000; ++n) {
        EXPECT_EQ(manager.pendingMessages[n + 1], "{\"n\":" + std::to_string(n) + "}");
    }
    // A path handed out stays readable although a later handshake found another.
    manager.PublishDirectoryPath("<documents>", "C:\\second");
    EXPECT_STREQ(seen[0], "C:\\first");
    EXPECT_STREQ(manager.GetDirectoryPath("<documents>"), "C:\\second");
    EXPECT_EQ(seen[1], manager.packageJson.c_str());
    EXPECT_STREQ(seen[2], "");

    // Once the message loop has ended, texts from other threads are dropped; the GUI thread's own
    // still take their path.
    manager.CloseRelay();
    std::thread([&] { manager.SendWebMessage("too late"); }).join();
    manager.SendWebMessage("still here");
    RunMessagesUntil([] { return false; }, 300);
    ASSERT_EQ(manager.pendingMessages.size(), 1002u);
    EXPECT_EQ(manager.pendingMessages.back(), "still here");
}
