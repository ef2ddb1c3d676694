// batch_list.cpp -- reads a batch's list or walks its folder, and gives every input a distinct output name.
#include "host/batch/batch_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "host/batch/batch_record.h"
#include "host/media/media_input.h"
#include "host/process/host_error.h"
#include "host/process/interrupt.h"

namespace gloamer {

namespace fs = std::filesystem;

namespace {

bool isMediaFile(const fs::path& path)
{
    static const std::set<std::string> extensions = {
        ".wav", ".flac", ".ogg", ".oga", ".opus", ".mp3", ".m4a", ".aac", ".wma", ".aif", ".aiff", ".wv",
        ".ape", ".mka", ".mp4", ".m4v", ".mkv", ".mov", ".webm", ".avi"};
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return (char)std::tolower(c); });
    return extensions.count(extension) > 0;
}

bool isUnder(const fs::path& path, const fs::path& folder)
{
    auto [end, rest] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return end == folder.end();
}

fs::path absoluteClean(const fs::path& path)
{
    std::error_code error;
    fs::path clean = fs::weakly_canonical(fs::absolute(path), error);
    return error ? fs::absolute(path).lexically_normal() : clean;
}

// The output name of a URL: its last path part without a query, or "stream".
std::string streamStem(const std::string& url)
{
    std::string path = url.substr(0, url.find_first_of("?#"));
    size_t scheme = path.find("://");
    path = scheme == std::string::npos ? path : path.substr(scheme + 3);
    size_t slash = path.find('/');
    std::string last = slash == std::string::npos ? "" : path.substr(path.find_last_of('/') + 1);
    std::string stem = fs::path(last).stem().string();
    return stem.empty() ? "stream" : stem;
}

std::string trimmed(const std::string& line)
{
    size_t first = line.find_first_not_of(" \t\r");
    size_t last = line.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : line.substr(first, last - first + 1);
}

// Gives the items distinct names, the first of each keeping the plain one, and marks an input named twice.
void settleNames(std::vector<BatchItem>& items, const std::vector<std::string>& stems, const std::string& extension)
{
    std::set<std::string> taken;
    std::map<std::string, size_t> firstOfInput;
    for (size_t i = 0; i < items.size(); ++i) {
        std::string name = stems[i] + "." + extension;
        for (int number = 2; taken.count(name); ++number)
            name = stems[i] + "-" + std::to_string(number) + "." + extension;
        taken.insert(name);
        items[i].name = name;
        std::string key = isStreamName(items[i].input) ? items[i].input : absoluteClean(items[i].input).string();
        auto [first, isNew] = firstOfInput.emplace(key, i);
        if (!isNew && items[i].problem.empty())
            items[i].problem = "named twice in the list (already rendered as " + items[first->second].name + ")";
    }
}

} // namespace

namespace {

// Stops a long read of a list or a walk of a folder at Ctrl-C or SIGTERM, as the rest of the batch stops.
void stopIfAsked()
{
    if (interruptRequested())
        throw StopRequested();
}

void walkFolder(const std::string& list, const std::string& outputFolder, std::vector<BatchItem>& items,
                std::vector<std::string>& stems)
{
    std::error_code error;
    const fs::path root = absoluteClean(list);
    const fs::path skipped = absoluteClean(outputFolder);
    if (isUnder(root, skipped))
        throw HostError("the output folder '" + outputFolder + "' holds the folder of music '" + list +
                        "': its videos would be taken as music on the next run; choose another output folder");
    std::vector<fs::path> found;
    fs::recursive_directory_iterator walk(root, fs::directory_options::skip_permission_denied, error);
    if (error)
        throw HostError("cannot read the folder '" + list + "': " + error.message());
    for (auto end = fs::recursive_directory_iterator(); walk != end; walk.increment(error)) {
        if (error)
            throw HostError("cannot read the folder '" + list + "': " + error.message());
        stopIfAsked();
        // A folder that was once a batch's output keeps its parts and work there: never music.
        if (isUnder(absoluteClean(walk->path()), skipped) || walk->path().filename() == batchStateFolderName) {
            walk.disable_recursion_pending();
            continue;
        }
        if (walk->is_regular_file(error) && isMediaFile(walk->path()))
            found.push_back(walk->path());
    }
    std::sort(found.begin(), found.end());
    for (const fs::path& path : found) {
        items.push_back({path.string(), "", ""});
        stems.push_back(path.lexically_relative(root).replace_extension().string());
    }
}

BatchItem listEntry(const std::string& entry, const fs::path& folder, std::vector<std::string>& stems)
{
    BatchItem item{entry, "", ""};
    if (entry == "-") {
        item.problem = "standard input cannot be an item of a batch";
        stems.push_back("standard-input");
    } else if (entry[0] == '-') {
        // Every entry is an input: one that looks like an option is refused rather than guessed at.
        item.problem = "begins with '-', as an option does: write it as ./" + entry;
        stems.push_back(fs::path(entry).stem().string());
    } else if (isStreamName(entry)) {
        stems.push_back(streamStem(entry));
    } else {
        fs::path path = fs::path(entry).is_absolute() ? fs::path(entry) : folder / entry;
        item.input = path.lexically_normal().string();
        stems.push_back(path.stem().string());
        std::error_code statError;
        fs::file_status status = fs::status(path, statError);
        if (status.type() == fs::file_type::not_found)
            item.problem = "no such file";
        else if (status.type() == fs::file_type::directory)
            item.problem = "is a folder (give the folder itself as the list to render what it holds)";
        else if (statError)
            item.problem = "cannot be read: " + statError.message();
    }
    return item;
}

// Reads a list that is a regular file, and nothing else: a FIFO or device (/dev/urandom) would never end.
void readListFile(const std::string& list, std::vector<BatchItem>& items, std::vector<std::string>& stems)
{
    int descriptor = open(list.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        throw HostError("cannot read the list '" + list + "': " + std::strerror(errno));
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(descriptor);
        throw HostError("the list '" + list + "' is not a regular file or a folder (a pipe or device is not read "
                        "as a list): give a text file with one input a line, or a folder");
    }
    FILE* file = fdopen(descriptor, "r");
    if (!file) {
        close(descriptor);
        throw HostError("cannot read the list '" + list + "'");
    }
    const fs::path folder = fs::path(list).parent_path();
    std::string line;
    for (int c = 0; c != EOF;) {
        line.clear();
        while ((c = std::getc(file)) != EOF && c != '\n')
            line += (char)c;
        if (interruptRequested()) {
            std::fclose(file);
            throw StopRequested();
        }
        std::string entry = trimmed(line);
        if (!entry.empty() && entry[0] != '#')
            items.push_back(listEntry(entry, folder, stems));
    }
    const bool readFailed = std::ferror(file);
    std::fclose(file);
    if (readFailed)
        throw HostError("cannot read the list '" + list + "'");
}

} // namespace

std::vector<BatchItem> readBatchList(const std::string& list, const std::string& extension,
                                     const std::string& outputFolder)
{
    std::vector<BatchItem> items;
    std::vector<std::string> stems;
    std::error_code error;
    if (fs::is_directory(list, error))
        walkFolder(list, outputFolder, items, stems);
    else
        readListFile(list, items, stems);
    settleNames(items, stems, extension);
    return items;
}

} // namespace gloamer
