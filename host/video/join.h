// join.h -- parts of one render put back into one video without re-encoding, with the music encoded once under it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/video/frame_sink.h"

namespace gloamer {

// The container's comment tag of a video ("" when it has none). Throws HostError when it cannot be read.
std::string videoComment(const std::string& path);

struct JoinPart {
    std::string path;
    int64_t frames = 0; // the part must hold exactly these
};

// Copies the video of each part, in order, into `output` (.mp4, .mkv or .mov), its timestamps running on from
// one part to the next at `fps`, and encodes `audio` once under it as AAC at `audioKbps` (none when
// audio.samples is null). Every part must hold one video of the same codec, size and encoder set-up as the
// first, start on a keyframe and hold its frames; otherwise HostError names the part and nothing is written.
// The output appears whole or not at all, an MP4 or MOV with its index first; `replace` lets it replace a regular
// file at its name (--overwrite).
void joinVideos(const std::vector<JoinPart>& parts, int fps, const AudioInput& audio, int audioKbps,
                const std::string& output, bool replace);

} // namespace gloamer
