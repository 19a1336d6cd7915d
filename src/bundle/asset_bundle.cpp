#include "bundle/asset_bundle.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

namespace {

[[noreturn]] void Fail(const char* message) { throw std::runtime_error(message); }

// Moves a stream to an absolute offset or by a distance from where it is. Offsets that the
// platform's signed file offset cannot hold count as a failed seek.
bool SeekStream(std::FILE* stream, std::uint64_t distance, int origin) {
    if (stream == nullptr ||
        distance > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return false;
    }
#ifdef _WIN32
    return _fseeki64(stream, static_cast<__int64>(distance), origin) == 0;
#else
    return fseeko(stream, static_cast<off_t>(distance), origin) == 0;
#endif
}

template <typename T>
T FromBigEndian(const std::uint8_t (&bytes)[sizeof(T)]) {
    T value = 0;
    for (std::uint8_t b : bytes) value = static_cast<T>((value << 8) | b);
    return value;
}

using FileTable = std::vector<std::pair<std::string_view, BundleFileEntry>>;

constexpr std::size_t kNameBlockSize = 64 * 1024;

// Sorts the names of a directory that was not in order and keeps the first entry of each name
// (a stable sort keeps the entries of one name in the order they were read).
void SortFiles(FileTable& files, bool ordered) {
    if (ordered) return;
    std::stable_sort(files.begin(), files.end(),
                     [](const FileTable::value_type& a, const FileTable::value_type& b) {
                         return a.first < b.first;
                     });
    files.erase(std::unique(files.begin(), files.end(),
                            [](const FileTable::value_type& a, const FileTable::value_type& b) {
                                return a.first == b.first;
                            }),
                files.end());
}

}  // namespace

void AssetBundle::Require(std::uint64_t n) const {
    if (position > limit || n > limit - position) throw std::range_error("bundle read error");
}

void AssetBundle::ReadBytes(void* destination, std::uint64_t n) {
    Require(n);
    switch (readMode) {
        case ReadMode::Memory:
            if (n != 0) std::memcpy(destination, base + position, static_cast<std::size_t>(n));
            break;
        case ReadMode::FileStream:
            if (stream == nullptr ||
                std::fread(destination, 1, static_cast<std::size_t>(n), stream) != n) {
                Fail("file read error");
            }
            break;
        default:
            Fail("invalid read mode");
    }
    position += n;
}

std::uint8_t AssetBundle::ReadU8() {
    std::uint8_t value = 0;
    ReadBytes(&value, 1);
    return value;
}

std::uint32_t AssetBundle::ReadU32() {
    std::uint8_t bytes[4];
    ReadBytes(bytes, sizeof bytes);
    return FromBigEndian<std::uint32_t>(bytes);
}

std::uint64_t AssetBundle::ReadU64() {
    std::uint8_t bytes[8];
    ReadBytes(bytes, sizeof bytes);
    return FromBigEndian<std::uint64_t>(bytes);
}

void AssetBundle::Seek(std::uint64_t absolute) {
    if (readMode == ReadMode::FileStream && !SeekStream(stream, absolute, SEEK_SET))
        Fail("file read error");
    position = absolute;
}

// Callers make sure position + n cannot overflow (n never exceeds limit - position).
void AssetBundle::Skip(std::uint64_t n) {
    if (readMode == ReadMode::FileStream && !SeekStream(stream, n, SEEK_CUR))
        Fail("file read error");
    position += n;
}

void AssetBundle::Load() {
    blobOffset = 0;
    blobSize = 0;
    chunks.clear();
    ClearFiles();

    if (ReadU32() != kBundleMagic) Fail("bad format");
    if (ReadU32() != 0) Fail("unsupported version");
    const std::uint32_t chunksOffset = ReadU32();
    if (ReadU32() != 0) Fail("invalid flags");

    Seek(chunksOffset);
    while (position < limit) {
        const std::uint32_t tag = ReadU32();
        const std::uint64_t size = ReadU64();
        const std::uint64_t dataOffset = position;  // <= limit: the reads above succeeded
        if (size > limit - dataOffset) Fail("bad chunk");
        chunks.try_emplace(tag, BundleChunk{tag, dataOffset, size});
        Skip(size);
    }

    const auto blob = chunks.find(kBundleTagBlob);
    if (blob == chunks.end()) Fail("missing blob chunk");
    blobOffset = blob->second.offset;
    blobSize = blob->second.size;

    const auto fdir = chunks.find(kBundleTagFdir);
    if (fdir == chunks.end()) Fail("missing fdir chunk");
    ReadDirectory(fdir->second.offset, fdir->second.size);
}

void AssetBundle::ReadDirectory(std::uint64_t offset, std::uint64_t size) {
    Seek(offset);
    limit = offset + size;  // the chunk scan checked that this does not pass the old limit

    const std::uint32_t count = ReadU32();
    // Every entry takes at least its fixed part of the chunk: a hostile count reserves no more
    // than the chunk could hold, and never more than a large game's worth at once.
    files.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(
        {count, (limit - position) / kBundleEntryFixedSize, std::uint64_t{1} << 20})));
    bool ordered = true;
    // The table is sorted and its names unique whenever Load returns or throws: a failed Load
    // keeps the entries read before the failure, and lookups in them must still work.
    try {
        ReadEntries(count, ordered);
    } catch (...) {
        SortFiles(files, ordered);
        throw;
    }
    SortFiles(files, ordered);
}

// Appends the directory's entries in file order. Packed bundles list names in ascending order;
// while they do, `ordered` stays true and a repeated name is dropped at once.
void AssetBundle::ReadEntries(std::uint32_t count, bool& ordered) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t reserved1 = ReadU32();
        const std::uint32_t reserved2 = ReadU32();
        if (reserved1 != 0 || reserved2 != 0) Fail("bad file entry");
        const std::uint64_t fileOffset = ReadU64();
        const std::uint64_t fileSize = ReadU64();
        const std::uint64_t extra = ReadU64();
        if (fileOffset > blobSize || fileSize > blobSize - fileOffset) Fail("bad file entry");
        if (ReadU8() != 0) Fail("bad file compression");

        const std::uint32_t nameLength = ReadU32();
        Require(nameLength);  // before allocating: a hostile length must not size the store
        char* const slot = NameSlot(nameLength);
        ReadBytes(slot, nameLength);
        const std::string_view name(slot, nameLength);

        if (ordered && !files.empty() && !(files.back().first < name)) {
            if (files.back().first == name) continue;  // the first entry of a name wins
            ordered = false;
        }
        files.emplace_back(name, BundleFileEntry{name, 0, fileOffset, fileSize, extra});
    }
}

// Room for a name of `size` bytes in the name store: in the last block when it fits, else in a
// new block (of its own for a name longer than a block).
char* AssetBundle::NameSlot(std::size_t size) {
    if (nameBlocks_.empty() || size > lastBlockSize_ - lastBlockUsed_) {
        const std::size_t blockSize = std::max(size, kNameBlockSize);
        nameBlocks_.push_back(std::make_unique<char[]>(blockSize));
        lastBlockSize_ = blockSize;
        lastBlockUsed_ = 0;
    }
    char* const slot = nameBlocks_.back().get() + lastBlockUsed_;
    lastBlockUsed_ += size;
    return slot;
}

void AssetBundle::ClearFiles() {
    files.clear();
    nameBlocks_.clear();
    lastBlockSize_ = 0;
    lastBlockUsed_ = 0;
}

const BundleFileEntry* AssetBundle::FindFile(std::string_view name) const {
    const auto it = std::lower_bound(
        files.begin(), files.end(), name,
        [](const FileTable::value_type& file, std::string_view wanted) {
            return file.first < wanted;
        });
    return it == files.end() || it->first != name ? nullptr : &it->second;
}

const std::uint8_t* AssetBundle::DataPointer(std::uint64_t offset) const {
    if (readMode != ReadMode::Memory) Fail("wrong read mode");
    if (offset > blobSize) throw std::range_error("bundle read error");
    return base + blobOffset + offset;
}

void AssetBundle::Clear() {
    chunks.clear();
    ClearFiles();
}
