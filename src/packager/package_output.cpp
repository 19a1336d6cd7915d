#include "packager/package_output.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string_view>
#include <set>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#endif

#include <nlohmann/json.hpp>

#include "bundle/bundle_writer.h"
#include "config/app_config.h"

namespace fs = std::filesystem;

namespace {

constexpr char kManifestFormat[] = "wrapper-bundle package";
constexpr int kManifestVersion = 1;
// A manifest lists file names only; anything larger is not one of ours.
constexpr std::uintmax_t kLargestManifest = std::uintmax_t{64} << 20;

fs::path WithSuffix(const fs::path& out, const char* suffix) {
    fs::path path = out;
    path += PathFromUtf8(suffix);
    return path;
}

std::string Quoted(const fs::path& path) { return Utf8FromPath(path); }

// Where `path` really is: every link on the way resolved, as far as the path exists.
fs::path RealPath(const fs::path& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec).lexically_normal();
#ifdef _WIN32
    // mingw's canonical does not resolve reparse points; the system does.
    HANDLE handle = CreateFileW(absolute.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const fs::path parent = absolute.parent_path();
        if (parent.empty() || parent == absolute) return absolute;
        return RealPath(parent) / absolute.filename();
    }
    std::wstring real(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, real.data(), static_cast<DWORD>(real.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length >= real.size()) {
        real.resize(length + 1);
        length = GetFinalPathNameByHandleW(handle, real.data(), static_cast<DWORD>(real.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    CloseHandle(handle);
    if (length == 0 || length >= real.size()) return absolute;
    real.resize(length);
    if (real.rfind(LR"(\\?\UNC\)", 0) == 0) return fs::path(LR"(\\)" + real.substr(8));
    if (real.rfind(LR"(\\?\)", 0) == 0) return fs::path(real.substr(4));
    return fs::path(real);
#else
    const fs::path real = fs::weakly_canonical(absolute, ec);
    return ec ? absolute : real;
#endif
}

}  // namespace

bool SameFileName(const std::string& a, const std::string& b) {
#ifdef _WIN32
    const std::wstring wideA = PathFromUtf8(a).wstring(), wideB = PathFromUtf8(b).wstring();
    return CompareStringOrdinal(wideA.c_str(), static_cast<int>(wideA.size()), wideB.c_str(),
                                static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
#else
    return a == b;
#endif
}

std::vector<std::string> RemoveOwnFiles(const fs::path& root, const std::vector<std::string>& files) {
    std::vector<std::string> left;
    std::set<std::string> folders;
    std::error_code ec;
    for (const std::string& name : files) {
        // Every folder on the way must be a plain folder, and the file itself no link.
        fs::path path = root;
        bool plain = !IsLink(root);
        std::string folder;
        const fs::path relative = PathFromUtf8(name);
        for (auto part = relative.begin(); plain && part != relative.end(); ++part) {
            path /= *part;
            plain = !IsLink(path);
            if (std::next(part) != relative.end()) {
                if (!folder.empty()) folder += '/';
                folder += Utf8FromPath(*part);
                folders.insert(folder);
            }
        }
        if (!plain || (fs::exists(fs::symlink_status(path, ec)) &&
                       (fs::is_directory(fs::symlink_status(path, ec)) || !fs::remove(path, ec))))
            left.push_back(name);
    }
    // Deepest first; a folder that still holds something stays.
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
        const fs::path path = root / PathFromUtf8(*folder);
        if (!IsLink(path) && fs::is_directory(fs::symlink_status(path, ec))) fs::remove(path, ec);
    }
    if (!IsLink(root)) fs::remove(root, ec);
    return left;
}

std::string FoldCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string WindowsNameProblem(const std::vector<std::string>& names) {
    std::map<std::string, std::string> files, folders;  // folded -> as named
    for (const std::string& name : names) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = name.find('/', start);
            const std::string part = name.substr(start, end - start);
            if (part.empty()) return name + ": an empty part in the name";
            if (const std::string why = FolderNameProblem(part); !why.empty())
                return name + ": Windows cannot hold this name: it " + why + "; rename it";
            if (end == std::string::npos) break;
            folders.emplace(FoldCase(name.substr(0, end)), name.substr(0, end));
            start = end + 1;
        }
        const auto [at, added] = files.emplace(FoldCase(name), name);
        if (!added && at->second != name)
            return at->second + " and " + name +
                   ": one name on Windows, where letter case does not count; rename one";
    }
    for (const auto& [folded, name] : files) {
        if (const auto folder = folders.find(folded); folder != folders.end())
            return name + " and the folder " + folder->second +
                   ": one name on Windows, where letter case does not count; rename one";
    }
    return {};
}

void HidePath([[maybe_unused]] const fs::path& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
#endif
}

void UnhidePath([[maybe_unused]] const fs::path& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN))
        SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_HIDDEN});
#endif
}

fs::path ReplacedName(const fs::path& out, const std::string& extension) {
    std::error_code ec;
    for (int n = 1;; ++n) {
        const fs::path candidate =
            WithSuffix(out, (".replaced-" + std::to_string(n) + extension).c_str());
        if (fs::symlink_status(candidate, ec).type() == fs::file_type::not_found &&
            !IsLink(candidate))
            return candidate;
    }
}

std::string EncodePackageManifest(const PackageManifest& manifest) {
    nlohmann::ordered_json json;
    json["format"] = kManifestFormat;
    json["version"] = kManifestVersion;
    json["folder"] = manifest.folder;
    json["files"] = manifest.files;
    json["zip"] = manifest.zip;
    return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

namespace {

// A name the manifest may list: relative, "/"-separated, without empty, "." or ".." parts, and
// without backslashes or ":" (separators and drives on Windows), so that deleting it never leaves the
// folder whatever the file says.
bool IsNameInsideFolder(const std::string& name) {
    if (name.empty() || name.find_first_of("\\:") != std::string::npos) return false;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string_view part(name.data() + start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == name.size()) return true;
        start = end + 1;
    }
}

}  // namespace

std::optional<PackageManifest> ParsePackageManifest(const std::string& text) {
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object()) return std::nullopt;
    const auto format = json.find("format");
    const auto version = json.find("version");
    const auto folder = json.find("folder");
    const auto files = json.find("files");
    const auto zip = json.find("zip");
    if (format == json.end() || *format != kManifestFormat) return std::nullopt;
    if (version == json.end() || *version != kManifestVersion) return std::nullopt;
    if (folder == json.end() || !folder->is_string() ||
        folder->get_ref<const std::string&>().empty())
        return std::nullopt;
    if (files == json.end() || !files->is_array()) return std::nullopt;
    if (zip == json.end() || !zip->is_string()) return std::nullopt;
    PackageManifest manifest;
    manifest.folder = folder->get<std::string>();
    manifest.zip = zip->get<std::string>();
    for (const nlohmann::json& file : *files) {
        if (!file.is_string() || !IsNameInsideFolder(file.get_ref<const std::string&>()))
            return std::nullopt;
        manifest.files.push_back(file.get<std::string>());
    }
    return manifest;
}

fs::path ManifestPathFor(const fs::path& out) { return WithSuffix(out, kPackageManifestSuffix); }

fs::path ZipPathFor(const fs::path& out) { return WithSuffix(out, ".zip"); }

std::vector<std::string> ListEntries(const fs::path& folder) {
    std::vector<std::string> entries;
    std::vector<fs::path> pending = {folder};
    try {
        while (!pending.empty()) {
            const fs::path current = std::move(pending.back());
            pending.pop_back();
            for (const fs::directory_entry& entry : fs::directory_iterator(current)) {
                std::error_code ec;
                if (!IsLink(entry.path()) && entry.is_directory(ec)) {
                    pending.push_back(entry.path());
                    continue;
                }
                const std::u8string relative =
                    entry.path().lexically_relative(folder).generic_u8string();
                entries.emplace_back(relative.begin(), relative.end());
            }
        }
    } catch (const fs::filesystem_error& e) {
        throw PackageError(Quoted(e.path1()) + ": cannot be listed: " + e.code().message());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool OutputState::OnlyOwnFiles() const {
    if (entries.empty()) return true;
    if (!manifest) return false;
    std::vector<std::string> listed = manifest->files;
    std::sort(listed.begin(), listed.end());
    return std::includes(listed.begin(), listed.end(), entries.begin(), entries.end());
}

OutputState ReadOutputState(const fs::path& out) {
    OutputState state;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(out, ec);
    if (ec && status.type() != fs::file_type::not_found)
        throw PackageError(Quoted(out) + ": cannot be examined: " + ec.message());
    if (status.type() == fs::file_type::not_found) {
        state.kind = OutputState::Kind::Missing;
    } else if (IsLink(out)) {
        state.kind = OutputState::Kind::Link;
    } else if (fs::is_directory(status)) {
        state.kind = OutputState::Kind::Folder;
        state.entries = ListEntries(out);
    } else {
        state.kind = OutputState::Kind::Other;
    }

    const fs::path manifestPath = ManifestPathFor(out);
    if (fs::is_regular_file(fs::symlink_status(manifestPath, ec)) && !IsLink(manifestPath) &&
        fs::file_size(manifestPath, ec) <= kLargestManifest && !ec) {
        std::ifstream in(manifestPath, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
        std::optional<PackageManifest> manifest = ParsePackageManifest(text);
        // A manifest of another folder (copied or renamed along) does not vouch for this one.
        if (manifest && SameFileName(manifest->folder, Utf8FromPath(out.filename())))
            state.manifest = std::move(manifest);
    }

    const fs::file_status zip = fs::symlink_status(ZipPathFor(out), ec);
    if (zip.type() == fs::file_type::not_found) {
        state.zip = OutputState::ZipKind::Missing;
    } else {
        state.zip = fs::is_regular_file(zip) && !IsLink(ZipPathFor(out))
                        ? OutputState::ZipKind::File
                        : OutputState::ZipKind::Other;
    }
    return state;
}

bool IsSameOrInside(const fs::path& inner, const fs::path& outer) {
    std::error_code ec;
    if (!fs::exists(outer, ec)) return false;
    fs::path path = RealPath(inner);
    for (;;) {
        if (fs::exists(path, ec) && fs::equivalent(path, outer, ec)) return true;
        const fs::path parent = path.parent_path();
        if (parent.empty() || parent == path) return false;
        path = parent;
    }
}

std::vector<std::pair<fs::path, std::string>> ProtectedPlaces() {
    std::vector<std::pair<fs::path, std::string>> places;
    std::error_code ec;
    const fs::path current = fs::current_path(ec);
    if (!ec) places.emplace_back(current, "the current folder");
#ifdef _WIN32
    const std::pair<const KNOWNFOLDERID*, const char*> known[] = {
        {&FOLDERID_Profile, "the user's profile folder"},
        {&FOLDERID_UserProfiles, "the folder of the users' profiles"},
        {&FOLDERID_Desktop, "the desktop folder"},
        {&FOLDERID_Documents, "the documents folder"},
        {&FOLDERID_Downloads, "the downloads folder"},
        {&FOLDERID_Windows, "the Windows folder"},
        {&FOLDERID_ProgramFiles, "the program files folder"},
        {&FOLDERID_ProgramFilesX86, "the program files folder"},
        {&FOLDERID_ProgramData, "the program data folder"},
        {&FOLDERID_RoamingAppData, "the application data folder"},
        {&FOLDERID_LocalAppData, "the local application data folder"},
        {&FOLDERID_Public, "the public folder"},
    };
    for (const auto& [id, name] : known) {
        PWSTR path = nullptr;
        if (SUCCEEDED(SHGetKnownFolderPath(*id, KF_FLAG_DONT_VERIFY, nullptr, &path)))
            places.emplace_back(fs::path(path), name);
        CoTaskMemFree(path);
    }
#else
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        places.emplace_back(home, "the home folder");
        for (const char* folder : {"Desktop", "Documents", "Downloads"})
            places.emplace_back(fs::path(home) / folder, std::string("the ") + folder + " folder");
    }
    for (const char* system : {"/bin", "/boot", "/dev", "/etc", "/home", "/lib", "/lib64",
                               "/media", "/mnt", "/opt", "/proc", "/root", "/run", "/sbin",
                               "/srv", "/sys", "/tmp", "/usr", "/var"})
        places.emplace_back(system, std::string("the system folder ") + system);
#endif
    return places;
}

std::string ForbiddenOutputReason(const fs::path& out, const fs::path& app,
                                  const std::vector<fs::path>& inputs) {
    const fs::path absolute = fs::absolute(out).lexically_normal();
    const fs::path relative = absolute.relative_path();
    // "/", "C:\" and "\\server\share" (whose first part after the root name is the share).
    const bool shareRoot = absolute.root_name().native().size() > 2 &&
                           std::distance(relative.begin(), relative.end()) <= 1;
    if (relative.empty() || shareRoot)
        return "the output folder may not be the root of a drive or share";
    if (IsSameOrInside(app, out)) return "the output folder may not be the app folder or hold it";
    if (IsSameOrInside(out, app / "www"))
        return "the output folder may not be the app's www folder or lie inside it";
    if (IsSameOrInside(out, app / "webview2"))
        return "the output folder may not be the app's webview2 runtime folder or lie inside it";
    // Many packed files share a folder: each folder is judged once.
    std::set<fs::path> judged;
    std::error_code ec;
    for (const fs::path& input : inputs) {
        if (input.empty()) continue;
        const fs::path real = RealPath(input);
        if (!judged.insert(fs::is_directory(real, ec) ? real : real.parent_path()).second) continue;
        if (IsSameOrInside(real, out))
            return "the output folder holds " + Utf8FromPath(input) +
                   ", which is to be packaged from there";
    }
    for (const auto& [place, name] : ProtectedPlaces()) {
        if (IsSameOrInside(place, out)) return "the output folder may not be " + name + " or hold it";
    }
    return {};
}

std::string OutputRefusal(const OutputState& state, const std::string& name, bool force,
                          bool writeZip) {
    switch (state.kind) {
        case OutputState::Kind::Link:
            return name + ": is a symbolic link or junction; name the folder itself";
        case OutputState::Kind::Other:
            return name + ": exists and is not a folder";
        case OutputState::Kind::Missing:
        case OutputState::Kind::Folder:
            break;
    }
    if (writeZip && state.zip == OutputState::ZipKind::Other)
        return name + ".zip: exists and is not a file";
    if (force) return {};

    if (!state.entries.empty()) {
        if (!state.manifest) {
            return name +
                   ": not empty and not a package made by wrapper-bundle (there is no manifest "
                   "beside it); choose another folder, or pass --force to replace it";
        }
        std::vector<std::string> listed = state.manifest->files;
        std::sort(listed.begin(), listed.end());
        std::vector<std::string> foreign;
        std::set_difference(state.entries.begin(), state.entries.end(), listed.begin(),
                            listed.end(), std::back_inserter(foreign));
        if (!foreign.empty()) {
            std::string examples;
            for (std::size_t i = 0; i < foreign.size() && i < 3; ++i)
                examples += (i ? ", " : "") + foreign[i];
            if (foreign.size() > 3) examples += ", ...";
            return name + ": holds files the earlier package did not contain (" + examples +
                   "); move them away, or pass --force to replace the folder";
        }
    }
    const bool zipIsOurs = state.manifest && !state.manifest->zip.empty();
    if (writeZip && state.zip == OutputState::ZipKind::File && !zipIsOurs) {
        return name +
               ".zip: exists and was not made by wrapper-bundle; move it away, or pass --force "
               "to replace it";
    }
    return {};
}
