// system_win32.cpp -- the host's system services on Windows: both slashes, and the loader's error as the system words it.
#include "host/process/system.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

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

PathKind entryKind(const std::string& path)
{
    return pathKind(path);
}

namespace {

// The volume and file index that name one file whatever path reaches it; false when it cannot be opened.
bool fileIndexOf(const std::string& path, BY_HANDLE_FILE_INFORMATION& info)
{
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return known;
}

} // namespace

bool sameFile(const std::string& a, const std::string& b)
{
    BY_HANDLE_FILE_INFORMATION first, second;
    return fileIndexOf(a, first) && fileIndexOf(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

bool replaceFile(const std::string& from, const std::string& to)
{
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
}

bool renameWithoutReplacing(const std::string& from, const std::string& to)
{
    if (MoveFileExA(from.c_str(), to.c_str(), 0))
        return true;
    DWORD error = GetLastError();
    errno = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? EEXIST
            : error == ERROR_ACCESS_DENIED                              ? EACCES
                                                                        : EIO;
    return false;
}

bool isSpecialFile(const std::string&)
{
    return false;
}

bool isStreamFile(const std::string&)
{
    return false;
}

bool isStandardInput(const std::string&)
{
    return false;
}

std::string hostName()
{
    const char* name = std::getenv("COMPUTERNAME");
    std::string safe;
    for (const char* c = name ? name : "localhost"; *c && safe.size() < 64; ++c)
        safe += (std::isalnum((unsigned char)*c) || *c == '-' || *c == '.') ? *c : '_';
    return safe;
}

// Whether a process has ended is not asked here: a temporary of another run is then never taken for litter.
bool processHasEnded(long)
{
    return false;
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
