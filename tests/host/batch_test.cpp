// batch_test.cpp -- gloamer batch's list: what it takes, the names it gives, the share each task takes, and
// when a record still vouches for a video.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "host/batch/batch_list.h"
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

} // namespace
