// child_process.h -- starts a program under test with its standard streams in files, and reads how it ended.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

extern char** environ;

namespace testproc {

// Files for the child's standard streams; an empty name leaves that stream as this process has it.
struct Streams {
    std::string in;
    std::string out;
    std::string err;
    std::string folder; // the child's working folder; empty: this process's
};

// Starts arguments[0] with environment (this process's by default), in a process group of its own when asked;
// its process id, or -1 when it cannot be started.
inline pid_t spawn(std::vector<std::string> arguments, const Streams& streams, char** environment = environ,
                   bool ownGroup = false)
{
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    if (!streams.folder.empty())
        posix_spawn_file_actions_addchdir_np(&files, streams.folder.c_str());
    if (!streams.in.empty())
        posix_spawn_file_actions_addopen(&files, 0, streams.in.c_str(), O_RDONLY, 0);
    if (!streams.out.empty())
        posix_spawn_file_actions_addopen(&files, 1, streams.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!streams.err.empty())
        posix_spawn_file_actions_addopen(&files, 2, streams.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownGroup) {
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    }
    pid_t pid = -1;
    int failed = posix_spawn(&pid, argv[0], &files, &attributes, argv.data(), environment);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    return failed ? -1 : pid;
}

// The exit code, or 128 + the signal that ended the child.
inline int exitStatus(int waitStatus)
{
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

} // namespace testproc
