// batch_child.h -- one item of a batch rendered by a process of its own, so that whatever befalls it stays there.
#pragma once

#include <string>
#include <vector>

#include "host/process/child_process.h"

namespace gloamer {

struct ChildOutcome {
    int status = 0;       // the exit status, or 128 + the signal that ended it
    std::string lastLine; // the last line it wrote on stderr, without "gloamer: "
    double timedOutAfter = 0; // the time limit it ran past and was stopped for; 0 when it did not
};

// Runs this very program (/proc/self/exe) with `arguments`, its stdout discarded and its stderr read, and waits
// for it. A stop request (Ctrl-C, SIGTERM) seen meanwhile is passed on to it as SIGTERM. Past `timeLimit`
// seconds (0: none) it gets SIGTERM, and SIGKILL stopGraceSeconds later. Should this process end first, even by
// SIGKILL, the child is stopped and a small keeper process it runs under removes `output` (the file the child
// writes, which only this process would move into place; none when empty). Throws HostError when it cannot be
// started. `launcher` starts it (a test's says how it ended).
ChildOutcome runOwnProgram(const std::vector<std::string>& arguments, double timeLimit = 0,
                           const std::string& output = "", ChildLauncher& launcher = forkingLauncher());

// The seam between a batch and the processes that render and join its items: the real one runs gloamer
// itself, a test's writes what it is told to.
class ChildRunner {
public:
    virtual ~ChildRunner() = default;
    // Runs gloamer with `arguments` (its output named by -o is `output`) and waits for it.
    virtual ChildOutcome run(const std::vector<std::string>& arguments, double timeLimit,
                             const std::string& output) = 0;
};

class OwnProgramRunner : public ChildRunner {
public:
    ChildOutcome run(const std::vector<std::string>& arguments, double timeLimit, const std::string& output) override
    {
        return runOwnProgram(arguments, timeLimit, output);
    }
};

// What ended it, in words: its time limit when it ran past it, else the last line when it wrote one, else its
// status or signal.
std::string failureReason(const ChildOutcome& outcome);

// This program's own path, for the commands a batch writes out.
std::string ownProgramPath();

} // namespace gloamer
