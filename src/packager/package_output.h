// Where `wrapper-bundle package` writes, and when it may replace what is already there.
//
// A package is the folder OUT and, with --zip, the archive OUT.zip beside it. Beside them the
// tool keeps OUT.package-manifest, a small JSON file naming the folder and every file it wrote;
// it is not part of what is shipped. An existing OUT is replaced only when it is empty, or when
// the manifest says this tool made it and the folder holds nothing the manifest does not list.
// Anything else is refused unless --force is given, and some places are refused even then: the
// app folder, a folder that holds it, its www or runtime folder, and a folder that holds one of
// the files being packaged.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A failure to make a package, with a message for the user that names the path concerned.
class PackageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct PackageManifest {
    std::string folder;              // the package folder's own name
    std::vector<std::string> files;  // every file written into it, relative, "/" between folders
    std::string zip;                 // the name of the zip beside the folder, or empty
};

inline constexpr char kPackageManifestSuffix[] = ".package-manifest";

std::string EncodePackageManifest(const PackageManifest& manifest);
// The manifest in `text`, or nothing when the text is not a manifest this tool wrote.
std::optional<PackageManifest> ParsePackageManifest(const std::string& text);

// OUT.package-manifest and OUT.zip, beside the folder OUT.
std::filesystem::path ManifestPathFor(const std::filesystem::path& out);
std::filesystem::path ZipPathFor(const std::filesystem::path& out);

// What is at the output place now.
struct OutputState {
    enum class Kind { Missing, Folder, Link, Other };
    Kind kind = Kind::Missing;
    std::vector<std::string> entries;  // everything under the folder but folders, relative
    std::optional<PackageManifest> manifest;
    enum class ZipKind { Missing, File, Other };
    ZipKind zip = ZipKind::Missing;
};

OutputState ReadOutputState(const std::filesystem::path& out);

// Why `out` may never be written, even with --force, or empty: it is the app folder or holds it,
// it is or lies inside the app's www folder or its fixed runtime folder, or it holds one of the
// `inputs` (files that are packaged from where they are).
std::string ForbiddenOutputReason(const std::filesystem::path& out,
                                  const std::filesystem::path& app,
                                  const std::vector<std::filesystem::path>& inputs);

// Whether `inner` is `outer` or lies inside it, judged by file identity on the parts that exist
// (so links and letter case that name the same folder count as the same).
bool IsSameOrInside(const std::filesystem::path& inner, const std::filesystem::path& outer);

// The decision for an output place that is not forbidden: empty when the package may be written
// there, else the refusal. `name` is how the folder is named in the message.
std::string OutputRefusal(const OutputState& state, const std::string& name, bool force,
                          bool writeZip);
