// gles_replay_test.cpp -- one frame data file replayed through desktop GL 1.1 and through the GL 1.1 layer on
// OpenGL ES 3 gives the same pictures, within what two rasterisers may differ by.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/video/media_probe.h"

namespace fs = std::filesystem;

namespace {

int runGloamer(const std::string& environment, const std::string& arguments, const char* plugin)
{
    std::string command = environment + " SDL_VIDEODRIVER=offscreen " + GLOAMER_HOST_PATH + " " + arguments +
                          " --plugin " + plugin + " 2>&1";
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Difference {
    double channelMean[3] = {0, 0, 0}; // mean |a - b| over the picture, per channel
    double worstBlock = 0;             // the largest such mean over one 16x16 block and one channel
};

Difference compare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int height)
{
    Difference difference;
    for (size_t i = 0; i < a.size(); ++i)
        difference.channelMean[i % 3] += std::abs(a[i] - b[i]);
    for (double& mean : difference.channelMean)
        mean /= (double)width * height;
    for (int top = 0; top < height; top += 16)
        for (int left = 0; left < width; left += 16) {
            double block[3] = {0, 0, 0};
            int bottom = std::min(top + 16, height), right = std::min(left + 16, width);
            for (int y = top; y < bottom; ++y)
                for (int x = left; x < right; ++x)
                    for (int channel = 0; channel < 3; ++channel) {
                        size_t i = ((size_t)y * width + x) * 3 + channel;
                        block[channel] += std::abs(a[i] - b[i]);
                    }
            for (double sum : block)
                difference.worstBlock = std::max(difference.worstBlock, sum / ((bottom - top) * (right - left)));
        }
    return difference;
}

} // namespace

TEST(GlesLayer, ReplaysTheFramesDesktopGlDraws)
{
    fs::path folder = fs::temp_directory_path() / ("gloamer-gles-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "gl");
    fs::create_directories(folder / "gles");
    const std::string data = (folder / "demo.gfd").string();
    ASSERT_EQ(runGloamer("", "analyse -o " + data + " --fps 30 --start 4 --duration 2", GLOAMER_PLUGIN_PATH), 0);
    const std::string replay = "replay -q " + data + " -o ";
    ASSERT_EQ(runGloamer("", replay + (folder / "gl" / "%05d.png").string(), GLOAMER_PLUGIN_PATH), 0);
    ASSERT_EQ(runGloamer("GLOAMER_GL_PROFILE=es", replay + (folder / "gles" / "%05d.png").string(),
                         GLOAMER_GLES_PLUGIN_PATH),
              0);

    for (const char* name : {"00001.png", "00010.png", "00060.png"}) {
        auto gl = gloamer::testing::probeMedia((folder / "gl" / name).string(), 1);
        auto gles = gloamer::testing::probeMedia((folder / "gles" / name).string(), 1);
        ASSERT_EQ(gl.pictures.size(), 1u) << name;
        ASSERT_EQ(gles.pictures.size(), 1u) << name;
        ASSERT_EQ(gl.width, gles.width);
        ASSERT_EQ(gl.height, gles.height);
        Difference difference = compare(gl.pictures[0], gles.pictures[0], gl.width, gl.height);
        for (double mean : difference.channelMean)
            EXPECT_LE(mean, 2.0) << name;
        EXPECT_LE(difference.worstBlock, 12.0) << name;
        std::printf("%s: mean difference %.3f %.3f %.3f, worst 16x16 block %.2f (of 255)\n", name,
                    difference.channelMean[0], difference.channelMean[1], difference.channelMean[2],
                    difference.worstBlock);
    }
    fs::remove_all(folder);
}
