// pending_file.h -- an output written under a temporary name in its own folder and renamed into place when whole.
#pragma once

#include <string>

namespace gloamer {

// Creates an empty file of its own (never through a link) beside `target`; the writer fills `path()`.
// commit() renames it onto `target`, replacing what is there; otherwise the destructor removes it. While it
// exists its name is known to removePendingFiles(), so that even a fatal signal leaves no temporary behind.
class PendingFile {
public:
    explicit PendingFile(const std::string& target);
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
    int slot_ = -1;
};

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

} // namespace gloamer
