// The runtime installer under Wine: with no runtime registered, the host downloads the
// bootstrapper from a loopback server (through the test-hooks link override) with its progress
// window, runs it in the user-data folder and checks for the runtime again. The bootstrapper is a
// fake that marks the runtime installed in the prefix's registry (or, in one variant, does not)
// and records where it ran.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "loopback_server.h"

namespace {

using e2e::AppFolder;
using e2e::HttpReply;
using e2e::Loader;
using e2e::LoopbackServer;
using nlohmann::json;
namespace fs = std::filesystem;

constexpr char kTitle[] = "Runtime Setup Tést";
constexpr char kInstallText[] = "This app needs the WebView2 runtime; it will be installed now.";
constexpr char kDownloading[] = "Téléchargement du runtime…";
constexpr char kFailedText[] = "The WebView2 runtime could not be installed.";
constexpr char kVendorHost[] = "go.microsoft.com";
constexpr char kVendorLink[] = "https://go.microsoft.com/fwlink/p/?LinkId=2124703";

// A fake bootstrapper's bytes.
std::string Bootstrapper(bool registers) {
    const fs::path path =
        e2e::WinBuildDir() / "tests/win/helpers" /
        (registers ? "fake_bootstrapper.exe" : "fake_bootstrapper_unregistered.exe");
    const std::string bytes = e2e::ReadFileBytes(path);
    if (bytes.empty()) throw std::runtime_error("missing " + path.string());
    return bytes;
}

// A drive C: path as the Unix path it stands for in the prefix.
fs::path UnixPath(std::string windowsPath) {
    if (windowsPath.size() < 2 ||
        (windowsPath.compare(0, 2, "C:") != 0 && windowsPath.compare(0, 2, "c:") != 0)) {
        return {};
    }
    for (char& c : windowsPath) {
        if (c == '\\') c = '/';
    }
    return e2e::Prefix() / "drive_c" / fs::path(windowsPath.substr(2)).relative_path();
}

using LinePredicate = std::function<bool(const std::string&)>;

// Waits until a line of the probe's log satisfies `wanted`. Bounded, and shorter than the probe's
// own time limit so that a run that stalls still ends with a report; false on timeout.
bool WaitForLine(const fs::path& log, const LinePredicate& wanted, int seconds = 40) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        std::istringstream lines(e2e::ReadFileBytes(log));
        std::string seen;
        while (std::getline(lines, seen)) {
            if (wanted(seen)) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

LinePredicate Is(const std::string& line) {
    return [line](const std::string& seen) { return seen == line; };
}

// A bar position strictly between 0 and 100, seen by the probe or recorded by its hook.
bool InBetween(const std::string& line) {
    int position = -1;
    return (std::sscanf(line.c_str(), "progress %d", &position) == 1 ||
            std::sscanf(line.c_str(), "setpos %d", &position) == 1) &&
           position > 0 && position < 100;
}

// One run of the fake bootstrapper: where it ran and which file it was.
struct BootstrapperRun {
    std::string directory;
    std::string program;
};

class Installer : public testing::Test {
protected:
    // An app folder named `name` whose package.json has the test's title and messages, with its
    // user-data folder (named like the app) removed, and fresh logs.
    void Prepare(const std::string& name, const std::string& settings = "{}",
                 Loader loader = Loader::Minimal) {
        app_ = std::make_unique<AppFolder>(name, loader);
        json package = {{"name", name},
                        {"window", {{"title", kTitle}}},
                        {"settings", json::parse(settings)},
                        {"messages",
                         {{"install-webview2", kInstallText},
                          {"downloading", kDownloading},
                          {"install-webview2-failed", kFailedText}}}};
        app_->WritePackageJson(package.dump());
        userData_ = e2e::LocalAppData() / name;
        fs::remove_all(userData_);
        runLog_ = app_->Dir() / "bootstrapper-runs.log";
        probeLog_ = app_->Dir() / "probe.log";
        closeTrigger_ = app_->Dir() / "close-progress-window";
    }

    std::map<std::string, std::string> Environment(const LoopbackServer& server) const {
        return {{"WRAPPER_TEST_BOOTSTRAPPER_URL", server.Url()},
                {"WRAPPER_FAKE_BOOTSTRAPPER_LOG", e2e::WinPath(runLog_)},
                {"WRAPPER_FAKE_BOOTSTRAPPER_RUNTIME", e2e::WinPath(e2e::ClientLibrary())}};
    }

    // Probe options that watch the progress window and log what is seen of it; the main window
    // is closed once it exists (or, with "visible", once it is shown).
    std::vector<std::string> WatchProgress(const std::string& closeWhen = "window") const {
        return {"--timeout",        "60000",
                "--close-when",     closeWhen,
                "--extra-class",    "WebView2Setup",
                "--extra-log",      e2e::WinPath(probeLog_),
                "--close-extra-on", e2e::WinPath(closeTrigger_)};
    }

    // Starts the host through the probe on a thread of its own, so that the test can act on the
    // probe's log (and release the server) while the host runs.
    std::future<json> StartProbe(const std::vector<std::string>& options,
                                 const std::map<std::string, std::string>& env) const {
        const AppFolder* app = app_.get();
        return std::async(std::launch::async,
                          [app, options, env] { return app->Probe(options, env, 90); });
    }

    std::vector<BootstrapperRun> Runs() const {
        std::vector<BootstrapperRun> runs;
        std::istringstream lines(e2e::ReadFileBytes(runLog_));
        std::string line;
        while (std::getline(lines, line)) {
            const size_t tab = line.find('\t');
            if (tab != std::string::npos)
                runs.push_back({line.substr(0, tab), line.substr(tab + 1)});
        }
        return runs;
    }

    // The one run of the bootstrapper took place in the user-data folder, from the downloaded
    // file there.
    void ExpectOneRunInUserDataFolder() const {
        const std::vector<BootstrapperRun> runs = Runs();
        ASSERT_EQ(runs.size(), 1u) << e2e::ReadFileBytes(runLog_);
        const fs::path directory = UnixPath(runs[0].directory);
        const fs::path program = UnixPath(runs[0].program);
        ASSERT_FALSE(directory.empty()) << runs[0].directory;
        EXPECT_TRUE(fs::exists(directory) && fs::equivalent(directory, userData_))
            << runs[0].directory << " is not " << userData_;
        EXPECT_EQ(program.filename(), "Webview2Setup.exe") << runs[0].program;
        EXPECT_TRUE(fs::exists(program) && fs::equivalent(program, userData_ / "Webview2Setup.exe"))
            << runs[0].program;
    }

    static void ExpectBox(const json& box, const std::string& text, const std::string& icon) {
        EXPECT_EQ(box["caption"], kTitle);
        EXPECT_EQ(box["text"], text);
        EXPECT_EQ(box["icon"], icon);
    }

    std::unique_ptr<AppFolder> app_;
    fs::path userData_;
    fs::path runLog_;
    fs::path probeLog_;
    fs::path closeTrigger_;
};

// Releases the server's holds one by one, each once the probe has logged a line that satisfies
// the predicate given for it; on a timeout it lets the reply run to its end, so that the host
// still finishes.
void ReleaseWhenSeen(LoopbackServer& server, const fs::path& probeLog,
                     const std::vector<LinePredicate>& waits) {
    for (size_t k = 0; k < waits.size(); ++k) {
        if (!WaitForLine(probeLog, waits[k])) {
            ADD_FAILURE() << "the probe's log never met wait " << k << "; log:\n"
                          << e2e::ReadFileBytes(probeLog);
            server.ReleaseAll();
            return;
        }
        server.Release();
    }
}

// The installer decision and the install run twice: with a stand-in loader that only answers the
// version query, and with the vendor's loader, which must find the runtime the fake bootstrapper
// installed and start it (the window is then shown).
class InstallerWithLoader : public Installer, public testing::WithParamInterface<Loader> {
protected:
    bool Vendor() const { return GetParam() == Loader::Vendor; }
    // The client library where the fake bootstrapper installs it.
    static fs::path InstalledClientLibrary() {
        return e2e::Prefix() / "drive_c/Program Files (x86)/Microsoft/EdgeWebView/Application" /
               e2e::kRuntimeVersion / "EBWebView/x64/EmbeddedBrowserWebView.dll";
    }
};

INSTANTIATE_TEST_SUITE_P(Loaders, InstallerWithLoader,
                         testing::Values(Loader::Minimal, Loader::Vendor),
                         [](const auto& info) { return e2e::LoaderName(info.param); });

TEST_P(InstallerWithLoader, DownloadsWithProgressThenRunsTheInstallerInTheUserDataFolder) {
    e2e::RuntimeScope runtime(false);
    ASSERT_FALSE(fs::exists(InstalledClientLibrary()));
    Prepare("runtime-setup-ü", "{}", GetParam());
    const std::string bootstrapper = Bootstrapper(true);
    // Sent slowly, and held before anything is sent and again at half the body, so that the bar
    // is seen at 0 and in between while the download is still going on. (The download's own
    // progress reports may lag behind the bytes received, so the hold at half need not show 50.)
    HttpReply reply;
    reply.body = bootstrapper;
    reply.holds = {0, bootstrapper.size() / 2};
    reply.blockSize = 4096;
    reply.pauseMilliseconds = 2;
    LoopbackServer server(reply);

    std::future<json> probe =
        StartProbe(WatchProgress(Vendor() ? "visible" : "window"), Environment(server));
    ReleaseWhenSeen(server, probeLog_, {Is("progress 0"), InBetween});
    const json report = probe.get();

    ASSERT_EQ(report["boxes"].size(), 1u) << report.dump();
    ExpectBox(report["boxes"][0], kInstallText, "information");
    const json& progress = report["extra"];
    ASSERT_NE(progress, nullptr) << report.dump();
    EXPECT_EQ(progress["window"]["title"], kDownloading);
    // The system adds WS_CLIPSIBLINGS to every top-level window.
    EXPECT_EQ(progress["window"]["style"].get<unsigned>() & ~0x04000000u, 0x10CA0000u);
    const std::vector<int> seen = progress["progress"];
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0) << "the bar starts at 0";
    // Every position the host gave the bar, as its hook recorded them: rising through values in
    // between to 100 before the window closed.
    const std::vector<int> given = progress["setPositions"];
    ASSERT_FALSE(given.empty()) << progress.dump();
    EXPECT_TRUE(std::is_sorted(given.begin(), given.end())) << progress.dump();
    EXPECT_TRUE(std::any_of(given.begin(), given.end(), [](int p) { return p > 0 && p < 100; }))
        << progress.dump();
    EXPECT_EQ(given.back(), 100) << progress.dump();
    EXPECT_EQ(server.Requests(), 1);
    EXPECT_TRUE(server.Finished());

    EXPECT_TRUE(e2e::ReadFileBytes(userData_ / "Webview2Setup.exe") == bootstrapper)
        << "the served file";
    ExpectOneRunInUserDataFolder();
    EXPECT_NE(report["window"], nullptr) << "the second check passes and the app starts";
    if (Vendor()) {
        // The vendor's loader started the runtime the bootstrapper laid out, and the page loaded.
        EXPECT_TRUE(e2e::ReadFileBytes(InstalledClientLibrary()) ==
                    e2e::ReadFileBytes(e2e::ClientLibrary()));
        EXPECT_EQ(report["everVisible"], true) << report.dump();
    }
    EXPECT_EQ(report["exitCode"], 0);
    EXPECT_EQ(report["timedOut"], false);
}

TEST_P(InstallerWithLoader, MissingDownloadOrFailedInstallEndsWithTheFailureBox) {
    struct Case {
        const char* name;
        int status;
        bool registers;
        bool expectRun;
    };
    const Case cases[] = {
        {"runtime-setup-404", 404, true, false},
        {"runtime-setup-unregistered", 200, false, true},
    };
    e2e::RuntimeScope runtime(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Prepare(c.name, "{}", GetParam());
        HttpReply reply;
        reply.status = c.status;
        reply.body = c.status == 200 ? Bootstrapper(c.registers) : "no such file";
        LoopbackServer server(reply);
        const json report = app_->Probe({"--timeout", "60000"}, Environment(server), 60);
        ASSERT_EQ(report["boxes"].size(), 2u) << report.dump();
        ExpectBox(report["boxes"][0], kInstallText, "information");
        ExpectBox(report["boxes"][1], kFailedText, "error");
        EXPECT_EQ(report["window"], nullptr);
        EXPECT_EQ(report["exitCode"], 1);
        EXPECT_EQ(server.Requests(), 1);
        if (c.expectRun) {
            ExpectOneRunInUserDataFolder();
        } else {
            EXPECT_TRUE(Runs().empty());
        }
    }
}

TEST_F(Installer, SetupFailuresAreShownBeforeTheFailureBox) {
    e2e::RuntimeScope runtime(false);
    // A user-data folder that cannot be made: a name Windows takes (200 UTF-16 units) but the
    // Linux file system under Wine cannot hold (400 bytes in UTF-8, beyond its 255).
    Prepare("runtime-setup-parent");
    std::string name;
    for (int i = 0; i < 200; ++i) name += "\xC3\xA9";
    json package = json::parse(e2e::ReadFileBytes(app_->Dir() / "package.json"));
    package["name"] = name;
    app_->WritePackageJson(package.dump());
    HttpReply reply;
    reply.body = Bootstrapper(true);
    LoopbackServer server(reply);
    const json report = app_->Probe({"--timeout", "60000"}, Environment(server), 60);
    ASSERT_EQ(report["boxes"].size(), 3u) << report.dump();
    ExpectBox(report["boxes"][0], kInstallText, "information");
    ExpectBox(report["boxes"][1], "Failed to create user data directory", "error");
    ExpectBox(report["boxes"][2], kFailedText, "error");
    EXPECT_EQ(report["exitCode"], 1);
    EXPECT_EQ(server.Requests(), 0) << "nothing is downloaded after a setup failure";
    EXPECT_TRUE(Runs().empty());
}

TEST_F(Installer, WithoutLengthTheBarStaysAtZeroAndAnEarlyCloseStillInstalls) {
    e2e::RuntimeScope runtime(false);
    Prepare("runtime-setup-nolength");
    const std::string bootstrapper = Bootstrapper(true);
    HttpReply reply;
    reply.body = bootstrapper;
    reply.framing = HttpReply::Framing::NoLength;
    reply.holds = {0, bootstrapper.size() / 2};
    LoopbackServer server(reply);

    std::future<json> probe = StartProbe(WatchProgress(), Environment(server));
    // The first half goes out once the window has been seen; the probe then closes the window
    // while the rest is held back, and the rest follows once the window has gone.
    if (WaitForLine(probeLog_, Is("progress 0"))) {
        server.Release();
        // Give the host time to take in the first half: the bar must still show 0 afterwards.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        std::ofstream(closeTrigger_) << "close";
        if (!WaitForLine(probeLog_, Is("gone"))) ADD_FAILURE() << "the progress window stayed";
    } else {
        ADD_FAILURE() << "no progress window seen";
    }
    server.ReleaseAll();
    const json report = probe.get();

    ASSERT_EQ(report["boxes"].size(), 1u) << report.dump();
    ExpectBox(report["boxes"][0], kInstallText, "information");
    ASSERT_NE(report["extra"], nullptr) << report.dump();
    EXPECT_EQ(report["extra"]["closeSent"], true);
    EXPECT_EQ(report["extra"]["progress"], json::array({0})) << report.dump();
    EXPECT_EQ(report["extra"]["maxProgress"], 0);
    EXPECT_EQ(report["extra"]["setPositions"], json::array()) << "the bar is never moved";
    EXPECT_TRUE(server.Finished());
    EXPECT_TRUE(e2e::ReadFileBytes(userData_ / "Webview2Setup.exe") == bootstrapper)
        << "the download went on after the window closed";
    ExpectOneRunInUserDataFolder();
    EXPECT_NE(report["window"], nullptr) << report.dump();
    EXPECT_EQ(report["exitCode"], 0);
}

TEST_F(Installer, AtHighDpiTheWindowIsScaledAndAnEarlierInstallerIsOverwritten) {
    e2e::RuntimeScope runtime(false);
    e2e::DpiScope dpi(144);
    Prepare("runtime-setup-dpi");
    // An empty "downloading" text is the window's caption as it stands.
    json package = json::parse(e2e::ReadFileBytes(app_->Dir() / "package.json"));
    package["messages"]["downloading"] = "";
    app_->WritePackageJson(package.dump());
    // An installer from an earlier run that would not register the runtime.
    fs::create_directories(userData_);
    const std::string stale = Bootstrapper(false);
    std::ofstream(userData_ / "Webview2Setup.exe", std::ios::binary) << stale;
    const std::string bootstrapper = Bootstrapper(true);
    ASSERT_TRUE(stale != bootstrapper);
    HttpReply reply;
    reply.body = bootstrapper;
    reply.holds = {0};
    LoopbackServer server(reply);

    std::future<json> probe = StartProbe(WatchProgress(), Environment(server));
    ReleaseWhenSeen(server, probeLog_, {Is("progress 0")});
    const json report = probe.get();

    ASSERT_NE(report["extra"], nullptr) << report.dump();
    const json& window = report["extra"]["window"];
    EXPECT_EQ(window["title"], "");
    const std::vector<int> outer = window["windowRect"];
    EXPECT_EQ(outer[2] - outer[0], 450);
    EXPECT_EQ(outer[3] - outer[1], 135);
    const std::vector<int> client = window["clientRect"];
    EXPECT_EQ(report["extra"]["barRect"], json::array({15, 15, client[2] - 15, client[3] - 15}))
        << "a 15-pixel margin on each side";
    EXPECT_TRUE(e2e::ReadFileBytes(userData_ / "Webview2Setup.exe") == bootstrapper)
        << "the served file";
    ExpectOneRunInUserDataFolder();
    EXPECT_NE(report["window"], nullptr) << report.dump();
    EXPECT_EQ(report["exitCode"], 0);
}

TEST_F(Installer, WhenTheDownloadThreadCannotStartTheWindowClosesAtOnce) {
    e2e::RuntimeScope runtime(false);
    struct Case {
        const char* name;
        bool earlierInstaller;  // a registering installer left in the user-data folder
    };
    for (const Case& c :
         {Case{"runtime-setup-nothread", false}, Case{"runtime-setup-stale", true}}) {
        SCOPED_TRACE(c.name);
        Prepare(c.name);
        if (c.earlierInstaller) {
            fs::create_directories(userData_);
            std::ofstream(userData_ / "Webview2Setup.exe", std::ios::binary) << Bootstrapper(true);
        }
        HttpReply reply;
        reply.body = Bootstrapper(true);
        LoopbackServer server(reply);
        std::map<std::string, std::string> env = Environment(server);
        env["WRAPPER_TEST_FAIL_DOWNLOAD_THREAD"] = "1";
        // Nobody closes the progress window here: without the fix the run would time out.
        const json report = app_->Probe(
            {"--timeout", "60000", "--close-when", "window", "--extra-class", "WebView2Setup"}, env,
            60);
        EXPECT_EQ(report["timedOut"], false) << report.dump();
        EXPECT_EQ(server.Requests(), 0);
        ASSERT_GE(report["boxes"].size(), 1u) << report.dump();
        ExpectBox(report["boxes"][0], kInstallText, "information");
        if (c.earlierInstaller) {
            // The second check finds what the earlier installer registered.
            EXPECT_EQ(report["boxes"].size(), 1u) << report.dump();
            ExpectOneRunInUserDataFolder();
            EXPECT_NE(report["window"], nullptr);
            EXPECT_EQ(report["exitCode"], 0);
        } else {
            ASSERT_EQ(report["boxes"].size(), 2u) << report.dump();
            ExpectBox(report["boxes"][1], kFailedText, "error");
            EXPECT_TRUE(Runs().empty());
            EXPECT_EQ(report["exitCode"], 1);
        }
        e2e::SetRuntimeInstalled(false);
    }
}

TEST_P(InstallerWithLoader, FixedModeNeverRunsTheInstaller) {
    e2e::RuntimeScope runtime(false);
    {
        SCOPED_TRACE("no runtime in the webview2 folder");
        Prepare("runtime-setup-fixed-missing", R"({"distribution-mode":"fixed"})", GetParam());
        HttpReply reply;
        reply.body = Bootstrapper(true);
        LoopbackServer server(reply);
        const json report = app_->Probe({"--timeout", "30000"}, Environment(server), 30);
        ASSERT_EQ(report["boxes"].size(), 1u) << report.dump();
        ExpectBox(report["boxes"][0],
                  "This app is set to \"fixed\" distribution mode, but the WebView2 control failed "
                  "to initialize. Check there is a valid fixed distribution of Microsoft Edge "
                  "WebView2 runtime in the \"webview2\" subfolder.",
                  "error");
        EXPECT_EQ(report["exitCode"], 1);
        EXPECT_EQ(server.Requests(), 0);
        EXPECT_TRUE(Runs().empty());
        EXPECT_FALSE(fs::exists(userData_ / "Webview2Setup.exe"));
    }
    {
        SCOPED_TRACE("a runtime in the webview2 folder");
        Prepare("runtime-setup-fixed-present", R"({"distribution-mode":"fixed"})", GetParam());
        app_->WriteFixedRuntime();
        HttpReply reply;
        reply.body = Bootstrapper(true);
        LoopbackServer server(reply);
        const json report =
            app_->Probe({"--timeout", "30000", "--close-when", Vendor() ? "visible" : "window"},
                        Environment(server), 30);
        EXPECT_TRUE(report["boxes"].empty()) << report.dump();
        EXPECT_NE(report["window"], nullptr);
        if (Vendor()) EXPECT_EQ(report["everVisible"], true) << report.dump();
        EXPECT_EQ(report["exitCode"], 0);
        EXPECT_EQ(server.Requests(), 0);
        EXPECT_TRUE(Runs().empty());
    }
}

// Points the prefix's Internet settings at a proxy while it lives, and removes them after.
class ProxyScope {
public:
    explicit ProxyScope(int port) {
        e2e::RunWine({"reg", "add", kKey, "/v", "ProxyServer", "/t", "REG_SZ", "/d",
                      "127.0.0.1:" + std::to_string(port), "/f"});
        e2e::RunWine({"reg", "add", kKey, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "1", "/f"});
    }
    ~ProxyScope() {
        e2e::RunWine({"reg", "delete", kKey, "/v", "ProxyEnable", "/f"});
        e2e::RunWine({"reg", "delete", kKey, "/v", "ProxyServer", "/f"});
    }
    ProxyScope(const ProxyScope&) = delete;
    ProxyScope& operator=(const ProxyScope&) = delete;

private:
    static constexpr char kKey[] =
        "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
};

// A certificate authority made for one test and trusted by the prefix (as a root in the machine's
// registry store) while it lives, and a server certificate it signed for one host name.
class TrustedTestAuthority {
public:
    TrustedTestAuthority(const fs::path& dir, const std::string& host) {
        fs::create_directories(dir);
        const std::string d = dir.string() + "/";
        std::ofstream(d + "openssl.cnf")
            << "[req]\ndistinguished_name=dn\n[dn]\n"
               "[ca]\nbasicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n"
               "subjectKeyIdentifier=hash\n"
               "[server]\nbasicConstraints=critical,CA:FALSE\n"
               "keyUsage=critical,digitalSignature,keyEncipherment\n"
               "extendedKeyUsage=serverAuth\nauthorityKeyIdentifier=keyid\nsubjectAltName=DNS:"
            << host << "\n";
        OpenSsl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                 "-nodes", "-keyout", d + "ca.key", "-out", d + "ca.pem", "-days", "2", "-subj",
                 "/CN=Test root of one test", "-config", d + "openssl.cnf", "-extensions", "ca"});
        OpenSsl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                 "-keyout", d + "server.key", "-out", d + "server.csr", "-subj", "/CN=" + host,
                 "-config", d + "openssl.cnf"});
        OpenSsl({"x509", "-req", "-in", d + "server.csr", "-CA", d + "ca.pem", "-CAkey",
                 d + "ca.key", "-CAcreateserial", "-out", d + "server.pem", "-days", "2",
                 "-extfile", d + "openssl.cnf", "-extensions", "server"});
        OpenSsl({"x509", "-in", d + "ca.pem", "-outform", "der", "-out", d + "ca.der"});
        // "SHA1 Fingerprint=4D:4D:...": the name of the certificate's registry key.
        const std::string fingerprint =
            OpenSsl({"x509", "-in", d + "ca.pem", "-noout", "-fingerprint", "-sha1"});
        for (char c : fingerprint.substr(fingerprint.find('=') + 1)) {
            if (std::isxdigit(static_cast<unsigned char>(c))) thumbprint_.push_back(c);
        }
        // The store keeps a certificate as its properties: id 32 (the encoded certificate),
        // a reserved 1, the length, the bytes.
        const std::string der = e2e::ReadFileBytes(d + "ca.der");
        std::string blob;
        for (uint32_t word : {32u, 1u, static_cast<uint32_t>(der.size())}) {
            for (int k = 0; k < 4; ++k) blob.push_back(static_cast<char>(word >> (8 * k)));
        }
        blob += der;
        std::ostringstream reg;
        reg << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\" << kStore << "\\" << thumbprint_
            << "]\n\"Blob\"=hex:";
        for (size_t k = 0; k < blob.size(); ++k) {
            char byte[4];
            std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(blob[k]));
            reg << (k == 0 ? "" : ",") << byte;
        }
        reg << "\n";
        std::ofstream(d + "root.reg") << reg.str();
        const e2e::ProcessResult imported =
            e2e::RunWine({"regedit", "/S", e2e::WinPath(dir / "root.reg")});
        if (imported.exitCode != 0) throw std::runtime_error("regedit failed");
        certificate = d + "server.pem";
        key = d + "server.key";
    }
    ~TrustedTestAuthority() {
        e2e::RunWine({"reg", "delete", std::string("HKLM\\") + kStore + "\\" + thumbprint_, "/f"});
    }
    TrustedTestAuthority(const TrustedTestAuthority&) = delete;
    TrustedTestAuthority& operator=(const TrustedTestAuthority&) = delete;

    std::string certificate;
    std::string key;

private:
    static constexpr char kStore[] = "Software\\Microsoft\\SystemCertificates\\Root\\Certificates";

    static std::string OpenSsl(std::vector<std::string> args) {
        args.insert(args.begin(), "openssl");
        const e2e::ProcessResult result = e2e::RunProcess(args, {}, 60);
        if (result.exitCode != 0) throw std::runtime_error("openssl " + args[1] + " failed");
        return result.output;
    }

    std::string thumbprint_;
};

// The host that ships ignores every test variable: with the link override pointing at one
// loopback server and the request to fail the download thread, it still starts the download, and
// from the vendor's link. The system's proxy, a second loopback server, sees that link: it opens
// the tunnel the client asks for, speaks TLS in it with a certificate the prefix trusts for the
// vendor's host only during this test, and answers 404.
TEST_F(Installer, TheReleaseHostIgnoresTheTestVariablesAndDownloadsFromTheVendor) {
    e2e::RuntimeScope runtime(false);
    Prepare("runtime-setup-release");
    app_->CopyIn(e2e::ReleaseHost(), "WebView2Wrapper.exe");
    HttpReply decoyReply;
    decoyReply.body = Bootstrapper(true);
    LoopbackServer decoy(decoyReply);
    TrustedTestAuthority authority(app_->Dir() / "certificates", kVendorHost);
    HttpReply proxyReply;
    proxyReply.status = 404;
    proxyReply.body = "not here";
    proxyReply.tunnelCertificate = authority.certificate;
    proxyReply.tunnelKey = authority.key;
    LoopbackServer proxy(proxyReply);
    ProxyScope proxySettings(proxy.Port());

    std::map<std::string, std::string> env = Environment(decoy);
    env["WRAPPER_TEST_FAIL_DOWNLOAD_THREAD"] = "1";
    const json report = app_->Probe({"--timeout", "60000"}, env, 60);

    EXPECT_EQ(decoy.Requests(), 0) << "the release host read the link override";
    const std::vector<std::string> lines = proxy.RequestLines();
    ASSERT_FALSE(lines.empty()) << "nothing was downloaded: the release host read the thread "
                                   "override, or the proxy was not used";
    EXPECT_EQ(lines[0], std::string("CONNECT ") + kVendorHost + ":443 HTTP/1.1");
    EXPECT_EQ(proxy.TunnelledLinks(), std::vector<std::string>{kVendorLink})
        << "requests: " << testing::PrintToString(lines);
    ASSERT_EQ(report["boxes"].size(), 2u) << report.dump();
    ExpectBox(report["boxes"][0], kInstallText, "information");
    ExpectBox(report["boxes"][1], kFailedText, "error");
    EXPECT_EQ(report["window"], nullptr);
    EXPECT_EQ(report["exitCode"], 1);
    EXPECT_TRUE(Runs().empty());
}

}  // namespace
