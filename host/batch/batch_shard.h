// batch_shard.h -- which items of a batch one task takes, from --shard or from the cluster's task index.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace gloamer {

// Task `index` of `count` takes the items index, index + count, index + 2 count... (from 0).
struct Shard {
    int index = 0;
    int count = 1;
    std::string source; // where the share came from, for the messages: "--shard", "Slurm", ...

    bool takes(size_t item) const { return item % (size_t)count == (size_t)index; }
};

// The rule, in the order tried: --shard I/N (`shardText`); else SLURM_ARRAY_TASK_ID - SLURM_ARRAY_TASK_MIN (0
// when unset) of SLURM_ARRAY_TASK_COUNT; else JOB_COMPLETION_INDEX of --shards N (`shards`, 0 when not given);
// else every item. `environment` reads a variable (null when unset). Throws HostError for a share that is not
// one: an index outside its count, a count below 1, an index without its count.
using Environment = std::function<const char*(const char*)>;
Shard chooseShard(const std::string& shardText, int shards, const Environment& environment);

// Reads "I/N"; false unless 0 <= I < N.
bool parseShard(const std::string& text, int& index, int& count);

} // namespace gloamer
