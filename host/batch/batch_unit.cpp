// batch_unit.cpp -- one unit of a batch: rendered or joined apart, moved into place only where the batch may write.
#include "host/batch/batch_unit.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "host/batch/batch_record.h"
#include "host/media/media_input.h"
#include "host/process/host_error.h"
#include "host/process/pending_file.h"
#include "host/process/system.h"
#include "host/process/interrupt.h"

namespace gloamer {

namespace fs = std::filesystem;

namespace {

// A name of this run's own in the work folder: the render keeps an interrupted video at its output, so only a
// render that ended well is moved to its place. One left by a batch killed outright is removed by a later one.
std::string workName(const BatchJob& job)
{
    static int counter = 0;
    return batchStateFolder(job.folder) + "/work/" + temporaryStem("batch") + std::to_string(counter++) + "." +
           job.extension;
}

const char* kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISLNK(mode))
        return "a link";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return S_ISSOCK(mode) ? "a socket" : "not a regular file";
}

// Moves the whole video at `work` to `target` (which targetRefusal allowed) and writes its record; returns ""
// when done, else why not.
std::string placeAndRecord(const BatchJob& job, const BatchItem& item, const InputIdentity& identity,
                           const std::string& options, const std::string& work, const std::string& target,
                           const std::string& recordFile)
{
    BatchRecord record;
    record.name = target.substr(std::min(target.size(), job.folder.size() + 1));
    record.state = "done";
    record.input = identity;
    record.options = options;
    record.version = GLOAMER_VERSION;
    record.sha256 = fileSha256(work);
    std::error_code error;
    fs::create_directories(fs::path(target).parent_path(), error);
    if (error)
        return "cannot make the folder of '" + target + "': " + error.message();
    // Looked at again: something may have appeared there while the item rendered.
    const std::string refusal = targetRefusal(job, item, target, recordFile);
    if (!refusal.empty())
        return refusal;
    if (!renameWithoutReplacing(work, target)) {
        if (errno != EEXIST || !replaceFile(work, target))
            return "cannot move the video to '" + target + "': " + std::strerror(errno);
    }
    InputIdentity written = identityOf(target);
    record.outputSize = written.size;
    record.outputModifiedNs = written.modifiedNs;
    writeRecord(recordFile, record);
    return "";
}

} // namespace

std::string partText(const WorkUnit& unit)
{
    return std::to_string(unit.part) + "/" + std::to_string(unit.count);
}

std::string unitOptions(const BatchJob& job, const WorkUnit& unit)
{
    return optionsText(job) + (unit.count > 1 ? " --part " + partText(unit) : "");
}

std::string unitLabel(const BatchItem& item, const WorkUnit& unit)
{
    return unit.count > 1 ? item.name + " [part " + partText(unit) + "]" : item.name;
}

std::string unitTarget(const BatchJob& job, const BatchItem& item, const WorkUnit& unit)
{
    return unit.count > 1 ? partPath(job.folder, item.name, unit.part, unit.count, job.extension)
                          : job.folder + "/" + item.name;
}

std::string unitRecord(const BatchJob& job, const BatchItem& item, const WorkUnit& unit)
{
    return unit.count > 1 ? partRecordPath(unitTarget(job, item, unit)) : recordPath(job.folder, item.name);
}

std::string unitClaim(const BatchJob& job, const BatchItem& item, const WorkUnit& unit)
{
    const std::string claims = batchStateFolder(job.folder) + "/claims";
    if (unit.count == 1)
        return stateFileFor(claims, item.name, ".claim");
    return stateFileFor(claims, item.name, "") + "/" + std::to_string(unit.part) + "-of-" +
           std::to_string(unit.count) + ".claim";
}

std::vector<std::string> renderCommand(const BatchJob& job, const BatchItem& item, const WorkUnit& unit,
                                       const std::string& work)
{
    std::vector<std::string> command = {"render", "-o", work, "--overwrite", "--quiet"};
    command.insert(command.end(), job.renderArgs.begin(), job.renderArgs.end());
    if (unit.count > 1)
        command.insert(command.end(), {"--part", partText(unit)});
    command.insert(command.end(), job.childArgs.begin(), job.childArgs.end());
    command.insert(command.end(), {"--", item.input});
    return command;
}

std::vector<std::string> joinCommand(const BatchJob& job, const BatchItem& item, int count, const std::string& work)
{
    std::vector<std::string> command = {"join", "--audio=" + item.input, "-o", work, "--overwrite"};
    command.insert(command.end(), job.joinArgs.begin(), job.joinArgs.end());
    command.push_back("--");
    for (int part = 0; part < count; ++part)
        command.push_back(partPath(job.folder, item.name, part, count, job.extension));
    return command;
}

std::string targetRefusal(const BatchJob& job, const BatchItem& item, const std::string& target,
                          const std::string& recordFile)
{
    if (isSpecialFile(recordFile))
        return "the record '" + recordFile + "' is not a regular file: it is left alone, and nothing can be recorded";
    struct stat info;
    if (lstat(target.c_str(), &info) != 0)
        return errno == ENOENT ? "" : "cannot look at '" + target + "': " + std::strerror(errno);
    if (!isStreamName(item.input) && sameFile(item.input, target))
        return "the input is its own output '" + target + "': choose another output folder";
    if (!S_ISREG(info.st_mode))
        return "'" + target + "' is " + kindOf(info.st_mode) + " that the batch did not write: it is left alone";
    if (job.overwrite || vouchesFor(readRecord(recordFile), target))
        return "";
    return "'" + target + "' was not written by this batch (no record of it): it is left alone (move it away, or "
           "add --overwrite to replace it)";
}

std::string renderUnit(const BatchJob& job, ChildRunner& runner, const BatchItem& item, const WorkUnit& unit)
{
    const std::string work = workName(job);
    TemporaryPath workFile(work);
    const InputIdentity identity = identityOf(item.input);
    ChildOutcome outcome = runner.run(renderCommand(job, item, unit, work), job.itemTimeout, work);
    if (interruptRequested())
        return "stopped";
    if (outcome.status != 0 || outcome.timedOutAfter > 0)
        return failureReason(outcome);
    return placeAndRecord(job, item, identity, unitOptions(job, unit), work, unitTarget(job, item, unit),
                          unitRecord(job, item, unit));
}

std::string joinItem(const BatchJob& job, ChildRunner& runner, const BatchItem& item, int count)
{
    const std::string work = workName(job);
    TemporaryPath workFile(work);
    const InputIdentity identity = identityOf(item.input);
    ChildOutcome outcome = runner.run(joinCommand(job, item, count, work), job.itemTimeout, work);
    if (interruptRequested())
        return "stopped";
    if (outcome.status != 0 || outcome.timedOutAfter > 0)
        return "the join failed: " + failureReason(outcome);
    std::string reason = placeAndRecord(job, item, identity, optionsText(job), work, job.folder + "/" + item.name,
                                        recordPath(job.folder, item.name));
    if (reason.empty()) {
        std::error_code ignored;
        fs::remove_all(partsFolder(job.folder, item.name), ignored);
    }
    return reason;
}

void recordFailure(const std::string& path, const std::string& target, const BatchItem& item,
                   const std::string& options, const std::string& reason)
{
    if (vouchesFor(readRecord(path), target))
        return; // the whole video there stays known as the batch's own
    BatchRecord record;
    record.name = item.name;
    record.state = "failed";
    record.input = identityOf(item.input);
    record.options = options;
    record.version = GLOAMER_VERSION;
    record.reason = reason;
    try {
        writeRecord(path, record);
    } catch (const HostError& error) {
        std::fprintf(stderr, "gloamer: %s\n", error.what());
    }
}

bool itemDone(const BatchJob& job, const BatchItem& item, DoneCheck check)
{
    return stillDone(readRecord(recordPath(job.folder, item.name)), identityOf(item.input), optionsText(job),
                     GLOAMER_VERSION, job.folder + "/" + item.name, check);
}

} // namespace gloamer
