// part_plan.cpp -- cutting a render into keyframe-aligned parts, and the tag that names a part and what made it.
#include "host/offline/part_plan.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

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

namespace {

// The first 32 hex digits of the SHA-256 of `bytes`: plenty to tell renders apart.
std::string shortSha256(const std::string& bytes)
{
    AVSHA* sha = av_sha_alloc();
    if (!sha || av_sha_init(sha, 256) < 0) {
        av_free(sha);
        throw HostError("out of memory");
    }
    av_sha_update(sha, (const uint8_t*)bytes.data(), (unsigned)bytes.size());
    unsigned char digest[32];
    av_sha_final(sha, digest);
    av_free(sha);
    std::string hex;
    for (int i = 0; i < 16; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", digest[i]);
        hex += two;
    }
    return hex;
}

} // namespace

std::string partOrigin(const std::string& musicOpening, const std::string& options, const std::string& version)
{
    std::string safeVersion = version;
    for (char& c : safeVersion)
        if (!std::isgraph((unsigned char)c))
            c = '_';
    return "input " + shortSha256(musicOpening) + " options " + shortSha256(options) + " gloamer " + safeVersion;
}

std::string originDifference(const std::string& a, const std::string& b)
{
    if (a == b)
        return "";
    auto field = [](const std::string& origin, const char* name) {
        const std::string key = std::string(name) + " ";
        size_t at = origin.find(key);
        if (at == std::string::npos)
            return std::string();
        at += key.size();
        return origin.substr(at, origin.find(' ', at) - at);
    };
    if (field(a, "input") != field(b, "input"))
        return "other music";
    if (field(a, "options") != field(b, "options"))
        return "other options";
    return "another gloamer";
}

std::string formatPartTag(const PartTag& tag)
{
    char text[256];
    std::snprintf(text, sizeof(text),
                  "gloamer part %d/%d frames %" PRId64 "-%" PRId64 " of %" PRId64 " at %d fps, music %d Hz %" PRId64
                  " frames from %" PRId64,
                  tag.plan.index, tag.plan.count, tag.plan.firstFrame, tag.plan.endFrame, tag.plan.totalFrames,
                  tag.fps, tag.sampleRate, tag.trackFrames, tag.firstAudioFrame);
    return tag.origin.empty() ? std::string(text) : std::string(text) + ", " + tag.origin;
}

std::optional<PartTag> parsePartTag(const std::string& text)
{
    PartTag tag;
    int used = 0;
    if (std::sscanf(text.c_str(),
                    "gloamer part %d/%d frames %" SCNd64 "-%" SCNd64 " of %" SCNd64 " at %d fps, music %d Hz %" SCNd64
                    " frames from %" SCNd64 "%n",
                    &tag.plan.index, &tag.plan.count, &tag.plan.firstFrame, &tag.plan.endFrame, &tag.plan.totalFrames,
                    &tag.fps, &tag.sampleRate, &tag.trackFrames, &tag.firstAudioFrame, &used) != 9)
        return std::nullopt;
    if (used != (int)text.size()) {
        char input[33], options[33], version[64];
        int end = 0;
        if (std::sscanf(text.c_str() + used, ", input %32[0-9a-z] options %32[0-9a-f] gloamer %63[!-~]%n", input,
                        options, version, &end) != 3 ||
            used + end != (int)text.size())
            return std::nullopt;
        tag.origin = text.substr((size_t)used + 2);
    }
    const PartPlan& plan = tag.plan;
    if (plan.count < 1 || plan.index < 0 || plan.index >= plan.count || plan.firstFrame < 0 ||
        plan.endFrame <= plan.firstFrame || plan.endFrame > plan.totalFrames || tag.fps < 1 || tag.sampleRate < 0)
        return std::nullopt;
    return tag;
}

} // namespace gloamer
