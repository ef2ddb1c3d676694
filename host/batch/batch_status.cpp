// batch_status.cpp -- gloamer batch --status: what is done, failed and pending in a task's share, from the records
// and the videos they vouch for.
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "host/batch/batch_record.h"
#include "host/batch/batch_run.h"
#include "host/batch/batch_unit.h"

namespace gloamer {

namespace {

struct StatusLine {
    std::string name;
    std::string input;
    std::string state; // "done", "failed" or "pending"
    std::string reason;
};

// A whole item: done while its record vouches for its video, byte for byte; else how far its parts are.
StatusLine itemStatus(const BatchJob& job, const BatchItem& item, int partCount)
{
    StatusLine line{item.name, item.input, "pending", ""};
    std::optional<BatchRecord> record = readRecord(recordPath(job.folder, item.name));
    if (!item.problem.empty()) {
        line.state = "failed";
        line.reason = item.input + ": " + item.problem;
    } else if (itemDone(job, item, DoneCheck::contents)) {
        line.state = "done";
    } else if (record && record->state == "failed" && record->input.input == item.input &&
               record->options == optionsText(job)) {
        line.state = "failed";
        line.reason = record->reason;
    }
    if (line.state != "done" && partCount > 1) {
        JoinReadiness readiness = joinReadiness(partStatesOf(job, item, partCount, DoneCheck::contents));
        line.state = readiness.kind == JoinReadiness::failed ? "failed" : "pending";
        line.reason = readiness.kind == JoinReadiness::ready ? "its parts are done, to be joined" : readiness.reason;
    }
    return line;
}

// A part, as a task of a shard renders it.
StatusLine partStatus(const BatchJob& job, const BatchItem& item, const WorkUnit& unit)
{
    StatusLine line{unitLabel(item, unit), item.input, "pending", ""};
    const PartState state = partStatesOf(job, item, unit.count, DoneCheck::contents)[(size_t)unit.part];
    if (state.done || itemDone(job, item, DoneCheck::contents))
        line.state = "done";
    else if (!state.failure.empty()) {
        line.state = "failed";
        line.reason = state.failure;
    }
    return line;
}

// The lines of the units this task renders: whole items, or, for a task of a shard of parts, its parts.
std::vector<StatusLine> shareStatus(const BatchJob& job)
{
    const std::vector<BatchItem> items = batchItems(job);
    const std::vector<WorkUnit> units = batchUnits(job, items);
    std::vector<StatusLine> lines;
    if (job.shard.count == 1 || job.joinOnly) {
        std::vector<int> partCounts(items.size(), 1);
        for (const WorkUnit& unit : units)
            partCounts[unit.item] = unit.count;
        for (size_t i = 0; i < items.size(); ++i)
            lines.push_back(itemStatus(job, items[i], partCounts[i]));
        return lines;
    }
    for (size_t index : shareOf(job, units)) {
        const WorkUnit& unit = units[index];
        const BatchItem& item = items[unit.item];
        lines.push_back(unit.count > 1 && item.problem.empty() ? partStatus(job, item, unit)
                                                               : itemStatus(job, item, 1));
    }
    return lines;
}

} // namespace

int printBatchStatus(const BatchJob& job, bool json)
{
    int done = 0, failed = 0, pending = 0;
    std::string text;
    nlohmann::ordered_json entries = nlohmann::ordered_json::array();
    for (const StatusLine& line : shareStatus(job)) {
        (line.state == "done" ? done : line.state == "failed" ? failed : pending)++;
        text += line.state + std::string(9 - line.state.size(), ' ') + line.name +
                (line.reason.empty() ? "" : ": " + line.reason) + "\n";
        nlohmann::ordered_json entry = {{"name", line.name}, {"input", line.input}, {"state", line.state}};
        if (!line.reason.empty())
            entry["reason"] = line.reason;
        entries.push_back(entry);
    }
    if (json) {
        const nlohmann::ordered_json status = {{"done", done}, {"failed", failed}, {"pending", pending}, {"items", entries}};
        // Bytes of a name that are not UTF-8 come out as U+FFFD, so that the output is always JSON.
        std::printf("%s\n", status.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
    } else {
        std::printf("%s%d done, %d failed, %d pending\n", text.c_str(), done, failed, pending);
    }
    return 0;
}

} // namespace gloamer
