// frame_rows.h -- the module's rows as every host sets them without audio: silence, or rows recorded earlier.
#pragma once

#include <cstdint>

#include "plugin/state/records.h"

namespace gloamer {

// Nothing heard: both rows zero.
void silenceRows(VisModule& module);

// Rows recorded earlier (a frame data file), as they were.
void copyRows(VisModule& module, const uint8_t spectrum[2][576], const uint8_t waveform[2][576]);

} // namespace gloamer
