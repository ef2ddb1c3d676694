// stream_run.h -- a stream from start to end: the plug-in drawing offscreen on the wall clock, the encoder and the
// sender on threads of their own, the titles said as each track is heard.
#pragma once

#include <string>

#include "host/analysis/spectrum_shaper.h"
#include "host/stream/stream_audio.h"
#include "host/stream/stream_encoder.h"
#include "host/stream/stream_target.h"

namespace gloamer {

struct StreamRunOptions {
    std::string pluginPath;
    StreamTarget target;
    StreamFormat format;
    SpectrumShaping shaping;
    int retryLimit = 10;
    std::string titleFile; // --title-file: the title as one line, replaced at each track; empty: none
    std::string progress;  // --progress: JSON lines; empty: none
    bool quiet = false;    // no rate lines while it runs
};

// Streams `sound` until it ends, Ctrl-C or SIGTERM, or the sender gives up. Returns the exit status: 0 when the
// sound ended, 128 + the signal when stopped (the stream is ended properly either way). Throws HostError when
// the stream cannot start or is given up.
int runStream(const StreamRunOptions& options, StreamSound& sound);

} // namespace gloamer
