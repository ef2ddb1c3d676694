// render_command_test.cpp -- gloamer render end to end: the video a user gets, determinism, Ctrl-C, refusals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_audio.h"
#include "host/video/frame_sink.h"
#include "tests/video/media_probe.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1; // exit code, or 128 + signal
    std::string errors;
};

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Starts gloamer with `arguments`, its stderr into `errorsFile`; returns the process id.
pid_t start(const std::vector<std::string>& arguments, const fs::path& errorsFile)
{
    std::vector<std::string> all = {GLOAMER_HOST_PATH};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return testproc::spawn(all, {"/dev/null", "", errorsFile.string()});
}

Outcome finish(pid_t child, const fs::path& errorsFile)
{
    Outcome run;
    int status = 0;
    waitpid(child, &status, 0);
    run.status = testproc::exitStatus(status);
    run.errors = readFile(errorsFile);
    return run;
}

class RenderCommandTest : public ::testing::Test {
protected:
    Outcome render(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), "render");
        fs::path errors = folder / "stderr.txt";
        return finish(start(arguments, errors), errors);
    }

    // Files a run left behind under a temporary name.
    int leftovers() const
    {
        int count = 0;
        for (const auto& entry : fs::recursive_directory_iterator(folder.path()))
            count += entry.path().filename().string().rfind(".gloamer-", 0) == 0;
        return count;
    }

    testfs::TempFolder folder{"gloamer-render"};
};

// Bright, strongly coloured pixels: the logo's colours, not the grey of an untextured quad or black.
int colourfulPixels(const std::vector<uint8_t>& rgb)
{
    int count = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        int high = std::max({rgb[i], rgb[i + 1], rgb[i + 2]});
        int low = std::min({rgb[i], rgb[i + 1], rgb[i + 2]});
        count += high > 120 && high - low > 60;
    }
    return count;
}

double meanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        sum += std::abs((int)a[i] - (int)b[i]);
    return sum / (double)a.size();
}

// An hour of stereo at 48 kHz, 660 MiB decoded: silence, then a minute of noise that shows any misplaced sample.
bool writeHour(const fs::path& hour)
{
    return std::system(("ffmpeg -nostdin -loglevel error -f lavfi -i anullsrc=r=48000:cl=stereo:d=3540 -f lavfi "
                        "-i anoisesrc=r=48000:a=0.3:seed=7:d=60 -filter_complex '[1]aformat=channel_layouts=stereo"
                        "[n];[0][n]concat=v=0:a=1' -compression_level 0 '" + hour.string() + "'").c_str()) == 0;
}

// The most memory one process this test started has taken so far, in KiB.
long peakChildKiB()
{
    struct rusage usage = {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's shadow and quarantine come to about 560 MiB a process here, 730 MiB for one that writes a
// picture a frame: the bound is then above those, and a process holding the decoded hour would pass it on top of them.
constexpr long hourHeldKiB = 900 * 1024;
#else
constexpr long hourHeldKiB = 400 * 1024;
#endif

TEST_F(RenderCommandTest, TwoSecondsOfTheDemoBecomeAPlayableVideoWithItsMusic)
{
    fs::path output = folder / "demo.mp4";
    Outcome run = render({"--duration", "2", "--size", "320x240", "-o", output.string(), "--quiet"});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.errors, "");
    gloamer::testing::MediaInfo info = gloamer::testing::probeMedia(output.string(), 15);
    ASSERT_TRUE(info.opened);
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    EXPECT_NEAR(info.framesPerSecond, 30, 0.01);
    EXPECT_EQ(info.videoFrames, 60);
    EXPECT_NEAR(info.durationSeconds, 2.0, 0.1);
    ASSERT_TRUE(info.hasAudio);
    EXPECT_NEAR((double)info.audioSamples / info.audioSampleRate, 2.0, 0.05);
    ASSERT_EQ(info.pictures.size(), 4u);
    for (size_t i = 0; i < info.pictures.size(); ++i)
        EXPECT_GT(colourfulPixels(info.pictures[i]), 320 * 240 / 50) << "frame " << i * 15 << " shows no logo";
    for (size_t i = 1; i < info.pictures.size(); ++i)
        EXPECT_GT(meanDifference(info.pictures[i - 1], info.pictures[i]), 1.0) << "the picture froze";
}

TEST_F(RenderCommandTest, TheSameInputGivesByteIdenticalFrames)
{
    for (const char* name : {"a", "b"}) {
        fs::create_directories(folder / name);
        Outcome run = render({"--duration", "0.5", "--size", "160x120", "--fps", "20", "--quiet", "-o",
                          (folder / name / "%03d.png").string()});
        ASSERT_EQ(run.status, 0) << run.errors;
    }
    int frames = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder / "a")) {
        std::string name = entry.path().filename().string();
        EXPECT_EQ(readFile(entry.path()), readFile(folder / "b" / name)) << name << " differs";
        ++frames;
    }
    EXPECT_EQ(frames, 10);

    for (const char* name : {"a.mp4", "b.mp4"}) {
        Outcome run = render({"--duration", "0.5", "--size", "160x120", "--quiet", "-o", (folder / name).string()});
        ASSERT_EQ(run.status, 0) << run.errors;
    }
    EXPECT_EQ(readFile(folder / "a.mp4"), readFile(folder / "b.mp4")) << "the two videos differ";
}

TEST_F(RenderCommandTest, PictureOutputWritesOneFileAFrameAtTheAskedSize)
{
    Outcome run = render({"--duration", "0.5", "--fps", "10", "--size", "200x100", "--quiet", "-o",
                      (folder / "frame-%05d.png").string()});
    ASSERT_EQ(run.status, 0) << run.errors;
    for (int frame = 1; frame <= 5; ++frame) {
        char name[32];
        snprintf(name, sizeof(name), "frame-%05d.png", frame);
        gloamer::testing::MediaInfo info = gloamer::testing::probeMedia((folder / name).string());
        ASSERT_TRUE(info.opened) << name;
        EXPECT_EQ(info.width, 200);
        EXPECT_EQ(info.height, 100);
    }
    EXPECT_FALSE(fs::exists(folder / "frame-00006.png"));
}

TEST_F(RenderCommandTest, CtrlCStopsAtTheNextFrameAndLeavesAPlayableVideo)
{
    fs::path output = folder / "stopped.mp4";
    fs::path errors = folder / "stderr.txt";
    pid_t child = start({"render", "--duration", "20", "--size", "160x120", "-o", output.string()}, errors);
    // Wait until frames are being written (the plain progress lines start at 0%), then interrupt.
    for (int wait = 0; wait < 200 && readFile(errors).find("frames") == std::string::npos; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    kill(child, SIGINT);
    Outcome run = finish(child, errors);
    EXPECT_EQ(run.status, 130) << run.errors;
    EXPECT_NE(run.errors.find("stopped after"), std::string::npos) << run.errors;
    gloamer::testing::MediaInfo info = gloamer::testing::probeMedia(output.string());
    ASSERT_TRUE(info.opened) << "the interrupted video cannot be opened";
    EXPECT_GT(info.videoFrames, 0);
    EXPECT_LT(info.videoFrames, 600);
    ASSERT_TRUE(info.hasAudio);
    EXPECT_NEAR((double)info.audioSamples / info.audioSampleRate, info.videoFrames / 30.0, 0.1);
}

TEST_F(RenderCommandTest, AFullDiskIsReportedAndLeavesAPlayableFileOrNone)
{
    fs::path output = folder / "full.mp4";
    fs::path errors = folder / "stderr.txt";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Writes past 48 KiB fail with EFBIG, as a full disk fails them with ENOSPC.
        rlimit limit{48 * 1024, 48 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        int descriptor = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(descriptor, 2);
        execl(GLOAMER_HOST_PATH, GLOAMER_HOST_PATH, "render", "--duration", "10", "--size", "320x240", "--crf", "0",
              "--quiet", "-o", output.c_str(), (char*)nullptr);
        _exit(127);
    }
    Outcome run = finish(child, errors);
    EXPECT_EQ(run.status, 1) << run.errors;
    EXPECT_EQ(run.errors.rfind("gloamer: ", 0), 0u) << run.errors;
    EXPECT_NE(run.errors.find("full.mp4"), std::string::npos) << run.errors;
    if (fs::exists(output)) {
        gloamer::testing::MediaInfo info = gloamer::testing::probeMedia(output.string());
        EXPECT_TRUE(info.opened && info.videoFrames > 0) << "a partial video must stay playable";
    }
}

TEST_F(RenderCommandTest, UnwritableOutputsAreRefusedBeforeAnyFrame)
{
    std::ofstream(folder / "taken.mp4") << "keep me";
    struct Case {
        std::string output;
        std::string says;
        int status = 1;
    };
    for (const Case& refused : {Case{(folder / "missing" / "out.mp4").string(), "does not exist"},
                                Case{(folder / "taken.mp4").string(), "--overwrite"},
                                Case{"/proc/out.mp4", "no permission"},
                                Case{(folder / "out.avi").string(), ".mp4", 2}}) {
        Outcome run = render({"-o", refused.output});
        EXPECT_EQ(run.status, refused.status) << refused.output;
        EXPECT_EQ(run.errors.rfind("gloamer: ", 0), 0u) << run.errors;
        EXPECT_NE(run.errors.find(refused.says), std::string::npos) << run.errors;
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << "one line: " << run.errors;
    }
    EXPECT_EQ(readFile(folder / "taken.mp4"), "keep me");
    EXPECT_FALSE(fs::exists(folder / "out.avi"));
}

TEST_F(RenderCommandTest, BadCommandLinesAreRefusedWithStatusTwoInOneLine)
{
    std::string output = (folder / "out.mp4").string();
    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
             {"--start", "nan"}, {"--duration", "inf"}, {"--size", "abc"}, {"--fps", "0"}, {"--fps", "0.5"},
             {"--plugin", ""}, {"--crf", "99"}, {"--crf", "60"}, {"--duration", "abc"}, {"--quality", "best"}}) {
        Outcome run = render({bad[0], bad[1], "-o", output});
        EXPECT_EQ(run.status, 2) << bad[0] << " " << bad[1] << ": " << run.errors;
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
    }
    EXPECT_FALSE(fs::exists(output));
    EXPECT_EQ(WEXITSTATUS(std::system((std::string(GLOAMER_HOST_PATH) + " --help >/dev/full 2>/dev/null").c_str())), 1);
}

// The top-level boxes of an MP4 or MOV file, in order.
std::vector<std::string> topLevelBoxes(const std::string& bytes)
{
    std::vector<std::string> boxes;
    for (size_t at = 0; at + 8 <= bytes.size();) {
        uint64_t size = (uint64_t)(uint8_t)bytes[at] << 24 | (uint64_t)(uint8_t)bytes[at + 1] << 16 |
                        (uint64_t)(uint8_t)bytes[at + 2] << 8 | (uint8_t)bytes[at + 3];
        boxes.push_back(bytes.substr(at + 4, 4));
        if (size == 1 && at + 16 <= bytes.size()) {
            size = 0;
            for (int i = 0; i < 8; ++i)
                size = size << 8 | (uint8_t)bytes[at + 8 + (size_t)i];
        }
        if (size < 8)
            break;
        at += size;
    }
    return boxes;
}

TEST_F(RenderCommandTest, VideosStartPlayingBeforeTheyHaveDownloadedAndScriptsCanFollowTheRender)
{
    for (const char* name : {"web.mp4", "web.mov"}) {
        fs::path output = folder / name, progress = folder / "progress.jsonl";
        std::ofstream(output) << "an older file, replaced under -y";
        Outcome run = render({"--duration", "1", "--size", "160x120", "-o", output.string(), "-y", "-q",
                              "--progress", progress.string()});
        ASSERT_EQ(run.status, 0) << run.errors;
        std::vector<std::string> boxes = topLevelBoxes(readFile(output));
        auto moov = std::find(boxes.begin(), boxes.end(), "moov"), mdat = std::find(boxes.begin(), boxes.end(), "mdat");
        ASSERT_TRUE(moov != boxes.end() && mdat != boxes.end()) << name;
        EXPECT_LT(moov - boxes.begin(), mdat - boxes.begin()) << name << ": the index must come first";

        std::ifstream lines(progress);
        // The renderer's fields come last, once the plug-in has its context.
        const std::regex shape(R"re(\{"frame":(\d+),"total":30,"fps":[0-9.]+,"elapsed":[0-9.]+,"state":"(running|done)")re"
                               R"re((?:,"renderer":"[^"]+","software":(?:true|false))?\})re");
        long previous = -1;
        std::string line, state;
        while (std::getline(lines, line)) {
            std::smatch parts;
            ASSERT_TRUE(std::regex_match(line, parts, shape)) << line;
            EXPECT_GE(std::stol(parts[1]), previous) << line;
            previous = std::stol(parts[1]);
            state = parts[2];
        }
        EXPECT_EQ(previous, 30);
        EXPECT_EQ(state, "done");
    }
}

TEST_F(RenderCommandTest, AnOutputIsNeverTheInputNorWrittenThroughALinkNorHalfWritten)
{
    std::string music = (folder / "music.mov").string();
    ASSERT_TRUE(testaudio::writeSound(music, 44100, 1, testaudio::tones(44100, {{440.0, 8000}})));
    std::string original = readFile(music);
    fs::create_directories(folder / "pictures");
    fs::create_symlink(music, folder / "link.mov");
    fs::create_hard_link(music, folder / "hard.mov");
    std::ofstream(folder / "notes.txt") << "notes";
    fs::create_symlink(folder / "notes.txt", folder / "pictures" / "00003.png");
    std::ofstream(folder / "old.mp4") << "old";
    struct Case {
        std::vector<std::string> arguments;
        std::string says;
    };
    for (const Case& refused :
         {Case{{music, "-o", music}, "is the input"}, Case{{music, "-o", (folder / "link.mov").string()}, "is the input"},
          Case{{music, "-o", (folder / "hard.mov").string()}, "is the input"},
          Case{{music, "-o", (folder / "pictures" / ".." / "music.mov").string()}, "is the input"},
          Case{{music, "-o", (folder / "pictures" / "%05d.png").string()}, "00003.png' exists already"},
          Case{{"--plugin", (folder / "none.so").string(), "-o", (folder / "old.mp4").string()}, "none.so"}}) {
        std::vector<std::string> arguments = refused.arguments;
        arguments.insert(arguments.end(), {"--duration", "0.3", "-q"});
        if (refused.says.find("exists") == std::string::npos)
            arguments.push_back("--overwrite");
        Outcome run = render(arguments);
        EXPECT_EQ(run.status, 1) << run.errors;
        EXPECT_NE(run.errors.find(refused.says), std::string::npos) << run.errors;
    }
    EXPECT_EQ(readFile(music), original);
    EXPECT_EQ(readFile(folder / "notes.txt"), "notes");
    EXPECT_EQ(readFile(folder / "old.mp4"), "old") << "a run that drew nothing keeps what was there";
    EXPECT_FALSE(fs::exists(folder / "pictures" / "00001.png"));
    EXPECT_EQ(leftovers(), 0);
}

TEST_F(RenderCommandTest, AFullDiskUnderOverwriteKeepsTheOldFile)
{
    fs::path output = folder / "old.mp4";
    std::ofstream(output) << "old";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{48 * 1024, 48 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        execl(GLOAMER_HOST_PATH, GLOAMER_HOST_PATH, "render", "--duration", "10", "--size", "320x240", "--crf", "0",
              "--quiet", "--overwrite", "-o", output.c_str(), (char*)nullptr);
        _exit(127);
    }
    EXPECT_EQ(finish(child, folder / "none").status, 1);
    EXPECT_EQ(readFile(output), "old");
    EXPECT_EQ(leftovers(), 0);
}

TEST_F(RenderCommandTest, SignalsEndARenderWithAWholeVideoOrNone)
{
    struct Case {
        std::vector<int> signals; // sent 50 ms apart once frames are drawn; SIGPIPE: stderr is a closed pipe
        int status;
    };
    for (const Case& sent : {Case{{SIGHUP}, 129}, Case{{SIGINT, SIGINT}, 130}, Case{{SIGPIPE}, 0}}) {
        fs::path output = folder / ("signal" + std::to_string(sent.signals[0]) + ".mp4");
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        close(pipe[0]);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dup2(pipe[1], 2);
            execl(GLOAMER_HOST_PATH, GLOAMER_HOST_PATH, "render", "--duration", sent.status ? "20" : "0.5", "--size",
                  "1280x720", "-o", output.c_str(), (char*)nullptr);
            _exit(127);
        }
        close(pipe[1]);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        for (int signal : sent.signals) {
            if (signal != SIGPIPE)
                kill(child, signal);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_EQ(finish(child, folder / "none").status, sent.status) << sent.signals[0];
        if (fs::exists(output) || sent.status == 0) {
            gloamer::testing::MediaInfo info = gloamer::testing::probeMedia(output.string());
            EXPECT_TRUE(info.opened && info.videoFrames > 0) << sent.signals[0];
        }
    }
    EXPECT_EQ(leftovers(), 0);
}

TEST_F(RenderCommandTest, KillingTheRenderAndItsSupervisorLeavesTheOldFileAndALaterRunRemovesTheTemporary)
{
    prctl(PR_SET_CHILD_SUBREAPER, 1); // the render's orphaned child comes back to be waited for
    fs::path output = folder / "kept.mp4";
    std::ofstream(output) << "before";
    fs::path errors = folder / "stderr.txt";
    pid_t parent = start({"render", "--duration", "20", "--size", "160x120", "-y", "-o", output.string()}, errors);
    for (int wait = 0; wait < 400 && readFile(errors).find("frames") == std::string::npos; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::istringstream children(readFile("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) +
                                         "/children"));
    pid_t child = 0;
    ASSERT_TRUE(children >> child) << "the render runs in no child process";
    kill(parent, SIGKILL);
    kill(child, SIGKILL);
    EXPECT_EQ(finish(parent, errors).status, 128 + SIGKILL);
    waitpid(child, nullptr, 0);
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    EXPECT_EQ(readFile(output), "before");
    EXPECT_EQ(leftovers(), 1);
    ASSERT_EQ(render({"--duration", "0.5", "--size", "160x120", "-q", "-o", (folder / "later.mp4").string()}).status, 0);
    EXPECT_EQ(leftovers(), 0);
}

TEST_F(RenderCommandTest, APluginThatStopsCrashesOrExitsNeverLeavesABrokenVideo)
{
    setenv("GLOAMER_FAULTY_REAL", GLOAMER_PLUGIN_PATH, 1);
    // 80 frames in all, a keyframe at least every 20th: a process ended at frame 75 leaves a whole fragment or more
    // however far the encoder lags (at most its queue and look-ahead).
    struct Case {
        std::string fault;
        int status;
        int fewestFrames, mostFrames; // in the video; 0: no video at all
        std::string line;             // the one line on stderr says this
    };
    for (const Case& fault : {Case{"refuse:3", 1, 3, 3, "at frame 3"}, Case{"quit:3", 1, 3, 3, "after frame 3"},
                              Case{"crash:3", 1, 0, 0, "'vis_faulty.so' crashed in the middle of the render (SIGSEGV"},
                              Case{"exit:3", 1, 0, 0, "'vis_faulty.so' ended the process with exit() in the middle"},
                              Case{"crash:75", 1, 1, 74, "crashed in the middle of the render (SIGSEGV"},
                              Case{"abort:75", 1, 1, 74, "'vis_faulty.so' crashed in the middle of the render (SIGABRT"},
                              Case{"kill:75", 1, 1, 74, "'vis_faulty.so' was killed by SIGKILL in the middle"},
                              Case{"exit:75", 1, 1, 74, "ended the process with exit() in the middle"},
                              Case{"_exit:75", 1, 1, 74, "'vis_faulty.so' ended the process with _exit(7) in the middle"},
                              Case{"crash-quit", 1, 80, 80, "crashed as it was quit, after the output was whole"},
                              Case{"exit-quit", 0, 80, 80, "exit() as it was quit, after the output was whole"}}) {
        setenv("GLOAMER_FAULT", fault.fault.c_str(), 1);
        std::string name = fault.fault;
        std::replace(name.begin(), name.end(), ':', '-');
        fs::path output = folder / (name + ".mp4");
        Outcome run = render({"--plugin", GLOAMER_FAULTY_PLUGIN_PATH, "--duration", "8", "--fps", "10", "--size",
                              "160x120", "-q", "-o", output.string()});
        EXPECT_EQ(run.status, fault.status) << fault.fault << ": " << run.errors;
        EXPECT_NE(run.errors.find(fault.line), std::string::npos) << fault.fault << ": " << run.errors;
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << fault.fault << ": " << run.errors;
        gloamer::testing::MediaInfo info = gloamer::testing::probeMedia(output.string());
        EXPECT_EQ(fs::exists(output), fault.mostFrames > 0) << fault.fault;
        EXPECT_GE(info.videoFrames, fault.fewestFrames) << fault.fault;
        EXPECT_LE(info.videoFrames, fault.mostFrames) << fault.fault;
        EXPECT_EQ(leftovers(), 0) << fault.fault;
    }
    unsetenv("GLOAMER_FAULT");
    EXPECT_EQ(leftovers(), 0);
}

} // namespace

TEST_F(RenderCommandTest, LogoDrawsAnyPictureTheMusicsCoverOrAMadeBitmapAndLeavesNoFolderBehind)
{
    // A bright green centre on black: the black keys out, so only green may be seen of the logo.
    const fs::path picture = folder / "centre.png", music = folder / "tone.wav";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -f lavfi -i 'color=black:s=300x200,drawbox=x=75:y=50:"
                           "w=150:h=100:color=0x00FF40:t=fill' -frames:v 1 '" + picture.string() + "'").c_str()), 0);
    ASSERT_TRUE(testaudio::writeSound(music.string(), 44100, 2, testaudio::tones(44100, {{440, 9000}, {660, 9000}})));
    ASSERT_TRUE(testaudio::transcode(music.string(), (folder / "bare.mp3").string()));
    ASSERT_TRUE(testaudio::transcode(music.string(), (folder / "cover.mp3").string(),
                                     "-i '" + picture.string() + "' -map 0 -map 1 -c:v png -disposition:v attached_pic"));
    // gloamer logo's bitmap beside a copy of the plug-in, which reads it with its own reader.
    fs::create_directory(folder / "made");
    const fs::path made = folder / "made" / fs::path(GLOAMER_PLUGIN_PATH).filename();
    fs::copy_file(GLOAMER_PLUGIN_PATH, made);
    Outcome maker = finish(start({"logo", picture.string(), "-o", (folder / "made" / "vis_gloamer.bmp").string()},
                                 folder / "stderr.txt"),
                           folder / "stderr.txt");
    ASSERT_EQ(maker.status, 0) << maker.errors;
    setenv("TMPDIR", folder.path().c_str(), 1); // where the private plug-in folders go, to see them gone
    struct Case {
        std::vector<std::string> arguments;
        bool ownLogo;
        std::string note;
    };
    for (const Case& run : {Case{{"--logo", picture.string()}, true, ""},
                            Case{{(folder / "cover.mp3").string(), "--logo", "cover"}, true, ""},
                            Case{{(folder / "bare.mp3").string(), "--logo", "cover"}, false, "has no cover picture"},
                            Case{{"--plugin", made.string()}, true, ""}}) {
        std::vector<std::string> arguments = run.arguments;
        fs::remove_all(folder / "frames");
        fs::create_directory(folder / "frames");
        arguments.insert(arguments.end(), {"--duration", "0.5", "--fps", "10", "--size", "160x120", "-q", "-o",
                                           (folder / "frames" / "%05d.png").string()});
        Outcome outcome = render(arguments);
        ASSERT_EQ(outcome.status, 0) << outcome.errors;
        EXPECT_NE(outcome.errors.find(run.note), std::string::npos) << outcome.errors;
        std::vector<uint8_t> rgb = gloamer::testing::probeMedia((folder / "frames" / "00005.png").string(), 1).pictures.at(0);
        int green = 0, red = 0; // the picture's green; the red and magenta of the plug-in's own logo
        for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
            green += rgb[i + 1] > 200 && rgb[i] < 60;
            red += rgb[i] > 100;
        }
        EXPECT_EQ(green > 1000, run.ownLogo) << arguments[1];
        EXPECT_EQ(red == 0, run.ownLogo) << arguments[1];
    }
    unsetenv("TMPDIR");
    for (const auto& entry : fs::directory_iterator(folder.path()))
        EXPECT_EQ(entry.path().filename().string().find("gloamer-logo"), std::string::npos) << entry.path();
}

TEST_F(RenderCommandTest, EachAvailableCodecIsTaggedBt709TvRangeAndDecodesToTheDrawnFrames)
{
    const std::vector<std::string> common = {"--duration", "0.5", "--fps", "10", "--size", "160x120", "-q"};
    auto withCommon = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), common.begin(), common.end());
        return arguments;
    };
    fs::create_directory(folder / "drawn");
    ASSERT_EQ(render(withCommon({"-o", (folder / "drawn" / "%05d.png").string()})).status, 0);
    const auto drawn = gloamer::testing::probeMedia((folder / "drawn" / "00003.png").string(), 1).pictures.at(0);

    for (const std::string& codec : gloamer::availableVideoCodecs()) {
        const std::string video = (folder / (codec + ".mkv")).string();
        Outcome run = render(withCommon({"--codec", codec, "--audio-bitrate", "96", "-o", video}));
        ASSERT_EQ(run.status, 0) << codec << ": " << run.errors;
        EXPECT_EQ(run.errors, "") << codec;
        FILE* probe = popen(("ffprobe -v error -select_streams v -show_entries stream=codec_name,color_space,"
                             "color_range,color_primaries -of csv=p=0 '" + video + "'").c_str(), "r");
        char line[256] = {};
        ASSERT_TRUE(probe && std::fgets(line, sizeof(line), probe));
        pclose(probe);
        EXPECT_EQ(std::string(line), codec + ",tv,bt709,bt709\n");
        auto decoded = gloamer::testing::probeMedia(video, 1);
        ASSERT_GE(decoded.pictures.size(), 3u) << codec;
        // 4:2:0 blurs the small sprites' colour edges; a wrong matrix or range would shift each channel's mean.
        const auto& picture = decoded.pictures[2];
        EXPECT_LT(meanDifference(picture, drawn), 20.0) << codec;
        for (size_t channel = 0; channel < 3; ++channel) {
            double shift = 0;
            for (size_t i = channel; i < drawn.size(); i += 3)
                shift += (double)picture[i] - drawn[i];
            EXPECT_NEAR(shift / (double)(drawn.size() / 3), 0.0, 1.5) << codec << " channel " << channel;
        }
    }
    Outcome refused = render(withCommon({"--codec", "theora", "-o", (folder / "x.mkv").string()}));
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.errors.find("it has: h264"), std::string::npos) << refused.errors;
}

TEST_F(RenderCommandTest, AnalyseReadsStandardInputAsAStreamLikeTheFileItself)
{
    ASSERT_TRUE(testaudio::writeSound((folder / "tone.wav").string(), 48000, 2,
                                      testaudio::tones(48000, {{440, 9000}, {660, 5000}}, 48000)));
    ASSERT_TRUE(testaudio::transcode((folder / "tone.wav").string(), (folder / "tone.opus").string()));
    const fs::path errors = folder / "stderr.txt";
    Outcome file = finish(start({"analyse", (folder / "tone.opus").string(), "-o", (folder / "file.data").string()},
                                errors), errors);
    ASSERT_EQ(file.status, 0) << file.errors;
    pid_t piped = testproc::spawn({GLOAMER_HOST_PATH, "analyse", "-", "-o", (folder / "piped.data").string()},
                                  {(folder / "tone.opus").string(), "", errors.string()});
    Outcome stream = finish(piped, errors);
    ASSERT_EQ(stream.status, 0) << stream.errors;
    EXPECT_EQ(stream.errors, "");
    EXPECT_EQ(readFile(folder / "piped.data"), readFile(folder / "file.data"));
    // Both are decoded as the frames go: a span past the end, held whole, gives the same rows.
    ASSERT_EQ(finish(start({"analyse", (folder / "tone.opus").string(), "--duration", "60", "-o",
                            (folder / "span.data").string()}, errors), errors).status, 0);
    EXPECT_EQ(readFile(folder / "span.data"), readFile(folder / "file.data"));
}

TEST_F(RenderCommandTest, AStartNearTheEndOfAnHourSeeksToTheSamplesAWholeDecodeHasAndHoldsOnlyThem)
{
    const fs::path hour = folder / "hour.flac";
    ASSERT_TRUE(writeHour(hour));
    const std::vector<std::string> span = {"--start", "3575.3", "--duration", "1", "--size", "160x120", "-q", "-o"};
    auto withSpan = [&](const std::string& input, const fs::path& output) {
        std::vector<std::string> arguments = {"render", input};
        arguments.insert(arguments.end(), span.begin(), span.end());
        arguments.push_back(output.string());
        return arguments;
    };
    Outcome seeked = finish(start(withSpan(hour.string(), folder / "seeked.mp4"), folder / "stderr.txt"),
                            folder / "stderr.txt");
    ASSERT_EQ(seeked.status, 0) << seeked.errors;
    // Standard input cannot seek: it is decoded from its start, each sample discarded until the span.
    std::vector<std::string> piped = {GLOAMER_HOST_PATH};
    for (const std::string& argument : withSpan("-", folder / "piped.mp4"))
        piped.push_back(argument);
    Outcome whole = finish(testproc::spawn(piped, {hour.string(), "", (folder / "stderr.txt").string()}),
                           folder / "stderr.txt");
    ASSERT_EQ(whole.status, 0) << whole.errors;
    EXPECT_EQ(gloamer::testing::probeMedia((folder / "seeked.mp4").string(), 30).videoFrames, 30);
    EXPECT_EQ(readFile(folder / "seeked.mp4"), readFile(folder / "piped.mp4")) << "the seek landed elsewhere";
    EXPECT_LT(peakChildKiB(), hourHeldKiB) << "KiB at most in one process: the hour was held whole";
}

TEST_F(RenderCommandTest, WhatNeedsAnHoursLengthFirstCountsItThroughAndHoldsOnlyWhatItDraws)
{
    const fs::path hour = folder / "hour.flac";
    ASSERT_TRUE(writeHour(hour));
    fs::create_directory(folder / "frames");
    const std::string music = hour.string(), first = (folder / "0.mp4").string(), last = (folder / "1.mp4").string();
    const std::vector<std::vector<std::string>> runs = {
        {"render", music, "--start", "3590", "--fps", "2", "--part", "0/2", "--size", "16x16", "-q", "-o", first},
        {"render", music, "--start", "3590", "--fps", "2", "--part", "1/2", "--size", "16x16", "-q", "-o", last},
        {"join", first, last, "--audio", music, "-o", (folder / "joined.mp4").string()},
        {"analyse", music, "--fps", "1", "-o", (folder / "hour.data").string()},
        {"render", music, "--start", "600", "--fps", "1", "--size", "16x16", "-q", "-o",
         (folder / "frames/%04d.png").string()}};
    for (const std::vector<std::string>& arguments : runs) {
        Outcome run = finish(start(arguments, folder / "stderr.txt"), folder / "stderr.txt");
        ASSERT_EQ(run.status, 0) << arguments.back() << ": " << run.errors;
        EXPECT_LT(peakChildKiB(), hourHeldKiB) << "KiB at most in one process: " << arguments.back() << " held the hour";
    }
    EXPECT_EQ(gloamer::testing::probeMedia((folder / "joined.mp4").string()).videoFrames, 20);
    EXPECT_EQ(fs::file_size(folder / "hour.data"), 32 + 3600 * 2308u);
    EXPECT_TRUE(fs::exists(folder / "frames/3000.png") && !fs::exists(folder / "frames/3001.png"));
}

TEST_F(RenderCommandTest, AFileCountedFirstGivesTheBytesOfStandardInputHeldWhole)
{
    const fs::path music = folder / "music.wav";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -f lavfi -i anoisesrc=r=44100:a=0.3:seed=3:d=3 '" +
                           music.string() + "'").c_str()), 0);
    auto outputs = [&](const std::string& input, const fs::path& out) {
        fs::create_directories(out / "frames");
        const std::string first = (out / "0.mp4").string(), last = (out / "1.mp4").string();
        const std::vector<std::string> render = {GLOAMER_HOST_PATH, "render", input, "--size=32x32", "--fps=10", "-q"};
        for (std::vector<std::string> arguments : std::vector<std::vector<std::string>>{
                 {"--part", "0/2", "-o", first}, {"--part", "1/2", "--warmup", "5", "-o", last},
                 {"-o", (out / "frames/%02d.png").string()},
                 {GLOAMER_HOST_PATH, "join", first, last, "--audio", input, "-o", (out / "joined.mp4").string()}}) {
            if (arguments[0] != GLOAMER_HOST_PATH)
                arguments.insert(arguments.begin(), render.begin(), render.end());
            Outcome run = finish(testproc::spawn(arguments, {music.string(), "", (folder / "stderr.txt").string()}),
                                 folder / "stderr.txt");
            EXPECT_EQ(run.status, 0) << ::testing::PrintToString(arguments) << ": " << run.errors;
        }
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(out))
            if (entry.is_regular_file())
                files[fs::relative(entry.path(), out).string()] = readFile(entry.path());
        return files;
    };
    const std::map<std::string, std::string> counted = outputs(music.string(), folder / "file");
    EXPECT_EQ(counted.size(), 33u);
    EXPECT_TRUE(counted == outputs("-", folder / "piped"));
}

TEST_F(RenderCommandTest, ARenderFromAPipeEndsAtItsDurationOrWhereTheMusicDoes)
{
    const fs::path errors = folder / "stderr.txt", progress = folder / "progress.txt";
    auto piped = [&](const std::string& writer, const std::string& options, const fs::path& output) {
        return std::system(("ffmpeg -nostdin -loglevel error -f lavfi -i " + writer + " -f wav - 2>/dev/null | '"
                            GLOAMER_HOST_PATH "' render - " + options + " --size 160x120 -q -o '" + output.string() +
                            "' 2>'" + errors.string() + "'").c_str());
    };
    // A writer that never stops, ended by the pipe closing.
    ASSERT_EQ(piped("anoisesrc=r=44100:a=0.2", "--duration 1", folder / "endless.mp4"), 0) << readFile(errors);
    gloamer::testing::MediaInfo info = gloamer::testing::probeMedia((folder / "endless.mp4").string(), 30);
    EXPECT_EQ(info.videoFrames, 30);
    EXPECT_NEAR((double)info.audioSamples / info.audioSampleRate, 1.0, 0.05);

    // Music of a length told only by its end is rendered as it comes, to the video a whole track gives.
    const std::string noise = "anoisesrc=r=44100:a=0.3:seed=5:d=2.21";
    ASSERT_EQ(piped(noise, "--progress '" + progress.string() + "'", folder / "piped.mp4"), 0) << readFile(errors);
    ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -f lavfi -i " + noise + " '" +
                           (folder / "noise.wav").string() + "'").c_str()), 0);
    ASSERT_EQ(render({(folder / "noise.wav").string(), "--duration", "60", "--size", "160x120", "-q", "-o",
                      (folder / "whole.mp4").string()}).status, 0);
    EXPECT_EQ(readFile(folder / "piped.mp4"), readFile(folder / "whole.mp4"));
    EXPECT_NE(readFile(progress).find("{\"frame\":67,\"total\":null,"), std::string::npos) << readFile(progress);
}
