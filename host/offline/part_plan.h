// part_plan.h -- one render cut into parts for several machines: which frames each part draws and writes, and the
// tag each part's video carries so that gloamer join can put them back together.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace gloamer {

// Warm-up frames a part draws before its first unless told otherwise: twice the most that any size, music or
// shaping measured needed (bench/part_warmup_bench).
constexpr int64_t defaultWarmupFrames = 96;

struct PartRequest {
    int index = 0; // from 0
    int count = 1;
};

// Reads "K/N" (K from 0 to N - 1); nullopt for anything else.
std::optional<PartRequest> parsePartRequest(const std::string& text);

struct PartPlan {
    int index = 0;
    int count = 1;
    int64_t totalFrames = 0; // of the whole render
    int64_t firstFrame = 0;  // the part's first written frame, a multiple of the keyframe interval
    int64_t endFrame = 0;    // one past its last
    int64_t warmupStart = 0; // the first frame drawn: warm-up frames before firstFrame, never before 0
};

// The whole render's frames cut into `request.count` parts of whole keyframe intervals (`keyframeInterval`
// frames; the last may be shorter), as even as they go. Throws HostError when there are fewer intervals than parts.
PartPlan planPart(int64_t totalFrames, int keyframeInterval, const PartRequest& request, int64_t warmupFrames);

// What gloamer join needs to know of a part, carried in its video's comment.
struct PartTag {
    PartPlan plan;
    int fps = 30;
    int sampleRate = 0;
    int64_t trackFrames = 0;     // sample frames in the music the part was rendered from
    int64_t firstAudioFrame = 0; // the sample frame heard at the render's frame 0
    std::string origin;          // what made it (partOrigin); empty in a part of an older gloamer
};

// What made a part, so that parts of different renders are never joined: "input I options O gloamer V", I the
// SHA-256 of `musicOpening` (the first seconds of the music as decoded, so that a file and the same music piped
// agree), O that of the options that shape the pictures, V gloamer's version.
std::string partOrigin(const std::string& musicOpening, const std::string& options, const std::string& version);
// How two parts' origins differ, in words ("other music", "other options", "another gloamer"); "" when they do not.
std::string originDifference(const std::string& a, const std::string& b);

std::string formatPartTag(const PartTag& tag);
// nullopt when `text` is not a part's tag.
std::optional<PartTag> parsePartTag(const std::string& text);

} // namespace gloamer
