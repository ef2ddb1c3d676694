// join_command.cpp -- gloamer join: the parts that gloamer render --part K/N wrote, put back into one video with
// the whole music under it, encoded once.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "host/audio/track_loading.h"
#include "host/audio/track_stream.h"
#include "host/commands/command_line.h"
#include "host/commands/encoding_options.h"
#include "host/process/host_error.h"
#include "host/video/output.h"
#include "host/offline/part_plan.h"
#include "host/video/join.h"

namespace gloamer {

namespace {

struct JoinOptions {
    std::vector<std::string> parts;
    std::string audio; // empty: the demo track
    std::string output;
    int audioKbps = videoAudioKbps;
    bool overwrite = false;
};

struct Part {
    std::string path;
    PartTag tag;
};

// Every part of one render once, in order; refused with the part that is missing, doubled or foreign.
std::vector<Part> partsInOrder(const std::vector<std::string>& paths)
{
    std::vector<Part> parts;
    for (const std::string& path : paths) {
        std::optional<PartTag> tag = parsePartTag(videoComment(path));
        if (!tag)
            throw HostError("'" + path + "' is not a part of a render (gloamer render --part K/N writes those)");
        parts.push_back({path, *tag});
    }
    std::stable_sort(parts.begin(), parts.end(),
                     [](const Part& a, const Part& b) { return a.tag.plan.index < b.tag.plan.index; });
    const PartTag& first = parts[0].tag;
    for (size_t i = 0; i < parts.size(); ++i) {
        const PartTag& tag = parts[i].tag;
        if (tag.plan.count != first.plan.count || tag.plan.totalFrames != first.plan.totalFrames ||
            tag.fps != first.fps || tag.sampleRate != first.sampleRate || tag.trackFrames != first.trackFrames ||
            tag.firstAudioFrame != first.firstAudioFrame)
            throw HostError("'" + parts[i].path + "' is a part of another render than '" + parts[0].path + "'");
        const std::string difference = originDifference(tag.origin, first.origin);
        if (!difference.empty())
            throw HostError("'" + parts[i].path + "' was rendered from " + difference + " than '" + parts[0].path +
                            "': join only the parts of one render");
        if (i > 0 && tag.plan.index == parts[i - 1].tag.plan.index)
            throw HostError("'" + parts[i - 1].path + "' and '" + parts[i].path + "' are both part " +
                            std::to_string(tag.plan.index) + "/" + std::to_string(tag.plan.count));
    }
    for (int index = 0; index < first.plan.count; ++index)
        if (index >= (int)parts.size() || parts[index].tag.plan.index != index)
            throw HostError("part " + std::to_string(index) + "/" + std::to_string(first.plan.count) +
                            " is missing (render it with gloamer render --part " + std::to_string(index) + "/" +
                            std::to_string(first.plan.count) + ")");
    for (size_t i = 1; i < parts.size(); ++i)
        if (parts[i].tag.plan.firstFrame != parts[i - 1].tag.plan.endFrame)
            throw HostError("'" + parts[i].path + "' does not start where '" + parts[i - 1].path + "' ends");
    if (parts.back().tag.plan.endFrame != first.plan.totalFrames)
        throw HostError("the parts end at frame " + std::to_string(parts.back().tag.plan.endFrame) + " of " +
                        std::to_string(first.plan.totalFrames));
    return parts;
}

int runJoin(const JoinOptions& options)
{
    OutputRequest request;
    request.path = options.output;
    request.overwrite = options.overwrite;
    request.inputs = options.parts;
    if (!options.audio.empty())
        request.inputs.push_back(options.audio);
    request.format.width = request.format.height = 16;
    checkOutput(request);
    if (isPictureSequence(options.output))
        throw HostError("cannot join into pictures: name the output .mp4, .mkv or .mov");

    const std::vector<Part> parts = partsInOrder(options.parts);
    const PartTag& tag = parts[0].tag;
    // A file is counted through to check it, then decoded as the muxer takes it; an input read once is held whole.
    const bool counted = !options.audio.empty() && !readsAsStream(options.audio);
    AudioTrack track = counted ? measureTrack(options.audio) : loadTrackOrDemo(options.audio);
    if (track.sampleRate != tag.sampleRate || (int64_t)track.frameCount() != tag.trackFrames)
        throw HostError("'" + (options.audio.empty() ? std::string("the demo track") : options.audio) +
                        "' is not the music the parts were rendered from (add --audio with that file)");
    const int64_t musicFrames = std::min<int64_t>(tag.trackFrames - tag.firstAudioFrame,
                                                  tag.plan.totalFrames * track.sampleRate / tag.fps);
    std::unique_ptr<TrackStream> stream;
    AudioInput audio;
    if (tooSlowForAVideo(track.sampleRate)) {
        // the video is left silent
    } else if (counted) {
        stream = std::make_unique<TrackStream>(options.audio, (double)tag.firstAudioFrame / track.sampleRate);
        audio = AudioInput{track.sampleRate, track.channelCount, nullptr, musicFrames,
                           [&stream, first = tag.firstAudioFrame](int64_t at, int64_t count, int16_t* into) {
                               stream->need(first + at + count);
                               int64_t given = stream->copy(first + at, count, into);
                               stream->release(first + at + given);
                               return given;
                           }};
    } else {
        audio = AudioInput{track.sampleRate, track.channelCount, track.at(tag.firstAudioFrame), musicFrames, {}};
    }
    std::vector<JoinPart> videos;
    for (const Part& part : parts)
        videos.push_back({part.path, part.tag.plan.endFrame - part.tag.plan.firstFrame});
    joinVideos(videos, tag.fps, audio, options.audioKbps, options.output, options.overwrite);
    return 0;
}

} // namespace

void addJoinCommand(CLI::App& app, CommandLine& commandLine)
{
    auto options = std::make_shared<JoinOptions>();
    CLI::App* join = app.add_subcommand(
        "join", "Join the parts of a split render into one video, with the music under it");
    join->add_option("PARTS", options->parts, "Every part's video, in any order")->required()->type_name("");
    join->add_option("--audio", options->audio, "The music the parts were rendered from (none: the demo track)")
        ->type_name("FILE");
    join->add_option("-o,--output", options->output, "OUT.mp4, .mkv or .mov")->required()->type_name("OUT");
    addAudioBitrateOption(*join, options->audioKbps);
    join->add_flag("-y,--overwrite", options->overwrite, "Replace an existing output");
    join->footer("The pictures are copied, not encoded again; the output appears whole or not at all.");
    join->callback([&commandLine, options] { commandLine.action = [options] { return runJoin(*options); }; });
}

} // namespace gloamer
