// run_visualizer.h -- a whole visualizer run: the plug-in loaded and started, the frame loop, quit.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host/player/audio_feed.h"
#include "host/player/frame_loop.h"

namespace gloamer {

// Checks the display first: with none usable, throws HostError naming it and pointing to `render`. Then loads
// the plug-in (empty path: vis_gloamer beside gloamer), opens the feed (told whether a window will be seen), starts the plug-in for
// the feed's rate and channels, runs the frame loop and quits the plug-in: a wrong plug-in is reported
// before any audio device opens. Returns the exit status: 0, or 128 + the signal that interrupted it.
// Throws HostError when the plug-in cannot be loaded or does not start, or the feed cannot open.
int runVisualizer(const std::string& pluginPath,
                  const std::function<std::unique_ptr<AudioFeed>(bool window)>& openFeed,
                  FrameLoopOptions options = {});

} // namespace gloamer
