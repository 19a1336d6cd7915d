#include "packager/image_codec.h"

#include <algorithm>
#include <cstdlib>

// The stb libraries as Debian ships them (libstb-dev), compiled here with only what the icons
// need: PNG in, memory only, and a size limit checked before anything is decoded.
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_MAX_DIMENSIONS 4096
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize.h>
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

static_assert(kLargestIconSource == STBI_MAX_DIMENSIONS);

namespace {

std::uint32_t Big32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int k = 0; k < 4; ++k) value = (value << 8) | static_cast<std::uint8_t>(bytes[at + k]);
    return value;
}

// The PNG without its empty IDAT chunks, which carry no data. stb_image copies an IDAT chunk's
// bytes to its buffer of image data before it has allocated one, so an empty first IDAT chunk
// gives memcpy a null pointer (undefined behaviour, even for no bytes). A file whose chunks do
// not add up is passed on from there as it is, for the decoder to refuse.
std::string WithoutEmptyImageData(const std::string& bytes) {
    if (bytes.size() < 8) return bytes;
    std::string out = bytes.substr(0, 8);
    std::size_t at = 8;
    while (bytes.size() - at >= 12) {
        const std::uint32_t length = Big32(bytes, at);
        if (length > bytes.size() - at - 12) break;
        if (length != 0 || bytes.compare(at + 4, 4, "IDAT") != 0)
            out.append(bytes, at, 12 + length);
        at += 12 + std::size_t{length};
    }
    return out.append(bytes, at, std::string::npos);
}

}  // namespace

bool ReadPngHeader(const std::string& bytes, PngHeader& header) {
    // The signature, then the first chunk: length, "IHDR", width, height, depth, colour type...
    if (bytes.size() < 29 || bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") != 0 ||
        bytes.compare(12, 4, "IHDR") != 0)
        return false;
    header.width = Big32(bytes, 16);
    header.height = Big32(bytes, 20);
    header.bitDepth = static_cast<std::uint8_t>(bytes[24]);
    header.colourType = static_cast<std::uint8_t>(bytes[25]);
    return true;
}

bool DecodePng(const std::string& bytes, RgbaImage& image, std::string& problem) {
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
        problem = "too large";
        return false;
    }
    // The size in the header, so that a picture too large is named as such rather than as
    // undecodable.
    PngHeader header;
    if (ReadPngHeader(bytes, header) &&
        (header.width > kLargestIconSource || header.height > kLargestIconSource)) {
        problem = std::to_string(header.width) + "x" + std::to_string(header.height) +
                  " pixels; at most " + std::to_string(kLargestIconSource) + " a side";
        return false;
    }
    const std::string png = WithoutEmptyImageData(bytes);
    const auto* data = reinterpret_cast<const stbi_uc*>(png.data());
    const int length = static_cast<int>(png.size());
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, length, &width, &height, &channels)) {
        problem = stbi_failure_reason() ? stbi_failure_reason() : "not a PNG";
        return false;
    }
    stbi_uc* pixels = stbi_load_from_memory(data, length, &width, &height, &channels, 4);
    if (pixels == nullptr) {
        problem = stbi_failure_reason() ? stbi_failure_reason() : "cannot be decoded";
        return false;
    }
    image.width = width;
    image.height = height;
    image.pixels.assign(pixels, pixels + std::size_t{4} * width * height);
    stbi_image_free(pixels);
    return true;
}

RgbaImage ScaleToSquare(const RgbaImage& image, int size) {
    const int longest = std::max(image.width, image.height);
    const int width = std::max(1, (image.width * size + longest / 2) / longest);
    const int height = std::max(1, (image.height * size + longest / 2) / longest);
    std::vector<std::uint8_t> scaled(std::size_t{4} * width * height);
    stbir_resize_uint8_srgb(image.pixels.data(), image.width, image.height, 0, scaled.data(), width,
                            height, 0, 4, 3, 0);
    RgbaImage square;
    square.width = size;
    square.height = size;
    square.pixels.assign(std::size_t{4} * size * size, 0);
    const int left = (size - width) / 2, top = (size - height) / 2;
    for (int y = 0; y < height; ++y) {
        std::copy_n(scaled.begin() + std::ptrdiff_t{4} * width * y, 4 * width,
                    square.pixels.begin() + std::ptrdiff_t{4} * (size * (top + y) + left));
    }
    return square;
}

std::string EncodePng(const RgbaImage& image) {
    int length = 0;
    unsigned char* png = stbi_write_png_to_mem(image.pixels.data(), 4 * image.width, image.width,
                                               image.height, 4, &length);
    if (png == nullptr) return {};
    std::string bytes(reinterpret_cast<const char*>(png), static_cast<std::size_t>(length));
    STBIW_FREE(png);
    return bytes;
}
