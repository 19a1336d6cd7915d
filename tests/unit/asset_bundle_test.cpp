#include "bundle/asset_bundle.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "bundle/bundle_writer.h"
#include "bundle/one_file.h"

namespace {

constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();

// ---- building bundles byte by byte ----

std::string Header(std::uint32_t chunksOffset = 16, std::uint32_t magic = kBundleMagic,
                   std::uint32_t version = 0, std::uint32_t flags = 0) {
    std::string out;
    AppendU32(out, magic);
    AppendU32(out, version);
    AppendU32(out, chunksOffset);
    AppendU32(out, flags);
    return out;
}

std::string ChunkHeader(std::uint32_t tag, std::uint64_t size) {
    std::string out;
    AppendU32(out, tag);
    AppendU64(out, size);
    return out;
}

std::string Chunk(std::uint32_t tag, const std::string& data) {
    return ChunkHeader(tag, data.size()) + data;
}

struct Entry {
    std::string name;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint8_t compression = 0;
    std::uint32_t reserved1 = 0;
    std::uint32_t reserved2 = 0;
    std::uint64_t extra = 0;
};

std::string EntryBytes(const Entry& e) {
    std::string out;
    AppendU32(out, e.reserved1);
    AppendU32(out, e.reserved2);
    AppendU64(out, e.offset);
    AppendU64(out, e.size);
    AppendU64(out, e.extra);
    out.push_back(static_cast<char>(e.compression));
    AppendU32(out, static_cast<std::uint32_t>(e.name.size()));
    return out + e.name;
}

std::string Directory(const std::vector<Entry>& entries, std::uint32_t count) {
    std::string out;
    AppendU32(out, count);
    for (const Entry& e : entries) out += EntryBytes(e);
    return out;
}

std::string Directory(const std::vector<Entry>& entries) {
    return Directory(entries, static_cast<std::uint32_t>(entries.size()));
}

// A whole bundle: header, directory, blob.
std::string Bundle(const std::vector<Entry>& entries, const std::string& blob) {
    return Header() + Chunk(kBundleTagFdir, Directory(entries)) + Chunk(kBundleTagBlob, blob);
}

// ---- loading ----

// Attaches `bytes` (an exactly sized heap copy, so that ASan sees any read past the end).
struct MemorySource {
    explicit MemorySource(const std::string& bytes) : data(bytes.begin(), bytes.end()) {
        bundle.readMode = ReadMode::Memory;
        bundle.base = data.data();
        bundle.position = 0;
        bundle.limit = data.size();
    }
    std::vector<std::uint8_t> data;
    AssetBundle bundle;
};

struct StreamSource {
    explicit StreamSource(const std::string& bytes, std::uint64_t limit) : file(std::tmpfile()) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::rewind(file);
        bundle.readMode = ReadMode::FileStream;
        bundle.stream = file;
        bundle.position = 0;
        bundle.limit = limit;
    }
    explicit StreamSource(const std::string& bytes) : StreamSource(bytes, bytes.size()) {}
    ~StreamSource() { std::fclose(file); }
    StreamSource(const StreamSource&) = delete;
    StreamSource& operator=(const StreamSource&) = delete;
    std::FILE* file;
    AssetBundle bundle;
};

// "" when `action` returns, else "range: <message>" or "runtime: <message>".
template <typename Action>
std::string Outcome(Action action) {
    try {
        action();
        return "";
    } catch (const std::range_error& e) {
        return std::string("range: ") + e.what();
    } catch (const std::runtime_error& e) {
        return std::string("runtime: ") + e.what();
    }
}

std::string LoadOutcome(AssetBundle& bundle) {
    return Outcome([&] { bundle.Load(); });
}

std::string Content(const AssetBundle& bundle, const std::string& name) {
    const BundleFileEntry* entry = bundle.FindFile(name);
    if (entry == nullptr) return "<missing>";
    const std::uint8_t* p = bundle.DataPointer(entry->offset);
    return std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(entry->size));
}

// ---- the example bundle ----

const std::vector<std::uint8_t> kExampleBundle = {
    0x77, 0x37, 0x61, 0x62, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00,
    0x00, 0x00,                                                                         // header
    0x66, 0x64, 0x69, 0x72, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x33,             // fdir, 51
    0x00, 0x00, 0x00, 0x01,                                                             // count
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                                     // reserved
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                                     // offset 0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05,                                     // size 5
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                                     // extra
    0x00,                                                                               // stored
    0x00, 0x00, 0x00, 0x0A, 'i',  'n',  'd',  'e',  'x',  '.',  'h',  't',  'm',  'l',  // name
    0x62, 0x6C, 0x6F, 0x62, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05,             // blob, 5
    'h',  'e',  'l',  'l',  'o'};

TEST(AssetBundle, ExampleBundleByteForByte) {
    ASSERT_EQ(kExampleBundle.size(), 96u);
    const std::string bytes(kExampleBundle.begin(), kExampleBundle.end());
    EXPECT_EQ(EncodeBundle({{"index.html", "hello"}}), bytes);

    MemorySource source(bytes);
    AssetBundle& b = source.bundle;
    ASSERT_EQ(LoadOutcome(b), "");
    ASSERT_EQ(b.chunks.size(), 2u);
    EXPECT_EQ(b.chunks.at(kBundleTagFdir).offset, 28u);
    EXPECT_EQ(b.chunks.at(kBundleTagFdir).size, 51u);
    EXPECT_EQ(b.chunks.at(kBundleTagBlob).offset, 91u);
    EXPECT_EQ(b.chunks.at(kBundleTagBlob).size, 5u);
    EXPECT_EQ(b.blobOffset, 91u);
    EXPECT_EQ(b.blobSize, 5u);
    EXPECT_EQ(b.limit, 79u);  // left at the end of the directory
    ASSERT_EQ(b.files.size(), 1u);
    const BundleFileEntry* entry = b.FindFile("index.html");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->name, "index.html");
    EXPECT_EQ(entry->offset, 0u);
    EXPECT_EQ(entry->size, 5u);
    EXPECT_EQ(entry->compression, 0u);
    EXPECT_EQ(entry->extra, 0u);
    EXPECT_EQ(b.DataPointer(0), source.data.data() + 91);
    EXPECT_EQ(Content(b, "index.html"), "hello");
}

TEST(AssetBundle, FreshObjectIsEmpty) {
    const AssetBundle b;
    EXPECT_TRUE(b.chunks.empty());
    EXPECT_TRUE(b.files.empty());
    EXPECT_EQ(b.blobOffset, 0u);
    EXPECT_EQ(b.blobSize, 0u);
    EXPECT_EQ(b.readMode, ReadMode::Unset);
    EXPECT_EQ(b.position, 0u);
    EXPECT_EQ(b.limit, 0u);
    EXPECT_EQ(b.stream, nullptr);
    EXPECT_EQ(b.base, nullptr);
    EXPECT_EQ(b.FindFile(""), nullptr);
}

struct Vector {
    const char* what;
    std::string bytes;
    std::string outcome;
};

std::vector<Vector> LoadVectors() {
    const std::string blob = "0123456789";
    const std::string good = Bundle({{"a", 0, 10}}, blob);
    const std::string headerAndBlob = Header() + Chunk(kBundleTagBlob, blob);
    const std::string range = "range: bundle read error";
    auto withEntry = [&](const Entry& e) { return Bundle({e}, blob); };
    auto withDirectory = [&](const std::string& directory) {
        return Header() + Chunk(kBundleTagFdir, directory) + Chunk(kBundleTagBlob, blob);
    };
    Entry reserved1{"a", 0, 1};
    reserved1.reserved1 = 1;
    Entry reserved2{"a", 0, 1};
    reserved2.reserved2 = 0x80000000u;
    Entry compressed{"a", 0, 1, 1};
    Entry compressedFF{"a", 0, 1, 0xFF};
    Entry reservedAndCompressed = compressed;
    reservedAndCompressed.reserved2 = 7;
    Entry outsideAndCompressed{"a", 11, 0, 1};
    Entry longName{"a", 0, 1};
    const std::string longNameEntry = EntryBytes(longName);

    return {
        {"empty file", "", range},
        {"15 bytes of header", Header().substr(0, 15), range},
        {"wrong magic", Header(16, 0x77376163) + good.substr(16), "runtime: bad format"},
        {"magic in little-endian order", Header(16, 0x62613777) + good.substr(16),
         "runtime: bad format"},
        {"version 1", Header(16, kBundleMagic, 1) + good.substr(16),
         "runtime: unsupported version"},
        {"wrong magic is reported before the version", Header(16, 0, 1, 1), "runtime: bad format"},
        {"flags 1", Header(16, kBundleMagic, 0, 1) + good.substr(16), "runtime: invalid flags"},
        {"header only", Header(), "runtime: missing blob chunk"},
        {"chunks offset at the end of the file", Header(16 + 12) + ChunkHeader(kBundleTagBlob, 0),
         "runtime: missing blob chunk"},
        {"chunks offset far past the end", Header(0xFFFFFFFFu) + good.substr(16),
         "runtime: missing blob chunk"},
        {"neither blob nor fdir", Header() + Chunk(0x74657374, "xyz"),
         "runtime: missing blob chunk"},
        {"fdir without blob", Header() + Chunk(kBundleTagFdir, Directory({})),
         "runtime: missing blob chunk"},
        {"blob without fdir", headerAndBlob, "runtime: missing fdir chunk"},
        {"chunk header cut to 11 bytes", good + ChunkHeader(0x74657374, 0).substr(0, 11), range},
        {"chunk one byte longer than the file", Header() + ChunkHeader(kBundleTagBlob, 11) + blob,
         "runtime: bad chunk"},
        {"chunk of the largest size", Header() + ChunkHeader(kBundleTagBlob, kMax64) + blob,
         "runtime: bad chunk"},
        {"chunk size that wraps the position",
         Header() + ChunkHeader(kBundleTagBlob, kMax64 - 27) + blob, "runtime: bad chunk"},
        {"bad chunk after a good blob and fdir", good + ChunkHeader(0x74657374, 1),
         "runtime: bad chunk"},
        {"reserved1 set", withEntry(reserved1), "runtime: bad file entry"},
        {"reserved2 set", withEntry(reserved2), "runtime: bad file entry"},
        {"offset past the blob", withEntry({"a", 11, 0}), "runtime: bad file entry"},
        {"range past the blob by one", withEntry({"a", 5, 6}), "runtime: bad file entry"},
        {"size that wraps offset + size", withEntry({"a", 1, kMax64}), "runtime: bad file entry"},
        {"largest offset", withEntry({"a", kMax64, 0}), "runtime: bad file entry"},
        {"compression 1", withEntry(compressed), "runtime: bad file compression"},
        {"compression 255", withEntry(compressedFF), "runtime: bad file compression"},
        {"reserved words are checked before compression", withEntry(reservedAndCompressed),
         "runtime: bad file entry"},
        {"range is checked before compression", withEntry(outsideAndCompressed),
         "runtime: bad file entry"},
        {"count larger than the entries", withDirectory(Directory({{"a", 0, 1}}, 2)), range},
        {"count of 2^32 - 1", withDirectory(Directory({}, 0xFFFFFFFFu)), range},
        {"directory chunk too short for the count", withDirectory(std::string("\0\0\0", 3)), range},
        {"entry cut inside its fixed part",
         withDirectory(Directory({}, 1) + longNameEntry.substr(0, 30)), range},
        // The bytes after the directory exist in the file, but the read may not leave the chunk.
        {"name running past the fdir chunk",
         withDirectory(Directory({}, 1) + longNameEntry.substr(0, 36) + "\x02"), range},
        {"name length of 2^32 - 1",
         withDirectory(Directory({}, 1) + longNameEntry.substr(0, 33) + std::string(4, '\xFF')),
         range},
        {"count 0", withDirectory(Directory({})), ""},
        {"size 0 at the end of the blob", withEntry({"a", 10, 0}), ""},
        {"whole blob", good, ""},
        {"bytes after the last entry", withDirectory(Directory({{"a", 0, 1}}) + "trailing"), ""},
        {"chunks offset beyond the header", Header(20) + "pad!" + good.substr(16), ""},
        {"unknown chunks are skipped",
         Header() + Chunk(0x74657374, "xyz") + good.substr(16) + Chunk(0, ""), ""},
    };
}

TEST(AssetBundle, LoadVectorsInBothReadModes) {
    for (const Vector& v : LoadVectors()) {
        MemorySource memory(v.bytes);
        EXPECT_EQ(LoadOutcome(memory.bundle), v.outcome) << v.what << " (memory)";
        StreamSource stream(v.bytes);
        EXPECT_EQ(LoadOutcome(stream.bundle), v.outcome) << v.what << " (stream)";
        EXPECT_EQ(stream.bundle.files.size(), memory.bundle.files.size()) << v.what;
        for (const auto& [name, entry] : memory.bundle.files) {
            EXPECT_LE(entry.offset + entry.size, memory.bundle.blobSize) << v.what;
            EXPECT_LE(memory.bundle.blobOffset + memory.bundle.blobSize, memory.data.size())
                << v.what;
        }
    }
}

TEST(AssetBundle, ReadModesAndSources) {
    const std::string good = Bundle({{"a", 0, 2}}, "xy");
    {
        AssetBundle none;  // no source at all: the bounds test comes first
        EXPECT_EQ(LoadOutcome(none), "range: bundle read error");
    }
    {
        MemorySource unset(good);
        unset.bundle.readMode = ReadMode::Unset;
        EXPECT_EQ(LoadOutcome(unset.bundle), "runtime: invalid read mode");
        unset.bundle.readMode = static_cast<ReadMode>(7);
        unset.bundle.position = 0;
        EXPECT_EQ(LoadOutcome(unset.bundle), "runtime: invalid read mode");
    }
    {
        StreamSource shortStream(good, good.size() + 20);  // the file is shorter than its limit
        EXPECT_EQ(LoadOutcome(shortStream.bundle), "runtime: file read error");
    }
    {
        StreamSource nullStream(good);
        nullStream.bundle.stream = nullptr;
        EXPECT_EQ(LoadOutcome(nullStream.bundle), "runtime: file read error");
    }
    {
        StreamSource stream(good);
        ASSERT_EQ(LoadOutcome(stream.bundle), "");
        EXPECT_NE(stream.bundle.FindFile("a"), nullptr);
        EXPECT_EQ(Outcome([&] { stream.bundle.DataPointer(0); }), "runtime: wrong read mode");
    }
}

TEST(AssetBundle, PrimitiveReadsAreBigEndianAndBounded) {
    MemorySource source(
        std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F", 15));
    AssetBundle& b = source.bundle;
    EXPECT_EQ(b.ReadU8(), 0x01u);
    EXPECT_EQ(b.ReadU32(), 0x02030405u);
    EXPECT_EQ(b.ReadU64(), 0x060708090A0B0C0Dull);
    EXPECT_EQ(b.position, 13u);
    EXPECT_THROW(b.ReadU32(), std::range_error);
    EXPECT_EQ(b.position, 13u);  // a failed read does not move
    char two[2];
    b.ReadBytes(two, 2);
    EXPECT_EQ(std::string(two, 2), "\x0E\x0F");
    b.ReadBytes(nullptr, 0);
    EXPECT_THROW(b.ReadU8(), std::range_error);
    b.position = b.limit + 5;  // a position beyond the limit never wraps into a read
    EXPECT_THROW(b.ReadBytes(two, 0), std::range_error);
    b.position = 1;
    EXPECT_THROW(b.ReadBytes(two, kMax64), std::range_error);
}

TEST(AssetBundle, FirstChunkOfATagWins) {
    const std::string firstBlob = "first";
    const std::string dir1 = Directory({{"one", 0, 5}});
    const std::string dir2 = Directory({{"two", 0, 6}});
    const std::string bytes = Header() + Chunk(kBundleTagBlob, firstBlob) +
                              Chunk(kBundleTagFdir, dir1) + Chunk(kBundleTagBlob, "second") +
                              Chunk(kBundleTagFdir, dir2);
    MemorySource source(bytes);
    ASSERT_EQ(LoadOutcome(source.bundle), "");
    EXPECT_EQ(source.bundle.blobOffset, 28u);
    EXPECT_EQ(source.bundle.blobSize, 5u);
    EXPECT_EQ(source.bundle.chunks.at(kBundleTagFdir).offset, 28u + 5 + 12);
    EXPECT_EQ(Content(source.bundle, "one"), "first");
    EXPECT_EQ(source.bundle.FindFile("two"), nullptr);
}

TEST(AssetBundle, FirstEntryOfANameWinsAndLookupIsExact) {
    const std::string bytes = Bundle({{"index.html", 0, 3, 0, 0, 0, 41},
                                      {"index.html", 3, 4, 0, 0, 0, 42},
                                      {"", 7, 2},
                                      {"Images/Logo.png", 9, 1},
                                      {"a/b.txt", 0, 0}},
                                     "abcdefghij");
    MemorySource source(bytes);
    AssetBundle& b = source.bundle;
    ASSERT_EQ(LoadOutcome(b), "");
    EXPECT_EQ(b.files.size(), 4u);
    const BundleFileEntry* index = b.FindFile("index.html");
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->offset, 0u);
    EXPECT_EQ(index->size, 3u);
    EXPECT_EQ(index->extra, 41u);
    EXPECT_EQ(Content(b, ""), "hi");
    EXPECT_EQ(Content(b, "Images/Logo.png"), "j");
    EXPECT_EQ(Content(b, "a/b.txt"), "");
    for (const char* miss :
         {"Index.html", "INDEX.HTML", "/index.html", "index.html/", "index.htm", "index.html ",
          "images/logo.png", "Images\\Logo.png", "a//b.txt", "a/./b.txt"}) {
        EXPECT_EQ(b.FindFile(miss), nullptr) << miss;
    }
    EXPECT_EQ(b.FindFile(std::string("a/b.txt\0", 8)), nullptr);
}

TEST(AssetBundle, NamesAreOrderedByUnsignedBytes) {
    std::vector<Entry> entries;
    for (const char* name : {"\xC3\xA9", "b", "ab", "a/b", "a.b", "a", "B", ""})
        entries.push_back({name, 0, 0});
    MemorySource source(Bundle(entries, ""));
    ASSERT_EQ(LoadOutcome(source.bundle), "");
    std::vector<std::string> order;
    for (const auto& file : source.bundle.files) order.emplace_back(file.first);
    EXPECT_EQ(order, (std::vector<std::string>{"", "B", "a", "a.b", "a/b", "ab", "b", "\xC3\xA9"}));
}

TEST(AssetBundle, FailureAtTheFifthEntryKeepsTheFirstFour) {
    Entry fifth{"e", 0, 1};
    fifth.reserved1 = 9;
    const std::string bytes =
        Bundle({{"a", 0, 1}, {"b", 1, 1}, {"c", 2, 1}, {"d", 3, 1}, fifth, {"f", 5, 1}}, "ABCDEF");
    MemorySource source(bytes);
    AssetBundle& b = source.bundle;
    EXPECT_EQ(LoadOutcome(b), "runtime: bad file entry");
    EXPECT_EQ(b.files.size(), 4u);
    EXPECT_EQ(b.chunks.size(), 2u);
    EXPECT_EQ(b.blobSize, 6u);
    EXPECT_EQ(Content(b, "a") + Content(b, "b") + Content(b, "c") + Content(b, "d"), "ABCD");
    EXPECT_EQ(b.FindFile("e"), nullptr);
    EXPECT_EQ(b.FindFile("f"), nullptr);

    // Entries out of order, with a name twice, before the failure: what was read is still
    // sorted, the first entry of the name kept, and every name found.
    MemorySource unordered(Bundle({{"d", 3, 1}, {"b", 1, 1}, {"d", 0, 1}, {"a", 0, 1}, fifth},
                                  "ABCDEF"));
    EXPECT_EQ(LoadOutcome(unordered.bundle), "runtime: bad file entry");
    std::string names;
    for (const auto& [name, entry] : unordered.bundle.files) names += name;
    EXPECT_EQ(names, "abd");
    EXPECT_EQ(Content(unordered.bundle, "a") + Content(unordered.bundle, "b") +
                  Content(unordered.bundle, "d"),
              "ABD");

    // Without a directory the chunks and the blob fields found so far stay as well.
    MemorySource noDirectory(Header() + Chunk(kBundleTagBlob, "xyz"));
    EXPECT_EQ(LoadOutcome(noDirectory.bundle), "runtime: missing fdir chunk");
    EXPECT_EQ(noDirectory.bundle.blobOffset, 28u);
    EXPECT_EQ(noDirectory.bundle.blobSize, 3u);
}

TEST(AssetBundle, DataPointerIsRelativeToTheBlobAndBounded) {
    // An empty unknown chunk puts the blob's data at file offset 40.
    const std::string bytes = Header() + Chunk(0x74657374, "") + Chunk(kBundleTagBlob, "0123") +
                              Chunk(kBundleTagFdir, Directory({{"x", 1, 3}}));
    MemorySource source(bytes);
    AssetBundle& b = source.bundle;
    ASSERT_EQ(LoadOutcome(b), "");
    EXPECT_EQ(b.DataPointer(0), source.data.data() + 40);
    EXPECT_EQ(b.DataPointer(4), source.data.data() + 44);  // one past the end, for an empty range
    EXPECT_EQ(Outcome([&] { b.DataPointer(5); }), "range: bundle read error");
    EXPECT_EQ(Outcome([&] { b.DataPointer(kMax64); }), "range: bundle read error");
    EXPECT_EQ(Content(b, "x"), "123");
    b.readMode = ReadMode::Unset;
    EXPECT_EQ(Outcome([&] { b.DataPointer(0); }), "runtime: wrong read mode");
}

TEST(AssetBundle, ReloadStartsFromEmptyTablesAndClearKeepsTheRest) {
    MemorySource first(Bundle({{"old", 0, 1}}, "o"));
    AssetBundle& b = first.bundle;
    ASSERT_EQ(LoadOutcome(b), "");
    const std::string second = Header() + Chunk(kBundleTagBlob, "new!") +
                               Chunk(kBundleTagFdir, Directory({{"new", 0, 4}}));
    const std::vector<std::uint8_t> secondData(second.begin(), second.end());
    b.base = secondData.data();
    b.position = 0;
    b.limit = secondData.size();
    ASSERT_EQ(LoadOutcome(b), "");
    EXPECT_EQ(b.FindFile("old"), nullptr);
    EXPECT_EQ(Content(b, "new"), "new!");

    const std::uint64_t blobOffset = b.blobOffset;
    b.Clear();
    EXPECT_TRUE(b.files.empty());
    EXPECT_TRUE(b.chunks.empty());
    EXPECT_EQ(b.blobOffset, blobOffset);
    EXPECT_EQ(b.blobSize, 4u);
    EXPECT_EQ(b.readMode, ReadMode::Memory);
    EXPECT_EQ(b.base, secondData.data());

    // A second Load without attaching the source again starts at the old position and fails.
    EXPECT_NE(LoadOutcome(b), "");
}

// A bundle just over 2 GiB in a sparse file: the directory at the start, a file whose bytes lie
// past 2 GiB, and a file that ends at the file's last byte.
TEST(AssetBundle, SparseBundleLargerThanTwoGiB) {
    const std::uint64_t total = (std::uint64_t{1} << 31) + 12345;
    const std::uint64_t farOffset = (std::uint64_t{1} << 31) + 100;  // file offset of "far.bin"
    const std::uint64_t prefixSize =
        EncodeBundlePrefix({{"head.bin", 0}, {"far.bin", 0}, {"tail.bin", 0}}).size();
    const std::string prefix = EncodeBundlePrefix({{"head.bin", farOffset - prefixSize},
                                                   {"far.bin", 1000},
                                                   {"tail.bin", total - farOffset - 1000}});
    ASSERT_EQ(prefix.size(), prefixSize);

    char path[] = "/tmp/bundle-sparse-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    unlink(path);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(total)), 0);
    const std::string far(1000, 'F');
    ASSERT_EQ(pwrite(fd, prefix.data(), prefix.size(), 0), static_cast<ssize_t>(prefix.size()));
    ASSERT_EQ(pwrite(fd, far.data(), far.size(), static_cast<off_t>(farOffset)), 1000);
    ASSERT_EQ(pwrite(fd, "END", 3, static_cast<off_t>(total - 3)), 3);

    void* view = mmap(nullptr, total, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    ASSERT_NE(view, MAP_FAILED);
    AssetBundle b;
    b.readMode = ReadMode::Memory;
    b.base = static_cast<const std::uint8_t*>(view);
    b.position = 0;
    b.limit = total;
    EXPECT_EQ(LoadOutcome(b), "");
    EXPECT_EQ(b.blobOffset + b.blobSize, total);
    const BundleFileEntry* entry = b.FindFile("far.bin");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(b.DataPointer(entry->offset), b.base + farOffset);
    EXPECT_EQ(Content(b, "far.bin"), far);
    const std::string tail = Content(b, "tail.bin");
    EXPECT_EQ(tail.size(), total - farOffset - 1000);
    EXPECT_EQ(tail.substr(tail.size() - 4), std::string("\0END", 4));
    munmap(view, total);
}



// ---- the payload of a one-file executable ----

// A minimal PE image of 0x400 bytes: one section whose raw data ends the file.
std::string TinyImage() {
    std::string image(0x400, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    image[0x3C] = 0x40;
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    image[0x46] = 1;                   // one section
    image[0x54] = 0;                   // no optional header
    const std::size_t section = 0x40 + 24;
    image[section + 17] = 0x02;        // SizeOfRawData 0x200
    image[section + 21] = 0x02;        // PointerToRawData 0x200
    return image;
}

TEST(OneFilePayload, LayoutsAndDamage) {
    const std::string image = TinyImage();
    const std::string settings = R"({"name":"one"})";
    const std::string bundle(3000, 'b');
    OneFileLayout written;
    const std::string whole =
        image + OneFilePayloadPrefix(image.size(), image, settings, bundle.size(), written) + bundle;
    EXPECT_EQ(written.payloadOffset, kOneFileAlignment);
    EXPECT_EQ(written.bundleOffset, 2 * kOneFileAlignment);
    EXPECT_EQ(whole.size(), written.bundleOffset + bundle.size());
    OneFileLayout remoteLayout;
    const std::string remote = image + OneFilePayloadPrefix(image.size(), image, settings, 0, remoteLayout);

    // Each vector: the file, and what the reader finds.
    const auto patched = [&](std::size_t at, std::string bytes) {
        std::string copy = whole;
        copy.replace(at, bytes.size(), bytes);
        return copy;
    };
    const std::uint64_t header = written.payloadOffset;
    struct Vector {
        const char* name;
        std::string file;
        OneFilePayload expected;
    };
    const std::vector<Vector> vectors = {
        {"intact", whole, OneFilePayload::Found},
        {"signed afterwards (certificates appended)", whole + std::string(1000, 'c'),
         OneFilePayload::Found},
        {"remote app: settings only", remote, OneFilePayload::Found},
        {"plain host", image, OneFilePayload::None},
        {"not an image", std::string(100, 'x'), OneFilePayload::None},
        {"empty", "", OneFilePayload::None},
        {"cut inside the header", whole.substr(0, header + 20), OneFilePayload::None},
        {"cut inside the settings", whole.substr(0, header + 64 + 3), OneFilePayload::Damaged},
        {"cut inside the bundle", whole.substr(0, whole.size() - 1), OneFilePayload::BundleDamaged},
        {"other magic", patched(header, "w7onefiX"), OneFilePayload::None},
        {"unknown version", patched(header + 11, "\x01"), OneFilePayload::Damaged},
        {"unknown flag", patched(header + 15, "\x03"), OneFilePayload::Damaged},
        {"settings elsewhere", patched(header + 23, "\x41"), OneFilePayload::Damaged},
        {"no settings", patched(header + 24, std::string(8, '\0')), OneFilePayload::Damaged},
        {"settings of 2^64-1 bytes", patched(header + 24, std::string(8, '\xFF')),
         OneFilePayload::Damaged},
        {"bundle not aligned", patched(header + 39, "\x10"), OneFilePayload::BundleDamaged},
        {"bundle offset 2^64-64Ki", patched(header + 32, std::string("\xFF\xFF\xFF\xFF\xFF\xFF\x00\x00", 8)),
         OneFilePayload::BundleDamaged},
        {"bundle of 2^64-1 bytes", patched(header + 40, std::string(8, '\xFF')),
         OneFilePayload::BundleDamaged},
        {"bundle flag without a bundle", patched(header + 40, std::string(8, '\0')),
         OneFilePayload::BundleDamaged},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.name);
        OneFileLayout layout;
        const OneFilePayload found = FindOneFilePayload(
            v.file.size(),
            [&](std::uint64_t offset, void* buffer, std::size_t count) {
                // The reader never asks for bytes outside the file.
                EXPECT_LE(offset, v.file.size());
                EXPECT_LE(count, v.file.size() - offset);
                if (offset > v.file.size() || count > v.file.size() - offset) return false;
                v.file.copy(static_cast<char*>(buffer), count, offset);
                return true;
            },
            layout);
        EXPECT_EQ(found, v.expected);
        if (found == OneFilePayload::Found || found == OneFilePayload::BundleDamaged) {
            EXPECT_EQ(v.file.substr(layout.settingsOffset, layout.settingsSize), settings);
        }
        if (found == OneFilePayload::Found && layout.bundleSize > 0) {
            EXPECT_EQ(layout.bundleOffset % kOneFileAlignment, 0u);
            EXPECT_EQ(v.file.substr(layout.bundleOffset, layout.bundleSize), bundle);
        }
    }
    EXPECT_EQ(remoteLayout.bundleSize, 0u);
    // The packer refuses what the host could not read.
    OneFileLayout unused;
    EXPECT_THROW(OneFilePayloadPrefix(100, std::string(100, 'x'), settings, 0, unused),
                 std::runtime_error);
    EXPECT_THROW(OneFilePayloadPrefix(image.size(), image, "", 0, unused), std::runtime_error);
}

}  // namespace
