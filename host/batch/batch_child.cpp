// batch_child.cpp -- fork and exec of gloamer itself for one item, with its last word kept as the reason.
#include "host/batch/batch_child.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <cstring>

#include "host/process/host_error.h"
#include "host/process/interrupt.h"

namespace gloamer {

namespace {

volatile pid_t keptChild = 0;
volatile sig_atomic_t passedOnByKeeper = 0;

// The keeper passes a stop sent by a process (the batch, or anyone) on once; a terminal's Ctrl-C reaches the
// render by itself, as it is in the same process group.
void onStopInKeeper(int number, siginfo_t* info, void*)
{
    if ((number == SIGINT && info->si_code > 0) || passedOnByKeeper || keptChild <= 0)
        return;
    passedOnByKeeper = 1;
    kill(keptChild, SIGTERM);
}

// The process between the batch and its child, async-signal-safe calls only: it runs the child, passes stops on,
// and when the batch has gone meanwhile (killed outright) removes what the child wrote at `output`, which no one
// else would. Ends with the child's status, or 128 + the signal that ended it.
[[noreturn]] void keepChild(char* const* argv, const char* output, pid_t batch)
{
    sigset_t stops, before;
    sigemptyset(&stops);
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stops, number);
    sigprocmask(SIG_BLOCK, &stops, &before); // a stop now waits until it can be passed on
    const pid_t keeper = getpid();
    const pid_t child = fork();
    if (child < 0)
        _exit(127);
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL); // the keeper dies before the child only when killed outright
        if (getppid() != keeper)
            _exit(127);
        sigprocmask(SIG_SETMASK, &before, nullptr);
        execv("/proc/self/exe", argv);
        const char message[] = "gloamer: cannot run gloamer itself for the render\n";
        ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
        (void)ignored;
        _exit(127);
    }
    keptChild = child;
    struct sigaction action = {};
    action.sa_sigaction = onStopInKeeper;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(number, &action, nullptr);
    close(STDERR_FILENO); // the batch reads the pipe until the child's end of it closes
    sigprocmask(SIG_SETMASK, &before, nullptr);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (getppid() != batch)
        unlink(output);
    _exit(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status));
}

} // namespace

std::string ownProgramPath()
{
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        throw HostError(std::string("cannot find gloamer's own program: ") + std::strerror(errno));
    return std::string(path, (size_t)length);
}

ChildOutcome runOwnProgram(const std::vector<std::string>& arguments, double timeLimit, const std::string& output)
{
    std::vector<char*> argv;
    std::string name = "gloamer";
    argv.push_back(name.data());
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw HostError(std::string("cannot start a render: ") + std::strerror(errno));
    const pid_t parent = getpid();
    pid_t child = fork();
    if (child < 0) {
        int error = errno;
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        throw HostError(std::string("cannot start a render: ") + std::strerror(error));
    }
    if (child == 0) {
        // Only async-signal-safe calls from here to exec. A batch killed outright takes its render with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0)
            dup2(null, STDOUT_FILENO);
        dup2(pipeEnds[1], STDERR_FILENO);
        if (!output.empty())
            keepChild(argv.data(), output.c_str(), parent);
        execv("/proc/self/exe", argv.data());
        const char message[] = "gloamer: cannot run gloamer itself for the render\n";
        ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
        (void)ignored;
        _exit(127);
    }
    close(pipeEnds[1]);

    ChildOutcome outcome;
    std::string pending; // the line being read
    bool passedOn = false;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point began = Clock::now();
    bool killed = false;
    // Past the limit: SIGTERM once, SIGKILL after the grace. Called while the pipe is read and while waiting.
    auto enforceLimit = [&] {
        if (timeLimit <= 0 || killed)
            return;
        const double took = std::chrono::duration<double>(Clock::now() - began).count();
        if (took >= timeLimit && outcome.timedOutAfter == 0) {
            outcome.timedOutAfter = timeLimit;
            kill(child, SIGTERM);
        }
        if (took >= timeLimit + stopGraceSeconds) {
            kill(child, SIGKILL);
            killed = true;
        }
    };
    for (bool open = true; open;) {
        if (interruptRequested() && !passedOn) {
            kill(child, SIGTERM);
            passedOn = true;
        }
        enforceLimit();
        // A killed child's pipe may stay open in a process it started: stop reading it.
        if (killed)
            break;
        pollfd wait{pipeEnds[0], POLLIN, 0};
        int ready = poll(&wait, 1, 250);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        char buffer[4096];
        ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        open = got > 0;
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[i] == '\n' || buffer[i] == '\r') {
                if (!pending.empty())
                    outcome.lastLine = pending;
                pending.clear();
            } else if (pending.size() < 2000) {
                pending += buffer[i];
            }
        }
    }
    if (!pending.empty())
        outcome.lastLine = pending;
    close(pipeEnds[0]);

    int status = 0;
    for (;;) {
        pid_t ended = waitpid(child, &status, timeLimit > 0 && !killed ? WNOHANG : 0);
        if (ended == child || (ended < 0 && errno != EINTR))
            break;
        if (interruptRequested() && !passedOn) {
            kill(child, SIGTERM);
            passedOn = true;
        }
        enforceLimit();
        if (ended == 0)
            usleep(100000);
    }
    outcome.status = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    const std::string prefix = "gloamer: ";
    if (outcome.lastLine.compare(0, prefix.size(), prefix) == 0)
        outcome.lastLine.erase(0, prefix.size());
    return outcome;
}

std::string failureReason(const ChildOutcome& outcome)
{
    if (outcome.timedOutAfter > 0) {
        char limit[32];
        std::snprintf(limit, sizeof limit, "%g", outcome.timedOutAfter);
        return std::string("took longer than ") + limit + " s (--item-timeout): stopped";
    }
    if (!outcome.lastLine.empty())
        return outcome.lastLine;
    if (outcome.status > 128)
        return std::string("the render was ended by signal ") + strsignal(outcome.status - 128);
    return "the render failed with status " + std::to_string(outcome.status);
}

} // namespace gloamer
