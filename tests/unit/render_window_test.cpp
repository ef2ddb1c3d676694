// render_window_test.cpp -- the window's start-up calls, each numbered failure with its teardown, the window procedure.
#include <string>
#include <vector>

#include "plugin/entry/callbacks.h"
#include "plugin/state/state.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/startup_failures.h"
#include "plugin/window/render_window.h"

using RenderWindowTest = PluginTest;

static double h(const void* value)
{
    return (double)(uintptr_t)value;
}

TEST_F(RenderWindowTest, StartupRegistersCreatesAndAnnouncesTheWindowInOrder)
{
    ASSERT_EQ(pluginInit(module()), 0);

    const fake::Call* registration = fake::log().find("RegisterClassA");
    ASSERT_NE(registration, nullptr);
    EXPECT_EQ(registration->texts[0], "f_gloamer");
    EXPECT_EQ(registration->args[0], 0.0);                         // style
    EXPECT_EQ(registration->args[1], h((void*)renderWindowProc));  // procedure
    EXPECT_EQ(registration->args[4], h(fake::libraryInstanceHandle()));
    for (int unused : {2, 3, 5, 6, 7, 8})
        EXPECT_EQ(registration->args[unused], 0.0) << "member " << unused;
    EXPECT_EQ(instanceHandle, fake::libraryInstanceHandle());

    const fake::Call* adjust = fake::log().find("AdjustWindowRectEx");
    EXPECT_EQ(adjust->args, (std::vector<double>{50, 50, 640, 480, WS_CAPTION | WS_SYSMENU, FALSE,
                                                 WS_EX_APPWINDOW | WS_EX_WINDOWEDGE}));

    const fake::Call* create = fake::log().find("CreateWindowExA");
    EXPECT_EQ(create->texts, (std::vector<std::string>{"f_gloamer", "Gloamer"}));
    EXPECT_EQ(create->args[0], WS_EX_APPWINDOW | WS_EX_WINDOWEDGE);
    EXPECT_EQ(create->args[1], WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN); // not visible yet
    EXPECT_EQ(create->args[2], 0); // at (0, 0), not (50, 50)
    EXPECT_EQ(create->args[3], 0);
    EXPECT_EQ(create->args[4], 590 + fake::kFrameLeft + fake::kFrameRight);
    EXPECT_EQ(create->args[5], 430 + fake::kFrameTop + fake::kFrameBottom);
    EXPECT_EQ(create->args[6], h(fake::hostWindowHandle()));
    EXPECT_EQ(create->args[8], h(fake::libraryInstanceHandle()));

    const fake::Call* choose = fake::log().find("ChoosePixelFormat");
    // size, version, flags, type, colour, alpha, accumulation, depth, stencil, auxiliary, layer
    EXPECT_EQ(std::vector<double>(choose->args.begin() + 1, choose->args.begin() + 12),
              (std::vector<double>{40, 1, PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER, PFD_TYPE_RGBA,
                                   32, 0, 0, 16, 0, 0, PFD_MAIN_PLANE}));
    const fake::Call* set = fake::log().find("SetPixelFormat");
    EXPECT_EQ(set->args[1], 7.0);               // the chosen format
    EXPECT_EQ(set->args[2], choose->args[12]);  // the same request

    std::vector<std::string> expected = {"RegisterClassA", "AdjustWindowRectEx", "CreateWindowExA", "GetDC",
                                         "ChoosePixelFormat", "SetPixelFormat", "wglCreateContext",
                                         "wglMakeCurrent", "SetWindowLongA", "SendMessageA", "ShowWindow",
                                         "SetForegroundWindow", "SetFocus", "SwapBuffers"};
    std::vector<std::string> seen;
    for (const std::string& op : fake::log().ops())
        if (op.rfind("gl", 0) != 0 && op != "GetTickCount" && op != "GetModuleFileNameA" && op != "MessageBoxA")
            seen.push_back(op);
    seen.erase(seen.begin()); // the version probe
    ASSERT_GE(seen.size(), expected.size());
    seen.resize(expected.size());
    EXPECT_EQ(seen, expected);

    const fake::Call* announce = fake::log().find("SendMessageA", 1);
    EXPECT_EQ(announce->args, (std::vector<double>{h(fake::hostWindowHandle()), WM_USER, h(renderWindow),
                                                   HOSTMSG_SET_RENDER_WINDOW}));
    const fake::Call* userData = fake::log().find("SetWindowLongA");
    EXPECT_EQ(userData->args[1], GWL_USERDATA);
    EXPECT_EQ(fake::log().find("ShowWindow")->args[1], SW_SHOW);
    EXPECT_EQ(fake::win32().current, glContext);
}

TEST_F(RenderWindowTest, ViewportAndDefaultsComeAfterShowingAndBeforeTheFirstSwap)
{
    ASSERT_EQ(pluginInit(module()), 0);
    long shown = fake::log().indexOf("SetFocus");
    long lastViewport = -1;
    for (long i = 0; i < (long)fake::log().size(); ++i)
        if (fake::log().calls()[(size_t)i].op == "glViewport")
            lastViewport = i;
    EXPECT_GT(lastViewport, shown);
    EXPECT_EQ(fake::log().calls()[(size_t)lastViewport].args, (std::vector<double>{0, 0, 590, 430}));
    EXPECT_LT(fake::log().indexOf("glClear"), fake::log().indexOf("SwapBuffers"));
    EXPECT_GT(fake::log().indexOf("glClear"), lastViewport);
}

void PrintTo(const StartupFailure& failure, std::ostream* out)
{
    *out << failure.failingCall << " -> " << failure.code;
}

class StartupFailureTest : public PluginTest, public ::testing::WithParamInterface<StartupFailure> {};

TEST_P(StartupFailureTest, ShowsItsCodeThenReleasesExactlyWhatWasBuilt)
{
    const StartupFailure& failure = GetParam();
    fake::win32().failing.insert(failure.failingCall);
    EXPECT_EQ(pluginInit(module()), 1);

    ASSERT_EQ(fake::win32().messageBoxes.size(), 1u);
    EXPECT_EQ(fake::win32().messageBoxes[0].text, failure.code);
    EXPECT_EQ(fake::win32().messageBoxes[0].caption, "Gloamer");
    EXPECT_EQ(fake::win32().messageBoxes[0].owner, fake::hostWindowHandle());
    EXPECT_EQ(fake::win32().messageBoxes[0].type, MB_OK);
    long box = fake::log().indexOf("MessageBoxA");
    EXPECT_EQ(fake::log().ops((size_t)box + 1), failure.teardown);

    // Nothing is left behind and the host never heard of a window.
    expectNothingHeld();
    EXPECT_EQ(fake::log().count("SendMessageA"), 1u); // the probe only
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, StartupFailureTest, ::testing::ValuesIn(startupFailures()),
    [](const ::testing::TestParamInfo<StartupFailure>& info) { return std::string(info.param.failingCall); });

TEST_F(RenderWindowTest, TeardownReleasesOnlyWhatIsHeldAndReportsTheClass)
{
    EXPECT_EQ(teardownWindow(), 0); // nothing registered
    EXPECT_EQ(fake::log().ops(), (std::vector<std::string>{"UnregisterClassA"}));

    ASSERT_EQ(pluginInit(module()), 0);
    fake::win32().failing = {"wglDeleteContext", "ReleaseDC", "DestroyWindow"};
    size_t mark = fake::log().size();
    teardownWindow();
    // Failures inside the teardown are silent and every handle is dropped anyway.
    EXPECT_EQ(fake::log().ops(mark), (std::vector<std::string>{"wglMakeCurrent", "wglDeleteContext", "ReleaseDC",
                                                               "DestroyWindow", "UnregisterClassA"}));
    EXPECT_EQ(fake::log().find("wglMakeCurrent", 1)->args, (std::vector<double>{0, 0}));
    EXPECT_EQ(glContext, nullptr);
    EXPECT_EQ(deviceContext, nullptr);
    EXPECT_EQ(renderWindow, nullptr);
    EXPECT_TRUE(fake::win32().messageBoxes.empty());
}

TEST_F(RenderWindowTest, WindowProcedureHandlesItsTableAndPassesTheRestOn)
{
    HWND window = (HWND)(intptr_t)0x4242;
    const LRESULT passedOn = fake::win32().defWindowProcResult;

    EXPECT_EQ(renderWindowProc(window, WM_SIZE, 0, MAKELPARAM(800, 600)), 0);
    EXPECT_EQ(settings.screenWidth, 800);
    EXPECT_EQ(settings.screenHeight, 600);
    EXPECT_EQ(renderWindowProc(window, WM_SIZE, 0, MAKELPARAM(0, 0)), 0);
    EXPECT_EQ(settings.screenWidth, 1);
    EXPECT_EQ(settings.screenHeight, 1);

    EXPECT_EQ(renderWindowProc(window, WM_ACTIVATE, 1, 0), 0);
    EXPECT_EQ(renderWindowProc(window, WM_KEYDOWN, VK_ESCAPE, 1), 0);
    EXPECT_EQ(renderWindowProc(window, WM_KEYUP, VK_ESCAPE, 1), 0);
    EXPECT_EQ(renderWindowProc(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 0);
    EXPECT_EQ(renderWindowProc(window, WM_SYSCOMMAND, SC_MONITORPOWER, 2), 0);
    EXPECT_EQ(fake::log().count("DefWindowProcA"), 0u);

    // Closing only asks the host's loop to end; the window stays.
    EXPECT_EQ(renderWindowProc(window, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(fake::win32().quitMessages, std::vector<int>{0});
    EXPECT_EQ(fake::log().count("DestroyWindow"), 0u);

    // System keys, other system commands (any bit different) and everything else go to DefWindowProcA.
    EXPECT_EQ(renderWindowProc(window, WM_SYSKEYDOWN, VK_F1 + 3, 0), passedOn);
    EXPECT_EQ(renderWindowProc(window, WM_SYSCOMMAND, SC_SCREENSAVE + 1, 0), passedOn);
    EXPECT_EQ(renderWindowProc(window, WM_SYSCOMMAND, SC_MONITORPOWER | 0x10000, 0), passedOn);
    EXPECT_EQ(renderWindowProc(window, WM_SYSCOMMAND, SC_CLOSE, 0), passedOn);
    EXPECT_EQ(renderWindowProc(window, WM_DESTROY, 0, 0), passedOn);
    ASSERT_EQ(fake::log().count("DefWindowProcA"), 5u);
    EXPECT_EQ(fake::log().find("DefWindowProcA", 3)->args,
              (std::vector<double>{(double)(uintptr_t)window, WM_SYSCOMMAND, SC_CLOSE, 0}));
}
