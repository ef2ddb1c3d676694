// command_line.h -- the gloamer command line: options shared by commands, and how each command registers.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/logo/logo_choice.h"
#include "host/process/command_line_checks.h" // positiveNumber, numberBetween

namespace gloamer {

// Options more than one command takes.
struct CommonOptions {
    std::string pluginPath; // empty: vis_gloamer beside gloamer
    LogoChoice logo;        // --logo and --logo-size
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

// --progress FILE: the progress as JSON lines for scripts.
void addProgressOption(CLI::App& command, std::string& path);

// --to and the encoding, retry and title options of the commands that stream (stream, live --to); `required`:
// --to must be given (stream); otherwise it turns the command into a stream (live).
struct StreamOutputOptions;
void addStreamOutputOptions(CLI::App& command, StreamOutputOptions& options, bool required);
// --gpu auto|N|NAME|software: the device an offscreen render draws on.
void addGpuOption(CLI::App& command, std::string& gpu);

// --sensitivity X and --calm of the commands that feed a plug-in.
struct SpectrumShaping;
void addShapingOptions(CLI::App& command, SpectrumShaping& shaping);

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
