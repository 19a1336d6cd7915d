// The asset bundle at start-up: mapped when present (in both content modes), a broken one reported
// once without stopping the program, and its files served first.
#include <gtest/gtest.h>

#include <algorithm>

#include "bundle/bundle_writer.h"
#include "harness.h"

namespace {

using e2e::AppFolder;
using e2e::Loader;
using nlohmann::json;

TEST(BundleStartup, BrokenBundleIsReportedOnceAndStartUpGoesOn) {
    struct Case {
        const char* name;
        const char* settings;
        std::string bundle;  // empty: no bundle file
        bool reported;
    };
    const Case cases[] = {
        {"none", "", "", false},
        {"garbage", "", "not a bundle at all", true},
        {"truncated", "", std::string("w7ab\0\0\0\0", 8), true},
        {"remote_mode", R"(,"settings":{"content-mode":"remote"},"main":"https://example.com/")",
         "garbage bytes", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppFolder app(std::string("bundle_") + c.name, Loader::Minimal);
        app.WritePackageJson(std::string(R"({"name":"bundle-test")") + c.settings + "}");
        if (!c.bundle.empty()) app.Write("www/assets.dat", c.bundle);
        const e2e::HostRun run = app.Run("", {"--timeout", "20000", "--close-when", "window"});
        const json& report = run.probe;
        // The log says what became of the bundle, with the reason when it could not be read.
        const auto bundleLine = std::find_if(run.hostLog.begin(), run.hostLog.end(),
                                             [](const std::string& line) {
                                                 return line.rfind("bundle: ", 0) == 0;
                                             });
        ASSERT_NE(bundleLine, run.hostLog.end());
        if (c.reported) {
            EXPECT_EQ(bundleLine->rfind("bundle: \"Error reading asset bundle\" (HRESULT 0x", 0), 0u)
                << *bundleLine;
            EXPECT_NE(bundleLine->find("start-up goes on"), std::string::npos) << *bundleLine;
        } else {
            EXPECT_EQ(*bundleLine, "bundle: none (loose files)");
        }
        if (c.reported) {
            ASSERT_EQ(report["boxes"].size(), 1u) << report.dump();
            EXPECT_EQ(report["boxes"][0]["caption"], "Windows WebView2 wrapper");
            EXPECT_EQ(report["boxes"][0]["text"], "Error reading asset bundle");
            EXPECT_EQ(report["boxes"][0]["icon"], "error");
        } else {
            EXPECT_TRUE(report["boxes"].empty()) << report.dump();
        }
        EXPECT_NE(report["window"], nullptr) << "the window still opens";
        EXPECT_EQ(report["exitCode"], 0);
    }
}

TEST(BundleStartup, BundleFilesAreServedBeforeLooseOnes) {
    AppFolder app("bundle_served");
    app.WritePackageJson(R"({"name":"bundle-served"})");
    app.Write("www/assets.dat",
              EncodeBundle({{"index.html", "<p>from the bundle</p>"}, {"only.js", "1;"}}));
    app.Write("www/index.html", "<p>loose</p>");
    const e2e::HostRun run =
        app.Run("request GET https://app.localhost/only.js script\nsnapshot\nclose\n");
    const json page = run.Response("https://app.localhost/index.html");
    ASSERT_FALSE(page.is_null());
    EXPECT_EQ(page["body"]["text"], "<p>from the bundle</p>");
    EXPECT_EQ(run.Response("https://app.localhost/only.js")["status"], 200);
    ASSERT_EQ(run.Of("snapshot").size(), 1u);
    EXPECT_EQ(run.Of("snapshot")[0]["visible"], true);
    EXPECT_EQ(run.probe["exitCode"], 0);
    EXPECT_NE(std::find(run.hostLog.begin(), run.hostLog.end(), "bundle: 2 entries"),
              run.hostLog.end());
}

}  // namespace
