// batch_run_test.cpp -- a batch task run in process over a fake child: what each outcome leaves behind, and a
// table of hostile inputs (data loss, injection through list entries, records that lie, tasks that fight,
// hangs) that must each end with a clear line, the right status and nothing lost.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "host/batch/batch_claim.h"
#include "host/batch/batch_run.h"
#include "host/batch/batch_unit.h"
#include "host/process/host_error.h"
#include "host/process/interrupt.h"
#include "host/process/system.h"
#include "tests/support/ended_process.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

void write(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Plays gloamer render and join: what it does follows the input's name. "fail" fails with a line, "slow" runs
// past its limit, "stop" is stopped by Ctrl-C meanwhile; anything else writes a video naming its input.
class FakeRunner : public gloamer::ChildRunner {
public:
    std::vector<std::vector<std::string>> calls;

    gloamer::ChildOutcome run(const std::vector<std::string>& arguments, double, const std::string& output) override
    {
        calls.push_back(arguments);
        auto dashes = std::find(arguments.begin(), arguments.end(), "--");
        EXPECT_NE(dashes, arguments.end()) << "no -- before the inputs";
        const std::string input = arguments[0] == "join" ? arguments[1].substr(8)
                                  : dashes + 1 < arguments.end() ? *(dashes + 1)
                                                                 : "";
        const std::string name = fs::path(input).filename().string();
        if (name.rfind("fail", 0) == 0)
            return {1, "'" + input + "' holds no audio", 0};
        if (name.rfind("slow", 0) == 0)
            return {143, "", 5};
        if (name.rfind("stop", 0) == 0) {
            gloamer::onStopSignal(SIGTERM);
            return {143, "", 0};
        }
        write(output, arguments[0] + " of " + input);
        return {0, "", 0};
    }
};

struct Folders {
    testfs::TempFolder root{"gloamer-batch-run"};
    fs::path list = root / "list.txt";
    fs::path out = root / "out";
};

gloamer::BatchJob jobOver(const Folders& folders)
{
    gloamer::BatchJob job;
    job.list = folders.list.string();
    job.folder = folders.out.string();
    job.renderArgs = {"--size", "160x120"};
    job.quiet = true;
    return job;
}

// Runs the job with a fake child; a stop the fake raised is cleared so that no other test sees it.
gloamer::BatchSummary runFake(const gloamer::BatchJob& job, FakeRunner& runner)
{
    gloamer::BatchSummary summary = gloamer::runBatchWith(job, runner);
    gloamer::clearInterruptRequest();
    return summary;
}

std::string recordState(const Folders& folders, const std::string& name)
{
    auto record = gloamer::readRecord(gloamer::recordPath(folders.out.string(), name));
    return record ? record->state : "none";
}

TEST(BatchRun, EachOutcomeLeavesItsVideoRecordAndStatus)
{
    struct Case {
        std::string entry;      // the list's line
        std::string state;      // the line's state
        std::string detail;     // a piece of its detail
        int status;             // the task's exit status
        std::string record;     // the record's state afterwards
        bool video;             // a video at out/NAME afterwards
    };
    const Case cases[] = {
        {"song.wav", "rendered", "", 0, "done", true},
        {"fail.wav", "failed", "holds no audio", 1, "failed", false},
        {"slow.wav", "failed", "took longer than 5 s", 1, "failed", false},
        {"stop.wav", "stopped", "not finished", 128 + SIGTERM, "none", false},
        {"missing.wav", "failed", "no such file", 1, "failed", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        Folders folders;
        for (const char* input : {"song.wav", "fail.wav", "slow.wav", "stop.wav"})
            write(folders.root / input, "music");
        write(folders.list, c.entry + "\n");
        FakeRunner runner;
        gloamer::BatchSummary summary = runFake(jobOver(folders), runner);
        ASSERT_EQ(summary.lines.size(), 1u);
        EXPECT_EQ(summary.lines[0].state, c.state);
        EXPECT_NE(summary.lines[0].detail.find(c.detail), std::string::npos) << summary.lines[0].detail;
        EXPECT_EQ(summary.status, c.status);
        const std::string name = fs::path(c.entry).stem().string() + ".mp4";
        EXPECT_EQ(recordState(folders, name), c.record);
        EXPECT_EQ(fs::exists(folders.out / name), c.video);
        // Nothing of the render is left in the work folder, whatever became of it.
        EXPECT_TRUE(fs::is_empty(gloamer::batchStateFolder(folders.out.string()) + "/work"));
    }
}

// What stands at out/song.mp4 or in the batch's own files before the run, and what must follow.
struct Hostile {
    std::string group, what;
    std::function<void(const Folders&)> before;
    std::string entry = "song.wav";
    bool overwrite = false;
    std::string state;  // of the one line
    std::string detail; // a piece of it
    int renders;        // children run
    std::function<void(const Folders&)> after = [](const Folders&) {};
};

std::vector<Hostile> hostileCases()
{
    const auto video = [](const Folders& f) { return f.out / "song.mp4"; };
    const auto record = [](const Folders& f) { return fs::path(gloamer::recordPath(f.out.string(), "song.mp4")); };
    const auto claim = [](const Folders& f) {
        return fs::path(gloamer::stateFileFor(gloamer::batchStateFolder(f.out.string()) + "/claims", "song.mp4",
                                              ".claim"));
    };
    const auto kept = [video](const Folders& f) { EXPECT_EQ(read(video(f)), "the user's own video"); };
    const auto users = [video](const Folders& f) { write(video(f), "the user's own video"); };
    return {
        {"data loss", "a video the batch did not write", users, "song.wav", false, "failed",
         "was not written by this batch", 0, kept},
        {"data loss", "--overwrite replaces a regular file", users, "song.wav", true, "rendered", "", 1,
         [video](const Folders& f) { EXPECT_EQ(read(video(f)), "render of " + (f.root / "song.wav").string()); }},
        {"data loss", "a FIFO, even with --overwrite",
         [video](const Folders& f) { fs::create_directories(f.out), mkfifo(video(f).c_str(), 0600); }, "song.wav",
         true, "failed", "is a FIFO", 0, [video](const Folders& f) { EXPECT_TRUE(fs::is_fifo(video(f))); }},
        {"data loss", "a link to the user's file, even with --overwrite",
         [video](const Folders& f) {
             write(f.root / "mine.mp4", "the user's own video");
             fs::create_directories(f.out);
             fs::create_symlink(f.root / "mine.mp4", video(f));
         },
         "song.wav", true, "failed", "is a link", 0,
         [video](const Folders& f) {
             EXPECT_TRUE(fs::is_symlink(video(f)));
             EXPECT_EQ(read(f.root / "mine.mp4"), "the user's own video");
         }},
        {"data loss", "the list's own input is its output",
         [](const Folders& f) { write(f.out / "holiday.mp4", "the user's own video"); }, "out/holiday.mp4", true,
         "failed", "its own output", 0,
         [](const Folders& f) { EXPECT_EQ(read(f.out / "holiday.mp4"), "the user's own video"); }},
        {"injection", "an entry that reads as an option", nullptr, "--plugin=/tmp/evil.so", false, "failed",
         "begins with '-'", 0},
        {"injection", "a URL holding an option", nullptr, "--plugin=/x/y://z.so", false, "failed", "begins with '-'", 0},
        {"records that lie", "a record with an escape no JSON has, no video", [record](const Folders& f) {
             write(record(f), "{\"state\": \"done\", \"input\": \"\\uZZZZ\"}");
         }, "song.wav", false, "rendered", "", 1},
        {"records that lie", "a record of the wrong types beside a video", [record, users](const Folders& f) {
             users(f);
             write(record(f), "{\"name\": 1, \"state\": [\"done\"], \"output_size\": \"20\"}");
         }, "song.wav", false, "failed", "was not written by this batch", 0, kept},
        {"records that lie", "a record that is not UTF-8", [record](const Folders& f) {
             write(record(f), "{\"name\": \"song\xff.mp4\", \"state\": \"done\"}");
         }, "song.wav", false, "rendered", "", 1},
        {"hangs", "a FIFO in place of the record", [record](const Folders& f) {
             fs::create_directories(record(f).parent_path()), mkfifo(record(f).c_str(), 0600);
         }, "song.wav", false, "failed", "not a regular file", 0,
         [record](const Folders& f) { EXPECT_TRUE(fs::is_fifo(record(f))); }},
        {"tasks that fight", "claimed by a live task of this machine", [claim](const Folders& f) {
             write(claim(f), gloamer::claimText(gloamer::hostName(), (long)getpid(), (int64_t)time(nullptr), "other"));
         }, "song.wav", false, "claimed", "process " + std::to_string(getpid()), 0,
         [video](const Folders& f) { EXPECT_FALSE(fs::exists(video(f))); }},
        {"tasks that fight", "claimed by a live task of another machine, long ago", [claim](const Folders& f) {
             write(claim(f), gloamer::claimText("elsewhere", 1, 1000, "other"));
         }, "song.wav", false, "rendered", "", 1, [claim](const Folders& f) { EXPECT_FALSE(fs::exists(claim(f))); }},
        {"tasks that fight", "claimed by an ended process of this machine", [claim](const Folders& f) {
             write(claim(f), gloamer::claimText(gloamer::hostName(), testproc::endedProcess(), 4102444800, "other"));
         }, "song.wav", false, "rendered", "", 1},
        {"tasks that fight", "a claim that cannot be read", [claim](const Folders& f) { write(claim(f), "{\"ho"); },
         "song.wav", false, "rendered", "", 1},
    };
}

TEST(BatchRun, HostileInputsEndWithAClearLineAndNothingLost)
{
    for (const Hostile& c : hostileCases()) {
        SCOPED_TRACE(c.group + ": " + c.what);
        Folders folders;
        write(folders.root / "song.wav", "music");
        write(folders.list, c.entry + "\n");
        if (c.before)
            c.before(folders);
        gloamer::BatchJob job = jobOver(folders);
        job.overwrite = c.overwrite;
        FakeRunner runner;
        gloamer::BatchSummary summary = runFake(job, runner);
        ASSERT_EQ(summary.lines.size(), 1u);
        EXPECT_EQ(summary.lines[0].state, c.state);
        EXPECT_NE(summary.lines[0].detail.find(c.detail), std::string::npos) << summary.lines[0].detail;
        EXPECT_EQ((int)runner.calls.size(), c.renders);
        EXPECT_EQ(summary.status, c.state == "rendered" ? 0 : 1);
        c.after(folders);
    }
}

TEST(BatchRun, InputsComeAfterDashesAndRecordsHoldEveryName)
{
    Folders folders;
    const std::string longStem(250, 'x'); // its record's name, NAME.mp4.json, is past the limit of a file name
    const std::string odd = "sing \xff\xfe \"quoted\" $(true)";
    for (const std::string& name : {longStem + ".wav", odd + ".wav"})
        write(folders.root / name, "music");
    const std::string url = "https://example.org/a--b/song.mp3?x=--plugin=y";
    write(folders.list, longStem + ".wav\n" + url + "\n" + odd + ".wav\n");
    FakeRunner runner;
    ASSERT_EQ(runFake(jobOver(folders), runner).status, 0);
    ASSERT_EQ(runner.calls.size(), 3u);
    for (const auto& call : runner.calls) {
        ASSERT_GE(call.size(), 2u);
        EXPECT_EQ(call[call.size() - 2], "--");
        EXPECT_EQ(std::count(call.begin(), call.end(), call.back()), 1) << call.back();
    }
    EXPECT_EQ(runner.calls[1].back(), url);
    for (const std::string& name : {longStem + ".mp4", std::string("song.mp4"), odd + ".mp4"})
        EXPECT_EQ(recordState(folders, name), "done") << name;
    // A second run finds every one done, the long name and the one that is not UTF-8 too.
    FakeRunner again;
    gloamer::BatchSummary second = runFake(jobOver(folders), again);
    EXPECT_EQ(second.skipped, 3);
    EXPECT_TRUE(again.calls.empty());
}

TEST(BatchRun, FailedRecordNeverReplacesOneOfAWholeVideo)
{
    Folders folders;
    write(folders.root / "song.wav", "music");
    write(folders.list, "song.wav\n");
    FakeRunner runner;
    ASSERT_EQ(runFake(jobOver(folders), runner).status, 0);
    const std::string target = (folders.out / "song.mp4").string();
    const std::string record = gloamer::recordPath(folders.out.string(), "song.mp4");
    const gloamer::BatchItem item{(folders.root / "song.wav").string(), "song.mp4", ""};
    struct Case {
        std::string what;
        std::function<void()> before;
        std::string state; // of the record after a failure is recorded
    } cases[] = {
        {"the video is whole", [] {}, "done"},
        {"the video was changed", [&] { write(target, "changed"); }, "failed"},
        {"the video is gone", [&] { fs::remove(target); }, "failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.before();
        gloamer::recordFailure(record, target, item, "--size 160x120", "the join failed: parts gone");
        EXPECT_EQ(recordState(folders, "song.mp4"), c.state);
    }
}

std::string captured(const std::function<void()>& run)
{
    testing::internal::CaptureStdout();
    run();
    return testing::internal::GetCapturedStdout();
}

TEST(BatchStatus, ListsTheShareTheTaskRendersAsJsonAndComparesContents)
{
    Folders folders;
    std::string list;
    for (int i = 0; i < 7; ++i) {
        const std::string name = "song" + std::to_string(i) + (i == 3 ? "\xff" : "") + ".wav";
        write(folders.root / name, "music");
        list += name + "\n";
    }
    write(folders.list, list);
    gloamer::BatchJob job = jobOver(folders);
    job.shard = {1, 3, "--shard"};
    FakeRunner runner;
    gloamer::BatchSummary summary = runFake(job, runner);
    const nlohmann::json status = nlohmann::json::parse(captured([&] { gloamer::printBatchStatus(job, true); }));
    ASSERT_EQ(status["items"].size(), summary.lines.size());
    for (size_t i = 0; i < summary.lines.size(); ++i)
        EXPECT_EQ(status["items"][i]["state"], "done") << summary.lines[i].label;
    EXPECT_EQ(status["items"][0]["name"], "song1.mp4");
    EXPECT_EQ(status["items"][1]["name"], "song4.mp4");

    // A name that is not UTF-8 comes out with U+FFFD in its place, and the output stays JSON.
    job.shard = {0, 3, "--shard"};
    runFake(job, runner);
    const nlohmann::json all = nlohmann::json::parse(captured([&] { gloamer::printBatchStatus(job, true); }));
    EXPECT_EQ(all["items"][1]["name"], "song3\xef\xbf\xbd.mp4");

    // Bytes changed in place, with the size and the time put back: not done for --status, which reads them.
    const fs::path video = folders.out / "song0.mp4";
    const auto time = fs::last_write_time(video);
    std::string bytes = read(video);
    bytes[0] ^= 1;
    write(video, bytes);
    fs::last_write_time(video, time);
    const nlohmann::json changed = nlohmann::json::parse(captured([&] { gloamer::printBatchStatus(job, true); }));
    EXPECT_EQ(changed["items"][0]["state"], "pending");
}

TEST(BatchList, RefusesWhatIsNoListAndSkipsABatchsOwnFolder)
{
    testfs::TempFolder folder("gloamer-batch-hostile-list");
    write(folder / "music/a.wav", "x");
    write(folder / "music/.gloamer-batch/parts/a.mp4/0-of-2.mp4", "part");
    write(folder / "music/.gloamer-batch/work/batch-x-1-0.mp4", "work");
    const auto items = gloamer::readBatchList((folder / "music").string(), "mp4", (folder / "out").string());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, "a.mp4");

    mkfifo((folder / "fifo.txt").c_str(), 0600);
    for (const std::string& list : {std::string("/dev/urandom"), (folder / "fifo.txt").string()}) {
        try {
            gloamer::readBatchList(list, "mp4", (folder / "out").string());
            ADD_FAILURE() << list << " was read as a list";
        } catch (const gloamer::HostError& error) {
            EXPECT_NE(std::string(error.what()).find("not a regular file"), std::string::npos) << error.what();
        }
    }
    // A stop asked for while a long list is read ends the reading.
    std::string lines;
    for (int i = 0; i < 1000; ++i)
        lines += "song" + std::to_string(i) + ".wav\n";
    write(folder / "long.txt", lines);
    gloamer::onStopSignal(SIGTERM);
    EXPECT_THROW(gloamer::readBatchList((folder / "long.txt").string(), "mp4", (folder / "out").string()),
                 gloamer::StopRequested);
    gloamer::clearInterruptRequest();
}

TEST(BatchClaim, OneHolderAtATimeAndReleaseRemovesOnlyItsOwn)
{
    testfs::TempFolder folder("gloamer-batch-claim");
    const std::string path = (folder / "claims/a.mp4.claim").string();
    {
        gloamer::UnitClaim first(path, 3600);
        ASSERT_TRUE(first.held()) << first.holder();
        gloamer::UnitClaim second(path, 3600);
        EXPECT_FALSE(second.held());
        EXPECT_NE(second.holder().find("claimed by another task"), std::string::npos) << second.holder();
        // Taken over meanwhile (expired): the first one's release leaves the new holder's claim.
        write(path, gloamer::claimText("elsewhere", 1, 1000, "newer"));
    }
    EXPECT_TRUE(fs::exists(path));
    gloamer::UnitClaim expired(path, 3600);
    EXPECT_TRUE(expired.held()) << expired.holder();
}

} // namespace
