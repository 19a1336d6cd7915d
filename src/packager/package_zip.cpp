#include "packager/package_zip.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <fstream>
#include <system_error>
#include <memory>
#include <vector>

#ifndef _WIN32
#include <locale.h>
#endif

#include "bundle/bundle_writer.h"
#include "packager/package_output.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kReadBufferSize = 256 * 1024;

struct ArchiveFree {
    void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryFree {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};

#ifndef _WIN32
// libarchive turns entry names into the header's UTF-8 through the thread's character set; a
// UTF-8 locale for this thread makes that the identity whatever the user's locale is.
class Utf8ThreadLocale {
public:
    Utf8ThreadLocale() {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            locale_ = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
            if (locale_ != static_cast<locale_t>(nullptr)) break;
        }
        if (locale_ != static_cast<locale_t>(nullptr)) previous_ = uselocale(locale_);
    }
    ~Utf8ThreadLocale() {
        if (locale_ == static_cast<locale_t>(nullptr)) return;
        uselocale(previous_);
        freelocale(locale_);
    }
    Utf8ThreadLocale(const Utf8ThreadLocale&) = delete;
    Utf8ThreadLocale& operator=(const Utf8ThreadLocale&) = delete;

private:
    locale_t locale_ = static_cast<locale_t>(nullptr);
    locale_t previous_ = static_cast<locale_t>(nullptr);
};
#endif

// The zip file being written, and the system's reason when a write failed.
struct ZipSink {
    std::ofstream file;
    std::string failure;
};

la_ssize_t WriteToStream(archive*, void* data, const void* buffer, size_t length) {
    auto* sink = static_cast<ZipSink*>(data);
    errno = 0;
    sink->file.write(static_cast<const char*>(buffer), static_cast<std::streamsize>(length));
    if (sink->file) return static_cast<la_ssize_t>(length);
    if (sink->failure.empty())
        sink->failure = std::error_code(errno ? errno : EIO, std::generic_category()).message();
    return -1;
}

std::string ArchiveMessage(archive* a) {
    const char* text = archive_error_string(a);
    return text != nullptr ? text : "unknown error";
}

void SetEntryName(archive_entry* entry, const std::string& utf8) {
#ifdef _WIN32
    // Wide names go straight to UTF-8 in the header, without the ANSI code page.
    archive_entry_copy_pathname_w(entry, PathFromUtf8(utf8).wstring().c_str());
#else
    archive_entry_copy_pathname(entry, utf8.c_str());
#endif
}

// A failure of libarchive: the system's reason for a failed write, naming the zip; else what
// libarchive says about the entry.
[[noreturn]] void ZipFailure(archive* a, const ZipSink& sink, const std::string& zipName,
                             const std::string& entryName) {
    if (!sink.failure.empty()) throw PackageError(zipName + ": cannot be written: " + sink.failure);
    throw PackageError(zipName + ": " + entryName + ": " + ArchiveMessage(a));
}

void AddFile(archive* a, const BundleSourceFile& file, const std::string& rootName,
             std::vector<char>& buffer, const ZipSink& sink, const std::string& zipName) {
    const std::string entryName = rootName + "/" + file.name;
    std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
    if (!entry) throw PackageError("out of memory");
    SetEntryName(entry.get(), entryName);
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(file.size));
    if (archive_write_header(a, entry.get()) != ARCHIVE_OK) ZipFailure(a, sink, zipName, entryName);

    std::ifstream in(file.path, std::ios::binary);
    if (!in) throw PackageError(file.name + ": cannot be opened for reading");
    std::uint64_t copied = 0;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        if (got > file.size - copied) throw PackageError(file.name + ": grew while it was zipped");
        if (archive_write_data(a, buffer.data(), got) != static_cast<la_ssize_t>(got))
            ZipFailure(a, sink, zipName, entryName);
        copied += got;
    }
    if (in.bad()) throw PackageError(file.name + ": read error");
    if (copied != file.size) throw PackageError(file.name + ": shrank while it was zipped");
    if (archive_write_finish_entry(a) != ARCHIVE_OK) ZipFailure(a, sink, zipName, entryName);
}

}  // namespace

std::size_t WriteFolderZip(const fs::path& folder, const std::string& rootName,
                           const fs::path& zip, const fs::path& shownAs) {
    const std::vector<BundleSourceFile> files = CollectBundleFiles(folder);
    const std::string zipName = Utf8FromPath(shownAs.empty() ? zip : shownAs);
    fs::path temporary = zip;
    temporary += PathFromUtf8(".partial");
    struct RemoveUnlessKept {
        const fs::path& path;
        bool keep = false;
        ~RemoveUnlessKept() {
            std::error_code ignored;
            if (!keep) fs::remove(path, ignored);
        }
    } cleanup{temporary};

#ifndef _WIN32
    const Utf8ThreadLocale utf8;
#endif
    ZipSink sink;
    sink.file.open(temporary, std::ios::binary | std::ios::trunc);
    if (!sink.file) throw PackageError(zipName + ": cannot create a temporary file beside it");
    {
        std::unique_ptr<archive, ArchiveFree> a(archive_write_new());
        if (!a) throw PackageError("out of memory");
        // Deflate, UTF-8 names, zip64 only where needed; no block padding after the archive.
        if (archive_write_set_format_zip(a.get()) != ARCHIVE_OK ||
            archive_write_set_options(a.get(), "zip:compression=deflate,zip:hdrcharset=UTF-8") !=
                ARCHIVE_OK ||
            archive_write_set_bytes_per_block(a.get(), 0) != ARCHIVE_OK ||
            archive_write_open2(a.get(), &sink, nullptr, WriteToStream, nullptr, nullptr) !=
                ARCHIVE_OK) {
            throw PackageError(zipName + ": " + ArchiveMessage(a.get()));
        }
        std::vector<char> buffer(kReadBufferSize);
        for (const BundleSourceFile& file : files)
            AddFile(a.get(), file, rootName, buffer, sink, zipName);
        if (archive_write_close(a.get()) != ARCHIVE_OK) ZipFailure(a.get(), sink, zipName, "");
    }
    errno = 0;
    sink.file.close();
    if (!sink.file)
        throw PackageError(zipName + ": cannot be written: " +
                           std::error_code(errno ? errno : EIO, std::generic_category()).message());
    std::error_code ec;
    fs::rename(temporary, zip, ec);
    if (ec) throw PackageError(zipName + ": cannot be replaced: " + ec.message());
    cleanup.keep = true;
    return files.size();
}
