// exe_command_line_test.cpp -- gloamer.exe's command line, natively: what each line asks of its command, and the
// one line and status for each line refused or command failed, as gloamer gives them.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <vector>

#include "host/process/host_error.h"
#include "host/win32/exe_command_line.h"

namespace {

using gloamer::CheckRequest;
using gloamer::ReplayRequest;

// One run of the command line over commands that only note what they were asked.
struct Outcome {
    int status = -1;
    std::string out;
    std::string errors;
    std::vector<ReplayRequest> replays;
    std::vector<CheckRequest> checks;
};

Outcome runExe(std::vector<std::string> words, std::function<int()> commandResult = [] { return 0; })
{
    words.insert(words.begin(), "gloamer.exe");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    Outcome outcome;
    gloamer::ExeCommands commands{
        [&](const ReplayRequest& request) {
            outcome.replays.push_back(request);
            return commandResult();
        },
        [&](const CheckRequest& request) {
            outcome.checks.push_back(request);
            return commandResult();
        }};
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    outcome.status = gloamer::runExeCommandLine((int)argv.size(), argv.data(), "9.8.7", commands);
    outcome.out = ::testing::internal::GetCapturedStdout();
    outcome.errors = ::testing::internal::GetCapturedStderr();
    return outcome;
}

TEST(ExeCommandLine, ReplayGetsItsFileOutputAndOptions)
{
    Outcome full = runExe({"replay", "--size", "64x48", "-q", "--overwrite", "--plugin", "C:\\vis.dll", "--output",
                           "o\\%03d.png", "--", "-named-like-an-option.gfd"});
    ASSERT_EQ(full.status, 0) << full.errors;
    ASSERT_EQ(full.replays.size(), 1u);
    EXPECT_EQ(full.replays[0].data, "-named-like-an-option.gfd");
    EXPECT_EQ(full.replays[0].output, "o\\%03d.png");
    EXPECT_EQ(full.replays[0].size, "64x48");
    EXPECT_EQ(full.replays[0].pluginPath, "C:\\vis.dll");
    EXPECT_TRUE(full.replays[0].overwrite);
    EXPECT_TRUE(full.replays[0].quiet);
}

TEST(ExeCommandLine, CheckReadsItsNumbersHexIncluded)
{
    struct Case {
        std::vector<std::string> words;
        long versionAnswer;
        int frames;
    };
    for (const Case& c : std::vector<Case>{{{"check"}, 0x5000, 3},
                                           {{"check", "--version-answer", "0x5666", "--frames", "0"}, 0x5666, 0},
                                           {{"check", "--version-answer", "0", "--frames", "100000"}, 0, 100000}}) {
        Outcome run = runExe(c.words);
        ASSERT_EQ(run.status, 0) << run.errors;
        ASSERT_EQ(run.checks.size(), 1u);
        EXPECT_TRUE(run.replays.empty());
        EXPECT_EQ(run.checks[0].versionAnswer, c.versionAnswer);
        EXPECT_EQ(run.checks[0].frames, c.frames);
    }
}

TEST(ExeCommandLine, WrongLinesEndWithOneLineAndStatus2BeforeAnyCommand)
{
    struct Case {
        std::vector<std::string> words;
        std::string said;
    };
    for (const Case& c : std::vector<Case>{
             {{}, "no command given"},
             {{"play", "song.flac"}, "not expected"},
             {{"check", "song.gfd"}, "not expected"},
             {{"replay", "song.gfd", "-o", "frames\\%05d.png", "check"}, "not expected"},
             {{"check", "--overwrite"}, "--overwrite"},
             {{"check", "--frames", "100001"}, "100001 is out of range (0 to 100000)"},
             {{"check", "--frames", "2.5"}, "2.5 is not a whole number"},
             {{"check", "--version-answer", "five"}, "'five' is not a number"},
             {{"check", "--version-answer", "0x10000"}, "is out of range (0 to 65535)"},
             {{"check", "--plugin", ""}, "no plug-in named"},
             {{"check", "--frames"}, "--frames"},
             {{"replay", "song.gfd"}, "--output is required"},
             {{"replay", "-o", "frames\\%05d.png"}, "DATA is required"},
         }) {
        Outcome run = runExe(c.words);
        const std::string line = ::testing::PrintToString(c.words);
        EXPECT_EQ(run.status, 2) << line;
        EXPECT_TRUE(run.replays.empty() && run.checks.empty()) << line;
        EXPECT_EQ(run.errors.rfind("gloamer: ", 0), 0u) << line << ": " << run.errors;
        EXPECT_NE(run.errors.find(c.said), std::string::npos) << line << ": " << run.errors;
        EXPECT_NE(run.errors.find("(see gloamer.exe --help)\n"), std::string::npos) << line << ": " << run.errors;
        EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << line << ": " << run.errors;
        EXPECT_EQ(run.out, "") << line;
    }
}

TEST(ExeCommandLine, HelpAndVersionGoToStandardOutputWithStatus0)
{
    struct Case {
        std::vector<std::string> words;
        std::vector<std::string> shown;
    };
    for (const Case& c : std::vector<Case>{
             {{"--help"}, {"replay", "check", "Exit status: 0 done, 1 failed, 2 wrong command line"}},
             {{"replay", "--help"}, {"DATA", "--output", "--size", "--overwrite", "--quiet", "--plugin"}},
             {{"check", "-h"}, {"--version-answer", "--frames", "--plugin"}},
             {{"--version"}, {"gloamer.exe 9.8.7\n"}},
         }) {
        Outcome run = runExe(c.words);
        const std::string line = ::testing::PrintToString(c.words);
        EXPECT_EQ(run.status, 0) << line << ": " << run.errors;
        EXPECT_EQ(run.errors, "") << line;
        EXPECT_TRUE(run.replays.empty() && run.checks.empty()) << line;
        for (const std::string& shown : c.shown)
            EXPECT_NE(run.out.find(shown), std::string::npos) << line << " lacks " << shown << ":\n" << run.out;
    }
}

TEST(ExeCommandLine, ACommandsFailureIsWordedAndCountedAsGloamersAre)
{
    struct Case {
        std::function<int()> result;
        int status;
        std::string errors;
    };
    for (const Case& c : std::vector<Case>{
             {[] { return 0; }, 0, ""},
             {[] { return 130; }, 130, ""},
             {[]() -> int { throw gloamer::UsageError("--size 'big' is not a size"); }, 2,
              "gloamer: --size 'big' is not a size\n"},
             {[]() -> int { throw gloamer::HostError("cannot read 'song.gfd'"); }, 1, "gloamer: cannot read 'song.gfd'\n"},
             {[]() -> int { throw std::bad_alloc(); }, 1, "gloamer: out of memory\n"},
         }) {
        Outcome run = runExe({"check"}, c.result);
        EXPECT_EQ(run.status, c.status) << c.errors;
        EXPECT_EQ(run.errors, c.errors);
        EXPECT_EQ(run.checks.size(), 1u);
    }
}

} // namespace
