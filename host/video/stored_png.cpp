// stored_png.cpp -- the PNG chunks, the zlib stream of stored blocks, and the CRC-32 and Adler-32 they carry.
#include "host/video/stored_png.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace gloamer {

namespace {

void putBigEndian(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back((uint8_t)(value >> shift));
}

void putChunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data)
{
    putBigEndian(out, (uint32_t)data.size());
    size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian(out, crc32Of(out.data() + typeAt, 4 + data.size()));
}

} // namespace

uint32_t crc32Of(const uint8_t* bytes, size_t count, uint32_t crc)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> made{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            made[n] = c;
        }
        return made;
    }();
    crc = ~crc;
    for (size_t i = 0; i < count; ++i)
        crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t adler32Of(const uint8_t* bytes, size_t count, uint32_t adler)
{
    uint32_t a = adler & 0xFFFF, b = adler >> 16;
    for (size_t i = 0; i < count; ++i) {
        a = (a + bytes[i]) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

std::vector<uint8_t> encodeStoredPng(const uint8_t* rgb, int width, int height)
{
    const size_t rowBytes = (size_t)width * 3;
    // Each row is preceded by its filter type, 0 (none).
    std::vector<uint8_t> raw((rowBytes + 1) * (size_t)height);
    for (int y = 0; y < height; ++y) {
        raw[(rowBytes + 1) * (size_t)y] = 0;
        memcpy(raw.data() + (rowBytes + 1) * (size_t)y + 1, rgb + rowBytes * (size_t)y, rowBytes);
    }

    std::vector<uint8_t> stream = {0x78, 0x01}; // deflate, 32 KiB window, no dictionary, fastest
    size_t done = 0;
    do {
        size_t length = std::min<size_t>(65535, raw.size() - done);
        bool last = done + length == raw.size();
        stream.push_back(last ? 1 : 0); // BFINAL, BTYPE 00: stored
        stream.push_back((uint8_t)length);
        stream.push_back((uint8_t)(length >> 8));
        stream.push_back((uint8_t)~length);
        stream.push_back((uint8_t)(~length >> 8));
        stream.insert(stream.end(), raw.begin() + (std::ptrdiff_t)done, raw.begin() + (std::ptrdiff_t)(done + length));
        done += length;
    } while (done < raw.size());
    putBigEndian(stream, adler32Of(raw.data(), raw.size()));

    std::vector<uint8_t> header;
    putBigEndian(header, (uint32_t)width);
    putBigEndian(header, (uint32_t)height);
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8 bits, truecolour, deflate, adaptive filtering, no interlace

    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> file(signature, signature + 8);
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", stream);
    putChunk(file, "IEND", {});
    return file;
}

} // namespace gloamer
