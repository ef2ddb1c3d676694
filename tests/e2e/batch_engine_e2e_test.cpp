// batch_engine_e2e_test.cpp -- the real gloamer batch where a fake child cannot stand in: two batches over one
// folder at once, a batch killed outright mid-render, and join refusing the parts of different renders.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_audio.h"

namespace fs = std::filesystem;

namespace {

std::string read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeTone(const fs::path& path, double seconds, double frequency)
{
    const int rate = 22050;
    std::vector<int16_t> samples((size_t)(seconds * rate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = (int16_t)(8000 * std::sin(2 * M_PI * frequency * (double)i / rate));
    ASSERT_TRUE(testaudio::writeSound(path.string(), rate, 1, samples));
}

int count(const std::string& text, const std::string& piece)
{
    int found = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++found;
    return found;
}

pid_t start(std::vector<std::string> arguments, const fs::path& out, const fs::path& err)
{
    arguments.insert(arguments.begin(), GLOAMER_HOST_PATH);
    return testproc::spawn(arguments, {"", out.string(), err.string(), ""});
}

int finish(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return testproc::exitStatus(status);
}

int runHost(const std::vector<std::string>& arguments, const fs::path& out, const fs::path& err)
{
    return finish(start(arguments, out, err));
}

const std::vector<std::string> small = {"--size", "96x64", "--fps", "10", "--preset", "ultrafast"};

std::vector<std::string> with(std::vector<std::string> arguments, const std::vector<std::string>& more)
{
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

TEST(BatchEngine, TwoBatchesOverOneFolderRenderEachItemOnce)
{
    testfs::TempFolder folder("gloamer-batch-pair");
    std::string list;
    for (int i = 0; i < 4; ++i) {
        writeTone(folder / ("song" + std::to_string(i) + ".wav"), 1.0, 300 + 100 * i);
        list += "song" + std::to_string(i) + ".wav\n";
    }
    std::ofstream(folder / "list.txt") << list;
    const auto batch = with({"batch", (folder / "list.txt").string(), "-o", (folder / "out").string()}, small);
    const pid_t first = start(batch, folder / "first.log", folder / "first.err");
    const pid_t second = start(batch, folder / "second.log", folder / "second.err");
    const int firstStatus = finish(first), secondStatus = finish(second);
    const std::string logs = read(folder / "first.log") + read(folder / "second.log");
    EXPECT_EQ(count(logs, " rendered "), 4) << logs;
    EXPECT_EQ(count(logs, " failed "), 0) << logs << read(folder / "first.err") << read(folder / "second.err");
    // A batch that met a claim says so and ends 1; one that met none ends 0.
    EXPECT_EQ(firstStatus, count(read(folder / "first.log"), " claimed ") > 0 ? 1 : 0);
    EXPECT_EQ(secondStatus, count(read(folder / "second.log"), " claimed ") > 0 ? 1 : 0);
    EXPECT_EQ(runHost(with(batch, {"--status"}), folder / "status.log", folder / "status.err"), 0);
    EXPECT_NE(read(folder / "status.log").find("4 done, 0 failed, 0 pending"), std::string::npos)
        << read(folder / "status.log");
    EXPECT_EQ(runHost(batch, folder / "third.log", folder / "third.err"), 0) << read(folder / "third.log");
    EXPECT_EQ(count(read(folder / "third.log"), " skipped "), 4);
    EXPECT_TRUE(fs::is_empty(folder / "out/.gloamer-batch/work"));
    EXPECT_FALSE(fs::exists(folder / "out/.gloamer-batch/claims/song0.mp4.claim"));
}

TEST(BatchEngine, BatchKilledOutrightLeavesNoVideoBehind)
{
    testfs::TempFolder folder("gloamer-batch-killed");
    writeTone(folder / "long.wav", 120.0, 440);
    std::ofstream(folder / "list.txt") << "long.wav\n";
    const fs::path work = folder / "out/.gloamer-batch/work";
    const pid_t batch =
        start(with({"batch", (folder / "list.txt").string(), "-o", (folder / "out").string()}, small),
              folder / "batch.log", folder / "batch.err");
    // Once the render has written frames (a video it would keep when stopped), the batch alone is killed outright.
    auto framesWritten = [&] {
        std::error_code error;
        for (fs::directory_iterator entry(work, error), end; !error && entry != end; entry.increment(error))
            if (entry->is_regular_file(error) && entry->file_size(error) > 20000)
                return true;
        return false;
    };
    for (int wait = 0; wait < 1200 && !framesWritten(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(framesWritten()) << "the render never wrote: " << read(folder / "batch.err");
    kill(batch, SIGKILL);
    EXPECT_EQ(finish(batch), 128 + SIGKILL);
    // The render is stopped with it and what it wrote goes: nothing waits there for a later batch.
    for (int wait = 0; wait < 1200 && !fs::is_empty(work); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::string left;
    for (const auto& entry : fs::directory_iterator(work))
        left += entry.path().filename().string() + " ";
    EXPECT_TRUE(left.empty()) << left;
    EXPECT_FALSE(fs::exists(folder / "out/long.mp4"));
}

TEST(BatchEngine, JoinRefusesPartsOfDifferentRenders)
{
    testfs::TempFolder folder("gloamer-join-foreign");
    writeTone(folder / "a.wav", 5.0, 440);
    writeTone(folder / "b.wav", 5.0, 660); // the same length, other music
    auto part = [&](const std::string& input, const std::string& which, const std::string& name,
                    const std::vector<std::string>& more) {
        const auto render = with(with({"render", "--part", which, "-o", (folder / name).string()}, small), more);
        EXPECT_EQ(runHost(with(render, {"--", (folder / input).string()}), folder / "r.log", folder / "r.err"), 0)
            << read(folder / "r.err");
    };
    part("a.wav", "0/2", "a0.mp4", {});
    part("a.wav", "1/2", "a1.mp4", {});
    part("b.wav", "1/2", "b1.mp4", {});
    part("a.wav", "1/2", "a1-loud.mp4", {"--sensitivity", "2"});
    struct Case {
        std::string second, says;
    } cases[] = {{"b1.mp4", "other music"}, {"a1-loud.mp4", "other options"}, {"a1.mp4", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.second);
        const fs::path joined = folder / ("joined-" + c.second);
        const int status = runHost({"join", (folder / "a0.mp4").string(), (folder / c.second).string(), "--audio",
                                    (folder / "a.wav").string(), "-o", joined.string()},
                                   folder / "j.log", folder / "j.err");
        EXPECT_EQ(status, c.says.empty() ? 0 : 1) << read(folder / "j.err");
        EXPECT_NE(read(folder / "j.err").find(c.says), std::string::npos) << read(folder / "j.err");
        EXPECT_EQ(fs::exists(joined), c.says.empty());
    }
}

} // namespace
