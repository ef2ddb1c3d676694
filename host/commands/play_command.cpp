// play_command.cpp -- `gloamer play [FILE]`: a file (or the demo track) heard, and the plug-in drawing it.
#include <cstdio>
#include <memory>

#include "host/audio/audio_track.h"
#include "host/analysis/spectrum_shaper.h"
#include "host/commands/command_line.h"
#include "host/logo/logo_folder.h"
#include "host/player/display_check.h"
#include "host/player/run_visualizer.h"

namespace gloamer {

namespace {

struct PlayOptions {
    std::string file;      // empty: the demo track
    double fps = 0;        // 0: no cap
    FrameLoopOptions window; // the frame loop's options; --fps and the shaping are copied in
    std::string size;
    SpectrumShaping shaping;
    double seconds = 0;    // 0: to the end
};

std::string minutesAndSeconds(double seconds)
{
    char text[32];
    int whole = (int)seconds;
    std::snprintf(text, sizeof(text), "%d:%02d", whole / 60, whole % 60);
    return text;
}

int runPlay(const PlayOptions& options, const CommonOptions& common)
{
    auto track = std::make_shared<AudioTrack>(loadTrackOrDemo(options.file));
    std::unique_ptr<LogoFolder> logo;
    const std::string plugin = pluginToRun(common, options.file, logo);
    auto openFeed = [&](bool window) -> std::unique_ptr<AudioFeed> {
        auto feed = std::make_unique<PlaybackFeed>(
            *track, options.seconds > 0 ? std::optional<double>(options.seconds) : std::nullopt);
        if (!feed->silentReason().empty())
            std::fprintf(stderr, "gloamer: no audio output (%s): visualizing without sound\n",
                         feed->silentReason().c_str());
        std::printf("Playing %s (%s).%s\n", track->name.c_str(),
                    minutesAndSeconds((double)track->frameCount() / track->sampleRate).c_str(),
                    window ? (std::string(" ") + keysText).c_str() : "");
        std::fflush(stdout);
        return feed;
    };
    FrameLoopOptions loop = options.window;
    loop.maxFramesPerSecond = options.fps;
    loop.shaping = options.shaping;
    loop.title = (!track->title.empty() ? track->title : options.file.empty() ? "The demo track" : track->name) +
                 " \u2014 Gloamer";
    readWindowSize(options.size, loop);
    return runVisualizer(plugin, openFeed, loop);
}

} // namespace

void addPlayCommand(CLI::App& app, CommandLine& commandLine)
{
    auto options = std::make_shared<PlayOptions>();
    CLI::App* play = app.add_subcommand("play", "Play an audio file, or the demo track, with the visualizer");
    addAudioFileArgument(*play, options->file);
    play->add_option("--fps", options->fps, "Draw at most N frames a second")
        ->check(positiveNumber(false))
        ->type_name("N");
    play->add_option("--duration", options->seconds, "Stop after this many seconds")
        ->check(positiveNumber(false))
        ->type_name("SECONDS");
    addShapingOptions(*play, options->shaping);
    addTimeoutOption(*play);
    addWindowOptions(*play, options->window, options->size);
    addPluginOption(*play, commandLine.common);
    addLogoOptions(*play, commandLine.common, true);
    play->footer(std::string("In the visualizer's window: ") + keysText);

    auto run = [&commandLine, options] { return runPlay(*options, commandLine.common); };
    play->callback([&commandLine, run] { commandLine.action = run; });
    // With no command and nothing to show a window on, the demo still gives something to watch: a video.
    commandLine.defaultAction = [&commandLine, run] {
        DisplayCheck display = checkDisplay();
        return display.problem.empty() ? run() : renderDemoInstead(display.problem, commandLine.common);
    };
}

} // namespace gloamer
