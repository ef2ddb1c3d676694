// encoding_options.cpp -- the encoding options, their checks, help and defaults, and what they come to.
#include "host/commands/encoding_options.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "host/commands/command_line.h"
#include "host/video/frame_sink.h"

namespace gloamer {

namespace {

const std::vector<std::string> presets = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                                          "medium",    "slow",      "slower",   "veryslow"};

// Empty when this FFmpeg has the codec's encoder. Whether a GPU's encoder opens is asked once the command line
// is read, and only of a command that encodes on this machine.
std::string codecThisFfmpegHas(const std::string& name)
{
    const std::vector<std::string> hardware = hardwareVideoCodecs();
    if (std::find(hardware.begin(), hardware.end(), name) != hardware.end())
        return "";
    return videoCodecProblem(name);
}

void addCodecOption(CLI::App& command, std::string& codec)
{
    command.add_option("--codec", codec,
                       "Video codec: h264, hevc, vp9 or av1, as this FFmpeg has them; or H.264 on a GPU's encoder: "
                       "nvenc (NVIDIA), vaapi (AMD, Intel) or qsv (Intel Quick Sync), where this machine has one")
        ->check(CLI::Validator([](std::string& name) { return codecThisFfmpegHas(name); }, ""))
        ->type_name("NAME")
        ->capture_default_str();
}

} // namespace

void addEncodingOptions(CLI::App& command, EncodingOptions& options)
{
    addQualityOptions(command, options.quality, true);
    addCodecOption(command, options.codec);
    addPresetOption(command, options.preset, true);
    addAudioBitrateOption(command, options.audioKbps);
}

void addQualityOptions(CLI::App& command, VideoQuality& quality, bool codecChoice)
{
    command.add_option("--quality", quality.name,
                       "How good the video looks against how big it is: small, good (for sharing; fits video "
                       "sites' upload rates) or high")
        ->check(CLI::IsMember(std::vector<std::string>(std::begin(qualityNames), std::end(qualityNames)))
                    .description(""))
        ->type_name("small|good|high")
        ->capture_default_str();
    command.add_option("--crf", quality.crf,
                       codecChoice ? "Constant quality instead of --quality: lower is better and bigger; 0 to 51 for "
                                     "h264 (0 lossless) and hevc, 0 to 63 for vp9 and av1"
                                   : "Constant quality instead of --quality: lower is better and bigger; 0 "
                                     "(lossless) to 51 (the video is H.264)")
        ->check(numberBetween(0, 63, true))
        ->type_name("N");
}

void addPresetOption(CLI::App& command, std::string& preset, bool codecChoice)
{
    command.add_option("--preset", preset,
                       codecChoice ? "The h264 and hevc encoders' speed, ultrafast to veryslow: slower makes smaller "
                                     "files of the same quality (vp9 and av1 take their own)"
                                   : "The H.264 encoder's speed, ultrafast to veryslow: a slow machine keeps up with "
                                     "a faster one")
        ->check(CLI::IsMember(presets).description(""))
        ->type_name("NAME")
        ->capture_default_str();
}

void addAudioBitrateOption(CLI::App& command, int& kbps)
{
    command.add_option("--audio-bitrate", kbps, "AAC bit rate in kbit/s, 32 to 512")
        ->check(numberBetween(32, 512, true))
        ->type_name("KBPS")
        ->capture_default_str();
}

void checkCrf(const VideoQuality& quality, const std::string& codec)
{
    if (quality.crf > highestCrf(codec))
        throw CLI::ValidationError("--crf", std::to_string(quality.crf) + " is out of range for " + codec + " (0 to " +
                                                std::to_string(highestCrf(codec)) + ")");
}

void checkEncodingOptions(const EncodingOptions& options, bool encodesHere)
{
    checkCrf(options.quality, options.codec);
    const std::string problem = encodesHere ? videoCodecProblem(options.codec) : "";
    if (!problem.empty())
        throw CLI::ValidationError("--codec", problem);
}

int crfOf(const VideoQuality& quality, const std::string& codec)
{
    return quality.crf >= 0 ? quality.crf : crfFor(quality.name, codec);
}

void applyEncoding(const EncodingOptions& options, VideoFormat& format)
{
    format.crf = crfOf(options.quality, options.codec);
    // A chosen CRF is taken as it is; a --quality keeps to the upload rate of the size.
    format.maxKbps = options.quality.crf < 0
                         ? uploadCeilingKbps(options.quality.name, format.width, format.height, format.fps)
                         : 0;
    format.codec = options.codec;
    format.preset = options.preset;
    format.audioKbps = options.audioKbps;
}

std::vector<std::string> codecArguments(const EncodingOptions& options)
{
    return {"--codec", options.codec, "--preset", options.preset, "--audio-bitrate", std::to_string(options.audioKbps)};
}

std::vector<std::string> qualityArguments(const VideoQuality& quality)
{
    if (quality.crf >= 0)
        return {"--crf", std::to_string(quality.crf)};
    return {"--quality", quality.name};
}

bool tooSlowForAVideo(int sampleRate)
{
    constexpr int lowestEncodedRate = 8000;
    if (sampleRate >= lowestEncodedRate)
        return false;
    std::fprintf(stderr, "gloamer: warning: music at %d Hz cannot go into a video (%d Hz at least): the video "
                         "will be silent\n", sampleRate, lowestEncodedRate);
    return true;
}

} // namespace gloamer
