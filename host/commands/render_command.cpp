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
#include "host/analysis/spectrum_shaper.h"
#include "host/analysis/stream_reach.h"
#include "host/audio/track_loading.h"
#include "host/audio/track_stream.h"
#include "host/commands/command_line.h"
#include "host/commands/encoding_options.h"
#include "host/core/gpu_choice.h"
#include "host/core/plugin_library.h"
#include "host/logo/logo_folder.h"
#include "host/offline/frame_feed.h"
#include "host/offline/offline_renderer.h"
#include "host/offline/part_plan.h"
#include "host/offline/random_catch_up.h"
#include "host/offline/render_job.h"
#include "host/process/host_error.h"

namespace gloamer {

namespace {

struct RenderOptions {
    std::string input;  // empty: the demo track
    std::string output;
    std::string size = "1280x720";
    int fps = 30;
    double start = 0;
    double duration = 0; // 0: to the end of the track
    EncodingOptions encoding;
    bool overwrite = false;
    bool quiet = false;
    std::string progress; // --progress FILE
    SpectrumShaping shaping;
    std::string part; // "K/N": that part alone, video only, for gloamer join; empty: the whole render
    int64_t warmup = defaultWarmupFrames;
    std::string gpu = "auto";
};

// The music a render draws: decoded as the frames go, or held.
struct RenderMusic {
    std::unique_ptr<TrackStream> stream;
    AudioTrack held;      // the demo, a span, an input read once, or a counted file's length alone
    bool counted = false; // a file counted through for its length, then streamed from the first frame fed
    FrameSpan span;

    const AudioTrack& track() const { return stream ? stream->track() : held; }
};

// What a part's pictures depend on besides its music, so that gloamer join refuses parts of other renders.
std::string pictureOptionsText(const RenderOptions& options, const CommonOptions& common)
{
    const EncodingOptions& encoding = options.encoding;
    char text[256];
    // --warmup is a part's own: it draws frames it does not write.
    std::snprintf(text, sizeof text, "%s %d fps %.17g+%.17g crf %d %s %s %s x%.17g calm %d auto %d",
                  options.size.c_str(), options.fps, options.start, options.duration,
                  crfOf(encoding.quality, encoding.codec), encoding.quality.name.c_str(), encoding.codec.c_str(),
                  encoding.preset.c_str(), options.shaping.sensitivity, options.shaping.calm,
                  options.shaping.autoGain);
    return std::string(text) + "\nplugin " + common.pluginPath + "\nlogo " + common.logo.picture + " " +
           std::to_string(common.logo.size);
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

// The output as the command line names it, with the cheap refusals made before the music is read.
OutputRequest checkedOutput(const RenderOptions& options, const CommonOptions& common)
{
    OutputRequest output = outputFor(options.output, options.overwrite, options.size);
    output.format.fps = options.fps;
    applyEncoding(options.encoding, output.format);
    checkOutput(output);
    if (!options.part.empty() && isPictureSequence(options.output))
        throw HostError("--part writes a video for gloamer join: name it .mp4, .mkv or .mov");
    if (!options.input.empty())
        output.inputs.push_back(options.input);
    if (!common.logo.picture.empty() && common.logo.picture != "cover")
        output.inputs.push_back(common.logo.picture);
    if (!options.progress.empty())
        checkProgressFile(options.progress, options.overwrite, options.output, output.inputs);
    return output;
}

// A video of the music to its end decodes it as the frames go, holding a window of it. Where the length is
// needed first (a part's plan and tag, the names of pictures to the end), a file is counted through, then
// decoded the same way from the first frame fed (streamCountedMusic), and an input read once is held whole.
// Anything else reads only the span it draws.
RenderMusic openMusic(const RenderOptions& options, bool pictures)
{
    const bool lengthFirst = !options.part.empty() || (pictures && options.duration <= 0);
    RenderMusic music;
    music.counted = lengthFirst && !options.input.empty() && !readsAsStream(options.input);
    if (music.counted) {
        music.held = measureTrack(options.input);
    } else if (!lengthFirst && !options.input.empty() && options.duration <= 0) {
        music.stream = std::make_unique<TrackStream>(options.input, options.start);
        const AudioTrack& track = music.stream->track();
        music.stream->need(track.firstFrame + track.sampleRate); // to tell a start past the end
    } else {
        music.held = options.part.empty()
                         ? loadTrackSpanOrDemo(options.input, options.start, audioSecondsRead(options.duration))
                         : loadTrackOrDemo(options.input);
    }
    music.span = frameSpanOf(music.track(), options.start, options.duration, options.fps);
    if (music.stream && !music.stream->ended())
        music.span.frameCount = unknownFrameCount;
    return music;
}

// A part's frames and the tag by which gloamer join knows it for a part of this render.
PartPlan planRenderPart(const RenderOptions& options, const CommonOptions& common, const RenderMusic& music,
                        OutputRequest& output)
{
    const PartPlan part = planPart(music.span.frameCount, keyframeInterval(options.fps),
                                   *parsePartRequest(options.part), options.warmup);
    output.frameCount = part.endFrame - part.firstFrame;
    output.format.comment = formatPartTag(
        PartTag{part, options.fps, music.held.sampleRate, (int64_t)music.held.frameCount(), music.span.firstAudioFrame,
                partOrigin(musicOpening(options.input, music.counted, music.held),
                           pictureOptionsText(options, common), GLOAMER_VERSION)});
    return part;
}

// A counted file decoded from the first frame whose rows are analysed: a part's calm or automatic gain goes
// over the frames before it.
void streamCountedMusic(RenderMusic& music, const RenderOptions& options, const std::optional<PartPlan>& part)
{
    const int64_t firstFed = firstFrameAnalysed(options.shaping, part ? part->warmupStart : 0);
    music.stream = std::make_unique<TrackStream>(options.input,
                                                 (double)music.span.heardFrameOf(firstFed) / music.held.sampleRate);
}

// The music under the video, from where the render starts for as long as its frames last.
void addSound(OutputRequest& output, RenderMusic& music, const RenderOptions& options)
{
    const AudioTrack& track = music.track();
    if (tooSlowForAVideo(track.sampleRate))
        return; // the video is left silent
    if (music.stream) {
        output.audio = AudioInput{track.sampleRate, track.channelCount, nullptr, INT64_MAX,
                                  [&stream = music.stream, first = music.span.firstAudioFrame](
                                      int64_t at, int64_t count, int16_t* into) {
                                      return stream->copy(first + at, count, into);
                                  }};
    } else {
        output.audio = AudioInput{track.sampleRate, track.channelCount, track.at(music.span.firstAudioFrame),
                                  std::min<int64_t>((int64_t)track.frameCount() - music.span.firstAudioFrame,
                                                    music.span.frameCount * track.sampleRate / options.fps),
                                  {}};
    }
}

RenderJob renderJobFor(const OutputRequest& output, const RenderMusic& music, const RenderOptions& options)
{
    const AudioTrack& track = music.track();
    RenderJob job;
    job.width = output.format.width;
    job.height = output.format.height;
    job.fps = options.fps;
    job.frameCount = music.span.frameCount;
    job.sampleRate = track.sampleRate;
    job.channelCount = track.channelCount;
    job.startTick = music.span.startTick;
    job.fillAudioData = audioRowsFeed(track, music.span, options.shaping);
    return job;
}

// Each frame has the audio its rows may look at and, a second past it, what the muxer takes (when it takes
// the music); the frames end where the music does.
void feedFromStream(RenderJob& job, RenderMusic& music, const RenderOptions& options, bool muxed)
{
    TrackStream& stream = *music.stream;
    if (!muxed)
        stream.withoutMuxer();
    auto reach = [&stream, span = music.span, start = options.start,
                  second = (int64_t)stream.track().sampleRate](int64_t frame) {
        return streamReachesFrame(stream, span, start, frame, second);
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
    job.fillAudioData = audioRowsFeed(stream.track(), music.span, options.shaping, [reach](int64_t frame) {
        try {
            reach(frame);
        } catch (const StopRequested&) {
        }
    });
}

// The device is chosen in the process that draws, and what the plug-in's context got is checked against it.
void drawOnGpu(RenderJob& job, const std::string& choice)
{
    auto chosenGpu = std::make_shared<std::optional<EglDevice>>();
    const GpuRequest gpu = *parseGpuRequest(choice);
    job.prepare = [gpu, chosenGpu] { *chosenGpu = drawOnChosenGpu(gpu); };
    job.rendererStarted = [gpu, chosenGpu](const GlRenderer& gl) { checkDrawsOnChosenGpu(gpu, *chosenGpu, gl); };
}

// The part's own frames, after warm-up frames that bring the trail to where a whole render has it, and with the
// plug-in's random numbers stepped on past the frames it never draws.
void drawPartAlone(RenderJob& job, const PartPlan& part, RandomCatchUp& randomNumbers)
{
    job.firstFrame = part.warmupStart;
    job.firstWrittenFrame = part.firstFrame;
    job.frameCount = part.endFrame;
    job.beforeFrame = [&randomNumbers](int64_t frame) { randomNumbers.beforeFrame(frame); };
    job.afterRender = [&randomNumbers] {
        if (!randomNumbers.steady())
            std::fprintf(stderr, "gloamer: warning: the plug-in drew a varying count of random numbers a frame, "
                                 "so this part's may differ from those of a render in one piece\n");
    };
}

int runRender(const RenderOptions& options, const CommonOptions& common)
{
    OutputRequest output = checkedOutput(options, common);
    const bool pictures = isPictureSequence(options.output);
    RenderMusic music = openMusic(options, pictures);
    output.frameCount = music.stream ? 1 : music.span.frameCount;
    std::optional<PartPlan> part;
    if (!options.part.empty())
        part = planRenderPart(options, common, music, output);
    if (music.counted)
        streamCountedMusic(music, options, part);
    if (!part && !pictures) // a part's video gets the music from gloamer join
        addSound(output, music, options);

    // Rendering needs no screen; the platform layer's offscreen windows take any size.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    // Past a file-size limit a write should fail like one on a full disk, not kill gloamer mid-file.
    signal(SIGXFSZ, SIG_IGN);

    std::unique_ptr<LogoFolder> logo;
    RenderJob job = renderJobFor(output, music, options);
    job.pluginPath = pluginWithLogo(chosenPluginPath(common.pluginPath), common.logo, options.input, logo,
                                    &music.track().covers);
    if (music.stream)
        feedFromStream(job, music, options, output.audio.read != nullptr);
    drawOnGpu(job, options.gpu);
    RandomCatchUp randomNumbers;
    if (part)
        drawPartAlone(job, *part, randomNumbers);
    int status = runRenderJob(job, output, options.quiet, options.progress);
    // A counted file's warning came with its count.
    if (music.stream && !music.counted)
        printInputWarning(music.stream->warning());
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
    addEncodingOptions(*render, options->encoding);
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
        checkEncodingOptions(options->encoding, true);
        commandLine.action = [&commandLine, options] { return runRender(*options, commandLine.common); };
    });
}

} // namespace gloamer
