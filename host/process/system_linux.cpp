// system_linux.cpp -- the host's system services on Linux: stat, renameat2, slashes and the dynamic loader's own words.
#include "host/process/system.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>

namespace gloamer {

const char ownPluginFileName[] = "vis_gloamer.so";

PathKind pathKind(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return PathKind::missing;
    return S_ISDIR(info.st_mode) ? PathKind::folder : PathKind::file;
}

PathKind entryKind(const std::string& path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return PathKind::missing;
    return S_ISDIR(info.st_mode) ? PathKind::folder : PathKind::file;
}

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat first, second;
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

bool replaceFile(const std::string& from, const std::string& to)
{
    return rename(from.c_str(), to.c_str()) == 0;
}

bool renameWithoutReplacing(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    // A file system without the flag: a hard link fails where a name exists, and is as atomic.
    if (link(from.c_str(), to.c_str()) != 0)
        return false;
    unlink(from.c_str());
    return true;
}

bool isSpecialFile(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode) &&
           !S_ISLNK(info.st_mode);
}

bool isStreamFile(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode));
}

bool isStandardInput(const std::string& path)
{
    struct stat input, file;
    return fstat(0, &input) == 0 && stat(path.c_str(), &file) == 0 && input.st_dev == file.st_dev &&
           input.st_ino == file.st_ino;
}

std::string hostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof(name) - 1) != 0 || !name[0])
        return "localhost";
    std::string safe;
    for (const char* c = name; *c && safe.size() < 64; ++c)
        safe += (std::isalnum((unsigned char)*c) || *c == '-' || *c == '.') ? *c : '_';
    return safe;
}

bool processHasEnded(long pid)
{
    return pid > 0 && kill((pid_t)pid, 0) != 0 && errno == ESRCH;
}

bool isPathSeparator(char c)
{
    return c == '/';
}

std::string fileNameOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string lastLoadError()
{
    const char* reason = dlerror();
    return reason ? reason : "";
}

} // namespace gloamer
