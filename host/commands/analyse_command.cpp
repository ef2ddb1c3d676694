// analyse_command.cpp -- gloamer analyse: the ticks and rows a render would feed a plug-in, saved as a frame data file.

#include <memory>

#include "host/analysis/frame_span.h"
#include "host/analysis/spectrum_analyser.h"
#include "host/audio/audio_track.h"
#include "host/commands/command_line.h"
#include "host/core/plugin_library.h"
#include "host/process/output_checks.h"
#include "host/replay/frame_data.h"
#include "host/process/interrupt.h"

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
    std::vector<std::string> inputs;
    if (!options.input.empty())
        inputs.push_back(options.input);
    checkOutputFile(options.output, options.overwrite, inputs);
    AudioTrack track = loadTrackSpanOrDemo(options.input, options.start, audioSecondsRead(options.duration));
    const FrameSpan span = frameSpanOf(track, options.start, options.duration, options.fps);

    // The plug-in says how far ahead it wants the audio and which rows it reads; it is loaded, not started.
    PluginLibrary library(common.pluginPath.empty() ? defaultPluginPath() : common.pluginPath);
    const VisModule& module = *library.module();

    FrameData header;
    header.fps = (uint32_t)options.fps;
    header.sampleRate = (uint32_t)track.sampleRate;
    header.channelCount = (uint32_t)track.channelCount;
    header.latencyMs = (uint32_t)clampLatencyMs(module.latencyMs);
    FrameDataWriter writer(options.output, header, options.overwrite);
    SpectrumAnalyser analyser;
    FrameRecord record;
    // Ctrl-C keeps the frames analysed so far, as a render keeps the frames drawn.
    int64_t frame = 0;
    for (; frame < span.frameCount && !interruptRequested(); ++frame) {
        record.tick = span.tickOf(frame);
        analyser.analyse(track, span.analysedFrameOf(frame, module.latencyMs), module.spectrumChannelCount,
                         module.waveformChannelCount, record.spectrum, record.waveform);
        writer.add(record);
    }
    if (frame > 0)
        writer.finish();
    return interruptRequested() ? 128 + interruptSignal() : 0;
}

} // namespace

void addAnalyseCommand(CLI::App& app, CommandLine& commandLine)
{
    auto options = std::make_shared<AnalyseOptions>();
    CLI::App* analyse = app.add_subcommand(
        "analyse", "Save the ticks, spectrum and waveform rows a render would feed the plug-in, frame by frame");
    addAudioFileArgument(*analyse, options->input);
    analyse->add_option("-o,--output", options->output, "The frame data file to write")->required()->type_name("DATA");
    addFpsOption(*analyse, options->fps);
    addSpanOptions(*analyse, options->start, options->duration, "Analyse");
    analyse->add_flag("-y,--overwrite", options->overwrite, "Replace an existing output");
    addTimeoutOption(*analyse);
    addPluginOption(*analyse, commandLine.common);
    analyse->footer("The plug-in is loaded, not started: it only says how far ahead it wants the audio and which rows "
                    "it reads.\nReplay the file with gloamer replay, or with gloamer.exe replay on Windows.");
    analyse->callback([&commandLine, options] {
        commandLine.action = [&commandLine, options] { return runAnalyse(*options, commandLine.common); };
    });
}

} // namespace gloamer
