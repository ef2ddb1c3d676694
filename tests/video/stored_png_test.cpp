// stored_png_test.cpp -- the stored PNG writer: FFmpeg's decoder reads its pictures back pixel for pixel.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "host/video/stored_png.h"
#include "tests/support/temp_folder.h"
#include "tests/video/media_probe.h"

namespace fs = std::filesystem;

TEST(StoredPng, ChecksumsMatchTheirDefinitions)
{
    const uint8_t text[] = "123456789";
    EXPECT_EQ(gloamer::crc32Of(text, 9), 0xCBF43926u);
    EXPECT_EQ(gloamer::adler32Of(text, 9), 0x091E01DEu);
}

// 200 x 120 RGB is 72,120 bytes of rows: more than one stored block of 65,535.
TEST(StoredPng, DecodesToThePixelsWritten)
{
    const int width = 200, height = 120;
    std::vector<uint8_t> rgb((size_t)width * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = (uint8_t)((i * 7919) >> 3);
    std::vector<uint8_t> png = gloamer::encodeStoredPng(rgb.data(), width, height);
    testfs::TempFolder folder("gloamer-stored");
    fs::path path = folder / "picture.png";
    std::ofstream(path, std::ios::binary).write((const char*)png.data(), (std::streamsize)png.size());

    gloamer::testing::MediaInfo info = gloamer::testing::probeMedia(path.string(), 1);
    ASSERT_EQ(info.width, width);
    ASSERT_EQ(info.height, height);
    ASSERT_EQ(info.pictures.size(), 1u);
    EXPECT_EQ(info.pictures[0], rgb);
}
