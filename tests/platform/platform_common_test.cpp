// platform_common_test.cpp -- the Win32 + WGL bookkeeping every backend shares, over the null backend: no window
// system, so each case is about the shared code alone.
#include <gtest/gtest.h>

#include <vector>

#include "platform/common/registry_common.h"
#include "platform/null/surface_null.h"
#include "platform/win32.h"

namespace {

struct Heard {
    HWND window;
    UINT message;
};
std::vector<Heard> heard;
LRESULT createAnswer = 0;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    heard.push_back({window, message});
    if (message == WM_CREATE)
        return createAnswer;
    return DefWindowProcA(window, message, wParam, lParam);
}

class PlatformCommon : public ::testing::Test {
protected:
    void SetUp() override
    {
        heard.clear();
        createAnswer = 0;
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = recordingProc;
        windowClass.lpszClassName = "GloamerTest";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
    }
    void TearDown() override
    {
        for (HWND window : {first, second})
            if (window && IsWindow(window))
                DestroyWindow(window);
        wglMakeCurrent(nullptr, nullptr);
        UnregisterClassA("GloamerTest", nullptr);
    }
    HWND open(HWND owner = nullptr, const char* className = "GloamerTest")
    {
        RECT outer = {0, 0, 590, 430};
        AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, FALSE, 0);
        return CreateWindowExA(0, className, "test", WS_OVERLAPPEDWINDOW, 10, 20, outer.right - outer.left,
                               outer.bottom - outer.top, owner, nullptr, nullptr, nullptr);
    }
    int countHeard(HWND window, UINT message)
    {
        int count = 0;
        for (const Heard& each : heard)
            count += each.window == window && each.message == message;
        return count;
    }
    HWND first = nullptr;
    HWND second = nullptr;
};

TEST_F(PlatformCommon, ClassNamesMatchWithoutCaseAndAWindowOfNoClassIsRefused)
{
    first = open(nullptr, "gloamertest");
    ASSERT_NE(first, nullptr);
    RECT client;
    ASSERT_TRUE(GetClientRect(first, &client));
    EXPECT_EQ(client.right, 590);
    EXPECT_EQ(client.bottom, 430);
    EXPECT_EQ(open(nullptr, "NoSuchClass"), nullptr);
}

TEST_F(PlatformCommon, AWindowThatRefusesCreationIsDestroyedAndNotReturned)
{
    createAnswer = -1;
    EXPECT_EQ(open(), nullptr);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back().message, (UINT)WM_DESTROY);
    EXPECT_FALSE(IsWindow(heard.back().window));
}

TEST_F(PlatformCommon, DestroyingAnOwnerDestroysWhatItOwnsFirstAndDropsTheirQueuedMessages)
{
    first = open();
    second = open(first);
    ASSERT_TRUE(PostMessageA(second, WM_USER, 0, 0));
    heard.clear();
    ASSERT_TRUE(DestroyWindow(first));
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].window, second);
    EXPECT_EQ(heard[1].window, first);
    EXPECT_FALSE(IsWindow(second));
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PostMessageA(first, WM_USER, 0, 0));
}

TEST_F(PlatformCommon, PeekTakesTheFirstMessageInItsRangeAndLeavesTheRestInOrder)
{
    first = open();
    PostMessageA(first, WM_USER + 1, 1, 0);
    PostMessageA(first, WM_USER + 5, 5, 0);
    PostMessageA(first, WM_USER + 2, 2, 0);
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, first, WM_USER + 4, WM_USER + 9, PM_REMOVE));
    EXPECT_EQ(message.wParam, 5u);
    ASSERT_TRUE(PeekMessageA(&message, first, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(message.wParam, 1u);
    std::vector<WPARAM> order;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        order.push_back(message.wParam);
    EXPECT_EQ(order, (std::vector<WPARAM>{1, 2}));
}

TEST_F(PlatformCommon, CloseThroughTheDefaultProcedureDestroysTheWindow)
{
    first = open();
    SendMessageA(first, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(countHeard(first, WM_DESTROY), 1);
}

TEST_F(PlatformCommon, MovingAndSizingReachTheSurfaceAndTheWindowHearsTheNewSizeOnce)
{
    first = open();
    heard.clear();
    RECT outer = {0, 0, 800, 600};
    AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, FALSE, 0);
    ASSERT_TRUE(SetWindowPos(first, nullptr, 50, 60, outer.right - outer.left, outer.bottom - outer.top, 0));
    EXPECT_EQ(countHeard(first, WM_SIZE), 1);
    RECT client, window;
    GetClientRect(first, &client);
    GetWindowRect(first, &window);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    EXPECT_EQ(window.right - window.left, outer.right - outer.left);
    SetWindowTextA(first, "renamed");
    EXPECT_EQ(gloamer::platform::null::surfaceOf(*gloamer::platform::findWindow(first))->title, "renamed");
}

struct ContextCase {
    const char* name;
    bool setFormat;
    bool destroyWindowFirst;
    bool contextMade;
};

class PlatformContexts : public PlatformCommon, public ::testing::WithParamInterface<ContextCase> {};

TEST_P(PlatformContexts, AContextNeedsALiveWindowWithItsPixelFormat)
{
    const ContextCase& each = GetParam();
    first = open();
    HDC deviceContext = GetDC(first);
    ASSERT_NE(deviceContext, nullptr);
    PIXELFORMATDESCRIPTOR request = {};
    request.dwFlags = PFD_SUPPORT_OPENGL | PFD_DRAW_TO_WINDOW | PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    if (each.setFormat)
        ASSERT_TRUE(SetPixelFormat(deviceContext, ChoosePixelFormat(deviceContext, &request), &request));
    if (each.destroyWindowFirst)
        DestroyWindow(first);
    HGLRC context = wglCreateContext(deviceContext);
    EXPECT_EQ(context != nullptr, each.contextMade);
    if (!context)
        return;
    ASSERT_TRUE(wglMakeCurrent(deviceContext, context));
    EXPECT_EQ(wglGetCurrentContext(), context);
    ASSERT_TRUE(wglDeleteContext(context));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_FALSE(wglMakeCurrent(deviceContext, context));
}

INSTANTIATE_TEST_SUITE_P(Cases, PlatformContexts,
                         ::testing::Values(ContextCase{"Ready", true, false, true},
                                           ContextCase{"NoPixelFormat", false, false, false},
                                           ContextCase{"WindowGone", true, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
