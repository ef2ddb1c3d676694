// stream_test.cpp -- the stream's logic in process: --to read, the pacer's choice, the pause between tries, the
// sound of a looped list, the title file and the progress line.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

#include "host/offline/progress_lines.h"
#include "host/process/host_error.h"
#include "host/stream/stream_audio.h"
#include "host/stream/stream_pacer.h"
#include "host/stream/stream_target.h"
#include "host/stream/title_file.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_audio.h"

namespace gloamer {
namespace {

TEST(StreamTarget, EachPlaceGetsItsMuxerAndRefusalsNameTheFix)
{
    testfs::TempFolder folder("gloamer-stream-target");
    const std::string dir = folder.path().string();
    struct Case {
        std::string to;
        StreamKind kind;
        std::string muxer, url, segments;
    } cases[] = {
        {"rtmp://127.0.0.1:1935/live/key", StreamKind::Rtmp, "flv", "rtmp://127.0.0.1:1935/live/key", ""},
        {"RTMPS://ingest.example/app/key", StreamKind::Rtmp, "flv", "RTMPS://ingest.example/app/key", ""},
        {"srt://127.0.0.1:9000?mode=caller", StreamKind::Srt, "mpegts", "srt://127.0.0.1:9000?mode=caller", ""},
        {"-", StreamKind::StandardOutput, "mpegts", "pipe:1", ""},
        {dir, StreamKind::Hls, "hls", dir + "/stream.m3u8", dir + "/stream-%d.ts"},
        {dir + "/new/", StreamKind::Hls, "hls", dir + "/new/stream.m3u8", dir + "/new/stream-%d.ts"},
        {dir + "/live.M3U8", StreamKind::Hls, "hls", dir + "/live.M3U8", dir + "/live-%d.ts"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        StreamTarget target = streamTargetFor(c.to);
        EXPECT_EQ(target.kind, c.kind);
        EXPECT_EQ(target.muxer, c.muxer);
        EXPECT_EQ(target.url, c.url);
        EXPECT_EQ(target.segments, c.segments);
    }
    for (const std::string& bad : std::vector<std::string>{"http://example.org/live", "file:///tmp/x.flv",
                                                          dir + "/video.flv", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(streamTargetFor(bad), UsageError);
    }
}

TEST(StreamTarget, MessagesNeverShowTheStreamKeyOrAPassphrase)
{
    const struct {
        std::string url, secret;
    } cases[] = {{"rtmp://a.example/live/SECRETKEY1", "SECRETKEY1"},
                 {"rtmps://a.example:443/app/sub/SECRETKEY2", "SECRETKEY2"},
                 {"srt://h.example:9000?passphrase=SECRET3&mode=caller", "SECRET3"}};
    for (const auto& c : cases) {
        const std::string shown = urlWithoutSecrets(c.url);
        EXPECT_EQ(shown.find(c.secret), std::string::npos) << shown;
        EXPECT_NE(shown.find(".example"), std::string::npos) << shown; // the server is still named
        EXPECT_EQ(streamTargetFor(c.url).shownName.find(c.secret), std::string::npos);
    }
}

TEST(StreamPacer, WaitsDrawsOrSkipsByTheWallClock)
{
    const StreamPacer pacer(30);
    const struct {
        int64_t frame;
        double elapsed;
        FrameChoice choice;
    } cases[] = {{0, 0.0, FrameChoice::Draw},   {30, 0.5, FrameChoice::Wait},  {30, 1.0, FrameChoice::Draw},
                 {30, 1.45, FrameChoice::Draw}, {30, 1.55, FrameChoice::Skip}, {300, 9.99, FrameChoice::Wait},
                 {300, 60.0, FrameChoice::Skip}};
    for (const auto& c : cases)
        EXPECT_EQ(pacer.choose(c.frame, c.elapsed), c.choice) << c.frame << " at " << c.elapsed;
}

// A machine that draws slower than the frame rate: every frame still goes out, no later than the slack allows, and
// as many are drawn as its speed allows.
TEST(StreamPacer, ASlowDrawerSendsEveryFrameAndStaysOnTheClock)
{
    const struct {
        double drawSeconds;
        int lowestDrawn, highestDrawn;
    } cases[] = {{0.01, 300, 300}, {0.05, 180, 230}, {0.2, 35, 70}};
    for (const auto& c : cases) {
        const StreamPacer pacer(30);
        double now = 0;
        SentCount sent;
        for (int64_t frame = 0; frame < 300; ++frame) {
            FrameChoice choice = pacer.choose(frame, now);
            if (choice == FrameChoice::Wait)
                now = pacer.dueAt(frame), choice = FrameChoice::Draw;
            now += choice == FrameChoice::Draw ? c.drawSeconds : 0.001; // a repeat costs next to nothing
            sent.add(choice == FrameChoice::Draw);
        }
        SCOPED_TRACE(c.drawSeconds);
        EXPECT_EQ(sent.frames, 300);
        EXPECT_GE(sent.drawn, c.lowestDrawn);
        EXPECT_LE(sent.drawn, c.highestDrawn);
        EXPECT_LT(now, pacer.dueAt(300) + 0.5 + c.drawSeconds + 0.05); // never more behind than the slack
    }
}

TEST(StreamRetry, PauseGrowsToItsCeilingAndTheLimitCounts)
{
    const struct {
        int attempt;
        double pause;
    } pauses[] = {{1, 1}, {2, 2}, {3, 4}, {5, 16}, {6, 30}, {1000, 30}};
    for (const auto& c : pauses)
        EXPECT_DOUBLE_EQ(retryPause(c.attempt), c.pause) << c.attempt;
    const struct {
        int failures, limit;
        bool again;
    } limits[] = {{1, 0, false}, {1, 1, true}, {2, 1, false}, {10, 10, true}, {11, 10, false}};
    for (const auto& c : limits)
        EXPECT_EQ(mayRetry(c.failures, c.limit), c.again) << c.failures << " of " << c.limit;
}

// Three short tracks at other rates and layouts, one list entry missing, looped twice by --tracks.
TEST(StreamAudio, ALoopedListRunsThroughItsTracksInOneFormat)
{
    testfs::TempFolder folder("gloamer-stream-audio");
    std::vector<PlaylistEntry> entries;
    const struct {
        int rate, channels;
    } formats[] = {{22050, 1}, {44100, 2}, {48000, 2}};
    for (int i = 0; i < 3; ++i) {
        const std::string path = (folder / ("t" + std::to_string(i) + ".wav")).string();
        const int rate = formats[i].rate, channels = formats[i].channels;
        std::vector<std::pair<double, double>> tone(channels, {440.0, 8000.0});
        ASSERT_TRUE(testaudio::writeSound(path, rate, channels, testaudio::tones(rate / 2, tone, rate)));
        entries.push_back({path, ""});
        if (i == 0)
            entries.push_back({(folder / "missing.wav").string(), ""});
    }
    StreamAudioLimits limits;
    limits.loop = true;
    limits.tracks = 6;
    StreamAudio sound(entries, limits);
    std::vector<TrackStart> starts;
    for (int64_t upTo = 4096; !sound.endsBy(upTo) && upTo < 100 * 48000; upTo += 4096) {
        sound.need(upTo);
        for (TrackStart& start : sound.takeTrackStarts())
            starts.push_back(start);
        sound.release(upTo - 48000);
    }
    ASSERT_EQ(starts.size(), 6u);
    const long numbers[] = {1, 3, 4, 1, 3, 4}; // the missing entry, 2, is passed over
    for (size_t i = 0; i < starts.size(); ++i) {
        EXPECT_EQ(starts[i].number, numbers[i]);
        EXPECT_EQ(starts[i].title, "t" + std::to_string(i % 3) + ".wav");
        EXPECT_NEAR((double)starts[i].frame, 24000.0 * (double)i, 64); // each track half a second at 48 kHz
    }
    EXPECT_NEAR((double)sound.held().frameCount(), 6 * 24000.0, 64);
    EXPECT_LE(sound.held().heldFrames(), 48000u + 4096u); // what was released is gone: memory stays flat
}

TEST(StreamAudio, DurationCutsTheSoundAndCopiesPastItsEndComeShort)
{
    testfs::TempFolder folder("gloamer-stream-cut");
    const std::string path = (folder / "tone.wav").string();
    ASSERT_TRUE(testaudio::writeSound(path, 48000, 2, testaudio::tones(48000, {{1000, 9000}, {1000, 9000}}, 48000)));
    StreamAudioLimits limits;
    limits.loop = true;
    limits.endFrame = 60000; // a looped second of sound, cut at 1.25 s
    StreamAudio sound({{path, ""}}, limits);
    sound.need(1000000);
    ASSERT_TRUE(sound.endsBy(60000));
    EXPECT_FALSE(sound.endsBy(59999));
    std::vector<int16_t> into(2 * 1000, 1);
    EXPECT_EQ(sound.copy(59500, 1000, into.data()), 500);
    EXPECT_EQ(sound.copy(0, 1000, into.data()), 1000);
    sound.release(30000);
    EXPECT_EQ(sound.copy(0, 1000, into.data()), 1000);
    EXPECT_EQ(into[0], 0); // released sound comes back as silence: the timeline never shifts
    EXPECT_EQ(into[1999], 0);
}

TEST(TitleFile, ReplacesTheLineWholeWithBreaksFlattened)
{
    testfs::TempFolder folder("gloamer-title");
    const std::string path = (folder / "title.txt").string();
    const struct {
        std::string title, line;
    } cases[] = {{"First Song", "First Song\n"}, {"Two\nLines\r", "Two Lines \n"}, {"", "\n"}};
    for (const auto& c : cases) {
        writeTitleFile(path, c.title);
        std::ifstream file(path, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, c.line);
    }
    size_t files = 0;
    for (auto& entry : std::filesystem::directory_iterator(folder.path()))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1u); // no temporary left beside it
    EXPECT_THROW(writeTitleFile((folder / "no/such/folder/t.txt").string(), "x"), HostError);
}

TEST(StreamProgress, LineIsJsonWithRatesAndAnyTitle)
{
    const std::string titles[] = {"Plain", "Quote \" and \\ back", std::string("bad \xff utf-8")};
    for (const std::string& title : titles) {
        const std::string line = streamProgressLine(StreamProgress{300, 240, 10.0, 123456, true, title, "running"});
        nlohmann::json parsed = nlohmann::json::parse(line);
        EXPECT_EQ(parsed["frame"], 300);
        EXPECT_EQ(parsed["drawn"], 240);
        EXPECT_DOUBLE_EQ(parsed["fps"].get<double>(), 30.0);
        EXPECT_DOUBLE_EQ(parsed["drawn_fps"].get<double>(), 24.0);
        EXPECT_EQ(parsed["connected"], true);
        EXPECT_EQ(parsed["state"], "running");
        EXPECT_FALSE(parsed["title"].get<std::string>().empty());
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }
}

} // namespace
} // namespace gloamer
