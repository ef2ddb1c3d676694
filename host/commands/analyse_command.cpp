// analyse_command.cpp -- gloamer analyse: the ticks and rows a render would feed a plug-in, saved as a frame data file.

#include <memory>

#include "host/analysis/frame_span.h"
#include "host/analysis/spectrum_analyser.h"
#include "host/audio/audio_track.h"
#include "host/commands/command_line.h"
#include "host/host_error.h"
#include "host/plugin_library.h"
#include "host/replay/frame_data.h"
#include "host/system.h"

namespace gloamer {

namespace {

struct AnalyseOptions {
    std::string input; // empty: the demo track
    std::string output;
    int fps = 30;
    double start = 0;
    double duration = 0;
    bool overwrite = false;
};

int runAnalyse(const AnalyseOptions& options, const CommonOptions& common)
{
    if (options.fps < 1 || options.fps > 240)
        throw HostError("--fps " + std::to_string(options.fps) + " is out of range (1 to 240)");
    PathKind existing = pathKind(options.output);
    if (existing == PathKind::folder)
        throw HostError("cannot write '" + options.output + "': it is a folder");
    if (existing == PathKind::file && !options.overwrite)
        throw HostError("'" + options.output + "' exists already (add --overwrite to replace it)");

    std::string warning;
    AudioTrack track = options.input.empty() ? makeDemoTrack() : loadAudioFile(options.input, &warning);
    if (!warning.empty())
        fprintf(stderr, "gloamer: warning: %s\n", warning.c_str());
    const FrameSpan span = frameSpanOf(track, options.start, options.duration, options.fps);

    // The plug-in says how far ahead it wants the audio and which rows it reads; it is loaded, not started.
    PluginLibrary library(common.pluginPath.empty() ? defaultPluginPath() : common.pluginPath);
    const VisModule& module = *library.module();

    FrameData data;
    data.fps = (uint32_t)options.fps;
    data.sampleRate = (uint32_t)track.sampleRate;
    data.channelCount = (uint32_t)track.channelCount;
    data.latencyMs = (uint32_t)std::max(0, module.latencyMs);
    data.frames.resize((size_t)span.frameCount);
    SpectrumAnalyser analyser;
    for (int64_t frame = 0; frame < span.frameCount; ++frame) {
        FrameRecord& record = data.frames[(size_t)frame];
        record.tick = span.tickOf(frame);
        analyser.analyse(track, span.analysedFrameOf(frame, module.latencyMs), module.spectrumChannelCount,
                         module.waveformChannelCount, record.spectrum, record.waveform);
    }
    writeFrameData(options.output, data);
    return 0;
}

} // namespace

void addAnalyseCommand(CLI::App& app, CommandLine& commandLine)
{
    auto options = std::make_shared<AnalyseOptions>();
    CLI::App* analyse = app.add_subcommand(
        "analyse", "Save the ticks, spectrum and waveform rows a render would feed the plug-in, frame by frame");
    analyse->add_option("FILE", options->input, "WAV, FLAC, Ogg, MP3 or another file libsndfile reads (none: the demo)")
        ->type_name("");
    analyse->add_option("-o,--output", options->output, "The frame data file to write")->required()->type_name("DATA");
    analyse->add_option("--fps", options->fps, "Frames a second")->type_name("N")->capture_default_str();
    analyse->add_option("--start", options->start, "Start this many seconds into the track")->type_name("SECONDS");
    analyse->add_option("--duration", options->duration, "Analyse this many seconds (default: to the end)")
        ->check(CLI::PositiveNumber)
        ->type_name("SECONDS");
    analyse->add_flag("--overwrite", options->overwrite, "Replace an existing output");
    addPluginOption(*analyse, commandLine.common);
    analyse->footer("The plug-in is loaded, not started: it only says how far ahead it wants the audio and which rows "
                    "it reads.\nReplay the file with gloamer replay, or with gloamer.exe replay on Windows.");
    analyse->callback([&commandLine, options] {
        commandLine.action = [&commandLine, options] { return runAnalyse(*options, commandLine.common); };
    });
}

} // namespace gloamer
