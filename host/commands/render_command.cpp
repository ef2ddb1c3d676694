// render_command.cpp -- gloamer render: the visualizer drawn offline, frame by frame, into a video with the music.

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "host/analysis/frame_span.h"
#include "host/core/heard_rows.h"
#include "host/analysis/spectrum_analyser.h"
#include "host/analysis/spectrum_shaper.h"
#include "host/audio/audio_track.h"
#include "host/audio/track_stream.h"
#include "host/commands/command_line.h"
#include "host/core/gpu_choice.h"
#include "host/logo/logo_folder.h"
#include "host/process/host_error.h"
#include "host/core/plugin_library.h"
#include "host/offline/offline_renderer.h"
#include "host/offline/render_job.h"
#include "host/video/video_quality.h"
#include "host/offline/frame_feed.h"
#include "host/offline/part_plan.h"
#include "host/offline/random_catch_up.h"

namespace gloamer {

namespace {

// AAC, like most players, takes no audio slower than this; such music is left out of the video, with a word.
constexpr int lowestEncodedRate = 8000;

struct RenderOptions {
    std::string input;  // empty: the demo track
    std::string output;
    std::string size = "1280x720";
    int fps = 30;
    double start = 0;
    double duration = 0; // 0: to the end of the track
    VideoQuality quality;
    int crf = 0; // what quality comes to for the codec, once the command line is read
    std::string codec = "h264";
    std::string preset = "veryfast";
    int audioKbps = 192;
    bool overwrite = false;
    bool quiet = false;
    std::string progress; // --progress FILE
    SpectrumShaping shaping;
    std::string part; // "K/N": that part alone, video only, for gloamer join; empty: the whole render
    int64_t warmup = defaultWarmupFrames;
    std::string gpu = "auto";
};

// What a part's pictures depend on besides its music, so that gloamer join refuses parts of other renders.
std::string pictureOptionsText(const RenderOptions& options, const CommonOptions& common)
{
    char text[256];
    // --warmup is a part's own: it draws frames it does not write.
    std::snprintf(text, sizeof text, "%s %d fps %.17g+%.17g crf %d %s %s %s x%.17g calm %d auto %d",
                  options.size.c_str(), options.fps, options.start, options.duration, options.crf,
                  options.quality.name.c_str(), options.codec.c_str(), options.preset.c_str(),
                  options.shaping.sensitivity, options.shaping.calm, options.shaping.autoGain);
    return std::string(text) + "\nplugin " + common.pluginPath + "\nlogo " + common.logo + " " +
           std::to_string(common.logoSize);
}

// The first seconds of the music as decoded, for a part's origin: a part of a file and one of the same music
// piped have the same.
std::string musicOpening(const std::string& input, bool counted, const AudioTrack& held)
{
    constexpr double seconds = 10;
    const AudioTrack track = counted ? loadAudioSpan(input, 0, seconds) : AudioTrack{};
    const AudioTrack& opening = counted ? track : held;
    const size_t frames = std::min<size_t>(opening.heldFrames(), (size_t)(seconds * opening.sampleRate));
    return std::to_string(opening.sampleRate) + " Hz " + std::to_string(opening.channelCount) + "\n" +
           std::string((const char*)opening.samples.data(), frames * (size_t)opening.channelCount * 2);
}

int runRender(const RenderOptions& options, const CommonOptions& common)
{
    OutputRequest output = outputFor(options.output, options.overwrite, options.size);
    output.format.fps = options.fps;
    output.format.crf = options.crf;
    if (options.quality.crf < 0)
        output.format.maxKbps = uploadCeilingKbps(options.quality.name, output.format.width, output.format.height,
                                                  options.fps);
    output.format.codec = options.codec;
    output.format.preset = options.preset;
    output.format.audioKbps = options.audioKbps;
    checkOutput(output); // the cheap refusals first, before the music is read
    const bool pictures = isPictureSequence(options.output);
    if (!options.part.empty() && pictures)
        throw HostError("--part writes a video for gloamer join: name it .mp4, .mkv or .mov");
    if (!options.input.empty())
        output.inputs.push_back(options.input);
    if (!common.logo.empty() && common.logo != "cover")
        output.inputs.push_back(common.logo);
    if (!options.progress.empty())
        checkProgressFile(options.progress, options.overwrite, options.output, output.inputs);

    // A video of the music to its end decodes it as the frames go, holding a window of it. Where the length is
    // needed first (a part's plan and tag, the names of pictures to the end), a file is counted through, then
    // decoded the same way from the first frame fed, and an input read once is held whole. Anything else
    // reads only the span it draws.
    const bool lengthFirst = !options.part.empty() || (pictures && options.duration <= 0);
    const bool counted = lengthFirst && !options.input.empty() && !readsAsStream(options.input);
    std::unique_ptr<TrackStream> stream;
    AudioTrack held; // the demo, a span, an input read once, or a counted file's length alone
    if (counted) {
        held = measureTrack(options.input);
    } else if (!lengthFirst && !options.input.empty() && options.duration <= 0) {
        stream = std::make_unique<TrackStream>(options.input, options.start);
        stream->need(stream->track().firstFrame + stream->track().sampleRate); // to tell a start past the end
    } else {
        held = options.part.empty() ? loadTrackSpanOrDemo(options.input, options.start,
                                                          audioSecondsRead(options.duration))
                                    : loadTrackOrDemo(options.input);
    }
    FrameSpan span = frameSpanOf(stream ? stream->track() : held, options.start, options.duration, options.fps);
    if (stream && !stream->ended())
        span.frameCount = unknownFrameCount;
    output.frameCount = stream ? 1 : span.frameCount;
    std::optional<PartPlan> part;
    if (!options.part.empty()) {
        part = planPart(span.frameCount, keyframeInterval(options.fps), *parsePartRequest(options.part),
                        options.warmup);
        output.frameCount = part->endFrame - part->firstFrame;
        output.format.comment = formatPartTag(
            PartTag{*part, options.fps, held.sampleRate, (int64_t)held.frameCount(), span.firstAudioFrame,
                    partOrigin(musicOpening(options.input, counted, held), pictureOptionsText(options, common),
                               GLOAMER_VERSION)});
    }
    if (counted) {
        const int64_t firstFed = firstFrameAnalysed(options.shaping, part ? part->warmupStart : 0);
        stream = std::make_unique<TrackStream>(options.input, (double)span.heardFrameOf(firstFed) / held.sampleRate);
    }
    const AudioTrack& track = stream ? stream->track() : held;
    if (part || pictures) {
        // no sound: a part's video gets the music from gloamer join
    } else if (track.sampleRate < lowestEncodedRate) {
        std::fprintf(stderr, "gloamer: warning: music at %d Hz cannot go into a video (%d Hz at least): the video "
                             "will be silent\n", track.sampleRate, lowestEncodedRate);
    } else if (stream) {
        output.audio = AudioInput{track.sampleRate, track.channelCount, nullptr, INT64_MAX,
                                  [&stream, first = span.firstAudioFrame](int64_t at, int64_t count, int16_t* into) {
                                      return stream->copy(first + at, count, into);
                                  }};
    } else {
        output.audio = AudioInput{track.sampleRate, track.channelCount,
                                  track.at(span.firstAudioFrame),
                                  std::min<int64_t>((int64_t)track.frameCount() - span.firstAudioFrame,
                                                    span.frameCount * track.sampleRate / options.fps)};
    }

    // Rendering needs no screen; the platform layer's offscreen windows take any size.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    // Past a file-size limit a write should fail like one on a full disk, not kill gloamer mid-file.
    signal(SIGXFSZ, SIG_IGN);

    RenderJob job;
    std::unique_ptr<LogoFolder> logo;
    job.pluginPath = pluginToRun(common, options.input, logo, &track.covers);
    job.width = output.format.width;
    job.height = output.format.height;
    job.fps = options.fps;
    job.frameCount = span.frameCount;
    job.sampleRate = track.sampleRate;
    job.channelCount = track.channelCount;
    job.startTick = span.startTick;
    job.fillAudioData = audioRowsFeed(track, span, options.shaping);
    if (stream) {
        if (!output.audio.read)
            stream->withoutMuxer();
        // Each frame has the audio its rows may look at and, a second past it, what the muxer takes; the frames
        // end where the music does.
        auto reach = [&stream, span, start = options.start, second = (int64_t)track.sampleRate](int64_t frame) {
            return streamReachesFrame(*stream, span, start, frame, second);
        };
        job.hasFrame = [reach](int64_t frame) {
            try {
                return reach(frame);
            } catch (const StopRequested&) {
                return false; // Ctrl-C during a read: the frames drawn make the video
            }
        };
        // The frames a part's calm or automatic gain goes over before its first drawn are read as they are
        // analysed; a stop meanwhile ends the render before its next frame, this one being a warm-up frame.
        job.fillAudioData = audioRowsFeed(track, span, options.shaping, [reach](int64_t frame) {
            try {
                reach(frame);
            } catch (const StopRequested&) {
            }
        });
    }
    // The device is chosen in the process that draws, and what the plug-in's context got is checked against it.
    auto chosenGpu = std::make_shared<std::optional<EglDevice>>();
    const GpuRequest gpu = *parseGpuRequest(options.gpu);
    job.prepare = [gpu, chosenGpu] { *chosenGpu = drawOnChosenGpu(gpu); };
    job.rendererStarted = [gpu, chosenGpu](const GlRenderer& gl) { checkDrawsOnChosenGpu(gpu, *chosenGpu, gl); };
    RandomCatchUp randomNumbers;
    if (part) {
        // The part's own frames, after warm-up frames that bring the trail to where a whole render has it, and
        // with the plug-in's random numbers stepped on past the frames it never draws.
        job.firstFrame = part->warmupStart;
        job.firstWrittenFrame = part->firstFrame;
        job.frameCount = part->endFrame;
        job.beforeFrame = [&randomNumbers](int64_t frame) { randomNumbers.beforeFrame(frame); };
        job.afterRender = [&randomNumbers] {
            if (!randomNumbers.steady())
                std::fprintf(stderr, "gloamer: warning: the plug-in drew a varying count of random numbers a frame, "
                                     "so this part's may differ from those of a render in one piece\n");
        };
    }
    int status = runRenderJob(job, output, options.quiet, options.progress);
    // A counted file's warning came with its count.
    if (stream && !counted)
        printInputWarning(stream->warning());
    return status;
}

// "gloamer-demo.mp4", or the first of "gloamer-demo-2.mp4", "-3", ... that is free.
std::string freeDemoName()
{
    std::string name = "gloamer-demo.mp4";
    for (int number = 2; std::filesystem::exists(std::filesystem::symlink_status(name)); ++number) {
        if (number > 9999)
            throw HostError("no free name for the demo's video in this folder (gloamer-demo-2.mp4 to -9999 are taken)");
        name = "gloamer-demo-" + std::to_string(number) + ".mp4";
    }
    return name;
}

} // namespace

int renderDemoInstead(const std::string& reason, const CommonOptions& common)
{
    RenderOptions options;
    options.output = freeDemoName();
    options.crf = crfFor(options.quality.name, options.codec);
    std::string why = reason;
    why[0] = (char)std::toupper((unsigned char)why[0]);
    std::printf("%s: rendering the demo to %s instead.\n", why.c_str(),
                (std::filesystem::current_path() / options.output).c_str());
    std::fflush(stdout);
    return runRender(options, common);
}

void addRenderCommand(CLI::App& app, CommandLine& commandLine)
{
    auto options = std::make_shared<RenderOptions>();
    CLI::App* render = app.add_subcommand("render", "Render an audio file, or the demo track, to a video with its music");
    addAudioFileArgument(*render, options->input);
    render->add_option("-o,--output", options->output, "OUT.mp4, .mkv or .mov; or DIR/%05d.png for numbered pictures")
        ->required()
        ->type_name("OUT");
    addSizeOption(*render, options->size);
    addFpsOption(*render, options->fps);
    addSpanOptions(*render, options->start, options->duration, "Render");
    addQualityOptions(*render, options->quality, true);
    render->add_option("--codec", options->codec,
                       "Video codec: h264, hevc, vp9 or av1, as this FFmpeg has them; or H.264 on a GPU's encoder: "
                       "nvenc (NVIDIA), vaapi (AMD, Intel) or qsv (Intel Quick Sync), where this machine has one")
        ->check(CLI::Validator([](std::string& name) { return videoCodecProblem(name); }, ""))
        ->type_name("NAME")
        ->capture_default_str();
    render->add_option("--preset", options->preset,
                       "The h264 and hevc encoders' speed, ultrafast to veryslow: slower makes smaller files of the "
                       "same quality (vp9 and av1 take their own)")
        ->check(CLI::IsMember({"ultrafast", "superfast", "veryfast", "faster", "fast", "medium", "slow", "slower",
                               "veryslow"}).description(""))
        ->type_name("NAME")
        ->capture_default_str();
    render->add_option("--audio-bitrate", options->audioKbps, "AAC bit rate in kbit/s, 32 to 512")
        ->check(numberBetween(32, 512, true))
        ->type_name("KBPS")
        ->capture_default_str();
    addShapingOptions(*render, options->shaping);
    render->add_option("--part", options->part,
                       "Render part K of N alone (K from 0 to N-1), video only, for gloamer join: whole keyframe "
                       "intervals, frames identical to those of a render in one piece")
        ->check(CLI::Validator(
            [](std::string& text) {
                return parsePartRequest(text) ? std::string()
                                              : "'" + text + "' is not a part like 0/4 (K from 0 to N-1)";
            },
            ""))
        ->type_name("K/N");
    render->add_option("--warmup", options->warmup,
                       "With --part: frames drawn, not written, before the part's first, so that the plug-in's "
                       "trail is as a render in one piece has it")
        ->check(numberBetween(1, 100000, true))
        ->type_name("FRAMES")
        ->capture_default_str();
    addGpuOption(*render, options->gpu);
    render->add_flag("-y,--overwrite", options->overwrite, "Replace an existing output");
    addTimeoutOption(*render);
    render->add_flag("-q,--quiet", options->quiet, "Print no progress bar");
    addProgressOption(*render, options->progress);
    addPluginOption(*render, commandLine.common);
    addLogoOptions(*render, commandLine.common, true);
    render->footer("Needs no display. Ctrl-C stops at the next frame and keeps a playable video of what was drawn.");
    render->callback([&commandLine, options] {
        options->crf = chosenCrf(options->quality, options->codec);
        commandLine.action = [&commandLine, options] { return runRender(*options, commandLine.common); };
    });
}

} // namespace gloamer
