#include "packager/app_packager.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <system_error>
#include <utility>

#include "packager/bundle_tool.h"
#include "bundle/bundle_writer.h"
#include "packager/package_checks.h"
#include "packager/package_output.h"
#include "packager/package_zip.h"
#include "bundle/one_file.h"
#include "packager/pe_resources.h"
#include "config/settings_check.h"
#include "config/test_build_marker.h"

namespace fs = std::filesystem;

namespace {

constexpr char kRuntimeFolderName[] = "webview2";

std::string Text(const fs::path& path) { return Utf8FromPath(path); }

fs::path Absolute(const std::string& utf8) {
    fs::path path = fs::absolute(PathFromUtf8(utf8)).lexically_normal();
    // "dist/" names the folder "dist".
    if (path.filename().empty() && path.has_parent_path() && path.parent_path() != path)
        path = path.parent_path();
    return path;
}

bool IsFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool IsFolder(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

// A path named in package.json as a relative path inside the app folder, or empty: no drive,
// no root, no "..", no zero byte.
fs::path SafeRelative(const std::string& text) {
    if (text.empty() || text.find('\0') != std::string::npos ||
        text.find(':') != std::string::npos || text[0] == '/' || text[0] == '\\')
        return {};
    std::string generic = text;
    std::replace(generic.begin(), generic.end(), '\\', '/');
    fs::path relative;
    std::size_t start = 0;
    while (start <= generic.size()) {
        const std::size_t end = std::min(generic.find('/', start), generic.size());
        const std::string part = generic.substr(start, end - start);
        if (part == "..") return {};
        if (!part.empty() && part != ".") relative /= PathFromUtf8(part);
        start = end + 1;
    }
    return relative;
}

std::string RandomTag() {
    std::random_device device;
    const std::uint64_t tag = (std::uint64_t{device()} << 32) ^ device();
    std::string hex(16, '0');
    for (int i = 0; i < 16; ++i) hex[i] = "0123456789abcdef"[(tag >> (60 - 4 * i)) & 0xF];
    return hex;
}

// ".OUT.staging-<tag>" and ".OUT.old-<tag>" beside OUT: hidden, never the name of a package.
std::string HiddenName(const fs::path& out, const char* kind, const std::string& tag) {
    std::string name = ".";
    name += Text(out.filename());
    return name + kind + tag;
}
constexpr char kStagingMark[] = ".staging-";
constexpr char kOldMark[] = ".old-";
constexpr std::size_t kTagLength = 16;

// Deletes a folder this tool made and filled itself, file by file; links in it are left.
void RemoveToolFolder(const fs::path& folder) {
    std::vector<std::string> files;
    for (const std::string& name : ListEntries(folder))
        if (!IsLink(folder / PathFromUtf8(name))) files.push_back(name);
    RemoveOwnFiles(folder, files);
}

// The staging folder beside the output: deleted unless it became the package.
class StagingFolder {
public:
    explicit StagingFolder(const fs::path& out)
        : tag_(RandomTag()), path_(out.parent_path() / PathFromUtf8(HiddenName(out, kStagingMark, tag_))) {
        std::error_code ec;
        fs::create_directory(path_, ec);
        if (ec) throw PackageError(Text(out) + ": cannot be written beside: " + ec.message());
        HidePath(path_);
    }
    ~StagingFolder() {
        if (kept_) return;
        try {
            RemoveToolFolder(path_);
        } catch (const std::exception&) {
        }
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    const fs::path& path() const { return path_; }
    const std::string& tag() const { return tag_; }
    void Keep() { kept_ = true; }

private:
    std::string tag_;
    fs::path path_;
    bool kept_ = false;
};

// What earlier runs that were stopped left beside OUT: staging folders and zips, and the old
// package folder (whose files the manifest lists) that was set aside but not yet deleted.
void RemoveStaleFolders(const fs::path& out, const OutputState& state) noexcept try {
    const std::string stem = HiddenName(out, "", "");
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(out.parent_path(), ec)) {
        const std::string name = Text(entry.path().filename());
        if (name.size() < stem.size() || !SameFileName(name.substr(0, stem.size()), stem))
            continue;
        const std::string rest = name.substr(stem.size());
        for (const char* mark : {kStagingMark, kOldMark}) {
            const std::size_t markLength = std::char_traits<char>::length(mark);
            if (rest.compare(0, markLength, mark) != 0 || rest.size() < markLength + kTagLength)
                continue;
            const std::string tag = rest.substr(markLength, kTagLength);
            const std::string suffix = rest.substr(markLength + kTagLength);
            if (tag.find_first_not_of("0123456789abcdef") != std::string::npos) continue;
            const bool staging = mark == kStagingMark;
            if (IsLink(entry.path())) continue;
            if (staging && (suffix == ".zip" || suffix == ".zip.partial")) {
                if (entry.is_regular_file(ec)) fs::remove(entry.path(), ec);
            } else if (suffix.empty() && entry.is_directory(ec)) {
                if (staging) {
                    RemoveToolFolder(entry.path());
                } else if (state.manifest) {
                    RemoveOwnFiles(entry.path(), state.manifest->files);
                }
            }
        }
    }
} catch (...) {
    // Leftovers are tidied another time; they never stop a run.
}

// The files of the package as they are written into the staging folder.
class PackageContents {
public:
    explicit PackageContents(const fs::path& root) : root_(root) {}

    void CopyFile(const fs::path& from, const std::string& name) {
        const fs::path to = root_ / PathFromUtf8(name);
        std::error_code ec;
        fs::create_directories(to.parent_path(), ec);
        if (!ec) fs::copy_file(from, to, fs::copy_options::none, ec);
        if (ec)
            throw PackageError(Text(from) + ": cannot be copied to " + Text(to) + ": " +
                               ec.message());
        Add(name);
    }
    void CopyTree(const std::vector<BundleSourceFile>& files, const std::string& folder) {
        for (const BundleSourceFile& file : files) CopyFile(file.path, folder + "/" + file.name);
    }
    void WriteFile(const std::string& bytes, const std::string& name) {
        WriteJoined(bytes, {}, {}, name);
    }
    // Writes `head`, the bytes of the file `tail` (none when empty) and `end` as one file.
    void WriteJoined(const std::string& head, const fs::path& tail, const std::string& end,
                     const std::string& name) {
        const fs::path to = root_ / PathFromUtf8(name);
        errno = 0;
        std::ofstream file(to, std::ios::binary | std::ios::trunc);
        file.write(head.data(), static_cast<std::streamsize>(head.size()));
        if (!tail.empty()) {
            std::ifstream in(tail, std::ios::binary);
            if (!in) throw PackageError(Text(tail) + ": cannot be opened for reading");
            std::vector<char> buffer(1 << 20);
            while (file && in) {
                in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
                file.write(buffer.data(), in.gcount());
            }
            if (in.bad()) throw PackageError(Text(tail) + ": read error");
        }
        file.write(end.data(), static_cast<std::streamsize>(end.size()));
        file.close();
        if (!file) {
            const int error = errno;
            throw PackageError(Text(to) + ": cannot be written" +
                               (error != 0 ? ": " + std::generic_category().message(error) : ""));
        }
        Add(name);
    }
    void Add(const std::string& name) { names_.push_back(name); }
    bool Has(const std::string& name) const {
        return std::any_of(names_.begin(), names_.end(),
                           [&](const std::string& n) { return SameFileName(n, name); });
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names = names_;
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path root_;
    std::vector<std::string> names_;
};

void WriteManifest(const fs::path& out, const PackageManifest& manifest) {
    const fs::path path = ManifestPathFor(out);
    fs::path temporary = path;
    temporary += PathFromUtf8(".partial");
    const std::string text = EncodePackageManifest(manifest);
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        file.close();
        if (!file) throw PackageError(Text(path) + ": cannot be written");
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        fs::remove(temporary, ec);
        throw PackageError(Text(path) + ": cannot be written");
    }
}

class Packager {
public:
    Packager(const PackageOptions& options, fs::path toolFolder, std::ostream& out,
             std::ostream& err)
        : options_(options), toolFolder_(std::move(toolFolder)), out_(out), err_(err) {}

    void Run() {
        app_ = Absolute(options_.app);
        output_ = Absolute(options_.out);
        if (!IsFolder(app_)) throw PackageError(Text(app_) + ": not a folder");
        if (output_.filename().empty() || output_ == output_.root_path())
            throw PackageError(options_.out + ": not a folder a package can be written to");
        ReadSettings();
        FindInputs();
        CollectSources();
        CheckOutput();
        MakeHost();
        Write();
    }

private:
    void Say(const std::string& line) {
        if (!options_.quiet) out_ << line << '\n';
    }
    void Warn(const std::string& line) {
        if (!options_.quiet) err_ << "wrapper-bundle: warning: " << line << '\n';
    }

    void ReadSettings() {
        settingsPath_ = app_ / "package.json";
        if (!IsFile(settingsPath_))
            throw PackageError(Text(settingsPath_) +
                               ": not found; an app folder needs a package.json");
        settingsText_ = ReadSettingsFile(settingsPath_);
        const SettingsCheck check = CheckSettingsText(settingsText_);
        if (check.verdict == SettingsVerdict::LoadFailed)
            throw PackageError(Text(settingsPath_) + ": " + check.reason +
                               "; the host would stop with \"Failed to load package.json\"");
        if (check.verdict != SettingsVerdict::Accepted)
            throw PackageError(Text(settingsPath_) + ": " + check.reason +
                               "; the host would stop with \"Failed to parse package.json\"");
        config_ = check.config;
        if (const std::string refusal = SettingsRefusal(settingsText_, config_); !refusal.empty())
            throw PackageError(Text(settingsPath_) + ": " + refusal);
        for (const std::string& warning : SettingsWarnings(ReadSettingsFile(settingsPath_), config_))
            Warn(Text(settingsPath_) + ": " + warning);
        for (const std::string& warning : NameSharingWarnings(output_, config_.name)) Warn(warning);
    }

    void FindInputs() {
        host_ = options_.host.empty() ? toolFolder_ / kHostExecutableName : Absolute(options_.host);
        if (!IsFile(host_)) {
            throw PackageError(Text(host_) + ": not found; " +
                               (options_.host.empty()
                                    ? "pass --host with the WebView2Wrapper.exe to ship"
                                    : "--host must name the WebView2Wrapper.exe to ship"));
        }
        if (!StartsWithExecutableMagic(host_))
            throw PackageError(Text(host_) + ": not a Windows executable");
        if (FileContains(host_, kTestBuildMarker))
            throw PackageError(Text(host_) +
                               ": this executable is a test build (it honours test-only settings) "
                               "and must not be shipped; package a release build");

        if (!options_.extension.empty()) {
            extension_ = Absolute(options_.extension);
            if (!IsFile(extension_)) throw PackageError(Text(extension_) + ": not found");
        } else if (IsFile(app_ / kExtensionLibraryName)) {
            extension_ = app_ / kExtensionLibraryName;
        }
        if (!extension_.empty()) {
            if (const std::string problem = ExtensionLibraryProblem(extension_); !problem.empty())
                throw PackageError(Text(extension_) + ": " + problem);
        }

        if (!options_.notices.empty()) {
            notices_ = Absolute(options_.notices);
            if (!IsFile(notices_)) throw PackageError(Text(notices_) + ": not found");
        } else {
            for (const fs::path& folder : {toolFolder_, host_.parent_path()}) {
                if (!folder.empty() && IsFile(folder / kNoticesFileName)) {
                    notices_ = folder / kNoticesFileName;
                    break;
                }
            }
            if (notices_.empty())
                Warn(std::string("no ") + kNoticesFileName +
                     " beside wrapper-bundle or the host (pass --notices FILE); the package "
                     "lacks the third-party notices");
        }
    }

    static bool StartsWithExecutableMagic(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        char magic[2] = {};
        in.read(magic, 2);
        return in.gcount() == 2 && magic[0] == 'M' && magic[1] == 'Z';
    }

    void CollectSources() {
        const fs::path www = app_ / "www";
        if (IsFolder(www)) {
            // A bundle packed into www earlier (and what an interrupted packing left of one)
            // would travel inside the new bundle, or beside the loose files ahead of them.
            const fs::path oldBundle = www / "assets.dat";
            www_ = CollectBundleFiles(www, oldBundle);
            std::error_code ec;
            if (fs::exists(fs::symlink_status(oldBundle, ec)))
                Say("www/assets.dat is left out: it is a bundle packed earlier, and the package "
                    "gets its own");
            hasWww_ = true;
            if (config_.contentMode == ContentMode::Bundle &&
                std::none_of(www_.begin(), www_.end(), [&](const BundleSourceFile& f) {
                    return SameFileName(f.name, config_.main);
                }))
                Warn("\"main\" is \"" + config_.main + "\", but www/" + config_.main +
                     " is not there; the app would open on a page that is not found");
            for (const BundleSourceFile& start : www_) {
                if (config_.contentMode != ContentMode::Bundle || !SameFileName(start.name, config_.main))
                    continue;
                std::ifstream in(start.path, std::ios::binary);
                const std::string page((std::istreambuf_iterator<char>(in)), {});
                if (const std::string warning = InlineScriptWarning(config_, page); !warning.empty())
                    Warn(warning);
                break;
            }
        } else if (config_.contentMode != ContentMode::Remote) {
            throw PackageError(Text(www) +
                               ": not found; a bundle-mode app serves its pages from www/");
        }

        if (!config_.icon.empty()) {
            const fs::path relative = SafeRelative(config_.icon);
            const std::u8string tidy = relative.generic_u8string();
            std::string asWritten = config_.icon;
            std::replace(asWritten.begin(), asWritten.end(), '\\', '/');
            if (!relative.empty() && asWritten != std::string(tidy.begin(), tidy.end())) {
                // The host opens the folder of the exe and this path joined as they are.
                throw PackageError(Text(settingsPath_) + ": \"window.icon\" is \"" + config_.icon +
                                   "\", which the host cannot open on Windows (it takes the path "
                                   "as written, and \".\" parts or doubled separators fail); "
                                   "write \"" + std::string(tidy.begin(), tidy.end()) + "\"");
            }
            if (relative.empty()) {
                Warn("window icon \"" + config_.icon +
                     "\" is not a path inside the app folder; not copied");
            } else if (!IsFile(app_ / relative)) {
                Warn("window icon " + Text(app_ / relative) +
                     " not found; the default icon will be used");
            } else {
                icon_ = relative;
            }
        }

        const fs::path runtime = app_ / kRuntimeFolderName;
        if (config_.distributionMode == DistributionMode::Fixed) {
            if (IsFolder(runtime)) {
                runtime_ = CollectBundleFiles(runtime);
                if (std::none_of(runtime_.begin(), runtime_.end(), [](const BundleSourceFile& f) {
                        return SameFileName(f.name, "msedgewebview2.exe");
                    }))
                    Warn("\"fixed\" distribution mode, but " + Text(runtime) +
                         " holds no msedgewebview2.exe; the host would find no runtime there");
            } else {
                Warn("\"fixed\" distribution mode, but " + Text(runtime) +
                     " is missing; put the fixed WebView2 runtime there before shipping");
            }
        }
        std::error_code ec;
        if (fs::exists(app_ / kLoaderFileName, ec))
            Warn(Text(app_ / kLoaderFileName) +
                 " is not copied; the host has the WebView2 loader inside and never loads it");
    }

    // The host with the app's identity: exe name, version resource, and icon from --icon or
    // from window.icon when that is a PNG or ICO.
    void MakeHost() {
        identity_ = ResolveIdentity(options_.identity, settingsText_, config_,
                                    renamedHost_.empty() ? kHostExecutableName : renamedHost_);
        std::vector<IconImage> icon;
        std::string iconSource;
        if (!options_.identity.icon.empty()) {
            const fs::path file = Absolute(options_.identity.icon);
            if (!IsFile(file)) throw PackageError(Text(file) + ": not found");
            icon = IconImagesFromFile(ReadSmallFile(file), Text(file));
            iconSource = Text(file);
        } else if (!icon_.empty()) {
            const std::string bytes = ReadSmallFile(app_ / icon_);
            if (LooksLikeIcon(bytes)) {
                icon = IconImagesFromFile(bytes, Text(app_ / icon_));
                iconSource = Text(icon_);
            } else {
                Warn("window icon " + Text(app_ / icon_) + " is not a PNG or ICO file; " +
                     identity_.exeName + " keeps the host's icon (pass --icon)");
            }
        }
        try {
            IdentityResult result = ApplyIdentity(ReadSmallFile(host_), identity_, icon);
            hostImage_ = std::move(result.image);
            if (result.signatureRemoved)
                Warn(Text(host_) + " was signed; the signature no longer matches the packaged " +
                     identity_.exeName + " and is removed: sign that after packaging");
        } catch (const ExecutableError& e) {
            throw PackageError(Text(host_) + ": cannot be given the app's identity: " + e.what());
        }
        Say(identity_.exeName + ": \"" + identity_.productName + "\" version " + identity_.version +
            (iconSource.empty() ? ", the host's icon" : ", icon from " + iconSource));
    }

    // Files the packager reads whole (the host, an icon) are at most this large.
    static std::string ReadSmallFile(const fs::path& path) {
        constexpr std::uintmax_t kLargest = std::uintmax_t{256} << 20;
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(path, ec);
        if (ec) throw PackageError(Text(path) + ": cannot be read: " + ec.message());
        if (size > kLargest) throw PackageError(Text(path) + ": larger than 256 MiB");
        std::ifstream in(path, std::ios::binary);
        std::string bytes(static_cast<std::size_t>(size), '\0');
        if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
            throw PackageError(Text(path) + ": cannot be read");
        return bytes;
    }

    void CheckOutput() {
        // Everything packaged from where it is, the icon and the folders www and webview2
        // included; the check follows links to where the files really are.
        std::vector<fs::path> inputs = {host_,         extension_,   notices_,
                                        settingsPath_, app_ / "www", app_ / kRuntimeFolderName};
        if (!icon_.empty()) inputs.push_back(app_ / icon_);
        for (const auto* files : {&www_, &runtime_})
            for (const BundleSourceFile& file : *files) inputs.push_back(file.path);
        const std::string forbidden = ForbiddenOutputReason(output_, app_, inputs);
        if (!forbidden.empty()) throw PackageError(Text(output_) + ": " + forbidden);
        std::vector<std::string> names = {kHostExecutableName, "package.json"};
        for (const BundleSourceFile& file : runtime_)
            names.push_back(std::string(kRuntimeFolderName) + "/" + file.name);
        for (const BundleSourceFile& file : www_) {
            if (options_.loose) {
                names.push_back("www/" + file.name);
            } else if (file.name.find('\\') != std::string::npos) {
                Warn("www/" + file.name + " is packed, but no page can ask for a name with \"\\\"");
            }
        }
        if (!icon_.empty()) {
            const std::u8string generic = icon_.generic_u8string();
            const std::string icon(generic.begin(), generic.end());
            // On Windows an icon named in another letter case is the same file as one in www.
            if (std::none_of(names.begin(), names.end(),
                             [&](const std::string& name) { return SameFileName(name, icon); }))
                names.push_back(icon);
        }
        if (const std::string problem = WindowsNameProblem(names); !problem.empty())
            throw PackageError(problem);
        state_ = ReadOutputState(output_);
        stateAsRead_ = state_;
        AdoptRenamedHost();
        const std::string refusal =
            OutputRefusal(state_, Text(output_), options_.force, options_.zip);
        if (!refusal.empty()) throw PackageError(refusal);
    }

    // An earlier package whose executable was renamed by hand (WebView2Wrapper.exe to
    // MyGame.exe, say): the renamed file counts as the earlier package's, so that it is replaced
    // instead of refused as a stranger, and without --exe-name the new package keeps its name.
    void AdoptRenamedHost() {
        if (!state_.manifest || state_.kind != OutputState::Kind::Folder) return;
        const auto isExe = [](const std::string& name) {
            if (name.find('/') != std::string::npos || name.size() <= 4) return false;
            std::string suffix = name.substr(name.size() - 4);
            for (char& c : suffix) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            return suffix == ".exe";
        };
        const auto has = [](const std::vector<std::string>& names, const std::string& name) {
            return std::find(names.begin(), names.end(), name) != names.end();
        };
        std::vector<std::string>& listed = state_.manifest->files;
        const auto listedExe = std::find_if(listed.begin(), listed.end(), isExe);
        if (listedExe == listed.end() || has(state_.entries, *listedExe)) return;
        const std::string earlier = *listedExe;
        std::vector<std::string> renamed;
        for (const std::string& entry : state_.entries)
            if (isExe(entry) && !has(listed, entry)) renamed.push_back(entry);
        if (renamed.size() != 1) return;
        // Only the host this tool wrote, under another name: never some other program.
        const fs::path candidate = output_ / PathFromUtf8(renamed[0]);
        try {
            if (IsLink(candidate) || !NamesItsOriginalFile(ReadSmallFile(candidate), earlier))
                return;
        } catch (const PackageError&) {
            return;
        }
        listed.push_back(renamed[0]);
        if (!options_.identity.exeName.empty()) return;
        renamedHost_ = renamed[0];
        Say("keeping the name " + renamedHost_ + " given to the earlier package's " + earlier +
            " (--exe-name chooses another)");
    }

    void Write() {
        std::error_code ec;
        fs::create_directories(output_.parent_path(), ec);
        if (ec)
            throw PackageError(Text(output_.parent_path()) +
                               ": cannot be created: " + ec.message());
        RemoveStaleFolders(output_, state_);

        StagingFolder staging(output_);
        const fs::path zip = ZipPathFor(output_);
        const fs::path stagedZip =
            output_.parent_path() / PathFromUtf8(HiddenName(output_, kStagingMark, staging.tag()) + ".zip");
        struct RemoveUnlessMoved {
            const fs::path& path;
            ~RemoveUnlessMoved() {
                std::error_code ignored;
                if (!IsLink(path)) fs::remove(path, ignored);
            }
        } zipCleanup{stagedZip};
        const std::string folderName = Text(output_.filename());
        std::string packedLine;
        std::size_t zipped = 0;
        // Messages name the package, not the hidden folder it is assembled in.
        const auto named = [&](const std::string& text) {
            std::string message = text;
            const std::string hidden = Text(staging.path());
            for (std::size_t at; (at = message.find(hidden)) != std::string::npos;)
                message.replace(at, hidden.size(), Text(output_));
            return message;
        };
        PackageContents contents(staging.path());
        try {
            Fill(staging.path(), contents, packedLine);
            if (options_.zip) zipped = WriteFolderZip(staging.path(), folderName, stagedZip, zip);
        } catch (const PackageError& e) {
            throw PackageError(named(e.what()));
        } catch (const BundleWriteError& e) {
            throw PackageError(named(e.what()));
        }

        // The manifest beside the folder always covers what the folder holds: first the old and
        // the new files together, then, once the new folder is in place, the new ones alone.
        // Wholly the tool's own: every file listed in its manifest, or nothing at all in it.
        const bool own = state_.kind != OutputState::Kind::Folder ||
                         (state_.manifest ? state_.OnlyOwnFiles() : fs::is_empty(output_, ec));
        const std::string zipName = Text(zip.filename());
        PackageManifest manifest{folderName, contents.Names(), options_.zip ? zipName : ""};
        PackageManifest during = manifest;
        if (state_.manifest && own) {
            during.files.insert(during.files.end(), state_.manifest->files.begin(),
                                state_.manifest->files.end());
            if (during.zip.empty()) during.zip = state_.manifest->zip;
        }
        // Staging can take minutes: what is at OUT now must still be what was judged.
        if (ReadOutputState(output_) != stateAsRead_)
            throw PackageError(Text(output_) +
                               ": changed while the package was being made; nothing was "
                               "replaced, run again");
        // A folder that is not the tool's own is moved away before any manifest names files at
        // OUT, so that no manifest ever vouches for files the tool did not write.
        if (own) WriteManifest(output_, during);
        const auto restoreManifest = [&] {
            try {
                if (state_.manifest) {
                    WriteManifest(output_, *state_.manifest);
                } else {
                    std::error_code ignored;
                    fs::remove(ManifestPathFor(output_), ignored);
                }
            } catch (const PackageError&) {
            }
        };

        // The old folder is renamed aside first, so that a failure leaves it whole where it was.
        fs::path aside;
        if (state_.kind == OutputState::Kind::Folder) {
            aside = own ? output_.parent_path() /
                              PathFromUtf8(HiddenName(output_, kOldMark, staging.tag()))
                        : ReplacedName(output_);
            fs::rename(output_, aside, ec);
            if (ec) {
                restoreManifest();
                throw PackageError(Text(output_) + ": cannot be replaced: " + ec.message() +
                                   (own ? "; is the app running from it?" : ""));
            }
            if (own) HidePath(aside);
        }
        if (!own) WriteManifest(output_, during);
        fs::rename(staging.path(), output_, ec);
        if (ec) {
            std::error_code ignored;
            if (!aside.empty()) fs::rename(aside, output_, ignored);
            if (!aside.empty() && own) UnhidePath(output_);
            restoreManifest();
            throw PackageError(Text(output_) + ": cannot be replaced: " + ec.message());
        }
        staging.Keep();
        UnhidePath(output_);

        const bool oldZipOurs = state_.manifest && !state_.manifest->zip.empty() &&
                                state_.zip == OutputState::ZipKind::File;
        fs::path zipAside;
        ec.clear();
        if (options_.zip) {
            // A zip the tool did not write (replaced with --force) is renamed aside too.
            if (state_.zip == OutputState::ZipKind::File && !oldZipOurs) {
                zipAside = ReplacedName(output_, ".zip");
                fs::rename(zip, zipAside, ec);
            }
            if (!ec) fs::rename(stagedZip, zip, ec);
            if (ec) {
                manifest.zip.clear();
                zipAside.clear();
                Warn(Text(zip) + ": cannot be replaced: " + ec.message() + "; the folder is made");
            }
        }
        // An earlier zip that no longer matches the folder goes.
        if ((!options_.zip || manifest.zip.empty()) && oldZipOurs) fs::remove(zip, ec);
        WriteManifest(output_, manifest);

        std::vector<std::string> left;
        if (!aside.empty() && own)
            left = RemoveOwnFiles(aside, state_.manifest ? state_.manifest->files
                                                         : std::vector<std::string>{});

        if (!packedLine.empty()) Say(packedLine);
        if (options_.zip && !manifest.zip.empty())
            Say("zipped " + std::to_string(zipped) + " files into " + Text(zip));
        for (const std::string& name : manifest.files) Say("  " + name);
        Say("packaged " + config_.name + " into " + Text(output_));
        // Said even with --quiet: the user's files are no longer where they were.
        if (!zipAside.empty())
            out_ << "the zip that was at " << Text(zip) << " is now at " << Text(zipAside) << '\n';
        if (!own) {
            out_ << "the folder that was at " << Text(output_) << " is now at " << Text(aside)
                 << '\n';
        } else if (fs::exists(fs::symlink_status(aside, ec))) {
            Warn("the earlier package could not be deleted entirely (" +
                 (left.empty() ? std::string("its folder is not empty") : left.front()) +
                 "); what is left of it is in " + Text(aside));
        }
    }

    // --one-file: the host carrying the settings text and the bundle, alone in the folder.
    void FillOneFile(const fs::path& staging, PackageContents& contents, std::string& packedLine) {
        fs::path bundle;
        std::uint64_t bundleSize = 0;
        if (hasWww_ && config_.contentMode != ContentMode::Remote) {
            packedLine = PackWww(staging, contents, false);
            bundle = staging / "www" / "assets.dat";
            bundleSize = fs::file_size(bundle);
        }
        OneFileLayout layout;
        std::string head;
        try {
            const std::string_view headers(hostImage_);
            if (OneFilePayloadOffset(ExecutableImageEnd(headers.substr(0, 65536))) !=
                OneFilePayloadOffset(hostImage_.size()))
                throw std::runtime_error("the host carries data after its image");
            head = hostImage_ +
                   OneFilePayloadPrefix(hostImage_.size(), headers.substr(0, 65536),
                                        settingsText_, bundleSize, layout);
        } catch (const std::runtime_error& error) {
            throw PackageError(Text(host_) + ": cannot carry the app: " + error.what());
        }
        // Signing appends its certificate table at an 8-byte boundary: the file ends on one, so
        // that nothing unhashed comes between the payload and the table.
        const std::uint64_t end = head.size() + bundleSize;
        contents.WriteJoined(head, bundle, std::string((8 - end % 8) % 8, '\0'), identity_.exeName);
        if (!bundle.empty()) {
            std::error_code ec;
            fs::remove(bundle, ec);
            fs::remove(bundle.parent_path(), ec);
            packedLine = "packed " + std::to_string(www_.size()) + " files (" +
                         std::to_string(bundleSize) + " bytes of bundle) into " +
                         Text(output_ / PathFromUtf8(identity_.exeName));
        }
        for (const auto& [present, what] :
             {std::pair{!extension_.empty(), std::string(kExtensionLibraryName)},
              std::pair{!runtime_.empty(), std::string(kRuntimeFolderName) + " folder"}}) {
            if (present)
                Warn(what + " is not carried by a one-file executable; ship it beside " +
                     identity_.exeName);
        }
    }

    void Fill(const fs::path& staging, PackageContents& contents, std::string& packedLine) {
        if (options_.oneFile) return FillOneFile(staging, contents, packedLine);
        contents.WriteFile(hostImage_, identity_.exeName);
        contents.CopyFile(settingsPath_, "package.json");
        if (!extension_.empty()) contents.CopyFile(extension_, kExtensionLibraryName);
        if (!notices_.empty()) contents.CopyFile(notices_, kNoticesFileName);
        contents.CopyTree(runtime_, kRuntimeFolderName);
        if (hasWww_) {
            if (options_.loose) {
                contents.CopyTree(www_, "www");
            } else {
                packedLine = PackWww(staging, contents, true);
            }
        }
        // An icon inside www/ or webview2/ may have come along already.
        if (!icon_.empty()) {
            const std::u8string generic = icon_.generic_u8string();
            const std::string name(generic.begin(), generic.end());
            if (!contents.Has(name)) contents.CopyFile(app_ / icon_, name);
        }
    }

    std::string PackWww(const fs::path& staging, PackageContents& contents, bool listed) {
        const fs::path bundle = staging / "www" / "assets.dat";
        std::error_code ec;
        fs::create_directories(bundle.parent_path(), ec);
        if (ec) throw PackageError(Text(bundle.parent_path()) + ": cannot be created");
        WriteBundleFile(www_, bundle, PackProgress(err_, options_.quiet));
        std::uint64_t bytes = 0;
        for (const BundleSourceFile& file : www_) bytes += file.size;
        const BundleSummary summary = SummariseBundleFile(bundle);
        if (summary.files != www_.size() || summary.bytes != bytes)
            throw PackageError(Text(bundle) + ": the new bundle does not hold what was packed");
        if (listed) contents.Add("www/assets.dat");
        return "packed " + std::to_string(www_.size()) + " files (" + std::to_string(bytes) +
               " bytes) into " + Text(output_ / "www" / "assets.dat");
    }

    static BundleProgress PackProgress(std::ostream& err, bool quiet) {
        if (quiet) return {};
        return PackProgressPrinter(err, kPackProgressThreshold);
    }

    const PackageOptions& options_;
    fs::path toolFolder_;
    std::ostream& out_;
    std::ostream& err_;

    fs::path app_, output_, settingsPath_, host_, extension_, notices_, icon_;
    std::string settingsText_, hostImage_, renamedHost_;
    // OUT as it was read, before a renamed host was counted as the earlier package's.
    OutputState stateAsRead_;
    AppIdentity identity_;
    AppConfig config_;
    bool hasWww_ = false;
    std::vector<BundleSourceFile> www_, runtime_;
    OutputState state_;
};

}  // namespace

std::string ParsePackageArguments(const std::vector<std::string>& args, PackageOptions& options) {
    options = PackageOptions{};
    std::vector<std::string> positional;
    bool seenHost = false, seenExtension = false, seenNotices = false;
    bool seenIdentity[7] = {};
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        struct Valued {
            const char* name;
            std::string* value;
            bool* seen;
            const char* needs = "a path";
        };
        IdentityOptions& id = options.identity;
        const Valued valued[] = {{"--host", &options.host, &seenHost},
                                 {"--extension", &options.extension, &seenExtension},
                                 {"--notices", &options.notices, &seenNotices},
                                 {"--exe-name", &id.exeName, &seenIdentity[0], "a name"},
                                 {"--icon", &id.icon, &seenIdentity[1]},
                                 {"--version", &id.version, &seenIdentity[2], "a version"},
                                 {"--product-name", &id.productName, &seenIdentity[3], "a text"},
                                 {"--description", &id.description, &seenIdentity[4], "a text"},
                                 {"--company", &id.company, &seenIdentity[5], "a text"},
                                 {"--copyright", &id.copyright, &seenIdentity[6], "a text"}};
        const auto match = std::find_if(std::begin(valued), std::end(valued),
                                        [&](const Valued& v) { return name == v.name; });
        if (match != std::end(valued)) {
            if (*match->seen) return name + " given twice";
            *match->seen = true;
            if (equals != std::string::npos) {
                *match->value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                *match->value = args[++i];
            } else {
                return name + " needs " + match->needs;
            }
            if (match->value->empty()) return name + " needs " + match->needs;
            continue;
        }
        if (equals != std::string::npos) return "unknown option " + arg;
        bool* flag = arg == "--loose"       ? &options.loose
                     : arg == "--force"     ? &options.force
                     : arg == "--zip"       ? &options.zip
                     : arg == "--quiet"     ? &options.quiet
                     : arg == "--one-file"  ? &options.oneFile
                                            : nullptr;
        if (flag == nullptr) return "unknown option " + arg;
        *flag = true;
    }
    if (options.oneFile && options.loose) return "--one-file and --loose together";
    std::string problem;
    if (seenIdentity[0] && !ExecutableFileName(options.identity.exeName, problem))
        return "--exe-name " + options.identity.exeName + ": " + problem;
    if (seenIdentity[2] && !ParseVersionNumbers(options.identity.version))
        return "--version " + options.identity.version + ": not " + kVersionRule;
    if (positional.size() != 2) return "package needs APP_DIR and OUT_DIR";
    if (positional[0].empty() || positional[1].empty())
        return "APP_DIR and OUT_DIR may not be empty";
    options.app = positional[0];
    options.out = positional[1];
    return {};
}

bool FileContains(const fs::path& path, std::string_view needle, std::size_t chunkSize) {
    if (needle.empty()) return true;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    // Each read goes after the last needle.size() - 1 bytes of the one before, so a match that
    // straddles two reads is found.
    const std::size_t keep = needle.size() - 1;
    std::vector<char> buffer(keep + std::max<std::size_t>(chunkSize, 1));
    std::size_t carried = 0;
    while (in) {
        in.read(buffer.data() + carried, static_cast<std::streamsize>(buffer.size() - carried));
        const std::size_t filled = carried + static_cast<std::size_t>(in.gcount());
        if (std::string_view(buffer.data(), filled).find(needle) != std::string_view::npos)
            return true;
        carried = std::min(keep, filled);
        std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(filled - carried),
                  buffer.begin() + static_cast<std::ptrdiff_t>(filled), buffer.begin());
        if (in.gcount() == 0) break;
    }
    return false;
}

bool IsX64PortableExecutable(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char dos[64] = {};
    if (!in.read(reinterpret_cast<char*>(dos), sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return false;
    const std::uint32_t headerOffset =
        dos[60] | (dos[61] << 8) | (dos[62] << 16) | (static_cast<std::uint32_t>(dos[63]) << 24);
    unsigned char header[6] = {};
    if (!in.seekg(headerOffset) || !in.read(reinterpret_cast<char*>(header), sizeof header))
        return false;
    constexpr unsigned kMachineAmd64 = 0x8664;
    return header[0] == 'P' && header[1] == 'E' && header[2] == 0 && header[3] == 0 &&
           (header[4] | (header[5] << 8)) == kMachineAmd64;
}

int RunPackage(const PackageOptions& options, const fs::path& toolFolder, std::ostream& out,
               std::ostream& err) {
    try {
        Packager(options, toolFolder, out, err).Run();
        return 0;
    } catch (const PackageError& e) {
        err << "wrapper-bundle: " << e.what() << '\n';
    } catch (const BundleWriteError& e) {
        err << "wrapper-bundle: " << e.what() << '\n';
    } catch (const fs::filesystem_error& e) {
        err << "wrapper-bundle: " << Text(e.path1()) << ": " << e.code().message() << '\n';
    } catch (const std::exception& e) {
        err << "wrapper-bundle: " << e.what() << '\n';
    }
    return 1;
}
