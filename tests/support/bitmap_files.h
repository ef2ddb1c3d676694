// bitmap_files.h -- crafted bitmap files for tests that feed the bitmap reader real files.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace testbmp {

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

using Bytes = std::vector<uint8_t>;

// Byte offsets of the header fields the tests change.
constexpr size_t kOffBits = 10, kInfoSize = 14, kWidth = 18, kHeight = 22, kBitCount = 28, kCompression = 30,
                 kClrUsed = 46, kClrImportant = 50, kPixelArray = 54;
// Row fill that must never reach an Image.
constexpr uint8_t kFill = 0xEE;

inline void put16(Bytes& bytes, size_t at, uint32_t value)
{
    bytes[at] = (uint8_t)value;
    bytes[at + 1] = (uint8_t)(value >> 8);
}

inline void put32(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + (size_t)i] = (uint8_t)(value >> (8 * i));
}

// A bitmap file of the given pixels (top row first), stored bottom row first with rows padded to 4 bytes,
// 24 bits per pixel as B, G, R, or 32 as B, G, R, 255.
inline Bytes bitmap(int width, int height, const std::vector<Rgb>& topDown, int bitsPerPixel = 24)
{
    size_t pixelBytes = (size_t)bitsPerPixel / 8;
    size_t rowBytes = ((size_t)width * pixelBytes + 3) / 4 * 4;
    Bytes bytes(kPixelArray + rowBytes * (size_t)height, kFill);
    std::fill(bytes.begin(), bytes.begin() + kPixelArray, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(bytes, 2, (uint32_t)bytes.size());
    put32(bytes, kOffBits, kPixelArray);
    put32(bytes, kInfoSize, 40);
    put32(bytes, kWidth, (uint32_t)width);
    put32(bytes, kHeight, (uint32_t)height);
    put16(bytes, 26, 1);
    put16(bytes, kBitCount, (uint32_t)bitsPerPixel);
    put32(bytes, 34, (uint32_t)(rowBytes * (size_t)height));
    for (int row = 0; row < height; ++row) {
        uint8_t* stored = bytes.data() + kPixelArray + rowBytes * (size_t)(height - 1 - row);
        for (int column = 0; column < width; ++column) {
            const Rgb& pixel = topDown[(size_t)row * (size_t)width + (size_t)column];
            stored[0] = pixel.b;
            stored[1] = pixel.g;
            stored[2] = pixel.r;
            if (bitsPerPixel == 32)
                stored[3] = 255;
            stored += pixelBytes;
        }
    }
    return bytes;
}

// A picture whose every pixel differs, so that misplaced rows and columns show.
inline std::vector<Rgb> gradient(int width, int height)
{
    std::vector<Rgb> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back({(uint8_t)(x * 7 + 30), (uint8_t)(y * 11 + 40), (uint8_t)(x + y)});
    return pixels;
}

inline void writeFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
}

} // namespace testbmp
