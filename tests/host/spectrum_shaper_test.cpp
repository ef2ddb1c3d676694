// spectrum_shaper_test.cpp -- automatic sensitivity: quiet music lifted, loud music held below clipping.
#include <gtest/gtest.h>

#include <cstring>

#include "host/analysis/spectrum_shaper.h"

namespace {

// The loudest value out after `frames` frames of every value at `level`.
int loudestAfter(gloamer::SpectrumShaper& shaper, int level, int frames)
{
    unsigned char rows[2][576];
    for (int frame = 0; frame < frames; ++frame) {
        std::memset(rows, level, sizeof(rows));
        rows[0][0] = (unsigned char)(level / 2); // not all alike, so that the scaling shows
        shaper.shape(rows);
    }
    return rows[0][1];
}

TEST(SpectrumShaper, AutomaticSensitivityBringsQuietAndLoudMusicNearTheSameLevel)
{
    struct Case {
        int level, lowest, highest;
    } cases[] = {{30, 170, 230}, {100, 170, 230}, {250, 170, 230}, {0, 0, 0}};
    for (const Case& c : cases) {
        gloamer::SpectrumShaper shaper({1, false, true});
        int loudest = loudestAfter(shaper, c.level, 600);
        EXPECT_GE(loudest, c.lowest) << c.level;
        EXPECT_LE(loudest, c.highest) << c.level;
    }
    // Turned off, the values go out as they came; the sensitivity keys move in tenths within 0 to 4.
    gloamer::SpectrumShaper shaper({1, false, true});
    loudestAfter(shaper, 30, 600);
    shaper.setAutoGain(false);
    EXPECT_EQ(loudestAfter(shaper, 30, 1), 30);
    shaper.setSensitivity(9);
    EXPECT_EQ(shaper.sensitivity(), 4);
}

} // namespace
