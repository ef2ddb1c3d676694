// host_misuse_test.cpp -- hosts that call the callbacks out of the player's order: nothing crashes, draws blind or leaks a window.
#include <string>
#include <vector>

#include "plugin/entry/callbacks.h"
#include "plugin/state/state.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/startup_failures.h"
#include "tests/support/temp_folder.h"

namespace {

class HostMisuseTest : public PluginTest {
protected:
    // A render call that must do nothing at all: no Win32 or GL call, no allocation, no state touched.
    void expectRenderDoesNothing()
    {
        size_t mark = fake::log().size();
        fake::heap().recording = true;
        EXPECT_EQ(pluginRender(module()), 0);
        fake::heap().recording = false;
        EXPECT_EQ(fake::log().ops(mark), std::vector<std::string>{});
        EXPECT_EQ(spriteQueue, nullptr);
        EXPECT_EQ(feedbackTexture, -1);
        EXPECT_EQ(glowTexture, -1);
    }

    // Every 611 the host was sent, by its window handle (0 for a withdrawal).
    static std::vector<double> announcements()
    {
        std::vector<double> handles;
        for (const fake::Call& call : fake::log().calls())
            if (call.op == "SendMessageA" && call.args[1] == WM_USER && call.args[3] == HOSTMSG_SET_RENDER_WINDOW)
                handles.push_back(call.args[2]);
        return handles;
    }

    static size_t swaps() { return fake::log().count("SwapBuffers"); }
};

TEST_F(HostMisuseTest, RenderBeforeInitDrawsNothingAndInitThenDrawsAsUsual)
{
    int names = nextTextureName;
    expectRenderDoesNothing();
    EXPECT_EQ(nextTextureName, names);
    EXPECT_EQ(frameTime, 0u);

    ASSERT_EQ(pluginInit(module()), 0);
    size_t before = swaps();
    EXPECT_EQ(pluginRender(module()), 0);
    EXPECT_EQ(swaps(), before + 1);
    EXPECT_NE(feedbackTexture, -1);
}

// One way for init to fail, set up on the fakes.
struct InitFailure {
    const char* name;
    const char* message;
    const char* failingCall; // null: not a Win32 failure
    bool oldHost;
    bool noLogo;
};

void PrintTo(const InitFailure& failure, std::ostream* out)
{
    *out << failure.name;
}

class FailedInitTest : public HostMisuseTest, public ::testing::WithParamInterface<InitFailure> {
protected:
    testfs::TempFolder emptyFolder{"gloamer-misuse"};

    void breakInit(const InitFailure& failure)
    {
        if (failure.failingCall)
            fake::win32().failing.insert(failure.failingCall);
        if (failure.oldHost)
            fake::win32().hostAnswer = 0;
        if (failure.noLogo)
            fake::win32().moduleFileName = (emptyFolder / "vis_any.so").string();
    }

    void mendInit()
    {
        fake::win32().failing.clear();
        fake::win32().hostAnswer = 1;
        fake::win32().moduleFileName = besideALogo;
    }

    std::string besideALogo;
    void SetUp() override
    {
        HostMisuseTest::SetUp();
        besideALogo = fake::win32().moduleFileName;
    }
};

TEST_P(FailedInitTest, RenderAndQuitAfterItAreHarmlessAndALaterInitRuns)
{
    const InitFailure& failure = GetParam();
    breakInit(failure);
    EXPECT_EQ(pluginInit(module()), 1);
    ASSERT_EQ(fake::win32().messageBoxes.size(), 1u);
    EXPECT_EQ(fake::win32().messageBoxes[0].text, failure.message);
    expectNothingHeld();

    // A host that ignores init's result renders anyway, and maybe quits.
    expectRenderDoesNothing();
    expectRenderDoesNothing();
    pluginQuit(module());
    expectNothingHeld();
    expectRenderDoesNothing();
    EXPECT_EQ(fake::win32().messageBoxes.size(), 1u);

    // Once the cause is gone, the same load starts and draws.
    mendInit();
    ASSERT_EQ(pluginInit(module()), 0);
    size_t before = swaps();
    pluginRender(module());
    EXPECT_EQ(swaps(), before + 1);
    pluginQuit(module());
    expectNothingHeld();
}

// An old host, each numbered start-up failure, a missing logo.
std::vector<InitFailure> everyInitFailure()
{
    std::vector<InitFailure> failures = {{"OldHost", "This plugin requires Winamp 5.0+", nullptr, true, false}};
    for (const StartupFailure& step : startupFailures())
        failures.push_back({step.failingCall, step.code, step.failingCall, false, false});
    failures.push_back({"NoLogo", "Image load failed.", nullptr, false, true});
    return failures;
}

INSTANTIATE_TEST_SUITE_P(
    EachWay, FailedInitTest, ::testing::ValuesIn(everyInitFailure()),
    [](const ::testing::TestParamInfo<InitFailure>& info) { return std::string(info.param.name); });

TEST_F(HostMisuseTest, QuitWithoutInitAndQuitTwiceReleaseNothingTwice)
{
    pluginQuit(module());
    EXPECT_EQ(fake::log().count("DestroyWindow") + fake::log().count("ReleaseDC") + fake::log().count("wglDeleteContext"),
              0u);
    expectNothingHeld();
    expectRenderDoesNothing();

    ASSERT_EQ(pluginInit(module()), 0);
    pluginQuit(module());
    // The second quit only withdraws again and finds no class to remove.
    size_t mark = fake::log().size();
    pluginQuit(module());
    EXPECT_EQ(fake::log().ops(mark), (std::vector<std::string>{"SendMessageA", "UnregisterClassA"}));
    expectNothingHeld();
    EXPECT_TRUE(fake::win32().messageBoxes.empty());
}

TEST_F(HostMisuseTest, InitTwiceWithoutQuitReplacesTheWindowInsteadOfFailing)
{
    ASSERT_EQ(pluginInit(module()), 0);
    HWND first = renderWindow;
    pluginRender(module());
    ASSERT_NE(feedbackTexture, -1);

    size_t mark = fake::log().size();
    ASSERT_EQ(pluginInit(module()), 0);
    EXPECT_TRUE(fake::win32().messageBoxes.empty());
    // The host hears the old window go, the old window goes, then init runs as the first did, probe first.
    std::vector<std::string> ops = fake::log().ops(mark);
    ASSERT_GE(ops.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(ops.begin(), ops.begin() + 8),
              (std::vector<std::string>{"SendMessageA", "wglMakeCurrent", "wglDeleteContext", "ReleaseDC",
                                        "DestroyWindow", "UnregisterClassA", "SendMessageA", "RegisterClassA"}));
    EXPECT_EQ(fake::log().calls()[mark + 6].args[3], (double)HOSTMSG_VERSION_PROBE);
    EXPECT_FALSE(fake::win32().windows.count(first));
    ASSERT_EQ(fake::win32().windows.size(), 1u);
    EXPECT_NE(renderWindow, first);
    EXPECT_EQ(fake::win32().contexts.size(), 1u);
    EXPECT_EQ(fake::win32().deviceContexts.size(), 1u);
    EXPECT_EQ(announcements(), (std::vector<double>{(double)(uintptr_t)first, 0, (double)(uintptr_t)renderWindow}));
    // The new context starts its captures afresh, and frames go to the new window.
    EXPECT_EQ(feedbackTexture, -1);
    size_t before = swaps();
    pluginRender(module());
    ASSERT_EQ(swaps(), before + 1);
    EXPECT_EQ(fake::log().find("SwapBuffers", before)->args[0], (double)(uintptr_t)deviceContext);

    pluginQuit(module());
    expectNothingHeld();
}

TEST_F(HostMisuseTest, ConfigAtAnyTimeShowsOnlyTheAboutBox)
{
    auto configShowsAbout = [this](const char* when) {
        SCOPED_TRACE(when);
        size_t boxes = fake::win32().messageBoxes.size();
        size_t windows = fake::win32().windows.size();
        size_t mark = fake::log().size();
        pluginConfig(module());
        EXPECT_EQ(fake::log().ops(mark), std::vector<std::string>{"MessageBoxA"});
        ASSERT_EQ(fake::win32().messageBoxes.size(), boxes + 1);
        EXPECT_EQ(fake::win32().messageBoxes.back().text, "Gloamer by Tolvard.");
        EXPECT_EQ(fake::win32().messageBoxes.back().owner, fake::hostWindowHandle());
        EXPECT_EQ(fake::win32().windows.size(), windows);
    };
    configShowsAbout("before init");
    fake::win32().hostAnswer = 0;
    pluginInit(module());
    configShowsAbout("after a refused init");
    fake::win32().hostAnswer = 1;
    ASSERT_EQ(pluginInit(module()), 0);
    configShowsAbout("while running");
    size_t before = swaps();
    pluginRender(module());
    EXPECT_EQ(swaps(), before + 1);
    pluginQuit(module());
    configShowsAbout("after quit");
    expectNothingHeld();
}

TEST_F(HostMisuseTest, QuitReleasesTheDecodedLogoThatNothingReadsAnyMore)
{
    ASSERT_EQ(pluginInit(module()), 0);
    ASSERT_NE(logoImage, nullptr);
    double logo = (double)(uintptr_t)logoImage;
    fake::heap().recording = true;
    pluginQuit(module());
    fake::heap().recording = false;
    EXPECT_EQ(logoImage, nullptr);
    const fake::Call* freed = fake::log().find("free");
    ASSERT_NE(freed, nullptr);
    EXPECT_EQ(freed->args[0], logo);
    // And the next init loads it again.
    ASSERT_EQ(pluginInit(module()), 0);
    EXPECT_NE(logoImage, nullptr);
}

} // namespace
