// The zip of a package folder, written with libarchive.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

// Writes `zip`: every file under `folder`, in byte-wise order of its name, as the entry
// "<rootName>/<name>" (names in UTF-8 with the UTF-8 flag where they are not ASCII), deflated.
// File bytes are streamed through a small buffer, never held whole; an entry or archive past the
// 32-bit limits gets zip64 records. Entries carry no date (they show 1980-01-01), owner or
// permission of the files on disk, so equal folders give equal bytes on every system. The zip is
// written to a temporary file beside `zip` and renamed over it when complete. Returns the number
// of files; throws PackageError or BundleWriteError naming the file on failure (a failed write
// names the zip, as `shownAs` when given, and the system's reason).
std::size_t WriteFolderZip(const std::filesystem::path& folder, const std::string& rootName,
                           const std::filesystem::path& zip,
                           const std::filesystem::path& shownAs = {});
