// video_quality.h -- --quality small|good|high as each encoder's constant-quality number, and --crf's range.
#pragma once

#include <string>

namespace gloamer {

// The names --quality takes, best last.
inline constexpr const char* qualityNames[] = {"small", "good", "high"};

// --quality and --crf as a command line gives them.
struct VideoQuality {
    std::string name = "good"; // small, good or high
    int crf = -1;              // --crf where given, else -1
};

// The CRF that `quality` stands for with `codec` (h264, hevc, vp9, av1): for H.264 the encoder's usual
// 28/23/19 steps, for the others those encoders' equivalents.
// Throws HostError for a name it does not know.
int crfFor(const std::string& quality, const std::string& codec);
// The ceiling on the video's bit rate that `quality` keeps to at a size and rate, in kbit/s (0: none): for
// good, what video sites recommend for uploads at that size (2.5 Mb/s up to 640x480, 5 up to 1280x720, 8 up to
// 1920x1080, 16 up to 2560x1440, 40 above; half again above 30 fps), for small half of that, none for high.
// A visualizer's trails and glow are hard to compress, so at the plain CRF its videos run two to three times
// those rates; capped, the quiet passages keep the CRF's quality and the busy ones stay within the budget.
int uploadCeilingKbps(const std::string& quality, int width, int height, int fps);

// The largest CRF the codec's encoder takes: 51 for h264 and hevc, 63 for vp9 and av1.
int highestCrf(const std::string& codec);

} // namespace gloamer
