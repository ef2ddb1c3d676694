// gl11_layer_test.cpp -- GL 1.1 rules the layer keeps where GLES would differ, on an OpenGL ES 3 context of Mesa.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/gl11_over_gles.h"
#include "platform/win32.h"

namespace {

class Gl11Layer : public ::testing::Test {
protected:
    HWND window = nullptr;
    HDC dc = nullptr;
    HGLRC context = nullptr;

    void SetUp() override
    {
        setenv("GLOAMER_GL_PROFILE", "es", 1); // read as each window is made
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = "gl11_layer_test";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
        window = CreateWindowExA(0, "gl11_layer_test", "", WS_POPUP, 0, 0, 16, 16, nullptr, nullptr, nullptr, nullptr);
        dc = GetDC(window);
        PIXELFORMATDESCRIPTOR request = {};
        request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        request.cDepthBits = 16;
        ASSERT_TRUE(SetPixelFormat(dc, ChoosePixelFormat(dc, &request), &request));
        context = startContext();
        ASSERT_NE(context, nullptr);
        ASSERT_EQ(std::string((const char*)glGetString(GL_VERSION)).rfind("OpenGL ES 3", 0), 0u);
    }

    void TearDown() override
    {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(context);
        DestroyWindow(window);
        UnregisterClassA("gl11_layer_test", nullptr);
        unsetenv("GLOAMER_GL_PROFILE");
    }

    HGLRC startContext()
    {
        HGLRC made = wglCreateContext(dc);
        wglMakeCurrent(dc, made);
        return made;
    }

    // Clears to black, fills the window with one quad of the given colour (and the texture, if enabled, from
    // corner to corner), and reads the middle back.
    static std::array<unsigned char, 3> drawQuad(float red, float green, float blue)
    {
        glClear(GL_COLOR_BUFFER_BIT);
        glColor4f(red, green, blue, 1.0f);
        glBegin(GL_QUADS);
        const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (const auto& corner : corners) {
            glTexCoord2f(corner[0], corner[1]);
            glVertex2f(corner[0] * 2 - 1, corner[1] * 2 - 1);
        }
        glEnd();
        return pixelAt(8, 8);
    }

    static std::array<unsigned char, 3> pixelAt(int x, int y)
    {
        unsigned char rgba[4] = {};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return {rgba[0], rgba[1], rgba[2]};
    }
};

TEST_F(Gl11Layer, AnIncompleteTextureDrawsAsIfTexturingWereOff)
{
    const unsigned char green[4] = {0, 255, 0, 255};
    struct Case {
        const char* texture;
        bool image;
        GLint minFilter; // 0: left at GL 1.1's mipmapping default
        std::array<unsigned char, 3> seen;
    } cases[] = {
        {"without an image", false, GL_NEAREST, {255, 255, 0}},
        {"without mipmaps but filtered with them", true, 0, {255, 255, 0}},
        {"complete", true, GL_NEAREST, {0, 255, 0}},
    };
    GLuint name = 1;
    for (const Case& c : cases) {
        glBindTexture(GL_TEXTURE_2D, name++);
        if (c.image)
            glTexImage2D(GL_TEXTURE_2D, 0, 4, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, green);
        if (c.minFilter)
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, c.minFilter);
        glEnable(GL_TEXTURE_2D);
        EXPECT_EQ(drawQuad(1.0f, 1.0f, 0.0f), c.seen) << c.texture;
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << c.texture;
    }
}

// A white 2 x 2 texture stretched over the window: under GL_CLAMP the linear filter reaches the transparent black
// border within half a texel of the edges, as the logo's outermost texels do on desktop GL.
TEST_F(Gl11Layer, ClampBlendsTheBorderInAtTheEdgesAndClampToEdgeDoesNot)
{
    const unsigned char white[16] = {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
    struct Case {
        GLint wrap;
        bool darkCorner;
    } cases[] = {{GL_CLAMP, true}, {GL_CLAMP_TO_EDGE, false}};
    GLuint name = 1;
    for (const Case& c : cases) {
        glBindTexture(GL_TEXTURE_2D, name++);
        glTexImage2D(GL_TEXTURE_2D, 0, 4, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
        for (GLenum filter : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER})
            glTexParameteri(GL_TEXTURE_2D, filter, GL_LINEAR);
        for (GLenum axis : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T})
            glTexParameteri(GL_TEXTURE_2D, axis, c.wrap);
        glEnable(GL_TEXTURE_2D);
        EXPECT_EQ(drawQuad(1.0f, 1.0f, 1.0f)[0], 255) << c.wrap;
        EXPECT_EQ(pixelAt(0, 0)[0] < 128, c.darkCorner) << c.wrap;
        EXPECT_EQ(pixelAt(8, 0)[0] < 255, c.darkCorner) << c.wrap;
    }
}

TEST_F(Gl11Layer, MisuseIsRefusedWithGl11sErrors)
{
    struct Case {
        const char* misuse;
        std::function<void()> calls;
        GLenum error;
    } cases[] = {
        {"a texture bound to the other target",
         [] {
             glBindTexture(GL_TEXTURE_2D, 7);
             glBindTexture(GL_TEXTURE_RECTANGLE_NV, 7);
         },
         GL_INVALID_OPERATION},
        {"repeat on a rectangle texture",
         [] {
             glBindTexture(GL_TEXTURE_RECTANGLE_NV, 8);
             glTexParameteri(GL_TEXTURE_RECTANGLE_NV, GL_TEXTURE_WRAP_S, GL_REPEAT);
         },
         GL_INVALID_ENUM},
        {"popping the last matrix", [] { glPopMatrix(); }, GL_STACK_UNDERFLOW},
        {"pushing past 32 matrices", [] { for (int i = 0; i < 32; ++i) glPushMatrix(); }, GL_STACK_OVERFLOW},
        {"state changed between begin and end", [] { glBegin(GL_QUADS); glEnable(GL_BLEND); glEnd(); },
         GL_INVALID_OPERATION},
        {"end without begin", [] { glEnd(); }, GL_INVALID_OPERATION},
        {"a primitive outside the subset", [] { glBegin(0x0009); }, GL_INVALID_ENUM},
    };
    for (const Case& c : cases) {
        c.calls();
        EXPECT_EQ(glGetError(), c.error) << c.misuse;
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << c.misuse;
    }
}

// A plug-in's second init draws in a new context: the layer's shader and objects must be made there afresh.
TEST_F(Gl11Layer, ANewContextStartsFromGlDefaultsAndDraws)
{
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    EXPECT_EQ(drawQuad(1.0f, 0.0f, 0.0f), (std::array<unsigned char, 3>{255, 0, 0}));
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(context);
    context = startContext();
    glPopMatrix();
    EXPECT_EQ(glGetError(), (GLenum)GL_STACK_UNDERFLOW); // the modelview stack, as deep as it starts
    EXPECT_EQ(drawQuad(0.0f, 0.0f, 1.0f), (std::array<unsigned char, 3>{0, 0, 255}));
}

} // namespace
