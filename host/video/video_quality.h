// video_quality.h -- --quality small|good|high as each encoder's constant-quality number, and --crf's range.
#pragma once

#include <string>

namespace gloamer {

// The names --quality takes, best last.
inline constexpr const char* qualityNames[] = {"small", "good", "high"};

// The CRF that `quality` stands for with `codec` (h264, hevc, vp9, av1): for H.264 the encoder's usual
// 28/23/19 steps, for the others those encoders' equivalents.
// Throws HostError for a name it does not know.
int crfFor(const std::string& quality, const std::string& codec);
// The largest CRF the codec's encoder takes: 51 for h264 and hevc, 63 for vp9 and av1.
int highestCrf(const std::string& codec);

} // namespace gloamer
