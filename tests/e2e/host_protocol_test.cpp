// host_protocol_test.cpp -- the host loads vis_gloamer.so and drives it on the real platform layer and GL, offscreen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/process/host_error.h"
#include "host/core/host_window.h"
#include "host/core/plugin_library.h"
#include "host/core/plugin_session.h"
#include "platform/hooks.h"
#include "tests/support/message_boxes.h"

namespace {

class HostProtocolTest : public ::testing::Test {
protected:
    CatchMessageBoxes catching;
};

TEST_F(HostProtocolTest, RunsInitRendersAndQuitLeavingNoWindowOrClass)
{
    gloamer::PluginLibrary library(GLOAMER_PLUGIN_PATH);
    EXPECT_EQ(library.header()->version, 0x101);
    EXPECT_STREQ(library.header()->description, "Gloamer");
    gloamer::HostWindow host;
    HWND announced = nullptr;
    {
        gloamer::PluginSession session(library, host, 44100, 2);
        ASSERT_EQ(host.announcements().size(), 1u);
        announced = host.renderWindow();
        ASSERT_NE(announced, nullptr);
        EXPECT_TRUE(IsWindow(announced));
        EXPECT_TRUE(IsWindowVisible(announced));
        RECT client;
        ASSERT_TRUE(GetClientRect(announced, &client));
        EXPECT_EQ(client.right - client.left, 590);
        EXPECT_EQ(client.bottom - client.top, 430);
        WNDCLASSA windowClass;
        EXPECT_TRUE(GetClassInfoA((HINSTANCE)library.handle(), "f_gloamer", &windowClass));

        for (int frame = 0; frame < 5; ++frame) {
            EXPECT_TRUE(gloamer::pumpWindowMessages());
            session.render();
        }
        session.quit();
    }
    EXPECT_EQ(host.announcements(), (std::vector<HWND>{announced, nullptr}));
    EXPECT_FALSE(IsWindow(announced));
    WNDCLASSA windowClass;
    EXPECT_FALSE(GetClassInfoA((HINSTANCE)library.handle(), "f_gloamer", &windowClass));
    EXPECT_TRUE(caughtBoxes().empty());
}

TEST_F(HostProtocolTest, AnOldHostGetsTheVersionMessageAndNoWindow)
{
    gloamer::PluginLibrary library(GLOAMER_PLUGIN_PATH);
    gloamer::HostWindow host;
    host.setVersionAnswer(0);
    EXPECT_THROW(gloamer::PluginSession(library, host, 44100, 2), gloamer::HostError);
    ASSERT_EQ(caughtBoxes().size(), 1u);
    EXPECT_EQ(caughtBoxes()[0].text, "This plugin requires Winamp 5.0+");
    EXPECT_EQ(caughtBoxes()[0].caption, "Gloamer");
    EXPECT_EQ(caughtBoxes()[0].owner, host.handle());
    EXPECT_TRUE(host.announcements().empty());
    WNDCLASSA windowClass;
    EXPECT_FALSE(GetClassInfoA((HINSTANCE)library.handle(), "f_gloamer", &windowClass));
}

TEST_F(HostProtocolTest, ClosingTheWindowPostsQuitAndLeavesTheWindow)
{
    gloamer::PluginLibrary library(GLOAMER_PLUGIN_PATH);
    gloamer::HostWindow host;
    gloamer::PluginSession session(library, host, 44100, 2);
    HWND window = host.renderWindow();
    // The caption's close button arrives as SC_CLOSE; the default handling turns it into WM_CLOSE.
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(gloamer::pumpWindowMessages());
    EXPECT_TRUE(IsWindow(window));
    session.quit();
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(HostProtocolTest, LibrariesThatAreNotPluginsAreClearErrors)
{
    EXPECT_THROW(gloamer::PluginLibrary("/nonexistent/vis_nothing.so"), gloamer::HostError);
    try {
        std::string plugin = GLOAMER_PLUGIN_PATH;
        gloamer::PluginLibrary library(plugin.substr(0, plugin.find_last_of('/') + 1) + "libgloamer_platform.so");
        FAIL() << "a library without the export was accepted";
    } catch (const gloamer::HostError& error) {
        EXPECT_NE(std::string(error.what()).find("winampVisGetHeader"), std::string::npos) << error.what();
    }
}

} // namespace
