// track_stream.h -- a track decoded as a render goes, holding only the window around the frame being drawn.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "host/audio/audio_decoder.h"
#include "host/audio/audio_track.h"

namespace gloamer {

// The track of `path` from `start` seconds on, filled by need() on the drawing thread and emptied behind both
// the drawing (release) and the muxer (copy, from its own thread), so memory stays flat however long it is.
class TrackStream {
public:
    TrackStream(const std::string& path, double start);

    // Read on the drawing thread only, which alone changes it.
    const AudioTrack& track() const { return track_; }
    // Decodes until the track holds the frames before `end`, or the input has ended.
    void need(int64_t end);
    bool ended() const { return decoder_.ended(); }
    // Frames before `frame` are no longer drawn from; they go once the muxer has taken them too.
    void release(int64_t frame);
    // For the muxer: copies up to `count` frames from `first` on into `into`; fewer only where the track ends,
    // as the drawing thread has decoded past every frame handed over.
    int64_t copy(int64_t first, int64_t count, int16_t* into);
    std::string warning() const { return decoder_.warning(); }
    // For a render whose video has no sound: release alone lets frames go.
    void withoutMuxer() { muxed_ = false; }

private:
    AudioDecoder decoder_;
    AudioTrack track_;
    std::mutex mutex_; // held by need and release as they change track_, and by copy as it reads it
    int64_t released_ = 0;
    int64_t copied_ = 0;
    bool muxed_ = true;
    std::vector<int16_t> decoded_;
};

} // namespace gloamer
