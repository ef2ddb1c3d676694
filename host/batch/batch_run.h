// batch_run.h -- a batch: the items of one share rendered in order, each in a process of its own, with records.
#pragma once

#include <string>
#include <vector>

#include "host/batch/batch_child.h"
#include "host/batch/batch_claim.h"
#include "host/batch/batch_list.h"
#include "host/batch/batch_parts.h"
#include "host/batch/batch_record.h"
#include "host/batch/batch_shard.h"

namespace gloamer {

struct BatchJob {
    std::string list;                    // a list file or a folder
    std::string folder;                  // -o DIR
    std::string extension = "mp4";       // of every output
    std::vector<std::string> renderArgs; // the render options each item gets, complete and in a fixed order
    std::vector<std::string> childArgs;  // render options that change nothing drawn (--timeout): not recorded
    std::vector<std::string> joinArgs;   // the options of each join (--audio-bitrate)
    Shard shard;
    bool quiet = false;
    PartSplit split;            // inputs cut into parts, each a unit of the shard rule, joined when all are done
    double start = 0;           // the span rendered of each input, for the part count
    double duration = 0;
    double itemTimeout = 0;     // seconds a child may run (0: no limit)
    bool joinOnly = false;      // join the inputs whose parts are done; render nothing
    bool overwrite = false;     // replace regular files at DIR/NAME that no record vouches for
    double claimExpirySeconds = defaultClaimExpirySeconds; // when another machine's claim is taken over
};

// The render options as one text, the part of a record that says how an item was rendered.
std::string optionsText(const BatchJob& job);
// The items of the job's list, with their problems.
std::vector<BatchItem> batchItems(const BatchJob& job);

// The units of the job's items (their lengths probed only when inputs are cut in parts).
std::vector<WorkUnit> batchUnits(const BatchJob& job, const std::vector<BatchItem>& items);
// What the records say of each of the `count` parts of `item`.
std::vector<PartState> partStatesOf(const BatchJob& job, const BatchItem& item, int count,
                                    DoneCheck check = DoneCheck::sizeAndTime);

// The units this task renders (indexes into `units`): its shard's, none with --join-only. --status lists the same.
std::vector<size_t> shareOf(const BatchJob& job, const std::vector<WorkUnit>& units);
// The items in parts this task joins (item, part count): all of them for a task that takes every unit or joins
// only, else none.
std::vector<std::pair<size_t, int>> joinsOf(const BatchJob& job, const std::vector<WorkUnit>& units);

// One line of a batch's account: "rendered", "skipped", "failed", "claimed", "waiting", "joined", "stopped".
struct BatchLine {
    std::string state;
    std::string label;
    std::string detail;
};
struct BatchSummary {
    int rendered = 0, joined = 0, skipped = 0, failed = 0, waiting = 0, claimed = 0;
    std::vector<BatchLine> lines;
    int status = 0; // as runBatch returns it
};
// What runBatch does, with the children run by `runner`, and the lines kept.
BatchSummary runBatchWith(const BatchJob& job, ChildRunner& runner);

// Renders every unit of the share that is not done yet, in order, one line each and a summary. Returns 0 when
// every item of the share is done, 1 when any failed or is claimed by another task still at it, 128 + n when
// stopped by signal n (what finished is recorded). Each unit is claimed first (see UnitClaim), and a video
// goes only where nothing stands or where a record of the batch vouches for the file (any regular file with
// --overwrite). A task that takes every unit (or --join-only) then joins each input whose parts are all done,
// and removes the parts once the joined video is recorded. First removes what batches on this machine that
// were killed outright left in the work folder. Throws HostError when the list cannot be read.
int runBatch(const BatchJob& job);

// Prints, for the share, what is done, failed (with reasons) and pending; as JSON when `json`. Returns 0.
int printBatchStatus(const BatchJob& job, bool json);

} // namespace gloamer
