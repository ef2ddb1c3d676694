// plugin_lifecycle_test.cpp -- init, render and quit as the host sees them: order, probe, results, what is left.
#include <algorithm>

#include "plugin/entry/callbacks.h"
#include "plugin/state/state.h"
#include "tests/support/plugin_fixture.h"

using LifecycleTest = PluginTest;

static bool sentToHost(const fake::Call& call, LPARAM operation)
{
    return call.op == "SendMessageA" && call.args[0] == (double)(uintptr_t)fake::hostWindowHandle() &&
           call.args[1] == WM_USER && call.args[3] == (double)operation;
}

TEST_F(LifecycleTest, InitWritesDefaultsProbesTheHostThenBuildsTheWindow)
{
    settings.screenWidth = 1920; // left over from an earlier window
    settings.spriteCount = 99;
    ASSERT_EQ(pluginInit(module()), 0);

    EXPECT_EQ(hostModule, module());
    EXPECT_EQ(settings.spriteCount, 5);
    EXPECT_EQ(settings.textureFilterMode, 1);
    EXPECT_EQ(settings.glowEnabled, 1);
    EXPECT_FLOAT_EQ(settings.feedbackZoom, 10.0f);
    EXPECT_FLOAT_EQ(settings.spriteSize, 10.0f);
    // The probe comes before anything is created.
    const auto& calls = fake::log().calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_TRUE(sentToHost(calls[0], HOSTMSG_VERSION_PROBE));
    EXPECT_EQ(calls[0].args[2], 0.0);
    EXPECT_EQ(fake::log().indexOf("RegisterClassA"), 1);
    // The window is built from 640 x 480 whatever the old size was: client area 590 x 430.
    EXPECT_EQ(settings.screenWidth, 590);
    EXPECT_EQ(settings.screenHeight, 430);
    EXPECT_TRUE(fake::win32().messageBoxes.empty());
}

TEST_F(LifecycleTest, OldHostIsRefusedWithItsMessageAndNothingCreated)
{
    fake::win32().hostAnswer = 0;
    EXPECT_EQ(pluginInit(module()), 1);
    ASSERT_EQ(fake::win32().messageBoxes.size(), 1u);
    EXPECT_EQ(fake::win32().messageBoxes[0].text, "This plugin requires Winamp 5.0+");
    EXPECT_EQ(fake::win32().messageBoxes[0].caption, "Gloamer");
    EXPECT_EQ(fake::win32().messageBoxes[0].owner, fake::hostWindowHandle());
    EXPECT_EQ(fake::win32().messageBoxes[0].type, MB_OK);
    EXPECT_EQ(fake::log().count("RegisterClassA"), 0u);
    EXPECT_EQ(fake::log().count("UnregisterClassA"), 0u);
    EXPECT_EQ(settings.spriteCount, 5);
    EXPECT_EQ(hostModule, module());
}

TEST_F(LifecycleTest, QuitWithdrawsTheWindowThenTearsDownAndStopsRendering)
{
    ASSERT_EQ(pluginInit(module()), 0);
    HWND window = renderWindow;
    size_t mark = fake::log().size();
    EXPECT_NE(pluginQuit(module()), 0); // the class was unregistered
    EXPECT_EQ(quitting, 1);

    const auto& calls = fake::log().calls();
    ASSERT_GT(calls.size(), mark);
    EXPECT_TRUE(sentToHost(calls[mark], HOSTMSG_SET_RENDER_WINDOW));
    EXPECT_EQ(calls[mark].args[2], 0.0);
    EXPECT_EQ(fake::log().ops(mark + 1),
              (std::vector<std::string>{"wglMakeCurrent", "wglDeleteContext", "ReleaseDC", "DestroyWindow",
                                        "UnregisterClassA"}));
    EXPECT_FALSE(fake::win32().windows.count(window));
    EXPECT_TRUE(fake::win32().classes.empty());
    EXPECT_TRUE(fake::win32().contexts.empty());
    EXPECT_TRUE(fake::win32().deviceContexts.empty());

    mark = fake::log().size();
    EXPECT_EQ(pluginRender(module()), 0);
    EXPECT_EQ(fake::log().size(), mark); // no GL call, no swap
}

TEST_F(LifecycleTest, RenderSwapsTheRenderWindowsBuffers)
{
    ASSERT_EQ(pluginInit(module()), 0);
    size_t swaps = fake::log().count("SwapBuffers");
    EXPECT_EQ(pluginRender(module()), 0);
    ASSERT_EQ(fake::log().count("SwapBuffers"), swaps + 1);
    EXPECT_EQ(fake::log().find("SwapBuffers", swaps)->args[0], (double)(uintptr_t)deviceContext);
}

TEST_F(LifecycleTest, InitAfterQuitInTheSameLoadDrawsAgain)
{
    ASSERT_EQ(pluginInit(module()), 0);
    pluginQuit(module());
    feedbackTexture = 3;
    glowTexture = 2;
    int namesBefore = nextTextureName;

    ASSERT_EQ(pluginInit(module()), 0);
    EXPECT_EQ(quitting, 0);
    EXPECT_EQ(feedbackTexture, -1);
    EXPECT_EQ(glowTexture, -1);
    EXPECT_EQ(nextTextureName, namesBefore + 1); // names keep counting up: the logo took the next one
    size_t swaps = fake::log().count("SwapBuffers");
    pluginRender(module());
    EXPECT_EQ(fake::log().count("SwapBuffers"), swaps + 1);
}
