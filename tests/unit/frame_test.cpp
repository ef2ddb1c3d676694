// frame_test.cpp -- the order of a frame's passes, what each capture holds, the state each pass meets, the render callback.
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/gl.h"
#include "plugin/entry/callbacks.h"
#include "plugin/state/state.h"
#include "plugin/passes/frame.h"
#include "plugin/passes/sprite_animation.h"
#include "tests/support/plugin_fixture.h"
#include "plugin/window/gl_defaults.h"
#include "plugin/window/viewport.h"

namespace {

class FrameTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        writeDefaultSettings();
        hostModule = module();
        resizeViewport(640, 480);
        initGlDefaults();
        fake::log().reset();
    }

    void frame()
    {
        animateSprites();
        composeFrame();
    }

    static long at(const char* op, size_t nth = 0) { return fake::log().indexOf(op, nth); }

    // Position in the log of the nth call op whose first argument is value.
    static long atWith(const char* op, double value, size_t nth = 0)
    {
        const auto& calls = fake::log().calls();
        for (size_t index = 0; index < calls.size(); ++index)
            if (calls[index].op == op && !calls[index].args.empty() && calls[index].args[0] == value && nth-- == 0)
                return (long)index;
        return -1;
    }

    static void expectFrameBaseline()
    {
        expectPassBaseline();
        EXPECT_TRUE(fake::gl().isEnabled(GL_DEPTH_TEST));
        EXPECT_EQ(fake::gl().depthFunc, (GLenum)GL_LESS);
        EXPECT_EQ(fake::gl().depthMask, GL_TRUE);
        EXPECT_EQ(fake::gl().color, (std::array<float, 4>{1, 1, 1, 1}));
    }
};

TEST_F(FrameTest, GlowOnDrawsSpritesAloneCapturesThemThenTheFrameAndAddsTheGlowLast)
{
    settings.spriteCount = 2;
    animateSprites();
    fake::log().reset();
    fake::heap().recording = true;
    composeFrame();

    // Clear, white, the sprites alone, their capture into the glow texture (the first name), clear again.
    EXPECT_EQ(at("glClear"), 0);
    EXPECT_EQ(fake::log().find("glClear")->args[0], GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    EXPECT_EQ(fake::log().calls()[1].op, "glColor4f");
    EXPECT_EQ(fake::log().calls()[1].args, (std::vector<double>{1, 1, 1, 1}));
    EXPECT_LT(at("glTranslatef", 1), at("glCopyTexSubImage2D", 0));
    EXPECT_EQ(glowTexture, 1);
    EXPECT_LT(at("glCopyTexSubImage2D", 0), at("glClear", 1));
    // The trail with depth testing off (nothing to draw yet), the sprites again over it, the feedback capture.
    EXPECT_LT(at("glClear", 1), atWith("glDisable", GL_DEPTH_TEST));
    EXPECT_LT(atWith("glDisable", GL_DEPTH_TEST), atWith("glEnable", GL_DEPTH_TEST));
    EXPECT_LT(atWith("glEnable", GL_DEPTH_TEST), at("glTranslatef", 2));
    EXPECT_LT(at("glTranslatef", 3), at("glCopyTexSubImage2D", 1));
    EXPECT_EQ(feedbackTexture, 2);
    // The glow goes on after the feedback capture, so it never feeds back.
    EXPECT_LT(at("glCopyTexSubImage2D", 1), at("glBegin", 8));
    EXPECT_EQ(fake::log().count("glBegin"), 9u); // 2 sprites x 2 faces x 2 draws, one glow batch
    EXPECT_EQ(fake::gl().batches.back().size(), 120u);
    EXPECT_EQ(fake::gl().textures.at(1).copyCalls, 1);
    EXPECT_EQ(fake::gl().textures.at(2).copyCalls, 1);
    // Each record drawn twice with the same contents, released once, and the queue emptied.
    EXPECT_EQ(fake::log().find("glTranslatef", 0)->args, fake::log().find("glTranslatef", 2)->args);
    EXPECT_EQ(fake::log().find("glTranslatef", 1)->args, fake::log().find("glTranslatef", 3)->args);
    EXPECT_EQ(fake::log().count("free"), 2u);
    EXPECT_GT(at("free", 0), at("glTranslatef", 2));
    EXPECT_EQ(spriteQueue, nullptr);
    expectFrameBaseline();
}

TEST_F(FrameTest, SecondFrameDrawsTheTrailUnderTheSpritesWithoutDepthTest)
{
    frame();
    const size_t first = fake::gl().batchStates.size(); // 5 sprites x 2 faces x 2 draws, the glow
    ASSERT_EQ(first, 21u);
    fake::log().reset();
    frame();

    // Batches: 5 sprites x 2 faces for the glow capture, the trail, 10 more sprite faces, the glow.
    ASSERT_EQ(fake::gl().batchStates.size(), first + 22);
    const fake::BatchState& trail = fake::gl().batchStates[first + 10];
    EXPECT_FALSE(trail.enabled.count(GL_DEPTH_TEST));
    EXPECT_TRUE(trail.enabled.count(GL_TEXTURE_RECTANGLE_NV));
    EXPECT_EQ(trail.bound.at(GL_TEXTURE_RECTANGLE_NV), (GLuint)feedbackTexture);
    for (size_t batch : {0u, 9u, 11u, 20u}) {
        SCOPED_TRACE(batch);
        const fake::BatchState& sprite = fake::gl().batchStates[first + batch];
        EXPECT_TRUE(sprite.enabled.count(GL_DEPTH_TEST));
        EXPECT_TRUE(sprite.enabled.count(GL_TEXTURE_2D));
        EXPECT_FALSE(sprite.enabled.count(GL_TEXTURE_RECTANGLE_NV));
        EXPECT_TRUE(sprite.enabled.count(GL_ALPHA_TEST));
        EXPECT_FALSE(sprite.enabled.count(GL_BLEND));
        EXPECT_EQ(sprite.bound.at(GL_TEXTURE_2D), (GLuint)logoTexture);
    }
    const fake::BatchState& glow = fake::gl().batchStates[first + 21];
    EXPECT_FALSE(glow.enabled.count(GL_DEPTH_TEST));
    EXPECT_EQ(glow.bound.at(GL_TEXTURE_RECTANGLE_NV), (GLuint)glowTexture);
    // The trail comes after the second clear and before the frame's sprites; no new names are taken.
    EXPECT_LT(at("glClear", 1), at("glBegin", 10));
    EXPECT_EQ(nextTextureName, 3);
    EXPECT_EQ(fake::log().count("glTexImage2D"), 0u);
    expectFrameBaseline();
}

TEST_F(FrameTest, GlowOffDrawsEachSpriteOnceAfterOneClearAndNeverMakesTheGlowTexture)
{
    settings.glowEnabled = 0;
    frame();
    frame();
    EXPECT_EQ(fake::log().count("glClear"), 2u);          // one per frame
    EXPECT_EQ(fake::log().count("glTranslatef"), 10u);    // 5 sprites per frame, once each
    EXPECT_EQ(fake::log().count("glCopyTexSubImage2D"), 2u);
    EXPECT_EQ(glowTexture, -1);
    EXPECT_EQ(feedbackTexture, 1);
    // Frame two: clear, trail, sprites, capture, and no glow batch after it.
    long secondClear = at("glClear", 1);
    EXPECT_EQ(fake::log().count("glBegin"), 21u);         // 10 + 10 sprite faces, one trail
    EXPECT_LT(secondClear, at("glBegin", 10));
    EXPECT_EQ(fake::gl().batches[10].size(), 4u);
    EXPECT_GT(at("glCopyTexSubImage2D", 1), at("glEnd", 20));
    expectFrameBaseline();
}

TEST_F(FrameTest, AnEmptyQueueStillMakesAWholeFrame)
{
    settings.spriteCount = 0;
    frame();
    frame();
    EXPECT_EQ(fake::log().count("glTranslatef"), 0u);
    EXPECT_EQ(fake::log().count("glClear"), 4u);
    EXPECT_EQ(fake::log().count("glCopyTexSubImage2D"), 4u);
    // Frame one: the glow batch; frame two: the trail, then the glow batch.
    ASSERT_EQ(fake::gl().batches.size(), 3u);
    EXPECT_EQ(fake::gl().batches[0].size(), 120u);
    EXPECT_EQ(fake::gl().batches[1].size(), 4u);
    EXPECT_EQ(fake::gl().batches[2].size(), 120u);
    expectFrameBaseline();
}

TEST_F(FrameTest, RenderAnimatesComposesAndSwapsOncePerCall)
{
    fake::win32().tickCount = 31337;
    deviceContext = (HDC)(intptr_t)0x4242;
    glContext = (HGLRC)(intptr_t)0x4343;
    EXPECT_EQ(pluginRender(module()), 0);
    EXPECT_EQ(frameTime, 31337u);
    EXPECT_EQ(at("GetTickCount"), 0);
    EXPECT_EQ(at("glClear"), 1);
    EXPECT_EQ(fake::log().count("SwapBuffers"), 1u);
    EXPECT_EQ(at("SwapBuffers"), (long)fake::log().size() - 1);
    EXPECT_EQ(fake::log().find("SwapBuffers")->args[0], (double)0x4242);
    EXPECT_EQ(spriteQueue, nullptr);
}

TEST_F(FrameTest, NothingAtAllOnceQuitting)
{
    quitting = 1;
    fake::heap().recording = true;
    EXPECT_EQ(pluginRender(module()), 0);
    EXPECT_EQ(fake::log().size(), 0u);
    EXPECT_EQ(frameTime, 0u);
    EXPECT_EQ(spriteQueue, nullptr);
}

TEST_F(FrameTest, AFrameWithoutAModuleDrawsWithoutASpectrum)
{
    hostModule = nullptr; // no init has stored the module yet
    memset(module()->spectrumData, 255, sizeof(module()->spectrumData));
    frame();
    // The sprites sway about the middle, as with silence: level 0 for both channels. The last queued
    // (sprite 4, 16000 ms ahead) is drawn first.
    const fake::Call* first = fake::log().find("glTranslatef");
    ASSERT_NE(first, nullptr);
    EXPECT_FLOAT_EQ(first->args[0], (float)(6 * std::sin((double)0.0004f * 16000)));
    EXPECT_FLOAT_EQ(first->args[1], (float)(6 * std::sin((double)0.0005f * 16000)));
    EXPECT_EQ(fake::gl().batches.back()[0].color, (std::array<float, 4>{0, 0, 0, 0.2f}));
}

} // namespace
