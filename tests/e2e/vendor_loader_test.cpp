// The host with the vendor's loader linked in, which finds the substitute installed as a runtime:
// what the loader does with runtimes it should not start, and with one older than the options'
// target version. (The start-up, environment, controller, installer and fixed-mode tests run with
// this loader as well, as their "vendor" variants.)
#include <gtest/gtest.h>

#include "harness.h"

namespace {

using e2e::AppFolder;
using e2e::Loader;
using nlohmann::json;

TEST(VendorLoader, ARuntimeOlderThanTheTargetVersionStartsAsAnOlderRuntime) {
    // The loader does not hold the runtime's version against TargetCompatibleBrowserVersion: it
    // starts the runtime and hands it the options; this one then lacks the newest interfaces.
    e2e::RuntimeScope runtime(true, "120.0.2210.91");
    AppFolder app("vendor_older_runtime", Loader::Vendor);
    app.WritePackageJson(R"({"name":"older-runtime","chromium-args":"--mute-audio"})");
    app.Write("www/index.html", "<!doctype html><title>Older</title>");
    const e2e::HostRun run = app.Run(
        "message-string https://app.localhost/index.html {\"type\":\"wrapper-init\"}\n"
        "wait PostWebMessageAsJson 1\n"
        "snapshot\n"
        "close\n");
    EXPECT_TRUE(run.probe["boxes"].empty()) << run.probe.dump();
    EXPECT_EQ(run.probe["exitCode"], 0);
    const auto environments = run.EnvironmentCalls();
    ASSERT_EQ(environments.size(), 1u);
    const json& call = environments[0];
    EXPECT_EQ(call["method"], "CreateWebViewEnvironmentWithOptionsInternal");
    EXPECT_EQ(call["version"], "120.0.2210.91");
    EXPECT_EQ(call["targetCompatibleBrowserVersion"], e2e::kRuntimeVersion);
    EXPECT_EQ(call["olderThanTarget"], true);
    EXPECT_EQ(call["additionalBrowserArguments"], "--mute-audio");
    // The handshake is answered without the folder handles an older runtime cannot make.
    EXPECT_TRUE(run.Calls("PostWebMessageAsJsonWithAdditionalObjects").empty());
    ASSERT_EQ(run.Calls("PostWebMessageAsJson").size(), 1u);
    ASSERT_EQ(run.Of("snapshot").size(), 1u);
    EXPECT_EQ(run.Of("snapshot")[0]["visible"], true);
}

TEST(VendorLoader, ARuntimeBelowTheLoadersMinimumCountsAsMissing) {
    // The loader passes over runtimes older than 86.0.616.0: the host finds none and goes on to
    // its installer (whose download fails here: nothing listens on the port).
    e2e::RuntimeScope runtime(true, "86.0.615.99");
    AppFolder app("vendor_ancient_runtime", Loader::Vendor);
    app.WritePackageJson(
        R"({"name":"ancient-runtime","window":{"title":"Ancient"},)"
        R"("messages":{"install-webview2":"install now","install-webview2-failed":"no runtime"}})");
    const json report =
        app.Probe({"--timeout", "30000"},
                  {{"WRAPPER_TEST_BOOTSTRAPPER_URL", "http://127.0.0.1:9/setup.exe"}});
    ASSERT_EQ(report["boxes"].size(), 2u) << report.dump();
    EXPECT_EQ(report["boxes"][0]["text"], "install now");
    EXPECT_EQ(report["boxes"][1]["text"], "no runtime");
    EXPECT_EQ(report["window"], nullptr);
    EXPECT_EQ(report["exitCode"], 1);
}

}  // namespace
