// replay_command.cpp -- gloamer replay: a frame data file drawn offline, frame by frame, into pictures or a silent video.

#include <cstdlib>
#include <memory>

#include "host/commands/command_line.h"
#include "host/commands/encoding_options.h"
#include "host/offline/render_job.h"
#include "host/replay/replay_job.h"
#include "host/video/video_quality.h"

namespace gloamer {

namespace {

struct ReplayOptions {
    std::string data;
    std::string output;
    std::string size = "590x430";
    VideoQuality quality;
    bool overwrite = false;
    bool quiet = false;
    std::string progress; // --progress FILE
};

int runReplay(const ReplayOptions& options, const CommonOptions& common)
{
    OutputRequest output = outputFor(options.output, options.overwrite, options.size);
    output.inputs.push_back(options.data);
    output.format.crf = crfOf(options.quality, output.format.codec);
    checkOutput(output); // the cheap refusals first, before the data is read
    if (!options.progress.empty())
        checkProgressFile(options.progress, options.overwrite, options.output, output.inputs);
    auto data = std::make_shared<const FrameData>(readFrameData(options.data));

    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    RenderJob job = replayJob(common.pluginPath, data, output);
    if (options.quality.crf < 0) // the data's frame rate is known now
        output.format.maxKbps = uploadCeilingKbps(options.quality.name, output.format.width, output.format.height,
                                                  output.format.fps);
    return runRenderJob(job, output, options.quiet, options.progress);
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
    addSizeOption(*replay, options->size);
    addQualityOptions(*replay, options->quality, false);
    replay->add_flag("-y,--overwrite", options->overwrite, "Replace an existing output");
    replay->add_flag("-q,--quiet", options->quiet, "Print no progress bar");
    addProgressOption(*replay, options->progress);
    addPluginOption(*replay, commandLine.common);
    replay->footer("Needs no display. Every frame gets exactly the tick and rows stored for it, so gloamer.exe replay "
                   "draws the same frames on Windows.");
    replay->callback([&commandLine, options] {
        checkCrf(options->quality, VideoFormat().codec);
        commandLine.action = [&commandLine, options] { return runReplay(*options, commandLine.common); };
    });
}

} // namespace gloamer
