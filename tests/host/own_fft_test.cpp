// own_fft_test.cpp -- the page's own FFT gives the native analyser's rows: the same PCM through both transforms.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "host/analysis/spectrum_analyser.h"
#include "tests/support/test_audio.h"

namespace {

using gloamer::AudioTrack;

AudioTrack stereo(std::vector<int16_t> samples)
{
    AudioTrack made;
    made.sampleRate = 44100;
    made.channelCount = 2;
    made.samples = std::move(samples);
    return made;
}

TEST(OwnRealFft, GivesTheNativeAnalysersRowsWithinOne)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> any(-32768, 32767);
    std::vector<int16_t> noise(2 * 4096);
    for (int16_t& sample : noise)
        sample = (int16_t)any(random);
    std::vector<int16_t> square(2 * 4096);
    for (size_t i = 0; i < square.size(); ++i)
        square[i] = (i / 2 / 40) % 2 ? 32767 : -32768;
    struct Case {
        const char* name;
        AudioTrack track;
        std::vector<int64_t> firstFrames;
    } cases[] = {
        {"demo track", gloamer::makeDemoTrack(), {0, 44100, 5 * 44100 + 123, 17 * 44100, 31 * 44100}},
        {"noise", stereo(noise), {0, 1000, 3000}},
        {"full-scale square", stereo(square), {0, 77}},
        {"tones", stereo(testaudio::tones(4096, {{testaudio::binFrequency(40), 9000}, {1234.5, 20000}})), {0, 999}},
    };
    gloamer::SpectrumAnalyser native;
    gloamer::SpectrumAnalyser own(gloamer::makeOwnRealFft(512));
    for (const Case& c : cases) {
        for (int64_t first : c.firstFrames) {
            for (int channels = 1; channels <= 2; ++channels) {
                unsigned char a[2][576], b[2][576], waveA[2][576], waveB[2][576];
                native.analyse(c.track, first, channels, a, waveA);
                own.analyse(c.track, first, channels, b, waveB);
                int worst = 0;
                for (int row = 0; row < 2; ++row)
                    for (int entry = 0; entry < 576; ++entry)
                        worst = std::max(worst, std::abs(a[row][entry] - b[row][entry]));
                EXPECT_LE(worst, 1) << c.name << " at frame " << first << ", " << channels << " channel(s)";
            }
        }
    }
}

} // namespace
