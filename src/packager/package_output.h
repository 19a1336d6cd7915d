// Where `wrapper-bundle package` writes, and when it may replace what is already there.
//
// A package is the folder OUT and, with --zip, the archive OUT.zip beside it. Beside them the
// tool keeps OUT.package-manifest, a small JSON file naming the folder and every file it wrote;
// it is not part of what is shipped. An existing OUT is replaced only when it is empty, or when
// the manifest says this tool made it and the folder holds nothing the manifest does not list.
// Anything else is refused unless --force is given, and some places are refused even then: the
// app folder, a folder that holds it, its www or runtime folder, a folder that holds one of the
// files being packaged (wherever links lead), the home folder, the current folder, a root and the
// system's own folders.
//
// The tool deletes only what it wrote: the files its manifest lists, one by one, then the folders
// that held them once they are empty. It never deletes a folder with what is in it and never
// follows a link while deleting or moving. A folder that --force replaces and that is not wholly
// the tool's own is not deleted but renamed aside to OUT.replaced-1 (-2, ...).
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
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
    bool operator==(const PackageManifest&) const = default;
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
    bool operator==(const OutputState&) const = default;

    // Whether every entry is one the manifest lists (so the folder is wholly the tool's own).
    bool OnlyOwnFiles() const;
};

OutputState ReadOutputState(const std::filesystem::path& out);

// Everything under `folder` but folders, relative with "/", sorted. A link (to a file or a
// folder, a junction included) is listed as an entry of its own and never entered.
std::vector<std::string> ListEntries(const std::filesystem::path& folder);

// Deletes the `files` (relative, "/") under `root` one by one, then the folders that held them
// and `root` itself once they are empty. Nothing is reached through a link: a file whose path
// passes through a link is left, and a listed name that is a link loses the link only.
// Returns the names that could not be deleted.
std::vector<std::string> RemoveOwnFiles(const std::filesystem::path& root,
                                        const std::vector<std::string>& files);

// The first of OUT.replaced-1, OUT.replaced-2, ... (each followed by `extension`) that names
// nothing.
std::filesystem::path ReplacedName(const std::filesystem::path& out,
                                   const std::string& extension = "");

// Windows: hides or shows a file or folder in Explorer. Elsewhere nothing (a leading "." hides).
void HidePath(const std::filesystem::path& path);
void UnhidePath(const std::filesystem::path& path);

// What keeps `names` (relative, "/" between folders) from being the files of one folder on
// Windows, naming the file: a character or name Windows cannot hold (<>:"\|?*, control
// characters, a part ending in "." or " ", CON, NUL, COM1, ... with or without an extension), or
// two names that are one when letter case is ignored (ASCII letters). Empty when nothing.
std::string WindowsNameProblem(const std::vector<std::string>& names);

// `text` with its ASCII letters in lower case, as Windows compares names.
std::string FoldCase(std::string text);

// Whether two names of one folder name the same file: ignoring letter case on Windows.
bool SameFileName(const std::string& a, const std::string& b);

// Why `out` may never be written, even with --force, or empty: it is the app folder or holds it,
// it is or lies inside the app's www folder or its fixed runtime folder (where links lead), it
// holds one of the `inputs` (files and folders packaged from where they are, judged where links
// lead), or it is or holds one of the user's or the system's places (see ProtectedPlaces).
std::string ForbiddenOutputReason(const std::filesystem::path& out,
                                  const std::filesystem::path& app,
                                  const std::vector<std::filesystem::path>& inputs);

// The places no package is written over, with how they are named: the home or profile folder,
// the current folder, the root of every drive and the system's well-known folders.
std::vector<std::pair<std::filesystem::path, std::string>> ProtectedPlaces();

// Whether `inner` is `outer` or lies inside it, judged by file identity on the parts that exist
// (so links and letter case that name the same folder count as the same).
bool IsSameOrInside(const std::filesystem::path& inner, const std::filesystem::path& outer);

// The decision for an output place that is not forbidden: empty when the package may be written
// there, else the refusal. `name` is how the folder is named in the message.
std::string OutputRefusal(const OutputState& state, const std::string& name, bool force,
                          bool writeZip);
