// bitmap_reader_fuzz.cpp -- libFuzzer target: arbitrary bytes through the bitmap reader's real file path.
// Every accepted bitmap is checked against the bytes it came from, so a wrong decode is a finding too.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "plugin/image/bitmap_reader.h"
#include "plugin/state/state.h"

namespace {

uint32_t at32(const uint8_t* bytes)
{
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 | (uint32_t)bytes[3] << 24;
}

void fail(const char* what)
{
    fprintf(stderr, "bitmap reader: %s\n", what);
    abort();
}

// An Image read from the bitmap at `bitmap` within the `available` bytes the reader could have read.
void checkImage(Image* image, const uint8_t* bitmap, size_t available)
{
    if (!image)
        return;
    if (available < 54)
        fail("accepted a bitmap shorter than its headers");
    if (bitmap[0] != 'B' || bitmap[1] != 'M' || at32(bitmap + 14) != 40 || (at32(bitmap + 28) & 0xFFFF) != 24 ||
        at32(bitmap + 30) != 0 || at32(bitmap + 46) != 0 || at32(bitmap + 50) != 0)
        fail("accepted a header it should reject");
    int32_t width = (int32_t)at32(bitmap + 18), height = (int32_t)at32(bitmap + 22);
    if (image->width != width || image->height != height || width < 0 || height < 0)
        fail("wrong or negative sides");
    size_t rowBytes = ((size_t)width * 3 + 3) / 4 * 4;
    if (54 + rowBytes * (size_t)height > available)
        fail("decoded rows beyond the bytes read");
    const uint8_t* pixel = imagePixels(image);
    for (int32_t y = 0; y < height && width > 0; ++y)
        for (int32_t x = 0; x < width; ++x, pixel += 4) {
            const uint8_t* stored = bitmap + 54 + (size_t)(height - 1 - y) * rowBytes + (size_t)x * 3;
            if (pixel[0] != stored[2] || pixel[1] != stored[1] || pixel[2] != stored[0] || pixel[3] != 255)
                fail("pixel differs from the stored one");
        }
    free(image);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // One in-memory file, rewritten for every input and opened by name like any other.
    static int file = memfd_create("bitmap", 0);
    static std::string path = "/proc/self/fd/" + std::to_string(file);
    if (file < 0 || ftruncate(file, 0) != 0 || (size && pwrite(file, data, size, 0) != (ssize_t)size))
        fail("cannot write the input file");

    if (!openBitmapFile(path.c_str()))
        fail("cannot open the input file");
    checkImage(readBitmap(0, 0), data, size);
    // A limit that cuts up to 15 bytes off the end, chosen by the input's last byte.
    size_t limit = size ? size - (data[size - 1] & 15) : 0;
    if (limit > 0)
        checkImage(readBitmap(0, (int32_t)limit), data, limit);
    // The same bytes seen as a bitmap one byte into the file.
    if (size > 1)
        checkImage(readBitmap(1, 0), data + 1, size - 1);
    closeBitmapFile();
    if (bitmapFile != -1 || bitmapBuffer)
        fail("close left the reader open");
    return 0;
}
