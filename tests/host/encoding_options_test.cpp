// encoding_options_test.cpp -- the encoding options as render, batch and join read them: one set of checks and
// refusals, and what batch passes on to its renders read back by render as the same video format.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host/commands/command_line.h"
#include "host/commands/encoding_options.h"
#include "host/stream/stream_options.h"
#include "host/video/frame_sink.h"
#include "tests/support/temp_folder.h"

namespace gloamer {
namespace {

using Args = std::vector<std::string>;

// The parse of `gloamer ARGS` with the commands that encode: nothing when it is accepted, else the error's text.
// A fresh command line each time, as the options are bound to variables that keep what an earlier parse set.
std::optional<std::string> refusal(const Args& args)
{
    CLI::App app("gloamer");
    CommandLine commandLine;
    addRenderCommand(app, commandLine);
    addBatchCommand(app, commandLine);
    addJoinCommand(app, commandLine);
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        return std::string(error.what());
    }
    return std::nullopt;
}

Args with(Args command, const Args& more)
{
    command.insert(command.end(), more.begin(), more.end());
    return command;
}

TEST(EncodingOptions, RenderBatchAndJoinAcceptAndRefuseTheSameWay)
{
    testfs::TempFolder folder("gloamer-encoding-options");
    const std::string list = folder.path().string();
    const Args render = {"render", "-o", "out.mp4"}, batch = {"batch", list, "-o", "videos"},
               join = {"join", "part.mp4", "-o", "out.mp4"};
    struct Case {
        Args args;
        bool accepted;
        std::string says; // a part of the refusal
    };
    std::vector<Case> cases = {
        {{}, true, ""},
        {{"--quality", "small"}, true, ""},
        {{"--quality", "best"}, false, "--quality"},
        {{"--crf", "0"}, true, ""},
        {{"--crf", "51"}, true, ""},
        {{"--crf", "52"}, false, "52 is out of range for h264 (0 to 51)"},
        {{"--crf", "64"}, false, "64 is out of range (0 to 63)"},
        {{"--crf", "-1"}, false, "--crf"},
        {{"--crf", "many"}, false, "'many' is not a number"},
        {{"--preset", "veryslow"}, true, ""},
        {{"--preset", "fastest"}, false, "--preset"},
        {{"--codec", "theora"}, false, "'theora' is not a video codec this FFmpeg encodes (it has: h264"},
        {{"--codec", "h264", "--crf", "51", "--preset", "ultrafast"}, true, ""},
    };
    for (const std::string& codec : availableVideoCodecs())
        cases.push_back({{"--codec", codec, "--crf", std::to_string(highestCrf(codec))}, true, ""});
    // A GPU's encoder that this FFmpeg has but that does not open here is refused by a command that encodes here.
    for (const std::string& codec : hardwareVideoCodecs())
        if (!videoCodecProblem(codec).empty())
            cases.push_back({{"--codec", codec}, false, "--codec: " + codec + " needs "});
    const std::vector<Case> bitRates = {
        {{"--audio-bitrate", "32"}, true, ""},         {{"--audio-bitrate", "512"}, true, ""},
        {{"--audio-bitrate", "31"}, false, "31 is out of range (32 to 512)"},
        {{"--audio-bitrate", "513"}, false, "513 is out of range (32 to 512)"},
        {{"--audio-bitrate", "96.5"}, false, "96.5 is not a whole number"},
        {{"--audio-bitrate", "loud"}, false, "'loud' is not a number"},
    };
    cases.insert(cases.end(), bitRates.begin(), bitRates.end());

    for (const Case& c : cases) {
        const std::string what = ::testing::PrintToString(c.args);
        const std::optional<std::string> byRender = refusal(with(render, c.args));
        EXPECT_EQ(!byRender, c.accepted) << what << ": " << byRender.value_or("accepted");
        if (byRender)
            EXPECT_NE(byRender->find(c.says), std::string::npos) << what << ": " << *byRender;
        EXPECT_EQ(refusal(with(batch, c.args)), byRender) << what;
    }
    for (const Case& c : bitRates)
        EXPECT_EQ(refusal(with(join, c.args)), refusal(with(render, c.args))) << ::testing::PrintToString(c.args);
}

TEST(EncodingOptions, ABatchThatEmitsAJobLeavesAGpuEncoderToTheMachinesItRunsOn)
{
    testfs::TempFolder folder("gloamer-encoding-emit");
    const Args batch = {"batch", folder.path().string(), "-o", "videos", "--codec"};
    int checked = 0;
    for (const std::string& codec : hardwareVideoCodecs()) {
        if (videoCodecProblem(codec).empty())
            continue; // it opens here: nothing to leave to other machines
        EXPECT_EQ(refusal(with(batch, {codec, "--emit", "slurm"})), std::nullopt) << codec;
        EXPECT_EQ(refusal(with(batch, {codec, "--emit", "kubernetes", "--image", "gloamer"})), std::nullopt) << codec;
        EXPECT_NE(refusal(with(batch, {codec})), std::nullopt) << codec;
        ++checked;
    }
    if (checked == 0)
        GTEST_SKIP() << "this FFmpeg has no GPU encoder that fails to open on this machine";
}

// Read by a command that takes the five options.
EncodingOptions parsed(const Args& args)
{
    EncodingOptions options;
    CLI::App command("render");
    addEncodingOptions(command, options);
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    command.parse(reversed);
    checkEncodingOptions(options, true);
    return options;
}

VideoFormat formatOf(const EncodingOptions& options)
{
    VideoFormat format;
    format.width = 1920;
    format.height = 1080;
    format.fps = 30;
    applyEncoding(options, format);
    return format;
}

TEST(EncodingOptions, WhatBatchPassesOnRenderReadsBackAsTheSameFormat)
{
    const std::vector<Args> cases = {
        {},
        {"--quality", "high", "--preset", "slow"},
        {"--crf", "0", "--audio-bitrate", "320"},
        {"--quality", "small", "--crf", "30"},
        {"--codec", availableVideoCodecs().back(), "--quality", "small", "--audio-bitrate", "64"},
    };
    for (const Args& args : cases) {
        const EncodingOptions given = parsed(args);
        const Args passedOn = with(codecArguments(given), qualityArguments(given.quality));
        const VideoFormat asked = formatOf(given), readBack = formatOf(parsed(passedOn));
        const std::string what = ::testing::PrintToString(args) + " -> " + ::testing::PrintToString(passedOn);
        EXPECT_EQ(readBack.crf, asked.crf) << what;
        EXPECT_EQ(readBack.maxKbps, asked.maxKbps) << what;
        EXPECT_EQ(readBack.codec, asked.codec) << what;
        EXPECT_EQ(readBack.preset, asked.preset) << what;
        EXPECT_EQ(readBack.audioKbps, asked.audioKbps) << what;
    }
}

TEST(StreamOptions, TheBitRateFollowsQualityUnlessGivenAndTheCrfIsH264s)
{
    auto run = [](const std::string& quality, int crf, int bitrate) {
        StreamOutputOptions options;
        options.to = "rtmp://127.0.0.1/live/key";
        options.quality = {quality, crf};
        options.bitrate = bitrate;
        return streamRunOptionsFor(options, "1280x720", 30).format;
    };
    const StreamFormat small = run("small", -1, 0), good = run("good", -1, 0), high = run("high", -1, 0);
    EXPECT_LT(small.videoKbps, good.videoKbps);
    EXPECT_LT(good.videoKbps, high.videoKbps);
    EXPECT_GT(small.crf, good.crf);
    EXPECT_GT(good.crf, high.crf);
    EXPECT_EQ(run("small", 18, 2500).videoKbps, 2500);
    EXPECT_EQ(run("small", 18, 2500).crf, 18);
    EXPECT_EQ(good.width, 1280);
    EXPECT_EQ(good.height, 720);
}

} // namespace
} // namespace gloamer
