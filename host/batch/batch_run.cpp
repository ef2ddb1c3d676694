// batch_run.cpp -- the steps of a batch task: take the share, prepare the work folder, claim and render each unit,
// join the inputs in parts, sum up.
#include "host/batch/batch_run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "host/batch/batch_unit.h"
#include "host/batch/cluster_job.h"
#include "host/process/host_error.h"
#include "host/process/interrupt.h"
#include "host/process/pending_file.h"
#include "host/process/progress_bar.h"

namespace gloamer {

namespace fs = std::filesystem;

namespace {

// What one task does: its units and its joins, out of the list's items.
struct BatchPlan {
    std::vector<BatchItem> items;
    std::vector<WorkUnit> units;
    std::vector<size_t> share;
    std::vector<std::pair<size_t, int>> joins;
};

// A task under way: its plan, why it can write nothing (if so), and its account so far.
struct BatchTask {
    const BatchJob& job;
    ChildRunner& runner;
    BatchPlan plan;
    std::string unwritable;
    BatchSummary summary;
    int number = 0;
    int total = 0;

    void say(const std::string& state, const std::string& label, const std::string& detail = "")
    {
        std::printf("[%d/%d] %-8s %s%s%s\n", number, total, state.c_str(), label.c_str(), detail.empty() ? "" : ": ",
                    detail.c_str());
        std::fflush(stdout);
        summary.lines.push_back({state, label, detail});
    }
};

// On a terminal, the bar below the item lines, redrawn before each item: "  4% [#...] rendering NAME".
std::string barLine(int number, int total, const std::string& name)
{
    char share[8];
    std::snprintf(share, sizeof share, "%3d%%", total > 0 ? 100 * (number - 1) / total : 0);
    return share + (" " + progressBar(total > 0 ? (double)(number - 1) / total : 0, 30)) + " rendering " + name;
}

// Runs one render or join under the bar; returns why it failed, empty when it worked.
template <typename Work>
std::string underBar(int number, int total, const std::string& name, Work work)
{
    TerminalLine bar(stdout);
    bar.draw(barLine(number, total, name));
    std::string reason;
    try {
        reason = work();
    } catch (const HostError& failure) {
        reason = failure.what();
    }
    bar.clear();
    return reason;
}

BatchPlan takeShare(const BatchJob& job)
{
    BatchPlan plan;
    plan.items = batchItems(job);
    plan.units = batchUnits(job, plan.items);
    plan.share = shareOf(job, plan.units);
    plan.joins = joinsOf(job, plan.units);
    return plan;
}

// Makes the work folder and sweeps what batches of this machine killed outright left there; returns why the
// batch can write nothing, empty when it can.
std::string prepareWorkFolder(const BatchJob& job)
{
    const std::string workFolder = batchStateFolder(job.folder) + "/work";
    std::error_code error;
    fs::create_directories(workFolder, error);
    if (error)
        return "cannot write in '" + job.folder + "': " + error.message();
    if (access(workFolder.c_str(), W_OK) != 0)
        return "cannot write in '" + job.folder + "': " + std::strerror(errno);
    // What renders and joins of batches killed outright on this machine left: never another machine's.
    removeLitterOf(workFolder, "batch");
    removeLitterOf(workFolder, ".gloamer");
    return "";
}

bool unitDone(const BatchTask& task, const BatchItem& item, const WorkUnit& unit, std::string& how)
{
    if (unit.count > 1 && partStatesOf(task.job, item, unit.count)[(size_t)unit.part].done) {
        how = "done before";
        return true;
    }
    how = unit.count > 1 ? "joined before" : "done before";
    return itemDone(task.job, item);
}

// One unit of the share: skipped when done, failed when it may not be written, else claimed and rendered.
// False when a stop ended it.
bool renderOne(BatchTask& task, const WorkUnit& unit)
{
    const BatchJob& job = task.job;
    const BatchItem& item = task.plan.items[unit.item];
    const std::string label = unitLabel(item, unit), target = unitTarget(job, item, unit);
    const std::string record = unitRecord(job, item, unit);
    std::string reason = task.unwritable, how;
    if (reason.empty() && !item.problem.empty())
        reason = item.input + ": " + item.problem;
    if (reason.empty() && unitDone(task, item, unit, how)) {
        task.say("skipped", label, how);
        ++task.summary.skipped;
        return true;
    }
    if (reason.empty())
        reason = targetRefusal(job, item, target, record);
    if (!reason.empty()) {
        task.say("failed", label, reason);
        if (task.unwritable.empty())
            recordFailure(record, target, item, unitOptions(job, unit), reason);
        ++task.summary.failed;
        return true;
    }
    UnitClaim claim(unitClaim(job, item, unit), job.claimExpirySeconds);
    if (!claim.held()) {
        task.say("claimed", label, claim.holder());
        ++task.summary.claimed;
        return true;
    }
    if (unitDone(task, item, unit, how)) { // finished by another task while this one looked
        task.say("skipped", label, how);
        ++task.summary.skipped;
        return true;
    }
    reason = underBar(task.number, task.total, label, [&] { return renderUnit(job, task.runner, item, unit); });
    if (interruptRequested()) {
        task.say("stopped", label, "not finished");
        return false;
    }
    if (reason.empty()) {
        task.say("rendered", label);
        ++task.summary.rendered;
    } else {
        task.say("failed", label, reason);
        recordFailure(record, target, item, unitOptions(job, unit), reason);
        ++task.summary.failed;
    }
    return true;
}

void renderShare(BatchTask& task)
{
    for (size_t index : task.plan.share) {
        ++task.number;
        if (!renderOne(task, task.plan.units[index]))
            return;
    }
}

// Why an item in parts cannot be joined now ("" when it can), and whether it merely waits for parts.
std::string joinRefusal(const BatchTask& task, const BatchItem& item, int count, bool& waiting)
{
    const JoinReadiness readiness = joinReadiness(partStatesOf(task.job, item, count, DoneCheck::contents));
    waiting = readiness.kind == JoinReadiness::waiting;
    if (readiness.kind != JoinReadiness::ready)
        return readiness.reason;
    return targetRefusal(task.job, item, task.job.folder + "/" + item.name, recordPath(task.job.folder, item.name));
}

// Claims an item whose parts are ready and joins them; "" when joined, "claimed" or "skipped" when another task
// holds it or has joined it, "stopped" at a stop, else why it failed.
std::string claimAndJoin(BatchTask& task, const BatchItem& item, int count, std::string& detail)
{
    const BatchJob& job = task.job;
    UnitClaim claim(unitClaim(job, item, WorkUnit{0, 0, 1}), job.claimExpirySeconds);
    if (!claim.held()) {
        detail = claim.holder();
        return "claimed";
    }
    if (itemDone(job, item)) { // joined by another task while this one looked
        detail = "joined before";
        return "skipped";
    }
    detail = underBar(task.number, task.total, item.name, [&] { return joinItem(job, task.runner, item, count); });
    return interruptRequested() ? "stopped" : detail.empty() ? "" : "failed";
}

// Joins one item's parts; false when a stop ended it.
bool joinOne(BatchTask& task, const BatchItem& item, int count)
{
    const BatchJob& job = task.job;
    const std::string target = job.folder + "/" + item.name, record = recordPath(job.folder, item.name);
    if (task.unwritable.empty() && itemDone(job, item)) {
        std::error_code ignored; // parts a join cut short before their removal
        fs::remove_all(partsFolder(job.folder, item.name), ignored);
        task.say("skipped", item.name, "joined before");
        ++task.summary.skipped;
        return true;
    }
    bool waiting = false;
    std::string detail = task.unwritable.empty() ? joinRefusal(task, item, count, waiting) : task.unwritable;
    const std::string outcome = waiting ? "waiting" : !detail.empty() ? "failed" : claimAndJoin(task, item, count, detail);
    if (outcome == "stopped") {
        task.say("stopped", item.name, "not joined");
        return false;
    }
    if (outcome.empty()) {
        task.say("joined", item.name, std::to_string(count) + " parts");
        ++task.summary.joined;
        return true;
    }
    task.say(outcome, item.name, detail);
    ++(outcome == "waiting" ? task.summary.waiting : outcome == "claimed" ? task.summary.claimed
       : outcome == "skipped" ? task.summary.skipped : task.summary.failed);
    if (outcome == "failed" && task.unwritable.empty())
        recordFailure(record, target, item, optionsText(job), detail);
    return true;
}

void joinParts(BatchTask& task)
{
    for (const auto& [index, count] : task.plan.joins) {
        if (interruptRequested())
            return;
        ++task.number;
        if (!joinOne(task, task.plan.items[index], count))
            return;
    }
}

// The closing line and the exit status.
int sumUp(const BatchTask& task)
{
    const BatchSummary& tally = task.summary;
    const BatchPlan& plan = task.plan;
    const int left = task.total - tally.rendered - tally.joined - tally.skipped - tally.failed - tally.waiting -
                     tally.claimed;
    std::printf("gloamer batch: %d rendered, ", tally.rendered);
    if (!plan.joins.empty())
        std::printf("%d joined, ", tally.joined);
    std::printf("%d skipped, %d failed", tally.skipped, tally.failed);
    if (tally.claimed > 0)
        std::printf(", %d claimed by other tasks", tally.claimed);
    if (tally.waiting > 0)
        std::printf(", %d waiting for parts", tally.waiting);
    if (left > 0)
        std::printf(", %d not reached", left);
    if (task.job.joinOnly)
        std::printf(" (joins of %zu items)\n", plan.items.size());
    else
        std::printf(" (%zu of %zu %s in share %d/%d)\n", plan.share.size(), plan.units.size(),
                    plan.units.size() == plan.items.size() ? "items" : "items and parts", task.job.shard.index,
                    task.job.shard.count);
    std::fflush(stdout);
    if (interruptRequested())
        return 128 + interruptSignal();
    if (tally.failed > 0)
        std::fprintf(stderr, "gloamer: %d item%s failed (their reasons are above and in %s/records)\n", tally.failed,
                     tally.failed == 1 ? "" : "s", batchStateFolder(task.job.folder).c_str());
    if (tally.claimed > 0)
        std::fprintf(stderr, "gloamer: %d item%s being rendered by another task (run again once it ends)\n",
                     tally.claimed, tally.claimed == 1 ? " is" : "s are");
    if (tally.waiting > 0)
        std::fprintf(stderr, "gloamer: %d item%s for parts not yet rendered\n", tally.waiting,
                     tally.waiting == 1 ? " waits" : "s wait");
    return tally.failed > 0 || tally.waiting > 0 || tally.claimed > 0 ? 1 : 0;
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

std::vector<size_t> shareOf(const BatchJob& job, const std::vector<WorkUnit>& units)
{
    std::vector<size_t> share;
    for (size_t i = 0; i < units.size() && !job.joinOnly; ++i)
        if (job.shard.takes(i))
            share.push_back(i);
    return share;
}

std::vector<std::pair<size_t, int>> joinsOf(const BatchJob& job, const std::vector<WorkUnit>& units)
{
    // Inputs in parts are joined by a task that renders every unit, or by --join-only after the tasks.
    std::vector<std::pair<size_t, int>> joins;
    if (job.joinOnly || job.shard.count == 1)
        for (const WorkUnit& unit : units)
            if (unit.count > 1 && unit.part == 0)
                joins.push_back({unit.item, unit.count});
    return joins;
}

std::vector<PartState> partStatesOf(const BatchJob& job, const BatchItem& item, int count, DoneCheck check)
{
    std::vector<PartState> states;
    const InputIdentity identity = identityOf(item.input);
    for (int part = 0; part < count; ++part) {
        const WorkUnit unit{0, part, count};
        const std::string options = unitOptions(job, unit), file = unitTarget(job, item, unit);
        std::optional<BatchRecord> record = readRecord(partRecordPath(file));
        PartState state;
        state.done = stillDone(record, identity, options, GLOAMER_VERSION, file, check);
        if (!state.done && record && record->state == "failed" && record->input.input == item.input &&
            record->options == options)
            state.failure = record->reason;
        states.push_back(state);
    }
    return states;
}

BatchSummary runBatchWith(const BatchJob& job, ChildRunner& runner)
{
    BatchTask task{job, runner, takeShare(job), "", {}, 0, 0};
    task.total = (int)(task.plan.share.size() + task.plan.joins.size());
    // Without a folder of its own the batch can record nothing: every item fails, with the reason.
    task.unwritable = prepareWorkFolder(job);
    renderShare(task);
    joinParts(task);
    task.summary.status = sumUp(task);
    return task.summary;
}

int runBatch(const BatchJob& job)
{
    OwnProgramRunner runner;
    return runBatchWith(job, runner).status;
}

} // namespace gloamer
