// gloamer_cli_test.cpp -- the built gloamer program run headless: files, the demo, live input, Ctrl-C, bad input.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_audio.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testaudio::binFrequency;

struct Outcome {
    int status = -1; // exit status, or 128 + the signal that killed it
    std::string out;
    std::string err;
    bool groupLeftRunning = false; // something of its process group outlived it
};

struct Call {
    std::string kind; // init, render, quit
    std::map<std::string, long> values;
};

std::string readFile(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

size_t lineCount(const std::string& text)
{
    return (size_t)std::count(text.begin(), text.end(), '\n');
}

class GloamerTest : public ::testing::Test {
public:
    void SetUp() override
    {
        setEnv("GLOAMER_RECORDING_FILE", path("calls.txt"));
        // Headless and silent whatever the machine has, and with no other hint of how to run.
        setEnv("SDL_VIDEODRIVER", "offscreen");
        setEnv("SDL_AUDIODRIVER", "dummy");
    }
    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    void setEnv(const std::string& name, const std::string& value) { env_[name] = value; }
    void unsetEnv(const std::string& name) { env_[name].reset(); }
    // What a machine with no display at all looks like to gloamer.
    void withoutDisplay()
    {
        for (const char* name : {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"})
            unsetEnv(name);
    }

    // Runs gloamer in the test's folder, in a process group of its own; `whileRunning` gets its pid. A run that
    // hangs is killed.
    Outcome gloamer(const std::vector<std::string>& arguments, const std::function<void(pid_t)>& whileRunning = {})
    {
        std::vector<std::string> words{GLOAMER_HOST_PATH};
        words.insert(words.end(), arguments.begin(), arguments.end());

        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry) {
            std::string variable = *entry;
            if (!env_.count(variable.substr(0, variable.find('='))))
                environment.push_back(variable);
        }
        for (const auto& [name, value] : env_)
            if (value)
                environment.push_back(name + "=" + *value);
        std::vector<char*> envp;
        for (std::string& variable : environment)
            envp.push_back(variable.data());
        envp.push_back(nullptr);

        pid_t pid = testproc::spawn(words, {"", path("stdout.txt"), path("stderr.txt"), folder_.path()}, envp.data(), true);
        Outcome run;
        if (pid < 0) {
            ADD_FAILURE() << "cannot start " << words[0];
            return run;
        }
        if (whileRunning)
            whileRunning(pid);

        int status = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
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
        run.groupLeftRunning = kill(-pid, 0) == 0;
        if (run.groupLeftRunning)
            kill(-pid, SIGKILL);
        run.out = readFile(path("stdout.txt"));
        run.err = readFile(path("stderr.txt"));
        return run;
    }

    // The recording plug-in's calls, in order.
    std::vector<Call> calls() const
    {
        std::vector<Call> result;
        std::ifstream in(folder_ / "calls.txt");
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            Call call;
            words >> call.kind;
            std::string pair;
            while (words >> pair) {
                size_t equals = pair.find('=');
                call.values[pair.substr(0, equals)] = std::stol(pair.substr(equals + 1));
            }
            result.push_back(call);
        }
        return result;
    }

    // Writes `seconds` of 44.1 kHz stereo: a tone on bin `leftBin` on the left, on `rightBin` on the right.
    std::string writeToneWav(const std::string& name, double seconds, double leftBin, double rightBin,
                             int channels = 2)
    {
        std::vector<std::pair<double, double>> tones{{binFrequency(leftBin), 8000}};
        if (channels == 2)
            tones.push_back({binFrequency(rightBin), 8000});
        EXPECT_TRUE(testaudio::writeSound(path(name), 44100, channels,
                                          testaudio::tones((size_t)(seconds * 44100), tones)));
        return path(name);
    }

    testfs::TempFolder folder_{"gloamer-e2e"};
    std::map<std::string, std::optional<std::string>> env_; // no value: removed from gloamer's environment
};

const std::string recordingPlugin = GLOAMER_RECORDING_PLUGIN_PATH;

// Init first, quit last, renders between, all on gloamer's main thread; returns the renders.
std::vector<Call> checkCallOrder(const std::vector<Call>& calls, pid_t mainThread = 0)
{
    std::vector<Call> renders;
    EXPECT_GE(calls.size(), 3u);
    if (calls.size() < 3)
        return renders;
    EXPECT_EQ(calls.front().kind, "init");
    EXPECT_NE(calls.front().values.at("probe"), 0) << "the version probe must be answered";
    EXPECT_EQ(calls.front().values.at("instance"), 1);
    EXPECT_EQ(calls.back().kind, "quit");
    long thread = calls.front().values.at("thread");
    if (mainThread)
        EXPECT_EQ(thread, mainThread);
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].values.at("thread"), thread) << "call " << i << " (" << calls[i].kind << ")";
        if (i > 0 && i + 1 < calls.size()) {
            EXPECT_EQ(calls[i].kind, "render") << "call " << i;
            renders.push_back(calls[i]);
        }
    }
    return renders;
}

// The renders whose row is at least half as loud as the loudest: the frames that were well inside the tone.
std::vector<Call> loudRenders(const std::vector<Call>& renders, const std::string& level)
{
    long loudest = 0;
    for (const Call& render : renders)
        loudest = std::max(loudest, render.values.at(level));
    std::vector<Call> loud;
    for (const Call& render : renders)
        if (loudest > 0 && render.values.at(level) * 2 >= loudest)
            loud.push_back(render);
    return loud;
}

TEST_F(GloamerTest, PlaysAWavToItsEndFeedingEachChannelsSpectrumToThePlugin)
{
    std::string wav = writeToneWav("tones.wav", 1.0, 12, 35);
    pid_t pid = 0;
    Outcome run = gloamer({"play", wav, "--plugin", recordingPlugin}, [&](pid_t started) { pid = started; });
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(run.groupLeftRunning);
    EXPECT_NE(run.out.find("Playing tones.wav (0:01)"), std::string::npos) << run.out;

    std::vector<Call> all = calls();
    EXPECT_EQ(all.front().values.at("rate"), 44100);
    EXPECT_EQ(all.front().values.at("channels"), 2);
    std::vector<Call> renders = checkCallOrder(all, pid);
    std::vector<Call> loud = loudRenders(renders, "level0");
    ASSERT_FALSE(loud.empty()) << "the plug-in never saw a spectrum";
    for (const Call& render : loud) {
        EXPECT_NEAR(render.values.at("peak0"), 2 * 12 + 1, 1);
        EXPECT_NEAR(render.values.at("peak1"), 2 * 35 + 1, 1);
    }
}

TEST_F(GloamerTest, PlaysATrackShorterThanWhatIsReadBeforeItStartsToItsEnd)
{
    // 0.02 s: all of it read before it plays, and once played for ever to silence.
    std::string wav = writeToneWav("blip.wav", 0.02, 12, 35);
    Outcome run = gloamer({"play", wav, "--plugin", recordingPlugin});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(run.groupLeftRunning);
    EXPECT_NE(run.out.find("Playing blip.wav (0:00)"), std::string::npos) << run.out;
    EXPECT_EQ(calls().back().kind, "quit");
}

TEST_F(GloamerTest, PlaysAPipeWhoseWriterNeverStopsAsItComesReadingItOnceForItsCover)
{
    const std::string pipe = path("endless"), cover = path("cover.png"), music = path("covered.mp3");
    ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -f lavfi -i color=red:s=64x64 -frames:v 1 '" + cover +
                           "'").c_str()), 0);
    ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -f lavfi -i sine=f=1000:r=44100:d=20 -i '" + cover +
                           "' -map 0 -map 1 -c:v png -disposition:v attached_pic '" + music + "'").c_str()), 0);
    struct Case {
        std::string writer; // into the pipe
        std::vector<std::string> options;
    };
    // The tone would go on for ever and the music outlasts the play: each writer ends as gloamer closes the pipe.
    for (const Case& test : {Case{"ffmpeg -nostdin -loglevel error -f lavfi -i sine=f=1000:r=44100 -f wav -", {}},
                             Case{"cat '" + music + "'", {"--logo", "cover"}}}) {
        // A FIFO of its own for each writer: the last one lives on until its next write fails, and it would
        // feed this reader too.
        fs::remove(pipe);
        ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
        ASSERT_EQ(std::system((test.writer + " 2>/dev/null >'" + pipe + "' &").c_str()), 0);
        std::vector<std::string> arguments = {"play", pipe, "--duration", "1.5", "--plugin", recordingPlugin};
        arguments.insert(arguments.end(), test.options.begin(), test.options.end());
        fs::remove(path("calls.txt"));
        Outcome run = gloamer(arguments);
        close(open(pipe.c_str(), O_RDONLY | O_NONBLOCK)); // a writer still waiting to open it is let go
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err.find("no cover"), std::string::npos) << run.err;
        EXPECT_NE(run.out.find("Playing endless (a stream)"), std::string::npos) << run.out;
        EXPECT_FALSE(loudRenders(checkCallOrder(calls()), "level0").empty()) << "the plug-in never saw the tone";
    }
}

TEST_F(GloamerTest, GivesAPluginAskingForOneChannelTheTwoAveragedAndAMonoFileToBothRows)
{
    std::string stereo = writeToneWav("stereo.wav", 0.5, 12, 35);
    setEnv("GLOAMER_RECORDING_SPECTRUM_CHANNELS", "1");
    Outcome run = gloamer({"play", stereo, "--plugin", recordingPlugin});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<Call> renders = checkCallOrder(calls());
    ASSERT_FALSE(loudRenders(renders, "level0").empty());
    for (const Call& render : renders)
        EXPECT_EQ(render.values.at("level1"), 0);

    fs::remove(path("calls.txt"));
    std::string mono = writeToneWav("mono.wav", 0.5, 20, 0, 1);
    setEnv("GLOAMER_RECORDING_SPECTRUM_CHANNELS", "2");
    run = gloamer({"play", mono, "--plugin", recordingPlugin});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<Call> all = calls();
    EXPECT_EQ(all.front().values.at("channels"), 1);
    renders = checkCallOrder(all);
    ASSERT_FALSE(loudRenders(renders, "level0").empty());
    for (const Call& render : renders) {
        EXPECT_EQ(render.values.at("level0"), render.values.at("level1"));
        EXPECT_EQ(render.values.at("peak0"), render.values.at("peak1"));
    }
}

TEST_F(GloamerTest, PlaysTheDemoTrackWithBothChannelsMoving)
{
    Outcome run = gloamer({"play", "--duration", "1.5", "--plugin", recordingPlugin});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Playing demo (0:32)"), std::string::npos) << run.out;
    std::vector<Call> renders = checkCallOrder(calls());
    bool rowsDiffer = false;
    long loudest0 = 0, loudest1 = 0;
    for (const Call& render : renders) {
        loudest0 = std::max(loudest0, render.values.at("level0"));
        loudest1 = std::max(loudest1, render.values.at("level1"));
        rowsDiffer = rowsDiffer || render.values.at("level0") != render.values.at("level1");
    }
    EXPECT_GT(loudest0, 0);
    EXPECT_GT(loudest1, 0);
    EXPECT_TRUE(rowsDiffer);
}

TEST_F(GloamerTest, WithNoCommandPlaysTheDemoAndCtrlCQuitsThePluginCleanly)
{
    Outcome run = gloamer({"--plugin", recordingPlugin}, [&](pid_t pid) {
        // Once a few frames are drawn, as a user would press Ctrl-C.
        for (int wait = 0; wait < 1000; ++wait) {
            std::string recorded = readFile(path("calls.txt"));
            if (std::count(recorded.begin(), recorded.end(), '\n') >= 4)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid, SIGINT);
    });
    EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(run.groupLeftRunning);
    EXPECT_NE(run.out.find("Playing demo"), std::string::npos);
    checkCallOrder(calls());
}

TEST_F(GloamerTest, WithNoCommandAndNoDisplayRendersTheDemoToAFreeNameInTheCurrentFolder)
{
    withoutDisplay();
    std::ofstream(path("gloamer-demo.mp4")) << "someone's own video\n";
    // The real plug-in, as a render needs a window; stopped with Ctrl-C once its progress line counts a frame drawn
    // (a line every ten seconds off a terminal), however slow the machine.
    const std::regex frameDrawn("gloamer: [0-9]+% [1-9][0-9]*/[0-9]+ frames");
    Outcome run = gloamer({}, [&](pid_t pid) {
        for (int wait = 0; wait < 60000 && !std::regex_search(readFile(path("stderr.txt")), frameDrawn); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        kill(pid, SIGINT);
    });
    EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
    EXPECT_NE(run.out.find("rendering the demo to " + path("gloamer-demo-2.mp4")), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Keys"), std::string::npos) << run.out;
    EXPECT_EQ(readFile(path("gloamer-demo.mp4")), "someone's own video\n");
    EXPECT_GT(fs::file_size(path("gloamer-demo-2.mp4")), 0u);
}

TEST_F(GloamerTest, SensitivityZeroDrawsTheSilentFrameAndCalmCapsHowFastTheFedSpectrumRises)
{
    std::string silence = writeToneWav("silence.wav", 0.5, 0, 0);
    std::string tone = writeToneWav("tone.wav", 0.5, 20, 40);
    // The real plug-in's pictures of a few frames, each file's bytes.
    auto pictures = [&](const std::string& input, const std::string& folder, std::vector<std::string> options) {
        fs::create_directory(path(folder));
        std::vector<std::string> arguments{"render", input, "-q", "--size", "32x32", "--fps", "10", "--duration",
                                           "0.3", "-o", path(folder) + "/%02d.png"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        EXPECT_EQ(gloamer(arguments).status, 0) << folder;
        std::vector<std::string> files;
        for (int frame = 1; frame <= 3; ++frame)
            files.push_back(readFile(path(folder) + "/0" + std::to_string(frame) + ".png"));
        return files;
    };
    std::vector<std::string> silent = pictures(silence, "silent", {});
    EXPECT_NE(pictures(tone, "tone", {}), silent);
    EXPECT_EQ(pictures(tone, "insensitive", {"--sensitivity", "0"}), silent);

    // A step from silence to a loud tone: each frame's loudest fed value, and its largest rise.
    std::vector<int16_t> step = testaudio::tones(22050, {{0, 0}, {0, 0}});
    std::vector<int16_t> loud = testaudio::tones(22050, {{binFrequency(20), 30000}, {binFrequency(40), 30000}});
    step.insert(step.end(), loud.begin(), loud.end());
    ASSERT_TRUE(testaudio::writeSound(path("step.wav"), 44100, 2, step));
    for (bool calm : {false, true}) {
        fs::remove(path("calls.txt"));
        std::vector<std::string> arguments{"play", path("step.wav"), "--plugin", recordingPlugin};
        if (calm)
            arguments.push_back("--calm");
        ASSERT_EQ(gloamer(arguments).status, 0) << calm;
        long largestRise = 0, loudest = 0, before = 0;
        for (const Call& render : checkCallOrder(calls())) {
            long top = render.values.at("top0");
            largestRise = std::max(largestRise, top - before);
            loudest = std::max(loudest, top);
            before = top;
        }
        EXPECT_GT(loudest, 150) << "calm " << calm << ": the tone must still come through";
        if (calm)
            EXPECT_LE(largestRise, 12);
        else
            EXPECT_GT(largestRise, 12);
    }
}

TEST_F(GloamerTest, DrivesTheRealPluginFoundBesideIt)
{
    std::string wav = writeToneWav("short.wav", 0.5, 12, 35);
    Outcome run = gloamer({"play", wav});
    EXPECT_EQ(run.status, 0) << run.err;
    // One line says which renderer draws, and nothing else is said.
    EXPECT_EQ(run.err.rfind("gloamer: drawing with ", 0), 0u) << run.err;
    EXPECT_EQ(lineCount(run.err), 1u) << run.err;
    EXPECT_FALSE(run.groupLeftRunning);
}

TEST_F(GloamerTest, CapturesLiveAudioFromAnInput)
{
    // SDL's disk driver reads its input from a file of raw samples, in real time.
    std::vector<int16_t> samples =
        testaudio::tones(3 * 44100, {{binFrequency(16), 8000}, {binFrequency(50), 8000}});
    ASSERT_TRUE(testaudio::writeRaw(path("input.raw"), samples));
    setEnv("SDL_AUDIODRIVER", "disk");
    setEnv("SDL_DISKAUDIOFILEIN", path("input.raw"));
    setEnv("SDL_DISKAUDIOFILE", path("output.raw"));

    Outcome run = gloamer({"live", "--duration", "1.5", "--device", "1", "--plugin", recordingPlugin});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(run.groupLeftRunning);
    std::vector<Call> all = calls();
    EXPECT_EQ(all.front().values.at("rate"), 44100);
    EXPECT_EQ(all.front().values.at("channels"), 2);
    std::vector<Call> loud = loudRenders(checkCallOrder(all), "level0");
    ASSERT_FALSE(loud.empty()) << "the plug-in never saw the captured audio";
    for (const Call& render : loud) {
        EXPECT_NEAR(render.values.at("peak0"), 2 * 16 + 1, 1);
        EXPECT_NEAR(render.values.at("peak1"), 2 * 50 + 1, 1);
    }
}

TEST_F(GloamerTest, ListsAudioInputsAndHowToPickOne)
{
    Outcome run = gloamer({"devices"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Audio inputs (SDL audio driver 'dummy')"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  1  "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("gloamer live --device NAME"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("no PulseAudio or PipeWire is running. Start one"), std::string::npos) << run.out;
}

TEST_F(GloamerTest, HelpAndVersionGoToStdoutWithStatusZero)
{
    Outcome help = gloamer({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"play", "live", "devices", "--plugin", "--version"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    Outcome version = gloamer({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("gloamer ", 0), 0u) << version.out;
}

// Each command's defaults as --help shows them ("--size WxH=1280x720") and as the man page states them
// ("Default 1280x720." or "(default 1)" in the option's paragraph); "As for play" takes play's.
TEST_F(GloamerTest, TheManPageStatesTheDefaultsTheProgramHas)
{
    std::map<std::string, std::map<std::string, std::string>> man, help;
    std::ifstream page(GLOAMER_MAN_PAGE);
    const std::regex section(R"(^\.SS "?(\w+).*)"), option(R"(^\.B[IR]? (?:\\-\w ", " )?\\-\\-([\w\\-]+).*)"),
        stated(R"((?:^|\()[Dd]efault ([^\s:),]+?)[.),:]*(?:\s|$))");
    std::string command, name, line;
    std::smatch parts;
    while (std::getline(page, line)) {
        if (std::regex_match(line, parts, section))
            command = parts[1], name.clear();
        else if (line.rfind(".SH", 0) == 0)
            command.clear();
        else if (!command.empty() && std::regex_match(line, parts, option))
            name = "--" + std::regex_replace(parts[1].str(), std::regex(R"(\\-)"), "-");
        else if (!name.empty() && line[0] != '.' && std::regex_search(line, parts, stated))
            man[command][name] = parts[1];
    }
    ASSERT_FALSE(man["render"].empty()) << "the man page's options were not found";
    for (const char* each : {"play", "live", "render", "analyse", "replay", "logo"}) {
        std::istringstream text(gloamer({each, "--help"}).out);
        while (std::getline(text, line))
            if (std::regex_search(line, parts, std::regex(R"(^\s+(?:-\w,)?(--[\w-]+) [^\s=]*=(\S+))")))
                help[each][parts[1]] = parts[2];
        for (const auto& [flag, value] : help[each]) {
            std::string stated = man[each].count(flag) ? man[each][flag] : man["play"][flag];
            EXPECT_EQ(stated, value) << each << " " << flag;
        }
        for (const auto& [flag, value] : man[each])
            EXPECT_EQ(help[each][flag], value) << each << " " << flag << ": the man page states a default the program lacks";
    }
}

// Every bad input: status 1 (2 for a wrong command line), one line on stderr naming it, no plug-in run.
struct BadInput {
    std::string what;
    std::function<std::vector<std::string>(GloamerTest&)> arguments;
    std::string message; // a part of the one line
    int status = 1;
};

void PrintTo(const BadInput& bad, std::ostream* out)
{
    *out << bad.what;
}

class GloamerBadInputTest : public GloamerTest, public ::testing::WithParamInterface<BadInput> {};

TEST_P(GloamerBadInputTest, FailsWithOneLineNamingItAndLeavesNothingRunning)
{
    const BadInput& bad = GetParam();
    Outcome run = gloamer(bad.arguments(*this));
    EXPECT_EQ(run.status, bad.status) << run.err;
    EXPECT_EQ(lineCount(run.err), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("gloamer: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(bad.message), std::string::npos) << run.err;
    EXPECT_FALSE(run.groupLeftRunning);
    for (const Call& call : calls())
        EXPECT_NE(call.kind, "render");
}

INSTANTIATE_TEST_SUITE_P(
    BadInputs, GloamerBadInputTest,
    ::testing::Values(
        BadInput{"MissingFile",
                 [](GloamerTest& test) {
                     return std::vector<std::string>{"play", test.path("song.flac"), "--plugin", recordingPlugin};
                 },
                 "cannot open '/tmp/gloamer-e2e-", 1},
        BadInput{"NotAudio",
                 [](GloamerTest& test) {
                     std::ofstream(test.path("notes.wav")) << "shopping list\n";
                     return std::vector<std::string>{"play", test.path("notes.wav"), "--plugin", recordingPlugin};
                 },
                 "not an audio file", 1},
        BadInput{"TruncatedWav",
                 [](GloamerTest& test) {
                     std::string wav = test.writeToneWav("cut.wav", 0.2, 12, 35);
                     fs::resize_file(wav, 40);
                     return std::vector<std::string>{"play", wav, "--plugin", recordingPlugin};
                 },
                 "damaged or cut short", 1},
        BadInput{"PluginPathDoesNotExist",
                 [](GloamerTest& test) {
                     return std::vector<std::string>{"play", test.writeToneWav("a.wav", 0.2, 12, 35), "--plugin",
                                                     test.path("vis_nothing.so")};
                 },
                 "cannot open plug-in '", 1},
        BadInput{"LibraryWithoutTheExport",
                 [](GloamerTest& test) {
                     return std::vector<std::string>{"play", test.writeToneWav("a.wav", 0.2, 12, 35), "--plugin",
                                                     GLOAMER_PLATFORM_LIBRARY_PATH};
                 },
                 "does not export winampVisGetHeader", 1},
        BadInput{"NotALibraryAtAll",
                 [](GloamerTest& test) {
                     std::ofstream(test.path("vis_fake.so")) << "not a library\n";
                     return std::vector<std::string>{"play", test.writeToneWav("a.wav", 0.2, 12, 35), "--plugin",
                                                     test.path("vis_fake.so")};
                 },
                 "not a loadable library", 1},
        BadInput{"PluginInitFails",
                 [](GloamerTest& test) {
                     test.setEnv("GLOAMER_RECORDING_FAIL_INIT", "1");
                     return std::vector<std::string>{"play", test.writeToneWav("a.wav", 0.2, 12, 35), "--plugin",
                                                     recordingPlugin};
                 },
                 "failed to start", 1},
        BadInput{"NoSuchInput",
                 [](GloamerTest&) {
                     return std::vector<std::string>{"live", "--device", "no such microphone", "--plugin",
                                                     recordingPlugin};
                 },
                 "no audio input matches 'no such microphone'", 1},
        BadInput{"PlayWithADisplayThatCannotOpen",
                 [](GloamerTest& test) {
                     test.withoutDisplay();
                     test.setEnv("DISPLAY", ":9731");
                     return std::vector<std::string>{"play", "--plugin", recordingPlugin};
                 },
                 "cannot open the display DISPLAY=:9731", 1},
        BadInput{"LiveWithNoDisplay",
                 [](GloamerTest& test) {
                     test.withoutDisplay();
                     return std::vector<std::string>{"live", "--plugin", recordingPlugin};
                 },
                 "are not set); to make a video instead: gloamer render", 1},
        BadInput{"UnknownOption", [](GloamerTest&) { return std::vector<std::string>{"play", "--loud"}; },
                 "--loud", 2},
        BadInput{"ZeroFrameRate", [](GloamerTest&) { return std::vector<std::string>{"play", "--fps", "0"}; },
                 "--fps", 2},
        BadInput{"SensitivityOutOfRange",
                 [](GloamerTest&) { return std::vector<std::string>{"play", "--sensitivity", "5"}; },
                 "5 is out of range (0 to 4)", 2},
        BadInput{"DurationNotANumber",
                 [](GloamerTest&) { return std::vector<std::string>{"play", "--duration", "abc"}; },
                 "'abc' is not a number", 2},
        BadInput{"NoSuchDisplayIsSaidBeforeAnythingPlays",
                 [](GloamerTest&) { return std::vector<std::string>{"play", "--display", "2", "--plugin", recordingPlugin}; },
                 "there is no display 2", 1},
        BadInput{"NoTrackOfAPlaylistPlays",
                 [](GloamerTest& test) {
                     std::ofstream(test.path("list.m3u")) << "#EXTM3U\nmissing.flac\nalso-missing.ogg\n";
                     return std::vector<std::string>{"play", test.path("list.m3u"), "--plugin", recordingPlugin};
                 },
                 "none of the 2 tracks given can be played", 1}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return info.param.what; });

} // namespace
