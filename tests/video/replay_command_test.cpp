// replay_command_test.cpp -- gloamer analyse then gloamer replay draws what gloamer render draws, frame for frame.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/video/media_probe.h"

namespace fs = std::filesystem;

namespace {

int runGloamer(const std::string& arguments)
{
    std::string command = "SDL_VIDEODRIVER=offscreen " + std::string(GLOAMER_HOST_PATH) + " " + arguments +
                          " --plugin " + GLOAMER_PLUGIN_PATH + " 2>/dev/null";
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(ReplayCommand, AnalysedThenReplayedFramesEqualRenderedFrames)
{
    testfs::TempFolder folder("gloamer-replay");
    fs::create_directories(folder / "render");
    fs::create_directories(folder / "replay");
    const std::string span = " --fps 25 --start 3.5 --duration 0.4";
    ASSERT_EQ(runGloamer("render -q --size 160x120 -o " + (folder / "render" / "%05d.png").string() + span), 0);
    ASSERT_EQ(runGloamer("analyse -o " + (folder / "demo.gfd").string() + span), 0);
    ASSERT_EQ(runGloamer("replay -q --size 160x120 " + (folder / "demo.gfd").string() + " -o " +
                      (folder / "replay" / "%05d.png").string()),
              0);
    // An existing data file is not replaced without --overwrite.
    EXPECT_EQ(runGloamer("analyse -o " + (folder / "demo.gfd").string() + span), 1);

    int frames = 0;
    for (int frame = 1; fs::exists(folder / "render" / (std::to_string(frame + 100000).substr(1) + ".png")); ++frame) {
        std::string name = std::to_string(frame + 100000).substr(1) + ".png";
        auto rendered = gloamer::testing::probeMedia((folder / "render" / name).string(), 1);
        auto replayed = gloamer::testing::probeMedia((folder / "replay" / name).string(), 1);
        ASSERT_EQ(rendered.pictures.size(), 1u) << name;
        ASSERT_EQ(replayed.pictures.size(), 1u) << name;
        EXPECT_EQ(rendered.pictures[0], replayed.pictures[0]) << name;
        ++frames;
    }
    EXPECT_EQ(frames, 10);
    EXPECT_FALSE(fs::exists(folder / "replay" / "00011.png"));
}
