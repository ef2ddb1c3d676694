// spectrum_shaper.cpp -- scales the rows and limits how fast each value may move from one frame to the next.
#include "host/analysis/spectrum_shaper.h"

#include <algorithm>
#include <cmath>

namespace gloamer {

void SpectrumShaper::shape(unsigned char spectrum[2][576])
{
    for (int row = 0; row < 2; ++row) {
        for (int bin = 0; bin < 576; ++bin) {
            int value = spectrum[row][bin];
            if (shaping_.sensitivity != 1)
                value = std::min(255, (int)std::lround(value * shaping_.sensitivity));
            // The rows before the first frame count as silence: the music rises from it too.
            if (shaping_.calm)
                value = std::clamp(value, previous_[row][bin] - maxCalmFall, previous_[row][bin] + maxCalmRise);
            spectrum[row][bin] = (unsigned char)value;
            previous_[row][bin] = (unsigned char)value;
        }
    }
}

} // namespace gloamer
