// sprite_animation_test.cpp -- spectrum levels, and the sprites a frame queues, against values worked out from the formulas.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/gl.h"
#include "plugin/state/state.h"
#include "plugin/passes/spectrum_level.h"
#include "plugin/passes/sprite_animation.h"
#include "plugin/passes/sprite_queue.h"
#include "tests/support/plugin_fixture.h"

namespace {

class SpriteAnimationTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        writeDefaultSettings();
        hostModule = module();
    }

    // Every byte of the counted half of a channel set to one value.
    void fillChannel(int channel, unsigned char value) { memset(module()->spectrumData[channel], value, 288); }

    std::vector<Sprite> queued() const
    {
        std::vector<Sprite> sprites;
        for (Sprite* record = spriteQueue; record; record = record->next)
            sprites.push_back(*record);
        return sprites;
    }
};

TEST_F(SpriteAnimationTest, LevelIsTheLowerHalfOfTheSpectrumOver8192)
{
    fillChannel(0, 100);
    fillChannel(1, 255);
    // Bytes past the first 288 never count.
    memset(module()->spectrumData[0] + 288, 255, 288);
    memset(module()->spectrumData[1] + 288, 255, 288);
    EXPECT_FLOAT_EQ(spectrumLevel(0), 288 * 100 / 8192.0f); // 3.515625
    EXPECT_EQ(spectrumLevel(1), 8.96484375f);              // 288 * 255 / 8192, the largest level

    module()->spectrumData[0][287] = 0;
    EXPECT_FLOAT_EQ(spectrumLevel(0), (287 * 100) / 8192.0f);
}

TEST_F(SpriteAnimationTest, MissingChannelsFallBackToChannelZeroOrSilence)
{
    fillChannel(0, 40);
    fillChannel(1, 200);
    module()->channelCount = 1;
    EXPECT_FLOAT_EQ(spectrumLevel(1), 288 * 40 / 8192.0f);
    EXPECT_EQ(spectrumLevel(1), spectrumLevel(0));
    module()->channelCount = 0;
    EXPECT_EQ(spectrumLevel(0), 0.0f);
    EXPECT_EQ(spectrumLevel(1), 0.0f);
    module()->channelCount = -3;
    EXPECT_EQ(spectrumLevel(1), 0.0f);
    // Before any init there is no module at all.
    hostModule = nullptr;
    EXPECT_EQ(spectrumLevel(0), 0.0f);
}

TEST_F(SpriteAnimationTest, DefaultSpritesSwayAndShiftWithTheLevels)
{
    fake::win32().tickCount = 123456;
    fillChannel(0, 64); // level 288 * 64 / 8192 = 2.25
    fillChannel(1, 32); // level 1.125
    animateSprites();

    EXPECT_EQ(frameTime, 123456u);
    std::vector<Sprite> sprites = queued();
    ASSERT_EQ(sprites.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        double t = 123456.0 + 4000.0 * i;
        EXPECT_FLOAT_EQ(sprites[i].x, (float)(0.6 * 10 * std::sin((double)0.0004f * t) + 2 * 2.25));
        EXPECT_FLOAT_EQ(sprites[i].y, (float)(0.6 * 10 * std::sin((double)0.0005f * t) + 2 * 1.125));
        EXPECT_EQ(sprites[i].z, -13.0f);
        EXPECT_EQ(sprites[i].angleX, 0.0f);
        EXPECT_EQ(sprites[i].angleY, 0.0f);
        EXPECT_EQ(sprites[i].angleZ, 180.0f);
        EXPECT_EQ(sprites[i].halfWidth, 10.0f);
        EXPECT_EQ(sprites[i].halfHeight, 10.0f);
        EXPECT_EQ(sprites[i].blendSrc, GL_ONE_MINUS_SRC_COLOR);
        EXPECT_EQ(sprites[i].blendDst, GL_ONE_MINUS_DST_COLOR);
        EXPECT_EQ(sprites[i].alphaTest, GL_GREATER);
        EXPECT_EQ(sprites[i].noDepthWrite, 0);
        EXPECT_EQ(sprites[i].backTexture, -1);
    }
    // Sprite 2 by hand: t = 131456, sin(52.5824) = 0.734327, sin(65.728) = 0.242989.
    EXPECT_NEAR(sprites[2].x, 6 * 0.734327 + 4.5, 1e-4);
    EXPECT_NEAR(sprites[2].y, 6 * 0.242989 + 2.25, 1e-4);
}

TEST_F(SpriteAnimationTest, ASingleSpriteSitsStillWhateverTheSpectrum)
{
    settings.spriteCount = 1;
    settings.spriteSize = 4.0f;
    fillChannel(0, 255);
    fake::win32().tickCount = 99999;
    srand(3);
    float step = (float)((rand() % 10 - 2) * (double)0.2f);
    srand(3);
    animateSprites();
    std::vector<Sprite> sprites = queued();
    ASSERT_EQ(sprites.size(), 1u);
    EXPECT_FLOAT_EQ(sprites[0].x, 0.35714287f * 4); // 1.4285715
    EXPECT_EQ(sprites[0].y, 2.0f);
    EXPECT_EQ(sprites[0].z, -13.0f);
    EXPECT_EQ(sprites[0].halfWidth, 4.0f);
    EXPECT_EQ(spinAngle[0], step); // the walk goes on even for the lone sprite
}

TEST_F(SpriteAnimationTest, SpritesPastFiftyCircleTheAxisIgnoringTheSpectrum)
{
    settings.spriteCount = 60;
    fillChannel(0, 255);
    fillChannel(1, 255);
    fake::win32().tickCount = 5000;
    animateSprites();
    std::vector<Sprite> sprites = queued();
    ASSERT_EQ(sprites.size(), 60u);

    // Sprite 50 still follows the spectrum: level 8.96484375 adds 17.9296875.
    double t50 = 5000.0 + 4000.0 * 50;
    EXPECT_FLOAT_EQ(sprites[50].x, (float)(6 * std::sin((double)0.0004f * t50) + 17.9296875));
    // Sprite 51: radius 0.6 * 10 * 0.1 * 21 = 12.6, angle 0.001 * 209000 = 209 rad.
    double t51 = 5000.0 + 4000.0 * 51;
    double rho51 = (double)0.1f * 21;
    EXPECT_FLOAT_EQ(sprites[51].x, (float)(0.6 * 10 * rho51 * std::sin((double)0.001f * t51)));
    EXPECT_FLOAT_EQ(sprites[51].y, (float)(0.6 * 10 * rho51 * std::cos((double)0.001f * t51)));
    EXPECT_NEAR(std::hypot(sprites[51].x, sprites[51].y), 12.6, 1e-5);
    // Sprite 59: radius 0.6 * 10 * 0.1 * 29 = 17.4.
    EXPECT_NEAR(std::hypot(sprites[59].x, sprites[59].y), 17.4, 1e-5);
    double t59 = 5000.0 + 4000.0 * 59;
    EXPECT_FLOAT_EQ(sprites[59].x, (float)(6 * (double)0.1f * 29 * std::sin((double)0.001f * t59)));
}

TEST_F(SpriteAnimationTest, TumbleAndSpinTurnAndResizeTheSprites)
{
    settings.tumbleMode = 1;
    settings.spinEnabled = 1;
    settings.spriteCount = 3;
    settings.spriteSize = 5.0f;
    fake::win32().tickCount = 7000;
    srand(42);
    std::vector<float> expectedSpin(3);
    for (int i = 0; i < 3; ++i)
        expectedSpin[i] = (float)((rand() % 10 - 2) * (double)0.2f);
    srand(42);
    animateSprites();

    std::vector<Sprite> sprites = queued();
    ASSERT_EQ(sprites.size(), 3u);
    float wobble = 0.2f * 5.0f; // rounded to single precision before it meets the sines
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(sprites[i].angleX, (float)(90 * std::sin((double)0.0001f * 7000) + 90)); // 148.0
        EXPECT_EQ(sprites[i].angleY, 20.0f * i + 120);
        EXPECT_EQ(sprites[i].angleZ, expectedSpin[i]);
        EXPECT_FLOAT_EQ(sprites[i].halfHeight, (float)(5 + wobble * std::sin((double)0.0001f * 7000)));
        EXPECT_FLOAT_EQ(sprites[i].halfWidth, (float)(5 + wobble * std::sin((double)0.0002f * 7000)));
    }
    EXPECT_NEAR(sprites[0].angleX, 90 * 0.644218 + 90, 1e-3);

    // Spin without tumble: angleZ follows each sprite's own time; spinAngle keeps stepping unseen.
    settings.tumbleMode = 0;
    drawSpriteList(spriteQueue, 1);
    spriteQueue = nullptr;
    animateSprites();
    sprites = queued();
    for (int i = 0; i < 3; ++i)
        EXPECT_FLOAT_EQ(sprites[i].angleZ, (float)(90 * std::sin((double)0.001f * (7000.0 + 4000 * i))));
}

TEST_F(SpriteAnimationTest, SpinAnglesTakeOneRandomStepPerSpritePerFrame)
{
    srand(9);
    std::vector<double> expected(5, 0.0);
    for (int frame = 0; frame < 3; ++frame)
        for (int i = 0; i < 5; ++i)
            expected[i] = (float)(expected[i] + (rand() % 10 - 2) * (double)0.2f);
    srand(9);
    for (int frame = 0; frame < 3; ++frame) {
        animateSprites();
        drawSpriteList(spriteQueue, 1);
        spriteQueue = nullptr;
    }
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(spinAngle[i], (float)expected[i]);
    EXPECT_EQ(spinAngle[5], 0.0f);
}

TEST_F(SpriteAnimationTest, CountsOutsideZeroToAThousandAreClamped)
{
    fake::win32().tickCount = 77;
    settings.spriteCount = -4;
    animateSprites();
    EXPECT_EQ(frameTime, 77u);
    EXPECT_EQ(spriteQueue, nullptr);
    EXPECT_EQ(spinAngle[0], 0.0f);
    int next = rand(); // no rand() was taken: the sequence is where the fixture left it
    srand(1);
    EXPECT_EQ(rand(), next);

    settings.spriteCount = 5000;
    animateSprites();
    EXPECT_EQ(queued().size(), 1000u);
}

TEST_F(SpriteAnimationTest, TicksNearTheWrapAndPastHalfwayStayUnsigned)
{
    fake::win32().tickCount = 0xFFFFFFFFu - 1000; // sprite 1's time wraps to 2999
    animateSprites();
    std::vector<Sprite> sprites = queued();
    ASSERT_EQ(sprites.size(), 5u);
    EXPECT_FLOAT_EQ(sprites[0].x, (float)(6 * std::sin((double)0.0004f * 4294966295.0)));
    EXPECT_FLOAT_EQ(sprites[1].x, (float)(6 * std::sin((double)0.0004f * 2999.0)));
    EXPECT_FLOAT_EQ(sprites[4].y, (float)(6 * std::sin((double)0.0005f * 14999.0)));
}

TEST_F(SpriteAnimationTest, ARecordTheHeapCannotSupplyIsSkippedForTheFrame)
{
    fake::win32().tickCount = 1000;
    fake::heap().recording = true;
    fake::heap().failing = {1};
    animateSprites();
    std::vector<Sprite> sprites = queued();
    ASSERT_EQ(sprites.size(), 4u);
    EXPECT_FLOAT_EQ(sprites[0].x, (float)(6 * std::sin((double)0.0004f * 1000.0)));
    EXPECT_FLOAT_EQ(sprites[1].x, (float)(6 * std::sin((double)0.0004f * 9000.0))); // sprite 2
    EXPECT_EQ(fake::log().count("malloc"), 5u);
}

} // namespace
