// main.cpp -- gloamer: runs a vis plug-in in a window of its own for a few seconds.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/host_error.h"
#include "host/host_window.h"
#include "host/plugin_library.h"
#include "host/plugin_session.h"

int main(int argc, char** argv)
{
    std::string pluginPath;
    double seconds = 5.0;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--plugin") && i + 1 < argc) {
            pluginPath = argv[++i];
        } else if (!strcmp(argv[i], "--seconds") && i + 1 < argc) {
            seconds = atof(argv[++i]);
        } else if (!strcmp(argv[i], "--version")) {
            printf("gloamer %s\n", GLOAMER_VERSION);
            return 0;
        } else {
            printf("usage: gloamer [--plugin PATH] [--seconds N] [--version]\n");
            return strcmp(argv[i], "--help") ? 2 : 0;
        }
    }
    try {
        gloamer::PluginLibrary library(pluginPath.empty() ? gloamer::defaultPluginPath() : pluginPath);
        gloamer::HostWindow host;
        gloamer::PluginSession session(library, host, 44100, 2);
        DWORD start = GetTickCount();
        while ((GetTickCount() - start) < seconds * 1000.0 && gloamer::pumpWindowMessages()) {
            session.render();
            Sleep((DWORD)session.module().delayMs);
        }
        session.quit();
    } catch (const gloamer::HostError& error) {
        fprintf(stderr, "gloamer: %s\n", error.what());
        return 1;
    }
    return 0;
}
