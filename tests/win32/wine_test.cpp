// wine_test.cpp -- the Windows DLL in gloamer.exe under Wine: the protocol as the host sees it, and the frames it draws.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

#include "host/replay/frame_data.h"
#include "tests/video/media_probe.h"
#include "tests/win32/wine_session.h"

namespace fs = std::filesystem;
using gloamer::testing::WineRun;

namespace {

const fs::path win32Folder = GLOAMER_WIN32_DIR;
const fs::path hostExe = win32Folder / "gloamer.exe";
const fs::path pluginDll = win32Folder / "vis_gloamer.dll";

std::unique_ptr<gloamer::testing::WineSession> wine;

class WineEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        wine = std::make_unique<gloamer::testing::WineSession>(GLOAMER_WINE_PREFIX, GLOAMER_QEMU_SHIM);
    }
    void TearDown() override
    {
        wine.reset();
        fs::remove_all(fs::temp_directory_path() / ("gloamer-wine-test-" + std::to_string(getpid())));
    }
};

[[maybe_unused]] const auto* environment = ::testing::AddGlobalTestEnvironment(new WineEnvironment);

// The lines of a Windows program's output, without their carriage returns.
std::vector<std::string> linesOf(const std::string& output)
{
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string each; std::getline(in, each);) {
        if (!each.empty() && each.back() == '\r')
            each.pop_back();
        lines.push_back(each);
    }
    return lines;
}

bool hasLine(const std::string& output, const std::string& line)
{
    std::vector<std::string> lines = linesOf(output);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int countLinesStarting(const std::string& output, const std::string& start)
{
    int count = 0;
    for (const std::string& each : linesOf(output))
        count += each.rfind(start, 0) == 0;
    return count;
}

fs::path scratchFolder(const std::string& name)
{
    fs::path folder = fs::temp_directory_path() / ("gloamer-wine-test-" + std::to_string(getpid())) / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// The full walk through config, init, three frames and quit, run once and read by several tests. Its libraries'
// teardown at exit is made slow: Wine kills a process still there half a second after it counted it as ended,
// which is before that teardown, so gloamer.exe must end with its status without waiting for it.
const WineRun& fullRun()
{
    static const std::string preloads =
        std::string(wine->throughQemu() ? GLOAMER_QEMU_SHIM " " : "") + GLOAMER_SLOW_EXIT;
    static const WineRun run = wine->run(
        hostExe, {"check", "--frames", "3", "--plugin", gloamer::testing::windowsPath(pluginDll)}, 300,
        {"LD_PRELOAD=" + preloads});
    return run;
}

std::vector<uint8_t> picture(const fs::path& path)
{
    gloamer::testing::MediaInfo info = gloamer::testing::probeMedia(path.string(), 1);
    return info.pictures.empty() ? std::vector<uint8_t>() : info.pictures[0];
}

struct Difference {
    double mean = 0;         // mean absolute difference per channel, in 1/255 steps
    double worstBlock = 0;   // the same over the 16 x 16 block that differs most
};

Difference compare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int height)
{
    Difference difference;
    double total = 0;
    for (size_t i = 0; i < a.size(); ++i)
        total += std::abs((int)a[i] - (int)b[i]);
    difference.mean = total / (double)a.size();
    for (int top = 0; top + 16 <= height; top += 16)
        for (int left = 0; left + 16 <= width; left += 16) {
            double block = 0;
            for (int y = top; y < top + 16; ++y)
                for (int x = left * 3; x < (left + 16) * 3; ++x) {
                    size_t i = (size_t)y * width * 3 + x;
                    block += std::abs((int)a[i] - (int)b[i]);
                }
            difference.worstBlock = std::max(difference.worstBlock, block / (16 * 16 * 3));
        }
    return difference;
}

// One frame at a fixed tick, with every spectrum byte set to `level` and the module told `channels` channels.
fs::path writeOneFrame(const fs::path& folder, const std::string& name, uint8_t level, uint32_t channels)
{
    gloamer::FrameData data;
    data.channelCount = channels;
    gloamer::FrameRecord& frame = data.frames.emplace_back();
    frame.tick = 4000;
    std::fill(&frame.spectrum[0][0], &frame.spectrum[0][0] + sizeof(frame.spectrum), level);
    fs::path path = folder / (name + ".gfd");
    gloamer::writeFrameData(path.string(), data);
    return path;
}

std::vector<uint8_t> replayUnderWine(const fs::path& data, const fs::path& folder, const std::string& size)
{
    fs::create_directories(folder);
    WineRun run = wine->run(hostExe, {"replay", gloamer::testing::windowsPath(data), "-o",
                                      gloamer::testing::windowsPath(folder / "%05d.png"), "--size", size, "-q",
                                      "--plugin", gloamer::testing::windowsPath(pluginDll)},
                            500);
    EXPECT_EQ(run.status, 0) << run.errors;
    return picture(folder / "00001.png");
}

} // namespace

TEST(GloamerExe, ImportsOnlySystemDlls)
{
    WineRun run = gloamer::testing::runNative({"i686-w64-mingw32-objdump", "-p", hostExe.string()}, {}, 60);
    ASSERT_EQ(run.status, 0) << run.errors;
    std::istringstream in(run.output);
    int dlls = 0;
    for (std::string line; std::getline(in, line);) {
        size_t at = line.find("DLL Name: ");
        if (at == std::string::npos)
            continue;
        std::string name = line.substr(at + 10);
        std::transform(name.begin(), name.end(), name.begin(), ::toupper);
        ++dlls;
        EXPECT_TRUE(name == "KERNEL32.DLL" || name == "USER32.DLL" || name == "GDI32.DLL" || name == "OPENGL32.DLL" ||
                    name == "MSVCRT.DLL")
            << name << " is not on a clean Windows";
    }
    EXPECT_GE(dlls, 4);
}

TEST(WinePlugin, HeaderAndModuleReadAsLaidOut)
{
    const WineRun& run = fullRun();
    ASSERT_EQ(run.status, 0) << run.output << run.errors;
    EXPECT_TRUE(hasLine(run.output, "header: version=0x101 description=\"Gloamer\" getModule inside=yes")) << run.output;
    EXPECT_TRUE(hasLine(run.output, "getModule: 0 again same=yes 1=null -1=null")) << run.output;
    // What the plug-in wrote lands where the host reads it, callbacks included.
    EXPECT_TRUE(hasLine(run.output, "module: description=\"Gloamer\" latencyMs=25 delayMs=25 spectrumChannelCount=2 "
                                    "waveformChannelCount=0 userData=00000000"))
        << run.output;
    EXPECT_TRUE(hasLine(run.output, "callbacks inside: config=yes init=yes render=yes quit=yes")) << run.output;
    EXPECT_TRUE(hasLine(run.output, "host fields at: parentWindow=4 libraryInstance=8 sampleRate=12 channelCount=16 "
                                    "spectrumData=36 waveformData=1188"))
        << run.output;
}

TEST(WinePlugin, FullRunCatchesTheAboutBoxAnnouncesItsWindowRendersAndLeavesNothing)
{
    const WineRun& run = fullRun();
    ASSERT_EQ(run.status, 0) << run.output << run.errors;
    EXPECT_TRUE(hasLine(run.output, "messagebox: owner=host caption=\"About\" text=\"Gloamer by Tolvard.\"")) << run.output;
    EXPECT_EQ(countLinesStarting(run.output, "messagebox:"), 1) << run.output;
    EXPECT_TRUE(hasLine(run.output, "init: 0")) << run.output;
    // 611 went to parentWindow, and the window it carries is owned by the host and has the plug-in's client area.
    EXPECT_TRUE(hasLine(run.output, "611: window alive=yes client=590x430 owner=host visible=yes")) << run.output;
    EXPECT_TRUE(hasLine(run.output, "after init: window left=yes class f_gloamer registered=yes")) << run.output;
    EXPECT_TRUE(hasLine(run.output, "frames: rendered=3 presented=3")) << run.output;
    EXPECT_TRUE(hasLine(run.output, "611: 0")) << run.output;
    EXPECT_TRUE(hasLine(run.output, "after quit: window left=no class f_gloamer registered=no")) << run.output;
}

TEST(WinePlugin, VersionProbeAnsweredWithZeroStopsBeforeAnyWindow)
{
    WineRun run = wine->run(hostExe, {"check", "--version-answer", "0", "--plugin", gloamer::testing::windowsPath(pluginDll)}, 300);
    ASSERT_EQ(run.status, 0) << run.output << run.errors;
    EXPECT_TRUE(hasLine(run.output, "messagebox: owner=host caption=\"Gloamer\" text=\"This plugin requires Winamp 5.0+\""))
        << run.output;
    EXPECT_TRUE(hasLine(run.output, "init: 1")) << run.output;
    EXPECT_EQ(countLinesStarting(run.output, "611:"), 0) << run.output;
    EXPECT_TRUE(hasLine(run.output, "after init: window left=no class unknown (no window announced)")) << run.output;
}

TEST(WinePlugin, NoLogoBesideTheDllFailsInitAndLeavesNoWindow)
{
    fs::path folder = scratchFolder("nologo");
    fs::copy_file(pluginDll, folder / "vis_gloamer.dll");
    WineRun run = wine->run(hostExe, {"check", "--plugin", gloamer::testing::windowsPath(folder / "vis_gloamer.dll")}, 300);
    ASSERT_EQ(run.status, 0) << run.output << run.errors;
    EXPECT_TRUE(hasLine(run.output, "messagebox: owner=host caption=\"Gloamer\" text=\"Image load failed.\"")) << run.output;
    EXPECT_TRUE(hasLine(run.output, "init: 1")) << run.output;
    EXPECT_TRUE(hasLine(run.output, "after init: window left=no class f_gloamer registered=no")) << run.output;
}

// The plug-in reads channelCount and spectrumData where the host writes them: a full spectrum moves and tints the
// picture, and the same spectrum with channelCount 0 draws what silence draws.
TEST(WinePlugin, ReadsChannelCountAndSpectrumWhereTheHostWritesThem)
{
    fs::path folder = scratchFolder("fields");
    const std::string size = "160x120";
    std::vector<uint8_t> loud = replayUnderWine(writeOneFrame(folder, "loud", 255, 2), folder / "loud", size);
    std::vector<uint8_t> silent = replayUnderWine(writeOneFrame(folder, "silent", 0, 2), folder / "silent", size);
    std::vector<uint8_t> uncounted = replayUnderWine(writeOneFrame(folder, "uncounted", 255, 0), folder / "uncounted", size);
    ASSERT_EQ(loud.size(), 160u * 120 * 3);
    ASSERT_EQ(silent.size(), loud.size());
    ASSERT_EQ(uncounted.size(), loud.size());
    EXPECT_GT(compare(loud, silent, 160, 120).mean, 5.0);
    EXPECT_EQ(uncounted, silent);
}

// One analysed input, replayed by vis_gloamer.so natively and by the DLL under Wine, both on Mesa; natively with
// the RGBA pixel format that Windows gives the plug-in, whose alpha reaches the captured glow and trail.
TEST(WinePlugin, DrawsTheSameFramesAsTheNativeBuild)
{
    fs::path folder = scratchFolder("frames");
    const int width = 192, height = 144;
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    fs::path data = folder / "demo.gfd";
    WineRun analysed = gloamer::testing::runNative(
        {GLOAMER_HOST_PATH, "analyse", "--duration", "1", "-o", data.string(), "--plugin", GLOAMER_PLUGIN_PATH}, {}, 120);
    ASSERT_EQ(analysed.status, 0) << analysed.errors;
    fs::create_directories(folder / "native");
    fs::create_directories(folder / "wine");
    WineRun native = gloamer::testing::runNative({GLOAMER_HOST_PATH, "replay", data.string(), "-o",
                                                  (folder / "native" / "%05d.png").string(), "--size", size, "-q",
                                                  "--plugin", GLOAMER_PLUGIN_PATH},
                                                 {"SDL_VIDEODRIVER=offscreen", "GLOAMER_ALPHA_BITS=8"}, 300);
    ASSERT_EQ(native.status, 0) << native.errors;
    WineRun windows = wine->run(hostExe, {"replay", gloamer::testing::windowsPath(data), "-o",
                                          gloamer::testing::windowsPath(folder / "wine" / "%05d.png"), "--size", size,
                                          "-q", "--plugin", gloamer::testing::windowsPath(pluginDll)},
                                580);
    ASSERT_EQ(windows.status, 0) << windows.errors;

    for (int frame : {1, 10, 30}) {
        char name[16];
        snprintf(name, sizeof(name), "%05d.png", frame);
        std::vector<uint8_t> a = picture(folder / "native" / name), b = picture(folder / "wine" / name);
        ASSERT_EQ(a.size(), (size_t)width * height * 3) << name;
        ASSERT_EQ(b.size(), a.size()) << name;
        Difference difference = compare(a, b, width, height);
        printf("frame %d: mean difference %.3f/255 per channel, worst 16x16 block %.3f/255\n", frame, difference.mean,
               difference.worstBlock);
        EXPECT_LE(difference.mean, 1.0) << "frame " << frame;
        EXPECT_LE(difference.worstBlock, 12.0) << "frame " << frame;
    }
}
