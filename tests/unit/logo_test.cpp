// logo_test.cpp -- the logo load: where it looks, keying, filtering, and what each failure leaves behind.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "plugin/image/bitmap_reader.h"
#include "plugin/image/logo.h"
#include "plugin/entry/callbacks.h"
#include "plugin/state/state.h"
#include "tests/support/bitmap_files.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/temp_folder.h"

using testbmp::Rgb;

namespace {

// Sums of R + G + B around the threshold of 20: 0, 19 and 19 go transparent; 20, 20 and 765 stay.
const std::vector<Rgb> keyingPicture = {{0, 0, 0}, {6, 6, 7}, {7, 7, 6}, {20, 0, 0},
                                        {255, 255, 255}, {0, 0, 19}, {0, 19, 1}, {90, 30, 200}};
const std::vector<unsigned char> keyedAlpha = {0, 0, 255, 255, 255, 0, 255, 255};

class LogoTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        writeDefaultSettings();
        hostModule = module();
        fake::win32().moduleFileName = (folder / "vis_any.so").string();
    }

    void putLogo(const testbmp::Bytes& bytes, const std::string& name = "vis_gloamer.bmp")
    {
        testbmp::writeFile(folder / name, bytes);
    }

    // What a failed load must leave: one message box, the reader closed, the filter mode restored.
    void expectImageLoadFailed()
    {
        ASSERT_EQ(fake::win32().messageBoxes.size(), 1u);
        EXPECT_EQ(fake::win32().messageBoxes[0].text, "Image load failed.");
        EXPECT_EQ(fake::win32().messageBoxes[0].caption, "Gloamer");
        EXPECT_EQ(fake::win32().messageBoxes[0].owner, fake::hostWindowHandle());
        EXPECT_EQ(fake::win32().messageBoxes[0].type, MB_OK);
        EXPECT_EQ(bitmapFile, -1);
        EXPECT_EQ(bitmapBuffer, nullptr);
        EXPECT_EQ(uploadFilterMode, settings.textureFilterMode);
        EXPECT_EQ(fake::log().count("glTexImage2D"), 0u);
    }

    testfs::TempFolder folder{"gloamer-logo"};
};

TEST_F(LogoTest, LoadsTheLogoBesideTheLibraryKeyedOntoAClampedLinearTexture)
{
    putLogo(testbmp::bitmap(4, 2, keyingPicture));
    nextTextureName = 5;
    ASSERT_EQ(initLogo(), 0);

    EXPECT_EQ(logoTexture, 5);
    EXPECT_EQ(nextTextureName, 6);
    EXPECT_EQ(fake::log().find("GetModuleFileNameA")->args,
              (std::vector<double>{(double)(uintptr_t)fake::libraryInstanceHandle(), 260}));
    ASSERT_NE(logoImage, nullptr);
    ASSERT_EQ(logoImage->width, 4);
    ASSERT_EQ(logoImage->height, 2);
    const fake::Texture& texture = fake::gl().textures[5];
    ASSERT_EQ(texture.pixels.size(), 32u); // 4 x 2 needs no padding
    for (size_t i = 0; i < keyingPicture.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(texture.pixels[i * 4 + 0], keyingPicture[i].r);
        EXPECT_EQ(texture.pixels[i * 4 + 1], keyingPicture[i].g);
        EXPECT_EQ(texture.pixels[i * 4 + 2], keyingPicture[i].b);
        EXPECT_EQ(texture.pixels[i * 4 + 3], keyedAlpha[i]);
        EXPECT_EQ(imagePixels(logoImage)[i * 4 + 3], keyedAlpha[i]); // the kept Image is the keyed one
    }
    EXPECT_EQ(texture.params.at(GL_TEXTURE_WRAP_S), GL_CLAMP);
    EXPECT_EQ(texture.params.at(GL_TEXTURE_WRAP_T), GL_CLAMP);
    EXPECT_EQ(texture.params.at(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(texture.params.at(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(uploadFilterMode, 1);
    EXPECT_EQ(bitmapFile, -1);
    EXPECT_EQ(bitmapBuffer, nullptr);
    EXPECT_TRUE(fake::win32().messageBoxes.empty());
}

TEST_F(LogoTest, FilterModeZeroGivesNearestAndIsRestored)
{
    putLogo(testbmp::bitmap(4, 2, keyingPicture));
    settings.textureFilterMode = 0;
    ASSERT_EQ(initLogo(), 0);
    const fake::Texture& texture = fake::gl().textures[(GLuint)logoTexture];
    EXPECT_EQ(texture.params.at(GL_TEXTURE_WRAP_S), GL_CLAMP);
    EXPECT_EQ(texture.params.at(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    EXPECT_EQ(texture.params.at(GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    EXPECT_EQ(uploadFilterMode, 0);
}

TEST_F(LogoTest, AnOddSizedLogoIsPaddedWithTransparentBlack)
{
    putLogo(testbmp::bitmap(200, 100, std::vector<Rgb>(200 * 100, {200, 100, 50})));
    ASSERT_EQ(initLogo(), 0);
    const fake::Texture& texture = fake::gl().textures[(GLuint)logoTexture];
    ASSERT_EQ(texture.width, 256);
    ASSERT_EQ(texture.height, 128);
    auto alphaAt = [&](int s, int t) { return texture.pixels[((size_t)t * 256 + (size_t)s) * 4 + 3]; };
    EXPECT_EQ(alphaAt(199, 99), 255);
    EXPECT_EQ(alphaAt(200, 0), 0);
    EXPECT_EQ(alphaAt(0, 100), 0);
    EXPECT_EQ(alphaAt(255, 127), 0);
}

TEST_F(LogoTest, AlphaKeyAtThresholdTwenty)
{
    Image* image = (Image*)calloc(1, sizeof(Image) + keyingPicture.size() * 4);
    image->width = 4;
    image->height = 2;
    for (size_t i = 0; i < keyingPicture.size(); ++i) {
        imagePixels(image)[i * 4 + 0] = keyingPicture[i].r;
        imagePixels(image)[i * 4 + 1] = keyingPicture[i].g;
        imagePixels(image)[i * 4 + 2] = keyingPicture[i].b;
        imagePixels(image)[i * 4 + 3] = 77; // neither 0 nor 255: every pixel must be set
    }
    alphaKey(image, 20);
    for (size_t i = 0; i < keyingPicture.size(); ++i) {
        EXPECT_EQ(imagePixels(image)[i * 4 + 3], keyedAlpha[i]) << i;
        EXPECT_EQ(imagePixels(image)[i * 4 + 0], keyingPicture[i].r) << i;
    }
    free(image);
}

// The library's name as the host gives it, and where the load must find the logo, relative to the
// current folder: the folder is cut after the last backslash or slash, whichever comes last.
struct PathCase {
    const char* name;
    const char* library;
    const char* logo;
};

void PrintTo(const PathCase& c, std::ostream* out)
{
    *out << c.library;
}

class LogoPathTest : public LogoTest, public ::testing::WithParamInterface<PathCase> {
protected:
    void SetUp() override
    {
        LogoTest::SetUp();
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder.path());
    }
    void TearDown() override { std::filesystem::current_path(previous); }

    std::filesystem::path previous;
};

TEST_P(LogoPathTest, FindsTheLogoInTheLibrarysFolder)
{
    const PathCase& c = GetParam();
    fake::win32().moduleFileName = c.library;
    std::filesystem::path logo = c.logo;
    if (logo.has_parent_path())
        std::filesystem::create_directories(logo.parent_path());
    testbmp::writeFile(logo, testbmp::bitmap(3, 1, testbmp::gradient(3, 1)));
    // A decoy in every other place the load might wrongly look.
    for (const char* decoy : {"vis_gloamer.bmp", "D:\\Plugins\\vis_gloamer.bmp", "sub\\vis_gloamer.bmp"})
        if (std::string(decoy) != c.logo)
            testbmp::writeFile(decoy, testbmp::bitmap(2, 1, testbmp::gradient(2, 1)));

    ASSERT_EQ(initLogo(), 0);
    ASSERT_NE(logoImage, nullptr);
    EXPECT_EQ(logoImage->width, 3);
}

INSTANTIATE_TEST_SUITE_P(
    EachSeparator, LogoPathTest,
    ::testing::Values(PathCase{"Backslash", "D:\\Plugins\\vis_any.dll", "D:\\Plugins\\vis_gloamer.bmp"},
                      PathCase{"NoSeparator", "vis_any.dll", "vis_gloamer.bmp"},
                      PathCase{"Slash", "plugins/vis_any.so", "plugins/vis_gloamer.bmp"},
                      PathCase{"BackslashAfterSlash", "./sub\\vis_any.dll", "sub\\vis_gloamer.bmp"},
                      PathCase{"SlashAfterBackslash", "C:\\Winamp/Plugins/vis_any.dll",
                               "C:\\Winamp/Plugins/vis_gloamer.bmp"}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

TEST_F(LogoTest, WithoutALogoFileInitTellsTheUserAndChangesNothing)
{
    logoTexture = 42;
    Image* earlier = (Image*)calloc(1, sizeof(Image));
    logoImage = earlier;
    nextTextureName = 3;
    EXPECT_EQ(initLogo(), 1);
    expectImageLoadFailed();
    EXPECT_EQ(logoTexture, 42);
    EXPECT_EQ(logoImage, earlier);
    EXPECT_EQ(nextTextureName, 3);
}

TEST_F(LogoTest, ARejectedFileLeavesNoImageAndTheTextureAsItWas)
{
    for (int bits : {32, 24}) {
        SCOPED_TRACE(bits);
        fake::resetWin32();
        fake::win32().moduleFileName = (folder / "vis_any.so").string();
        // A 32-bit logo, and a 24-bit one with no rows: the reader rejects one, the load the other.
        putLogo(bits == 32 ? testbmp::bitmap(4, 2, keyingPicture, 32) : testbmp::bitmap(4, 0, {}));
        logoTexture = 42;
        logoImage = (Image*)calloc(1, sizeof(Image));
        EXPECT_EQ(initLogo(), 1);
        expectImageLoadFailed();
        EXPECT_EQ(logoImage, nullptr);
        EXPECT_EQ(logoTexture, 42);
    }
}

TEST_F(LogoTest, ALibraryNameThatCannotBeHadInFullIsLikeAMissingFile)
{
    putLogo(testbmp::bitmap(4, 2, keyingPicture));
    fake::win32().failing.insert("GetModuleFileNameA");
    EXPECT_EQ(initLogo(), 1);
    expectImageLoadFailed();

    // Cut at 259 characters, the name would still end in the folder that holds a logo: it must not be used.
    fake::resetWin32();
    fake::win32().moduleFileName = (folder / std::string(300, 'v')).string();
    EXPECT_EQ(initLogo(), 1);
    expectImageLoadFailed();
}

TEST_F(LogoTest, APathTooLongForTheBufferIsLikeAMissingFile)
{
    // The library's name fits 260 bytes, but not with the logo's longer name in its place.
    std::string base = folder.path().string() + "/";
    std::filesystem::path deep = base + std::string(250 - base.size(), 'd');
    std::filesystem::create_directories(deep);
    testbmp::writeFile(deep / "vis_gloamer.bmp", testbmp::bitmap(4, 2, keyingPicture));
    // Were the path cut short to fit, it would name this file instead.
    testbmp::writeFile(deep / "vis_gloa", testbmp::bitmap(4, 2, keyingPicture));
    fake::win32().moduleFileName = (deep / "v.so").string();
    ASSERT_LT(fake::win32().moduleFileName.size(), 260u);
    EXPECT_EQ(initLogo(), 1);
    expectImageLoadFailed();
}

TEST_F(LogoTest, InitWithoutTheLogoWithdrawsTheWindowFromTheHostAndTearsItDown)
{
    fake::win32().moduleFileName = (folder / "vis_any.so").string(); // an empty folder
    EXPECT_EQ(pluginInit(module()), 1);
    ASSERT_EQ(fake::win32().messageBoxes.size(), 1u);
    EXPECT_EQ(fake::win32().messageBoxes[0].text, "Image load failed.");

    // The box is shown while the window still stands; then the host hears it is gone, then it goes.
    long box = fake::log().indexOf("MessageBoxA");
    ASSERT_GE(box, 0);
    const auto& calls = fake::log().calls();
    ASSERT_GT(calls.size(), (size_t)box + 1);
    const fake::Call& withdraw = calls[(size_t)box + 1];
    EXPECT_EQ(withdraw.op, "SendMessageA");
    EXPECT_EQ(withdraw.args, (std::vector<double>{(double)(uintptr_t)fake::hostWindowHandle(), WM_USER, 0,
                                                   HOSTMSG_SET_RENDER_WINDOW}));
    EXPECT_EQ(fake::log().ops((size_t)box + 2),
              (std::vector<std::string>{"wglMakeCurrent", "wglDeleteContext", "ReleaseDC", "DestroyWindow",
                                        "UnregisterClassA"}));
    expectNothingHeld();
}

TEST_F(LogoTest, EachInitUploadsTheLogoAgainUnderTheNextName)
{
    putLogo(testbmp::bitmap(4, 2, keyingPicture));
    ASSERT_EQ(pluginInit(module()), 0);
    EXPECT_EQ(logoTexture, 1);
    EXPECT_EQ(fake::gl().bound[GL_TEXTURE_2D], 1u);
    pluginQuit(module());
    ASSERT_EQ(pluginInit(module()), 0);
    EXPECT_EQ(logoTexture, 2);
    ASSERT_NE(logoImage, nullptr);
    EXPECT_EQ(imagePixels(logoImage)[3], 0);
}

} // namespace
