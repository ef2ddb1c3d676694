// output_checks.cpp -- refuses an output that could not be written, or would harm another file, before it is opened.
#include "host/process/output_checks.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "host/process/host_error.h"
#include "host/process/system.h"

namespace gloamer {

namespace {

size_t lastSeparator(const std::string& path)
{
    for (size_t i = path.size(); i-- > 0;)
        if (isPathSeparator(path[i]))
            return i;
    return std::string::npos;
}

} // namespace

std::string outputExtension(const std::string& path)
{
    size_t dot = path.find_last_of('.');
    size_t slash = lastSeparator(path);
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    return extension;
}

namespace {

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

int hexDigit(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The file on disk an input reads, however it is named: a path, or a file: URL (file:///x, file://localhost/x,
// file:x) with its %-escapes decoded. Empty for other URLs, which read nothing on disk.
std::string localFileOf(const std::string& input)
{
    if (input.compare(0, 5, "file:") != 0)
        return input.find("://") == std::string::npos ? input : "";
    std::string path = input.substr(5);
    if (path.compare(0, 2, "//") == 0) {
        size_t slash = path.find('/', 2);
        if (slash == std::string::npos)
            return "";
        path = path.substr(slash);
    }
    std::string decoded;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 2 < path.size() && hexDigit(path[i + 1]) >= 0 && hexDigit(path[i + 2]) >= 0) {
            decoded += (char)(hexDigit(path[i + 1]) * 16 + hexDigit(path[i + 2]));
            i += 2;
        } else {
            decoded += path[i];
        }
    }
    return decoded;
}

bool isInput(const std::string& name, const std::string& input)
{
    if (input == "-" || input == "pipe:" || input == "pipe:0")
        return isStandardInput(name);
    const std::string file = localFileOf(input);
    return !file.empty() && sameFile(name, file);
}

void checkNotAnInput(const std::string& name, const std::vector<std::string>& inputs)
{
    for (const std::string& input : inputs)
        if (isInput(name, input))
            throw HostError("cannot write '" + name + "': it is the input '" + input + "'");
}

// Two names of one file, whether or not it exists yet: through links to it or to a folder above it, and `..`.
bool sameName(const std::string& a, const std::string& b)
{
    if (sameFile(a, b))
        return true;
    std::error_code error, otherError;
    const std::filesystem::path first = std::filesystem::weakly_canonical(a, error);
    const std::filesystem::path second = std::filesystem::weakly_canonical(b, otherError);
    return !error && !otherError && first == second;
}

} // namespace

// A link at the name is itself replaced, never written through, so only what the name reaches decides whether
// it is the input.
void checkOutputName(const std::string& output, const std::string& name, bool overwrite,
                     const std::vector<std::string>& inputs)
{
    checkNotAnInput(name, inputs);
    if (isSpecialFile(name))
        throw HostError("cannot write '" + name + "': it is not a regular file (a FIFO, device or socket is never replaced)");
    if (fileNameOf(name).size() > 255)
        throw HostError("cannot write '" + name + "': the file name is too long (255 characters at most)");
    PathKind kind = entryKind(name);
    if (kind == PathKind::folder)
        throw HostError("cannot write '" + output + "': '" + name + "' is a folder");
    if (kind == PathKind::file && !overwrite)
        throw HostError("'" + name + "' exists already (add --overwrite to replace it)");
}

void checkOutputFolder(const std::string& output)
{
    std::string folder = folderOf(output);
    if (pathKind(folder) == PathKind::missing)
        throw HostError("cannot write '" + output + "': folder '" + folder + "' does not exist");
    if (pathKind(folder) != PathKind::folder)
        throw HostError("cannot write '" + output + "': '" + folder + "' is not a folder");
    if (!canCreateIn(folder))
        throw HostError("cannot write '" + output + "': no permission to write in '" + folder + "'");
}

void checkOutputFile(const std::string& path, bool overwrite, const std::vector<std::string>& inputs)
{
    if (path.empty())
        throw UsageError("no output given (add -o FILE)");
    checkOutputFolder(path);
    checkOutputName(path, path, overwrite, inputs);
}

void checkProgressFile(const std::string& path, bool overwrite, const std::string& output,
                       const std::vector<std::string>& inputs)
{
    if (path == "-")
        return;
    if (path.empty())
        throw UsageError("--progress needs a file name, or - for standard output");
    checkNotAnInput(path, inputs);
    if (sameName(path, output))
        throw HostError("cannot write the progress to '" + path + "': it is the output");
    if (isStreamFile(path))
        return;
    checkOutputFile(path, overwrite, {});
}

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
    return outputExtension(output) == "png" && hasOneNumberField(output) &&
           output.find('%', lastSeparator(output) == std::string::npos ? 0 : lastSeparator(output)) !=
               std::string::npos;
}

std::string pictureName(const std::string& pattern, int64_t number)
{
    // Sized by what printf says it writes: a wide field gives a long name, never a cut one.
    int length = snprintf(nullptr, 0, pattern.c_str(), (int)number);
    std::vector<char> name((size_t)std::max(length, 0) + 1);
    snprintf(name.data(), name.size(), pattern.c_str(), (int)number);
    return name.data();
}

} // namespace gloamer
