// playlist.h -- what play's inputs stand for: files, folders of music and playlist files, in the order to play.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gloamer {

struct PlaylistEntry {
    std::string location; // a path, "-" or a URL, as the audio reader takes it
    std::string title;    // the list's own name for it (#EXTINF, TitleN=), empty where it gives none
};

// The most entries the inputs of one play may come to, every line of every list counted (lists among them)
// and every file of a folder; past it the rest is left out, with a warning. Lists nest this deep at most.
constexpr size_t mostPlaylistEntries = 100000;
constexpr int deepestListNesting = 8;
// The most bytes of lists read for one play, and so the largest list.
constexpr size_t mostPlaylistBytes = 64u << 20;

// Reads an M3U/M3U8 or PLS list's text, `most` entries at most. Relative paths are taken from `folder` (the
// list's own, empty for the current one), URLs are kept, file:// URLs become paths. M3U text that is not UTF-8
// is read as Latin-1. A PLS entry numbered past what a long holds is left out; the first such key goes to
// `refused`.
std::vector<PlaylistEntry> parseM3u(const std::string& text, const std::string& folder, size_t most = SIZE_MAX);
std::vector<PlaylistEntry> parsePls(const std::string& text, const std::string& folder, size_t most = SIZE_MAX,
                                    std::string* refused = nullptr);

// True for the names of playlist files: .m3u, .m3u8, .pls.
bool isPlaylistName(const std::string& path);

// Every input in order: a folder stands for the music files under it (recursively, sorted by path), a playlist
// for its entries (lists in lists too), anything else for itself. Throws HostError for a folder or list that
// cannot be read (a list must be a regular file), or lists nested too deep; StopRequested after Ctrl-C or
// SIGTERM. A folder without music, an empty list, refused entries and the cap reached are warnings on stderr.
std::vector<PlaylistEntry> expandInputs(const std::vector<std::string>& inputs);

// The same entries in an order that only `seed` decides, the same on every machine.
void shuffleEntries(std::vector<PlaylistEntry>& entries, uint64_t seed);

} // namespace gloamer
