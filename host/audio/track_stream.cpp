// track_stream.cpp -- the sliding window of a streamed render's track.
#include "host/audio/track_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace gloamer {

namespace {

// Decoded per step, so that the muxer waits for no more than this at a time.
constexpr int64_t stepFrames = 16384;

} // namespace

TrackStream::TrackStream(const std::string& path, double start) : decoder_(path), track_(decoder_.emptyTrack())
{
    decoder_.skipTo(start > 0 ? (int64_t)std::llround(start * track_.sampleRate) : 0);
    track_.firstFrame = released_ = copied_ = decoder_.position();
}

void TrackStream::need(int64_t end)
{
    while ((int64_t)track_.frameCount() < end && !decoder_.ended()) {
        decoded_.clear();
        decoder_.decode(decoded_, std::min(stepFrames, end - (int64_t)track_.frameCount()));
        std::lock_guard<std::mutex> lock(mutex_);
        track_.samples.insert(track_.samples.end(), decoded_.begin(), decoded_.end());
    }
}

void TrackStream::release(int64_t frame)
{
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = std::max(released_, frame);
    int64_t drop = std::clamp<int64_t>((muxed_ ? std::min(released_, copied_) : released_) - track_.firstFrame, 0,
                                       (int64_t)track_.heldFrames());
    // In steps of a second or more, so that the samples are moved seldom.
    if (drop < track_.sampleRate)
        return;
    track_.samples.erase(track_.samples.begin(), track_.samples.begin() + (ptrdiff_t)(drop * track_.channelCount));
    track_.firstFrame += drop;
}

int64_t TrackStream::copy(int64_t first, int64_t count, int16_t* into)
{
    std::lock_guard<std::mutex> lock(mutex_);
    first = std::max(first, track_.firstFrame);
    int64_t given = std::clamp<int64_t>((int64_t)track_.frameCount() - first, 0, count);
    if (given > 0)
        std::memcpy(into, track_.at(first), (size_t)(given * track_.channelCount) * sizeof(int16_t));
    copied_ = std::max(copied_, first + given);
    return given;
}

} // namespace gloamer
