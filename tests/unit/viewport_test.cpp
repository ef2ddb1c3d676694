// viewport_test.cpp -- viewport clamping, the perspective's numbers, GL defaults and the pixel overlay.
#include <vector>

#include "plugin/state/state.h"
#include "tests/support/plugin_fixture.h"
#include "plugin/window/gl_defaults.h"
#include "plugin/window/viewport.h"

using ViewportTest = PluginTest;

TEST_F(ViewportTest, PerspectiveFor640By480MatchesTheFixedFrustum)
{
    resizeViewport(640, 480);
    EXPECT_EQ(fake::gl().viewport, (std::array<int, 4>{0, 0, 640, 480}));
    const fake::Call* frustum = fake::log().find("glFrustum");
    ASSERT_NE(frustum, nullptr);
    EXPECT_NEAR(frustum->args[3], 0.041421357, 1e-9);  // top
    EXPECT_NEAR(frustum->args[2], -0.041421357, 1e-9); // bottom
    EXPECT_NEAR(frustum->args[1], 0.055228477, 1e-9);  // right
    EXPECT_NEAR(frustum->args[0], -0.055228477, 1e-9); // left
    EXPECT_EQ(frustum->args[4], (double)0.1f);
    EXPECT_EQ(frustum->args[5], 256.0);
    EXPECT_EQ(fake::log().ops(), (std::vector<std::string>{"glViewport", "glMatrixMode", "glLoadIdentity",
                                                           "glFrustum", "glMatrixMode", "glLoadIdentity"}));
    EXPECT_EQ(fake::gl().matrixMode, (GLenum)GL_MODELVIEW);
    EXPECT_EQ(fake::gl().top(GL_MODELVIEW), fake::identity());
}

TEST_F(ViewportTest, NonPositiveSizesAreClampedToOne)
{
    resizeViewport(0, 0);
    EXPECT_EQ(fake::gl().viewport, (std::array<int, 4>{0, 0, 1, 1}));
    EXPECT_EQ(settings.screenWidth, 1);
    EXPECT_EQ(settings.screenHeight, 1);
    const fake::Call* square = fake::log().find("glFrustum");
    EXPECT_DOUBLE_EQ(square->args[1], square->args[3]); // aspect 1

    resizeViewport(-5, 300);
    EXPECT_EQ(fake::gl().viewport, (std::array<int, 4>{0, 0, 1, 300}));
    EXPECT_EQ(settings.screenWidth, 1);
    EXPECT_EQ(settings.screenHeight, 300);
    const fake::Call* narrow = fake::log().find("glFrustum", 1);
    EXPECT_NEAR(narrow->args[1], narrow->args[3] * (double)(1.0f / 300.0f), 1e-12);
}

TEST_F(ViewportTest, DefaultsSetTheBaselineStateAndClear)
{
    EXPECT_EQ(initGlDefaults(), 1);
    EXPECT_EQ(fake::log().ops(), (std::vector<std::string>{"glEnable", "glClearColor", "glClearDepth", "glDepthFunc",
                                                           "glEnable", "glShadeModel", "glHint", "glClear"}));
    expectPassBaseline();
    EXPECT_TRUE(fake::gl().isEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(fake::gl().depthFunc, (GLenum)GL_LESS);
    EXPECT_EQ(fake::log().find("glClearColor")->args, (std::vector<double>{0, 0, 0, 0}));
    EXPECT_EQ(fake::log().find("glHint")->args, (std::vector<double>{GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST}));
    EXPECT_EQ(fake::log().find("glShadeModel")->args[0], GL_SMOOTH);
    EXPECT_EQ(fake::log().find("glClear")->args[0], GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

TEST_F(ViewportTest, OverlayMapsWindowPixelsAndRestoresBothMatrices)
{
    resizeViewport(640, 480);
    fake::Matrix projection = fake::gl().top(GL_PROJECTION);
    glTranslatef(1, 2, 3);
    fake::Matrix modelview = fake::gl().top(GL_MODELVIEW);

    pushPixelOverlay();
    EXPECT_EQ(fake::gl().matrixMode, (GLenum)GL_MODELVIEW);
    EXPECT_EQ(fake::gl().depth(GL_PROJECTION), 2u);
    EXPECT_EQ(fake::gl().depth(GL_MODELVIEW), 2u);
    EXPECT_EQ(fake::gl().top(GL_MODELVIEW), fake::identity());
    // (0, 0) lands on the top-left corner and (W, H) on the bottom-right, in clip space.
    const fake::Matrix& ortho = fake::gl().top(GL_PROJECTION);
    auto clip = [&](double x, double y) {
        return std::array<double, 2>{ortho[0] * x + ortho[4] * y + ortho[12], ortho[1] * x + ortho[5] * y + ortho[13]};
    };
    EXPECT_EQ(clip(0, 0), (std::array<double, 2>{-1, 1}));
    EXPECT_EQ(clip(640, 480), (std::array<double, 2>{1, -1}));
    EXPECT_EQ(fake::log().find("glOrtho")->args, (std::vector<double>{0, 640, 480, 0, -1, 1}));

    popPixelOverlay();
    EXPECT_EQ(fake::gl().matrixMode, (GLenum)GL_MODELVIEW);
    EXPECT_EQ(fake::gl().depth(GL_PROJECTION), 1u);
    EXPECT_EQ(fake::gl().depth(GL_MODELVIEW), 1u);
    EXPECT_EQ(fake::gl().top(GL_PROJECTION), projection);
    EXPECT_EQ(fake::gl().top(GL_MODELVIEW), modelview);
}
