// texture_upload_test.cpp -- uploads over the recording GL: names, padding, sizes and the four filter modes.
#include <cstdlib>
#include <string>
#include <vector>

#include "plugin/image/bitmap_reader.h"
#include "plugin/image/texture_upload.h"
#include "plugin/state/state.h"
#include "tests/support/plugin_fixture.h"

namespace {

class TextureUploadTest : public PluginTest {
protected:
    void TearDown() override
    {
        for (Image* image : images)
            free(image);
    }

    // An Image whose every byte differs from its neighbours', alpha included.
    Image* makeImage(int width, int height)
    {
        Image* image = (Image*)calloc(1, sizeof(Image) + (size_t)width * (size_t)height * 4);
        image->width = width;
        image->height = height;
        for (size_t i = 0; i < (size_t)width * (size_t)height * 4; ++i)
            imagePixels(image)[i] = (unsigned char)(i * 13 + 1);
        images.push_back(image);
        return image;
    }

    std::vector<Image*> images;
};

const unsigned char* texel(const fake::Texture& texture, int s, int t)
{
    return &texture.pixels[((size_t)t * (size_t)texture.width + (size_t)s) * 4];
}

TEST_F(TextureUploadTest, NextPowerOfTwo)
{
    EXPECT_EQ(nextPowerOfTwo(0), 0);
    EXPECT_EQ(nextPowerOfTwo(-5), 0);
    EXPECT_EQ(nextPowerOfTwo(1), 1);
    EXPECT_EQ(nextPowerOfTwo(2), 2);
    EXPECT_EQ(nextPowerOfTwo(3), 4);
    EXPECT_EQ(nextPowerOfTwo(640), 1024);
    EXPECT_EQ(nextPowerOfTwo(1025), 2048);
    EXPECT_EQ(nextPowerOfTwo(1 << 30), 1 << 30);
    EXPECT_EQ(nextPowerOfTwo((1 << 30) + 1), 0); // no int power of two is that large
}

TEST_F(TextureUploadTest, PowerOfTwoSidesGoToGlUnchangedUnderTheCountersName)
{
    nextTextureName = 7;
    Image* image = makeImage(256, 128);
    EXPECT_EQ(uploadTexture(&image), 7);
    EXPECT_EQ(nextTextureName, 8);

    EXPECT_EQ(fake::log().find("glBindTexture")->args, (std::vector<double>{GL_TEXTURE_2D, 7}));
    EXPECT_EQ(fake::log().find("glTexImage2D")->args,
              (std::vector<double>{GL_TEXTURE_2D, 0, 4, 256, 128, 0, GL_RGBA, GL_UNSIGNED_BYTE, 1}));
    EXPECT_EQ(fake::gl().bound[GL_TEXTURE_2D], 7u); // left bound
    const fake::Texture& texture = fake::gl().textures[7];
    EXPECT_EQ(texture.pixels, std::vector<unsigned char>(imagePixels(image), imagePixels(image) + 256 * 128 * 4));

    Image* single = makeImage(1, 1);
    EXPECT_EQ(uploadTexture(&single), 8);
    EXPECT_EQ(fake::gl().textures[8].width, 1);
    EXPECT_EQ(fake::gl().textures[8].height, 1);
    EXPECT_EQ(nextTextureName, 9);
    // Names come from the counter alone, never from GL.
    EXPECT_EQ(fake::log().count("glGenTextures"), 0u);
}

TEST_F(TextureUploadTest, OddSidesArePaddedWithTransparentBlackToTheRightAndBelow)
{
    Image* image = makeImage(100, 50);
    EXPECT_EQ(uploadTexture(&image), 1);
    EXPECT_EQ(nextTextureName, 2);
    const fake::Texture& texture = fake::gl().textures[1];
    ASSERT_EQ(texture.width, 128);
    ASSERT_EQ(texture.height, 64);
    EXPECT_EQ(fake::log().find("glTexImage2D")->args,
              (std::vector<double>{GL_TEXTURE_2D, 0, 4, 128, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, 1}));
    const unsigned char zero[4] = {0, 0, 0, 0};
    for (int t = 0; t < 64; ++t)
        for (int s = 0; s < 128; ++s) {
            const unsigned char* expected = s < 100 && t < 50 ? imagePixels(image) + (t * 100 + s) * 4 : zero;
            ASSERT_EQ(std::vector<unsigned char>(texel(texture, s, t), texel(texture, s, t) + 4),
                      std::vector<unsigned char>(expected, expected + 4))
                << "texel " << s << ", " << t;
        }

    Image* row = makeImage(3, 1);
    EXPECT_EQ(uploadTexture(&row), 2);
    const fake::Texture& small = fake::gl().textures[2];
    ASSERT_EQ(small.pixels.size(), 16u);
    EXPECT_EQ(std::vector<unsigned char>(small.pixels.begin(), small.pixels.begin() + 12),
              std::vector<unsigned char>(imagePixels(row), imagePixels(row) + 12));
    EXPECT_EQ(std::vector<unsigned char>(small.pixels.begin() + 12, small.pixels.end()),
              std::vector<unsigned char>(4, 0));
}

TEST_F(TextureUploadTest, AnImageWithNothingToUploadUsesNoNameAndNoGl)
{
    nextTextureName = 4;
    Image* flat = makeImage(8, 0);
    Image* narrow = makeImage(0, 8);
    EXPECT_EQ(uploadTexture(&flat), 0);
    EXPECT_EQ(uploadTexture(&narrow), 0);
    // 2^16 + 1 on each side would pad to 2^34 bytes: refused before a pixel is read.
    Image huge = {65537, 65537};
    Image* hugeImage = &huge;
    EXPECT_EQ(uploadTexture(&hugeImage), 0);
    EXPECT_EQ(nextTextureName, 4);
    EXPECT_EQ(fake::log().size(), 0u);
}

struct FilterCase {
    int mode;
    bool clamped;
    GLenum filter;
    int modeAfter;
};

class FilterModeTest : public TextureUploadTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FilterModeTest, SetsWrapAndFilterThroughTheFloatCallAfterTheImage)
{
    const FilterCase& c = GetParam();
    for (int width : {4, 5}) { // either upload path
        SCOPED_TRACE(width);
        fake::log().reset();
        uploadFilterMode = c.mode;
        Image* image = makeImage(width, 4);
        int name = uploadTexture(&image);

        std::vector<std::string> expected = {"glBindTexture", "glTexImage2D"};
        if (c.clamped)
            expected.insert(expected.end(), {"glTexParameterf", "glTexParameterf"});
        expected.insert(expected.end(), {"glTexParameterf", "glTexParameterf"});
        EXPECT_EQ(fake::log().ops(), expected);

        size_t at = 0;
        if (c.clamped) {
            EXPECT_EQ(fake::log().find("glTexParameterf", at++)->args,
                      (std::vector<double>{GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP}));
            EXPECT_EQ(fake::log().find("glTexParameterf", at++)->args,
                      (std::vector<double>{GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP}));
        }
        EXPECT_EQ(fake::log().find("glTexParameterf", at++)->args,
                  (std::vector<double>{GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, (double)c.filter}));
        EXPECT_EQ(fake::log().find("glTexParameterf", at++)->args,
                  (std::vector<double>{GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, (double)c.filter}));
        EXPECT_EQ(fake::gl().textures[(GLuint)name].params.count(GL_TEXTURE_WRAP_S), c.clamped ? 1u : 0u);
        EXPECT_EQ(uploadFilterMode, c.modeAfter);
    }
}

INSTANTIATE_TEST_SUITE_P(EachMode, FilterModeTest,
                         ::testing::Values(FilterCase{0, false, GL_NEAREST, 0}, FilterCase{1, false, GL_LINEAR, 1},
                                           FilterCase{2, true, GL_LINEAR, 2}, FilterCase{3, true, GL_NEAREST, 0}),
                         [](const ::testing::TestParamInfo<FilterCase>& info) {
                             return "Mode" + std::to_string(info.param.mode);
                         });

TEST_F(TextureUploadTest, ModeThreeIsSpentByOneUpload)
{
    uploadFilterMode = 3;
    Image* image = makeImage(2, 2);
    int first = uploadTexture(&image);
    int second = uploadTexture(&image);
    EXPECT_EQ(second, first + 1);
    const fake::Texture& after = fake::gl().textures[(GLuint)second];
    EXPECT_EQ(after.params.count(GL_TEXTURE_WRAP_S), 0u);
    EXPECT_EQ(after.params.at(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    EXPECT_EQ(fake::gl().textures[(GLuint)first].params.at(GL_TEXTURE_WRAP_T), GL_CLAMP);
}

} // namespace
