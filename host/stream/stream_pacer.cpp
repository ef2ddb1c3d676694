// stream_pacer.cpp -- the frame choice against the wall clock, and the growing pause between tries.
#include "host/stream/stream_pacer.h"

#include <algorithm>
#include <cmath>

namespace gloamer {

FrameChoice StreamPacer::choose(int64_t frame, double elapsed) const
{
    const double due = dueAt(frame);
    if (elapsed < due)
        return FrameChoice::Wait;
    if (elapsed > due + slack_)
        return FrameChoice::Skip;
    return FrameChoice::Draw;
}

double retryPause(int attempt, double longest)
{
    if (attempt <= 1)
        return std::min(1.0, longest);
    return std::min(longest, std::ldexp(1.0, std::min(attempt - 1, 30)));
}

} // namespace gloamer
