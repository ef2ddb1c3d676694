// system_posix.cpp -- the host's system services on Linux: stat, slashes and the dynamic loader's own words.
#include "host/system.h"

#include <dlfcn.h>
#include <sys/stat.h>

namespace gloamer {

const char ownPluginFileName[] = "vis_gloamer.so";

PathKind pathKind(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return PathKind::missing;
    return S_ISDIR(info.st_mode) ? PathKind::folder : PathKind::file;
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
