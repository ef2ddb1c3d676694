// playlist.cpp -- M3U and PLS lists, folders of music, and a shuffle that a seed reproduces.
#include "host/audio/playlist.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <system_error>

#include "host/process/host_error.h"

namespace fs = std::filesystem;

namespace gloamer {

namespace {

constexpr int deepestListNesting = 8;

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

// The lines of a list's text without a byte-order mark, carriage returns or surrounding blanks.
std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text);
    std::string line;
    while (std::getline(stream, line)) {
        size_t first = line.find_first_not_of(" \t\r");
        size_t last = line.find_last_not_of(" \t\r");
        lines.push_back(first == std::string::npos ? "" : line.substr(first, last - first + 1));
    }
    return lines;
}

bool isMusicName(const fs::path& path)
{
    static const char* const extensions[] = {".wav", ".flac", ".ogg", ".oga", ".opus", ".mp3", ".m4a", ".aac",
                                             ".wma", ".aif", ".aiff", ".ape", ".wv",  ".mka", ".mpc", ".alac"};
    std::string extension = extensionOf(path.string());
    return std::any_of(std::begin(extensions), std::end(extensions),
                       [&](const char* known) { return extension == known; });
}

std::string readWhole(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    if (file)
        text << file.rdbuf();
    if (!file || file.bad())
        throw HostError("cannot read the playlist '" + path + "'");
    return text.str();
}

void expandInto(const std::string& input, int depth, std::vector<PlaylistEntry>& out)
{
    std::error_code error;
    if (!isUrl(input) && input != "-" && fs::is_directory(input, error)) {
        std::vector<std::string> found;
        fs::recursive_directory_iterator walk(input, fs::directory_options::skip_permission_denied, error);
        for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error))
            if (walk->is_regular_file(error) && isMusicName(walk->path()))
                found.push_back(walk->path().string());
        if (error)
            throw HostError("cannot read the folder '" + input + "': " + error.message());
        if (found.empty())
            std::fprintf(stderr, "gloamer: warning: the folder '%s' holds no music files\n", input.c_str());
        std::sort(found.begin(), found.end());
        for (const std::string& path : found)
            out.push_back({path, ""});
        return;
    }
    if (isUrl(input) || !isPlaylistName(input)) {
        out.push_back({input, ""});
        return;
    }
    if (depth >= deepestListNesting)
        throw HostError("the playlist '" + input + "' lists itself, or lists nested too deep");
    std::string folder = fs::path(input).parent_path().string();
    std::string text = readWhole(input);
    std::vector<PlaylistEntry> entries = extensionOf(input) == ".pls" ? parsePls(text, folder) : parseM3u(text, folder);
    if (entries.empty())
        std::fprintf(stderr, "gloamer: warning: the playlist '%s' lists nothing\n", input.c_str());
    for (const PlaylistEntry& entry : entries) {
        size_t before = out.size();
        expandInto(entry.location, depth + 1, out);
        if (out.size() == before + 1 && out.back().title.empty())
            out.back().title = entry.title;
    }
}

} // namespace

std::vector<PlaylistEntry> parseM3u(const std::string& text, const std::string& folder)
{
    std::vector<PlaylistEntry> entries;
    std::string title;
    for (const std::string& line : linesOf(isUtf8(text) ? text : latin1ToUtf8(text))) {
        if (line.rfind("#EXTINF:", 0) == 0) {
            size_t comma = line.find(',');
            title = comma == std::string::npos ? "" : line.substr(comma + 1);
        } else if (!line.empty() && line[0] != '#') {
            entries.push_back({locate(line, folder), title});
            title.clear();
        }
    }
    return entries;
}

std::vector<PlaylistEntry> parsePls(const std::string& text, const std::string& folder)
{
    // FileN= and TitleN= may come in any order; the numbers give the order to play.
    std::map<long, PlaylistEntry> numbered;
    for (const std::string& line : linesOf(text)) {
        size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string key = lowercase(line.substr(0, equals));
        std::string value = line.substr(equals + 1);
        for (const char* field : {"file", "title"}) {
            size_t length = std::char_traits<char>::length(field);
            if (key.size() <= length || key.compare(0, length, field) != 0 ||
                !std::all_of(key.begin() + (long)length, key.end(), [](char c) { return std::isdigit((unsigned char)c); }))
                continue;
            PlaylistEntry& entry = numbered[std::stol(key.substr(length))];
            (field[0] == 'f' ? entry.location : entry.title) = value;
        }
    }
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
    std::vector<PlaylistEntry> entries;
    for (const std::string& input : inputs)
        expandInto(input, 0, entries);
    return entries;
}

void shuffleEntries(std::vector<PlaylistEntry>& entries, uint64_t seed)
{
    // Fisher-Yates over the generator's raw numbers: std::shuffle's order differs between standard libraries.
    std::mt19937_64 random(seed);
    for (size_t i = entries.size(); i > 1; --i)
        std::swap(entries[i - 1], entries[(size_t)(random() % i)]);
}

} // namespace gloamer
