// heard_rows.h -- the module's rows for the audio a frame is heard with, as every host with music sets them.
#pragma once

#include <cstdint>

#include "host/analysis/spectrum_analyser.h"
#include "host/audio/audio_track.h"
#include "plugin/state/records.h"

namespace gloamer {

// The rows for the moment `heardFrame` of `track` is heard: the block the plug-in's latency ahead, in the channel
// layouts the module asks for (its latency and layouts are read every frame, as a plug-in may change them).
void fillRowsHeardAt(SpectrumAnalyser& analyser, const AudioTrack& track, int64_t heardFrame, VisModule& module);

} // namespace gloamer
