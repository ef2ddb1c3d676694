// frame_rows.cpp -- the module's rows for a frame without audio: silence, or a record.
#include "host/core/frame_rows.h"

#include <cstring>


namespace gloamer {

void silenceRows(VisModule& module)
{
    std::memset(module.spectrumData, 0, sizeof(module.spectrumData));
    std::memset(module.waveformData, 0, sizeof(module.waveformData));
}

void copyRows(VisModule& module, const uint8_t spectrum[2][576], const uint8_t waveform[2][576])
{
    std::memcpy(module.spectrumData, spectrum, sizeof(module.spectrumData));
    std::memcpy(module.waveformData, waveform, sizeof(module.waveformData));
}

} // namespace gloamer
