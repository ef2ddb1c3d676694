// batch_child_test.cpp -- what a batch makes of each way its child gloamer can end, over a fake launcher: the
// status, the reason it records (the child's last line, its time limit, its signal) and the limit it is run under.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "host/batch/batch_child.h"
#include "tests/support/fake_launcher.h"

namespace {

TEST(BatchChild, EachEndOfTheChildGivesItsStatusAndReason)
{
    struct Case {
        std::string what;
        gloamer::ChildEnd end;
        int status;
        std::string lastLine;
        std::string reason;
    };
    const std::string longLine(3000, 'y');
    const std::string keptOfIt = longLine.substr(0, 2000 - std::string("gloamer: ").size()); // 2000 as written
    const Case cases[] = {
        {"a render that worked", {1, 0, 0, 0, "gloamer: 10% [#.....]\r100% [######]\ngloamer: done: 300 frames\n"}, 0,
         "done: 300 frames", "done: 300 frames"},
        {"a render that failed with its line", {1, 1, 0, 0, "gloamer: 'a.wav' holds no audio\n"}, 1,
         "'a.wav' holds no audio", "'a.wav' holds no audio"},
        {"a line without its end", {1, 1, 0, 0, "gloamer: warning: slow\ngloamer: cannot wri"}, 1, "cannot wri",
         "cannot wri"},
        {"the last line amid a bar's carriage returns", {1, 1, 0, 0, "gloamer: it broke\n\r\r\n"}, 1, "it broke",
         "it broke"},
        {"silence and a status", {1, 2, 0, 0, ""}, 2, "", "the render failed with status 2"},
        {"a signal", {1, 0, SIGKILL, 0, ""}, 137, "", "the render was ended by signal Killed"},
        {"past its time limit", {1, 0, SIGTERM, 5, "gloamer: the render was stopped at once by SIGTERM\n"}, 143,
         "the render was stopped at once by SIGTERM", "took longer than 5 s (--item-timeout): stopped"},
        {"past a fraction of a second", {1, 0, SIGKILL, 0.5, ""}, 137, "",
         "took longer than 0.5 s (--item-timeout): stopped"},
        {"a line too long to keep whole", {1, 1, 0, 0, "gloamer: " + longLine + "\n"}, 1, keptOfIt, keptOfIt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testproc::FakeLauncher launcher(c.end);
        const gloamer::ChildOutcome outcome = gloamer::runOwnProgram({"render", "--", "a.wav"}, 0, "", launcher);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.lastLine, c.lastLine);
        EXPECT_EQ(outcome.timedOutAfter, c.end.timedOutAfter);
        EXPECT_EQ(gloamer::failureReason(outcome), c.reason);
    }
}

// The item's limit reaches the child, a stop is passed on to it, and a batch killed outright takes it along.
TEST(BatchChild, TheChildIsRunUnderTheItemsLimitAndTheBatchsStops)
{
    for (double limit : {0.0, 30.0}) {
        testproc::FakeLauncher launcher(gloamer::ChildEnd{});
        gloamer::runOwnProgram({"join", "--", "x"}, limit, "/tmp/work.mp4", launcher);
        EXPECT_EQ(launcher.timeLimit, limit);
        EXPECT_TRUE(launcher.passesOnStops);
        EXPECT_EQ(launcher.deathSignal, SIGTERM);
    }
}

} // namespace
