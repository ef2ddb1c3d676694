// batch_child.cpp -- fork and exec of gloamer itself for one item, with its last word kept as the reason.
#include "host/batch/batch_child.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <csignal>
#include <cstring>

#include "host/process/host_error.h"

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

[[noreturn]] void execOwnProgram(char* const* argv)
{
    execv("/proc/self/exe", argv);
    const char message[] = "gloamer: cannot run gloamer itself for the render\n";
    ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    _exit(127);
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
        execOwnProgram(argv);
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

// In the child, async-signal-safe calls only: stdout discarded, stderr into the batch's pipe, then gloamer itself,
// under a keeper when it writes a file.
[[noreturn]] void becomeOwnProgram(char* const* argv, int pipeEnd, const char* output, pid_t batch)
{
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0)
        dup2(null, STDOUT_FILENO);
    dup2(pipeEnd, STDERR_FILENO);
    close(pipeEnd); // the pipe ends when the render (the keeper closes its copy) has ended
    if (output[0] != '\0')
        keepChild(argv, output, batch);
    execOwnProgram(argv);
}

// The last line written, without "gloamer: ": lines end at a newline or a carriage return (a progress bar's), and
// at most 2000 characters of one are kept.
std::string lastLineOf(const std::string& said)
{
    const size_t end = said.find_last_not_of("\r\n");
    if (end == std::string::npos)
        return "";
    const size_t before = said.find_last_of("\r\n", end);
    const size_t start = before == std::string::npos ? 0 : before + 1;
    std::string line = said.substr(start, std::min<size_t>(end + 1 - start, 2000));
    const std::string prefix = "gloamer: ";
    if (line.compare(0, prefix.size(), prefix) == 0)
        line.erase(0, prefix.size());
    return line;
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

ChildOutcome runOwnProgram(const std::vector<std::string>& arguments, double timeLimit, const std::string& output,
                           ChildLauncher& launcher)
{
    std::vector<char*> argv;
    std::string name = "gloamer";
    argv.push_back(name.data());
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const pid_t batch = getpid();
    ChildRequest request;
    request.what = "a render";
    request.deathSignal = SIGTERM; // a batch killed outright takes its render with it
    request.timeLimit = timeLimit;
    request.passOnStopRequest = true;
    request.body = [&](int pipeEnd) { becomeOwnProgram(argv.data(), pipeEnd, output.c_str(), batch); };
    const ChildEnd end = launcher.run(request);
    return {end.status(), lastLineOf(end.said), end.timedOutAfter};
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
