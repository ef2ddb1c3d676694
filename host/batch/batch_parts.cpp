// batch_parts.cpp -- the part rule of a batch: how many parts, their names, and when an input can be joined.
#include "host/batch/batch_parts.h"

#include <algorithm>
#include <cmath>

#include "host/batch/batch_record.h"

namespace gloamer {

int partCountFor(double seconds, const PartSplit& split)
{
    if (!split.splits() || !(seconds > 0) || split.fps <= 0 || split.keyframeFrames <= 0)
        return 1;
    // The container's length may be a little more than the decoded music: count only whole intervals.
    const double intervals = std::floor(seconds * split.fps / split.keyframeFrames + 1e-9);
    const double wanted = split.parts > 1 ? split.parts : std::round(seconds / split.partSeconds);
    return (int)std::clamp(std::min(wanted, intervals), 1.0, 100000.0);
}

std::vector<WorkUnit> workUnits(const std::vector<BatchItem>& items, const std::vector<double>& seconds,
                                const PartSplit& split)
{
    std::vector<WorkUnit> units;
    for (size_t i = 0; i < items.size(); ++i) {
        const int count = items[i].problem.empty() && i < seconds.size() ? partCountFor(seconds[i], split) : 1;
        for (int part = 0; part < count; ++part)
            units.push_back({i, part, count});
    }
    return units;
}

std::string partsFolder(const std::string& folder, const std::string& name)
{
    return batchStateFolder(folder) + "/parts/" + name;
}

std::string partPath(const std::string& folder, const std::string& name, int part, int count,
                     const std::string& extension)
{
    return partsFolder(folder, name) + "/" + std::to_string(part) + "-of-" + std::to_string(count) + "." + extension;
}

std::string partRecordPath(const std::string& partFile)
{
    return partFile + ".json";
}

JoinReadiness joinReadiness(const std::vector<PartState>& parts)
{
    const std::string of = "/" + std::to_string(parts.size());
    std::string failed, waiting;
    int failures = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string name = std::to_string(i) + of;
        if (!parts[i].failure.empty() && failures++ == 0)
            failed = "part " + name + " failed: " + parts[i].failure;
        else if (!parts[i].done && parts[i].failure.empty())
            waiting += (waiting.empty() ? "" : ", ") + name;
    }
    if (failures > 1)
        failed += " (and " + std::to_string(failures - 1) + " more part" + (failures > 2 ? "s" : "") + ")";
    if (!failed.empty())
        return {JoinReadiness::failed, failed};
    if (!waiting.empty())
        return {JoinReadiness::waiting, "parts not done yet: " + waiting};
    return {JoinReadiness::ready, ""};
}

} // namespace gloamer
