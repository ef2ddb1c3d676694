// platform_layer_test.cpp -- the SDL2 Win32 subset on its own: client sizes, resizable offscreen surfaces, hooks.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL2/SDL.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/hooks.h"
#include "platform/win32.h"
#include "tests/support/gl_window.h"

namespace {

std::vector<UINT> messagesSeen;
std::vector<LPARAM> sizesSeen;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    messagesSeen.push_back(message);
    if (message == WM_SIZE)
        sizesSeen.push_back(lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

class PlatformLayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        messagesSeen.clear();
        sizesSeen.clear();
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = recordingProc;
        windowClass.lpszClassName = "platform_test";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
        gl.emplace("platform_test", nullptr, WS_CAPTION | WS_SYSMENU, 320, 200);
        ASSERT_TRUE(gl->ready());
        window = gl->window();
        dc = gl->deviceContext();
    }

    void TearDown() override
    {
        gloamerSetPresentHook(nullptr, nullptr);
        gloamerSetTickSource(nullptr, nullptr);
        gl.reset();
        EXPECT_TRUE(UnregisterClassA("platform_test", nullptr));
    }

    static std::array<unsigned char, 3> pixelAt(int x, int y)
    {
        std::array<unsigned char, 4> rgba{};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return {rgba[0], rgba[1], rgba[2]};
    }

    std::optional<testgl::GlWindow> gl;
    HWND window = nullptr;
    HDC dc = nullptr;
};

TEST_F(PlatformLayerTest, CreationSendsCreateThenTheClientSizeThatAdjustWindowRectPromised)
{
    ASSERT_GE(messagesSeen.size(), 2u);
    EXPECT_EQ(messagesSeen[0], (UINT)WM_CREATE);
    EXPECT_EQ(messagesSeen[1], (UINT)WM_SIZE);
    EXPECT_EQ(sizesSeen.front(), MAKELPARAM(320, 200));
    RECT client;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 200);
}

TEST_F(PlatformLayerTest, SetWindowTextRetitlesTheWindowTheWindowSystemShows)
{
    ASSERT_TRUE(SetWindowTextA(window, "Dusk \u2014 Gloamer"));
    bool shown = false;
    for (Uint32 id = 1; id < 64 && !shown; ++id)
        if (SDL_Window* surface = SDL_GetWindowFromID(id))
            shown = std::string(SDL_GetWindowTitle(surface)) == "Dusk \u2014 Gloamer";
    EXPECT_TRUE(shown);
    EXPECT_FALSE(SetWindowTextA(nullptr, "no window"));
}

TEST_F(PlatformLayerTest, GrowingTheWindowGrowsItsDrawingSurface)
{
    RECT rect = {0, 0, 1280, 720};
    AdjustWindowRectEx(&rect, WS_CAPTION | WS_SYSMENU, FALSE, 0);
    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                             SWP_NOMOVE | SWP_NOZORDER));
    EXPECT_EQ(sizesSeen.back(), MAKELPARAM(1280, 720));

    glViewport(0, 0, 1280, 720);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(pixelAt(1279, 719), (std::array<unsigned char, 3>{255, 0, 0}));
    EXPECT_EQ(pixelAt(640, 360), (std::array<unsigned char, 3>{255, 0, 0}));
}

struct Presented {
    HWND window;
    int width;
    int height;
    std::array<unsigned char, 3> corner;
};

TEST_F(PlatformLayerTest, SwapHandsTheFrameToThePresentHookAndTheClockHookDrivesTicks)
{
    std::vector<Presented> presented;
    gloamerSetPresentHook(
        [](HWND window, int width, int height, void* user) {
            std::array<unsigned char, 4> rgba{};
            glReadPixels(width - 1, height - 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
            static_cast<std::vector<Presented>*>(user)->push_back({window, width, height, {rgba[0], rgba[1], rgba[2]}});
        },
        &presented);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_TRUE(SwapBuffers(dc));
    ASSERT_EQ(presented.size(), 1u);
    EXPECT_EQ(presented[0].window, window);
    EXPECT_EQ(presented[0].width, 320);
    EXPECT_EQ(presented[0].height, 200);
    EXPECT_EQ(presented[0].corner, (std::array<unsigned char, 3>{0, 255, 0}));

    DWORD now = 0xFFFFFFF0u;
    gloamerSetTickSource([](void* user) { return *static_cast<DWORD*>(user); }, &now);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
    now += 0x20; // wraps like the system counter
    EXPECT_EQ(GetTickCount(), 0x10u);
}

TEST_F(PlatformLayerTest, QuitIsSeenOnlyAfterWaitingMessagesAndCarriesItsCode)
{
    PostQuitMessage(3);
    PostMessageA(window, WM_USER, 1, 2);
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, (UINT)WM_USER);
    EXPECT_EQ(message.hwnd, window);
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, (UINT)WM_QUIT);
    EXPECT_EQ(message.wParam, 3u);
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
}

} // namespace
