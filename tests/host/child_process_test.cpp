// child_process_test.cpp -- real children started by the forking launcher: each way one can end comes back as it
// happened, with what it wrote, its time limit kept and a pipe held by its own child no reason to wait.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "host/process/child_process.h"
#include "host/process/interrupt.h"

namespace {

void sayInto(int pipeEnd, const char* text)
{
    ssize_t ignored = ::write(pipeEnd, text, std::strlen(text));
    (void)ignored;
}

TEST(ChildProcess, EachEndingComesBackWithWhatTheChildWrote)
{
    struct Case {
        std::string what;
        std::function<void(int)> body;
        double timeLimit;
        double stopGrace;
        int exitStatus, signal;
        bool timedOut;
        std::string said;
    };
    const Case cases[] = {
        {"exits 0", [](int end) { sayInto(end, "all done\n"); _exit(0); }, 0, 5, 0, 0, false, "all done\n"},
        {"exits 3", [](int end) { sayInto(end, "no audio\n"); _exit(3); }, 0, 5, 3, 0, false, "no audio\n"},
        {"is ended by a signal", [](int end) { sayInto(end, "half"); raise(SIGUSR1); }, 0, 5, 0, SIGUSR1, false, "half"},
        {"is killed", [](int) { raise(SIGKILL); }, 0, 5, 0, SIGKILL, false, ""},
        {"runs past its limit", [](int) { for (;;) pause(); }, 0.2, 5, 0, SIGTERM, true, ""},
        {"ignores SIGTERM past its limit",
         [](int end) {
             signal(SIGTERM, SIG_IGN);
             sayInto(end, "stubborn\n");
             for (;;)
                 pause();
         },
         0.2, 0.2, 0, SIGKILL, true, "stubborn\n"},
        {"ends within its limit", [](int) { _exit(0); }, 60, 5, 0, 0, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gloamer::ChildRequest request;
        request.body = c.body;
        request.timeLimit = c.timeLimit;
        request.stopGrace = c.stopGrace;
        long started = 0;
        request.started = [&started](long pid) { started = pid; };
        const gloamer::ChildEnd end = gloamer::forkingLauncher().run(request);
        EXPECT_EQ(end.exitStatus, c.exitStatus);
        EXPECT_EQ(end.signal, c.signal);
        EXPECT_EQ(end.status(), c.signal ? 128 + c.signal : c.exitStatus);
        EXPECT_EQ(end.timedOutAfter, c.timedOut ? c.timeLimit : 0);
        EXPECT_EQ(end.said, c.said);
        EXPECT_GT(end.pid, 0);
        EXPECT_EQ(end.pid, started);
    }
}

TEST(ChildProcess, KeepsTheEndOfALongStory)
{
    gloamer::ChildRequest request;
    request.body = [](int end) {
        const std::string line(1000, 'x');
        for (int i = 0; i < 200; ++i)
            sayInto(end, (line + "\n").c_str());
        sayInto(end, "the last line\n");
        _exit(0);
    };
    const gloamer::ChildEnd end = gloamer::forkingLauncher().run(request);
    EXPECT_EQ(end.said.size(), 64u * 1024);
    EXPECT_TRUE(end.said.ends_with("x\nthe last line\n"));
}

// A child whose own child keeps the pipe open has still ended: the wait is for the child, not the pipe.
TEST(ChildProcess, APipeHeldByAGrandchildDoesNotKeepTheParentWaiting)
{
    gloamer::ChildRequest request;
    request.body = [](int end) {
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            for (;;)
                pause();
        }
        const std::string pid = std::to_string(grandchild) + "\n";
        sayInto(end, pid.c_str());
        _exit(5);
    };
    const gloamer::ChildEnd end = gloamer::forkingLauncher().run(request);
    const long grandchild = std::atol(end.said.c_str());
    ASSERT_GT(grandchild, 0);
    kill((pid_t)grandchild, SIGKILL);
    EXPECT_EQ(end.exitStatus, 5);
}

TEST(ChildProcess, AStopRequestIsPassedOnOnlyWhenAsked)
{
    for (bool passOn : {true, false}) {
        SCOPED_TRACE(passOn ? "passed on" : "kept");
        gloamer::ChildRequest request;
        request.passOnStopRequest = passOn;
        request.timeLimit = passOn ? 600 : 0.3; // ends the child that is not told
        request.stopGrace = 0.2;
        request.body = [](int) {
            for (;;)
                pause();
        };
        gloamer::onStopSignal(SIGINT);
        const gloamer::ChildEnd end = gloamer::forkingLauncher().run(request);
        gloamer::clearInterruptRequest();
        EXPECT_EQ(end.signal, SIGTERM);
        EXPECT_EQ(end.timedOutAfter, passOn ? 0 : 0.3);
    }
}

TEST(ChildProcess, SignalsGoByTheirNames)
{
    EXPECT_EQ(gloamer::signalName(SIGKILL), "SIGKILL");
    EXPECT_EQ(gloamer::signalName(SIGSEGV), "SIGSEGV");
    EXPECT_EQ(gloamer::signalName(SIGRTMIN + 2), "signal " + std::to_string(SIGRTMIN + 2));
}

} // namespace
