#include "packager/package_output.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include <nlohmann/json.hpp>

#include "bundle/bundle_writer.h"

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

}  // namespace

std::string EncodePackageManifest(const PackageManifest& manifest) {
    nlohmann::ordered_json json;
    json["format"] = kManifestFormat;
    json["version"] = kManifestVersion;
    json["folder"] = manifest.folder;
    json["files"] = manifest.files;
    json["zip"] = manifest.zip;
    return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

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
        if (!file.is_string()) return std::nullopt;
        manifest.files.push_back(file.get<std::string>());
    }
    return manifest;
}

fs::path ManifestPathFor(const fs::path& out) { return WithSuffix(out, kPackageManifestSuffix); }

fs::path ZipPathFor(const fs::path& out) { return WithSuffix(out, ".zip"); }

OutputState ReadOutputState(const fs::path& out) {
    OutputState state;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(out, ec);
    if (ec && status.type() != fs::file_type::not_found)
        throw PackageError(Quoted(out) + ": cannot be examined: " + ec.message());
    if (status.type() == fs::file_type::not_found) {
        state.kind = OutputState::Kind::Missing;
    } else if (fs::is_symlink(status)) {
        state.kind = OutputState::Kind::Link;
    } else if (fs::is_directory(status)) {
        state.kind = OutputState::Kind::Folder;
        try {
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(out)) {
                if (entry.is_directory(ec) && !entry.is_symlink(ec)) continue;
                const std::u8string relative =
                    entry.path().lexically_relative(out).generic_u8string();
                state.entries.emplace_back(relative.begin(), relative.end());
            }
        } catch (const fs::filesystem_error& e) {
            throw PackageError(Quoted(e.path1()) + ": cannot be listed: " + e.code().message());
        }
        std::sort(state.entries.begin(), state.entries.end());
    } else {
        state.kind = OutputState::Kind::Other;
    }

    const fs::path manifestPath = ManifestPathFor(out);
    if (fs::is_regular_file(fs::symlink_status(manifestPath, ec)) &&
        fs::file_size(manifestPath, ec) <= kLargestManifest && !ec) {
        std::ifstream in(manifestPath, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
        std::optional<PackageManifest> manifest = ParsePackageManifest(text);
        // A manifest of another folder (copied or renamed along) does not vouch for this one.
        if (manifest && manifest->folder == Utf8FromPath(out.filename()))
            state.manifest = std::move(manifest);
    }

    const fs::file_status zip = fs::symlink_status(ZipPathFor(out), ec);
    if (zip.type() == fs::file_type::not_found) {
        state.zip = OutputState::ZipKind::Missing;
    } else {
        state.zip =
            fs::is_regular_file(zip) ? OutputState::ZipKind::File : OutputState::ZipKind::Other;
    }
    return state;
}

bool IsSameOrInside(const fs::path& inner, const fs::path& outer) {
    std::error_code ec;
    if (!fs::exists(outer, ec)) return false;
    fs::path path = fs::weakly_canonical(fs::absolute(inner, ec), ec);
    if (ec) path = fs::absolute(inner).lexically_normal();
    for (;;) {
        if (fs::exists(path, ec) && fs::equivalent(path, outer, ec)) return true;
        const fs::path parent = path.parent_path();
        if (parent.empty() || parent == path) return false;
        path = parent;
    }
}

std::string ForbiddenOutputReason(const fs::path& out, const fs::path& app,
                                  const std::vector<fs::path>& inputs) {
    if (IsSameOrInside(app, out)) return "the output folder may not be the app folder or hold it";
    if (IsSameOrInside(out, app / "www"))
        return "the output folder may not be the app's www folder or lie inside it";
    if (IsSameOrInside(out, app / "webview2"))
        return "the output folder may not be the app's webview2 runtime folder or lie inside it";
    for (const fs::path& input : inputs) {
        if (!input.empty() && IsSameOrInside(input, out))
            return "the output folder holds " + Utf8FromPath(input) +
                   ", which is to be packaged from there";
    }
    return {};
}

std::string OutputRefusal(const OutputState& state, const std::string& name, bool force,
                          bool writeZip) {
    switch (state.kind) {
        case OutputState::Kind::Link:
            return name + ": is a symbolic link; name the folder itself";
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
