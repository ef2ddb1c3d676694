// glow_test.cpp -- the glow on the real GL: around the sprites, tinted by the levels, and absent when switched off.
//
// The switch is a setting inside the plug-in that no host can reach, so this test links the plug-in's core itself
// against the same platform layer and Mesa that vis_gloamer.so uses, and sets it between init and render.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <utility>

#include "host/core/host_window.h"
#include "plugin/entry/callbacks.h"
#include "plugin/entry/entry.h"
#include "plugin/state/state.h"
#include "tests/pixels/frame_grab.h"

namespace {

constexpr int kLit = 40;

// Bytes of 28 over the counted 288 give a level of 288 x 28 / 8192 = 0.984: a full-strength tint; bytes of 8
// give 0.28, a glow that lights the window without saturating near the sprite.
constexpr unsigned char kLoud = 28;
constexpr unsigned char kSoft = 8;

class GlowTest : public ::testing::Test {
protected:
    gloamer::HostWindow host;
    // Only for its file name: the logo is looked for beside the plug-in library.
    HMODULE plugin = LoadLibraryA(GLOAMER_PLUGIN_PATH);
    pixels::FrameGrab grab;

    ~GlowTest() override
    {
        if (plugin)
            FreeLibrary(plugin);
    }

    // The first frame of a fresh start with one small sprite, which stays put whatever the spectrum says.
    pixels::Frame firstFrame(int glowEnabled, unsigned char channel0, unsigned char channel1)
    {
        VisModule* module = getModule(0);
        module->parentWindow = host.handle();
        module->libraryInstance = (HINSTANCE)plugin;
        module->sampleRate = 44100;
        module->channelCount = 2;
        EXPECT_EQ(pluginInit(module), 0);
        settings.spriteCount = 1;
        settings.spriteSize = 2.0f;
        settings.glowEnabled = glowEnabled;
        memset(module->spectrumData, 0, sizeof(module->spectrumData));
        memset(module->spectrumData[0], channel0, 288);
        memset(module->spectrumData[1], channel1, 288);
        size_t before = grab.frames.size();
        pluginRender(module);
        pluginQuit(module);
        EXPECT_EQ(grab.frames.size(), before + 1);
        return grab.frames.at(before);
    }
};

// Distance in pixels (8-neighbour steps) from each pixel to the nearest lit one.
std::vector<int> distanceFromLit(const pixels::Frame& frame)
{
    std::vector<int> distance((size_t)frame.width * frame.height, -1);
    std::deque<std::pair<int, int>> open;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
            if (frame.value(x, y) > kLit) {
                distance[(size_t)y * frame.width + x] = 0;
                open.push_back({x, y});
            }
    while (!open.empty()) {
        auto [x, y] = open.front();
        open.pop_front();
        int next = distance[(size_t)y * frame.width + x] + 1;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                int nx = x + dx, ny = y + dy;
                if (nx < 0 || ny < 0 || nx >= frame.width || ny >= frame.height)
                    continue;
                int& seen = distance[(size_t)ny * frame.width + nx];
                if (seen < 0) {
                    seen = next;
                    open.push_back({nx, ny});
                }
            }
    }
    return distance;
}

// Per channel, the largest amount by which `with` is brighter than `without`, and the sum of those amounts.
struct Added {
    int most[3] = {0, 0, 0};
    double total[3] = {0, 0, 0};
};

Added added(const pixels::Frame& without, const pixels::Frame& with)
{
    Added result;
    for (size_t index = 0; index < with.rgb.size(); ++index) {
        int channel = (int)(index % 3);
        int more = (int)with.rgb[index] - (int)without.rgb[index];
        result.most[channel] = std::max(result.most[channel], more);
        result.total[channel] += std::max(more, 0);
    }
    return result;
}

TEST_F(GlowTest, GlowBrightensAroundTheSpritesAndIsGoneWhenSwitchedOff)
{
    grab.tick = 5000;
    // With both levels at 0 the glow layers add nothing: the sprites alone.
    pixels::Frame alone = firstFrame(1, 0, 0);
    pixels::Frame glowing = firstFrame(1, kSoft, kSoft);
    pixels::Frame switchedOff = firstFrame(0, kLoud, kLoud);
    pixels::dumpFrame(alone, "glow_alone");
    pixels::dumpFrame(glowing, "glow_on");
    pixels::dumpFrame(switchedOff, "glow_off");

    const size_t area = alone.rgb.size() / 3;
    ASSERT_GT(alone.litCount(kLit), area / 100);
    ASSERT_LT(alone.litCount(kLit), area / 2);
    EXPECT_EQ(pixels::differingShare(alone, switchedOff, 1), 0.0);
    EXPECT_GT(pixels::differingShare(alone, glowing, 8), 0.05);

    std::vector<int> distance = distanceFromLit(alone);
    double near = 0, far = 0;
    size_t nearCount = 0, farCount = 0;
    for (int y = 0; y < alone.height; ++y)
        for (int x = 0; x < alone.width; ++x) {
            int away = distance[(size_t)y * alone.width + x];
            const unsigned char* on = glowing.at(x, y);
            const unsigned char* off = alone.at(x, y);
            double gain = (on[0] + on[1] + on[2]) - (off[0] + off[1] + off[2]);
            if (away >= 1 && away <= 24) {
                near += gain;
                ++nearCount;
            } else if (away >= 120) {
                far += gain;
                ++farCount;
            }
        }
    ASSERT_GT(nearCount, 1000u);
    ASSERT_GT(farCount, 1000u);
    near /= nearCount;
    far /= farCount;
    EXPECT_GT(near, 25.0); // of 765: a visible halo along the logo's thin strokes
    EXPECT_GT(near, 3 * far) << "near " << near << ", far " << far;
    EXPECT_GT(far, 0.0);
}

TEST_F(GlowTest, ChannelZeroTintsTheGlowRedAndBlueAndChannelOneGreen)
{
    grab.tick = 5000;
    pixels::Frame alone = firstFrame(1, 0, 0);
    Added magenta = added(alone, firstFrame(1, kLoud, 0));
    Added green = added(alone, firstFrame(1, 0, kLoud));
    const double area = alone.rgb.size() / 3.0;

    EXPECT_EQ(magenta.most[1], 0);
    EXPECT_GT(magenta.total[0] + magenta.total[2], 20 * area);
    EXPECT_EQ(green.most[0], 0);
    EXPECT_EQ(green.most[2], 0);
    EXPECT_GT(green.total[1], 10 * area);
}

} // namespace
