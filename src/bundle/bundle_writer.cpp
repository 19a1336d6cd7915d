#include "bundle/bundle_writer.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <limits>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#include "bundle/asset_bundle.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kCopyBufferSize = 1 << 20;

[[noreturn]] void Refuse(const std::string& what, const std::string& why) {
    throw BundleWriteError(what + ": " + why);
}

// A failed write, with the system's reason where the stream left one in errno.
std::string WriteFailure() {
    return "write error: " + std::error_code(errno ? errno : EIO, std::generic_category()).message();
}

constexpr std::string_view kPartialMark = ".partial-";
constexpr std::size_t kPartialTagLength = 16;

std::string TemporaryName(const fs::path& output) {
    std::random_device device;
    const std::uint64_t tag = (std::uint64_t{device()} << 32) ^ device();
    char hex[kPartialTagLength + 1];
    for (std::size_t i = 0; i < kPartialTagLength; ++i)
        hex[i] = "0123456789abcdef"[(tag >> (60 - 4 * i)) & 0xF];
    hex[kPartialTagLength] = '\0';
    return Utf8FromPath(output.filename()) + std::string(kPartialMark) + hex;
}

// Whether `path` is a temporary file that a write of `output` made (and, killed, left behind):
// beside it, named like it followed by ".partial-" and sixteen hex digits.
bool IsPartialOf(const fs::path& path, const fs::path& output) {
    const std::string name = Utf8FromPath(path.filename());
    const std::string stem = Utf8FromPath(output.filename()) + std::string(kPartialMark);
    if (name.size() != stem.size() + kPartialTagLength || name.compare(0, stem.size(), stem) != 0)
        return false;
    const bool hexTag =
        std::all_of(name.begin() + static_cast<std::ptrdiff_t>(stem.size()), name.end(),
                    [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
    std::error_code ec;
    return hexTag && fs::equivalent(fs::absolute(path, ec).parent_path(),
                                    fs::absolute(output, ec).parent_path(), ec);
}

// The reason the last failed call of the C library gave, or `fallback` when it gave none.
std::string SystemReason(int error, const std::string& fallback) {
    if (error == 0) return fallback;
    return fallback + ": " + std::generic_category().message(error);
}

// Removes the temporary file unless the write was committed.
class TemporaryFile {
  public:
    explicit TemporaryFile(fs::path path) : path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!committed_) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }
    const fs::path& path() const { return path_; }
    void Commit() { committed_ = true; }

  private:
    fs::path path_;
    bool committed_ = false;
};

void CopyContent(const BundleSourceFile& file, std::ofstream& out, std::vector<char>& buffer,
                 std::uint64_t& done, std::uint64_t total, const BundleProgress& progress) {
    errno = 0;
    std::ifstream in(file.path, std::ios::binary);
    if (!in) Refuse(file.name, SystemReason(errno, "cannot be opened for reading"));
    std::uint64_t copied = 0;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::uint64_t>(in.gcount());
        if (got == 0) break;
        if (got > file.size - copied) Refuse(file.name, "grew while it was being packed");
        out.write(buffer.data(), static_cast<std::streamsize>(got));
        copied += got;
        done += got;
        if (progress) progress(done, total);
    }
    if (in.bad()) Refuse(file.name, "read error");
    if (copied != file.size) Refuse(file.name, "shrank while it was being packed");
}

}  // namespace

void AppendU32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void AppendU64(std::string& out, std::uint64_t value) {
    for (int shift = 56; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

std::string EncodeBundlePrefix(
    const std::vector<std::pair<std::string, std::uint64_t>>& namesAndSizes) {
    if (namesAndSizes.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw BundleWriteError("too many files for one bundle");
    }
    std::uint64_t directorySize = 4;
    for (const auto& [name, size] : namesAndSizes) {
        if (name.size() > std::numeric_limits<std::uint32_t>::max())
            Refuse(name.substr(0, 64), "name too long");
        directorySize += kBundleEntryFixedSize + name.size();
    }

    std::string out;
    out.reserve(
        static_cast<std::size_t>(kBundleHeaderSize + 2 * kBundleChunkHeaderSize + directorySize));
    AppendU32(out, kBundleMagic);
    AppendU32(out, 0);  // version
    AppendU32(out, static_cast<std::uint32_t>(kBundleHeaderSize));
    AppendU32(out, 0);  // flags

    AppendU32(out, kBundleTagFdir);
    AppendU64(out, directorySize);
    AppendU32(out, static_cast<std::uint32_t>(namesAndSizes.size()));
    std::uint64_t offset = 0;
    for (const auto& [name, size] : namesAndSizes) {
        AppendU32(out, 0);
        AppendU32(out, 0);
        AppendU64(out, offset);
        AppendU64(out, size);
        AppendU64(out, 0);    // extra
        out.push_back('\0');  // stored
        AppendU32(out, static_cast<std::uint32_t>(name.size()));
        out += name;
        if (size > std::numeric_limits<std::uint64_t>::max() - offset) Refuse(name, "too large");
        offset += size;
    }

    AppendU32(out, kBundleTagBlob);
    AppendU64(out, offset);
    return out;
}

std::string EncodeBundle(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<std::pair<std::string, std::uint64_t>> namesAndSizes;
    namesAndSizes.reserve(files.size());
    for (const auto& [name, content] : files) namesAndSizes.emplace_back(name, content.size());
    std::string out = EncodeBundlePrefix(namesAndSizes);
    for (const auto& file : files) out += file.second;
    return out;
}

fs::path PathFromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8FromPath(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool IsValidUtf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned lead = *p++;
        if (lead < 0x80) continue;
        int more;
        std::uint32_t cp;
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1, cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2, cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3, cp = lead & 0x07;
        } else {
            return false;
        }
        if (end - p < more) return false;
        for (int i = 0; i < more; ++i, ++p) {
            if ((*p & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (*p & 0x3F);
        }
        const std::uint32_t smallest = more == 1 ? 0x80 : more == 2 ? 0x800 : 0x10000;
        if (cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    }
    return true;
}

bool IsLink(const fs::path& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
#else
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(path, ec));
#endif
}

std::vector<BundleSourceFile> CollectBundleFiles(const fs::path& folder, const fs::path& exclude) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) Refuse(Utf8FromPath(folder), "not a folder");
    const bool checkExclude = !exclude.empty() && fs::exists(exclude, ec);

    std::vector<BundleSourceFile> files;
    try {
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
            std::string name;
            try {
                const std::u8string relative =
                    entry.path().lexically_relative(folder).generic_u8string();
                name.assign(relative.begin(), relative.end());
            } catch (const std::exception&) {
                Refuse(entry.path().string(), "name cannot be converted to UTF-8");
            }
            if (!IsValidUtf8(name)) Refuse(name, "name is not valid UTF-8");

            const bool isLink = IsLink(entry.path());
            const fs::file_status target = entry.status(ec);  // follows links
            if (isLink && target.type() == fs::file_type::not_found)
                Refuse(name, "symbolic link whose target does not exist");
            // Any other failure of the query itself (no permission, a loop of links, ...) is
            // reported as what it is, not as the kind of file it might be.
            if (ec) Refuse(name, "cannot be examined: " + ec.message());
            if (isLink && fs::is_directory(target))
                Refuse(name, "symbolic link to a folder (folder links are not followed)");
            if (fs::is_directory(target)) continue;
            if (!fs::is_regular_file(target))
                Refuse(name, "not a regular file (FIFO, socket or device)");
            if (checkExclude && fs::equivalent(entry.path(), exclude, ec)) continue;
            // A temporary file that an interrupted earlier write of the output left behind.
            if (!exclude.empty() && IsPartialOf(entry.path(), exclude)) continue;

            const std::uint64_t size = entry.file_size(ec);
            if (ec) Refuse(name, "cannot read its size: " + ec.message());
            files.push_back(BundleSourceFile{std::move(name), entry.path(), size});
        }
    } catch (const fs::filesystem_error& e) {
        Refuse(Utf8FromPath(e.path1()), "cannot list folder: " + e.code().message());
    }
    std::sort(files.begin(), files.end(),
              [](const BundleSourceFile& a, const BundleSourceFile& b) { return a.name < b.name; });
    return files;
}

void WriteBundleFile(const std::vector<BundleSourceFile>& files, const fs::path& output,
                     const BundleProgress& progress) {
    std::vector<std::pair<std::string, std::uint64_t>> namesAndSizes;
    namesAndSizes.reserve(files.size());
    std::uint64_t total = 0;
    for (const BundleSourceFile& file : files) {
        namesAndSizes.emplace_back(file.name, file.size);
        total += file.size;
    }
    const std::string prefix = EncodeBundlePrefix(namesAndSizes);

    TemporaryFile temporary(output.parent_path() / PathFromUtf8(TemporaryName(output)));
    const std::string outputName = Utf8FromPath(output);
    {
        std::ofstream out(temporary.path(), std::ios::binary | std::ios::trunc);
        if (!out) Refuse(outputName, "cannot create a temporary file beside it");
        out.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
        std::vector<char> buffer(kCopyBufferSize);
        std::uint64_t done = 0;
        if (progress) progress(0, total);
        for (const BundleSourceFile& file : files) {
            errno = 0;
            CopyContent(file, out, buffer, done, total, progress);
            if (!out) Refuse(outputName, WriteFailure());
        }
        errno = 0;
        out.close();
        if (!out) Refuse(outputName, WriteFailure());
    }
    std::error_code ec;
    fs::rename(temporary.path(), output, ec);
    if (ec) Refuse(outputName, "cannot be replaced: " + ec.message());
    temporary.Commit();
}

PackResult PackFolder(const fs::path& folder, const fs::path& output,
                      const BundleProgress& progress) {
    const std::vector<BundleSourceFile> files = CollectBundleFiles(folder, output);
    WriteBundleFile(files, output, progress);
    PackResult result;
    result.fileCount = files.size();
    for (const BundleSourceFile& file : files) result.contentBytes += file.size;
    return result;
}
