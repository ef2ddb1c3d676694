// live_command.cpp -- `gloamer live [--device NAME]`: the plug-in drawing what an audio input hears.
#include <cmath>
#include <cstdio>
#include <memory>

#include "host/analysis/spectrum_shaper.h"
#include "host/commands/command_line.h"
#include "host/commands/encoding_options.h"
#include "host/core/plugin_library.h"
#include "host/logo/logo_folder.h"
#include "host/player/run_visualizer.h"
#include "host/process/host_error.h"
#include "host/stream/captured_sound.h"
#include "host/stream/stream_options.h"

namespace gloamer {

namespace {

struct LiveOptions {
    std::string device; // empty: the default input
    double fps = 0;
    FrameLoopOptions window; // the frame loop's options; --fps and the shaping are copied in
    std::string size;
    SpectrumShaping shaping;
    double seconds = 0; // 0: until quit
    StreamOutputOptions stream; // --to: streamed instead of shown
};

// live --to: the captured sound streamed, at --size (default 1280x720) and --fps (default 30).
int streamLive(const LiveOptions& options, const CommonOptions& common)
{
    if (options.fps != 0 && (options.fps != std::floor(options.fps) || options.fps > 240))
        throw UsageError("--fps with --to is a whole number of frames a second, 1 to 240");
    StreamRunOptions run = streamRunOptionsFor(options.stream, options.size.empty() ? "1280x720" : options.size,
                                               options.fps > 0 ? (int)options.fps : 30);
    run.shaping = options.shaping;
    run.quiet = options.window.quiet;
    checkStreamProgress(run, {});
    std::unique_ptr<LogoFolder> logo;
    run.pluginPath = pluginWithLogo(chosenPluginPath(common.pluginPath), common.logo, "", logo);
    CapturedSound sound(options.device, options.seconds > 0 ? std::optional<double>(options.seconds) : std::nullopt);
    std::string name = sound.deviceName().empty() ? "the default audio input"
                       : sound.monitorChosen()    ? "'" + sound.deviceName() + "' (what this computer plays)"
                                                  : "'" + sound.deviceName() + "'";
    std::fprintf(run.target.kind == StreamKind::StandardOutput ? stderr : stdout, "Capturing %s.\n", name.c_str());
    return runStream(run, sound);
}

int runLive(const LiveOptions& options, const CommonOptions& common)
{
    if (!options.stream.to.empty())
        return streamLive(options, common);
    std::unique_ptr<LogoFolder> logo;
    const std::string plugin = pluginWithLogo(chosenPluginPath(common.pluginPath), common.logo, "", logo);
    auto openFeed = [&](bool window) -> std::unique_ptr<AudioFeed> {
        auto feed = std::make_unique<CaptureFeed>(
            options.device, options.seconds > 0 ? std::optional<double>(options.seconds) : std::nullopt);
        std::string name = feed->deviceName().empty() ? "the default audio input (no monitor of an output is offered: "
                                                        "see gloamer devices)"
                           : feed->monitorChosen() ? "'" + feed->deviceName() + "' (what this computer plays)"
                                                   : "'" + feed->deviceName() + "'";
        std::printf("Capturing %s.%s\n", name.c_str(), window ? (std::string(" ") + keysText).c_str() : "");
        std::fflush(stdout);
        return feed;
    };
    FrameLoopOptions loop = options.window;
    loop.maxFramesPerSecond = options.fps;
    loop.shaping = options.shaping;
    readWindowSize(options.size, loop);
    return runVisualizer(plugin, openFeed, loop);
}

} // namespace

void addLiveCommand(CLI::App& app, CommandLine& commandLine)
{
    auto options = std::make_shared<LiveOptions>();
    CLI::App* live = app.add_subcommand("live", "Visualize live audio from an input (microphone, line in, monitor)");
    live->add_option("--device", options->device,
                     "The input, by name, by its number in `gloamer devices`, or by part of its name (default: the "
                     "monitor of the default output, else the default input)")
        ->type_name("NAME");
    live->add_option("--fps", options->fps, "Draw at most N frames a second")
        ->check(positiveNumber(false))
        ->type_name("N");
    live->add_option("--duration", options->seconds, "Stop after this many seconds")
        ->check(positiveNumber(false))
        ->type_name("SECONDS");
    addShapingOptions(*live, options->shaping);
    addWindowOptions(*live, options->window, options->size);
    addStreamOutputOptions(*live, options->stream, false);
    addPluginOption(*live, commandLine.common);
    addLogoOptions(*live, commandLine.common, false);
    live->footer(std::string("Without --device, what this computer plays, where PulseAudio or PipeWire offers the "
                             "default output's monitor.\nWith --to the sound is streamed with the pictures "
                             "(see gloamer stream --help), at --size (default 1280x720) and --fps (default 30).\n"
                             "In the visualizer's window: ") + keysText);

    live->callback([&commandLine, options] {
        checkCrf(options->stream.quality, "h264"); // a --crf out of H.264's range is a command-line error
        commandLine.action = [&commandLine, options] { return runLive(*options, commandLine.common); };
    });
}

} // namespace gloamer
