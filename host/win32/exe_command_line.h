// exe_command_line.h -- gloamer.exe's command line, read with CLI11 as gloamer's own commands are; apart from
// main.cpp so that it is built and tested natively too.
#pragma once

#include <functional>
#include <string>

namespace gloamer {

// gloamer.exe replay DATA -o DIR\%05d.png
struct ReplayRequest {
    std::string data;
    std::string output;
    std::string pluginPath; // empty: vis_gloamer.dll beside gloamer.exe
    std::string size = "590x430";
    bool overwrite = false;
    bool quiet = false;
};

// gloamer.exe check: the protocol walked through once.
struct CheckRequest {
    std::string pluginPath;
    long versionAnswer = 0x5000; // the host's answer to the plug-in's version query (message 505)
    int frames = 3;
};

// What runs each command once the command line is read.
struct ExeCommands {
    std::function<int(const ReplayRequest&)> replay;
    std::function<int(const CheckRequest&)> check;
};

// Parses, runs the command chosen and turns every failure into one line on stderr, as gloamer does; `version` is
// what --version prints after "gloamer.exe ". Returns the exit status: 0 done, 1 failed, 2 the command line was
// wrong, 128 + n stopped by signal n.
int runExeCommandLine(int argc, char** argv, const std::string& version, const ExeCommands& commands);

} // namespace gloamer
