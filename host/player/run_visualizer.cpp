// run_visualizer.cpp -- load, start, loop, quit: the order in which a player drives a vis plug-in.
#include "host/player/run_visualizer.h"

#include "host/process/host_error.h"
#include "host/core/host_window.h"
#include "host/core/plugin_library.h"
#include "host/core/plugin_session.h"
#include "host/player/display_check.h"
#include "host/process/interrupt.h"

namespace gloamer {

int runVisualizer(const std::string& pluginPath,
                  const std::function<std::unique_ptr<AudioFeed>(bool window)>& openFeed, FrameLoopOptions options)
{
    // Nobody could watch a window drawn nowhere: say so at once rather than run unseen.
    DisplayCheck display = checkDisplay();
    if (!display.problem.empty())
        throw HostError(display.problem + "; to make a video instead: gloamer render [FILE] -o video.mp4");
    // Before the feed opens, so that nothing is announced as playing that cannot be shown.
    if (options.display > 0) {
        int displays = countDisplays();
        if (options.display > displays)
            throw HostError("there is no display " + std::to_string(options.display) + " (this machine has " +
                            std::to_string(displays) + ")");
    }
    PluginLibrary library(pluginPath.empty() ? defaultPluginPath() : pluginPath);
    std::unique_ptr<AudioFeed> feed = openFeed(display.window);
    HostWindow host;
    PluginSession session(library, host, feed->sampleRate(), feed->channelCount());
    FrameLoop loop(session, host, *feed, options);
    LoopEnd end = loop.run();
    feed->setPaused(true);
    session.quit();
    return end == LoopEnd::Interrupted ? 128 + interruptSignal() : 0;
}

} // namespace gloamer
