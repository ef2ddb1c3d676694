// stream_options.h -- a stream's settings as the command line gives them (stream, live --to), made into what
// runStream takes: the place, the size and rate, and the bit rate --quality asks there unless --bitrate says.
#pragma once

#include <string>
#include <vector>

#include "host/stream/stream_run.h"
#include "host/video/video_quality.h"

namespace gloamer {

struct StreamOutputOptions {
    std::string to; // empty: not streaming
    VideoQuality quality;
    int bitrate = 0; // kbit/s; 0: what --quality asks at the size and rate
    int audioKbps = 160;
    std::string preset = "veryfast";
    int retry = 10;
    std::string titleFile;
    std::string progress;
    bool quiet = false;
};

// Video sites' upload rate for the size (good), half of it (small), half again (high), in kbit/s.
int streamKbpsFor(const std::string& quality, int width, int height, int fps);

// The stream's settings from those options, --size's text and the frame rate; the plug-in path is left empty.
// --crf is taken as it is: its range was checked as the command line was read.
StreamRunOptions streamRunOptionsFor(const StreamOutputOptions& options, const std::string& size, int fps);

// Checks --progress against the inputs and the stream's own files before anything starts.
void checkStreamProgress(const StreamRunOptions& run, const std::vector<std::string>& inputs);

} // namespace gloamer
