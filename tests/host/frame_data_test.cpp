// frame_data_test.cpp -- frame data files: what is written is read back whole, and damaged files are refused by name.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "host/process/host_error.h"
#include "host/replay/frame_data.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

class FrameDataFile : public ::testing::Test {
protected:
    gloamer::FrameData twoFrames()
    {
        gloamer::FrameData data;
        data.fps = 25;
        data.sampleRate = 48000;
        data.channelCount = 1;
        data.latencyMs = 25;
        for (uint32_t k = 0; k < 2; ++k) {
            gloamer::FrameRecord& frame = data.frames.emplace_back();
            frame.tick = 0xFFFFFFF0u + 40 * k; // across the tick counter's wrap
            for (int i = 0; i < 576; ++i) {
                frame.spectrum[0][i] = (uint8_t)(i + k);
                frame.spectrum[1][i] = (uint8_t)(3 * i);
                frame.waveform[0][i] = (uint8_t)(255 - i);
                frame.waveform[1][i] = (uint8_t)(i * 7 + k);
            }
        }
        return data;
    }

    std::string bytes()
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void rewrite(const std::string& content)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    }
    std::string refusal()
    {
        try {
            gloamer::readFrameData(path.string());
        } catch (const gloamer::HostError& error) {
            return error.what();
        }
        return "";
    }

    testfs::TempFolder folder{"gloamer-frame-data"};
    fs::path path = folder / "frames.gfd";
};

} // namespace

TEST_F(FrameDataFile, ReadsBackEveryFieldAndRowAsLaidOut)
{
    gloamer::FrameData written = twoFrames();
    gloamer::writeFrameData(path.string(), written);
    std::string raw = bytes();
    ASSERT_EQ(raw.size(), gloamer::frameDataHeaderBytes + 2 * gloamer::frameRecordBytes);
    EXPECT_EQ(raw.substr(0, 8), "GLMFRAME");
    EXPECT_EQ((uint8_t)raw[12], 25);                 // fps, little-endian
    EXPECT_EQ((uint8_t)raw[16], 2);                  // frame count
    EXPECT_EQ((uint8_t)raw[32], 0xF0);               // first tick's low byte
    EXPECT_EQ((uint8_t)raw[32 + 4 + 576 + 5], 15);   // spectrum row 1, entry 5

    gloamer::FrameData read = gloamer::readFrameData(path.string());
    EXPECT_EQ(read.fps, 25u);
    EXPECT_EQ(read.sampleRate, 48000u);
    EXPECT_EQ(read.channelCount, 1u);
    EXPECT_EQ(read.latencyMs, 25u);
    ASSERT_EQ(read.frames.size(), 2u);
    for (size_t k = 0; k < 2; ++k) {
        EXPECT_EQ(read.frames[k].tick, written.frames[k].tick);
        EXPECT_EQ(0, memcmp(read.frames[k].spectrum, written.frames[k].spectrum, sizeof(written.frames[k].spectrum)));
        EXPECT_EQ(0, memcmp(read.frames[k].waveform, written.frames[k].waveform, sizeof(written.frames[k].waveform)));
    }
}

TEST_F(FrameDataFile, RefusesDamagedFilesSayingWhat)
{
    gloamer::writeFrameData(path.string(), twoFrames());
    const std::string good = bytes();

    rewrite(good.substr(0, good.size() - 1));
    EXPECT_NE(refusal().find("cut short after 1 of its 2 frames"), std::string::npos) << refusal();
    rewrite(good + "x");
    EXPECT_NE(refusal().find("goes on past its last frame"), std::string::npos) << refusal();
    rewrite("RIFF" + good.substr(4));
    EXPECT_NE(refusal().find("does not start like one"), std::string::npos) << refusal();
    std::string version = good;
    version[8] = 2;
    rewrite(version);
    EXPECT_NE(refusal().find("format version 2"), std::string::npos) << refusal();
    std::string lying = good;
    lying[19] = 0x7F; // a frame count of two thousand million, in a file of two frames
    rewrite(lying);
    EXPECT_NE(refusal().find("cut short after 2"), std::string::npos) << refusal();
    std::string channels = good;
    channels[24] = 3;
    rewrite(channels);
    EXPECT_NE(refusal().find("out of range"), std::string::npos) << refusal();
    fs::remove(path);
    EXPECT_NE(refusal().find("cannot open frame data"), std::string::npos) << refusal();
}
