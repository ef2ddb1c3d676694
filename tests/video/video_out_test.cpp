// video_out_test.cpp -- output checks, video files and picture sequences written and read back, the encoder thread.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "host/process/host_error.h"
#include "host/video/output.h"
#include "host/video/frame_sink.h"
#include "tests/support/temp_folder.h"
#include "tests/video/media_probe.h"

namespace fs = std::filesystem;
using gloamer::HostError;

namespace {

class VideoOutTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (folder / name).string(); }

    testfs::TempFolder folder{"gloamer-video"};
};

// A picture whose left half is red and right half blue, with a bar that moves one column per frame.
std::vector<uint8_t> testPicture(int width, int height, int frame)
{
    std::vector<uint8_t> rgb((size_t)width * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = &rgb[((size_t)y * width + x) * 3];
            bool bar = x == frame % width;
            pixel[0] = bar ? 255 : (x < width / 2 ? 220 : 20);
            pixel[1] = bar ? 255 : 20;
            pixel[2] = bar ? 255 : (x < width / 2 ? 20 : 220);
        }
    return rgb;
}

std::vector<int16_t> sine(int sampleRate, int channels, double seconds)
{
    std::vector<int16_t> samples((size_t)(sampleRate * seconds) * channels);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = (int16_t)(12000 * std::sin(2 * M_PI * 440.0 * (double)(i / channels) / sampleRate));
    return samples;
}

std::string refusal(const std::string& output, bool overwrite)
{
    try {
        gloamer::OutputRequest request;
        request.path = output;
        request.overwrite = overwrite;
        request.format = {64, 48, 30, 20};
        gloamer::checkOutput(request);
    } catch (const HostError& error) {
        return error.what();
    }
    return "";
}

TEST_F(VideoOutTest, UnwritableOutputsAreRefusedWithTheFix)
{
    EXPECT_NE(refusal(path("missing/out.mp4"), false).find("does not exist"), std::string::npos);
    EXPECT_NE(refusal("/proc/gloamer-out.mp4", false).find("no permission"), std::string::npos);
    std::ofstream(path("taken.mp4")) << "old";
    EXPECT_NE(refusal(path("taken.mp4"), false).find("--overwrite"), std::string::npos);
    EXPECT_EQ(refusal(path("taken.mp4"), true), "");
    EXPECT_NE(refusal(path("out.avi"), false).find(".mp4, .mkv or .mov"), std::string::npos);
    EXPECT_NE(refusal(path("frame.png"), false).find("%05d"), std::string::npos);
    fs::create_directories(folder / "dir.mp4");
    EXPECT_NE(refusal(path("dir.mp4"), true).find("is a folder"), std::string::npos);
    EXPECT_EQ(refusal(path("out.MKV"), false), "");
    EXPECT_EQ(refusal(path("f%05d.png"), false), "");
    std::ofstream(path("f00001.png")) << "old";
    EXPECT_NE(refusal(path("f%05d.png"), false).find("--overwrite"), std::string::npos);
    // The name goes through printf: anything but one number field is not a picture pattern.
    EXPECT_FALSE(gloamer::isPictureSequence(path("%s%05d.png")));
    EXPECT_FALSE(gloamer::isPictureSequence(path("%n.png")));
    EXPECT_FALSE(gloamer::isPictureSequence(path("%d%d.png")));
    EXPECT_TRUE(gloamer::isPictureSequence(path("100%%-%04d.png")));
    EXPECT_FALSE(fs::exists(folder / "out.mp4"));
}

TEST_F(VideoOutTest, VideoFileHoldsEveryFrameAtItsRateWithTheMusicAlongside)
{
    const int width = 320, height = 240, fps = 30, frames = 60;
    std::vector<int16_t> music = sine(44100, 2, 3.0); // longer than the pictures: cut to their length
    gloamer::AudioInput audio{44100, 2, music.data(), (int64_t)(music.size() / 2)};
    auto sink = gloamer::openVideoFile(path("out.mp4"), {width, height, fps, 20}, audio);
    for (int frame = 0; frame < frames; ++frame)
        sink->writeFrame(testPicture(width, height, frame).data());
    sink->finish();

    gloamer::testing::MediaInfo info = gloamer::testing::probeMedia(path("out.mp4"), 30);
    ASSERT_TRUE(info.opened);
    EXPECT_EQ(info.width, width);
    EXPECT_EQ(info.height, height);
    EXPECT_EQ(info.videoFrames, frames);
    EXPECT_NEAR(info.framesPerSecond, fps, 0.01);
    EXPECT_NEAR(info.durationSeconds, 2.0, 0.1);
    ASSERT_TRUE(info.hasAudio);
    EXPECT_EQ(info.audioSampleRate, 44100);
    EXPECT_NEAR((double)info.audioSamples / 44100, 2.0, 0.05);
    // The colours survive the encoding: red on the left, blue on the right, the bar where it was drawn.
    ASSERT_EQ(info.pictures.size(), 2u);
    const std::vector<uint8_t>& second = info.pictures[1]; // frame 30
    auto at = [&](int x, int y) { return &second[((size_t)y * width + x) * 3]; };
    EXPECT_GT(at(40, 120)[0], 180);
    EXPECT_LT(at(40, 120)[2], 70);
    EXPECT_GT(at(280, 120)[2], 180);
    EXPECT_GT(at(30, 120)[1], 200); // the bar of frame 30
}

TEST_F(VideoOutTest, PictureSequenceWritesNumberedPngsOfTheFrameSize)
{
    auto sink = gloamer::openPictureSequence(path("frame-%03d.png"), {64, 48, 30, 20});
    for (int frame = 0; frame < 3; ++frame)
        sink->writeFrame(testPicture(64, 48, frame).data());
    sink->finish();
    for (const char* name : {"frame-001.png", "frame-002.png", "frame-003.png"}) {
        gloamer::testing::MediaInfo info = gloamer::testing::probeMedia(path(name), 1);
        ASSERT_TRUE(info.opened) << name;
        EXPECT_EQ(info.width, 64);
        EXPECT_EQ(info.height, 48);
        ASSERT_EQ(info.pictures.size(), 1u);
        EXPECT_EQ(info.pictures[0], testPicture(64, 48, name[8] - '1')) << "PNG is lossless";
    }
    EXPECT_FALSE(fs::exists(folder / "frame-004.png"));
}

TEST_F(VideoOutTest, AFullDiskLeavesAReadableFileOrNone)
{
    std::string output = path("full.mp4");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Writes past 64 KiB fail as they would on a full disk.
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::unique_ptr<gloamer::FrameSink> sink;
        try {
            sink = gloamer::openVideoFile(output, {320, 240, 30, 0}, {});
            std::vector<uint8_t> noise((size_t)320 * 240 * 3);
            for (int frame = 0; frame < 300; ++frame) {
                for (uint8_t& byte : noise)
                    byte = (uint8_t)rand();
                sink->writeFrame(noise.data());
            }
            sink->finish();
            _exit(0);
        } catch (const HostError&) {
            if (sink)
                sink->abandon(); // what a render does after a failed write
        }
        _exit(3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 3) << "the writes should have failed";
    if (fs::exists(output)) {
        gloamer::testing::MediaInfo info = gloamer::testing::probeMedia(output);
        EXPECT_TRUE(info.opened && info.videoFrames > 0) << "a partial file must stay playable";
    }
}

struct Recorded {
    std::vector<int> firstBytes;
    std::atomic<int> finished{0};
    int failAt = -1;
};

class RecordingSink : public gloamer::FrameSink {
public:
    explicit RecordingSink(Recorded& recorded) : recorded_(recorded) {}
    void writeFrame(const uint8_t* rgb) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if ((int)recorded_.firstBytes.size() == recorded_.failAt)
            throw HostError("cannot write 'x.mp4': No space left on device");
        recorded_.firstBytes.push_back(rgb[0]);
    }
    void finish() override { recorded_.finished = 1; }
    void abandon() override { recorded_.finished = -1; }

private:
    Recorded& recorded_;
};

TEST_F(VideoOutTest, EncoderThreadKeepsOrderAndHandsBackAWriteFailure)
{
    Recorded ordered;
    {
        auto sink = gloamer::runOnEncoderThread(std::make_unique<RecordingSink>(ordered), 4, 2);
        for (uint8_t frame = 0; frame < 20; ++frame) {
            uint8_t pixel[4] = {frame, 0, 0, 0};
            sink->writeFrame(pixel);
        }
        sink->finish();
    }
    ASSERT_EQ(ordered.firstBytes.size(), 20u);
    for (int frame = 0; frame < 20; ++frame)
        EXPECT_EQ(ordered.firstBytes[(size_t)frame], frame);
    EXPECT_EQ(ordered.finished, 1);

    Recorded failing;
    failing.failAt = 3;
    auto sink = gloamer::runOnEncoderThread(std::make_unique<RecordingSink>(failing), 4, 2);
    bool thrown = false;
    uint8_t pixel[4] = {};
    for (int frame = 0; frame < 50 && !thrown; ++frame) {
        try {
            sink->writeFrame(pixel);
        } catch (const HostError& error) {
            thrown = std::string(error.what()).find("No space") != std::string::npos;
        }
    }
    if (!thrown)
        EXPECT_THROW(sink->finish(), HostError);
    sink->abandon();
    EXPECT_EQ(failing.finished, -1);
}

} // namespace
