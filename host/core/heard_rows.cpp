// heard_rows.cpp -- analyses the block that goes with what is heard, under the one latency rule.
#include "host/core/heard_rows.h"

#include "host/analysis/frame_span.h"

namespace gloamer {

void fillRowsHeardAt(SpectrumAnalyser& analyser, const AudioTrack& track, int64_t heardFrame, VisModule& module)
{
    int64_t analysed = analysedFrameFor(heardFrame, module.latencyMs, track.sampleRate);
    analyser.analyse(track, analysed, module.spectrumChannelCount, module.waveformChannelCount, module.spectrumData,
                     module.waveformData);
}

} // namespace gloamer
