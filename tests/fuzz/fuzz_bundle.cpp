// Loads arbitrary bytes as an asset bundle from memory, then reads every byte of every file the
// directory gives, so that ASan reports any address outside the input. The same bytes are also
// loaded through a file stream: both read modes must agree on the outcome and on the files found.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "bundle/asset_bundle.h"

namespace {

std::string LoadOutcome(AssetBundle& bundle) {
    try {
        bundle.Load();
        return "";
    } catch (const std::exception& e) {
        return e.what();
    }
}

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    AssetBundle memory;
    memory.readMode = ReadMode::Memory;
    memory.base = data;
    memory.limit = size;
    const std::string memoryOutcome = LoadOutcome(memory);

    Check(memory.blobOffset + memory.blobSize <= size);
    std::uint32_t sum = 0;
    for (const auto& [name, entry] : memory.files) {
        Check(memory.FindFile(name) == &entry && entry.name == name && entry.compression == 0);
        Check(entry.offset <= memory.blobSize && entry.size <= memory.blobSize - entry.offset);
        const std::uint8_t* bytes = memory.DataPointer(entry.offset);
        for (std::uint64_t i = 0; i < entry.size; ++i) sum += bytes[i];
        Check(memory.DataPointer(entry.offset + entry.size) == bytes + entry.size);
    }
    volatile std::uint32_t sink = sum;
    (void)sink;

    // A memory file behaves as a file on disk does (seeking past its end succeeds), which
    // fmemopen does not.
    const int fd = memfd_create("bundle", 0);
    if (fd < 0) return 0;
    std::FILE* file = fdopen(fd, "w+b");
    if (file == nullptr) {
        close(fd);
        return 0;
    }
    if (std::fwrite(data, 1, size, file) != size || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return 0;
    }
    AssetBundle stream;
    stream.readMode = ReadMode::FileStream;
    stream.stream = file;
    stream.limit = size;
    const std::string streamOutcome = LoadOutcome(stream);
    std::fclose(file);
    Check(streamOutcome == memoryOutcome);
    Check(stream.files.size() == memory.files.size() && stream.blobOffset == memory.blobOffset &&
          stream.blobSize == memory.blobSize);
    for (const auto& [name, entry] : stream.files) {
        const BundleFileEntry* same = memory.FindFile(name);
        Check(same != nullptr && same->offset == entry.offset && same->size == entry.size &&
              same->extra == entry.extra);
    }
    return 0;
}
