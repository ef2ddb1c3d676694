// run_visualizer.h -- a whole visualizer run: the plug-in loaded and started, the frame loop, quit.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host/visualizer/audio_feed.h"
#include "host/visualizer/frame_loop.h"

namespace gloamer {

// Loads the plug-in (empty path: vis_gloamer beside gloamer), then opens the feed, starts the plug-in for
// the feed's rate and channels, runs the frame loop and quits the plug-in: a wrong plug-in is reported
// before any audio device opens. Returns the exit status: 0, or 128 + the signal that interrupted it.
// Throws HostError when the plug-in cannot be loaded or does not start, or the feed cannot open.
int runVisualizer(const std::string& pluginPath, const std::function<std::unique_ptr<AudioFeed>()>& openFeed,
                  FrameLoopOptions options = {});

// Where there is no display to show a window on, draws offscreen (SDL's offscreen video driver) and says so.
void drawOffscreenWithoutDisplay();

} // namespace gloamer
