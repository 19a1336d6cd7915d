// Writing asset bundles. The layout written here is the header (chunks at offset 16), the "fdir"
// chunk, then the "blob" chunk holding every file's bytes back to back in directory order;
// reserved words, compression and extra are 0.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// A failure to pack, with a message that names the file or folder concerned.
class BundleWriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct BundleSourceFile {
    std::string name;            // UTF-8, relative, "/" between folder names
    std::filesystem::path path;  // where the bytes are read from
    std::uint64_t size = 0;
};

struct PackResult {
    std::size_t fileCount = 0;
    std::uint64_t contentBytes = 0;
};

// Called while file bytes are copied: bytes copied so far, bytes in all.
using BundleProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

void AppendU32(std::string& out, std::uint32_t value);  // big-endian
void AppendU64(std::string& out, std::uint64_t value);  // big-endian

// Everything before the first content byte: the header, the directory of the given files (names
// and sizes, in this order, laid back to back in the blob) and the blob chunk's header.
std::string EncodeBundlePrefix(
    const std::vector<std::pair<std::string, std::uint64_t>>& namesAndSizes);

// A complete bundle in memory holding the given (name, content) files in this order.
std::string EncodeBundle(const std::vector<std::pair<std::string, std::string>>& files);

// UTF-8 text <-> paths, whatever the platform's narrow encoding.
std::filesystem::path PathFromUtf8(const std::string& text);
std::string Utf8FromPath(const std::filesystem::path& path);
bool IsValidUtf8(const std::string& text);

// Whether `path` itself is a symbolic link, a junction or another reparse point. Never follows
// it; false when nothing is there. (mingw's std::filesystem does not report reparse points.)
bool IsLink(const std::filesystem::path& path);

// The files under `folder`, named by their path relative to it and sorted byte-wise. Links to
// regular files are followed. Refused, naming the entry: a link whose target does not exist, a
// link to a folder (folder links are not followed, junctions included), anything that is not a regular file (FIFO,
// socket, device), an entry whose status cannot be read (the system's reason is given), a name
// that is not UTF-8, and a folder that cannot be listed. A file equivalent to `exclude` (the bundle
// being written, when it lies inside the folder) is left out, and so are the temporary files
// "<name of exclude>.partial-<16 hex digits>" beside it that an interrupted write left behind.
std::vector<BundleSourceFile> CollectBundleFiles(const std::filesystem::path& folder,
                                                 const std::filesystem::path& exclude = {});

// Writes a bundle of `files`, in their order, streaming each file's bytes. The bytes go to a
// temporary file beside `output` that is renamed over it at the end; on any failure the
// temporary file is removed and `output` is left as it was.
void WriteBundleFile(const std::vector<BundleSourceFile>& files,
                     const std::filesystem::path& output, const BundleProgress& progress = {});

// CollectBundleFiles + WriteBundleFile: the same folder always gives the same bytes.
PackResult PackFolder(const std::filesystem::path& folder, const std::filesystem::path& output,
                      const BundleProgress& progress = {});
