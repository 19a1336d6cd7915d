// Reader of the asset bundle: a 16-byte header followed by tagged chunks, of which "fdir" (the
// file directory) and "blob" (the bytes of every file, back to back) carry the content.
// Integers in the file are unsigned and big-endian.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class ReadMode : std::uint32_t { Unset = 0, Memory = 1, FileStream = 2 };

inline constexpr std::uint32_t kBundleMagic = 0x77376162;    // "w7ab"
inline constexpr std::uint32_t kBundleTagBlob = 0x626C6F62;  // "blob"
inline constexpr std::uint32_t kBundleTagFdir = 0x66646972;  // "fdir"
inline constexpr std::uint64_t kBundleHeaderSize = 16;
inline constexpr std::uint64_t kBundleChunkHeaderSize = 12;
inline constexpr std::uint64_t kBundleEntryFixedSize = 37;  // an entry without its name bytes

struct BundleChunk {
    std::uint32_t tag;
    std::uint64_t offset;  // file offset of the chunk's first data byte
    std::uint64_t size;    // number of data bytes
};

struct BundleFileEntry {
    std::string_view name;  // held by the bundle that read it, until its next Load or Clear
    std::uint32_t compression;  // always 0 once accepted
    std::uint64_t offset;       // counted from the first byte of the blob data
    std::uint64_t size;
    std::uint64_t extra;  // carried, never interpreted
};

// The owner attaches a source field by field before Load:
//   Memory:     readMode = Memory, base = first byte of the view, position = 0,
//               limit = the true size of the view in bytes.
//   FileStream: readMode = FileStream, stream = a stream at the start of the file,
//               position = 0, limit = the file's size.
// The reader owns neither the view nor the stream.
//
// Load throws std::range_error("bundle read error") when a read would pass `limit`, and
// std::runtime_error with a fixed message for every other failure. A failed Load keeps whatever
// it had added so far; every entry in `files` always satisfies offset + size <= blobSize, and
// blobOffset + blobSize never exceeds the limit the bundle was loaded with. Load leaves
// `position` and `limit` at the end of the directory, so loading again needs the source to be
// attached again.
class AssetBundle {
  public:
    std::map<std::uint32_t, BundleChunk> chunks;
    // The directory by name, in unsigned byte-wise order of the names, each name once: a sorted
    // array of views into the bundle's own copy of the names rather than a tree of strings, so
    // that a bundle of many files loads without an allocation per file. Looked up by binary
    // search (FindFile).
    std::vector<std::pair<std::string_view, BundleFileEntry>> files;
    std::uint64_t blobOffset = 0, blobSize = 0;
    ReadMode readMode = ReadMode::Unset;
    std::uint64_t position = 0, limit = 0;
    std::FILE* stream = nullptr;
    const std::uint8_t* base = nullptr;

    void Load();
    // The entry whose name equals `name` byte for byte, or nullptr.
    const BundleFileEntry* FindFile(std::string_view name) const;
    // base + blobOffset + offset. Memory mode only ("wrong read mode"); an offset past the end
    // of the blob data is refused with std::range_error("bundle read error").
    const std::uint8_t* DataPointer(std::uint64_t offset) const;
    // Empties `chunks` and `files` (and the names the entries pointed to); every other field stays.
    void Clear();

    std::uint8_t ReadU8();
    std::uint32_t ReadU32();
    std::uint64_t ReadU64();
    void ReadBytes(void* destination, std::uint64_t n);

  private:
    void Require(std::uint64_t n) const;
    void Seek(std::uint64_t absolute);
    void Skip(std::uint64_t n);
    void ReadDirectory(std::uint64_t offset, std::uint64_t size);
    void ReadEntries(std::uint32_t count, bool& ordered);
    char* NameSlot(std::size_t size);
    void ClearFiles();

    // The names `files` points to, back to back in blocks that never move once allocated. A
    // bundle moved from has no blocks, and so starts a new one for its next name.
    std::vector<std::unique_ptr<char[]>> nameBlocks_;
    std::size_t lastBlockSize_ = 0, lastBlockUsed_ = 0;
};
