// playlist_test.cpp -- play's inputs: M3U and PLS lists, folders, and a shuffle its seed repeats.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "host/audio/playlist.h"
#include "host/player/playlist_player.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_audio.h"

namespace {

using gloamer::PlaylistEntry;
namespace fs = std::filesystem;

struct ListCase {
    const char* what;
    bool pls;
    std::string text;
    std::vector<std::pair<std::string, std::string>> expected; // location, title
};

TEST(Playlist, ReadsM3uAndPlsEntriesWithTheirTitlesAndPlaces)
{
    const ListCase cases[] = {
        {"m3u: relative, absolute, URL, comments, CRLF and a byte-order mark", false,
         "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:123,Artist - Song\r\nsub/a.flac\r\n\r\n# a note\r\n/abs/b.mp3\r\n"
         "http://radio.example/stream\r\n",
         {{"/lists/sub/a.flac", "Artist - Song"}, {"/abs/b.mp3", ""}, {"http://radio.example/stream", ""}}},
        {"m3u: a title belongs to the next entry only; file URLs become paths", false,
         "#EXTINF:-1,Only This\nfile:///music/a%20b.ogg\n../c.wav\n",
         {{"/music/a b.ogg", "Only This"}, {"/c.wav", ""}}},
        {"m3u in Latin-1 is read as such", false, "caf\xE9.mp3\n", {{"/lists/caf\xC3\xA9.mp3", ""}}},
        {"pls: numbered, in any order, titles beside", true,
         "[playlist]\nFile2=two.mp3\nTitle1=First\nfile1=one.mp3\nNumberOfEntries=2\nVersion=2\n",
         {{"/lists/one.mp3", "First"}, {"/lists/two.mp3", ""}}},
        {"pls: a title without a file is no entry", true, "[playlist]\nTitle3=Nothing\n", {}},
    };
    for (const ListCase& c : cases) {
        std::vector<PlaylistEntry> entries = c.pls ? gloamer::parsePls(c.text, "/lists") : gloamer::parseM3u(c.text, "/lists");
        std::vector<std::pair<std::string, std::string>> got;
        for (const PlaylistEntry& entry : entries)
            got.push_back({entry.location, entry.title});
        EXPECT_EQ(got, c.expected) << c.what;
    }
}

TEST(Playlist, ExpandsFoldersRecursivelySortedAndListsInLists)
{
    testfs::TempFolder folder{"gloamer-playlist"};
    fs::path root = folder.path();
    fs::create_directories(root / "album" / "cd2");
    for (const char* name : {"album/02.flac", "album/01.mp3", "album/cover.jpg", "album/cd2/01.ogg"})
        std::ofstream(root / name) << "x";
    std::ofstream(root / "inner.m3u") << "album/01.mp3\n";
    std::ofstream(root / "outer.pls") << "[playlist]\nFile1=inner.m3u\nFile2=-\n";

    std::vector<PlaylistEntry> entries =
        gloamer::expandInputs({(root / "album").string(), (root / "outer.pls").string(), "https://x.example/a.m3u"});
    std::vector<std::string> got;
    for (const PlaylistEntry& entry : entries)
        got.push_back(entry.location);
    std::vector<std::string> expected{(root / "album/01.mp3").string(), (root / "album/02.flac").string(),
                                      (root / "album/cd2/01.ogg").string(), (root / "album/01.mp3").string(), "-",
                                      "https://x.example/a.m3u"};
    EXPECT_EQ(got, expected);

    std::ofstream(root / "self.m3u") << "self.m3u\n";
    EXPECT_ANY_THROW(gloamer::expandInputs({(root / "self.m3u").string()}));
}

TEST(Playlist, ShuffleIsAPermutationThatOnlyTheSeedDecides)
{
    std::vector<PlaylistEntry> tracks;
    for (int i = 0; i < 20; ++i)
        tracks.push_back({std::to_string(i), ""});
    auto order = [&](uint64_t seed) {
        std::vector<PlaylistEntry> shuffled = tracks;
        gloamer::shuffleEntries(shuffled, seed);
        std::vector<std::string> names;
        for (const PlaylistEntry& entry : shuffled)
            names.push_back(entry.location);
        return names;
    };
    std::vector<std::string> first = order(42);
    EXPECT_EQ(order(42), first);
    EXPECT_NE(order(43), first);
    // The same order on every machine and build, not only within one run: the generator is the standard's own.
    EXPECT_EQ(first[0] + "," + first[1] + "," + first[2], "7,1,11");
    std::sort(first.begin(), first.end());
    std::vector<std::string> names;
    for (const PlaylistEntry& entry : tracks)
        names.push_back(entry.location);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(first, names);
}

} // namespace

TEST(PlaylistFeed, SeeksAFileBackAndForthHoldingOnlyTheSecondsAroundWhatIsHeard)
{
    testfs::TempFolder folder{"gloamer-seek"};
    const std::string wav = (folder / "ramp.wav").string();
    const int rate = 8000;
    std::vector<int16_t> ramp((size_t)rate * 60);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = (int16_t)(i / 16); // a sample says where it is
    ASSERT_TRUE(testaudio::writeSound(wav, rate, 1, ramp));
    // Paused, the heard frame is the one sought, so where each seek went shows without a clock.
    gloamer::PlaylistFeed feed({{wav, ""}}, false, std::nullopt);
    VisModule module = {};
    double heard = 0;
    for (double by : {40.0, -35.0, 3.0, 42.0, -49.0}) {
        feed.seekBy(by);
        feed.fill(module);
        const gloamer::AudioTrack& track = feed.track();
        const int64_t frame = std::llround((heard += by) * rate);
        SCOPED_TRACE("after seeking by " + std::to_string(by));
        ASSERT_TRUE(track.firstFrame <= frame && frame < (int64_t)track.frameCount());
        EXPECT_EQ(*track.at(frame), ramp[(size_t)frame]);
        EXPECT_LT(track.heldFrames(), (size_t)rate * 25);
    }
}
