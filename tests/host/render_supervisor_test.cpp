// render_supervisor_test.cpp -- what the render's supervisor makes of each way its child can end, over a fake
// launcher: the status, the one line naming the plug-in and the cause, and what becomes of the unfinished video.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/offline/render_supervisor.h"
#include "host/process/pending_file.h"
#include "tests/support/fake_launcher.h"
#include "tests/support/ended_process.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

struct Supervised {
    int status;
    std::string line; // what it wrote on stderr
};

Supervised supervise(const gloamer::ChildEnd& end, const std::string& output, testproc::FakeLauncher* seen = nullptr)
{
    testproc::FakeLauncher launcher(end);
    gloamer::OutputRequest request;
    request.path = output;
    testing::internal::CaptureStderr();
    const int status = gloamer::superviseRenderWith("/plugins/vis_faulty.so", request, [] { return 0; }, launcher);
    if (seen)
        *seen = launcher;
    return {status, testing::internal::GetCapturedStderr()};
}

TEST(RenderSupervisor, EachEndOfTheChildGivesItsStatusAndLine)
{
    struct Case {
        std::string what;
        int exitStatus, signal;
        std::string said; // what the child reported on its pipe
        int status;
        std::string line; // a piece of the line; empty: no line at all
    };
    const Case cases[] = {
        {"a finished render", 0, 0, "whole\nstatus 0\n", 0, ""},
        {"a render that failed on its own", 3, 0, "status 3\n", 3, ""},
        {"a render stopped by Ctrl-C", 130, 0, "status 130\n", 130, ""},
        {"_exit() mid-render", 7, 0, "", 1,
         "gloamer: the plug-in 'vis_faulty.so' ended the process with _exit(7) in the middle of the render; nothing "
         "was written\n"},
        {"_exit(0) mid-render is no success", 0, 0, "", 1, "ended the process with _exit(0) in the middle"},
        {"exit() mid-render", 1, 0, "exit\n", 1, "'vis_faulty.so' ended the process with exit() in the middle"},
        {"a crash", 0, SIGSEGV, "", 1, "'vis_faulty.so' crashed in the middle of the render (SIGSEGV"},
        {"an abort", 0, SIGABRT, "", 1, "crashed in the middle of the render (SIGABRT"},
        {"SIGKILL", 0, SIGKILL, "", 1, "'vis_faulty.so' was killed by SIGKILL in the middle of the render; nothing"},
        {"a crash after the output was whole", 0, SIGSEGV, "whole\n", 1,
         "gloamer: the plug-in 'vis_faulty.so' crashed as it was quit, after the output was whole (SIGSEGV, a "},
        {"SIGTERM", 0, SIGTERM, "", 143, "gloamer: the render was stopped at once by SIGTERM; nothing was written\n"},
        {"SIGHUP", 0, SIGHUP, "", 129, "stopped at once by SIGHUP"},
        {"a status said but another one given", 2, 0, "status 0\n", 1, "ended the process with _exit(2)"},
    };
    testfs::TempFolder folder("gloamer-supervisor");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gloamer::ChildEnd end;
        end.pid = testproc::endedProcess();
        end.exitStatus = c.exitStatus;
        end.signal = c.signal;
        end.said = c.said;
        const Supervised result = supervise(end, (folder / "out.mp4").string());
        EXPECT_EQ(result.status, c.status);
        if (c.line.empty())
            EXPECT_EQ(result.line, "");
        else
            EXPECT_NE(result.line.find(c.line), std::string::npos) << result.line;
        // A child that died before its output was whole had its video looked for: none here.
        const bool died = !c.line.empty(), whole = c.said.find("whole") != std::string::npos;
        EXPECT_EQ(result.line.ends_with("; nothing was written\n"), died && !whole) << result.line;
    }
}

// The file the dead child was writing is looked for under its process id: what cannot be made a video is said so,
// and its leftovers are cleared away; pictures need no salvage.
TEST(RenderSupervisor, WhatTheDeadChildWroteIsSalvagedOrCleared)
{
    testfs::TempFolder folder("gloamer-supervisor");
    gloamer::ChildEnd end;
    end.pid = testproc::endedProcess();
    end.signal = SIGKILL;
    const std::string output = (folder / "out.mp4").string();
    const std::string unfinished = gloamer::pendingStem(output, end.pid) + "a" + gloamer::renderingSuffix;
    std::ofstream(unfinished) << "not a video at all";

    Supervised result = supervise(end, output);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.line.find("nothing was written"), std::string::npos) << result.line;
    EXPECT_NE(result.line.find("could not be kept"), std::string::npos) << result.line;
    EXPECT_FALSE(fs::exists(unfinished));
    EXPECT_FALSE(fs::exists(output));

    result = supervise(end, (folder / "%05d.png").string());
    EXPECT_EQ(result.line, "gloamer: the plug-in 'vis_faulty.so' was killed by SIGKILL in the middle of the render\n");
}

} // namespace
