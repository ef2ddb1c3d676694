// stream_reach.cpp -- a streamed track's window kept around the frame being drawn or analysed.
#include "host/analysis/stream_reach.h"

#include "host/analysis/spectrum_analyser.h"

namespace gloamer {

bool streamReachesFrame(TrackStream& stream, const FrameSpan& span, double start, int64_t frame, int64_t extraFrames)
{
    const int rate = stream.track().sampleRate;
    stream.need(span.heardFrameOf(frame + 1) + (int64_t)maxLatencyMs * rate / 1000 + spectrumBlockFrames + extraFrames);
    stream.release(span.heardFrameOf(frame));
    return !stream.ended() || frame < frameSpanOf(stream.track(), start, 0, span.fps).frameCount;
}

} // namespace gloamer
