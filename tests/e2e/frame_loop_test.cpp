// frame_loop_test.cpp -- the host's loop around the real plug-in: its keys, its window's close button, Ctrl-C.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <csignal>
#include <cstring>

#include "host/process/host_error.h"
#include "host/core/host_window.h"
#include "host/core/plugin_library.h"
#include "host/core/plugin_session.h"
#include "host/player/frame_loop.h"
#include "host/process/interrupt.h"

namespace {

// A feed that counts what the loop asks of it and ends after a given number of frames.
class CountingFeed : public gloamer::AudioFeed {
public:
    int framesBeforeEnd = 1000000;
    int starts = 0;
    int fills = 0;
    bool pausedNow = false;
    int checksBeforeEnd = 1000000; // ends after this many looks whatever was drawn, for a loop that draws nothing
    mutable int endChecks = 0;

    int sampleRate() const override { return 44100; }
    int channelCount() const override { return 2; }
    void start() override { ++starts; }
    void fill(VisModule& module) override
    {
        ++fills;
        std::memset(module.spectrumData, 100, sizeof(module.spectrumData));
    }
    bool ended() const override { return fills >= framesBeforeEnd || ++endChecks > checksBeforeEnd; }
    void setPaused(bool paused) override { pausedNow = paused; }
    bool paused() const override { return pausedNow; }
};

class FrameLoopTest : public ::testing::Test {
protected:
    FrameLoopTest() : library_(GLOAMER_PLUGIN_PATH), session_(library_, host_, 44100, 2) {}

    HWND renderWindow() const { return host_.renderWindow(); }
    void press(WPARAM key, HWND window = nullptr)
    {
        PostMessageA(window ? window : renderWindow(), WM_KEYDOWN, key, 1);
    }
    RECT client() const
    {
        RECT rect = {};
        GetClientRect(renderWindow(), &rect);
        return rect;
    }

    gloamer::PluginLibrary library_;
    gloamer::HostWindow host_;
    gloamer::PluginSession session_;
    CountingFeed feed_;
};

TEST_F(FrameLoopTest, RendersUntilTheFeedEndsFillingTheSpectrumBeforeEachFrame)
{
    feed_.framesBeforeEnd = 3;
    gloamer::FrameLoop loop(session_, host_, feed_);
    EXPECT_EQ(loop.run(), gloamer::LoopEnd::AudioEnded);
    EXPECT_EQ(feed_.starts, 1);
    EXPECT_EQ(feed_.fills, 3);
    EXPECT_EQ(session_.module().spectrumData[1][575], 100);
}

TEST_F(FrameLoopTest, SpacePausesAndResumesTheFeed)
{
    gloamer::FrameLoop loop(session_, host_, feed_);
    press(VK_SPACE);
    EXPECT_FALSE(loop.pumpMessages());
    EXPECT_TRUE(feed_.pausedNow);
    press(VK_SPACE);
    EXPECT_FALSE(loop.pumpMessages());
    EXPECT_FALSE(feed_.pausedNow);
}

TEST_F(FrameLoopTest, PausedTheLoopDrawsNothingAndLeavesTheLastFrameShown)
{
    feed_.pausedNow = true;
    feed_.checksBeforeEnd = 20;
    gloamer::FrameLoop loop(session_, host_, feed_);
    EXPECT_EQ(loop.run(), gloamer::LoopEnd::AudioEnded);
    EXPECT_EQ(feed_.fills, 0);
}

TEST_F(FrameLoopTest, SizeDisplayAndFullscreenOptionsApplyWhenTheLoopStarts)
{
    SDL_Rect display;
    ASSERT_EQ(SDL_GetDisplayBounds(0, &display), 0);
    feed_.framesBeforeEnd = 1;
    gloamer::FrameLoopOptions sized;
    sized.width = 320;
    sized.height = 200;
    sized.display = 1;
    gloamer::FrameLoop(session_, host_, feed_, sized).run();
    EXPECT_EQ(client().right, 320);
    EXPECT_EQ(client().bottom, 200);

    gloamer::FrameLoopOptions full;
    full.fullscreen = true;
    feed_.fills = 0;
    gloamer::FrameLoop(session_, host_, feed_, full).run();
    EXPECT_GT(client().right, display.w - 16);

    gloamer::FrameLoopOptions missing;
    missing.display = SDL_GetNumVideoDisplays() + 1;
    EXPECT_THROW(gloamer::FrameLoop(session_, host_, feed_, missing).run(), gloamer::HostError);
}

TEST_F(FrameLoopTest, FFillsTheDisplayAndGoesBackToTheWindowsSize)
{
    SDL_Rect display;
    ASSERT_EQ(SDL_GetDisplayBounds(0, &display), 0);
    gloamer::FrameLoop loop(session_, host_, feed_);
    ASSERT_EQ(client().right, 590);
    ASSERT_EQ(client().bottom, 430);

    press('F');
    EXPECT_FALSE(loop.pumpMessages());
    EXPECT_TRUE(loop.fullscreen());
    // The window with its frame covers the display; the plug-in drew to the client area that is left.
    EXPECT_GT(client().right, display.w - 16);
    EXPECT_LE(client().right, display.w);
    EXPECT_GT(client().bottom, display.h - 40);
    EXPECT_LE(client().bottom, display.h);
    loop.renderFrame();

    press('F');
    EXPECT_FALSE(loop.pumpMessages());
    EXPECT_FALSE(loop.fullscreen());
    EXPECT_EQ(client().right, 590);
    EXPECT_EQ(client().bottom, 430);
}

TEST_F(FrameLoopTest, EscapeAndQQuitButOnlyInThePluginsWindow)
{
    gloamer::FrameLoop loop(session_, host_, feed_);
    press('Q', host_.handle());
    EXPECT_FALSE(loop.pumpMessages());
    press('Q');
    EXPECT_EQ(loop.pumpMessages(), gloamer::LoopEnd::QuitKey);
    press(VK_ESCAPE);
    EXPECT_EQ(loop.pumpMessages(), gloamer::LoopEnd::QuitKey);
}

TEST_F(FrameLoopTest, TheWindowsCloseButtonEndsTheLoopThroughThePluginsQuitMessage)
{
    gloamer::FrameLoop loop(session_, host_, feed_);
    PostMessageA(renderWindow(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(loop.run(), gloamer::LoopEnd::WindowClosed);
    EXPECT_TRUE(IsWindow(renderWindow())); // the plug-in's quit, not the close, takes the window down
}

TEST_F(FrameLoopTest, CtrlCEndsTheLoopBetweenFrames)
{
    gloamer::installInterruptHandlers();
    std::raise(SIGINT);
    gloamer::FrameLoop loop(session_, host_, feed_);
    EXPECT_EQ(loop.run(), gloamer::LoopEnd::Interrupted);
    EXPECT_EQ(gloamer::interruptSignal(), SIGINT);
    gloamer::clearInterruptRequest();
}

} // namespace
