// spectrum_shaper.h -- what the host does to the spectrum rows before a plug-in sees them: sensitivity and calm.
#pragma once

#include <array>

namespace gloamer {

struct SpectrumShaping {
    double sensitivity = 1; // each value times this, up to 255; 0 feeds silence
    bool calm = false;      // values and row totals move by at most SpectrumShaper's limits a frame
    bool autoGain = false;  // the sensitivity follows the music's level, so quiet and loud songs move alike
};

class SpectrumShaper {
public:
    // Per frame, in the rows' own units (0 to 255). A plug-in's glow follows the row's sum as much as its loudest
    // values, so both the values and each row's total are held back; a faster fall keeps the beats visible.
    static constexpr int maxCalmRise = 12;
    static constexpr int maxCalmFall = 24;
    static constexpr int maxCalmRowRise = 1024;
    static constexpr int maxCalmRowFall = 2048;

    explicit SpectrumShaper(SpectrumShaping shaping = {}) : shaping_(shaping) {}
    // Shapes both rows in place; calm measures each frame against the rows this last gave out.
    void shape(unsigned char spectrum[2][576]);

    // Automatic gain brings the loudest values of the last seconds to about this, by at most these factors.
    static constexpr double autoGainTarget = 200;
    static constexpr double lowestAutoGain = 0.25;
    static constexpr double highestAutoGain = 8;

    // While the music plays: the sensitivity (0 to 4) and automatic gain. The gain starts over at 1.
    void setSensitivity(double sensitivity);
    double sensitivity() const { return shaping_.sensitivity; }
    void setAutoGain(bool on);
    bool autoGain() const { return shaping_.autoGain; }

private:
    double followLevel(const unsigned char spectrum[2][576]);

    SpectrumShaping shaping_;
    double peak_ = 0;     // the loudest value lately, falling slowly
    double autoGain_ = 1; // the factor automatic gain applies on top of the sensitivity
    std::array<std::array<unsigned char, 576>, 2> previous_{};
};

} // namespace gloamer
