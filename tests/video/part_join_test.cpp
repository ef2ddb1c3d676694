// part_join_test.cpp -- a render cut into parts on "several machines" and joined: the video of one render.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/audio/audio_track.h"
#include "host/process/host_error.h"
#include "host/offline/part_plan.h"
#include "host/offline/random_catch_up.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_audio.h"
#include "tests/video/media_probe.h"

namespace fs = std::filesystem;

namespace {

struct JoinRun {
    int status = -1;
    std::string errors;
};

JoinRun gloamerRun(const std::vector<std::string>& arguments, const fs::path& folder)
{
    std::vector<std::string> all = {GLOAMER_HOST_PATH};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const fs::path errors = folder / "stderr.txt";
    int status = 0;
    waitpid(testproc::spawn(all, {"/dev/null", "", errors.string()}), &status, 0);
    std::ifstream in(errors);
    return {testproc::exitStatus(status), std::string(std::istreambuf_iterator<char>(in), {})};
}

// The video stream's presentation times, in frames, in decoding order.
std::vector<int64_t> videoFrameTimes(const std::string& path, int fps)
{
    std::vector<int64_t> times;
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0)
        return times;
    int video = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVPacket* packet = av_packet_alloc();
    while (video >= 0 && av_read_frame(input, packet) >= 0) {
        if (packet->stream_index == video)
            times.push_back(av_rescale_q(packet->pts, input->streams[video]->time_base, AVRational{1, fps}));
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&input);
    return times;
}

TEST(PartJoin, ThreePartsJoinIntoTheFramesAndMusicOfOneRender)
{
    testfs::TempFolder folder("gloamer-parts");
    // 12.5 s at 10 fps: 125 frames in keyframe intervals of 20, the last part the longest and ending short.
    gloamer::AudioTrack demo = gloamer::makeDemoTrack();
    demo.samples.resize((size_t)13 * demo.sampleRate * demo.channelCount);
    const std::string music = (folder / "music.wav").string();
    ASSERT_TRUE(testaudio::writeSound(music, demo.sampleRate, demo.channelCount, demo.samples));
    const std::vector<std::string> common = {"render", music, "--duration", "12.5", "--size", "160x120", "--fps",
                                             "10", "--crf", "0", "--calm", "--quiet"};
    auto render = [&](std::vector<std::string> extra) {
        std::vector<std::string> arguments = common;
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return gloamerRun(arguments, folder.path());
    };
    JoinRun whole = render({"-o", (folder / "whole.mp4").string()});
    ASSERT_EQ(whole.status, 0) << whole.errors;
    std::vector<std::string> join = {"join"};
    for (int part : {2, 0, 1}) { // any order: the parts know their place
        const std::string name = (folder / ("part" + std::to_string(part) + ".mp4")).string();
        // 40 warm-up frames: the last part starts drawing at frame 40, far from the start.
        JoinRun run = render({"--part", std::to_string(part) + "/3", "--warmup", "40", "-o", name});
        ASSERT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(run.errors, "");
        join.push_back(name);
    }
    const std::string joined = (folder / "joined.mp4").string();
    std::vector<std::string> arguments = join;
    arguments.insert(arguments.end(), {"--audio", music, "-o", joined});
    JoinRun run = gloamerRun(arguments, folder.path());
    ASSERT_EQ(run.status, 0) << run.errors;

    gloamer::testing::MediaInfo expected = gloamer::testing::probeMedia((folder / "whole.mp4").string(), 1);
    gloamer::testing::MediaInfo got = gloamer::testing::probeMedia(joined, 1);
    ASSERT_EQ(expected.videoFrames, 125);
    ASSERT_EQ(got.videoFrames, 125);
    for (size_t frame = 0; frame < expected.pictures.size(); ++frame)
        ASSERT_TRUE(got.pictures[frame] == expected.pictures[frame]) << "frame " << frame << " differs";
    std::vector<int64_t> times = videoFrameTimes(joined, 10);
    std::sort(times.begin(), times.end());
    ASSERT_EQ(times.size(), 125u);
    for (size_t frame = 0; frame < times.size(); ++frame)
        ASSERT_EQ(times[frame], (int64_t)frame) << "timestamps jump at frame " << frame;
    ASSERT_TRUE(got.hasAudio);
    EXPECT_NEAR((double)got.audioSamples / got.audioSampleRate, 12.5, 0.1);
    EXPECT_EQ(got.audioSamples, expected.audioSamples);

    // What cannot make one render: a part missing, a part twice, a video that is no part; nothing is written.
    const std::string refused = (folder / "refused.mp4").string();
    for (std::vector<std::string> parts : std::vector<std::vector<std::string>>{
             {join[1], join[2]}, {join[1], join[2], join[3], join[3]}, {join[1], join[2], (folder / "whole.mp4").string()}}) {
        parts.insert(parts.begin(), "join");
        parts.insert(parts.end(), {"--audio", music, "-o", refused});
        JoinRun bad = gloamerRun(parts, folder.path());
        EXPECT_EQ(bad.status, 1) << bad.errors;
        EXPECT_FALSE(fs::exists(refused));
    }
    EXPECT_EQ(render({"--part", "3/3", "-o", refused}).status, 2);
}

TEST(PartJoin, PartsAreWholeKeyframeIntervalsCoveringTheRender)
{
    struct Case {
        int64_t frames;
        int parts;
        std::vector<int64_t> starts; // each part's first frame, then the end
    } cases[] = {{125, 3, {0, 40, 80, 125}}, {60, 3, {0, 20, 40, 60}}, {61, 2, {0, 40, 61}}, {20, 1, {0, 20}}};
    for (const Case& c : cases)
        for (int index = 0; index < c.parts; ++index) {
            gloamer::PartPlan plan = gloamer::planPart(c.frames, 20, {index, c.parts}, 30);
            EXPECT_EQ(plan.firstFrame, c.starts[index]) << c.frames << " frames, part " << index;
            EXPECT_EQ(plan.endFrame, c.starts[index + 1]) << c.frames << " frames, part " << index;
            EXPECT_EQ(plan.warmupStart, std::max<int64_t>(0, plan.firstFrame - 30));
            EXPECT_EQ(gloamer::parsePartTag(gloamer::formatPartTag({plan, 10, 44100, 5, 0}))->plan.endFrame,
                      plan.endFrame);
        }
    EXPECT_THROW(gloamer::planPart(40, 20, {0, 3}, 30), gloamer::HostError);
    for (const char* bad : {"3/3", "-1/3", "1", "1/0", "a/b", "1/3x"})
        EXPECT_FALSE(gloamer::parsePartRequest(bad)) << bad;
}

// A stand-in plug-in: `startUp` numbers drawn as it starts, then `perFrame(frame)` each frame.
template <typename PerFrame>
std::vector<int> drawsOfFrames(int64_t first, int64_t end, int startUp, PerFrame perFrame, bool& steady)
{
    gloamer::RandomCatchUp catchUp;
    for (int i = 0; i < startUp; ++i)
        (void)rand();
    std::vector<int> values;
    for (int64_t frame = first; frame < end; ++frame) {
        catchUp.beforeFrame(frame);
        for (int i = 0; i < perFrame(frame); ++i)
            values.push_back(rand());
    }
    steady = catchUp.steady();
    return values;
}

TEST(PartJoin, RandomNumbersAreCaughtUpFromTheSecondFrameDrawn)
{
    bool steady = false;
    auto three = [](int64_t) { return 3; };
    std::vector<int> whole = drawsOfFrames(0, 30, 7, three, steady);
    std::vector<int> part = drawsOfFrames(20, 30, 7, three, steady);
    EXPECT_TRUE(steady);
    EXPECT_NE(std::vector<int>(part.begin(), part.begin() + 3), std::vector<int>(whole.begin() + 60, whole.begin() + 63));
    EXPECT_EQ(std::vector<int>(part.begin() + 3, part.end()), std::vector<int>(whole.begin() + 63, whole.end()));
    drawsOfFrames(20, 30, 7, [](int64_t frame) { return frame < 25 ? 3 : 4; }, steady);
    EXPECT_FALSE(steady);
}

} // namespace
