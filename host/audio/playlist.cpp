// playlist.cpp -- M3U and PLS lists, folders of music, within caps a hostile list cannot pass, and a shuffle
// that a seed reproduces.
#include "host/audio/playlist.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <system_error>

#include "host/process/host_error.h"
#include "host/process/interrupt.h"

namespace fs = std::filesystem;

namespace gloamer {

namespace {

std::string lowercase(std::string text)
{
    for (char& c : text)
        c = (char)std::tolower((unsigned char)c);
    return text;
}

std::string extensionOf(const std::string& path)
{
    return lowercase(fs::path(path).extension().string());
}

bool isUrl(const std::string& text)
{
    size_t colon = text.find("://");
    if (colon == std::string::npos || colon == 0)
        return false;
    return std::all_of(text.begin(), text.begin() + (long)colon,
                       [](char c) { return std::isalnum((unsigned char)c) || c == '+' || c == '-' || c == '.'; });
}

// file:///music/a%20b.flac -> /music/a b.flac
std::string pathOfFileUrl(const std::string& url)
{
    std::string path;
    std::string rest = url.substr(7);
    if (rest.rfind("localhost/", 0) == 0)
        rest = rest.substr(9);
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && std::isxdigit((unsigned char)rest[i + 1]) &&
            std::isxdigit((unsigned char)rest[i + 2])) {
            path += (char)std::stoi(rest.substr(i + 1, 2), nullptr, 16);
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return path;
}

std::string locate(const std::string& entry, const std::string& folder)
{
    if (lowercase(entry.substr(0, 7)) == "file://")
        return pathOfFileUrl(entry);
    if (isUrl(entry) || entry == "-" || fs::path(entry).is_absolute() || folder.empty())
        return entry;
    return (fs::path(folder) / entry).lexically_normal().string();
}

bool isUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        unsigned char c = (unsigned char)text[i];
        int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0 || i + (size_t)more >= text.size())
            return false;
        for (int k = 1; k <= more; ++k)
            if (((unsigned char)text[i + (size_t)k] >> 6) != 2)
                return false;
        i += (size_t)more + 1;
    }
    return true;
}

std::string latin1ToUtf8(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += (char)c;
        } else {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Calls `take` with each line of a list's text, without a byte-order mark, carriage returns or surrounding
// blanks, until it returns false. One line at a time: a list of millions of empty lines costs no more memory
// than its text.
template <typename Take>
void forEachLine(const std::string& text, Take take)
{
    size_t at = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        size_t first = text.find_first_not_of(" \t\r", at);
        size_t last = text.find_last_not_of(" \t\r", end == 0 ? 0 : end - 1);
        const bool blank = first == std::string::npos || first >= end || last == std::string::npos || last < first;
        if (!take(blank ? std::string() : text.substr(first, last - first + 1)))
            return;
        at = end + 1;
    }
}

bool isMusicName(const fs::path& path)
{
    static const char* const extensions[] = {".wav", ".flac", ".ogg", ".oga", ".opus", ".mp3", ".m4a", ".aac",
                                             ".wma", ".aif", ".aiff", ".ape", ".wv",  ".mka", ".mpc", ".alac"};
    std::string extension = extensionOf(path.string());
    return std::any_of(std::begin(extensions), std::end(extensions),
                       [&](const char* known) { return extension == known; });
}

// A list's whole text: a regular file only (a FIFO or device could block or never end), read within what is
// left of `budget`, which it uses up.
std::string readList(const std::string& path, size_t& budget)
{
    const std::string notRegular = "cannot read the playlist '" + path +
                                   "': it is not a regular file (a FIFO, device or socket is never read as a list)";
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        throw HostError(notRegular);
    // Non-blocking, so that a FIFO put in the list's place since is refused rather than waited on.
    int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        throw HostError("cannot read the playlist '" + path + "': " + std::strerror(errno));
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(descriptor);
        throw HostError(notRegular);
    }
    std::string text;
    char block[65536];
    for (;;) {
        ssize_t got = read(descriptor, block, sizeof(block));
        if (got < 0 && errno == EINTR && !interruptRequested())
            continue;
        if (got <= 0 || text.size() + (size_t)got > budget) {
            int error = got < 0 ? errno : 0;
            close(descriptor);
            if (got < 0 && error == EINTR)
                throw StopRequested();
            if (got < 0)
                throw HostError("cannot read the playlist '" + path + "': " + std::strerror(error));
            if (got > 0)
                throw HostError("the playlist '" + path + "' is too large: the lists of one play may hold " +
                                std::to_string(mostPlaylistBytes >> 20) + " MiB in all");
            break;
        }
        text.append(block, (size_t)got);
    }
    budget -= text.size();
    return text;
}

// One expansion of play's inputs: what it has taken so far against the caps, and each list read once.
class Expansion {
public:
    std::vector<PlaylistEntry> entries;

    void expand(const std::string& input, int depth)
    {
        if (!take())
            return;
        std::error_code error;
        if (!isUrl(input) && input != "-" && fs::is_directory(input, error))
            expandFolder(input);
        else if (isUrl(input) || !isPlaylistName(input))
            entries.push_back({input, ""});
        else
            expandList(input, depth);
    }

    void warnIfCut() const
    {
        if (cut_)
            std::fprintf(stderr, "gloamer: warning: the inputs list more than %zu entries (every line of every "
                                 "list and every file of a folder counted): the rest is left out\n",
                         mostPlaylistEntries);
    }

private:
    // Counts one entry; false once the cap is reached. Ctrl-C and SIGTERM end the expansion here.
    bool take()
    {
        if (interruptRequested())
            throw StopRequested();
        if (taken_ >= mostPlaylistEntries) {
            cut_ = true;
            return false;
        }
        ++taken_;
        return true;
    }

    void expandFolder(const std::string& input)
    {
        std::error_code error;
        std::vector<std::string> found;
        fs::recursive_directory_iterator walk(input, fs::directory_options::skip_permission_denied, error);
        for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
            if (interruptRequested())
                throw StopRequested();
            if (walk->is_regular_file(error) && isMusicName(walk->path()))
                found.push_back(walk->path().string());
            if (found.size() > mostPlaylistEntries - taken_)
                break; // more than can be taken: the cap shows below
        }
        if (error)
            throw HostError("cannot read the folder '" + input + "': " + error.message());
        if (found.empty())
            std::fprintf(stderr, "gloamer: warning: the folder '%s' holds no music files\n", input.c_str());
        std::sort(found.begin(), found.end());
        for (const std::string& path : found)
            if (take())
                entries.push_back({path, ""});
    }

    void expandList(const std::string& list, int depth)
    {
        if (depth >= deepestListNesting)
            throw HostError("the playlist '" + list + "' lists itself, or lists nested too deep (" +
                            std::to_string(deepestListNesting) + " levels at most)");
        for (const PlaylistEntry& entry : entriesOf(list)) {
            if (cut_)
                return;
            size_t before = entries.size();
            expand(entry.location, depth + 1);
            if (entries.size() == before + 1 && entries.back().title.empty())
                entries.back().title = entry.title;
        }
    }

    // A list's entries, read and said to be empty or to hold refused entries the first time only.
    const std::vector<PlaylistEntry>& entriesOf(const std::string& list)
    {
        auto known = lists_.find(list);
        if (known != lists_.end())
            return known->second;
        const size_t most = mostPlaylistEntries - taken_;
        std::vector<PlaylistEntry> listed;
        if (most > 0) {
            const std::string folder = fs::path(list).parent_path().string();
            const std::string text = readList(list, bytesLeft_);
            std::string refused;
            listed = extensionOf(list) == ".pls" ? parsePls(text, folder, most, &refused) : parseM3u(text, folder, most);
            if (listed.empty() && refused.empty())
                std::fprintf(stderr, "gloamer: warning: the playlist '%s' lists nothing\n", list.c_str());
            if (!refused.empty())
                std::fprintf(stderr, "gloamer: warning: the playlist '%s' numbers entries out of range (such as '%s'): "
                                     "they are left out\n", list.c_str(), refused.c_str());
        }
        return lists_.emplace(list, std::move(listed)).first->second;
    }

    size_t taken_ = 0;
    bool cut_ = false;
    size_t bytesLeft_ = mostPlaylistBytes;
    std::map<std::string, std::vector<PlaylistEntry>> lists_; // each list read once, however often it is listed
};

} // namespace

std::vector<PlaylistEntry> parseM3u(const std::string& text, const std::string& folder, size_t most)
{
    std::vector<PlaylistEntry> entries;
    std::string title;
    forEachLine(isUtf8(text) ? text : latin1ToUtf8(text), [&](const std::string& line) {
        if (entries.size() >= most)
            return false;
        if (line.rfind("#EXTINF:", 0) == 0) {
            size_t comma = line.find(',');
            title = comma == std::string::npos ? "" : line.substr(comma + 1);
        } else if (!line.empty() && line[0] != '#') {
            entries.push_back({locate(line, folder), title});
            title.clear();
        }
        return true;
    });
    return entries;
}

std::vector<PlaylistEntry> parsePls(const std::string& text, const std::string& folder, size_t most,
                                    std::string* refused)
{
    // FileN= and TitleN= may come in any order; the numbers give the order to play.
    std::map<long, PlaylistEntry> numbered;
    forEachLine(text, [&](const std::string& line) {
        size_t equals = line.find('=');
        if (equals == std::string::npos)
            return true;
        std::string key = lowercase(line.substr(0, equals));
        std::string value = line.substr(equals + 1);
        for (const char* field : {"file", "title"}) {
            size_t length = std::char_traits<char>::length(field);
            if (key.size() <= length || key.compare(0, length, field) != 0 ||
                !std::all_of(key.begin() + (long)length, key.end(), [](char c) { return std::isdigit((unsigned char)c); }))
                continue;
            long number = 0;
            if (std::from_chars(key.data() + length, key.data() + key.size(), number).ec != std::errc()) {
                if (refused && refused->empty())
                    *refused = line.substr(0, equals);
                continue;
            }
            // A new number past `most` is left out; lists number their entries in order, so these come last.
            if (numbered.size() >= most && !numbered.count(number))
                continue;
            PlaylistEntry& entry = numbered[number];
            (field[0] == 'f' ? entry.location : entry.title) = value;
        }
        return true;
    });
    std::vector<PlaylistEntry> entries;
    for (auto& [number, entry] : numbered)
        if (!entry.location.empty())
            entries.push_back({locate(entry.location, folder), entry.title});
    return entries;
}

bool isPlaylistName(const std::string& path)
{
    std::string extension = extensionOf(path);
    return extension == ".m3u" || extension == ".m3u8" || extension == ".pls";
}

std::vector<PlaylistEntry> expandInputs(const std::vector<std::string>& inputs)
{
    Expansion expansion;
    for (const std::string& input : inputs)
        expansion.expand(input, 0);
    expansion.warnIfCut();
    return std::move(expansion.entries);
}

void shuffleEntries(std::vector<PlaylistEntry>& entries, uint64_t seed)
{
    // Fisher-Yates over the generator's raw numbers: std::shuffle's order differs between standard libraries.
    std::mt19937_64 random(seed);
    for (size_t i = entries.size(); i > 1; --i)
        std::swap(entries[i - 1], entries[(size_t)(random() % i)]);
}

} // namespace gloamer
