// batch_run.cpp -- the loop of a batch task: skip what is done, render the rest apart, record each outcome.
#include "host/batch/batch_run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "host/batch/batch_child.h"
#include "host/batch/batch_record.h"
#include "host/process/host_error.h"
#include "host/process/pending_file.h"
#include "host/process/system.h"
#include "host/process/interrupt.h"

namespace gloamer {

namespace fs = std::filesystem;

namespace {

std::string hostName()
{
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 && name[0] ? name : "host";
}

// The render of one item into `work`, a name of the batch's own: the render keeps an interrupted video at its
// output, so only a render that ended well is moved to the item's name.
std::vector<std::string> renderCommand(const BatchJob& job, const BatchItem& item, const std::string& work)
{
    std::vector<std::string> command = {"render", item.input, "-o", work, "--overwrite", "--quiet"};
    command.insert(command.end(), job.renderArgs.begin(), job.renderArgs.end());
    return command;
}

struct Tally {
    int rendered = 0, skipped = 0, failed = 0;
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

void recordFailure(const BatchJob& job, const BatchItem& item, const std::string& reason)
{
    BatchRecord record;
    record.state = "failed";
    record.input = identityOf(item.input);
    record.options = optionsText(job);
    record.version = GLOAMER_VERSION;
    record.reason = reason;
    try {
        writeRecord(recordPath(job.folder, item.name), record);
    } catch (const HostError& error) {
        std::fprintf(stderr, "gloamer: %s\n", error.what());
    }
}

// Renders one item; returns "" when it is done, else why it failed.
std::string renderItem(const BatchJob& job, const BatchItem& item, size_t number)
{
    const std::string work = batchStateFolder(job.folder) + "/work/" + hostName() + "-" + std::to_string(getpid()) +
                             "-" + std::to_string(number) + "." + job.extension;
    TemporaryPath workFile(work);
    const InputIdentity identity = identityOf(item.input);
    ChildOutcome outcome = runOwnProgram(renderCommand(job, item, work));
    if (interruptRequested())
        return "stopped";
    if (outcome.status != 0)
        return failureReason(outcome);

    BatchRecord record;
    record.state = "done";
    record.input = identity;
    record.options = optionsText(job);
    record.version = GLOAMER_VERSION;
    record.sha256 = fileSha256(work);
    const std::string output = job.folder + "/" + item.name;
    std::error_code error;
    fs::create_directories(fs::path(output).parent_path(), error);
    if (error)
        return "cannot make the folder of '" + output + "': " + error.message();
    if (entryKind(output) == PathKind::folder)
        return "a folder stands at '" + output + "'";
    if (!replaceFile(work, output))
        return "cannot move the video to '" + output + "': " + std::strerror(errno);
    InputIdentity written = identityOf(output);
    record.outputSize = written.size;
    record.outputModifiedNs = written.modifiedNs;
    writeRecord(recordPath(job.folder, item.name), record);
    return "";
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

int runBatch(const BatchJob& job)
{
    const std::vector<BatchItem> items = batchItems(job);
    std::vector<size_t> share;
    for (size_t i = 0; i < items.size(); ++i)
        if (job.shard.takes(i))
            share.push_back(i);
    const int total = (int)share.size();

    // Without a folder of its own the batch can record nothing: every item fails, with the reason.
    std::error_code error;
    fs::create_directories(batchStateFolder(job.folder) + "/work", error);
    std::string unwritable;
    if (error)
        unwritable = "cannot write in '" + job.folder + "': " + error.message();
    else if (access((batchStateFolder(job.folder) + "/work").c_str(), W_OK) != 0)
        unwritable = "cannot write in '" + job.folder + "': " + std::strerror(errno);

    Tally tally;
    int number = 0;
    for (size_t index : share) {
        const BatchItem& item = items[index];
        ++number;
        if (!unwritable.empty()) {
            say("failed", item.name, unwritable, number, total);
            ++tally.failed;
            continue;
        }
        if (!item.problem.empty()) {
            say("failed", item.name, item.input + ": " + item.problem, number, total);
            recordFailure(job, item, item.input + ": " + item.problem);
            ++tally.failed;
            continue;
        }
        const std::string output = job.folder + "/" + item.name;
        if (stillDone(readRecord(recordPath(job.folder, item.name)), identityOf(item.input), optionsText(job),
                      GLOAMER_VERSION, output)) {
            say("skipped", item.name, "done before", number, total);
            ++tally.skipped;
            continue;
        }
        showBar(number, total, item.name);
        std::string reason;
        try {
            reason = renderItem(job, item, index);
        } catch (const HostError& failure) {
            reason = failure.what();
        }
        clearBar();
        if (interruptRequested()) {
            say("stopped", item.name, "not finished", number, total);
            break;
        }
        if (reason.empty()) {
            say("rendered", item.name, "", number, total);
            ++tally.rendered;
        } else {
            say("failed", item.name, reason, number, total);
            recordFailure(job, item, reason);
            ++tally.failed;
        }
    }
    const int left = total - tally.rendered - tally.skipped - tally.failed;
    std::printf("gloamer batch: %d rendered, %d skipped, %d failed", tally.rendered, tally.skipped, tally.failed);
    if (left > 0)
        std::printf(", %d not reached", left);
    std::printf(" (%d of %zu items in share %d/%d)\n", total, items.size(), job.shard.index, job.shard.count);
    std::fflush(stdout);
    if (interruptRequested())
        return 128 + interruptSignal();
    if (tally.failed > 0) {
        std::fprintf(stderr, "gloamer: %d item%s failed (their reasons are above and in %s/records)\n",
                     tally.failed, tally.failed == 1 ? "" : "s", batchStateFolder(job.folder).c_str());
        return 1;
    }
    return 0;
}

} // namespace gloamer
