// playlist.h -- what play's inputs stand for: files, folders of music and playlist files, in the order to play.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gloamer {

struct PlaylistEntry {
    std::string location; // a path, "-" or a URL, as the audio reader takes it
    std::string title;    // the list's own name for it (#EXTINF, TitleN=), empty where it gives none
};

// Reads an M3U/M3U8 or PLS list's text. Relative paths are taken from `folder` (the list's own, empty for the
// current one), URLs are kept, file:// URLs become paths. M3U text that is not UTF-8 is read as Latin-1.
std::vector<PlaylistEntry> parseM3u(const std::string& text, const std::string& folder);
std::vector<PlaylistEntry> parsePls(const std::string& text, const std::string& folder);

// True for the names of playlist files: .m3u, .m3u8, .pls.
bool isPlaylistName(const std::string& path);

// Every input in order: a folder stands for the music files under it (recursively, sorted by path), a playlist
// for its entries (lists in lists too), anything else for itself. Throws HostError for a folder or list that
// cannot be read; a folder without music and an empty list are warnings on stderr.
std::vector<PlaylistEntry> expandInputs(const std::vector<std::string>& inputs);

// The same entries in an order that only `seed` decides, the same on every machine.
void shuffleEntries(std::vector<PlaylistEntry>& entries, uint64_t seed);

} // namespace gloamer
