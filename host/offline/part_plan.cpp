// part_plan.cpp -- cutting a render into keyframe-aligned parts, and the tag that names a part.
#include "host/offline/part_plan.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "host/process/host_error.h"

namespace gloamer {

std::optional<PartRequest> parsePartRequest(const std::string& text)
{
    PartRequest request;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%6d/%6d%c", &request.index, &request.count, &extra) != 2 || request.count < 1 ||
        request.index < 0 || request.index >= request.count || text.find_first_of(" +-") != std::string::npos)
        return std::nullopt;
    return request;
}

PartPlan planPart(int64_t totalFrames, int keyframeInterval, const PartRequest& request, int64_t warmupFrames)
{
    const int64_t intervals = (totalFrames + keyframeInterval - 1) / keyframeInterval;
    if (intervals < request.count)
        throw HostError("cannot cut " + std::to_string(totalFrames) + " frames into " + std::to_string(request.count) +
                        " parts: a part is whole keyframe intervals of " + std::to_string(keyframeInterval) +
                        " frames, so at most " + std::to_string(intervals) + (intervals == 1 ? " part" : " parts"));
    PartPlan plan;
    plan.index = request.index;
    plan.count = request.count;
    plan.totalFrames = totalFrames;
    plan.firstFrame = intervals * request.index / request.count * keyframeInterval;
    plan.endFrame = std::min(totalFrames, intervals * (request.index + 1) / request.count * keyframeInterval);
    plan.warmupStart = std::max<int64_t>(0, plan.firstFrame - warmupFrames);
    return plan;
}

std::string formatPartTag(const PartTag& tag)
{
    char text[256];
    std::snprintf(text, sizeof(text),
                  "gloamer part %d/%d frames %" PRId64 "-%" PRId64 " of %" PRId64 " at %d fps, music %d Hz %" PRId64
                  " frames from %" PRId64,
                  tag.plan.index, tag.plan.count, tag.plan.firstFrame, tag.plan.endFrame, tag.plan.totalFrames,
                  tag.fps, tag.sampleRate, tag.trackFrames, tag.firstAudioFrame);
    return text;
}

std::optional<PartTag> parsePartTag(const std::string& text)
{
    PartTag tag;
    int used = 0;
    if (std::sscanf(text.c_str(),
                    "gloamer part %d/%d frames %" SCNd64 "-%" SCNd64 " of %" SCNd64 " at %d fps, music %d Hz %" SCNd64
                    " frames from %" SCNd64 "%n",
                    &tag.plan.index, &tag.plan.count, &tag.plan.firstFrame, &tag.plan.endFrame, &tag.plan.totalFrames,
                    &tag.fps, &tag.sampleRate, &tag.trackFrames, &tag.firstAudioFrame, &used) != 9 ||
        used != (int)text.size())
        return std::nullopt;
    const PartPlan& plan = tag.plan;
    if (plan.count < 1 || plan.index < 0 || plan.index >= plan.count || plan.firstFrame < 0 ||
        plan.endFrame <= plan.firstFrame || plan.endFrame > plan.totalFrames || tag.fps < 1 || tag.sampleRate < 0)
        return std::nullopt;
    return tag;
}

} // namespace gloamer
