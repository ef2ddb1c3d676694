// replay_command.cpp -- gloamer replay: a frame data file drawn offline, frame by frame, into pictures or a silent video.

#include <memory>

#include "host/commands/command_line.h"
#include "host/host_error.h"
#include "host/plugin_library.h"
#include "host/render/offline_renderer.h"
#include "host/render/progress.h"
#include "host/replay/replay_job.h"
#include "host/video/frame_sink.h"
#include "host/visualizer/interrupt.h"

namespace gloamer {

namespace {

struct ReplayOptions {
    std::string data;
    std::string output;
    std::string size = "590x430";
    int crf = 20;
    bool overwrite = false;
    bool quiet = false;
};

int runReplay(const ReplayOptions& options, const CommonOptions& common)
{
    int width = 0, height = 0;
    parseFrameSize(options.size, width, height);
    bool pictures = isPictureSequence(options.output);
    if (!pictures && (width % 2 || height % 2))
        throw HostError("--size " + options.size + ": video needs an even width and height");
    checkOutputWritable(options.output, options.overwrite);
    auto data = std::make_shared<const FrameData>(readFrameData(options.data));

    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    VideoFormat format{width, height, (int)data->fps, options.crf};
    std::unique_ptr<FrameSink> sink =
        pictures ? openPictureSequence(options.output, format) : openVideoFile(options.output, format, AudioInput{});
    sink = runOnEncoderThread(std::move(sink), (size_t)width * height * 3, 8);

    Progress progress((long)data->frames.size(), options.quiet);
    RenderJob job;
    job.pluginPath = common.pluginPath.empty() ? defaultPluginPath() : common.pluginPath;
    job.width = width;
    job.height = height;
    feedFromFrameData(job, data);

    return runRenderJob(job, *sink, progress);
}

} // namespace

void addReplayCommand(CLI::App& app, CommandLine& commandLine)
{
    auto options = std::make_shared<ReplayOptions>();
    CLI::App* replay =
        app.add_subcommand("replay", "Draw a frame data file from gloamer analyse into pictures or a silent video");
    replay->add_option("DATA", options->data, "The frame data file")->required()->type_name("");
    replay->add_option("-o,--output", options->output, "DIR/%05d.png for numbered pictures; or OUT.mp4, .mkv or .mov")
        ->required()
        ->type_name("OUT");
    replay->add_option("--size", options->size, "Picture size")->type_name("WxH")->capture_default_str();
    replay->add_option("--crf", options->crf, "H.264 quality, 0 (lossless) to 51 (worst)")
        ->check(CLI::Range(0, 51))
        ->type_name("N")
        ->capture_default_str();
    replay->add_flag("--overwrite", options->overwrite, "Replace an existing output");
    replay->add_flag("-q,--quiet", options->quiet, "Print no progress");
    addPluginOption(*replay, commandLine.common);
    replay->footer("Needs no display. Every frame gets exactly the tick and rows stored for it, so gloamer.exe replay "
                   "draws the same frames on Windows.");
    replay->callback([&commandLine, options] {
        commandLine.action = [&commandLine, options] { return runReplay(*options, commandLine.common); };
    });
}

} // namespace gloamer
