// bitmap_reader_test.cpp -- the reader over crafted files: decoding, each rejection, truncations, limits, its state.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "plugin/image/bitmap_reader.h"
#include "plugin/state/state.h"
#include "tests/support/bitmap_files.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/temp_folder.h"

using testbmp::Bytes;
using testbmp::Rgb;

namespace {

struct FreeImage {
    void operator()(Image* image) const { free(image); }
};
using ImagePtr = std::unique_ptr<Image, FreeImage>;

class BitmapReaderTest : public PluginTest {
protected:
    // Writes the bytes to a file, opens it, reads it with the offset and limit, and closes it again.
    ImagePtr readFile(const Bytes& bytes, int32_t offset = 0, int32_t limit = 0)
    {
        std::string path = (folder / "file.bmp").string();
        testbmp::writeFile(path, bytes);
        EXPECT_EQ(openBitmapFile(path.c_str()), 1);
        ImagePtr image(readBitmap(offset, limit));
        closeBitmapFile();
        return image;
    }

    testfs::TempFolder folder{"gloamer-reader"};
};

Rgb pixelAt(Image* image, int x, int y)
{
    const unsigned char* p = imagePixels(image) + ((size_t)y * (size_t)image->width + (size_t)x) * 4;
    return {p[0], p[1], p[2]};
}

void expectPicture(Image* image, int width, int height, const std::vector<Rgb>& topDown)
{
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width, width);
    ASSERT_EQ(image->height, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            EXPECT_EQ(pixelAt(image, x, y), topDown[(size_t)(y * width + x)]) << "pixel " << x << ", " << y;
            EXPECT_EQ(imagePixels(image)[((size_t)y * width + x) * 4 + 3], 255) << "alpha " << x << ", " << y;
        }
}

TEST_F(BitmapReaderTest, TwoByTwoTurnsBottomUpRowsTopDownAndSkipsTheFill)
{
    // Stored rows of 8 bytes, B G R: first the bottom row (blue, green), then the top row (red, white).
    Bytes file = testbmp::bitmap(2, 2, std::vector<Rgb>(4, {0, 0, 0}));
    const uint8_t stored[16] = {255, 0, 0, 0, 255, 0, 0xEE, 0xEE, 0, 0, 255, 255, 255, 255, 0xEE, 0xEE};
    std::copy(stored, stored + 16, file.begin() + testbmp::kPixelArray);
    ASSERT_EQ(file.size(), 54u + 16u);

    ImagePtr image = readFile(file);
    expectPicture(image.get(), 2, 2, {{255, 0, 0}, {255, 255, 255}, {0, 0, 255}, {0, 255, 0}});
}

TEST_F(BitmapReaderTest, RowsOfEveryPaddingDecodeWithoutTheirFill)
{
    // 3 wide: 9 bytes of pixels and 3 of fill; 4 wide: exactly 12; 5 wide: 15 and 1; 1 wide: 3 and 1.
    for (int width : {1, 3, 4, 5}) {
        std::vector<Rgb> picture = testbmp::gradient(width, 3);
        ImagePtr image = readFile(testbmp::bitmap(width, 3, picture));
        SCOPED_TRACE(width);
        expectPicture(image.get(), width, 3, picture);
    }
}

TEST_F(BitmapReaderTest, PixelsAreAlwaysTakenFromOffset54)
{
    std::vector<Rgb> picture = testbmp::gradient(3, 2);
    Bytes file = testbmp::bitmap(3, 2, picture);
    testbmp::put32(file, testbmp::kOffBits, 1078); // as if a colour table came first
    expectPicture(readFile(file).get(), 3, 2, picture);
}

TEST_F(BitmapReaderTest, AZeroSideGivesAnImageWithNoPixels)
{
    ImagePtr flat = readFile(testbmp::bitmap(5, 0, {}));
    ASSERT_NE(flat, nullptr);
    EXPECT_EQ(flat->width, 5);
    EXPECT_EQ(flat->height, 0);
    ImagePtr narrow = readFile(testbmp::bitmap(0, 3, {}));
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(narrow->width, 0);
    EXPECT_EQ(narrow->height, 3);
}

struct Rejection {
    const char* name;
    size_t offset;
    uint32_t value;
};

void PrintTo(const Rejection& rejection, std::ostream* out)
{
    *out << rejection.name;
}

class BitmapRejectionTest : public BitmapReaderTest, public ::testing::WithParamInterface<Rejection> {};

TEST_P(BitmapRejectionTest, YieldsNull)
{
    const Rejection& rejection = GetParam();
    Bytes file = testbmp::bitmap(4, 2, testbmp::gradient(4, 2));
    if (rejection.offset == testbmp::kBitCount)
        testbmp::put16(file, rejection.offset, rejection.value);
    else
        testbmp::put32(file, rejection.offset, rejection.value);
    EXPECT_EQ(readFile(file), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    EachHeaderCheck, BitmapRejectionTest,
    ::testing::Values(Rejection{"SignatureFirstByte", 0, 'X' | 'M' << 8 | 0x46 << 16},
                      Rejection{"SignatureSecondByte", 0, 'B' | 'A' << 8 | 0x46 << 16},
                      Rejection{"InfoHeader108", testbmp::kInfoSize, 108},
                      Rejection{"InfoHeader124", testbmp::kInfoSize, 124},
                      Rejection{"ThirtyTwoBits", testbmp::kBitCount, 32},
                      Rejection{"EightBits", testbmp::kBitCount, 8},
                      Rejection{"Bitfields", testbmp::kCompression, 3},
                      Rejection{"ColourTable", testbmp::kClrUsed, 256},
                      Rejection{"ImportantColour", testbmp::kClrImportant, 1},
                      Rejection{"LargestSides", testbmp::kWidth, 0x7FFFFFFF}),
    [](const ::testing::TestParamInfo<Rejection>& info) { return std::string(info.param.name); });

TEST_F(BitmapReaderTest, NegativeOrWrappingSizesAreRejected)
{
    // Rows of 3 * 2^30 bytes: four of them wrap a 32-bit size to zero; 2^16 squared pixels wrap it too;
    // a negative side with no rows would need no bytes at all.
    const int32_t sides[][2] = {{0x40000000, 4}, {0x10000, 0x10000}, {-1, 0}, {0, -1}, {-4, 2}, {4, -2}};
    Bytes file = testbmp::bitmap(4, 4, testbmp::gradient(4, 4));
    for (const auto& side : sides) {
        SCOPED_TRACE(std::to_string(side[0]) + " x " + std::to_string(side[1]));
        testbmp::put32(file, testbmp::kWidth, (uint32_t)side[0]);
        testbmp::put32(file, testbmp::kHeight, (uint32_t)side[1]);
        EXPECT_EQ(readFile(file), nullptr);
    }
}

TEST_F(BitmapReaderTest, FilesTooShortForTheirHeaderOrRowsYieldNull)
{
    Bytes whole = testbmp::bitmap(3, 4, testbmp::gradient(3, 4));
    for (size_t length : {(size_t)0, (size_t)2, (size_t)53, (size_t)54, whole.size() - 12, whole.size() - 1}) {
        SCOPED_TRACE(length);
        EXPECT_EQ(readFile(Bytes(whole.begin(), whole.begin() + (long)length)), nullptr);
    }
    EXPECT_NE(readFile(whole), nullptr);
}

TEST_F(BitmapReaderTest, ALimitCapsTheBytesReadAndZeroOrLessMeansTheWholeFile)
{
    std::vector<Rgb> picture = testbmp::gradient(3, 4);
    Bytes file = testbmp::bitmap(3, 4, picture);
    int32_t length = (int32_t)file.size();
    for (int32_t limit : {0, -1, length, length + 1000})
        expectPicture(readFile(file, 0, limit).get(), 3, 4, picture);
    EXPECT_EQ(readFile(file, 0, length - 1), nullptr); // cuts the last row
    EXPECT_EQ(readFile(file, 0, 40), nullptr);         // cuts the header
}

TEST_F(BitmapReaderTest, ABitmapFurtherIntoTheFileIsReadFromItsOffset)
{
    std::vector<Rgb> picture = testbmp::gradient(2, 3);
    Bytes file = testbmp::bitmap(2, 3, picture);
    file.insert(file.begin(), 10, 0x55);
    expectPicture(readFile(file, 10).get(), 2, 3, picture);
    EXPECT_EQ(readFile(file, 0), nullptr);
    EXPECT_EQ(readFile(file, -1), nullptr);
    EXPECT_EQ(readFile(file, (int32_t)file.size() + 5), nullptr);
}

TEST_F(BitmapReaderTest, StateOpensReadsAndClosesOneFileAtATime)
{
    EXPECT_EQ(readBitmap(0, 0), nullptr); // nothing open
    EXPECT_EQ(bitmapBuffer, nullptr);

    EXPECT_EQ(openBitmapFile((folder / "missing.bmp").string().c_str()), 0);
    EXPECT_EQ(bitmapFile, -1);
    EXPECT_EQ(readBitmap(0, 0), nullptr);

    Bytes file = testbmp::bitmap(2, 2, testbmp::gradient(2, 2));
    std::string path = (folder / "file.bmp").string();
    testbmp::writeFile(path, file);
    ASSERT_EQ(openBitmapFile(path.c_str()), 1);
    EXPECT_NE(bitmapFile, -1);
    EXPECT_EQ(bitmapFileLength, (int32_t)file.size());

    // Two reads give two separate Images; the second read replaces the buffer of the first.
    ImagePtr first(readBitmap(0, 0));
    ImagePtr second(readBitmap(0, 0));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(pixelAt(first.get(), 1, 1), pixelAt(second.get(), 1, 1));

    // A rejected read keeps what it read until the close.
    EXPECT_EQ(readBitmap(0, 20), nullptr);
    ASSERT_NE(bitmapBuffer, nullptr);
    EXPECT_EQ(bitmapBuffer[0], 'B');

    closeBitmapFile();
    EXPECT_EQ(bitmapFile, -1);
    EXPECT_EQ(bitmapBuffer, nullptr);
    EXPECT_EQ(readBitmap(0, 0), nullptr);
    closeBitmapFile(); // a second close does nothing
    EXPECT_EQ(bitmapFile, -1);
    // Images already returned outlive the reader.
    EXPECT_EQ(pixelAt(first.get(), 0, 0), testbmp::gradient(2, 2)[0]);
}

} // namespace
