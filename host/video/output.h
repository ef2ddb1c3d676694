// output.h -- the one way a render opens its output: every check before the first frame, then the sink for it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/process/output_checks.h"
#include "host/video/frame_sink.h"

namespace gloamer {

struct OutputRequest {
    std::string path;                // OUT.mp4, .mkv or .mov; or DIR/%05d.png
    bool overwrite = false;
    std::vector<std::string> inputs; // files the output must never be: the music, the frame data
    VideoFormat format;
    int64_t frameCount = 1;          // how many pictures a sequence writes: every one of their names is checked
    AudioInput audio;                // the music under a video; none for pictures
};

// Reads --size's "WxH" (16x16 to 7680x4320); throws HostError naming the option otherwise.
void parseFrameSize(const std::string& text, int& width, int& height);

// An output as the command line names it: its path, --overwrite, and --size as WxH.
OutputRequest outputFor(const std::string& path, bool overwrite, const std::string& size);

// Refuses, with a HostError that names the fix, an output that could not be written or would harm a file that
// is not the output: a bad name or size, a missing or unwritable folder, an existing file without --overwrite,
// a folder in the way, or the input itself under any of its names.
void checkOutput(const OutputRequest& request);

// checkOutput, then the sink: a video or numbered pictures, each written whole under a temporary name and
// renamed into place, encoding on a thread of its own.
std::unique_ptr<FrameSink> openOutput(const OutputRequest& request);

} // namespace gloamer
