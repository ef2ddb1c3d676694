// cluster_estimate.cpp -- what a cluster job's time limit rests on: the items' lengths and a measured speed.
#include <chrono>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include "host/media/media_input.h"
#include "host/batch/batch_child.h"
#include "host/batch/cluster_job.h"
#include "host/process/host_error.h"
#include "host/process/pending_file.h"

namespace gloamer {

std::vector<double> itemDurations(const std::vector<BatchItem>& items, double start, double duration, double unknown)
{
    silenceMediaLibraries();
    std::vector<double> seconds;
    for (const BatchItem& item : items) {
        double length = unknown;
        // A FIFO or device is not opened: that could wait for ever for a writer. Its length is unknown.
        struct stat info;
        const bool regular = stat(item.input.c_str(), &info) == 0 && S_ISREG(info.st_mode);
        if (item.problem.empty() && !isStreamName(item.input) && regular) {
            try {
                MediaInput input = openMediaInput(item.input);
                if (input.format()->duration > 0)
                    length = (double)input.format()->duration / AV_TIME_BASE;
            } catch (const HostError&) {
                length = 0; // it fails at once
            }
        }
        length = std::max(0.0, length - start);
        seconds.push_back(duration > 0 ? std::min(length, duration) : length);
    }
    return seconds;
}

double measureSpeed(const std::string& sample, const std::vector<std::string>& renderArgs,
                    const std::string& extension, double seconds)
{
    const std::string work = (std::filesystem::temp_directory_path() /
                              ("gloamer-speed-" + std::to_string(getpid()) + "." + extension)).string();
    TemporaryPath workFile(work);
    std::vector<std::string> command = {"render", sample, "-o", work, "--overwrite", "--quiet",
                                        "--duration", std::to_string(seconds)};
    command.insert(command.end(), renderArgs.begin(), renderArgs.end());
    auto began = std::chrono::steady_clock::now();
    ChildOutcome outcome = runOwnProgram(command);
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if (outcome.status != 0)
        throw HostError("cannot measure the speed on '" + sample + "': " + failureReason(outcome) +
                        " (give --speed X instead)");
    return seconds / std::max(took, 1e-3);
}

} // namespace gloamer
