// Finds a one-file payload in arbitrary bytes taken as an executable: every read the finder asks
// for must lie inside the input, and what it reports found must lie inside it too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "bundle/one_file.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    OneFileLayout layout;
    const OneFilePayload found = FindOneFilePayload(
        size,
        [&](std::uint64_t offset, void* buffer, std::size_t count) {
            Check(offset <= size && count <= size - offset);
            if (count > 0) std::memcpy(buffer, data + offset, count);
            return true;
        },
        layout);
    if (found == OneFilePayload::Found || found == OneFilePayload::BundleDamaged) {
        Check(layout.settingsSize > 0 && layout.settingsOffset <= size &&
              layout.settingsSize <= size - layout.settingsOffset);
    }
    if (found == OneFilePayload::Found && layout.bundleSize > 0) {
        Check(layout.bundleOffset % kOneFileAlignment == 0 && layout.bundleOffset <= size &&
              layout.bundleSize <= size - layout.bundleOffset);
    }
    return 0;
}
