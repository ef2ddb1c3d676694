// spectrum_shaper.cpp -- scales the rows and limits how fast each value, and each row's total, may move a frame.
#include "host/analysis/spectrum_shaper.h"

#include <algorithm>
#include <cmath>

namespace gloamer {

void SpectrumShaper::shape(unsigned char spectrum[2][576])
{
    for (int row = 0; row < 2; ++row) {
        int wanted[576];
        int change = 0;
        for (int bin = 0; bin < 576; ++bin) {
            wanted[bin] = spectrum[row][bin];
            if (shaping_.sensitivity != 1)
                wanted[bin] = std::min(255, (int)std::lround(wanted[bin] * shaping_.sensitivity));
            change += wanted[bin] - previous_[row][bin];
        }
        // Calm moves the whole row only part of the way when its total would jump, then caps each value; the
        // rows before the first frame count as silence, as the music rises from it too.
        double part = 1;
        if (shaping_.calm && change > maxCalmRowRise)
            part = (double)maxCalmRowRise / change;
        else if (shaping_.calm && change < -maxCalmRowFall)
            part = (double)maxCalmRowFall / -change;
        for (int bin = 0; bin < 576; ++bin) {
            int value = wanted[bin];
            if (shaping_.calm) {
                int before = previous_[row][bin];
                value = std::clamp(before + (int)std::lround((value - before) * part), before - maxCalmFall,
                                   before + maxCalmRise);
            }
            spectrum[row][bin] = (unsigned char)value;
            previous_[row][bin] = (unsigned char)value;
        }
    }
}

} // namespace gloamer
