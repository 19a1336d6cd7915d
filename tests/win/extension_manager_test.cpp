// The link between the extension manager and the WebView host, which shutdown destroys in the
// order manager first, host last.
#include <gtest/gtest.h>

#include <memory>

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
