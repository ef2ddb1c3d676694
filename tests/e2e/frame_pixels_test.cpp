// frame_pixels_test.cpp -- vis_gloamer.so drawn on Mesa offscreen, looked at as a person would: sprites, trail, resize.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/core/host_window.h"
#include "host/core/plugin_library.h"
#include "host/core/plugin_session.h"
#include "tests/pixels/frame_grab.h"

namespace {

// At this tick, with channel 0 at bytes of 71 (level 2.50) and channel 1 at 57 (level 2.00), the sprites are
// in view with some of their edges across and along the window, as they are 40 bytes louder on either channel.
constexpr DWORD kInViewTick = 148400;
constexpr unsigned char kInView0 = 71;
constexpr unsigned char kInView1 = 57;
// At this tick, with both channels at full loudness (level 8.96), every sprite sits wholly outside the window.
constexpr DWORD kAwayTick = 26560;
constexpr unsigned char kAway = 255;
constexpr int kLit = 40;

// Shares of the window that must be lit: loose enough for a logo's thin shapes as for untextured quads.
size_t someOf(const pixels::Frame& frame, size_t divisor)
{
    return frame.rgb.size() / 3 / divisor;
}

void setSpectrum(VisModule& module, unsigned char channel0, unsigned char channel1)
{
    memset(module.spectrumData, 0, sizeof(module.spectrumData));
    memset(module.spectrumData[0], channel0, 288);
    memset(module.spectrumData[1], channel1, 288);
}

class FramePixelsTest : public ::testing::Test {
protected:
    gloamer::PluginLibrary library{GLOAMER_PLUGIN_PATH};
    gloamer::HostWindow host;
    pixels::FrameGrab grab;

    const pixels::Frame& render(gloamer::PluginSession& session, unsigned char channel0, unsigned char channel1)
    {
        setSpectrum(session.module(), channel0, channel1);
        EXPECT_TRUE(gloamer::pumpWindowMessages());
        size_t before = grab.frames.size();
        session.render();
        EXPECT_EQ(grab.frames.size(), before + 1);
        return grab.last();
    }

    // The first frame of a fresh start: sprites and glow, no trail yet.
    pixels::Frame firstFrame(unsigned char channel0, unsigned char channel1)
    {
        gloamer::PluginSession session(library, host, 44100, 2);
        return render(session, channel0, channel1);
    }

    // The sprites of a fresh start's first frame without their glow, which the feedback capture never holds: the
    // second frame, with the sprites moved away, shows them zoomed by 1.032 about the window's centre.
    pixels::Frame pictureOfSprites(unsigned char channel0, unsigned char channel1)
    {
        gloamer::PluginSession session(library, host, 44100, 2);
        return spritesThenTrail(session, channel0, channel1, 1).back();
    }

    // Sets the render window's client area, as a host or the user dragging its frame would.
    void resizeClient(int width, int height)
    {
        RECT rect = {0, 0, width, height};
        AdjustWindowRectEx(&rect, WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_APPWINDOW | WS_EX_WINDOWEDGE);
        ASSERT_TRUE(SetWindowPos(host.renderWindow(), nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                                 SWP_NOMOVE | SWP_NOZORDER));
        RECT client;
        ASSERT_TRUE(GetClientRect(host.renderWindow(), &client));
        ASSERT_EQ(client.right, width);
        ASSERT_EQ(client.bottom, height);
    }

    // Sprites in view for one frame, then moved out of the window for `after` frames: what is left is the trail.
    std::vector<pixels::Frame> spritesThenTrail(gloamer::PluginSession& session, unsigned char channel0,
                                                unsigned char channel1, int after)
    {
        std::vector<pixels::Frame> frames;
        grab.tick = kInViewTick;
        frames.push_back(render(session, channel0, channel1));
        grab.tick = kAwayTick;
        for (int frame = 0; frame < after; ++frame)
            frames.push_back(render(session, kAway, kAway));
        return frames;
    }
};

TEST_F(FramePixelsTest, SpritesMoveRightWithChannelZeroAndUpWithChannelOne)
{
    pixels::Frame middle = pictureOfSprites(kInView0, kInView1);
    pixels::Frame louder0 = pictureOfSprites(kInView0 + 40, kInView1);
    pixels::Frame louder1 = pictureOfSprites(kInView0, kInView1 + 40);
    pixels::dumpFrame(middle, "levels_middle");
    pixels::dumpFrame(louder0, "levels_louder0");
    pixels::dumpFrame(louder1, "levels_louder1");
    ASSERT_GT(middle.litCount(kLit), someOf(middle, 100));

    // A channel louder by 40 x 288 / 8192 = 1.40625 moves every sprite 2.8125 units; at z = -13 under the
    // 45-degree perspective a unit is 215 / (13 tan 22.5) = 39.93 pixels, so 112 pixels, 116 once zoomed.
    int right = pixels::bestShiftX(middle, louder0, 200);
    int down = pixels::bestShiftY(middle, louder1, 200);
    EXPECT_NEAR(right, 116, 6);
    EXPECT_NEAR(down, -116, 6); // up: rows count downward
    EXPECT_LT(pixels::shiftMismatch(middle, louder0, right, 0), 0.5 * pixels::shiftMismatch(middle, louder0, 0, 0));
    EXPECT_LT(pixels::shiftMismatch(middle, louder1, 0, down), 0.5 * pixels::shiftMismatch(middle, louder1, 0, 0));
    // Each channel moves the sprites along its own axis only: with that move made, none is left on the other.
    EXPECT_NEAR(pixels::bestShiftY(middle, louder0, 30, right), 0, 3);
    EXPECT_NEAR(pixels::bestShiftX(middle, louder1, 30, down), 0, 3);
}

TEST_F(FramePixelsTest, TrailStreamsOutwardFromWhereTheSpritesWere)
{
    gloamer::PluginSession session(library, host, 44100, 2);
    std::vector<pixels::Frame> frames = spritesThenTrail(session, kInView0, kInView1, 5);
    for (size_t index = 0; index < frames.size(); ++index)
        pixels::dumpFrame(frames[index], ("trail_" + std::to_string(index)).c_str());

    ASSERT_GT(frames[0].litCount(kLit), someOf(frames[0], 100));
    // Once the sprites have gone (and their glow with them), each frame shows the last one magnified about the
    // centre: 590 / (590 - 2 x 9.22) = 1.032 across, 430 / (430 - 2 x 6.53) = 1.031 down.
    for (size_t index = 1; index < frames.size(); ++index) {
        SCOPED_TRACE(index);
        EXPECT_GT(frames[index].litCount(kLit), someOf(frames[index], 200)); // no sprite in view, the picture remains
        if (index < 2)
            continue;
        double zoom = pixels::bestZoom(frames[index - 1], frames[index], 0.96, 1.10, 0.002);
        EXPECT_NEAR(zoom, 1.032, 0.006);
        EXPECT_LT(pixels::zoomMismatch(frames[index - 1], frames[index], zoom),
                  0.5 * pixels::zoomMismatch(frames[index - 1], frames[index], 1.0));
    }
}

TEST_F(FramePixelsTest, AfterShrinkingAndGrowingTheTrailAndGlowMatchAWindowNeverResized)
{
    std::vector<pixels::Frame> steady;
    {
        gloamer::PluginSession session(library, host, 44100, 2);
        steady = spritesThenTrail(session, kInView0, kInView1, 4);
    }

    gloamer::PluginSession session(library, host, 44100, 2);
    // Offscreen surfaces cannot grow past the size they were made with, so the window shrinks first: both
    // captures are made at 400 x 300 ...
    resizeClient(400, 300);
    grab.tick = kAwayTick;
    for (int frame = 0; frame < 2; ++frame)
        EXPECT_EQ(render(session, kAway, kAway).width, 400);
    // ... and then the window grows back past that size.
    resizeClient(590, 430);
    std::vector<pixels::Frame> resized = spritesThenTrail(session, kInView0, kInView1, 4);

    ASSERT_EQ(resized.size(), steady.size());
    for (size_t index = 0; index < steady.size(); ++index) {
        SCOPED_TRACE(index);
        pixels::dumpFrame(steady[index], ("steady_" + std::to_string(index)).c_str());
        pixels::dumpFrame(resized[index], ("resized_" + std::to_string(index)).c_str());
        ASSERT_EQ(resized[index].width, 590);
        ASSERT_EQ(resized[index].height, 430);
        EXPECT_GT(steady[index].litCount(kLit), someOf(steady[index], 200));
        EXPECT_LT(pixels::differingShare(steady[index], resized[index], 8), 0.002);
    }
}

TEST_F(FramePixelsTest, RenderBeforeInitIsHarmlessAndInitThenDrawsAsUsual)
{
    grab.tick = kInViewTick;
    VisModule* module = library.module();
    setSpectrum(*module, kInView0, kInView1);
    // Some hosts render before they initialise: no window, no context, no module fields yet.
    EXPECT_EQ(module->render(module), 0);
    EXPECT_TRUE(grab.frames.empty());

    pixels::Frame first = firstFrame(kInView0, kInView1);
    EXPECT_GT(first.litCount(kLit), someOf(first, 100));
}

} // namespace
