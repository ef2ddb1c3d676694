// render_supervisor_linux.cpp -- the render in a child process; when it dies, one line on how, with what it wrote kept.
#include "host/offline/render_supervisor.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "host/offline/render_job.h"
#include "host/process/child_process.h"
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

// While the child runs, this process's stop signals go to it; the handlers before are put back after.
class StopRelay {
public:
    void start(long child)
    {
        childPid = (pid_t)child;
        struct sigaction action = {};
        action.sa_sigaction = onStopInParent;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        for (int i = 0; i < 3; ++i)
            sigaction(stopSignals[i], &action, &previous_[i]);
        relaying_ = true;
    }
    void stop()
    {
        childPid = 0;
        if (relaying_)
            for (int i = 0; i < 3; ++i)
                sigaction(stopSignals[i], &previous_[i], nullptr);
        relaying_ = false;
    }
    ~StopRelay() { stop(); }

private:
    struct sigaction previous_[3];
    bool relaying_ = false;
};

[[noreturn]] void runChild(int pipeEnd, const std::function<int()>& render)
{
    reportPipe = pipeEnd;
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

bool isStopSignal(int number)
{
    return number == SIGINT || number == SIGTERM || number == SIGHUP;
}

// What the child said of itself on the pipe.
struct ChildReport {
    bool calledExit = false;  // the plug-in called exit() in the middle of the render
    bool outputWhole = false; // the output was finished at its name
    int status = -1;          // the status it ended with on its own; -1 when it did not say
};

ChildReport readReport(const std::string& said)
{
    ChildReport report;
    report.calledExit = said.find("exit\n") != std::string::npos;
    report.outputWhole = said.find("whole\n") != std::string::npos;
    const size_t at = said.rfind("status ");
    if (at != std::string::npos)
        report.status = std::atoi(said.c_str() + at + 7);
    return report;
}

std::string causeOf(const std::string& plugin, const ChildEnd& end, const ChildReport& report)
{
    const bool whole = report.outputWhole;
    if (report.calledExit)
        return pluginEndLine(plugin, "ended the process with exit()", whole);
    if (end.signal == 0)
        return pluginEndLine(plugin, "ended the process with _exit(" + std::to_string(end.exitStatus) + ")", whole);
    if (const char* name = crashName(end.signal))
        return pluginEndLine(plugin, "crashed", whole) + " (" + name + ")";
    if (isStopSignal(end.signal))
        return "gloamer: the render was stopped at once by " + signalName(end.signal);
    return pluginEndLine(plugin, "was killed by " + signalName(end.signal), whole);
}

// The video the dead child was writing, made playable at the output's name; says what became of it.
std::string salvage(const OutputRequest& output, long child)
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

void removeTemporariesOf(const OutputRequest& output, long child)
{
    const std::string stem = pendingStem(output.path, child);
    removeLitterOf(stem.substr(0, stem.rfind('/') + 1), ".gloamer");
    std::error_code error;
    const fs::path temporary = fs::temp_directory_path(error);
    if (!error)
        removeLitterOf(temporary.string(), "gloamer-logo");
}

// A child that died: says why, keeps what it rendered and clears away what it left; the status to end with.
int reportDeath(const std::string& plugin, const OutputRequest& output, const ChildEnd& end, const ChildReport& report)
{
    std::string line = causeOf(plugin, end, report);
    if (!report.outputWhole)
        line += salvage(output, end.pid);
    removeTemporariesOf(output, end.pid);
    std::fprintf(stderr, "%s\n", line.c_str());
    return isStopSignal(end.signal) ? 128 + end.signal : 1;
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
    return superviseRenderWith(plugin, output, render, forkingLauncher());
}

int superviseRenderWith(const std::string& plugin, const OutputRequest& output, const std::function<int()>& render,
                        ChildLauncher& launcher)
{
    StopRelay relay;
    ChildRequest request;
    request.what = "the render";
    request.deathSignal = SIGKILL;
    request.body = [&render](int pipeEnd) { runChild(pipeEnd, render); };
    request.started = [&relay](long child) { relay.start(child); };
    const ChildEnd end = launcher.run(request);
    relay.stop();
    const ChildReport report = readReport(end.said);
    if (end.signal == 0 && end.exitStatus == report.status)
        return report.status;
    return reportDeath(plugin, output, end, report);
}

} // namespace gloamer
