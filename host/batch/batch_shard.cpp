// batch_shard.cpp -- the share of one task: the option first, then what Slurm or Kubernetes tells the task.
#include "host/batch/batch_shard.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "host/process/host_error.h"

namespace gloamer {

namespace {

bool readCount(const char* text, long lowest, int& value)
{
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    long number = std::strtol(text, &end, 10);
    if (errno || *end || number < lowest || number > INT_MAX)
        return false;
    value = (int)number;
    return true;
}

std::string text(const char* value)
{
    return value ? "'" + std::string(value) + "'" : "unset";
}

} // namespace

bool parseShard(const std::string& text, int& index, int& count)
{
    size_t slash = text.find('/');
    if (slash == std::string::npos)
        return false;
    std::string left = text.substr(0, slash), right = text.substr(slash + 1);
    return readCount(left.c_str(), 0, index) && readCount(right.c_str(), 1, count) && index < count;
}

Shard chooseShard(const std::string& shardText, int shards, const Environment& environment)
{
    Shard shard;
    if (!shardText.empty()) {
        if (!parseShard(shardText, shard.index, shard.count))
            throw HostError("--shard " + shardText + " is not a share I/N with 0 <= I < N");
        shard.source = "--shard";
        return shard;
    }
    if (const char* id = environment("SLURM_ARRAY_TASK_ID")) {
        const char* count = environment("SLURM_ARRAY_TASK_COUNT");
        const char* min = environment("SLURM_ARRAY_TASK_MIN");
        int taskId = 0, first = 0;
        if (!readCount(id, 0, taskId) || !readCount(count, 1, shard.count) || (min && !readCount(min, 0, first)))
            throw HostError("Slurm gave no share this task can use: SLURM_ARRAY_TASK_ID " + text(id) +
                            ", SLURM_ARRAY_TASK_COUNT " + text(count) + ", SLURM_ARRAY_TASK_MIN " + text(min));
        shard.index = taskId - first;
        if (shard.index < 0 || shard.index >= shard.count)
            throw HostError("Slurm's array task " + std::string(id) + " is not one of " + std::string(count) +
                            " counted from " + std::to_string(first) + ": give the array as 0-N or use --shard I/N");
        shard.source = "Slurm";
        return shard;
    }
    if (const char* index = environment("JOB_COMPLETION_INDEX")) {
        if (shards < 1)
            throw HostError("JOB_COMPLETION_INDEX is set but --shards N is not: say how many indexes the job has");
        if (!readCount(index, 0, shard.index) || shard.index >= shards)
            throw HostError("JOB_COMPLETION_INDEX " + text(index) + " is not an index below --shards " +
                            std::to_string(shards));
        shard.count = shards;
        shard.source = "Kubernetes";
        return shard;
    }
    if (shards > 0)
        throw HostError("--shards N takes its index from JOB_COMPLETION_INDEX, which is not set (use --shard I/N)");
    return shard;
}

} // namespace gloamer
