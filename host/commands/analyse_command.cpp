// analyse_command.cpp -- gloamer analyse: the ticks and rows a render would feed a plug-in, saved as a frame data file.

#include <cstdio>
#include <memory>

#include "host/analysis/frame_span.h"
#include "host/analysis/spectrum_analyser.h"
#include "host/analysis/stream_reach.h"
#include "host/audio/track_loading.h"
#include "host/audio/track_stream.h"
#include "host/commands/command_line.h"
#include "host/core/plugin_library.h"
#include "host/process/host_error.h"
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
    // To the music's end, it is decoded as the frames go, holding a window of it; a span is read alone.
    std::unique_ptr<TrackStream> stream;
    AudioTrack held;
    if (!options.input.empty() && options.duration <= 0) {
        stream = std::make_unique<TrackStream>(options.input, options.start);
        stream->withoutMuxer();
        stream->need(stream->track().firstFrame + stream->track().sampleRate); // to tell a start past the end
    } else {
        held = loadTrackSpanOrDemo(options.input, options.start, audioSecondsRead(options.duration));
    }
    const AudioTrack& track = stream ? stream->track() : held;
    const FrameSpan span = frameSpanOf(track, options.start, options.duration, options.fps);
    auto hasFrame = [&](int64_t frame) {
        return stream ? streamReachesFrame(*stream, span, options.start, frame) : frame < span.frameCount;
    };
    // The plug-in says how far ahead it wants the audio and which rows it reads; it is loaded, not started.
    PluginLibrary library(chosenPluginPath(common.pluginPath));
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
    try {
        for (; !interruptRequested() && hasFrame(frame); ++frame) {
            record.tick = span.tickOf(frame);
            analyser.analyse(track, span.analysedFrameOf(frame, module.latencyMs), module.spectrumChannelCount,
                             module.waveformChannelCount, record.spectrum, record.waveform);
            writer.add(record);
        }
    } catch (const StopRequested&) {
        // Ctrl-C during a read
    }
    if (frame > 0)
        writer.finish();
    if (stream)
        printInputWarning(stream->warning());
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
