// batch_status.cpp -- gloamer batch --status: what is done, failed and pending, from the records alone.
#include <cstdio>
#include <string>

#include "host/batch/batch_record.h"
#include "host/batch/batch_run.h"

namespace gloamer {

int printBatchStatus(const BatchJob& job, bool json)
{
    const std::vector<BatchItem> items = batchItems(job);
    const std::string options = optionsText(job);
    std::vector<int> partCounts(items.size(), 1);
    for (const WorkUnit& unit : batchUnits(job, items))
        partCounts[unit.item] = unit.count;
    int done = 0, failed = 0, pending = 0;
    std::string lines, entries;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!job.shard.takes(i))
            continue;
        const BatchItem& item = items[i];
        std::optional<BatchRecord> record = readRecord(recordPath(job.folder, item.name));
        std::string state = "pending", reason;
        if (!item.problem.empty()) {
            state = "failed";
            reason = item.input + ": " + item.problem;
        } else if (stillDone(record, identityOf(item.input), options, GLOAMER_VERSION,
                             job.folder + "/" + item.name)) {
            state = "done";
        } else if (record && record->state == "failed" && record->input.input == item.input &&
                   record->options == options) {
            state = "failed";
            reason = record->reason;
        }
        // An input in parts that is not joined yet: how far its parts are.
        if (state != "done" && partCounts[i] > 1) {
            JoinReadiness readiness = joinReadiness(partStatesOf(job, item, partCounts[i]));
            state = readiness.kind == JoinReadiness::failed ? "failed" : "pending";
            reason = readiness.kind == JoinReadiness::ready ? "its parts are done, to be joined" : readiness.reason;
        }
        (state == "done" ? done : state == "failed" ? failed : pending)++;
        lines += state + std::string(9 - state.size(), ' ') + item.name + (reason.empty() ? "" : ": " + reason) + "\n";
        entries += std::string(entries.empty() ? "" : ",\n") + "    {\"name\": " + jsonString(item.name) +
                   ", \"input\": " + jsonString(item.input) + ", \"state\": " + jsonString(state) +
                   (reason.empty() ? "" : ", \"reason\": " + jsonString(reason)) + "}";
    }
    if (json)
        std::printf("{\n  \"done\": %d,\n  \"failed\": %d,\n  \"pending\": %d,\n  \"items\": [\n%s\n  ]\n}\n", done,
                    failed, pending, entries.c_str());
    else
        std::printf("%s%d done, %d failed, %d pending\n", lines.c_str(), done, failed, pending);
    return 0;
}

} // namespace gloamer
