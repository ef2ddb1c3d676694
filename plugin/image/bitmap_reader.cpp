// bitmap_reader.cpp -- opens, reads, checks and decodes the one bitmap layout the plug-in accepts.
#include "plugin/image/bitmap_reader.h"

#include <stdlib.h>
#include <string.h>

#include "platform/io.h"
#include "plugin/state/state.h"

// File header (14 bytes) and info header (40 bytes); the pixel array always follows them.
static const int32_t headerBytes = 54;
static const int32_t largestImageBytes = 0x7FFFFFFF;

static uint32_t readU16(const unsigned char* bytes)
{
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8;
}

static uint32_t readU32(const unsigned char* bytes)
{
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 | (uint32_t)bytes[3] << 24;
}

static int32_t readS32(const unsigned char* bytes)
{
    return (int32_t)readU32(bytes);
}

static uint64_t storedRowBytes(int32_t width)
{
    return ((uint64_t)width * 3 + 3) / 4 * 4;
}

// Only uncompressed 24-bit pixels behind a 40-byte info header with no colour table, all within the bytes read.
static bool acceptedBitmap(const unsigned char* bytes, int32_t length)
{
    if (length < headerBytes)
        return false;
    if (bytes[0] != 'B' || bytes[1] != 'M')
        return false;
    if (readU32(bytes + 14) != 40 || readU16(bytes + 28) != 24 || readU32(bytes + 30) != 0 ||
        readU32(bytes + 46) != 0 || readU32(bytes + 50) != 0)
        return false;
    int32_t width = readS32(bytes + 18);
    int32_t height = readS32(bytes + 22);
    if (width < 0 || height < 0)
        return false;
    // Under 2^31 * 2^31 * 3, the product cannot wrap 64 bits.
    if (storedRowBytes(width) * (uint64_t)height > (uint64_t)(length - headerBytes))
        return false;
    return (uint64_t)width * (uint64_t)height <= (uint64_t)(largestImageBytes - sizeof(Image)) / 4;
}

// Reads until count bytes are in or the file ends; the number read, or -1 on a read error.
static int32_t readAll(int file, unsigned char* buffer, int32_t count)
{
    int32_t done = 0;
    while (done < count) {
        int got = (int)read(file, buffer + done, (unsigned int)(count - done));
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

int openBitmapFile(const char* path)
{
    if (bitmapFile != -1)
        closeBitmapFile();
    if (!path)
        return 0;
    bitmapFile = open(path, O_RDONLY | O_BINARY, 256);
    if (bitmapFile == -1)
        return 0;
    // Lengths beyond 32 bits are no bitmap the reader could take; treat them like a file that will not open.
    long long length = (long long)lseek(bitmapFile, 0, SEEK_END);
    if (length < 0 || length > 0x7FFFFFFF) {
        close(bitmapFile);
        bitmapFile = -1;
        return 0;
    }
    bitmapFileLength = (int32_t)length;
    return 1;
}

Image* readBitmap(int32_t offset, int32_t limit)
{
    int32_t count = limit > 0 && limit < bitmapFileLength ? limit : bitmapFileLength;
    if (bitmapFile == -1)
        return nullptr;
    free(bitmapBuffer);
    bitmapBuffer = (unsigned char*)malloc(count > 0 ? (size_t)count : 1);
    if (!bitmapBuffer)
        return nullptr;
    if (offset < 0 || (long long)lseek(bitmapFile, offset, SEEK_SET) != (long long)offset)
        return nullptr;
    int32_t length = readAll(bitmapFile, bitmapBuffer, count);
    if (length < 0 || !acceptedBitmap(bitmapBuffer, length))
        return nullptr;
    return decodeBitmap(bitmapBuffer);
}

Image* decodeBitmap(const unsigned char* buffer)
{
    int32_t width = readS32(buffer + 18);
    int32_t height = readS32(buffer + 22);
    size_t pixelCount = (size_t)width * (size_t)height;
    Image* image = (Image*)calloc(1, sizeof(Image) + pixelCount * 4);
    if (!image)
        return nullptr;
    image->width = width;
    image->height = height;
    if (pixelCount == 0)
        return image;

    // Stored bottom row first: the last stored row is the top of the picture.
    size_t rowBytes = (size_t)storedRowBytes(width);
    unsigned char* out = imagePixels(image);
    for (int32_t row = 0; row < height; ++row) {
        const unsigned char* pixel = buffer + headerBytes + (size_t)(height - 1 - row) * rowBytes;
        for (int32_t column = 0; column < width; ++column) {
            out[0] = pixel[2];
            out[1] = pixel[1];
            out[2] = pixel[0];
            out[3] = 255;
            out += 4;
            pixel += 3;
        }
    }
    return image;
}

void closeBitmapFile()
{
    if (bitmapBuffer) {
        free(bitmapBuffer);
        bitmapBuffer = nullptr;
    }
    if (bitmapFile != -1) {
        close(bitmapFile);
        bitmapFile = -1;
    }
}
