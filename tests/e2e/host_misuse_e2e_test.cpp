// host_misuse_e2e_test.cpp -- vis_gloamer.so on Mesa under hosts that stray from the player's order: no crash, no stray drawing, no window left.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/core/host_window.h"
#include "host/core/plugin_library.h"
#include "platform/gl.h"
#include "platform/hooks.h"
#include "platform/sdl/registry_sdl.h"
#include "tests/pixels/frame_grab.h"
#include "tests/support/bitmap_files.h"
#include "tests/support/gl_window.h"
#include "tests/support/temp_folder.h"

namespace {

std::vector<std::string> boxes;

int recordBox(HWND, const char* text, const char*, UINT, void*)
{
    boxes.push_back(text);
    return IDOK;
}

// Windows and GL contexts alive in the platform layer, however they were made.
size_t liveWindows()
{
    return gloamer::platform::registry().windows.size();
}

size_t liveContexts()
{
    return gloamer::platform::registry().contexts.size();
}

class HostMisuseEndToEndTest : public ::testing::Test {
protected:
    pixels::FrameGrab grab;
    gloamer::HostWindow host;

    void SetUp() override
    {
        grab.tick = 148400;
        boxes.clear();
        gloamerSetMessageBoxHook(recordBox, nullptr);
    }
    void TearDown() override { gloamerSetMessageBoxHook(nullptr, nullptr); }

    static VisModule* prepare(gloamer::PluginLibrary& library, gloamer::HostWindow& host)
    {
        VisModule* module = library.module();
        module->parentWindow = host.handle();
        module->libraryInstance = (HINSTANCE)library.handle();
        module->sampleRate = 44100;
        module->channelCount = 2;
        // A tick and loudness at which the sprites are in view (as in the frame pixel tests).
        memset(module->spectrumData, 0, sizeof(module->spectrumData));
        memset(module->spectrumData[0], 71, 288);
        memset(module->spectrumData[1], 57, 288);
        return module;
    }

    // Renders `count` frames the way a host loop does; returns how many the plug-in presented.
    size_t renderFrames(VisModule* module, int count)
    {
        size_t before = grab.frames.size();
        for (int frame = 0; frame < count; ++frame) {
            EXPECT_EQ(module->render(module), 0);
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
        }
        return grab.frames.size() - before;
    }
};

TEST_F(HostMisuseEndToEndTest, RenderBeforeInitLeavesTheHostsOwnContextAlone)
{
    gloamer::PluginLibrary library(GLOAMER_PLUGIN_PATH);
    VisModule* module = prepare(library, host);
    {
        // A window and GL context of the host's own, current on this thread, as a host that draws with GL has.
        HINSTANCE hostInstance = (HINSTANCE)(intptr_t)0x4511;
        testgl::WindowClass hostClass("host_gl", DefWindowProcA, hostInstance);
        testgl::GlWindow hostGl("host_gl", hostInstance, WS_CAPTION, 96, 96);
        ASSERT_TRUE(hostGl.ready());
        ASSERT_EQ(wglGetCurrentContext(), hostGl.context());
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_TEXTURE_2D);
        glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);

        EXPECT_EQ(renderFrames(module, 3), 0u);
        // No clear, no state and no texture of the plug-in's in the host's context.
        unsigned char pixel[4] = {};
        glReadPixels(48, 48, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
        EXPECT_NEAR(pixel[0], 51, 1);
        EXPECT_NEAR(pixel[1], 102, 1);
        EXPECT_NEAR(pixel[2], 153, 1);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
        for (GLuint name = 1; name <= 4; ++name)
            EXPECT_FALSE(glIsTexture(name)) << "texture " << name;
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }

    // The host then starts the plug-in properly, and it draws in its own window.
    ASSERT_EQ(module->init(module), 0);
    EXPECT_EQ(renderFrames(module, 2), 2u);
    EXPECT_GT(grab.last().litCount(40), 0u);
    module->quit(module);
    EXPECT_EQ(liveWindows(), 1u); // the host's window alone
    EXPECT_EQ(liveContexts(), 0u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(HostMisuseEndToEndTest, AfterEachFailedInitRenderAndQuitAreHarmlessAndInitThenRuns)
{
    testfs::TempFolder folder("gloamer-e2e-misuse");
    std::filesystem::copy_file(GLOAMER_PLUGIN_PATH, folder / "vis_gloamer.so");
    // Each failure this platform can produce: an old host, a taken window class, a missing logo.
    for (const char* message : {"This plugin requires Winamp 5.0+", "ERRORCODE1", "Image load failed."}) {
        SCOPED_TRACE(message);
        bool noLogo = std::string(message) == "Image load failed.";
        gloamer::PluginLibrary library(noLogo ? (folder / "vis_gloamer.so").string() : GLOAMER_PLUGIN_PATH);
        VisModule* module = prepare(library, host);
        host.setVersionAnswer(std::string(message) == "ERRORCODE1" || noLogo ? 0x5000 : 0);
        WNDCLASSA taken = {};
        taken.lpfnWndProc = DefWindowProcA;
        taken.hInstance = (HINSTANCE)(intptr_t)0x7a4e;
        taken.lpszClassName = "f_gloamer";
        if (std::string(message) == "ERRORCODE1")
            ASSERT_TRUE(RegisterClassA(&taken));
        size_t windowsBefore = liveWindows();

        boxes.clear();
        EXPECT_EQ(module->init(module), 1);
        EXPECT_EQ(boxes, std::vector<std::string>{message});
        EXPECT_EQ(renderFrames(module, 3), 0u);
        EXPECT_EQ(module->quit(module), 0); // nothing of ours to unregister
        EXPECT_EQ(renderFrames(module, 1), 0u);
        EXPECT_EQ(liveWindows(), windowsBefore);
        EXPECT_EQ(liveContexts(), 0u);
        EXPECT_EQ(boxes.size(), 1u);
        if (std::string(message) == "ERRORCODE1")
            ASSERT_TRUE(UnregisterClassA("f_gloamer", taken.hInstance));
        if (noLogo)
            continue;

        host.setVersionAnswer(0x5000);
        ASSERT_EQ(module->init(module), 0);
        EXPECT_EQ(renderFrames(module, 2), 2u);
        module->quit(module);
        EXPECT_EQ(liveWindows(), windowsBefore);
        EXPECT_EQ(liveContexts(), 0u);
    }
}

TEST_F(HostMisuseEndToEndTest, InitTwiceReplacesTheWindowAndQuitTwiceOrUnstartedIsHarmless)
{
    gloamer::PluginLibrary library(GLOAMER_PLUGIN_PATH);
    VisModule* module = prepare(library, host);
    EXPECT_EQ(module->config(module), IDOK);
    module->quit(module); // quit with no init
    EXPECT_EQ(liveWindows(), 1u);

    ASSERT_EQ(module->init(module), 0);
    HWND first = host.renderWindow();
    EXPECT_EQ(renderFrames(module, 2), 2u);
    ASSERT_EQ(module->init(module), 0);
    EXPECT_TRUE(std::find(boxes.begin(), boxes.end(), "ERRORCODE1") == boxes.end());
    HWND second = host.renderWindow();
    EXPECT_NE(second, first);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(host.announcements(), (std::vector<HWND>{nullptr, first, nullptr, second}));
    EXPECT_EQ(liveWindows(), 2u); // the host's and the new render window
    EXPECT_EQ(liveContexts(), 1u);

    // The new window draws the picture a fresh start draws.
    size_t before = grab.frames.size();
    EXPECT_EQ(renderFrames(module, 2), 2u);
    EXPECT_GT(grab.frames[before].litCount(40), 0u);
    EXPECT_EQ(module->config(module), IDOK);
    EXPECT_EQ(renderFrames(module, 1), 1u);

    module->quit(module);
    module->quit(module);
    EXPECT_EQ(renderFrames(module, 1), 0u);
    EXPECT_EQ(liveWindows(), 1u);
    EXPECT_EQ(liveContexts(), 0u);
    WNDCLASSA windowClass;
    EXPECT_FALSE(GetClassInfoA((HINSTANCE)library.handle(), "f_gloamer", &windowClass));
    EXPECT_EQ(boxes, (std::vector<std::string>{"Gloamer by Tolvard.", "Gloamer by Tolvard."}));

    // And after all that, an init after quit runs as usual.
    ASSERT_EQ(module->init(module), 0);
    EXPECT_EQ(renderFrames(module, 1), 1u);
    module->quit(module);
    EXPECT_EQ(liveWindows(), 1u);
}

} // namespace
