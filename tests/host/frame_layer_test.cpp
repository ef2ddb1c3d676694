// What every host does to a frame before the plug-in draws it: the latency rule, the shaper, the key map.
#include <gtest/gtest.h>

#include <numeric>

#include "host/analysis/frame_span.h"
#include "host/analysis/spectrum_shaper.h"
#include "host/core/message_loop.h"

namespace {

using gloamer::SpectrumShaper;

int rowTotal(const unsigned char row[576])
{
    return std::accumulate(row, row + 576, 0);
}

TEST(FrameLayer, RowsComeFromTheLatencyAheadOfWhatIsHeard)
{
    struct Case {
        int64_t heard;
        int latencyMs;
        int sampleRate;
        int64_t analysed;
    } cases[] = {
        {0, 0, 44100, 0},
        {1000, 100, 44100, 1000 + 4410},
        {500, -50, 48000, 500},               // a negative latency is none
        {0, 2000000000, 8000, 10 * 8000},     // an absurd one is held to 10 s, without overflow
        {7, 1, 96000, 7 + 96},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gloamer::analysedFrameFor(c.heard, c.latencyMs, c.sampleRate), c.analysed)
            << c.heard << " heard, " << c.latencyMs << " ms";

    gloamer::FrameSpan span;
    span.fps = 30;
    span.sampleRate = 44100;
    span.firstAudioFrame = 44100;
    EXPECT_EQ(span.analysedFrameOf(30, 50), 2 * 44100 + 2205);
}

TEST(FrameLayer, SensitivityScalesAndClipsEveryValue)
{
    struct Case {
        double sensitivity;
        unsigned char in, out;
    } cases[] = {{1, 100, 100}, {2, 100, 200}, {2, 200, 255}, {0.5, 101, 51}, {0, 255, 0}, {4, 1, 4}};
    for (const Case& c : cases) {
        SpectrumShaper shaper({c.sensitivity, false});
        unsigned char rows[2][576];
        std::fill(&rows[0][0], &rows[0][0] + 2 * 576, c.in);
        shaper.shape(rows);
        EXPECT_EQ(rows[0][0], c.out) << c.sensitivity << " x " << (int)c.in;
        EXPECT_EQ(rows[1][575], c.out) << c.sensitivity << " x " << (int)c.in;
    }
}

TEST(FrameLayer, CalmLimitsHowFastValuesAndRowTotalsMove)
{
    SpectrumShaper shaper({1, true});
    unsigned char rows[2][576] = {};
    rows[1][3] = 200; // one loud value: only the value's own limit holds it back
    std::fill(rows[0], rows[0] + 576, 255);
    shaper.shape(rows);
    // Each value's part is rounded, so a row may move a little past its limit, never far.
    EXPECT_LT(rowTotal(rows[0]), 2 * SpectrumShaper::maxCalmRowRise);
    EXPECT_GT(rowTotal(rows[0]), 0);
    EXPECT_EQ(rows[1][3], SpectrumShaper::maxCalmRise);

    // Held at full, it gets there; silence then falls no faster than the limits.
    for (int frame = 0; frame < 400; ++frame) {
        std::fill(rows[0], rows[0] + 576, 255);
        shaper.shape(rows);
    }
    EXPECT_EQ(rowTotal(rows[0]), 255 * 576);
    std::fill(&rows[0][0], &rows[0][0] + 2 * 576, 0);
    shaper.shape(rows);
    EXPECT_GT(rowTotal(rows[0]), 255 * 576 - 2 * SpectrumShaper::maxCalmRowFall);
    for (int bin = 0; bin < 576; ++bin)
        ASSERT_GE(rows[0][bin], 255 - SpectrumShaper::maxCalmFall);
}

TEST(FrameLayer, OneKeyMapForEveryHost)
{
    using gloamer::HostKey;
    struct Case {
        WPARAM key;
        HostKey does;
    } cases[] = {{VK_SPACE, HostKey::Pause}, {'F', HostKey::Fullscreen}, {'H', HostKey::Help},
                 {VK_F1, HostKey::Help},     {'R', HostKey::FrameRate},   {VK_ESCAPE, HostKey::Quit},
                 {'Q', HostKey::Quit},       {'N', HostKey::Next},        {VK_LEFT, HostKey::SeekBack},
                 {VK_UP, HostKey::SensitivityUp}, {'A', HostKey::AutoSensitivity}, {'X', HostKey::None},
                 {VK_RETURN, HostKey::None}};
    for (const Case& c : cases)
        EXPECT_EQ(gloamer::hostKeyOf(c.key), c.does) << c.key;
}

} // namespace
