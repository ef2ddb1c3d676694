// spectrum_shaper.cpp -- scales the rows and limits how fast each value, and each row's total, may move a frame.
#include "host/analysis/spectrum_shaper.h"

#include <algorithm>
#include <cmath>

namespace gloamer {

void SpectrumShaper::setSensitivity(double sensitivity)
{
    shaping_.sensitivity = std::clamp(sensitivity, 0.0, 4.0);
}

void SpectrumShaper::setAutoGain(bool on)
{
    shaping_.autoGain = on;
    peak_ = 0;
    autoGain_ = 1;
}

// The peak follows a rise at once and falls by half in about two seconds at 60 frames a second, so a song's
// quiet bridge is lifted slowly and a loud chorus is not clipped for long; the gain moves smoothly toward
// the one that brings that peak to the target.
double SpectrumShaper::followLevel(const unsigned char spectrum[2][576])
{
    int loudest = 0;
    for (int row = 0; row < 2; ++row)
        loudest = std::max(loudest, (int)*std::max_element(spectrum[row], spectrum[row] + 576));
    peak_ = std::max((double)loudest, peak_ * 0.995);
    double wanted = std::clamp(autoGainTarget / std::max(peak_, 1.0), lowestAutoGain, highestAutoGain);
    autoGain_ += (wanted - autoGain_) * 0.05;
    return autoGain_;
}

void SpectrumShaper::shape(unsigned char spectrum[2][576])
{
    const double scale = shaping_.sensitivity * (shaping_.autoGain ? followLevel(spectrum) : 1.0);
    for (int row = 0; row < 2; ++row) {
        int wanted[576];
        int change = 0;
        for (int bin = 0; bin < 576; ++bin) {
            wanted[bin] = spectrum[row][bin];
            if (scale != 1)
                wanted[bin] = std::min(255, (int)std::lround(wanted[bin] * scale));
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
