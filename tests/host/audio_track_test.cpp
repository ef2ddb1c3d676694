// audio_track_test.cpp -- decoding files into tracks, the errors users see for bad ones, and the demo track.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "host/audio/audio_track.h"
#include "host/host_error.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_audio.h"

namespace {

namespace fs = std::filesystem;
using gloamer::AudioTrack;
using gloamer::HostError;

class AudioFileTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    // The message loadAudioFile gives for `file`, or "" when it loads.
    static std::string failureOf(const std::string& file)
    {
        try {
            gloamer::loadAudioFile(file);
        } catch (const HostError& error) {
            return error.what();
        }
        return "";
    }

    testfs::TempFolder folder_{"gloamer-audio"};
};

TEST_F(AudioFileTest, ReadsAStereoWavSampleForSample)
{
    std::vector<int16_t> samples = testaudio::tones(1000, {{440, 12000}, {660, -9000}}, 48000);
    ASSERT_TRUE(testaudio::writeSound(path("tone.wav"), 48000, 2, samples));
    AudioTrack track = gloamer::loadAudioFile(path("tone.wav"));
    EXPECT_EQ(track.sampleRate, 48000);
    EXPECT_EQ(track.channelCount, 2);
    EXPECT_EQ(track.frameCount(), 1000u);
    EXPECT_EQ(track.samples, samples);
    EXPECT_EQ(track.name, "tone.wav");
}

TEST_F(AudioFileTest, ReadsFlacAndKeepsMonoAsOneChannel)
{
    std::vector<int16_t> samples = testaudio::tones(3000, {{1000, 20000}});
    ASSERT_TRUE(testaudio::writeSound(path("mono.flac"), 22050, 1, samples, SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
    AudioTrack track = gloamer::loadAudioFile(path("mono.flac"));
    EXPECT_EQ(track.channelCount, 1);
    EXPECT_EQ(track.sampleRate, 22050);
    EXPECT_EQ(track.samples, samples);
}

TEST_F(AudioFileTest, KeepsTheFirstTwoOfMoreChannels)
{
    std::vector<int16_t> samples;
    for (int frame = 0; frame < 100; ++frame)
        for (int channel = 0; channel < 4; ++channel)
            samples.push_back((int16_t)(frame * 10 + channel));
    ASSERT_TRUE(testaudio::writeSound(path("quad.wav"), 44100, 4, samples));
    AudioTrack track = gloamer::loadAudioFile(path("quad.wav"));
    ASSERT_EQ(track.channelCount, 2);
    ASSERT_EQ(track.frameCount(), 100u);
    EXPECT_EQ(track.samples[2 * 37], 370);
    EXPECT_EQ(track.samples[2 * 37 + 1], 371);
}

TEST_F(AudioFileTest, ScalesFloatToFullScaleAndClipsWhatGoesBeyond)
{
    SF_INFO info = {};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path("float.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    const float values[] = {0.5f, -0.5f, 1.5f, -1.5f};
    sf_writef_float(file, values, 4);
    sf_close(file);
    AudioTrack track = gloamer::loadAudioFile(path("float.wav"));
    ASSERT_EQ(track.frameCount(), 4u);
    EXPECT_NEAR(track.samples[0], 16384, 2);
    EXPECT_NEAR(track.samples[1], -16384, 2);
    EXPECT_GT(track.samples[2], 32000); // clipped, not wrapped round to a negative value
    EXPECT_LT(track.samples[3], -32000);
}

TEST_F(AudioFileTest, DecodesCompressedFormatsAtTheirLoudness)
{
    // Lossy codecs change the samples, not the level: a tone at half scale peaks near 16384.
    std::vector<int16_t> samples = testaudio::tones(48000, {{1000, 16384}}, 48000);
    for (auto [name, format] : {std::pair{"tone.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                                std::pair{"tone.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}}) {
        if (!testaudio::writeSound(path(name), 48000, 1, samples, format))
            GTEST_SKIP() << "this libsndfile cannot write " << name;
        AudioTrack track = gloamer::loadAudioFile(path(name));
        EXPECT_EQ(track.sampleRate, 48000) << name;
        EXPECT_NEAR((double)track.frameCount(), 48000.0, 2400.0) << name;
        int peak = 0;
        for (int16_t sample : track.samples)
            peak = std::max(peak, (int)sample);
        EXPECT_NEAR(peak, 16384, 0.1 * 16384) << name;
    }
}

TEST_F(AudioFileTest, BadFilesAreNamedWithWhatIsWrong)
{
    EXPECT_EQ(failureOf(path("missing.flac")), "cannot open '" + path("missing.flac") + "': no such file");
    EXPECT_NE(failureOf(folder_.path().string()).find("it is a folder"), std::string::npos);

    std::ofstream(path("empty.wav")).close();
    EXPECT_NE(failureOf(path("empty.wav")).find("the file is empty"), std::string::npos);

    std::ofstream(path("notes.wav")) << "these are my notes, not music\n";
    EXPECT_NE(failureOf(path("notes.wav")).find("not an audio file"), std::string::npos) << failureOf(path("notes.wav"));

    ASSERT_TRUE(testaudio::writeSound(path("whole.wav"), 44100, 2, testaudio::tones(4410, {{440, 1000}, {440, 1000}})));
    fs::copy_file(path("whole.wav"), path("cut.wav"));
    fs::resize_file(path("cut.wav"), 30); // inside the header
    std::string cut = failureOf(path("cut.wav"));
    EXPECT_NE(cut.find("cannot read '" + path("cut.wav") + "'"), std::string::npos) << cut;
    EXPECT_NE(cut.find("damaged or cut short"), std::string::npos) << cut;

    ASSERT_TRUE(testaudio::writeSound(path("silent.wav"), 44100, 2, {}));
    EXPECT_NE(failureOf(path("silent.wav")).find("holds no audio"), std::string::npos);
}

TEST_F(AudioFileTest, AWavCutShortInItsDataLoadsWhatItHoldsWithAWarning)
{
    ASSERT_TRUE(testaudio::writeSound(path("whole.wav"), 44100, 2, testaudio::tones(44100, {{440, 1000}, {440, 1000}})));
    fs::copy_file(path("whole.wav"), path("cut.wav"));
    fs::resize_file(path("cut.wav"), 44 + 4 * 11025); // the header and a quarter of the frames
    std::string warning;
    AudioTrack track = gloamer::loadAudioFile(path("cut.wav"), &warning);
    EXPECT_EQ(track.frameCount(), 11025u);
    EXPECT_NE(warning.find("cut short"), std::string::npos) << warning;

    gloamer::loadAudioFile(path("whole.wav"), &warning);
    EXPECT_EQ(warning, "");
}

// Root mean square of one channel over [first, first + count) frames.
double loudness(const AudioTrack& track, int channel, size_t first, size_t count)
{
    double sum = 0;
    for (size_t frame = first; frame < first + count; ++frame) {
        double sample = track.samples[frame * 2 + (size_t)channel];
        sum += sample * sample;
    }
    return std::sqrt(sum / (double)count);
}

TEST(DemoTrack, IsHalfAMinuteOfStereoMusicWhoseChannelsDifferAndBothMove)
{
    AudioTrack demo = gloamer::makeDemoTrack();
    EXPECT_EQ(demo.sampleRate, 44100);
    EXPECT_EQ(demo.channelCount, 2);
    double seconds = (double)demo.frameCount() / demo.sampleRate;
    EXPECT_GE(seconds, 30.0);
    EXPECT_LE(seconds, 60.0);
    EXPECT_EQ(demo.name, "demo");

    // Loudness in tenths of a second: each channel swings with the beat, and the two are not the same.
    const size_t tenth = 4410;
    double differences = 0;
    for (int channel = 0; channel < 2; ++channel) {
        double quietest = 1e9, loudest = 0;
        for (size_t first = 5 * 44100; first + tenth < demo.frameCount() - 2 * 44100; first += tenth) {
            double level = loudness(demo, channel, first, tenth);
            quietest = std::min(quietest, level);
            loudest = std::max(loudest, level);
        }
        EXPECT_GT(loudest, 2 * quietest) << "channel " << channel;
        EXPECT_GT(loudest, 3000) << "channel " << channel;
    }
    for (size_t first = 0; first + tenth < demo.frameCount(); first += tenth)
        differences += std::fabs(loudness(demo, 0, first, tenth) - loudness(demo, 1, first, tenth));
    EXPECT_GT(differences / (double)(demo.frameCount() / tenth), 300);

    int16_t peak = 0;
    for (int16_t sample : demo.samples)
        peak = std::max<int16_t>(peak, (int16_t)std::abs(sample));
    EXPECT_LT(peak, 32767); // never clipped
}

TEST(DemoTrack, IsTheSameOnEveryRunAndFollowsTheRateAskedFor)
{
    AudioTrack first = gloamer::makeDemoTrack(22050);
    AudioTrack second = gloamer::makeDemoTrack(22050);
    EXPECT_EQ(first.samples, second.samples);
    EXPECT_EQ(first.sampleRate, 22050);
    EXPECT_EQ(first.frameCount(), gloamer::makeDemoTrack(44100).frameCount() / 2);
    EXPECT_THROW(gloamer::makeDemoTrack(0), HostError);
}

} // namespace
