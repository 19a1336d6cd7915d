#include "bundle/one_file.h"

#include <algorithm>
#include <stdexcept>

namespace {

std::uint64_t LittleEndian(std::string_view bytes, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::uint64_t BigEndian(const unsigned char* bytes, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value = (value << 8) | bytes[i];
    return value;
}

void PutBigEndian(std::string& out, std::uint64_t value, std::size_t width) {
    for (std::size_t i = width; i-- > 0;) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Headers beyond this are not looked at: a PE image's section table ends well before it.
constexpr std::size_t kHeadersLimit = 64 * 1024;

}  // namespace

std::uint64_t ExecutableImageEnd(std::string_view headers) {
    if (headers.size() < 0x40 || headers[0] != 'M' || headers[1] != 'Z') return 0;
    const std::uint64_t pe = LittleEndian(headers, 0x3C, 4);
    if (pe > headers.size() || headers.size() - pe < 24 || headers.substr(pe, 4) != std::string_view("PE\0\0", 4))
        return 0;
    const std::uint64_t sections = LittleEndian(headers, pe + 6, 2);
    const std::uint64_t optionalSize = LittleEndian(headers, pe + 20, 2);
    const std::uint64_t table = pe + 24 + optionalSize;
    if (sections == 0 || table > headers.size() || (headers.size() - table) / 40 < sections) return 0;
    std::uint64_t end = 0;
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::uint64_t entry = table + 40 * i;
        const std::uint64_t rawSize = LittleEndian(headers, entry + 16, 4);
        const std::uint64_t rawPointer = LittleEndian(headers, entry + 20, 4);
        if (rawSize != 0) end = std::max(end, rawPointer + rawSize);  // both < 2^32: no overflow
    }
    return end;
}

std::uint64_t OneFilePayloadOffset(std::uint64_t imageEnd) {
    return (imageEnd + kOneFileAlignment - 1) / kOneFileAlignment * kOneFileAlignment;
}

OneFilePayload FindOneFilePayload(std::uint64_t fileSize, const OneFileReader& read,
                                  OneFileLayout& layout) {
    layout = OneFileLayout{};
    std::string headers(static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kHeadersLimit)), '\0');
    if (!read(0, headers.data(), headers.size())) return OneFilePayload::None;
    const std::uint64_t imageEnd = ExecutableImageEnd(headers);
    if (imageEnd == 0) return OneFilePayload::None;
    const std::uint64_t payload = OneFilePayloadOffset(imageEnd);
    if (payload > fileSize || fileSize - payload < kOneFileHeaderSize) return OneFilePayload::None;
    unsigned char header[kOneFileHeaderSize];
    if (!read(payload, header, sizeof header)) return OneFilePayload::None;
    if (std::string_view(reinterpret_cast<const char*>(header), kOneFileMagic.size()) != kOneFileMagic)
        return OneFilePayload::None;

    const std::uint64_t version = BigEndian(header + 8, 4);
    const std::uint64_t flags = BigEndian(header + 12, 4);
    const std::uint64_t settingsOffset = BigEndian(header + 16, 8);
    const std::uint64_t settingsSize = BigEndian(header + 24, 8);
    const std::uint64_t bundleOffset = BigEndian(header + 32, 8);
    const std::uint64_t bundleSize = BigEndian(header + 40, 8);
    const std::uint64_t room = fileSize - payload;  // >= the header's size
    if (version != 0 || (flags & ~std::uint64_t{1}) != 0 || settingsOffset != kOneFileHeaderSize ||
        settingsSize == 0 || settingsSize > kOneFileMaxSettings || settingsSize > room - settingsOffset)
        return OneFilePayload::Damaged;
    layout.payloadOffset = payload;
    layout.settingsOffset = payload + settingsOffset;
    layout.settingsSize = settingsSize;
    if ((flags & 1) == 0) return bundleOffset == 0 && bundleSize == 0 ? OneFilePayload::Found
                                                                      : OneFilePayload::BundleDamaged;
    if (bundleSize == 0 || bundleOffset % kOneFileAlignment != 0 ||
        bundleOffset < settingsOffset + settingsSize || bundleOffset > room ||
        bundleSize > room - bundleOffset)
        return OneFilePayload::BundleDamaged;
    layout.bundleOffset = payload + bundleOffset;
    layout.bundleSize = bundleSize;
    return OneFilePayload::Found;
}

std::string OneFilePayloadPrefix(std::uint64_t imageSize, std::string_view imageHeaders,
                                 std::string_view settings, std::uint64_t bundleSize,
                                 OneFileLayout& layout) {
    const std::uint64_t imageEnd = ExecutableImageEnd(imageHeaders);
    if (imageEnd == 0 || imageEnd > imageSize)
        throw std::runtime_error("the host is not a Windows executable");
    if (settings.empty() || settings.size() > kOneFileMaxSettings)
        throw std::runtime_error("the settings text must hold 1 byte to 16 MiB");
    // Whatever the host carries after its sections (nothing, for ours) stays where it was.
    layout = OneFileLayout{};
    layout.payloadOffset = OneFilePayloadOffset(imageSize);
    layout.settingsOffset = layout.payloadOffset + kOneFileHeaderSize;
    layout.settingsSize = settings.size();
    if (bundleSize > 0) {
        layout.bundleOffset = OneFilePayloadOffset(layout.settingsOffset + settings.size());
        layout.bundleSize = bundleSize;
    }
    std::string out(static_cast<std::size_t>(layout.payloadOffset - imageSize), '\0');
    out += kOneFileMagic;
    PutBigEndian(out, 0, 4);
    PutBigEndian(out, bundleSize > 0 ? 1 : 0, 4);
    PutBigEndian(out, kOneFileHeaderSize, 8);
    PutBigEndian(out, settings.size(), 8);
    PutBigEndian(out, bundleSize > 0 ? layout.bundleOffset - layout.payloadOffset : 0, 8);
    PutBigEndian(out, bundleSize, 8);
    out.append(16, '\0');
    out += settings;
    if (bundleSize > 0) out.append(static_cast<std::size_t>(layout.bundleOffset - layout.settingsOffset - settings.size()), '\0');
    return out;
}
