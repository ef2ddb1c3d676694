// audio_track_test.cpp -- decoding files into tracks, the errors users see for bad ones, and the demo track.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <tuple>

#include "host/audio/audio_decoder.h"
#include "host/audio/audio_track.h"
#include "host/process/host_error.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_audio.h"

namespace {

namespace fs = std::filesystem;
using gloamer::AudioTrack;
using gloamer::HostError;

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

std::string readAll(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

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

TEST_F(AudioFileTest, MixesMoreChannelsDownToTwoEachOnItsOwnSide)
{
    // Quad: sound in front left and, opposite in sign, in back right only.
    std::vector<int16_t> samples;
    for (int frame = 0; frame < 100; ++frame)
        for (int channel = 0; channel < 4; ++channel)
            samples.push_back((int16_t)(channel == 0 ? 10000 : channel == 3 ? -10000 : 0));
    ASSERT_TRUE(testaudio::writeSound(path("quad.wav"), 44100, 4, samples));
    AudioTrack track = gloamer::loadAudioFile(path("quad.wav"));
    ASSERT_EQ(track.channelCount, 2);
    ASSERT_EQ(track.frameCount(), 100u);
    EXPECT_GT(track.samples[2 * 37], 1000);
    EXPECT_LT(track.samples[2 * 37 + 1], -1000);
}

TEST_F(AudioFileTest, ScalesFloatToFullScaleAndClipsWhatGoesBeyond)
{
    // A half-scale tone as floats, once as it is and once three times louder (1.5, beyond full scale).
    ASSERT_TRUE(testaudio::writeSound(path("half.wav"), 44100, 1, testaudio::tones(4410, {{441, 16384}})));
    for (auto [name, gain, low, high] : {std::tuple{"float.wav", 1, 16300, 16400}, {"loud.wav", 3, 32767, 32767}}) {
        ASSERT_TRUE(testaudio::transcode(path("half.wav"), path(name),
                                         "-af aformat=flt,volume=" + std::to_string(gain) + " -c:a pcm_f32le"));
        AudioTrack track = gloamer::loadAudioFile(path(name));
        auto [least, most] = std::minmax_element(track.samples.begin(), track.samples.end());
        EXPECT_GE(*most, low) << name; // clipped, not wrapped round to a negative value
        EXPECT_LE(*most, high) << name;
        EXPECT_LE(*least, -low) << name;
    }
}

TEST_F(AudioFileTest, ReadsEveryCommonFormatAndTheSoundOfAVideoAtTheFilesOwnRateWithItsTitle)
{
    // Two different tones a second at 48 kHz, as a WAV and converted by the ffmpeg command.
    const std::vector<int16_t> samples = testaudio::tones(48000, {{1000, 16384}, {750, 8000}}, 48000);
    ASSERT_TRUE(testaudio::writeSound(path("tone.wav"), 48000, 2, samples));
    struct Format {
        const char* name;
        const char* options;
        bool lossless;
    };
    for (const Format& format : {Format{"tone.flac", "", true}, {"tone.aiff", "", true},
                                 {"tone.mka", "-c:a pcm_s16le", true}, {"tone.ogg", "-c:a libvorbis", false},
                                 {"tone.opus", "-c:a libopus", false}, {"tone.mp3", "", false},
                                 {"tone.m4a", "-c:a aac", false}, {"tone.wma", "", false},
                                 {"clip.mp4", "-f lavfi -i color=s=64x64:d=1 -c:v mpeg4 -c:a aac -shortest", false}}) {
        ASSERT_TRUE(testaudio::transcode(path("tone.wav"), path(format.name),
                                         std::string(format.options) + " -metadata title=Dusk"))
            << format.name;
        std::string warning;
        AudioTrack track = gloamer::loadAudioFile(path(format.name), &warning);
        EXPECT_EQ(warning, "") << format.name;
        EXPECT_EQ(track.title, "Dusk") << format.name; // the file's tag, kept with the file or with its stream
        EXPECT_EQ(track.sampleRate, 48000) << format.name;
        ASSERT_EQ(track.channelCount, 2) << format.name;
        AudioTrack counted = gloamer::measureAudioFile(path(format.name));
        EXPECT_EQ(counted.frameCount(), track.frameCount()) << format.name << ": counted through, the length loaded";
        if (format.lossless) {
            // Every sample as written, so the analyser's rows are those of the WAV.
            EXPECT_EQ(track.samples, samples) << format.name;
            continue;
        }
        // Lossy codecs change the samples and pad the ends, not the length or each channel's loudness (RMS
        // over the middle, away from the encoders' start-up transients).
        EXPECT_NEAR((double)track.frameCount(), 48000.0, 2400.0) << format.name;
        for (int channel = 0; channel < 2; ++channel)
            EXPECT_NEAR(loudness(track, channel, 12000, 24000), (channel ? 8000 : 16384) / std::sqrt(2.0),
                        (channel ? 8000 : 16384) * 0.05)
                << format.name;
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
    std::string countWarning;
    EXPECT_EQ(gloamer::measureAudioFile(path("cut.wav"), &countWarning).frameCount(), 11025u);
    EXPECT_EQ(countWarning, warning);

    gloamer::loadAudioFile(path("whole.wav"), &warning);
    EXPECT_EQ(warning, "");
}

TEST_F(AudioFileTest, ADamagedOpusPlaysWhatDecodesAndSaysWhereAndAFileWithoutSoundIsRefused)
{
    ASSERT_TRUE(testaudio::writeSound(path("tone.wav"), 48000, 1, testaudio::tones(4 * 48000, {{440, 9000}}, 48000)));
    ASSERT_TRUE(testaudio::transcode(path("tone.wav"), path("whole.opus"), "-c:a libopus"));
    std::string bytes = readAll(path("whole.opus"));
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 600; ++i)
        bytes[i] = (char)(i * 37); // scribbled over about a tenth of a second in the middle
    std::ofstream(path("damaged.opus"), std::ios::binary) << bytes;
    std::string warning;
    AudioTrack track = gloamer::loadAudioFile(path("damaged.opus"), &warning);
    EXPECT_GT(track.frameCount(), 5u * 48000 / 2) << "what follows the damage plays too";
    size_t at = warning.find("is damaged at ");
    ASSERT_NE(at, std::string::npos) << warning;
    EXPECT_NEAR(std::stod(warning.substr(at + 14)), 2.0, 1.0) << warning;

    ASSERT_TRUE(testaudio::transcode(path("tone.wav"), path("silent.mp4"), "-f lavfi -i color=d=1 -map 1 -c:v mpeg4"));
    EXPECT_EQ(failureOf(path("silent.mp4")), "cannot play '" + path("silent.mp4") + "': it holds no audio");
}

TEST_F(AudioFileTest, PlaysAStreamFromAnHttpServer)
{
    std::vector<int16_t> samples = testaudio::tones(44100, {{440, 9000}, {660, 5000}});
    ASSERT_TRUE(testaudio::writeSound(path("tone.wav"), 44100, 2, samples));
    ASSERT_TRUE(testaudio::transcode(path("tone.wav"), path("tone.flac")));
    testaudio::FileServer server(folder_.path().string());
    ASSERT_GT(server.port(), 0);
    AudioTrack track = gloamer::loadAudioFile("http://127.0.0.1:" + std::to_string(server.port()) + "/tone.flac");
    EXPECT_EQ(track.samples, samples);
    EXPECT_EQ(track.name, "tone.flac");
    EXPECT_NE(failureOf("http://127.0.0.1:" + std::to_string(server.port()) + "/missing.flac").find("missing.flac"),
              std::string::npos);
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

TEST_F(AudioFileTest, ASpanHoldsTheSamplesAWholeDecodeHasThereWhetherItSeeksOrDecodesOn)
{
    // Noise, so that a sample out of place shows; 30 s, so that a seek is worth its while.
    ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -f lavfi -i anoisesrc=r=44100:a=0.4:seed=9:d=30 -ac 2 '" +
                           path("noise.wav") + "'").c_str()), 0);
    for (const char* name : {"noise.wav", "noise.flac", "noise.mkv", "noise.mp3", "noise.opus"}) {
        if (std::string(name) != "noise.wav")
            ASSERT_TRUE(testaudio::transcode(path("noise.wav"), path(name), std::string(name) == "noise.mkv"
                                                                                 ? "-c:a pcm_s16le" : ""));
        AudioTrack whole = gloamer::loadAudioFile(path(name));
        for (double start : {0.0, 0.7, 21.35}) {
            AudioTrack span = gloamer::loadAudioSpan(path(name), start, 2.5);
            const int64_t first = std::llround(start * whole.sampleRate);
            ASSERT_EQ(span.firstFrame, first) << name << " at " << start;
            ASSERT_EQ(span.heldFrames(), (size_t)std::ceil(2.5 * whole.sampleRate)) << name << " at " << start;
            EXPECT_TRUE(std::equal(span.samples.begin(), span.samples.end(), whole.at(first)))
                << name << " differs at " << start << " s";
        }
        AudioTrack past = gloamer::loadAudioSpan(path(name), 40, 1);
        EXPECT_EQ(past.heldFrames(), 0u) << name;
        EXPECT_EQ(past.frameCount(), whole.frameCount()) << name << ": the length of one that starts past the end";
    }
}

TEST_F(AudioFileTest, APlayersSeekLandsNearItsTargetBackOrForthInEveryFormat)
{
    // Each second k is a tone k + 1 times as loud, so that where a seek landed shows in any codec.
    const int rate = 44100, seconds = 30;
    std::vector<int16_t> stairs;
    for (int k = 0; k < seconds; ++k)
        for (int16_t sample : testaudio::tones(rate, {{1000, 800.0 * (k + 1)}}, rate))
            stairs.push_back(sample);
    ASSERT_TRUE(testaudio::writeSound(path("stairs.wav"), rate, 1, stairs));
    for (const std::string name : {"stairs.wav", "stairs.flac", "stairs.mp3", "stairs.opus"}) {
        ASSERT_TRUE(name == "stairs.wav" || testaudio::transcode(path("stairs.wav"), path(name)));
        const bool exact = name == "stairs.wav" || name == "stairs.flac";
        gloamer::AudioDecoder decoder(path(name));
        EXPECT_NEAR(decoder.declaredSeconds(), seconds, 0.1) << name;
        for (double target : {20.4, 5.4, 5.6, 28.4, 0.4, seconds + 5.0}) {
            const int64_t to = std::llround(target * decoder.sampleRate());
            decoder.seekTo(to);
            std::vector<int16_t> heard;
            const int64_t at = decoder.position(), count = decoder.decode(heard, decoder.sampleRate() / 5);
            SCOPED_TRACE(name + " sought at " + std::to_string(target) + " s, landed at frame " + std::to_string(at));
            if (target > seconds) {
                EXPECT_TRUE(count == 0 && decoder.ended());
                continue;
            }
            EXPECT_TRUE(at >= to && at <= to + (exact ? 0 : decoder.sampleRate() / 10));
            if (exact)
                EXPECT_TRUE(std::equal(heard.begin(), heard.end(), stairs.begin() + at));
            // A lossy decoder's first frames after a seek may come out quiet: the later half tells where it is.
            const auto later = heard.begin() + count / 2;
            const double expected = 800.0 * ((int)target + 1) / std::sqrt(2.0);
            EXPECT_NEAR(std::sqrt(std::inner_product(later, heard.end(), later, 0.0) / (double)(heard.end() - later)),
                        expected, 0.15 * expected);
        }
    }
}

TEST_F(AudioFileTest, EveryPartOfAChainedOggPlaysAtTheFirstPartsRate)
{
    // One second at 44.1 kHz, then a quieter one at 22.05 kHz: two Ogg streams one after the other.
    for (auto [name, rate, level] : {std::tuple{"one", 44100, 9000.0}, std::tuple{"two", 22050, 4000.0}}) {
        const std::string wav = path(name + std::string(".wav"));
        ASSERT_TRUE(testaudio::writeSound(wav, rate, 2, testaudio::tones(rate, {{500, level}, {500, level}}, rate)));
        ASSERT_TRUE(testaudio::transcode(wav, path(name + std::string(".ogg")), "-c:a libvorbis"));
    }
    std::ofstream(path("chained.ogg"), std::ios::binary) << readAll(path("one.ogg")) << readAll(path("two.ogg"));
    std::string warning = "unset";
    AudioTrack track = gloamer::loadAudioFile(path("chained.ogg"), &warning);
    EXPECT_EQ(warning, "");
    ASSERT_TRUE(track.sampleRate == 44100 && track.channelCount == 2);
    ASSERT_NEAR((double)track.frameCount() / 44100, 2.0, 0.05);
    EXPECT_NEAR(loudness(track, 0, 22050, 11025), 9000 / std::sqrt(2.0), 900);
    EXPECT_NEAR(loudness(track, 1, 66150, 11025), 4000 / std::sqrt(2.0), 400) << "the second part";
}
