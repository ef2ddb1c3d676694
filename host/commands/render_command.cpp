// render_command.cpp -- gloamer render: the visualizer drawn offline, frame by frame, into a video with the music.

#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "host/analysis/frame_span.h"
#include "host/analysis/spectrum_analyser.h"
#include "host/audio/audio_track.h"
#include "host/commands/command_line.h"
#include "host/host_error.h"
#include "host/plugin_library.h"
#include "host/render/offline_renderer.h"
#include "host/render/progress.h"
#include "host/video/frame_sink.h"
#include "host/visualizer/interrupt.h"

namespace gloamer {

namespace {

struct RenderOptions {
    std::string input;  // empty: the demo track
    std::string output;
    std::string size = "1280x720";
    int fps = 30;
    double start = 0;
    double duration = 0; // 0: to the end of the track
    int crf = 20;
    bool overwrite = false;
    bool quiet = false;
};

int runRender(const RenderOptions& options, const CommonOptions& common)
{
    int width = 0, height = 0;
    parseFrameSize(options.size, width, height);
    if (options.fps < 1 || options.fps > 240)
        throw HostError("--fps " + std::to_string(options.fps) + " is out of range (1 to 240)");
    bool pictures = isPictureSequence(options.output);
    if (!pictures && (width % 2 || height % 2))
        throw HostError("--size " + options.size + ": video needs an even width and height");
    checkOutputWritable(options.output, options.overwrite);

    AudioTrack track = loadTrackOrDemo(options.input);
    const FrameSpan span = frameSpanOf(track, options.start, options.duration, options.fps);
    const int64_t frameCount = span.frameCount;
    const int64_t firstAudioFrame = span.firstAudioFrame;

    // Rendering needs no screen; the platform layer's offscreen windows take any size.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    installInterruptHandlers();
    // Past a file-size limit a write should fail like one on a full disk, not kill gloamer mid-file.
    signal(SIGXFSZ, SIG_IGN);

    VideoFormat format{width, height, options.fps, options.crf};
    std::unique_ptr<FrameSink> sink;
    if (pictures) {
        sink = openPictureSequence(options.output, format);
    } else {
        AudioInput audio{track.sampleRate, track.channelCount,
                         track.samples.data() + firstAudioFrame * track.channelCount,
                         std::min<int64_t>((int64_t)track.frameCount() - firstAudioFrame,
                                           frameCount * track.sampleRate / options.fps)};
        sink = openVideoFile(options.output, format, audio);
    }
    sink = runOnEncoderThread(std::move(sink), (size_t)width * height * 3, 8);

    SpectrumAnalyser analyser;
    Progress progress(frameCount, options.quiet);
    RenderJob job;
    job.pluginPath = common.pluginPath.empty() ? defaultPluginPath() : common.pluginPath;
    job.width = width;
    job.height = height;
    job.fps = options.fps;
    job.frameCount = frameCount;
    job.sampleRate = track.sampleRate;
    job.channelCount = track.channelCount;
    job.startTick = span.startTick;
    job.fillAudioData = [&](int64_t frame, VisModule& module) {
        int64_t analysed = span.analysedFrameOf(frame, module.latencyMs);
        analyser.analyse(track, analysed, module.spectrumChannelCount, module.waveformChannelCount,
                         module.spectrumData, module.waveformData);
    };

    return runRenderJob(job, *sink, progress);
}

} // namespace

void addRenderCommand(CLI::App& app, CommandLine& commandLine)
{
    auto options = std::make_shared<RenderOptions>();
    CLI::App* render = app.add_subcommand("render", "Render an audio file, or the demo track, to a video with its music");
    addAudioFileArgument(*render, options->input);
    render->add_option("-o,--output", options->output, "OUT.mp4, .mkv or .mov; or DIR/%05d.png for numbered pictures")
        ->required()
        ->type_name("OUT");
    render->add_option("--size", options->size, "Picture size")->type_name("WxH")->capture_default_str();
    render->add_option("--fps", options->fps, "Frames a second")->type_name("N")->capture_default_str();
    render->add_option("--start", options->start, "Start this many seconds into the track")->type_name("SECONDS");
    render->add_option("--duration", options->duration, "Render this many seconds (default: to the end)")
        ->check(CLI::PositiveNumber)
        ->type_name("SECONDS");
    render->add_option("--crf", options->crf, "H.264 quality, 0 (lossless) to 51 (worst)")
        ->check(CLI::Range(0, 51))
        ->type_name("N")
        ->capture_default_str();
    render->add_flag("--overwrite", options->overwrite, "Replace an existing output");
    render->add_flag("-q,--quiet", options->quiet, "Print no progress");
    addPluginOption(*render, commandLine.common);
    render->footer("Needs no display. Ctrl-C stops at the next frame and keeps a playable video of what was drawn.");
    render->callback([&commandLine, options] {
        commandLine.action = [&commandLine, options] { return runRender(*options, commandLine.common); };
    });
}

} // namespace gloamer
