// bitmap_reader.h -- reads a 24-bit uncompressed bitmap file into a top-down RGBA Image, one file at a time.
#pragma once

#include <stdint.h>

// A decoded picture: width x height RGBA pixels follow the two sides in the same block, top row first.
// Made by calloc; whoever holds it releases it with free.
struct Image {
    int32_t width;
    int32_t height;
};

inline unsigned char* imagePixels(Image* image)
{
    return (unsigned char*)(image + 1);
}

int openBitmapFile(const char* path);
// The bitmap that starts at offset, reading at most limit bytes (0 or less: the whole file); null if rejected.
Image* readBitmap(int32_t offset, int32_t limit);
Image* decodeBitmap(const unsigned char* buffer);
void closeBitmapFile();
