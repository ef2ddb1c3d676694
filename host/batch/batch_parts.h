// batch_parts.h -- inputs cut into parts that tasks render apart, and the join that makes each input's video.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/batch/batch_list.h"

namespace gloamer {

// How inputs are cut: `parts` each (0: not by count), or parts of about `partSeconds` (0: not by length).
struct PartSplit {
    int parts = 0;
    double partSeconds = 0;
    int fps = 30;
    int keyframeFrames = 60; // a part is whole keyframe intervals of the video

    bool splits() const { return parts > 1 || partSeconds > 0; }
};

// The parts an input of `seconds` rendered seconds is cut in: 1 when it is not cut or its length is unknown (0),
// and never more than the whole keyframe intervals it surely holds, so that every part has frames.
int partCountFor(double seconds, const PartSplit& split);

// What a task renders: a whole item (count 1), or part `part` of `count` of one.
struct WorkUnit {
    size_t item = 0;
    int part = 0;
    int count = 1;
};

// Every item's units in list order, an item's parts one after another; the shard rule shares these out.
std::vector<WorkUnit> workUnits(const std::vector<BatchItem>& items, const std::vector<double>& seconds,
                                const PartSplit& split);

// Where the batch in `folder` keeps the parts of item `name`, and part K of N with its record in there.
std::string partsFolder(const std::string& folder, const std::string& name);
std::string partPath(const std::string& folder, const std::string& name, int part, int count,
                     const std::string& extension);
std::string partRecordPath(const std::string& partFile);

// What the records say of each part of an input, and so of its join.
struct PartState {
    bool done = false;
    std::string failure; // why it failed; empty unless it did
};
struct JoinReadiness {
    enum Kind { ready, waiting, failed } kind = waiting;
    std::string reason; // which parts are not done, or which failed and why
};
JoinReadiness joinReadiness(const std::vector<PartState>& parts);

} // namespace gloamer
