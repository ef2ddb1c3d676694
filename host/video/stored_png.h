// stored_png.h -- PNG pictures without a compression library: the image data goes into stored (uncompressed) deflate blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gloamer {

// A whole PNG file of a width x height RGB picture, top row first: 8-bit truecolour, no filter, no compression.
std::vector<uint8_t> encodeStoredPng(const uint8_t* rgb, int width, int height);

uint32_t crc32Of(const uint8_t* bytes, size_t count, uint32_t crc = 0);
uint32_t adler32Of(const uint8_t* bytes, size_t count, uint32_t adler = 1);

} // namespace gloamer
