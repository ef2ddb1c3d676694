// batch_run.cpp -- the loop of a batch task: skip what is done, render the rest apart, record each outcome.
#include "host/batch/batch_run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "host/batch/batch_child.h"
#include "host/batch/batch_record.h"
#include "host/batch/cluster_job.h"
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

std::string partText(const WorkUnit& unit)
{
    return std::to_string(unit.part) + "/" + std::to_string(unit.count);
}

// The options a unit's record holds: a part's say which part it is.
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

std::vector<std::string> renderCommand(const BatchJob& job, const BatchItem& item, const WorkUnit& unit,
                                       const std::string& work)
{
    std::vector<std::string> command = {"render", item.input, "-o", work, "--overwrite", "--quiet"};
    command.insert(command.end(), job.renderArgs.begin(), job.renderArgs.end());
    if (unit.count > 1)
        command.insert(command.end(), {"--part", partText(unit)});
    command.insert(command.end(), job.childArgs.begin(), job.childArgs.end());
    return command;
}

struct Tally {
    int rendered = 0, joined = 0, skipped = 0, failed = 0, waiting = 0;
};

void say(const char* state, const std::string& name, const std::string& detail, int number, int total)
{
    std::printf("[%d/%d] %-8s %s%s%s\n", number, total, state, name.c_str(), detail.empty() ? "" : ": ",
                detail.c_str());
    std::fflush(stdout);
}

// On a terminal, the bar below the item lines, redrawn before each item.
void showBar(int number, int total, const std::string& name)
{
    if (!isatty(STDOUT_FILENO))
        return;
    const int width = 30;
    int filled = total > 0 ? width * (number - 1) / total : 0;
    std::printf("\r%3d%% [%s%s] rendering %s\x1b[K", total > 0 ? 100 * (number - 1) / total : 0,
                std::string((size_t)filled, '#').c_str(), std::string((size_t)(width - filled), '.').c_str(),
                name.c_str());
    std::fflush(stdout);
}

void clearBar()
{
    if (isatty(STDOUT_FILENO))
        std::printf("\r\x1b[K");
}

// Runs one render or join under the bar; returns why it failed, empty when it worked.
template <typename Work>
std::string underBar(int number, int total, const std::string& name, Work work)
{
    showBar(number, total, name);
    std::string reason;
    try {
        reason = work();
    } catch (const HostError& failure) {
        reason = failure.what();
    }
    clearBar();
    return reason;
}

void recordFailure(const std::string& path, const BatchItem& item, const std::string& options,
                   const std::string& reason)
{
    BatchRecord record;
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

// Moves the whole video at `work` to `target` and writes its record; returns "" when done, else why not.
std::string placeAndRecord(const InputIdentity& identity, const std::string& options, const std::string& work,
                           const std::string& target, const std::string& recordFile)
{
    BatchRecord record;
    record.state = "done";
    record.input = identity;
    record.options = options;
    record.version = GLOAMER_VERSION;
    record.sha256 = fileSha256(work);
    std::error_code error;
    fs::create_directories(fs::path(target).parent_path(), error);
    if (error)
        return "cannot make the folder of '" + target + "': " + error.message();
    if (entryKind(target) == PathKind::folder)
        return "a folder stands at '" + target + "'";
    if (!replaceFile(work, target))
        return "cannot move the video to '" + target + "': " + std::strerror(errno);
    InputIdentity written = identityOf(target);
    record.outputSize = written.size;
    record.outputModifiedNs = written.modifiedNs;
    writeRecord(recordFile, record);
    return "";
}

// Renders one unit; returns "" when it is done, else why it failed.
std::string renderUnit(const BatchJob& job, const BatchItem& item, const WorkUnit& unit)
{
    const std::string work = workName(job);
    TemporaryPath workFile(work);
    const InputIdentity identity = identityOf(item.input);
    ChildOutcome outcome = runOwnProgram(renderCommand(job, item, unit, work), job.itemTimeout);
    if (interruptRequested())
        return "stopped";
    if (outcome.status != 0 || outcome.timedOutAfter > 0)
        return failureReason(outcome);
    return placeAndRecord(identity, unitOptions(job, unit), work, unitTarget(job, item, unit),
                          unitRecord(job, item, unit));
}

bool itemDone(const BatchJob& job, const BatchItem& item)
{
    return stillDone(readRecord(recordPath(job.folder, item.name)), identityOf(item.input), optionsText(job),
                     GLOAMER_VERSION, job.folder + "/" + item.name);
}

// Joins the parts of an item into its video with `gloamer join`, records it, then removes the parts.
std::string joinItem(const BatchJob& job, const BatchItem& item, int count)
{
    const std::string work = workName(job);
    TemporaryPath workFile(work);
    const InputIdentity identity = identityOf(item.input);
    std::vector<std::string> command = {"join"};
    for (int part = 0; part < count; ++part)
        command.push_back(partPath(job.folder, item.name, part, count, job.extension));
    command.insert(command.end(), {"--audio", item.input, "-o", work, "--overwrite"});
    command.insert(command.end(), job.joinArgs.begin(), job.joinArgs.end());
    ChildOutcome outcome = runOwnProgram(command, job.itemTimeout);
    if (interruptRequested())
        return "stopped";
    if (outcome.status != 0 || outcome.timedOutAfter > 0)
        return "the join failed: " + failureReason(outcome);
    std::string reason = placeAndRecord(identity, optionsText(job), work, job.folder + "/" + item.name,
                                        recordPath(job.folder, item.name));
    if (reason.empty()) {
        std::error_code ignored;
        fs::remove_all(partsFolder(job.folder, item.name), ignored);
    }
    return reason;
}

} // namespace

std::string optionsText(const BatchJob& job)
{
    std::string text;
    for (const std::string& argument : job.renderArgs)
        text += (text.empty() ? "" : " ") + argument;
    return text;
}

std::vector<BatchItem> batchItems(const BatchJob& job)
{
    return readBatchList(job.list, job.extension, job.folder);
}

std::vector<WorkUnit> batchUnits(const BatchJob& job, const std::vector<BatchItem>& items)
{
    // An input of unknown length (a stream) counts as 0 seconds: it renders whole.
    std::vector<double> seconds;
    if (job.split.splits())
        seconds = itemDurations(items, job.start, job.duration, 0);
    return workUnits(items, seconds, job.split);
}

std::vector<PartState> partStatesOf(const BatchJob& job, const BatchItem& item, int count)
{
    std::vector<PartState> states;
    const InputIdentity identity = identityOf(item.input);
    for (int part = 0; part < count; ++part) {
        const WorkUnit unit{0, part, count};
        const std::string options = unitOptions(job, unit), file = unitTarget(job, item, unit);
        std::optional<BatchRecord> record = readRecord(partRecordPath(file));
        PartState state;
        state.done = stillDone(record, identity, options, GLOAMER_VERSION, file);
        if (!state.done && record && record->state == "failed" && record->input.input == item.input &&
            record->options == options)
            state.failure = record->reason;
        states.push_back(state);
    }
    return states;
}

int runBatch(const BatchJob& job)
{
    const std::vector<BatchItem> items = batchItems(job);
    const std::vector<WorkUnit> units = batchUnits(job, items);
    std::vector<size_t> share;
    for (size_t i = 0; i < units.size() && !job.joinOnly; ++i)
        if (job.shard.takes(i))
            share.push_back(i);
    // Inputs in parts are joined by a task that renders every unit, or by --join-only after the tasks.
    std::vector<std::pair<size_t, int>> joins; // item, parts
    if (job.joinOnly || job.shard.count == 1)
        for (const WorkUnit& unit : units)
            if (unit.count > 1 && unit.part == 0)
                joins.push_back({unit.item, unit.count});
    const int total = (int)(share.size() + joins.size());

    // Without a folder of its own the batch can record nothing: every item fails, with the reason.
    const std::string workFolder = batchStateFolder(job.folder) + "/work";
    std::error_code error;
    fs::create_directories(workFolder, error);
    std::string unwritable;
    if (error)
        unwritable = "cannot write in '" + job.folder + "': " + error.message();
    else if (access(workFolder.c_str(), W_OK) != 0)
        unwritable = "cannot write in '" + job.folder + "': " + std::strerror(errno);
    else {
        // What renders and joins of batches killed outright on this machine left: never another machine's.
        removeLitterOf(workFolder, "batch");
        removeLitterOf(workFolder, ".gloamer");
    }

    Tally tally;
    int number = 0;
    for (size_t index : share) {
        const WorkUnit& unit = units[index];
        const BatchItem& item = items[unit.item];
        const std::string label = unitLabel(item, unit);
        ++number;
        if (!unwritable.empty()) {
            say("failed", label, unwritable, number, total);
            ++tally.failed;
            continue;
        }
        if (!item.problem.empty()) {
            say("failed", label, item.input + ": " + item.problem, number, total);
            recordFailure(recordPath(job.folder, item.name), item, optionsText(job), item.input + ": " + item.problem);
            ++tally.failed;
            continue;
        }
        const bool partDone = unit.count > 1 && partStatesOf(job, item, unit.count)[(size_t)unit.part].done;
        if (partDone || itemDone(job, item)) {
            say("skipped", label, partDone ? "done before" : unit.count > 1 ? "joined before" : "done before",
                number, total);
            ++tally.skipped;
            continue;
        }
        const std::string reason = underBar(number, total, label, [&] { return renderUnit(job, item, unit); });
        if (interruptRequested()) {
            say("stopped", label, "not finished", number, total);
            break;
        }
        if (reason.empty()) {
            say("rendered", label, "", number, total);
            ++tally.rendered;
        } else {
            say("failed", label, reason, number, total);
            recordFailure(unitRecord(job, item, unit), item, unitOptions(job, unit), reason);
            ++tally.failed;
        }
    }
    for (const auto& [index, count] : joins) {
        if (interruptRequested())
            break;
        const BatchItem& item = items[index];
        ++number;
        if (!unwritable.empty()) {
            say("failed", item.name, unwritable, number, total);
            ++tally.failed;
            continue;
        }
        if (itemDone(job, item)) {
            std::error_code ignored; // parts a join cut short before their removal
            fs::remove_all(partsFolder(job.folder, item.name), ignored);
            say("skipped", item.name, "joined before", number, total);
            ++tally.skipped;
            continue;
        }
        const JoinReadiness readiness = joinReadiness(partStatesOf(job, item, count));
        if (readiness.kind == JoinReadiness::waiting) {
            say("waiting", item.name, readiness.reason, number, total);
            ++tally.waiting;
            continue;
        }
        std::string reason = readiness.reason;
        if (readiness.kind == JoinReadiness::ready) {
            reason = underBar(number, total, item.name, [&] { return joinItem(job, item, count); });
            if (interruptRequested()) {
                say("stopped", item.name, "not joined", number, total);
                break;
            }
        }
        if (reason.empty()) {
            say("joined", item.name, std::to_string(count) + " parts", number, total);
            ++tally.joined;
        } else {
            say("failed", item.name, reason, number, total);
            recordFailure(recordPath(job.folder, item.name), item, optionsText(job), reason);
            ++tally.failed;
        }
    }
    const int left = total - tally.rendered - tally.joined - tally.skipped - tally.failed - tally.waiting;
    std::printf("gloamer batch: %d rendered, ", tally.rendered);
    if (!joins.empty())
        std::printf("%d joined, ", tally.joined);
    std::printf("%d skipped, %d failed", tally.skipped, tally.failed);
    if (tally.waiting > 0)
        std::printf(", %d waiting for parts", tally.waiting);
    if (left > 0)
        std::printf(", %d not reached", left);
    if (job.joinOnly)
        std::printf(" (joins of %zu items)\n", items.size());
    else
        std::printf(" (%zu of %zu %s in share %d/%d)\n", share.size(), units.size(),
                    units.size() == items.size() ? "items" : "items and parts", job.shard.index, job.shard.count);
    std::fflush(stdout);
    if (interruptRequested())
        return 128 + interruptSignal();
    if (tally.failed > 0 || tally.waiting > 0) {
        if (tally.failed > 0)
            std::fprintf(stderr, "gloamer: %d item%s failed (their reasons are above and in %s/records)\n",
                         tally.failed, tally.failed == 1 ? "" : "s", batchStateFolder(job.folder).c_str());
        if (tally.waiting > 0)
            std::fprintf(stderr, "gloamer: %d item%s for parts not yet rendered\n", tally.waiting,
                         tally.waiting == 1 ? " waits" : "s wait");
        return 1;
    }
    return 0;
}

} // namespace gloamer
