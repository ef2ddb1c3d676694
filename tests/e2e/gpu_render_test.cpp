// gpu_render_test.cpp -- gloamer names the renderer that draws and draws where --gpu says (here Mesa's software one).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "host/video/frame_sink.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace {

struct RunOutcome {
    int status = -1;
    std::string out, err;
};

std::string contentsOf(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class GpuRenderTest : public ::testing::Test {
protected:
    RunOutcome gloamer(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), GLOAMER_HOST_PATH);
        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry)
            if (std::string(*entry).rfind("SDL_", 0) != 0)
                environment.emplace_back(*entry);
        environment.emplace_back("SDL_AUDIODRIVER=dummy");
        std::vector<char*> envp;
        for (std::string& variable : environment)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        const std::string out = (folder_ / "out.txt").string(), err = (folder_ / "err.txt").string();
        pid_t pid = testproc::spawn(arguments, {"", out, err, folder_.path().string()}, envp.data(), true);
        RunOutcome run;
        if (pid < 0) {
            ADD_FAILURE() << "cannot start " << arguments[0];
            return run;
        }
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(-pid, SIGKILL);
                waitpid(pid, &status, 0);
                ADD_FAILURE() << "gloamer did not finish and was killed";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        run.status = testproc::exitStatus(status);
        run.out = contentsOf(out);
        run.err = contentsOf(err);
        return run;
    }
    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    bool exists(const std::string& name) const { return std::filesystem::exists(folder_ / name); }

    testfs::TempFolder folder_{"gloamer-gpu"};
};

// The render's progress lines as JSON objects.
std::vector<nlohmann::json> progressObjects(const std::string& text)
{
    std::vector<nlohmann::json> objects;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            objects.push_back(nlohmann::json::parse(line));
    return objects;
}

TEST_F(GpuRenderTest, NamesTheSoftwareRendererOnStderrAndInEveryProgressLine)
{
    RunOutcome run = gloamer({"render", "-o", "v.mp4", "--duration", "0.3", "--size", "320x240", "--progress", "p.jsonl"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("gloamer: drawing with llvmpipe"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(": software, on the CPU"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("a GPU draws"), std::string::npos) << "no speed word below 1280x720:\n" << run.err;
    std::vector<nlohmann::json> lines = progressObjects(contentsOf(path("p.jsonl")));
    ASSERT_FALSE(lines.empty());
    for (const nlohmann::json& line : lines) {
        EXPECT_EQ(line.at("renderer").get<std::string>().rfind("llvmpipe", 0), 0u) << line.dump();
        EXPECT_EQ(line.at("software"), true) << line.dump();
        EXPECT_TRUE(line.contains("frame") && line.contains("state")) << line.dump();
    }
    EXPECT_EQ(lines.back().at("state"), "done");
}

TEST_F(GpuRenderTest, SaysWhatToExpectOfSoftwareAt720pAndQuietSaysNothing)
{
    struct Case {
        std::vector<std::string> extra;
        bool rendererLine, speedLine;
    } cases[] = {
        {{"--size", "1280x720"}, true, true},
        {{"--size", "1280x720", "--quiet"}, false, false},
        {{"--size", "640x480", "--quiet"}, false, false},
    };
    for (const Case& test : cases) {
        std::vector<std::string> arguments = {"render", "-o", "v.mp4", "-y", "--duration", "0.1", "--fps", "10"};
        arguments.insert(arguments.end(), test.extra.begin(), test.extra.end());
        RunOutcome run = gloamer(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err.find("gloamer: drawing with") != std::string::npos, test.rendererLine) << run.err;
        EXPECT_EQ(run.err.find("a GPU draws such a frame") != std::string::npos, test.speedLine) << run.err;
    }
}

TEST_F(GpuRenderTest, DrawsOnTheDeviceAskedForOrRefusesOneThatIsNotThere)
{
    struct Case {
        const char* gpu;
        int status;
        const char* said; // in stderr
    } cases[] = {
        {"software", 0, "gloamer: drawing with llvmpipe"},
        {"auto", 0, "gloamer: drawing with llvmpipe"},
        {"llvmpipe", 0, "gloamer: drawing with llvmpipe"},
        {"7", 2, "gloamer: --gpu 7: there is no device 7 (this machine has "},
        {"no-such-gpu", 2, "gloamer: --gpu no-such-gpu: no device's vendor or renderer names it"},
        {"-1", 2, "--gpu"},
    };
    for (const Case& test : cases) {
        std::filesystem::remove(path("v.mp4"));
        RunOutcome run = gloamer({"render", "-o", "v.mp4", "--duration", "0.1", "--size", "160x120", "--gpu", test.gpu});
        EXPECT_EQ(run.status, test.status) << test.gpu << "\n" << run.err;
        EXPECT_NE(run.err.find(test.said), std::string::npos) << test.gpu << "\n" << run.err;
        EXPECT_EQ(exists("v.mp4"), test.status == 0) << test.gpu;
        if (test.status != 0)
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line:\n" << run.err;
    }
}

TEST_F(GpuRenderTest, DevicesListsTheSoftwareDeviceAsTheDefaultWhereNoGpuDraws)
{
    RunOutcome run = gloamer({"devices"});
    ASSERT_EQ(run.status, 0) << run.err;
    const size_t heading = run.out.find("Devices that draw offscreen (EGL)");
    ASSERT_NE(heading, std::string::npos) << run.out;
    const std::string gpus = run.out.substr(heading);
    EXPECT_NE(gpus.find("software, llvmpipe"), std::string::npos) << gpus;
    EXPECT_NE(gpus.find("[default]"), std::string::npos) << gpus;
}

TEST_F(GpuRenderTest, AMissingHardwareEncoderIsRefusedInOneLine)
{
    int missing = 0;
    for (const char* codec : {"nvenc", "vaapi", "qsv"}) {
        if (gloamer::videoCodecProblem(codec).empty())
            continue; // this machine has it
        ++missing;
        RunOutcome run = gloamer({"render", "-o", "v.mp4", "--duration", "0.1", "--codec", codec});
        EXPECT_EQ(run.status, 2) << codec << "\n" << run.err;
        EXPECT_NE(run.err.find(std::string("gloamer: --codec: ") + codec + " needs "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("leave --codec out to encode H.264 with x264 on the CPU"), std::string::npos)
            << run.err;
        EXPECT_FALSE(exists("v.mp4")) << codec;
    }
    if (missing == 0)
        GTEST_SKIP() << "every hardware encoder opens on this machine";
}

} // namespace
