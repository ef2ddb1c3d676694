// batch_run.h -- a batch: the items of one share rendered in order, each in a process of its own, with records.
#pragma once

#include <string>
#include <vector>

#include "host/batch/batch_list.h"
#include "host/batch/batch_shard.h"

namespace gloamer {

struct BatchJob {
    std::string list;                    // a list file or a folder
    std::string folder;                  // -o DIR
    std::string extension = "mp4";       // of every output
    std::vector<std::string> renderArgs; // the render options each item gets, complete and in a fixed order
    Shard shard;
    bool quiet = false;
};

// The render options as one text, the part of a record that says how an item was rendered.
std::string optionsText(const BatchJob& job);
// The items of the job's list, with their problems.
std::vector<BatchItem> batchItems(const BatchJob& job);

// Renders every item of the share that is not done yet, in order, one line each and a summary. Returns 0 when
// every item of the share is done, 1 when any failed, 128 + n when stopped by signal n (what finished is
// recorded). Throws HostError when the list cannot be read.
int runBatch(const BatchJob& job);

// Prints, for the share, what is done, failed (with reasons) and pending; as JSON when `json`. Returns 0.
int printBatchStatus(const BatchJob& job, bool json);

} // namespace gloamer
