// stream_command.cpp -- `gloamer stream INPUT... --to URL`: the visualizer and its music sent live to a server.
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "host/audio/playlist.h"
#include "host/commands/command_line.h"
#include "host/commands/encoding_options.h"
#include "host/core/plugin_library.h"
#include "host/logo/logo_folder.h"
#include "host/process/host_error.h"
#include "host/stream/stream_options.h"

namespace gloamer {

namespace {

struct StreamOptions {
    std::vector<std::string> inputs; // none: the demo track
    StreamOutputOptions output;
    std::string size = "1280x720";
    int fps = 30;
    bool shuffle = false;
    std::optional<uint64_t> seed;
    bool loop = false;
    double seconds = 0;
    long tracks = 0;
    SpectrumShaping shaping;
};

int runStreamCommand(const StreamOptions& options, const CommonOptions& common)
{
    StreamRunOptions run = streamRunOptionsFor(options.output, options.size, options.fps);
    run.shaping = options.shaping;
    checkStreamProgress(run, options.inputs);
    std::vector<PlaylistEntry> entries =
        options.inputs.empty() ? std::vector<PlaylistEntry>{{"", ""}} : expandInputs(options.inputs);
    FILE* messages = run.target.kind == StreamKind::StandardOutput ? stderr : stdout;
    if (options.shuffle) {
        const uint64_t seed = options.seed ? *options.seed : std::random_device()();
        shuffleEntries(entries, seed);
        std::fprintf(messages, "Shuffled %zu tracks (--seed %llu).\n", entries.size(), (unsigned long long)seed);
    }
    StreamAudioLimits limits;
    limits.loop = options.loop;
    limits.tracks = options.tracks;
    if (options.seconds > 0)
        limits.endFrame = (int64_t)(options.seconds * StreamSound::sampleRate);
    StreamAudio sound(std::move(entries), limits);
    std::unique_ptr<LogoFolder> logo;
    run.pluginPath = pluginWithLogo(chosenPluginPath(common.pluginPath), common.logo, "", logo);
    return runStream(run, sound);
}

} // namespace

void addStreamOutputOptions(CLI::App& command, StreamOutputOptions& options, bool required)
{
    CLI::Option* to =
        command
            .add_option("--to", options.to,
                        std::string(required ? "Where to stream: " : "Stream instead of showing a window, to ") +
                            "an rtmp:// or rtmps:// URL (FLV), an srt:// URL (MPEG-TS), a folder or .m3u8 path "
                            "for HLS, or - for MPEG-TS on standard output")
            ->check(CLI::Validator(
                [](std::string& place) {
                    try {
                        streamTargetFor(place);
                    } catch (const HostError& error) {
                        return std::string(error.what());
                    }
                    return std::string();
                },
                ""))
            ->type_name("URL");
    if (required)
        to->required();
    addQualityOptions(command, options.quality, false);
    command.add_option("--bitrate", options.bitrate,
                       "The video's bit rate ceiling in kbit/s, with a buffer of two seconds of it (default: what "
                       "video sites ask at the size, by --quality)")
        ->check(numberBetween(100, 100000, true))
        ->type_name("KBPS");
    addAudioBitrateOption(command, options.audioKbps);
    addPresetOption(command, options.preset, false);
    command.add_option("--retry", options.retry,
                       "Tries at the server after it goes away or refuses, in a row, pausing 1 s, 2 s, 4 s... up to "
                       "30 s between them, before giving up (0: give up at once)")
        ->check(numberBetween(0, 1000000, true))
        ->type_name("N")
        ->capture_default_str();
    command.add_option("--title-file", options.titleFile,
                       "Keep the title of what plays in FILE as one line, replaced whole at each track (for overlays)")
        ->type_name("FILE");
    command.add_option("--progress", options.progress,
                       "Also write the stream's progress for scripts to FILE (- for standard output): a JSON line "
                       "{\"frame\",\"drawn\",\"fps\",\"drawn_fps\",\"elapsed\",\"bytes\",\"connected\",\"title\","
                       "\"state\"} twice a second and at the end; a pipe is written into, a file replaced")
        ->type_name("FILE");
    // live has -q of its own already (its window's), which then also quiets the stream's lines.
    if (required)
        command.add_flag("-q,--quiet", options.quiet, "Print no rate lines while streaming");
}

void addStreamCommand(CLI::App& app, CommandLine& commandLine)
{
    auto options = std::make_shared<StreamOptions>();
    CLI::App* stream = app.add_subcommand("stream", "Stream music, or the demo track, with the visualizer to a "
                                                    "server (RTMP, SRT), as HLS, or to standard output");
    stream->add_option("FILE", options->inputs,
                       "Music or video files, folders of them, playlists (M3U, M3U8, PLS), - for standard input, or "
                       "http(s) URLs; none: the demo")
        ->type_name("");
    addStreamOutputOptions(*stream, options->output, true);
    addSizeOption(*stream, options->size);
    addFpsOption(*stream, options->fps);
    stream->add_flag("--shuffle", options->shuffle, "Play the tracks in a random order (printed as a --seed)");
    stream->add_option("--seed", options->seed, "The shuffle's order: the same number, the same order")
        ->type_name("N");
    stream->add_flag("--loop", options->loop, "Start over after the last track, for as long as the stream runs");
    stream->add_option("--duration", options->seconds, "End the stream after this many seconds")
        ->check(positiveNumber(false))
        ->type_name("SECONDS");
    stream->add_option("--tracks", options->tracks, "End the stream after this many tracks")
        ->check(numberBetween(1, 1e9, true))
        ->type_name("N");
    addShapingOptions(*stream, options->shaping);
    addTimeoutOption(*stream);
    addPluginOption(*stream, commandLine.common);
    addLogoOptions(*stream, commandLine.common, false);
    stream->footer("Runs on the wall clock without a display: when drawing falls behind, frames repeat the last "
                   "picture, never the sound. Ctrl-C or SIGTERM ends the stream properly (status 130 or 143).");
    stream->callback([&commandLine, options] {
        checkCrf(options->output.quality, "h264"); // a --crf out of H.264's range is a command-line error
        commandLine.action = [&commandLine, options] { return runStreamCommand(*options, commandLine.common); };
    });
}

} // namespace gloamer
