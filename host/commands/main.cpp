// main.cpp -- gloamer: drives a vis plug-in from real audio. Each command lives in commands/ and adds itself here.
#include "host/commands/command_line.h"

int main(int argc, char** argv)
{
    CLI::App app{"gloamer: runs a vis plug-in on real audio, as a media player does.", "gloamer"};
    gloamer::CommandLine commandLine;
    gloamer::addCommonOptions(app, commandLine);
    gloamer::addPlayCommand(app, commandLine); // also what runs with no command: the demo track
    gloamer::addLiveCommand(app, commandLine);
    gloamer::addDevicesCommand(app, commandLine);
    gloamer::addRenderCommand(app, commandLine);
    gloamer::addStreamCommand(app, commandLine);
    gloamer::addAnalyseCommand(app, commandLine);
    gloamer::addReplayCommand(app, commandLine);
    gloamer::addLogoCommand(app, commandLine);
    gloamer::addJoinCommand(app, commandLine);
    gloamer::addBatchCommand(app, commandLine);
    gloamer::addCompletionCommand(app, commandLine); // last: it lists the commands before it
    return gloamer::runCommandLine(app, commandLine, argc, argv);
}
