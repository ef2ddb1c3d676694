// spectrum_analyser_test.cpp -- the spectrum and waveform rows against properties of the player's format.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "host/analysis/spectrum_analyser.h"
#include "tests/support/test_audio.h"

namespace {

using gloamer::AudioTrack;
using testaudio::binFrequency;

struct Rows {
    unsigned char spectrum[2][576];
    unsigned char waveform[2][576];

    int peak(int row) const { return (int)(std::max_element(spectrum[row], spectrum[row] + 576) - spectrum[row]); }
    int height(int row) const { return spectrum[row][peak(row)]; }
    int total(int row) const
    {
        int sum = 0;
        for (int entry = 0; entry < 576; ++entry)
            sum += spectrum[row][entry];
        return sum;
    }
    bool silent(int row) const
    {
        for (int entry = 0; entry < 576; ++entry)
            if (spectrum[row][entry] || waveform[row][entry])
                return false;
        return true;
    }
};

AudioTrack track(int channels, std::vector<int16_t> samples, int rate = 44100)
{
    AudioTrack made;
    made.sampleRate = rate;
    made.channelCount = channels;
    made.samples = std::move(samples);
    made.name = "test";
    return made;
}

// A mono tone; amplitude in 16-bit units (256 per step of the 8-bit value the player keeps).
AudioTrack tone(double frequency, double amplitude, size_t frames = 576)
{
    return track(1, testaudio::tones(frames, {{frequency, amplitude}}));
}

Rows analyse(const AudioTrack& audio, int spectrumChannels = 2, int64_t firstFrame = 0)
{
    static gloamer::SpectrumAnalyser analyser;
    Rows rows;
    std::memset(&rows, 0xAB, sizeof(rows)); // whatever the host left there before must not show through
    analyser.analyse(audio, firstFrame, spectrumChannels, rows.spectrum, rows.waveform);
    return rows;
}

TEST(SpectrumAnalyser, SilenceGivesAllZeros)
{
    Rows rows = analyse(track(2, std::vector<int16_t>(576 * 2, 0)));
    EXPECT_TRUE(rows.silent(0));
    EXPECT_TRUE(rows.silent(1));
}

TEST(SpectrumAnalyser, KeepsOnlyTheMostSignificantByteOfEachSample)
{
    // In 8 bits a sample keeps its upper byte as a signed value: 255 and below is 0, -1 is -1.
    std::vector<int16_t> samples(576, 0);
    const int16_t values[] = {0x1234, 255, -1, -256, -257, 32767, -32768, 256};
    const unsigned char bytes[] = {0x12, 0x00, 0xFF, 0xFF, 0xFE, 0x7F, 0x80, 0x01};
    for (int i = 0; i < 8; ++i)
        samples[(size_t)i * 70] = values[i];
    Rows rows = analyse(track(1, samples));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(rows.waveform[0][i * 70], bytes[i]) << "sample " << values[i];
}

TEST(SpectrumAnalyser, AQuietSignalBelowOneEightBitStepIsSilent)
{
    std::mt19937 random(7);
    std::vector<int16_t> samples(576);
    for (int16_t& sample : samples)
        sample = (int16_t)(random() % 256); // 0 to 255: nothing reaches the upper byte
    Rows rows = analyse(track(1, samples));
    EXPECT_TRUE(rows.silent(0));
}

TEST(SpectrumAnalyser, ASineOnABinPeaksAtThatBinsEntryAtEightTimesItsAmplitude)
{
    // Hann window sum 256: a bin-centred sine of amplitude A has |X| = 128 A, and 128 A / 16 = 8 A.
    const double amplitude = 16; // 8-bit units: no clamping at 8 x 16 = 128
    for (int bin : {3, 12, 40, 100, 200, 250}) {
        Rows rows = analyse(tone(binFrequency(bin), amplitude * 256));
        EXPECT_NEAR(rows.peak(0), 2 * bin + 1, 1) << "bin " << bin;
        EXPECT_NEAR(rows.height(0), 8 * amplitude, 0.1 * 8 * amplitude) << "bin " << bin;
    }
}

TEST(SpectrumAnalyser, AnyFrequencyPeaksAtItsNearestBinAndBetweenBinsLower)
{
    for (double frequency : {440.0, 1000.0, 2500.0, 7777.0, 15000.0}) {
        int nearest = (int)std::lround(512 * frequency / 44100);
        Rows rows = analyse(tone(frequency, 16 * 256));
        EXPECT_NEAR(rows.peak(0), 2 * nearest + 1, 1) << frequency << " Hz";
    }
    for (int bin : {10, 60, 180}) {
        int centred = analyse(tone(binFrequency(bin), 16 * 256)).height(0);
        int between = analyse(tone(binFrequency(bin + 0.5), 16 * 256)).height(0);
        EXPECT_LT(between, centred) << "bin " << bin;
        EXPECT_GT(between, 0.75 * centred) << "bin " << bin; // a Hann window loses about 15% half way
    }
}

TEST(SpectrumAnalyser, AConstantOffsetGivesFarLessThanASineOfTheSameAmplitude)
{
    // The DC filter turns an offset into a step that decays by 0.99 a sample, mostly under the window's
    // quiet start: sum over n of 0.99^n w(n) is about 29, against 128 for the sine's bin.
    const double amplitude = 16 * 256;
    Rows offset = analyse(track(1, std::vector<int16_t>(576, (int16_t)amplitude)));
    Rows sine = analyse(tone(binFrequency(20), amplitude));
    EXPECT_LT(offset.height(0), 0.3 * sine.height(0));
    EXPECT_LT(offset.total(0), 0.3 * sine.total(0));
}

TEST(SpectrumAnalyser, ALoudToneSaturatesAt255)
{
    Rows rows = analyse(tone(binFrequency(30), 32767));
    EXPECT_EQ(rows.height(0), 255);
    EXPECT_EQ(rows.spectrum[0][61], 255);
}

TEST(SpectrumAnalyser, FullScaleNoiseFillsEveryBandAtTheExpectedLevel)
{
    // White noise of variance s2 gives E|X|^2 = s2 x (sum of the Hann window squared, 192); over 16 that is
    // s2 x 0.75 per bin. Full-scale noise of random signs (s2 = 128^2) averages 12288, a root mean square
    // of 111: a high, flat spectrum whose peaks reach the clamp.
    std::mt19937 random(11);
    std::vector<int16_t> samples(576);
    for (int16_t& sample : samples)
        sample = (random() & 1) ? 32767 : -32768;
    Rows rows = analyse(track(1, samples));
    double power = 0;
    for (int bin = 8; bin < 256; ++bin)
        power += rows.spectrum[0][2 * bin + 1] * rows.spectrum[0][2 * bin + 1];
    int weakestBand = 255; // the loudest bin of every band of 32 bins is well above silence
    for (int band = 1; band < 8; ++band)
        weakestBand = std::min(weakestBand, (int)*std::max_element(&rows.spectrum[0][64 * band],
                                                                    &rows.spectrum[0][64 * band + 64]));
    EXPECT_NEAR(power / 248, 12288, 0.2 * 12288);
    EXPECT_GT(weakestBand, 100);
}

TEST(SpectrumAnalyser, EvenEntriesAreMeansOfTheirNeighboursAndTheTailHalves)
{
    std::mt19937 random(3);
    std::vector<int16_t> samples(576);
    for (int16_t& sample : samples)
        sample = (int16_t)((int)(random() % 20000) - 10000);
    // A tone near the top, so that the last bin, and the tail after it, are far from zero.
    std::vector<int16_t> top = testaudio::tones(576, {{binFrequency(255), 20 * 256}});
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = (int16_t)(samples[i] / 4 + top[i]);
    Rows rows = analyse(track(1, samples));
    const unsigned char* row = rows.spectrum[0];
    EXPECT_EQ(row[0], row[1] / 2);
    for (int bin = 1; bin < 256; ++bin)
        EXPECT_EQ(row[2 * bin], (row[2 * bin - 1] + row[2 * bin + 1]) / 2) << "bin " << bin;
    ASSERT_GT(row[511], 64);
    for (int entry = 512; entry < 576; ++entry)
        EXPECT_EQ(row[entry], row[entry - 1] / 2) << "entry " << entry;
    EXPECT_EQ(row[575], 0);
}

TEST(SpectrumAnalyser, OneSpectrumChannelAveragesTheTwo)
{
    std::vector<int16_t> left = testaudio::tones(576, {{binFrequency(20), 16 * 256}});
    std::vector<int16_t> stereo(576 * 2), opposite(576 * 2), leftOnly(576 * 2, 0);
    for (size_t i = 0; i < 576; ++i) {
        stereo[2 * i] = stereo[2 * i + 1] = left[i];
        opposite[2 * i] = left[i];
        opposite[2 * i + 1] = (int16_t)-left[i];
        leftOnly[2 * i] = left[i];
    }
    Rows same = analyse(track(2, stereo), 1);
    Rows mono = analyse(track(1, left), 2);
    EXPECT_EQ(0, std::memcmp(same.spectrum[0], mono.spectrum[0], 576));
    EXPECT_TRUE(same.silent(1));

    EXPECT_TRUE(analyse(track(2, opposite), 1).silent(0)); // the two cancel out

    Rows half = analyse(track(2, leftOnly), 1);
    EXPECT_EQ(half.peak(0), 41);
    EXPECT_NEAR(half.height(0), 8 * 8, 8); // half the amplitude: 8 x 8
}

TEST(SpectrumAnalyser, TwoSpectrumChannelsKeepEachChannelAndAMonoTrackFillsBoth)
{
    std::vector<int16_t> stereo =
        testaudio::tones(576, {{binFrequency(12), 16 * 256}, {binFrequency(70), 16 * 256}});
    Rows rows = analyse(track(2, stereo), 2);
    EXPECT_EQ(rows.peak(0), 25);
    EXPECT_EQ(rows.peak(1), 141);
    EXPECT_EQ(rows.waveform[1][100], (unsigned char)(stereo[201] >> 8));

    Rows mono = analyse(tone(binFrequency(12), 16 * 256), 2);
    EXPECT_EQ(0, std::memcmp(mono.spectrum[0], mono.spectrum[1], 576));
    EXPECT_EQ(0, std::memcmp(mono.waveform[0], mono.waveform[1], 576));

    Rows none = analyse(track(2, stereo), 0);
    EXPECT_TRUE(none.silent(0));
    EXPECT_TRUE(none.silent(1));
}

TEST(SpectrumAnalyser, TheWaveformCanHaveItsOwnChannelLayout)
{
    std::vector<int16_t> stereo(576 * 2);
    for (size_t i = 0; i < 576; ++i) {
        stereo[2 * i] = 0x1000;
        stereo[2 * i + 1] = 0x3000;
    }
    gloamer::SpectrumAnalyser analyser;
    Rows rows;
    analyser.analyse(track(2, stereo), 0, 1, 2, rows.spectrum, rows.waveform);
    EXPECT_EQ(rows.waveform[0][0], 0x10);
    EXPECT_EQ(rows.waveform[1][0], 0x30);
    analyser.analyse(track(2, stereo), 0, 2, 1, rows.spectrum, rows.waveform);
    EXPECT_EQ(rows.waveform[0][0], 0x20);
    EXPECT_EQ(rows.waveform[1][0], 0);
}

TEST(SpectrumAnalyser, ReadsTheBlockAtTheGivenFrameAndSilenceOutsideTheTrack)
{
    // Silence with one block of tone at frames 2000 to 2575.
    std::vector<int16_t> samples(4000, 0);
    std::vector<int16_t> burst = testaudio::tones(576, {{binFrequency(40), 16 * 256}});
    std::copy(burst.begin(), burst.end(), samples.begin() + 2000);
    AudioTrack audio = track(1, samples);
    EXPECT_EQ(analyse(audio, 2, 2000).peak(0), 81);
    EXPECT_TRUE(analyse(audio, 2, 2000 - 576).silent(0));
    EXPECT_TRUE(analyse(audio, 2, 2576).silent(0));
    EXPECT_TRUE(analyse(audio, 2, -576).silent(0));
    EXPECT_TRUE(analyse(audio, 2, 4000).silent(0));

    Rows straddling = analyse(track(1, std::vector<int16_t>(100, 0x4000)), 2, -50);
    EXPECT_EQ(straddling.waveform[0][49], 0);
    EXPECT_EQ(straddling.waveform[0][50], 0x40);
    EXPECT_EQ(straddling.waveform[0][149], 0x40);
    EXPECT_EQ(straddling.waveform[0][150], 0);
}

TEST(SpectrumAnalyser, EveryBlockStartsTheFilterAfresh)
{
    std::mt19937 random(5);
    std::vector<int16_t> samples(576 * 3);
    for (int16_t& sample : samples)
        sample = (int16_t)((int)(random() % 30000) - 15000);
    AudioTrack audio = track(1, samples);
    Rows first = analyse(audio, 2, 576);
    analyse(audio, 2, 0);
    analyse(audio, 2, 1152);
    Rows again = analyse(audio, 2, 576);
    EXPECT_EQ(0, std::memcmp(first.spectrum, again.spectrum, sizeof(first.spectrum)));
}

} // namespace
