// command_line.h -- the gloamer command line: options shared by commands, and how each command registers.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/media/cover_picture.h"
#include "host/process/command_line_checks.h" // positiveNumber, numberBetween

namespace gloamer {

// Options more than one command takes.
struct CommonOptions {
    std::string pluginPath; // empty: vis_gloamer beside gloamer
    std::string logo;       // --logo: a picture, "cover", or empty for the plug-in's own
    int logoSize = 256;     // --logo-size
};

// What the parse chose. A command's add function makes its subcommand, whose callback sets `action`.
struct CommandLine {
    CommonOptions common;
    std::function<int()> action;        // the command given, ready to run; returns the exit status
    std::function<int()> defaultAction; // run when no command is given
};

// --version, and the common options on the top level (for the default action).
void addCommonOptions(CLI::App& app, CommandLine& commandLine);
// --plugin PATH on a command that drives a plug-in.
void addPluginOption(CLI::App& command, CommonOptions& options);

// --logo PICTURE|cover and --logo-size N on a command that runs the plug-in on music (cover: when it may).
void addLogoOptions(CLI::App& command, CommonOptions& options, bool coverAllowed);
// The plug-in library to load: the one chosen, or, under --logo, a copy in a private folder beside that logo,
// which lives as long as the returned folder. `music` is the file a cover comes from (empty: the demo).
class LogoFolder;
std::string pluginToRun(const CommonOptions& options, const std::string& music, std::unique_ptr<LogoFolder>& folder,
                        const std::vector<CoverPicture>* covers = nullptr);

// --size WxH, checked as the command line is read.
void addSizeOption(CLI::App& command, std::string& size, const std::string& description = "Picture size");
// --fullscreen, --size WxH and --display N of the commands that open a window.
struct FrameLoopOptions;
void addWindowOptions(CLI::App& command, FrameLoopOptions& options, std::string& size);
// The window options once the command line is read: --size's text into the options.
void readWindowSize(const std::string& size, FrameLoopOptions& options);
// --fps N (1 to 240) of the commands that draw or analyse at a fixed rate.
void addFpsOption(CLI::App& command, int& fps);
// --start and --duration in seconds; `what` is the verb for the help ("Render", "Analyse").
void addSpanOptions(CLI::App& command, double& start, double& duration, const std::string& what);

// --quality and --crf of the commands that encode a video; `codecChoice`: the command has --codec.
struct VideoQuality {
    std::string name = "good"; // small, good or high
    int crf = -1;              // --crf where given, else -1
};
void addQualityOptions(CLI::App& command, VideoQuality& quality, bool codecChoice);
// The CRF to encode `codec` with: --crf where given, else --quality's. Called as the command line is read:
// throws CLI::ValidationError for a --crf beyond the codec's range.
int chosenCrf(const VideoQuality& quality, const std::string& codec);
// --progress FILE: the progress as JSON lines for scripts.
void addProgressOption(CLI::App& command, std::string& path);

// --to and the encoding, retry and title options of the commands that stream (stream, live --to).
struct StreamOutputOptions {
    std::string to;      // empty: not streaming
    VideoQuality quality;
    int bitrate = 0;     // kbit/s; 0: what --quality asks at the size and rate
    int audioKbps = 160;
    std::string preset = "veryfast";
    int retry = 10;
    std::string titleFile;
    std::string progress;
    bool quiet = false;
};
// `required`: --to must be given (stream); otherwise it turns the command into a stream (live).
void addStreamOutputOptions(CLI::App& command, StreamOutputOptions& options, bool required);
// The stream's settings from those options, --size's text and the frame rate; the plug-in path is left empty.
struct StreamRunOptions;
StreamRunOptions streamRunOptionsFor(const StreamOutputOptions& options, const std::string& size, int fps);
// Checks --progress against the inputs and the stream's own files before anything starts.
void checkStreamProgress(const StreamRunOptions& run, const std::vector<std::string>& inputs);
// --gpu auto|N|NAME|software: the device an offscreen render draws on.
void addGpuOption(CLI::App& command, std::string& gpu);

// --sensitivity X and --calm of the commands that feed a plug-in.
struct SpectrumShaping;
void addShapingOptions(CLI::App& command, SpectrumShaping& shaping);

// The file a command was given, or the demo track when none; a warning about the file goes to stderr.
struct AudioTrack;
AudioTrack loadTrackOrDemo(const std::string& file);
// The part of the file from `start` seconds, `seconds` long (0: to the end), as loadAudioSpan reads it; the demo
// is whole.
AudioTrack loadTrackSpanOrDemo(const std::string& file, double start, double seconds);
// The file's length alone, counted through as measureAudioFile does; a warning about the file goes to stderr.
AudioTrack measureTrack(const std::string& file);
// "gloamer: warning: ..." on stderr, for a warning about an input; nothing when it is empty.
void printInputWarning(const std::string& warning);
// Has `stream` hold what frame `frame` of `span` may analyse (the furthest latency and a block past what is
// heard, and `extraFrames` more), letting go of what is behind it; false once the music has ended before the
// frame. A read stopped by Ctrl-C throws StopRequested.
class TrackStream;
struct FrameSpan;
bool streamReachesFrame(TrackStream& stream, const FrameSpan& span, double start, int64_t frame,
                        int64_t extraFrames = 0);
// --timeout SECONDS of the commands that read an input: how long a read waits for data.
void addTimeoutOption(CLI::App& command);
// The optional FILE argument of the commands that take music.
void addAudioFileArgument(CLI::App& command, std::string& file);

// One per command, each in its own file.
void addPlayCommand(CLI::App& app, CommandLine& commandLine);
void addLiveCommand(CLI::App& app, CommandLine& commandLine);
void addDevicesCommand(CLI::App& app, CommandLine& commandLine);
void addRenderCommand(CLI::App& app, CommandLine& commandLine);
void addAnalyseCommand(CLI::App& app, CommandLine& commandLine);
void addReplayCommand(CLI::App& app, CommandLine& commandLine);
void addLogoCommand(CLI::App& app, CommandLine& commandLine);
void addJoinCommand(CLI::App& app, CommandLine& commandLine);
void addBatchCommand(CLI::App& app, CommandLine& commandLine);
void addStreamCommand(CLI::App& app, CommandLine& commandLine);
// Hidden: the completion scripts for bash and zsh, made from the commands added before it.
void addCompletionCommand(CLI::App& app, CommandLine& commandLine);

// Renders the demo to a video in the current folder under a name no file has yet, saying why (`reason`) and
// where, with the progress bar: what gloamer does with no command where no window can be shown.
int renderDemoInstead(const std::string& reason, const CommonOptions& common);

// Parses, runs the chosen command and turns every failure into one line on stderr. Returns the exit
// status: 0 done, 1 failed, 2 the command line was wrong, 128 + n stopped by signal n.
int runCommandLine(CLI::App& app, CommandLine& commandLine, int argc, char** argv);

} // namespace gloamer
