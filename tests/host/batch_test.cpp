// batch_test.cpp -- gloamer batch's list: what it takes, the names it gives, the share each task takes, and
// when a record still vouches for a video.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "host/batch/batch_list.h"
#include "host/batch/batch_parts.h"
#include "host/batch/batch_record.h"
#include "host/batch/batch_shard.h"
#include "host/process/host_error.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

void touch(const fs::path& path, const std::string& text = "x")
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

using Names = std::vector<std::pair<std::string, std::string>>;

// Each item's name, and its problem beginning with the words expected ("" when it renders).
void expectItems(const std::vector<gloamer::BatchItem>& items, const Names& expected)
{
    ASSERT_EQ(items.size(), expected.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].name, expected[i].first);
        EXPECT_EQ(items[i].problem.substr(0, expected[i].second.size()), expected[i].second) << items[i].name;
        EXPECT_EQ(items[i].problem.empty(), expected[i].second.empty()) << items[i].name;
    }
}

TEST(BatchList, TakesNamesAndRefusesItemsOfAListOrAFolder)
{
    testfs::TempFolder folder("gloamer-batch-list");
    const fs::path root = folder.path();
    for (const char* file : {"a.wav", "sub/a.flac", "sub/a.mp3", "notes.txt", "out/made.mp4"})
        touch(root / file);
    touch(root / "list.txt", "# a catalogue\n\n  a.wav \t\nsub/a.flac\nmissing.wav\nsub\n" + (root / "a.wav").string() +
                                 "\r\nhttps://example.org/music/song.mp3?token=1\n");
    expectItems(gloamer::readBatchList((root / "list.txt").string(), "mkv", (root / "out").string()),
              (Names{{"a.mkv", ""},
                     {"a-2.mkv", ""},
                     {"missing.mkv", "no such file"},
                     {"sub.mkv", "is a folder"},
                     {"a-3.mkv", "named twice in"},
                     {"song.mkv", ""}}));
    // A folder: recursively, sorted, music and video only, the output folder left out, the layout mirrored.
    expectItems(gloamer::readBatchList(root.string(), "mp4", (root / "out").string()),
              (Names{{"a.mp4", ""}, {"sub/a.mp4", ""}, {"sub/a-2.mp4", ""}}));
    EXPECT_THROW(gloamer::readBatchList((root / "sub").string(), "mp4", root.string()), gloamer::HostError);
}

TEST(BatchShard, OptionThenSlurmThenKubernetesElseAll)
{
    struct Case {
        std::string shard;
        int shards;
        std::map<std::string, std::string> environment;
        int index, count; // -1: refused
    };
    const std::vector<Case> cases = {
        {"", 0, {}, 0, 1},
        {"2/3", 0, {{"SLURM_ARRAY_TASK_ID", "0"}, {"SLURM_ARRAY_TASK_COUNT", "9"}}, 2, 3},
        {"3/3", 0, {}, -1, -1},
        {"", 0, {{"SLURM_ARRAY_TASK_ID", "7"}, {"SLURM_ARRAY_TASK_COUNT", "8"}}, 7, 8},
        {"", 0, {{"SLURM_ARRAY_TASK_ID", "12"}, {"SLURM_ARRAY_TASK_COUNT", "4"}, {"SLURM_ARRAY_TASK_MIN", "10"}}, 2, 4},
        {"", 0, {{"SLURM_ARRAY_TASK_ID", "5"}, {"SLURM_ARRAY_TASK_COUNT", "4"}}, -1, -1},
        {"", 0, {{"SLURM_ARRAY_TASK_ID", "1"}}, -1, -1},
        {"", 4, {{"JOB_COMPLETION_INDEX", "3"}}, 3, 4},
        {"", 4, {{"JOB_COMPLETION_INDEX", "4"}}, -1, -1},
        {"", 0, {{"JOB_COMPLETION_INDEX", "0"}}, -1, -1},
        {"", 4, {}, -1, -1},
    };
    for (const Case& c : cases) {
        auto environment = [&](const char* name) -> const char* {
            auto found = c.environment.find(name);
            return found == c.environment.end() ? nullptr : found->second.c_str();
        };
        SCOPED_TRACE(c.shard + " shards " + std::to_string(c.shards) + " env " + std::to_string(c.environment.size()));
        if (c.index < 0) {
            EXPECT_THROW(gloamer::chooseShard(c.shard, c.shards, environment), gloamer::HostError);
            continue;
        }
        gloamer::Shard shard = gloamer::chooseShard(c.shard, c.shards, environment);
        EXPECT_EQ(shard.index, c.index);
        EXPECT_EQ(shard.count, c.count);
    }
}

TEST(BatchRecord, VouchesOnlyForTheVideoItWasWrittenAfter)
{
    testfs::TempFolder folder("gloamer-batch-record");
    const std::string input = (folder.path() / "a.wav").string(), video = (folder.path() / "a.mp4").string();
    touch(input);
    touch(video, "whole video");
    gloamer::BatchRecord record;
    record.state = "done";
    record.input = gloamer::identityOf(input);
    record.options = "--size 160x120 \"quoted\"\n";
    record.version = "1.0";
    const gloamer::InputIdentity written = gloamer::identityOf(video);
    record.outputSize = written.size;
    record.outputModifiedNs = written.modifiedNs;
    const std::string path = gloamer::recordPath(folder.path().string(), "sub/a.mp4");
    gloamer::writeRecord(path, record);
    auto read = gloamer::readRecord(path);
    EXPECT_TRUE(gloamer::stillDone(read, record.input, record.options, "1.0", video));
    EXPECT_FALSE(gloamer::stillDone(read, record.input, "--size 320x240", "1.0", video));
    EXPECT_FALSE(gloamer::stillDone(read, record.input, record.options, "1.1", video));
    touch(video, "cut");
    EXPECT_FALSE(gloamer::stillDone(read, record.input, record.options, "1.0", video));
    touch(path, "{\"state\": \"done\", \"inp");
    EXPECT_FALSE(gloamer::readRecord(path));
}

TEST(BatchParts, PartCountsUnitsNamesAndJoinReadiness)
{
    // 10 fps in keyframe intervals of 20 frames: 2 s each.
    struct Case {
        int parts;
        double partSeconds, seconds;
        int expected;
    } cases[] = {{0, 0, 12.5, 1}, {3, 0, 12.5, 3}, {3, 0, 3.9, 1}, {3, 0, 4.0, 2}, {3, 0, 0, 1},
                 {0, 4, 12.5, 3}, {0, 1, 12.5, 6}, {0, 100, 12.5, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(gloamer::partCountFor(c.seconds, {c.parts, c.partSeconds, 10, 20}), c.expected)
            << c.parts << " parts, " << c.partSeconds << " s a part, " << c.seconds << " s";

    // An item that cannot render is one unit; the others' parts follow one another in list order.
    const std::vector<gloamer::BatchItem> items = {{"a.wav", "a.mp4", ""}, {"b.wav", "b.mp4", "no such file"},
                                                   {"c.wav", "sub/c.mp4", ""}};
    const std::vector<gloamer::WorkUnit> units = gloamer::workUnits(items, {12.5, 12.5, 8}, {3, 0, 10, 20});
    std::vector<std::string> seen;
    for (const gloamer::WorkUnit& unit : units)
        seen.push_back(items[unit.item].name + " " + std::to_string(unit.part) + "/" + std::to_string(unit.count));
    EXPECT_EQ(seen, (std::vector<std::string>{"a.mp4 0/3", "a.mp4 1/3", "a.mp4 2/3", "b.mp4 0/1", "sub/c.mp4 0/3",
                                              "sub/c.mp4 1/3", "sub/c.mp4 2/3"}));
    // Every part file and record is the batch's own, and no two items' parts share a name.
    std::set<std::string> names;
    for (const gloamer::WorkUnit& unit : units) {
        const std::string file = gloamer::partPath("/d", items[unit.item].name, unit.part, unit.count, "mp4");
        EXPECT_EQ(file.rfind(gloamer::batchStateFolder("/d") + "/", 0), 0u) << file;
        EXPECT_TRUE(names.insert(file).second && names.insert(gloamer::partRecordPath(file)).second) << file;
        EXPECT_NE(file, gloamer::recordPath("/d", items[unit.item].name));
    }

    using State = gloamer::PartState;
    struct Readiness {
        std::vector<State> parts;
        gloamer::JoinReadiness::Kind kind;
        std::string says; // a piece of the reason
    } readiness[] = {
        {{{true, ""}, {true, ""}, {true, ""}}, gloamer::JoinReadiness::ready, ""},
        {{{true, ""}, {false, ""}, {false, ""}}, gloamer::JoinReadiness::waiting, "1/3, 2/3"},
        {{{false, ""}, {false, "no audio"}, {true, ""}}, gloamer::JoinReadiness::failed, "part 1/3 failed: no audio"},
        {{{false, "x"}, {false, "y"}, {false, "z"}}, gloamer::JoinReadiness::failed, "(and 2 more parts)"},
    };
    for (const Readiness& r : readiness) {
        gloamer::JoinReadiness got = gloamer::joinReadiness(r.parts);
        EXPECT_EQ(got.kind, r.kind) << got.reason;
        EXPECT_NE(got.reason.find(r.says), std::string::npos) << got.reason;
    }
}

} // namespace
