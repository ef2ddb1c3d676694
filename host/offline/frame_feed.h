// frame_feed.h -- the audio rows of a render's frame k, as gloamer render feeds them, from whichever frame a
// render starts.
#pragma once

#include <cstdint>
#include <functional>

#include "host/analysis/frame_span.h"
#include "host/analysis/spectrum_shaper.h"
#include "plugin/state/records.h"

namespace gloamer {

// Fills a module's spectrum and waveform for frame k of `span` (analysed at the plug-in's latency, then
// shaped). Frames come in order; the first may be past 0 (a part of a render): calm remembers the rows it gave
// out last, so the frames before are analysed and shaped first, not drawn, and frame k's rows come out as a
// render from frame 0 has them. `track` must outlive the feed. `reach`, when set, is called before each frame's
// rows are analysed, the frames caught up on included, so that a streamed track can hold the audio they read.
std::function<void(int64_t frame, VisModule& module)> audioRowsFeed(const AudioTrack& track, const FrameSpan& span,
                                                                    const SpectrumShaping& shaping,
                                                                    std::function<void(int64_t frame)> reach = {});

// The first frame whose rows are analysed when `firstDrawn` is the first frame drawn: 0 for the shaping that
// remembers the frames before (calm, automatic gain), `firstDrawn` itself otherwise.
int64_t firstFrameAnalysed(const SpectrumShaping& shaping, int64_t firstDrawn);

} // namespace gloamer
