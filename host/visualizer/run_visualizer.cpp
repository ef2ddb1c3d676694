// run_visualizer.cpp -- load, start, loop, quit: the order in which a player drives a vis plug-in.
#include "host/visualizer/run_visualizer.h"

#include <cstdio>
#include <cstdlib>

#include "host/host_window.h"
#include "host/plugin_library.h"
#include "host/plugin_session.h"
#include "host/visualizer/interrupt.h"

namespace gloamer {

void drawOffscreenWithoutDisplay()
{
    if (std::getenv("SDL_VIDEODRIVER") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY"))
        return;
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    std::fprintf(stderr, "gloamer: no display found: drawing offscreen\n");
}

int runVisualizer(const std::string& pluginPath, const std::function<std::unique_ptr<AudioFeed>()>& openFeed,
                  FrameLoopOptions options)
{
    PluginLibrary library(pluginPath.empty() ? defaultPluginPath() : pluginPath);
    std::unique_ptr<AudioFeed> feed = openFeed();
    drawOffscreenWithoutDisplay();
    HostWindow host;
    PluginSession session(library, host, feed->sampleRate(), feed->channelCount());
    FrameLoop loop(session, host, *feed, options);
    LoopEnd end = loop.run();
    feed->setPaused(true);
    session.quit();
    return end == LoopEnd::Interrupted ? 128 + interruptSignal() : 0;
}

} // namespace gloamer
