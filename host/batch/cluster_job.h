// cluster_job.h -- a batch written out for a cluster: a Slurm job array script, a Kubernetes Indexed Job.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/batch/batch_list.h"

namespace gloamer {

// Slurm's default MaxArraySize allows array indexes 0 to 1000.
constexpr int largestArray = 1001;

struct ClusterJob {
    std::string program;                // gloamer as the job runs it
    std::string list;                   // absolute
    std::string folder;                 // absolute
    std::vector<std::string> batchArgs; // what every task's batch takes besides its list and folder: render options, --format
    int tasks = 1;
    int throttle = 0;                   // at most this many tasks at once; 0: no limit
    int cpusPerTask = 1;
    int gpus = 0;                       // GPUs each task asks for (Slurm --gpus-per-task, Kubernetes nvidia.com/gpu)
    std::string gres;                   // Slurm: a generic resource request as --gres takes it; empty: none
    int64_t timeLimitSeconds = 3600;    // Slurm's --time
    std::string name = "gloamer-batch";
    std::string image;                  // Kubernetes: the container image holding gloamer
    std::string claim;                  // Kubernetes: the PersistentVolumeClaim holding the list and the folder
    std::string mountPath;              // Kubernetes: where the claim is mounted, a folder above list and folder
    int retries = 2;                    // Kubernetes: backoffLimitPerIndex
    bool joins = false;                 // inputs are cut in parts: a join step follows the render tasks
    int64_t joinTimeLimitSeconds = 600; // Slurm's --time of the join step
};

// The number of tasks: `shards` when given (0: one per item), never more than the items nor largestArray.
int taskCount(size_t items, int shards);

// The time a task may take: the longest share (items in the shard rule's order) at `speed` seconds of music per
// second, with half again and five minutes to spare, in whole minutes.
int64_t timeLimitFor(const std::vector<double>& itemSeconds, int tasks, double speed);

// The gloamer command line a render task (or the join step: --join-only) runs: `batch`, the output folder,
// `stepArgs`, the batch's options, and the list last, after "--", as the input it is.
std::vector<std::string> taskCommand(const ClusterJob& job, bool join, const std::vector<std::string>& stepArgs = {});

// The options that make a task's renders draw on the GPU the cluster gave it. The one place to add the render's
// device choice once batch passes one on: today's render has none and draws on the default EGL display.
std::vector<std::string> gpuDrawingArgs(const ClusterJob& job);

// The render task's and the join step's environment: Mesa's threads, and with GPUs the driver's capabilities.
std::vector<std::pair<std::string, std::string>> taskEnvironment(const ClusterJob& job, bool join);

// A bash script that makes the log folder and submits itself with sbatch ("bash SCRIPT [sbatch options]"); inside
// the job it runs the task's share. With joins it then submits the join step (batch --join-only), to start once
// every array task has ended (afterany: it joins only inputs whose parts the records call done). Every value is
// quoted for where it lands; what Slurm cannot be given (checkSlurmJob) is refused with a UsageError.
std::string slurmScript(const ClusterJob& job);
void checkSlurmJob(const ClusterJob& job);

// A batch/v1 Job, as JSON documents in a YAML stream: completionMode Indexed, one index a share, labelled
// gloamer-step: render. With joins a second Job (gloamer-step: join, named NAME-join) follows it, to be applied once
// the first has finished. A value that is not UTF-8 (checkKubernetesJob) is refused with a UsageError.
std::string kubernetesJob(const ClusterJob& job);
void checkKubernetesJob(const ClusterJob& job);

// A word bash reads back as `text`: as it is when it is plainly safe, else in single quotes.
std::string shellQuoted(const std::string& text);
// The value of an #SBATCH line that sbatch reads back as `text`, in double quotes. The caller has refused what no
// such line can hold (control characters).
std::string directiveQuoted(const std::string& text);
// `text` fit for one line of a message: in single quotes, control characters, backslashes and bytes that are not
// UTF-8 escaped.
std::string printableName(const std::string& text);
bool isUtf8(const std::string& text);
// The length of the UTF-8 sequence at `at` and its code point; 0 where the bytes there are not UTF-8.
size_t utf8Sequence(const std::string& text, size_t at, uint32_t& codePoint);

// The seconds of music each item renders, from its container (not decoded), after `start` and up to
// `duration` (0: all); `unknown` for a stream or what is not a regular file, 0 for an item that will fail.
std::vector<double> itemDurations(const std::vector<BatchItem>& items, double start, double duration, double unknown);
// Seconds of music rendered per second of time: `seconds` of `sample` rendered with the options, start-up included.
double measureSpeed(const std::string& sample, const std::vector<std::string>& renderArgs,
                    const std::string& extension, double seconds);

} // namespace gloamer
