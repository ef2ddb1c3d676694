// output_check.cpp -- refuses an output that could not be written before a single frame is drawn.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "host/host_error.h"
#include "host/system.h"
#include "host/video/frame_sink.h"

namespace gloamer {

namespace {

size_t lastSeparator(const std::string& path)
{
    for (size_t i = path.size(); i-- > 0;)
        if (isPathSeparator(path[i]))
            return i;
    return std::string::npos;
}

std::string lowerExtension(const std::string& path)
{
    size_t dot = path.find_last_of('.');
    size_t slash = lastSeparator(path);
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    return extension;
}

std::string folderOf(const std::string& path)
{
    size_t slash = lastSeparator(path);
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creating a file is the one honest test of a folder's writability (root passes every permission check).
bool canCreateIn(const std::string& folder)
{
    std::string probe = folder + "/.gloamer-write-test-" + std::to_string(getpid());
    int descriptor = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (descriptor < 0)
        return false;
    close(descriptor);
    unlink(probe.c_str());
    return true;
}

void checkFile(const std::string& output, const std::string& file, bool overwrite)
{
    struct stat info;
    if (stat(file.c_str(), &info) != 0)
        return;
    if (S_ISDIR(info.st_mode))
        throw HostError("cannot write '" + output + "': '" + file + "' is a folder");
    if (!overwrite)
        throw HostError("'" + file + "' exists already (add --overwrite to replace it)");
    if (access(file.c_str(), W_OK) != 0)
        throw HostError("cannot write '" + file + "': " + strerror(errno));
}

} // namespace

// Exactly one frame-number field (%d, %5d, %05d) and no other conversion, since the name goes through printf.
static bool hasOneNumberField(const std::string& pattern)
{
    int fields = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%')
            continue;
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < pattern.size() && j - i <= 3 && std::isdigit((unsigned char)pattern[j]))
            ++j;
        if (j >= pattern.size() || pattern[j] != 'd')
            return false;
        ++fields;
        i = j;
    }
    return fields == 1;
}

bool isPictureSequence(const std::string& output)
{
    return lowerExtension(output) == "png" && hasOneNumberField(output) &&
           output.find('%', lastSeparator(output) == std::string::npos ? 0 : lastSeparator(output)) !=
               std::string::npos;
}

void checkOutputWritable(const std::string& output, bool overwrite)
{
    if (output.empty())
        throw HostError("no output given (add -o OUT.mp4, or -o DIR/%05d.png for pictures)");
    std::string extension = lowerExtension(output);
    bool pictures = isPictureSequence(output);
    if (!pictures && extension == "png")
        throw HostError("cannot write '" + output + "': a picture sequence needs a frame number, like DIR/%05d.png");
    if (!pictures && extension != "mp4" && extension != "mkv" && extension != "mov")
        throw HostError("cannot write '" + output +
                        "': unknown video format (use .mp4, .mkv or .mov, or DIR/%05d.png for pictures)");

    std::string folder = folderOf(output);
    struct stat info;
    if (stat(folder.c_str(), &info) != 0)
        throw HostError("cannot write '" + output + "': folder '" + folder + "' does not exist");
    if (!S_ISDIR(info.st_mode))
        throw HostError("cannot write '" + output + "': '" + folder + "' is not a folder");
    if (!canCreateIn(folder))
        throw HostError("cannot write '" + output + "': no permission to write in '" + folder + "'");

    if (pictures) {
        std::vector<char> first(output.size() + 32);
        snprintf(first.data(), first.size(), output.c_str(), 1);
        checkFile(output, first.data(), overwrite);
    } else {
        checkFile(output, output, overwrite);
    }
}

} // namespace gloamer
