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

// The PNG in `bytes`; false with `problem` set when it cannot be decoded.
bool DecodePng(const std::string& bytes, RgbaImage& image, std::string& problem);

// `image` scaled to fit a `size` x `size` square (the aspect kept, centred, the rest
// transparent), filtered in linear light with alpha weighting.
RgbaImage ScaleToSquare(const RgbaImage& image, int size);

// The image as a PNG file.
std::string EncodePng(const RgbaImage& image);
