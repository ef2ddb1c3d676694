// batch_child.cpp -- fork and exec of gloamer itself for one item, with its last word kept as the reason.
#include "host/batch/batch_child.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "host/process/host_error.h"
#include "host/process/interrupt.h"

namespace gloamer {

std::string ownProgramPath()
{
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        throw HostError(std::string("cannot find gloamer's own program: ") + std::strerror(errno));
    return std::string(path, (size_t)length);
}

ChildOutcome runOwnProgram(const std::vector<std::string>& arguments)
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
    pid_t child = fork();
    if (child < 0) {
        int error = errno;
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        throw HostError(std::string("cannot start a render: ") + std::strerror(error));
    }
    if (child == 0) {
        // Only async-signal-safe calls from here to exec.
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0)
            dup2(null, STDOUT_FILENO);
        dup2(pipeEnds[1], STDERR_FILENO);
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
    for (bool open = true; open;) {
        if (interruptRequested() && !passedOn) {
            kill(child, SIGTERM);
            passedOn = true;
        }
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
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        if (interruptRequested() && !passedOn) {
            kill(child, SIGTERM);
            passedOn = true;
        }
    }
    outcome.status = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    const std::string prefix = "gloamer: ";
    if (outcome.lastLine.compare(0, prefix.size(), prefix) == 0)
        outcome.lastLine.erase(0, prefix.size());
    return outcome;
}

std::string failureReason(const ChildOutcome& outcome)
{
    if (!outcome.lastLine.empty())
        return outcome.lastLine;
    if (outcome.status > 128)
        return std::string("the render was ended by signal ") + strsignal(outcome.status - 128);
    return "the render failed with status " + std::to_string(outcome.status);
}

} // namespace gloamer
