// The payload of a one-file executable: the host's image, then, at the first 64 KiB boundary
// after the image's last section, a header, the settings text (package.json's bytes) and, at the
// next 64 KiB boundary, the asset bundle, which the host maps from its own file there. A
// certificate table added by signing afterwards goes after all of it, at the end of the file, and
// changes nothing of this. All integers big-endian, as in the bundle.
//
// Header (64 bytes): "w7onefil", version 0 (u32), flags (u32: 1 = carries a bundle), the settings'
// offset and size, the bundle's offset and size (u64 each, offsets from the header's start;
// the bundle's is a multiple of 64 KiB), 16 bytes of zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

inline constexpr std::uint64_t kOneFileAlignment = 64 * 1024;
inline constexpr std::size_t kOneFileHeaderSize = 64;
inline constexpr std::string_view kOneFileMagic = "w7onefil";
// Larger settings texts are refused by the packer and taken for damage by the host.
inline constexpr std::uint64_t kOneFileMaxSettings = 16 * 1024 * 1024;

// Where the parts lie, as offsets in the whole file.
struct OneFileLayout {
    std::uint64_t payloadOffset = 0;
    std::uint64_t settingsOffset = 0;
    std::uint64_t settingsSize = 0;
    std::uint64_t bundleOffset = 0;
    std::uint64_t bundleSize = 0;  // 0: no bundle
};

enum class OneFilePayload {
    None,           // a plain host: no payload header where one would be
    Found,          // settings, and the bundle when bundleSize > 0, lie inside the file
    BundleDamaged,  // the settings are sound, the bundle's range is not
    Damaged,        // a payload header whose settings cannot be had (cut short or damaged)
};

// The end of the image's section data, read from its PE headers (the bytes at the start of the
// file); 0 when they are not a PE image's.
std::uint64_t ExecutableImageEnd(std::string_view headers);
// Where a payload starts after an image that ends at `imageEnd`.
std::uint64_t OneFilePayloadOffset(std::uint64_t imageEnd);

// Reads `count` bytes at `offset` of the file into `buffer`; false when they cannot all be had.
using OneFileReader = std::function<bool(std::uint64_t offset, void* buffer, std::size_t count)>;
// Finds the payload of a file of `fileSize` bytes; reads nothing outside the file.
OneFilePayload FindOneFilePayload(std::uint64_t fileSize, const OneFileReader& read,
                                  OneFileLayout& layout);

// The bytes that follow an image of `imageSize` bytes in a one-file executable (padding, header,
// settings, padding), to be followed by the bundle's `bundleSize` bytes; `layout` says where the
// parts land.
std::string OneFilePayloadPrefix(std::uint64_t imageSize, std::string_view imageHeaders,
                                 std::string_view settings, std::uint64_t bundleSize,
                                 OneFileLayout& layout);
