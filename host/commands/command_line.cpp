// command_line.cpp -- shared options, parsing and the one place where failures become exit statuses.
#include "host/commands/command_line.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "host/audio/audio_track.h"
#include "host/host_error.h"
#include "host/render/offline_renderer.h"
#include "host/render/progress.h"
#include "host/video/frame_sink.h"
#include "host/visualizer/interrupt.h"

namespace gloamer {

void addCommonOptions(CLI::App& app, CommandLine& commandLine)
{
    app.set_version_flag("--version", std::string("gloamer ") + GLOAMER_VERSION);
    addPluginOption(app, commandLine.common);
    app.footer("With no command, gloamer plays its built-in demo track.\n"
               "Exit status: 0 done, 1 failed, 2 wrong command line, 130 stopped by Ctrl-C.");
}

void addPluginOption(CLI::App& command, CommonOptions& options)
{
    command.add_option("--plugin", options.pluginPath,
                       "The vis plug-in library to run (default: vis_gloamer.so beside gloamer)")
        ->type_name("PATH");
}

AudioTrack loadTrackOrDemo(const std::string& file)
{
    if (file.empty())
        return makeDemoTrack();
    std::string warning;
    AudioTrack track = loadAudioFile(file, &warning);
    if (!warning.empty())
        std::fprintf(stderr, "gloamer: warning: %s\n", warning.c_str());
    return track;
}

void addAudioFileArgument(CLI::App& command, std::string& file)
{
    command.add_option("FILE", file, "WAV, FLAC, Ogg, MP3 or another file libsndfile reads (none: the demo)")
        ->type_name("");
}

int runRenderJob(RenderJob& job, FrameSink& sink, Progress& progress)
{
    job.sink = &sink;
    job.progress = &progress;
    job.stopRequested = [] { return interruptRequested(); };
    RenderResult result;
    try {
        result = renderFrames(job);
        sink.finish();
    } catch (const HostError&) {
        sink.abandon();
        throw;
    }
    progress.finish(result.framesWritten, result.interrupted);
    if (result.interrupted && interruptRequested())
        return 128 + interruptSignal();
    return 0;
}

int runCommandLine(CLI::App& app, CommandLine& commandLine, int argc, char** argv)
{
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForVersion& version) {
        return app.exit(version);
    } catch (const CLI::ParseError& error) {
        std::string hint = app.get_subcommands().empty() && dynamic_cast<const CLI::ExtrasError*>(&error)
                               ? "to play a file: gloamer play FILE; see gloamer --help"
                               : "see gloamer --help";
        std::string message = error.what();
        std::replace(message.begin(), message.end(), '\n', ' ');
        std::fprintf(stderr, "gloamer: %s (%s)\n", message.c_str(), hint.c_str());
        return 2;
    }

    installInterruptHandlers();
    std::function<int()>& action = commandLine.action ? commandLine.action : commandLine.defaultAction;
    if (!action) {
        std::fprintf(stderr, "gloamer: no command given (see gloamer --help)\n");
        return 2;
    }
    try {
        return action();
    } catch (const HostError& error) {
        std::fprintf(stderr, "gloamer: %s\n", error.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "gloamer: out of memory\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "gloamer: unexpected failure: %s\n", error.what());
    }
    return 1;
}

} // namespace gloamer
