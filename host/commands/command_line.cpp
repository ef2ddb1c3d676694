// command_line.cpp -- shared options, parsing and the one place where failures become exit statuses.
#include "host/commands/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>

#include "host/analysis/spectrum_shaper.h"
#include "host/core/gpu_choice.h"
#include "host/logo/logo_picture.h"
#include "host/player/frame_loop.h"
#include "host/process/failure_report.h"
#include "host/process/host_error.h"
#include "host/process/interrupt.h"
#include "host/video/output.h"

namespace gloamer {

void addCommonOptions(CLI::App& app, CommandLine& commandLine)
{
    app.set_version_flag("--version", std::string("gloamer ") + GLOAMER_VERSION);
    addPluginOption(app, commandLine.common);
    app.footer("With no command, gloamer plays its built-in demo track; with no display, it renders it to a video.\n"
               "Exit status: 0 done, 1 failed, 2 wrong command line, 130 stopped by Ctrl-C.");
}

void addPluginOption(CLI::App& command, CommonOptions& options)
{
    command.add_option("--plugin", options.pluginPath,
                       "The vis plug-in library to run (default: vis_gloamer.so beside gloamer)")
        ->check(CLI::Validator([](std::string& path) { return path.empty() ? "no plug-in named" : ""; }, ""))
        ->type_name("PATH");
}

void addLogoOptions(CLI::App& command, CommonOptions& options, bool coverAllowed)
{
    command
        .add_option("--logo", options.logo.picture,
                    std::string("Draw this picture as the logo (PNG, JPEG, WebP, BMP, GIF...") +
                        (coverAllowed ? "; cover: the music file's own cover" : "") +
                        "); black in it is see-through, as in the plug-in's own logo")
        ->type_name(coverAllowed ? "PICTURE|cover" : "PICTURE");
    command.add_option("--logo-size", options.logo.size, "Fit the logo into an N x N square (16 to 1024)")
        ->check(numberBetween(smallestLogoSize, largestLogoSize, true))
        ->type_name("N")
        ->capture_default_str();
}

void addSizeOption(CLI::App& command, std::string& size, const std::string& description)
{
    auto readable = [](std::string& text) {
        try {
            int width = 0, height = 0;
            parseFrameSize(text, width, height);
        } catch (const HostError&) {
            return "'" + text + "' is not a size like 1280x720 (16x16 to 7680x4320)";
        }
        return std::string();
    };
    command.add_option("--size", size, description)
        ->check(CLI::Validator(readable, ""))
        ->type_name("WxH")
        ->capture_default_str();
}

void addWindowOptions(CLI::App& command, FrameLoopOptions& options, std::string& size)
{
    command.add_flag("--fullscreen", options.fullscreen, "Start filling the display (f toggles it)");
    command.add_flag("-q,--quiet", options.quiet, "Print no line on the GL renderer that draws");
    addSizeOption(command, size, "The window's size (default: the plug-in's own)");
    command.add_option("--display", options.display, "Open the window on display N (1 for the first)")
        ->check(numberBetween(1, 64, true))
        ->type_name("N");
}

void readWindowSize(const std::string& size, FrameLoopOptions& options)
{
    if (!size.empty())
        parseFrameSize(size, options.width, options.height);
}

void addFpsOption(CLI::App& command, int& fps)
{
    command.add_option("--fps", fps, "Frames a second, 1 to 240")
        ->check(numberBetween(1, 240, true))
        ->type_name("N")
        ->capture_default_str();
}

void addSpanOptions(CLI::App& command, double& start, double& duration, const std::string& what)
{
    command.add_option("--start", start, "Start this many seconds into the track")
        ->check(positiveNumber(true))
        ->type_name("SECONDS");
    command.add_option("--duration", duration, what + " this many seconds (default: to the end)")
        ->check(positiveNumber(false))
        ->type_name("SECONDS");
}

void addProgressOption(CLI::App& command, std::string& path)
{
    command.add_option("--progress", path,
                       "Also write the progress for scripts to FILE (- for standard output): a JSON line "
                       "{\"frame\",\"total\",\"fps\",\"elapsed\",\"state\"} twice a second and at the end, "
                       "state running, done or stopped, and once known \"renderer\" and \"software\" (true on the CPU); "
                       "a pipe is written into, an existing file replaced only with --overwrite")
        ->type_name("FILE");
}

void addGpuOption(CLI::App& command, std::string& gpu)
{
    command.add_option("--gpu", gpu,
                       "The device that draws: auto (a GPU where one can, else software), N (from 0, as gloamer "
                       "devices lists them), a part of a GPU's name, or software")
        ->check(CLI::Validator(
            [](std::string& text) {
                return parseGpuRequest(text) ? std::string()
                                             : "'" + text + "' is not auto, a device number, a name or software";
            },
            ""))
        ->type_name("GPU")
        ->capture_default_str();
}

void addShapingOptions(CLI::App& command, SpectrumShaping& shaping)
{
    command.add_option("--sensitivity", shaping.sensitivity,
                       "Scale the spectrum fed to the visualizer, 0 to 4: above 1 quiet music moves more, below 1 "
                       "loud music glows less")
        ->check(numberBetween(0, 4, false))
        ->type_name("X")
        ->capture_default_str();
    command.add_flag("--auto-sensitivity", shaping.autoGain,
                     "Follow the music's loudness, so that quiet and loud songs move alike (a toggles it)");
    command.add_flag("--calm", shaping.calm,
                     "Let the fed spectrum rise only gradually from frame to frame: no sudden flashes of the glow");
}

void addAudioFileArgument(CLI::App& command, std::string& file)
{
    command.add_option("FILE", file, "Music or video file (WAV, FLAC, Ogg, Opus, MP3, M4A, ...), - for standard input, or an http(s) URL; none: the demo")
        ->type_name("");
}

namespace {

// Parses, runs the chosen command and turns every failure into one line on stderr.
int run(CLI::App& app, CommandLine& commandLine, int argc, char** argv)
{
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        bool strayWord = app.get_subcommands().empty() && dynamic_cast<const CLI::ExtrasError*>(&error);
        return reportParseError(app, error, strayWord ? "to play a file: gloamer play FILE; see gloamer --help"
                                                      : "see gloamer --help");
    }

    installInterruptHandlers();
    std::function<int()>& action = commandLine.action ? commandLine.action : commandLine.defaultAction;
    if (!action) {
        std::fprintf(stderr, "gloamer: no command given (see gloamer --help)\n");
        return 2;
    }
    try {
        return action();
    } catch (...) {
        return reportCurrentFailure();
    }
}

} // namespace

int runCommandLine(CLI::App& app, CommandLine& commandLine, int argc, char** argv)
{
    // What went to stdout (help, devices, play's banner) counts.
    return statusWithStandardOutput(run(app, commandLine, argc, argv));
}

} // namespace gloamer
