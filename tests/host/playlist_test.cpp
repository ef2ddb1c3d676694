// playlist_test.cpp -- play's inputs: M3U and PLS lists, folders, and a shuffle its seed repeats.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "host/audio/playlist.h"
#include "host/player/playlist_player.h"
#include "host/process/host_error.h"
#include "host/process/interrupt.h"
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

// What a hostile or careless list does, and what comes of it: entries, a refusal, or a stop.
struct HostileList {
    const char* what;
    std::function<std::string(const fs::path& root)> make; // writes the lists, returns the input
    size_t entries;          // how many come out (when nothing is thrown)
    std::string thrown;      // part of the HostError, or "stop" for StopRequested; empty: none
    std::string warned;      // part of what went to stderr; empty: nothing
    bool stopFirst = false;  // a stop is asked for before the lists are read
};

TEST(Playlist, HostileListsAreCappedRefusedOrStoppedInsteadOfExhaustingTheMachine)
{
    // Seven lists, each naming the next twenty times: twenty to the seventh power tracks, were they expanded.
    auto bomb = [](const fs::path& root) {
        for (int level = 0; level < 7; ++level) {
            std::ofstream list(root / ("l" + std::to_string(level) + ".m3u"));
            for (int i = 0; i < 20; ++i)
                list << (level < 6 ? "l" + std::to_string(level + 1) + ".m3u\n" : "track.wav\n");
        }
        return (root / "l0.m3u").string();
    };
    const HostileList cases[] = {
        {"a list bomb stops at the cap, with one line", bomb, 0, "", "more than 100000 entries"},
        {"a stop asked for meanwhile ends the reading", bomb, 0, "stop", "", true},
        {"a PLS number past a long is left out in one line",
         [](const fs::path& root) {
             std::ofstream(root / "big.pls") << "[playlist]\nFile99999999999999999999=x.wav\nFile1=a.wav\n"
                                                "Title123456789012345678901234567890=t\n";
             return (root / "big.pls").string();
         },
         1, "", "out of range (such as 'File99999999999999999999')"},

        {"a FIFO is not waited on as a list",
         [](const fs::path& root) {
             mkfifo((root / "pipe.m3u").c_str(), 0644);
             return (root / "pipe.m3u").string();
         },
         0, "not a regular file", ""},
        {"a socket is not read as a list",
         [](const fs::path& root) {
             sockaddr_un address = {};
             address.sun_family = AF_UNIX;
             std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", (root / "s.pls").c_str());
             int listener = socket(AF_UNIX, SOCK_STREAM, 0);
             bind(listener, (sockaddr*)&address, sizeof(address));
             return (root / "s.pls").string();
         },
         0, "not a regular file", ""},
        {"a list larger than all lists may be is refused",
         [](const fs::path& root) {
             std::ofstream(root / "huge.m3u") << "a.wav\n";
             fs::resize_file(root / "huge.m3u", gloamer::mostPlaylistBytes + 1);
             return (root / "huge.m3u").string();
         },
         0, "too large", ""},
        {"lists nested past the limit are refused",
         [](const fs::path& root) {
             for (int level = 0; level <= gloamer::deepestListNesting; ++level)
                 std::ofstream(root / ("n" + std::to_string(level) + ".m3u")) << "n" << level + 1 << ".m3u\n";
             return (root / "n0.m3u").string();
         },
         0, "nested too deep", ""},
        {"a missing list is named",
         [](const fs::path& root) { return (root / "gone.pls").string(); }, 0, "No such file", ""},
    };
    for (const HostileList& c : cases) {
        SCOPED_TRACE(c.what);
        testfs::TempFolder folder{"gloamer-hostile-list"};
        const std::string input = c.make(folder.path());
        if (c.stopFirst)
            gloamer::onStopSignal(SIGTERM);
        std::string thrown;
        std::vector<PlaylistEntry> entries;
        ::testing::internal::CaptureStderr();
        try {
            entries = gloamer::expandInputs({input});
        } catch (const gloamer::HostError& error) {
            thrown = error.what();
        } catch (const gloamer::StopRequested&) {
            thrown = "stop";
        }
        const std::string warned = ::testing::internal::GetCapturedStderr();
        gloamer::clearInterruptRequest();
        if (c.thrown.empty())
            EXPECT_EQ(thrown, "");
        EXPECT_NE(thrown.find(c.thrown), std::string::npos) << thrown;
        if (c.thrown.empty() && c.entries)
            EXPECT_EQ(entries.size(), c.entries);
        EXPECT_LE(entries.size(), gloamer::mostPlaylistEntries);
        if (c.warned.empty())
            EXPECT_EQ(warned, "");
        EXPECT_NE(warned.find(c.warned), std::string::npos) << warned;
        EXPECT_LE(std::count(warned.begin(), warned.end(), '\n'), 1) << warned;
    }
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

// A track shorter than what is read of it before it plays was once never heard to end: the output waited for an
// end it was never told, playing silence. Each must end once heard, however short.
TEST(PlaylistFeed, ATrackEndsOnceHeardHoweverShort)
{
    testfs::TempFolder folder{"gloamer-short"};
    for (double seconds : {0.02, 0.1, 0.5}) {
        SCOPED_TRACE(std::to_string(seconds) + " s");
        const std::string wav = (folder / "short.wav").string();
        const int rate = 44100;
        ASSERT_TRUE(testaudio::writeSound(wav, rate, 2, testaudio::tones((size_t)(seconds * rate), {{440, 8000}, {660, 8000}})));
        gloamer::PlaylistFeed feed({{wav, ""}}, false, std::nullopt);
        VisModule module = {};
        feed.start();
        // The silent driver plays at the real rate; a bound far past the track's length ends a feed that never
        // would.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!feed.ended() && std::chrono::steady_clock::now() < giveUp) {
            feed.fill(module);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_TRUE(feed.ended());
    }
}
