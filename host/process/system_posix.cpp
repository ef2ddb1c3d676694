// system_posix.cpp -- the host's system services on Linux: stat, slashes and the dynamic loader's own words.
#include "host/process/system.h"

#include <dlfcn.h>
#include <sys/stat.h>

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
