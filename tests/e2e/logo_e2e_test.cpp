// logo_e2e_test.cpp -- the built plug-in loads the project's logo on Mesa, and fails cleanly without a usable one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/process/host_error.h"
#include "host/core/host_window.h"
#include "host/core/plugin_library.h"
#include "host/core/plugin_session.h"
#include "platform/gl.h"
#include "platform/hooks.h"
#include "tests/support/message_boxes.h"
#include "tests/support/bitmap_files.h"
#include "tests/support/temp_folder.h"

namespace {

class LogoEndToEndTest : public ::testing::Test {
protected:
    CatchMessageBoxes catching;

    // Init of a copy of the plug-in in a folder of its own, holding the given logo file or none.
    void expectInitFailsWithoutAUsableLogo(const testbmp::Bytes* logo)
    {
        testfs::TempFolder folder("gloamer-e2e-logo");
        std::filesystem::path plugin = folder / "vis_gloamer.so";
        std::filesystem::copy_file(GLOAMER_PLUGIN_PATH, plugin);
        if (logo)
            testbmp::writeFile(folder / "vis_gloamer.bmp", *logo);

        gloamer::PluginLibrary library(plugin.string());
        gloamer::HostWindow host;
        EXPECT_THROW(gloamer::PluginSession(library, host, 44100, 2), gloamer::HostError);

        ASSERT_EQ(caughtBoxes().size(), 1u);
        EXPECT_EQ(caughtBoxes()[0].text, "Image load failed.");
        EXPECT_EQ(caughtBoxes()[0].caption, "Gloamer");
        EXPECT_EQ(caughtBoxes()[0].owner, host.handle());
        // The window was announced, withdrawn again, and is gone with its class.
        ASSERT_EQ(host.announcements().size(), 2u);
        HWND announced = host.announcements()[0];
        EXPECT_NE(announced, nullptr);
        EXPECT_EQ(host.announcements()[1], nullptr);
        EXPECT_FALSE(IsWindow(announced));
        WNDCLASSA windowClass;
        EXPECT_FALSE(GetClassInfoA((HINSTANCE)library.handle(), "f_gloamer", &windowClass));
    }
};

// The logo file beside the built plug-in as RGBA, top row first, keyed the way the plug-in keys it.
std::vector<unsigned char> keyedLogoFromDisk(int& width, int& height)
{
    std::filesystem::path path = std::filesystem::path(GLOAMER_PLUGIN_PATH).parent_path() / "vis_gloamer.bmp";
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < 54)
        return {};
    auto s32 = [&](size_t at) { return (int)(file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24); };
    width = s32(18);
    height = s32(22);
    size_t rowBytes = ((size_t)width * 3 + 3) / 4 * 4;
    std::vector<unsigned char> rgba;
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x) {
            const unsigned char* bgr = &file[54 + (size_t)y * rowBytes + (size_t)x * 3];
            rgba.insert(rgba.end(), {bgr[2], bgr[1], bgr[0], (unsigned char)(bgr[0] + bgr[1] + bgr[2] < 20 ? 0 : 255)});
        }
    return rgba;
}

TEST_F(LogoEndToEndTest, InitLoadsTheLogoBesideTheLibraryOntoAKeyedTexture)
{
    int width = 0, height = 0;
    std::vector<unsigned char> expected = keyedLogoFromDisk(width, height);
    ASSERT_EQ(width, 256);
    ASSERT_EQ(height, 256);

    gloamer::PluginLibrary library(GLOAMER_PLUGIN_PATH);
    gloamer::HostWindow host;
    gloamer::PluginSession session(library, host, 44100, 2);
    EXPECT_TRUE(caughtBoxes().empty());

    // Init's last step leaves the logo bound; its context is current on this thread.
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    ASSERT_GT(name, 0);
    GLint textureWidth = 0, textureHeight = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &textureWidth);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &textureHeight);
    EXPECT_EQ(textureWidth, 256);
    EXPECT_EQ(textureHeight, 256);
    std::vector<unsigned char> texels((size_t)256 * 256 * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    size_t transparent = 0, mismatched = 0;
    for (size_t i = 0; i < texels.size(); i += 4) {
        transparent += texels[i + 3] == 0;
        mismatched += !std::equal(texels.begin() + (long)i, texels.begin() + (long)i + 4, expected.begin() + (long)i);
    }
    EXPECT_EQ(mismatched, 0u);
    // Mostly black that lets the copies show through one another, and shapes to show.
    EXPECT_GT(transparent, texels.size() / 4 / 2);
    EXPECT_LT(transparent, texels.size() / 4 * 95 / 100);

    GLint wrap = 0, filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(wrap, GL_CLAMP);
    EXPECT_EQ(filter, GL_LINEAR);
}

TEST_F(LogoEndToEndTest, WithoutALogoBesideTheLibraryInitFailsAndLeavesNoWindow)
{
    expectInitFailsWithoutAUsableLogo(nullptr);
}

TEST_F(LogoEndToEndTest, AThirtyTwoBitLogoFailsTheSameWay)
{
    testbmp::Bytes logo = testbmp::bitmap(4, 4, testbmp::gradient(4, 4), 32);
    expectInitFailsWithoutAUsableLogo(&logo);
}

} // namespace
