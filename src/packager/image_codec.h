// PNG decoding, scaling and encoding for the packager's icons, with the stb libraries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // rows top-down, 4 bytes a pixel, not premultiplied
};

// Pictures larger than this on either side are refused rather than decoded.
inline constexpr int kLargestIconSource = 4096;

// The header (IHDR chunk) of a PNG file, as declared.
struct PngHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bitDepth = 0;
    int colourType = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
};

// The header of the PNG file in `bytes`; false when they do not start with a PNG signature and
// a whole IHDR chunk.
bool ReadPngHeader(const std::string& bytes, PngHeader& header);

// The PNG in `bytes`; false with `problem` set when it cannot be decoded.
bool DecodePng(const std::string& bytes, RgbaImage& image, std::string& problem);

// `image` scaled to fit a `size` x `size` square (the aspect kept, centred, the rest
// transparent), filtered in linear light with alpha weighting.
RgbaImage ScaleToSquare(const RgbaImage& image, int size);

// The image as a PNG file.
std::string EncodePng(const RgbaImage& image);
