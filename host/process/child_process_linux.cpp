// child_process_linux.cpp -- fork with a pipe, the pipe read while the child runs, its limit kept, its end waited for.
#include "host/process/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "host/process/host_error.h"
#include "host/process/interrupt.h"

namespace gloamer {

namespace {

constexpr size_t keptBytes = 64 * 1024;
constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// In the child, async-signal-safe calls only: tied to this process's life, then the request's body.
[[noreturn]] void startInChild(const ChildRequest& request, pid_t parent, const int ends[2], const sigset_t& mask)
{
    if (request.deathSignal != 0)
        prctl(PR_SET_PDEATHSIG, request.deathSignal);
    if (getppid() != parent) // the parent died before the line above could tie the child to it
        _exit(127);
    close(ends[0]);
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    request.body(ends[1]);
    _exit(127);
}

// A running child: its pipe read, stop requests passed on, its time limit kept, until it has ended.
class Watch {
public:
    Watch(const ChildRequest& request, pid_t child, int readEnd) : request_(request), pipe_(readEnd)
    {
        end_.pid = child;
    }

    ChildEnd untilEnded()
    {
        for (;;) {
            passOnStopRequest();
            keepTimeLimit();
            if (killed_)
                closePipe(); // a killed child's pipe may stay open in a process it started: stop reading it
            if (pipe_ >= 0)
                readFor(250);
            else
                usleep(100000); // a signal cuts it short
            if (reaped())
                break;
        }
        drainPipe(); // what it wrote last, even where a process it started holds the pipe open
        closePipe();
        return end_;
    }

private:
    using Clock = std::chrono::steady_clock;

    void passOnStopRequest()
    {
        if (request_.passOnStopRequest && !passedOn_ && interruptRequested()) {
            kill((pid_t)end_.pid, SIGTERM);
            passedOn_ = true;
        }
    }

    // Past the limit: SIGTERM once, SIGKILL after the grace.
    void keepTimeLimit()
    {
        if (request_.timeLimit <= 0 || killed_)
            return;
        const double took = std::chrono::duration<double>(Clock::now() - began_).count();
        if (took >= request_.timeLimit && end_.timedOutAfter == 0) {
            end_.timedOutAfter = request_.timeLimit;
            kill((pid_t)end_.pid, SIGTERM);
        }
        if (took >= request_.timeLimit + request_.stopGrace) {
            kill((pid_t)end_.pid, SIGKILL);
            killed_ = true;
        }
    }

    void readFor(int milliseconds)
    {
        pollfd wait{pipe_, POLLIN, 0};
        const int ready = poll(&wait, 1, milliseconds);
        if (ready < 0 && errno != EINTR)
            closePipe();
        if (ready > 0 && !readOnce())
            closePipe();
    }

    // False at the pipe's end or on an error other than an interruption.
    bool readOnce()
    {
        char buffer[4096];
        const ssize_t got = read(pipe_, buffer, sizeof buffer);
        if (got < 0)
            return errno == EINTR || errno == EAGAIN;
        keep(buffer, (size_t)got);
        return got > 0;
    }

    void keep(const char* bytes, size_t count)
    {
        end_.said.append(bytes, count);
        if (end_.said.size() > keptBytes)
            end_.said.erase(0, end_.said.size() - keptBytes);
    }

    void drainPipe()
    {
        if (pipe_ < 0)
            return;
        fcntl(pipe_, F_SETFL, O_NONBLOCK);
        char buffer[4096];
        for (ssize_t got; (got = read(pipe_, buffer, sizeof buffer)) > 0;)
            keep(buffer, (size_t)got);
    }

    void closePipe()
    {
        if (pipe_ >= 0)
            close(pipe_);
        pipe_ = -1;
    }

    bool reaped()
    {
        int status = 0;
        const pid_t ended = waitpid((pid_t)end_.pid, &status, WNOHANG);
        if (ended == 0 || (ended < 0 && errno == EINTR))
            return false;
        if (ended > 0 && WIFSIGNALED(status))
            end_.signal = WTERMSIG(status);
        else if (ended > 0)
            end_.exitStatus = WEXITSTATUS(status);
        return true;
    }

    const ChildRequest& request_;
    int pipe_;
    ChildEnd end_;
    const Clock::time_point began_ = Clock::now();
    bool passedOn_ = false;
    bool killed_ = false;
};

class ForkingLauncher : public ChildLauncher {
public:
    ChildEnd run(const ChildRequest& request) override
    {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            throw HostError("cannot start " + request.what + ": " + std::strerror(errno));
        // Stop signals wait until `started` has let this process's handlers know the child.
        sigset_t stops, before;
        sigemptyset(&stops);
        for (int number : stopSignals)
            sigaddset(&stops, number);
        sigprocmask(SIG_BLOCK, &stops, &before);
        std::fflush(nullptr); // else the child's exit would write this process's buffered output again
        const pid_t parent = getpid();
        const pid_t child = fork();
        if (child == 0)
            startInChild(request, parent, ends, before);
        const int error = errno;
        close(ends[1]);
        if (child < 0) {
            close(ends[0]);
            sigprocmask(SIG_SETMASK, &before, nullptr);
            throw HostError("cannot start " + request.what + ": " + std::strerror(error));
        }
        if (request.started)
            request.started(child);
        sigprocmask(SIG_SETMASK, &before, nullptr);
        return Watch(request, child, ends[0]).untilEnded();
    }
};

} // namespace

ChildLauncher& forkingLauncher()
{
    static ForkingLauncher launcher;
    return launcher;
}

std::string signalName(int number)
{
    const char* name = sigabbrev_np(number);
    return name ? std::string("SIG") + name : "signal " + std::to_string(number);
}

} // namespace gloamer
