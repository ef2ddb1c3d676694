// batch_unit.h -- one unit of a batch: its names and records, its render or join in a child, and the move of the
// finished video into a place the batch may write.
#pragma once

#include <string>
#include <vector>

#include "host/batch/batch_child.h"
#include "host/batch/batch_run.h"

namespace gloamer {

// "K/N" of a part.
std::string partText(const WorkUnit& unit);
// The options a unit's record holds: a part's say which part it is.
std::string unitOptions(const BatchJob& job, const WorkUnit& unit);
// The name a unit goes by in the lines: the item's, and which part.
std::string unitLabel(const BatchItem& item, const WorkUnit& unit);
// Where the unit's video goes, its record, and its claim.
std::string unitTarget(const BatchJob& job, const BatchItem& item, const WorkUnit& unit);
std::string unitRecord(const BatchJob& job, const BatchItem& item, const WorkUnit& unit);
std::string unitClaim(const BatchJob& job, const BatchItem& item, const WorkUnit& unit);

// The child's command lines: the input always after `--`, never where an option could be read.
std::vector<std::string> renderCommand(const BatchJob& job, const BatchItem& item, const WorkUnit& unit,
                                       const std::string& work);
std::vector<std::string> joinCommand(const BatchJob& job, const BatchItem& item, int count, const std::string& work);

// Why the batch may not write the video of `item` at `target`: "" when nothing stands there, or a regular file
// that the record at `recordFile` vouches for, or any regular file with --overwrite. Never the item's own
// input, never a folder, link, FIFO, device or socket.
std::string targetRefusal(const BatchJob& job, const BatchItem& item, const std::string& target,
                          const std::string& recordFile);

// Renders one unit in a child and moves its video into place; "" when it is done, else why it failed.
std::string renderUnit(const BatchJob& job, ChildRunner& runner, const BatchItem& item, const WorkUnit& unit);
// Joins the parts of an item in a child, records the video, then removes the parts; "" when done, else why not.
std::string joinItem(const BatchJob& job, ChildRunner& runner, const BatchItem& item, int count);

// Records that the unit failed, unless its record vouches for a whole video still in place: that one stays.
void recordFailure(const std::string& path, const std::string& target, const BatchItem& item,
                   const std::string& options, const std::string& reason);

// True when the item's own video is done by its record (size and time of the video, or its contents).
bool itemDone(const BatchJob& job, const BatchItem& item, DoneCheck check = DoneCheck::sizeAndTime);

} // namespace gloamer
