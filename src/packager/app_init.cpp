#include "packager/app_init.h"

#include <fstream>
#include <ostream>
#include <system_error>

#include <nlohmann/json.hpp>

#include "bundle/bundle_writer.h"
#include "config/app_config.h"
#include "packager/app_identity.h"
#include "packager/package_output.h"

namespace fs = std::filesystem;

namespace {

// The app's "name" (its profile folder's name) from the folder's: lower case, spaces and the
// characters Windows refuses in names as "-".
std::string NameFromFolder(const std::string& folder) {
    std::string name;
    for (char c : folder) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || std::string(" <>:\"/\\|?*").find(c) != std::string::npos) c = '-';
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c == '-' && (name.empty() || name.back() == '-')) continue;
        name.push_back(c);
    }
    while (!name.empty() && (name.back() == '-' || name.back() == '.')) name.pop_back();
    // A folder called "con" or ".." is no name for the app's own data folder.
    return FolderNameProblem(name).empty() ? name : "my-app";
}

std::string HtmlText(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

// The start page keeps its script and style in files of their own: a Content-Security-Policy
// such as "default-src 'self'" (which the user may add to "settings.headers") allows them, where
// it would keep inline ones from running.
std::string StarterPage(const std::string& title) {
    const std::string text = HtmlText(title);
    return R"(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>)" + text + R"(</title>
<link rel="stylesheet" href="style.css">
<script type="module" src="main.js"></script>
</head>
<body>
<h1>)" + text + R"(</h1>
<p id="status">Starting...</p>
<button id="fullscreen" hidden>Fullscreen on/off</button>
</body>
</html>
)";
}

constexpr char kStarterStyle[] = R"(body { font-family: system-ui, sans-serif; margin: 2em; }
)";

constexpr char kStarterScript[] = R"(// The start page's script. wrapper-host.js talks to the program around this page; see its
// comments. A module script runs once the page is parsed, so the elements are there.
import { connectHost } from "./wrapper-host.js";

const status = document.getElementById("status");
const host = connectHost();  // null in an ordinary browser
if (host === null) {
  status.textContent = "Opened in a browser: the program's features are not available here.";
} else {
  const { componentIds } = await host.handshake();
  status.textContent = componentIds.length > 0
    ? "Running in the program, with the extension's " + componentIds.join(", ") + "."
    : "Running in the program.";
  let fullscreen = false;
  const button = document.getElementById("fullscreen");
  button.hidden = false;
  button.addEventListener("click", () => {
    fullscreen = !fullscreen;
    host.setFullscreen(fullscreen);
  });
}
)";

// What init wrote so far, removed again when it cannot finish.
class Written {
public:
    ~Written() {
        if (done_) return;
        std::error_code ignored;
        for (auto it = paths_.rbegin(); it != paths_.rend(); ++it) fs::remove(*it, ignored);
    }
    void Folder(const fs::path& path) {
        std::error_code ec;
        if (!fs::create_directory(path, ec) || ec)
            throw PackageError(Utf8FromPath(path) + ": cannot be created" +
                               (ec ? ": " + ec.message() : std::string()));
        paths_.push_back(path);
    }
    void File(const fs::path& path, std::string_view bytes) {
        std::error_code ec;
        if (fs::symlink_status(path, ec).type() != fs::file_type::not_found)
            throw PackageError(Utf8FromPath(path) + ": exists already");
        paths_.push_back(path);
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        file.close();
        if (!file) throw PackageError(Utf8FromPath(path) + ": cannot be written");
    }
    void Done() { done_ = true; }

private:
    std::vector<fs::path> paths_;
    bool done_ = false;
};

void Init(const std::string& argument, std::ostream& out) {
    fs::path app = fs::absolute(PathFromUtf8(argument)).lexically_normal();
    if (app.filename().empty() && app.has_parent_path()) app = app.parent_path();
    const std::string shown = Utf8FromPath(app);
    if (app.filename().empty() || app == app.root_path())
        throw PackageError(argument + ": not a folder an app can be made in");

    std::error_code ec;
    const fs::file_status status = fs::symlink_status(app, ec);
    Written written;
    if (status.type() == fs::file_type::not_found) {
        std::vector<fs::path> missing;
        for (fs::path p = app; !p.empty() && !fs::exists(fs::symlink_status(p, ec)); p = p.parent_path()) {
            missing.insert(missing.begin(), p);
            if (p == p.parent_path()) break;
        }
        for (const fs::path& folder : missing) written.Folder(folder);
    } else if (fs::is_symlink(status)) {
        throw PackageError(shown + ": is a symbolic link; name a new or empty folder itself");
    } else if (!fs::is_directory(status)) {
        throw PackageError(shown + ": exists and is not a folder");
    } else if (!fs::is_empty(app, ec) || ec) {
        throw PackageError(shown + ": not empty; init makes an app only in a new or empty folder, "
                                   "so that nothing of yours is overwritten");
    }

    const std::string folder = Utf8FromPath(app.filename());
    written.Folder(app / "www");
    written.File(app / "package.json", StarterPackageJson(folder));
    written.File(app / "www" / "index.html", StarterPage(folder));
    written.File(app / "www" / "style.css", kStarterStyle);
    written.File(app / "www" / "main.js", kStarterScript);
    written.File(app / "www" / "wrapper-host.js", PageModuleText());
    written.Done();
#ifdef _WIN32
    const char* www = "www\\";
#else
    const char* www = "www/";
#endif
    out << "made the app " << shown << ":\n"
        << "  package.json          settings: name, version, window, ...\n"
        << "  " << www << "index.html        the start page\n"
        << "  " << www << "main.js           its script\n"
        << "  " << www << "style.css         its style\n"
        << "  " << www << "wrapper-host.js   the page module, for talking to the program\n"
        << "Put your web files into www (index.html is the start page), then package the app:\n"
        << "  wrapper-bundle package "
        << (argument.find(' ') != std::string::npos ? "\"" + argument + "\"" : argument)
        << " OUT_DIR --zip\n";
}

}  // namespace

std::string StarterPackageJson(const std::string& folderName) {
    nlohmann::ordered_json json;
    json["name"] = NameFromFolder(folderName);
    json["version"] = kDefaultAppVersion;
    json["description"] = "";
    json["author"] = "";
    json["main"] = "index.html";
    json["chromium-args"] = "--autoplay-policy=no-user-gesture-required";  // title-screen music
    json["window"] = {{"title", folderName},
                      {"width", 1024},
                      {"height", 768},
                      {"icon", ""},
                      {"resizable", true}};
    json["settings"] = {{"content-mode", "bundle"},
                        {"distribution-mode", "evergreen"},
                        {"hosting-mode", "windowed"},
                        {"enable-devtools", true},
                        {"headers", nlohmann::ordered_json::object()}};
    json["messages"] = {{"install-webview2", kDefaultInstallMessage},
                        {"downloading", kDefaultDownloadingMessage},
                        {"install-webview2-failed", kDefaultInstallFailedMessage}};
    return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

int RunInit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << kInitUsage;
        return 0;
    }
    if (args.size() != 1 || args[0].empty() || args[0].rfind("--", 0) == 0) {
        err << "wrapper-bundle: init needs one APP_DIR\n" << kInitUsage;
        return 2;
    }
    try {
        Init(args[0], out);
        return 0;
    } catch (const std::exception& e) {
        err << "wrapper-bundle: " << e.what() << '\n';
        return 1;
    }
}
