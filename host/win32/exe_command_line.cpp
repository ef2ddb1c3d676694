// exe_command_line.cpp -- gloamer.exe's two commands and their options.
#include "host/win32/exe_command_line.h"

#include <cstdio>

#include "host/process/command_line_checks.h"
#include "host/process/failure_report.h"

namespace gloamer {

namespace {

const char hint[] = "see gloamer.exe --help";

void addPluginOption(CLI::App& command, std::string& path)
{
    command.add_option("--plugin", path, "The vis plug-in DLL (default: vis_gloamer.dll beside gloamer.exe)")
        ->check(CLI::Validator([](std::string& text) { return text.empty() ? "no plug-in named" : ""; }, ""))
        ->type_name("PATH");
}

CLI::App* addReplay(CLI::App& app, ReplayRequest& request)
{
    CLI::App* replay = app.add_subcommand(
        "replay", "Draw the frames of a frame data file (made by gloamer analyse) into numbered PNG pictures");
    replay->add_option("DATA", request.data, "The frame data file")->required()->type_name("");
    replay->add_option("-o,--output", request.output, "DIR\\%05d.png: the numbered pictures")
        ->required()
        ->type_name("OUT");
    replay->add_option("--size", request.size, "Picture size")->type_name("WxH")->capture_default_str();
    addPluginOption(*replay, request.pluginPath);
    replay->add_flag("-y,--overwrite", request.overwrite, "Replace existing pictures");
    replay->add_flag("-q,--quiet", request.quiet, "Print no progress bar");
    return replay;
}

CLI::App* addCheck(CLI::App& app, CheckRequest& request)
{
    CLI::App* check = app.add_subcommand(
        "check", "Walk the plug-in through config, init, a few frames and quit, and print what it saw");
    addPluginOption(*check, request.pluginPath);
    check->add_option("--version-answer", request.versionAnswer,
                      "Answer the plug-in's version query with N (0x5000: version 5.0)")
        ->check(numberBetween(0, 0xffff, true))
        ->type_name("N");
    check->add_option("--frames", request.frames, "Render N frames between init and quit")
        ->check(numberBetween(0, 100000, true))
        ->type_name("N")
        ->capture_default_str();
    return check;
}

} // namespace

int runExeCommandLine(int argc, char** argv, const std::string& version, const ExeCommands& commands)
{
    CLI::App app{"gloamer.exe: drives a vis plug-in DLL as a player does, with frame data files in place of live "
                 "audio.",
                 "gloamer.exe"};
    app.set_version_flag("--version", "gloamer.exe " + version);
    app.footer("Message boxes the plug-in opens are closed at once and printed.\n"
               "Exit status: 0 done, 1 failed, 2 wrong command line, 130 stopped by Ctrl-C.");
    ReplayRequest replay;
    CheckRequest check;
    const CLI::App* replayCommand = addReplay(app, replay);
    const CLI::App* checkCommand = addCheck(app, check);
    app.require_subcommand(0, 1); // one command a run
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return reportParseError(app, error, hint);
    }
    if (!*replayCommand && !*checkCommand) {
        std::fprintf(stderr, "gloamer: no command given (%s)\n", hint);
        return 2;
    }
    try {
        return *replayCommand ? commands.replay(replay) : commands.check(check);
    } catch (...) {
        return reportCurrentFailure();
    }
}

} // namespace gloamer
