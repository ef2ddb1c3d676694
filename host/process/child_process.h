// child_process.h -- a child process started, its pipe read, waited for, and how it ended; behind a seam so that
// what a parent makes of each ending is tested without forking.
#pragma once

#include <functional>
#include <string>

namespace gloamer {

// How long a child stopped for its time limit has between SIGTERM and SIGKILL.
constexpr double stopGraceSeconds = 5;

// How a child ended, and what it wrote on its pipe.
struct ChildEnd {
    long pid = 0;             // its process id, which names what it left behind
    int exitStatus = 0;       // its exit status, when it exited
    int signal = 0;           // the signal that ended it; 0 when it exited
    double timedOutAfter = 0; // the time limit it ran past and was stopped for; 0 when it did not
    std::string said;         // what it wrote on the pipe (its last 64 KiB)

    // The status a shell would give: the exit status, or 128 + the signal.
    int status() const { return signal != 0 ? 128 + signal : exitStatus; }
};

struct ChildRequest {
    // Runs in the child, which it must end (exec or _exit), with async-signal-safe calls only; `pipeEnd` is the
    // write end of the pipe this process reads (closed on exec unless made a standard stream).
    std::function<void(int pipeEnd)> body;
    // Runs here once the child exists, before a stop signal can reach this process (they wait meanwhile).
    std::function<void(long pid)> started;
    int deathSignal = 0;             // what the child gets should this process die first (0: nothing)
    double timeLimit = 0;            // seconds before SIGTERM, then SIGKILL after `stopGrace` (0: no limit)
    double stopGrace = stopGraceSeconds;
    bool passOnStopRequest = false;  // a stop request seen here (interruptRequested) is sent on as SIGTERM once
    std::string what = "a child";    // for the error when it cannot be started: "cannot start WHAT: ..."
};

// The seam between a parent and the processes it starts: the real one forks, a test's says how they ended.
class ChildLauncher {
public:
    virtual ~ChildLauncher() = default;
    // Starts the child, reads its pipe until it ends (or until it is killed: a process it started may hold the
    // pipe), and waits for it. Throws HostError when it cannot be started.
    virtual ChildEnd run(const ChildRequest& request) = 0;
};

// The real launcher: fork, a pipe, waitpid.
ChildLauncher& forkingLauncher();

// "SIGKILL", or "signal N" for one without a name.
std::string signalName(int number);

} // namespace gloamer
