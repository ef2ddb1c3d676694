// pending_file.h -- an output written under a temporary name in its own folder and renamed into place when whole.
#pragma once

#include <string>

namespace gloamer {

// Creates an empty file of its own (never through a link) beside `target`; the writer fills `path()`.
// commit() renames it onto `target`: with `replace`, over a regular file (or link) there, never over a FIFO,
// device or socket; without it only while nothing is there, so that a file that appeared meanwhile is kept.
// Otherwise the destructor removes it. While it exists its name is known to removePendingFiles(), so that even
// a fatal signal leaves no temporary behind; one left by a run killed outright is removed by a later run.
class PendingFile {
public:
    // `suffix` ends the temporary's name: renderingSuffix marks one a supervisor may salvage.
    PendingFile(const std::string& target, bool replace, const std::string& suffix = ".part");
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& target() const { return target_; }
    // Throws HostError when the rename fails; the temporary is then removed.
    void commit();
    void discard();

private:
    std::string target_;
    std::string path_;
    bool replace_ = false;
    int slot_ = -1;
};

// The start of this run's temporary names: `prefix`, this machine's name and the process id, as
// "PREFIX-HOST-PID-"; what follows it is the run's own, without a '-'. `pid`: that process's instead of this one's.
std::string temporaryStem(const std::string& prefix, long pid = 0);
// How the names of the temporaries process `pid` made for `target` begin, its folder included.
std::string pendingStem(const std::string& target, long pid);
// The name ending of the file a render is writing, which stays readable if the render dies (see salvageVideo).
extern const char renderingSuffix[];
// Removes from `folder` the temporaries named by temporaryStem(prefix) of runs on this machine that have ended:
// never those of another machine or of a process still running.
void removeLitterOf(const std::string& folder, const std::string& prefix);

// A file or folder of the host's own (a private working folder and what it holds), removed by the destructor.
// Its name is known to removePendingFiles() from before it is made until it is gone.
class TemporaryPath {
public:
    explicit TemporaryPath(std::string path);
    ~TemporaryPath();
    TemporaryPath(const TemporaryPath&) = delete;
    TemporaryPath& operator=(const TemporaryPath&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int slot_ = -1;
};

// Removes every pending temporary (files first, then the folders they emptied); async-signal-safe, for fatal-signal handlers and unexpected exits.
void removePendingFiles();
// From here on removePendingFiles() leaves them: a supervising process salvages and removes them.
void leavePendingFilesToSupervisor();

} // namespace gloamer
