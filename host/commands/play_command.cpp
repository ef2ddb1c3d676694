// play_command.cpp -- `gloamer play [FILE]`: a file (or the demo track) heard, and the plug-in drawing it.
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "host/audio/playlist.h"
#include "host/analysis/spectrum_shaper.h"
#include "host/audio/audio_decoder.h"
#include "host/commands/command_line.h"
#include "host/core/plugin_library.h"
#include "host/logo/logo_folder.h"
#include "host/player/display_check.h"
#include "host/player/playlist_player.h"
#include "host/player/run_visualizer.h"
#include "host/process/host_error.h"

namespace gloamer {

namespace {

struct PlayOptions {
    std::vector<std::string> inputs; // none: the demo track
    double fps = 0;        // 0: no cap
    FrameLoopOptions window; // the frame loop's options; --fps and the shaping are copied in
    std::string size;
    SpectrumShaping shaping;
    double seconds = 0;    // 0: to the end
    bool shuffle = false;
    std::optional<uint64_t> seed;
    bool loop = false;
};

int runPlay(const PlayOptions& options, const CommonOptions& common)
{
    std::vector<PlaylistEntry> entries =
        options.inputs.empty() ? std::vector<PlaylistEntry>{{"", ""}} : expandInputs(options.inputs);
    if (options.shuffle) {
        uint64_t seed = options.seed ? *options.seed : std::random_device()();
        shuffleEntries(entries, seed);
        // Said so that an order liked can be had again.
        std::printf("Shuffled %zu tracks (--seed %llu).\n", entries.size(), (unsigned long long)seed);
    }
    std::unique_ptr<LogoFolder> logo;
    // The cover comes from the one opening of the first track that plays it: a stream cannot be read twice, and a
    // file need not be. A first track that does not open is left to the playlist, which skips it.
    std::unique_ptr<AudioDecoder> first;
    if (common.logo.picture == "cover" && !entries.empty() && !entries[0].location.empty()) {
        try {
            first = std::make_unique<AudioDecoder>(entries[0].location);
        } catch (const HostError&) {
            if (entries.size() == 1)
                throw;
        }
    }
    const std::string plugin = pluginWithLogo(chosenPluginPath(common.pluginPath), common.logo,
                                              entries.empty() ? "" : entries[0].location, logo,
                                              first ? &first->covers() : nullptr);
    auto openFeed = [&](bool window) -> std::unique_ptr<AudioFeed> {
        auto feed = std::make_unique<PlaylistFeed>(
            entries, options.loop, options.seconds > 0 ? std::optional<double>(options.seconds) : std::nullopt,
            std::move(first));
        if (!feed->silentReason().empty())
            std::fprintf(stderr, "gloamer: no audio output (%s): visualizing without sound\n",
                         feed->silentReason().c_str());
        feed->announce(window ? keysText : nullptr);
        return feed;
    };
    FrameLoopOptions loop = options.window;
    loop.maxFramesPerSecond = options.fps;
    loop.shaping = options.shaping;
    loop.title = "Gloamer";
    readWindowSize(options.size, loop);
    return runVisualizer(plugin, openFeed, loop);
}

} // namespace

void addPlayCommand(CLI::App& app, CommandLine& commandLine)
{
    auto options = std::make_shared<PlayOptions>();
    CLI::App* play = app.add_subcommand("play", "Play music, or the demo track, with the visualizer");
    play->add_option("FILE", options->inputs,
                     "Music or video files (WAV, FLAC, Ogg, Opus, MP3, M4A, ...), folders of them, playlists "
                     "(M3U, M3U8, PLS), - for standard input, or http(s) URLs; none: the demo")
        ->type_name("");
    play->add_flag("--shuffle", options->shuffle, "Play the tracks in a random order (printed as a --seed)");
    play->add_option("--seed", options->seed, "The shuffle's order: the same number, the same order")
        ->type_name("N");
    play->add_flag("--loop", options->loop, "Start over after the last track");
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
