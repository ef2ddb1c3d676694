// encoding_options.h -- --quality, --crf, --codec, --preset and --audio-bitrate, declared once for every command that
// encodes: render and batch take them all, join the audio's bit rate, stream and live H.264's own three, replay the
// quality alone.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "host/video/video_quality.h"

namespace gloamer {

struct VideoFormat;

// The AAC bit rate of a video file's music unless --audio-bitrate says (a stream's is its own).
constexpr int videoAudioKbps = 192;

// True, with a warning that the video will be silent, for music slower than AAC (like most players) takes.
bool tooSlowForAVideo(int sampleRate);

// What render takes and batch passes on to each of its renders.
struct EncodingOptions {
    VideoQuality quality;            // --quality or --crf
    std::string codec = "h264";      // --codec
    std::string preset = "veryfast"; // --preset
    int audioKbps = videoAudioKbps;  // --audio-bitrate
};

// All five, in the order render's help shows them; with them --crf's range and --preset's help speak of each codec.
void addEncodingOptions(CLI::App& command, EncodingOptions& options);
// The parts, for a command that takes only some; `codecChoice`: the command has --codec (else the video is H.264).
void addQualityOptions(CLI::App& command, VideoQuality& quality, bool codecChoice);
void addPresetOption(CLI::App& command, std::string& preset, bool codecChoice);
void addAudioBitrateOption(CLI::App& command, int& kbps);

// What can be checked only once the whole command line is read, as a command's callback does: --crf within the
// codec's range, and where `encodesHere`, a GPU's encoder opening on this machine (a batch that emits a job
// leaves that to the machines the job runs on). Throws CLI::ValidationError, a command-line error.
void checkEncodingOptions(const EncodingOptions& options, bool encodesHere);
// --crf within `codec`'s range; throws CLI::ValidationError.
void checkCrf(const VideoQuality& quality, const std::string& codec);

// The CRF to encode `codec` with: --crf where given, else --quality's (checked already).
int crfOf(const VideoQuality& quality, const std::string& codec);
// The options into a video's format, whose size and rate are set already (the bit-rate ceiling follows them).
void applyEncoding(const EncodingOptions& options, VideoFormat& format);
// The options as render reads them back: what batch passes on to its renders.
std::vector<std::string> codecArguments(const EncodingOptions& options);  // --codec, --preset, --audio-bitrate
std::vector<std::string> qualityArguments(const VideoQuality& quality); // --crf where given, else --quality

} // namespace gloamer
