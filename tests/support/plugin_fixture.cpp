// plugin_fixture.cpp -- resets the fakes and the plug-in's process-wide state before each test.
#include "tests/support/plugin_fixture.h"

#include <cstdlib>

#include "plugin/state/state.h"
#include "tests/support/bitmap_files.h"
#include "tests/support/temp_folder.h"

// Where the fake library lives: a folder holding a small valid logo, so that init finds one.
static std::string libraryBesideALogo()
{
    static testfs::TempFolder folder("gloamer-fixture");
    static std::string library = [] {
        testbmp::writeFile(folder / "vis_gloamer.bmp", testbmp::bitmap(4, 4, testbmp::gradient(4, 4)));
        return (folder / "vis_any.so").string();
    }();
    return library;
}

void PluginTest::SetUp()
{
    fake::log().reset();
    fake::resetWin32();
    fake::win32().moduleFileName = libraryBesideALogo();
    fake::resetGl();
    fake::resetHeap();
    resetPluginState();
    srand(1); // the C library's generator, which the plug-in never seeds, back to its unseeded sequence
}

void PluginTest::TearDown()
{
    fake::resetHeap();
}

void PluginTest::expectNothingHeld()
{
    EXPECT_TRUE(fake::win32().classes.empty());
    EXPECT_TRUE(fake::win32().windows.empty());
    EXPECT_TRUE(fake::win32().deviceContexts.empty());
    EXPECT_TRUE(fake::win32().contexts.empty());
    EXPECT_EQ(renderWindow, nullptr);
    EXPECT_EQ(deviceContext, nullptr);
    EXPECT_EQ(glContext, nullptr);
}

void PluginTest::expectPassBaseline()
{
    EXPECT_TRUE(fake::gl().isEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(fake::gl().isEnabled(GL_TEXTURE_RECTANGLE_NV));
    EXPECT_FALSE(fake::gl().isEnabled(GL_BLEND));
    EXPECT_FALSE(fake::gl().isEnabled(GL_ALPHA_TEST));
    EXPECT_FALSE(fake::gl().isEnabled(GL_CULL_FACE));
    EXPECT_EQ(fake::gl().matrixMode, (GLenum)GL_MODELVIEW);
    EXPECT_EQ(fake::gl().depth(GL_PROJECTION), 1u);
    EXPECT_EQ(fake::gl().depth(GL_MODELVIEW), 1u);
}

VisModule* PluginTest::module()
{
    VisModule* module = getModule(0);
    module->parentWindow = fake::hostWindowHandle();
    module->libraryInstance = fake::libraryInstanceHandle();
    module->sampleRate = 44100;
    module->channelCount = 2;
    return module;
}
