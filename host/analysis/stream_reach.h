// stream_reach.h -- how much of a track decoded as it goes a frame needs held, and whether the music reaches it.
#pragma once

#include <cstdint>

#include "host/analysis/frame_span.h"
#include "host/audio/track_stream.h"

namespace gloamer {

// Has `stream` hold what frame `frame` of `span` may analyse (the furthest latency and a block past what is
// heard, and `extraFrames` more), letting go of what is behind it; false once the music has ended before the
// frame. A read stopped by Ctrl-C throws StopRequested.
bool streamReachesFrame(TrackStream& stream, const FrameSpan& span, double start, int64_t frame,
                        int64_t extraFrames = 0);

} // namespace gloamer
