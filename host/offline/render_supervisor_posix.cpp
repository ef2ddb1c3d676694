// render_supervisor_posix.cpp -- fork, wait, and one line on how the child ended, with what it wrote kept.
#include "host/offline/render_supervisor.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "host/offline/render_job.h"
#include "host/process/failure_report.h"
#include "host/process/host_error.h"
#include "host/process/interrupt.h"
#include "host/process/output_checks.h"
#include "host/process/pending_file.h"
#include "host/process/system.h"
#include "host/video/remux.h"

namespace gloamer {

namespace {

namespace fs = std::filesystem;

int reportPipe = -1; // the child's end
volatile pid_t childPid = 0;
constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void report(const char* text)
{
    if (reportPipe < 0)
        return;
    for (size_t length = std::strlen(text); length > 0;) {
        ssize_t written = write(reportPipe, text, length);
        if (written <= 0)
            return;
        text += written;
        length -= (size_t)written;
    }
}

// A terminal's Ctrl-C reaches the child by itself (one process group); SIGTERM, SIGHUP and a SIGINT sent by a
// process to this one are sent on.
void onStopInParent(int number, siginfo_t* info, void*)
{
    if ((number != SIGINT || info->si_code <= 0) && childPid > 0)
        kill(childPid, number);
}

[[noreturn]] void runChild(pid_t parent, int readEnd, int writeEnd, const std::function<int()>& render)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(1);
    close(readEnd);
    reportPipe = writeEnd;
    leavePendingFilesToSupervisor();
    sigset_t stops;
    sigemptyset(&stops);
    for (int number : stopSignals)
        sigaddset(&stops, number);
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);
    int status;
    try {
        status = render();
    } catch (...) {
        status = reportCurrentFailure();
    }
    std::fflush(nullptr);
    tellSupervisorOfStatus(status);
    _exit(status);
}

std::string causeOf(const std::string& plugin, int waitStatus, bool calledExit, bool outputWhole)
{
    if (calledExit)
        return pluginEndLine(plugin, "ended the process with exit()", outputWhole);
    if (WIFEXITED(waitStatus))
        return pluginEndLine(plugin, "ended the process with _exit(" + std::to_string(WEXITSTATUS(waitStatus)) + ")",
                             outputWhole);
    const int number = WTERMSIG(waitStatus);
    if (const char* name = crashName(number))
        return pluginEndLine(plugin, "crashed", outputWhole) + " (" + name + ")";
    const char* name = sigabbrev_np(number);
    const std::string signal = name ? std::string("SIG") + name : "signal " + std::to_string(number);
    if (number == SIGINT || number == SIGTERM || number == SIGHUP)
        return "gloamer: the render was stopped at once by " + signal;
    return pluginEndLine(plugin, "was killed by " + signal, outputWhole);
}

// The video the dead child was writing, made playable at the output's name; says what became of it.
std::string salvage(const OutputRequest& output, pid_t child)
{
    if (isPictureSequence(output.path))
        return ""; // each picture was written whole
    const std::string stem = pendingStem(output.path, child);
    const std::string folder = stem.substr(0, stem.rfind('/') + 1), prefix = stem.substr(folder.size());
    std::error_code error;
    for (fs::directory_iterator entry(folder.empty() ? "." : folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0 || !name.ends_with(renderingSuffix))
            continue;
        try {
            int64_t frames = salvageVideo(folder + name, output.path, output.overwrite);
            if (frames > 0)
                return "; the video holds its first " + std::to_string(frames) + " frames";
        } catch (const HostError& failure) {
            return "; what it wrote could not be kept: " + std::string(failure.what());
        }
    }
    return "; nothing was written";
}

void removeTemporariesOf(const OutputRequest& output, pid_t child)
{
    const std::string stem = pendingStem(output.path, child);
    removeLitterOf(stem.substr(0, stem.rfind('/') + 1), ".gloamer");
    std::error_code error;
    const fs::path temporary = fs::temp_directory_path(error);
    if (!error)
        removeLitterOf(temporary.string(), "gloamer-logo");
}

} // namespace

bool supervised()
{
    return reportPipe >= 0;
}

void tellSupervisorOfExit()
{
    report("exit\n");
}

void tellSupervisorOfOutput()
{
    report("whole\n");
}

void tellSupervisorOfStatus(int status)
{
    char line[32];
    std::snprintf(line, sizeof(line), "status %d\n", status);
    report(line);
}

int superviseRender(const std::string& plugin, const OutputRequest& output, const std::function<int()>& render)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        throw HostError(std::string("cannot start the render: ") + std::strerror(errno));
    // Stop signals wait until this process's handlers know the child.
    sigset_t stops, before;
    sigemptyset(&stops);
    for (int number : stopSignals)
        sigaddset(&stops, number);
    sigprocmask(SIG_BLOCK, &stops, &before);
    std::fflush(nullptr);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0)
        runChild(parent, ends[0], ends[1], render);
    close(ends[1]);
    if (child < 0) {
        int error = errno;
        close(ends[0]);
        sigprocmask(SIG_SETMASK, &before, nullptr);
        throw HostError(std::string("cannot start the render: ") + std::strerror(error));
    }
    childPid = child;
    struct sigaction action = {}, previous[3];
    action.sa_sigaction = onStopInParent;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i)
        sigaction(stopSignals[i], &action, &previous[i]);
    sigprocmask(SIG_SETMASK, &before, nullptr);

    int waitStatus = 0;
    while (waitpid(child, &waitStatus, 0) < 0 && errno == EINTR)
        ;
    childPid = 0;
    for (int i = 0; i < 3; ++i)
        sigaction(stopSignals[i], &previous[i], nullptr);
    std::string said;
    fcntl(ends[0], F_SETFL, O_NONBLOCK); // a process the plug-in started may hold the pipe open
    char buffer[256];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof(buffer))) > 0;)
        said.append(buffer, (size_t)got);
    close(ends[0]);

    int reported = -1;
    const size_t at = said.rfind("status ");
    if (at != std::string::npos)
        reported = std::atoi(said.c_str() + at + 7);
    if (WIFEXITED(waitStatus) && reported == WEXITSTATUS(waitStatus))
        return reported;
    // It died: report why, keep what it rendered and clear away what it left.
    const bool whole = said.find("whole\n") != std::string::npos;
    std::string line = causeOf(plugin, waitStatus, said.find("exit\n") != std::string::npos, whole);
    if (!whole)
        line += salvage(output, child);
    removeTemporariesOf(output, child);
    std::fprintf(stderr, "%s\n", line.c_str());
    if (WIFSIGNALED(waitStatus) && (WTERMSIG(waitStatus) == SIGINT || WTERMSIG(waitStatus) == SIGTERM ||
                                    WTERMSIG(waitStatus) == SIGHUP))
        return 128 + WTERMSIG(waitStatus);
    return 1;
}

} // namespace gloamer
