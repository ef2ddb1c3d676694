// captures_test.cpp -- capture textures (creation, reuse, new storage after a resize), the feedback and the glow layers.
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/gl.h"
#include "plugin/state/state.h"
#include "plugin/passes/captures.h"
#include "tests/support/plugin_fixture.h"
#include "plugin/window/gl_defaults.h"
#include "plugin/window/viewport.h"

namespace {

class CapturesTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        writeDefaultSettings();
        hostModule = module();
        initGlDefaults(); // the baseline every pass starts from and must leave
        fake::log().reset();
    }

    void resize(int width, int height)
    {
        settings.screenWidth = width;
        settings.screenHeight = height;
    }

    // Corner k of a window layer: vertex and texel as the passes must send them.
    struct Corner {
        double x, y, s, t;
    };
    static std::vector<Corner> layer(double width, double height, double insetX, double insetY)
    {
        return {{0, 0, insetX, height - insetY},
                {0, height, insetX, insetY},
                {width, height, width - insetX, insetY},
                {width, 0, width - insetX, height - insetY}};
    }

    static void expectCorners(const std::vector<fake::Vertex>& vertices, size_t first, const std::vector<Corner>& corners)
    {
        ASSERT_GE(vertices.size(), first + 4);
        for (size_t k = 0; k < 4; ++k) {
            SCOPED_TRACE(first + k);
            EXPECT_FLOAT_EQ(vertices[first + k].x, corners[k].x);
            EXPECT_FLOAT_EQ(vertices[first + k].y, corners[k].y);
            EXPECT_NEAR(vertices[first + k].s, corners[k].s, 2e-4);
            EXPECT_NEAR(vertices[first + k].t, corners[k].t, 2e-4);
        }
    }
};

TEST_F(CapturesTest, LengthsAreGivenFor640By480)
{
    EXPECT_EQ(scaleX(10.0f), 10.0f);
    EXPECT_FLOAT_EQ(scaleY(7.5f), 7.5f); // 0.0020833334 lies just above 1/480
    resize(1280, 720);
    EXPECT_FLOAT_EQ(scaleX(10.0f), 20.0f); // 1280 / 640 * 10
    EXPECT_FLOAT_EQ(scaleY(10.0f), 15.0f); // 720 / 480 * 10
}

TEST_F(CapturesTest, FirstCaptureMakesTheTextureUnderTheNextNameThenOnlyCopies)
{
    nextTextureName = 4;
    captureFeedback();
    EXPECT_EQ(feedbackTexture, 4);
    EXPECT_EQ(nextTextureName, 5);
    EXPECT_EQ(fake::log().ops(), (std::vector<std::string>{"glBindTexture", "glTexImage2D", "glTexParameteri",
                                                           "glTexParameteri", "glTexParameteri", "glTexParameteri",
                                                           "glDisable", "glEnable", "glBindTexture",
                                                           "glCopyTexSubImage2D", "glDisable", "glEnable"}));
    EXPECT_EQ(fake::log().find("glTexImage2D")->args,
              (std::vector<double>{GL_TEXTURE_RECTANGLE_NV, 0, GL_RGBA, 640, 480, 0, GL_RGBA, GL_FLOAT, 0}));
    const fake::Texture& texture = fake::gl().textures.at(4);
    EXPECT_EQ(texture.target, (GLenum)GL_TEXTURE_RECTANGLE_NV);
    EXPECT_EQ(texture.params.at(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(texture.params.at(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(texture.params.at(GL_TEXTURE_WRAP_S), GL_CLAMP);
    EXPECT_EQ(texture.params.at(GL_TEXTURE_WRAP_T), GL_CLAMP);
    EXPECT_EQ(fake::log().find("glCopyTexSubImage2D")->args,
              (std::vector<double>{GL_TEXTURE_RECTANGLE_NV, 0, 0, 0, 0, 0, 640, 480}));
    expectPassBaseline();

    fake::log().reset();
    captureFeedback();
    EXPECT_EQ(fake::log().ops(), (std::vector<std::string>{"glDisable", "glEnable", "glBindTexture",
                                                           "glCopyTexSubImage2D", "glDisable", "glEnable"}));
    EXPECT_EQ(nextTextureName, 5);
    EXPECT_EQ(fake::gl().textures.at(4).copyCalls, 2);
    EXPECT_EQ(glowTexture, -1);
}

TEST_F(CapturesTest, AResizedWindowGetsNewStorageUnderTheSameName)
{
    captureGlow();
    captureFeedback();
    ASSERT_EQ(glowTexture, 1);
    ASSERT_EQ(feedbackTexture, 2);

    // Grown (to fullscreen, say): a copy of the whole window would not fit the old storage.
    resize(1920, 1080);
    fake::log().reset();
    captureFeedback();
    EXPECT_EQ(fake::log().ops(), (std::vector<std::string>{"glDisable", "glEnable", "glBindTexture", "glTexImage2D",
                                                           "glCopyTexSubImage2D", "glDisable", "glEnable"}));
    EXPECT_EQ(fake::log().find("glBindTexture")->args, (std::vector<double>{GL_TEXTURE_RECTANGLE_NV, 2}));
    EXPECT_EQ(fake::log().find("glTexImage2D")->args,
              (std::vector<double>{GL_TEXTURE_RECTANGLE_NV, 0, GL_RGBA, 1920, 1080, 0, GL_RGBA, GL_FLOAT, 0}));
    EXPECT_EQ(fake::log().find("glCopyTexSubImage2D")->args,
              (std::vector<double>{GL_TEXTURE_RECTANGLE_NV, 0, 0, 0, 0, 0, 1920, 1080}));
    EXPECT_EQ(feedbackTexture, 2);
    EXPECT_EQ(nextTextureName, 3);
    EXPECT_EQ(fake::gl().textures.at(2).width, 1920);
    EXPECT_EQ(fake::gl().textures.at(2).height, 1080);
    EXPECT_EQ(fake::gl().textures.at(2).params.at(GL_TEXTURE_MIN_FILTER), GL_LINEAR); // kept with the name

    // Each capture keeps its own size: the glow's storage follows on its own next capture.
    EXPECT_EQ(fake::gl().textures.at(1).width, 640);
    captureGlow();
    EXPECT_EQ(fake::gl().textures.at(1).width, 1920);
    EXPECT_EQ(glowTexture, 1);

    // Shrinking gives new storage too; an unchanged size gives none.
    resize(300, 200);
    captureFeedback();
    EXPECT_EQ(fake::gl().textures.at(2).width, 300);
    int images = fake::gl().textures.at(2).imageCalls;
    captureFeedback();
    EXPECT_EQ(fake::gl().textures.at(2).imageCalls, images);
    EXPECT_EQ(nextTextureName, 3);
    expectPassBaseline();
}

TEST_F(CapturesTest, FeedbackWithoutACaptureMakesNoCallAtAll)
{
    drawFeedback();
    EXPECT_EQ(fake::log().size(), 0u);
}

TEST_F(CapturesTest, FeedbackLayerAtDefaultsZoomsTenAndSevenAndAHalf)
{
    feedbackTexture = 2;
    drawIntensity = 0.75f;
    frameTime = 40000; // sin(4) = -0.757: the grey stays at its floor of 1.0
    drawFeedback();

    ASSERT_EQ(fake::gl().batches.size(), 1u);
    expectCorners(fake::gl().batches[0], 0, layer(640, 480, 10, 7.5));
    EXPECT_EQ(fake::gl().batches[0][0].color, (std::array<float, 4>{1, 1, 1, 1}));
    const fake::BatchState& state = fake::gl().batchStates[0];
    EXPECT_TRUE(state.enabled.count(GL_BLEND));
    EXPECT_TRUE(state.enabled.count(GL_TEXTURE_RECTANGLE_NV));
    EXPECT_FALSE(state.enabled.count(GL_TEXTURE_2D));
    EXPECT_EQ(state.bound.at(GL_TEXTURE_RECTANGLE_NV), 2u);
    EXPECT_EQ(fake::gl().blendSrc, (GLenum)GL_ONE);
    EXPECT_EQ(fake::gl().blendDst, (GLenum)GL_ONE_MINUS_SRC_COLOR);
    // Drawn through the pixel overlay, which is gone again afterwards.
    EXPECT_EQ(fake::log().find("glOrtho")->args, (std::vector<double>{0, 640, 480, 0, -1, 1}));
    expectPassBaseline();
    EXPECT_EQ(fake::gl().color, (std::array<float, 4>{0.75f, 0.75f, 0.75f, 1}));
}

TEST_F(CapturesTest, FeedbackGreyRidesTheSlowSineAndTheTickCountStaysUnsigned)
{
    feedbackTexture = 2;
    frameTime = 10000; // sin(1) + 1 = 1.841471, sent to GL above 1.0 unchanged
    drawFeedback();
    EXPECT_NEAR(fake::gl().batches[0][0].color[0], 1.841471, 1e-6);

    // Past 2^31 ms: sin(300300) = 0.99164 as an unsigned count; read as signed (-1291967296) the sine would be
    // -0.95459 and the grey would sit at its floor.
    fake::resetGl();
    frameTime = 3003000000u;
    drawFeedback();
    EXPECT_NEAR(fake::gl().batches[0][0].color[0], 1.99164, 1e-5);
}

TEST_F(CapturesTest, PulsingZoomSwingsBetweenOneAndThreeTimesTheInsets)
{
    feedbackTexture = 2;
    settings.feedbackPulse = 1;
    resize(800, 600);
    // sin(0.001 t) = 1 at t = 1571 (pi/2 s): zoom 3 x 10 = 30, insets 800/640 x 30 and 600/480 x 600/800 x 30.
    frameTime = 1571;
    drawFeedback();
    expectCorners(fake::gl().batches[0], 0, layer(800, 600, 37.5, 28.125));
    // sin = -1 at t = 4712: zoom 10, insets 12.5 and 9.375.
    fake::resetGl();
    frameTime = 4712;
    drawFeedback();
    expectCorners(fake::gl().batches[0], 0, layer(800, 600, 12.5, 9.375));
}

TEST_F(CapturesTest, DoublePassAddsAnIdenticalFaintQuad)
{
    feedbackTexture = 2;
    settings.feedbackDoublePass = 1;
    resize(1280, 480); // a wide window zooms less vertically: 20 and 480/480 x 480/1280 x 10 = 3.75
    frameTime = 40000;
    drawFeedback();
    ASSERT_EQ(fake::gl().batches.size(), 2u);
    expectCorners(fake::gl().batches[0], 0, layer(1280, 480, 20, 3.75));
    expectCorners(fake::gl().batches[1], 0, layer(1280, 480, 20, 3.75));
    EXPECT_EQ(fake::gl().batches[0][0].color, (std::array<float, 4>{1, 1, 1, 1}));
    EXPECT_EQ(fake::gl().batches[1][0].color, (std::array<float, 4>{0.04f, 0.04f, 0.04f, 1}));
    expectPassBaseline();
}

TEST_F(CapturesTest, GlowIsThirtyLayersInOneBatchTintedByTheLevels)
{
    glowTexture = 1;
    drawIntensity = 1.0f;
    memset(module()->spectrumData[0], 200, 288); // level 7.03125: above 1.0 and passed on unchanged
    memset(module()->spectrumData[1], 16, 288);  // level 0.5625
    drawGlow();

    EXPECT_EQ(fake::log().count("glBegin"), 1u);
    ASSERT_EQ(fake::gl().batches.size(), 1u);
    const auto& vertices = fake::gl().batches[0];
    ASSERT_EQ(vertices.size(), 120u);
    for (int k = 0; k < 30; ++k) {
        SCOPED_TRACE(k);
        expectCorners(vertices, 4 * k, layer(640, 480, 10 + 10 * k, 7.5 + 7.5 * k));
        const auto& color = vertices[4 * k].color;
        EXPECT_FLOAT_EQ(color[0], 7.03125f);
        EXPECT_FLOAT_EQ(color[1], 0.5625f);
        EXPECT_FLOAT_EQ(color[2], 7.03125f);
        EXPECT_NEAR(color[3], 0.2 - k / 150.0, 1e-6);
    }
    // The last layer samples the middle 40 x 30 texels.
    EXPECT_NEAR(vertices[116].s, 300, 1e-3);
    EXPECT_NEAR(vertices[118].s, 340, 1e-3);
    EXPECT_NEAR(vertices[116].t, 255, 1e-3);
    EXPECT_NEAR(vertices[117].t, 225, 1e-3);

    const fake::BatchState& state = fake::gl().batchStates[0];
    EXPECT_TRUE(state.enabled.count(GL_BLEND));
    EXPECT_FALSE(state.enabled.count(GL_DEPTH_TEST));
    EXPECT_EQ(state.bound.at(GL_TEXTURE_RECTANGLE_NV), 1u);
    EXPECT_EQ(fake::gl().blendSrc, (GLenum)GL_SRC_ALPHA);
    EXPECT_EQ(fake::gl().blendDst, (GLenum)GL_ONE);
    expectPassBaseline();
    EXPECT_TRUE(fake::gl().isEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(fake::gl().color, (std::array<float, 4>{1, 1, 1, 1}));
}

TEST_F(CapturesTest, OnlyTheGlowsFirstInsetsAreScaledToTheWindow)
{
    glowTexture = 1;
    resize(1280, 480);
    drawGlow();
    const auto& vertices = fake::gl().batches[0];
    // First insets 1280/640 x 10 = 20 and 480/1280 x 10 = 3.75, then steps of 10 and 3.75 window pixels.
    expectCorners(vertices, 0, layer(1280, 480, 20, 3.75));
    expectCorners(vertices, 4, layer(1280, 480, 30, 7.5));
    expectCorners(vertices, 116, layer(1280, 480, 20 + 290, 3.75 * 30));
}

} // namespace
