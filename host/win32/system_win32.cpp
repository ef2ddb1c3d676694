// system_win32.cpp -- the host's system services on Windows: both slashes, and the loader's error as the system words it.
#include "host/system.h"

#include <sys/stat.h>

#include "platform/win32.h"

namespace gloamer {

const char ownPluginFileName[] = "vis_gloamer.dll";

PathKind pathKind(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::folder : PathKind::file;
}

bool isPathSeparator(char c)
{
    return c == '/' || c == '\\';
}

std::string fileNameOf(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string lastLoadError()
{
    DWORD code = GetLastError();
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof(text), nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' '))
        text[--length] = 0;
    return length ? std::string(text) + " (error " + std::to_string(code) + ")" : "error " + std::to_string(code);
}

} // namespace gloamer
