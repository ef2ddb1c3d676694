// frame_loop.h -- the player's loop: messages (with the host's keys), the spectrum, a render, the plug-in's delay.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "host/analysis/spectrum_shaper.h"
#include "host/core/host_window.h"
#include "host/core/message_loop.h"
#include "host/core/plugin_session.h"
#include "host/player/audio_feed.h"
#include "host/player/player_controls.h"

namespace gloamer {

struct FrameLoopOptions {
    double maxFramesPerSecond = 0; // 0: only the plug-in's own delay paces the frames
    SpectrumShaping shaping;       // --sensitivity and --calm
    bool fullscreen = false;       // start filling the display
    int width = 0, height = 0;     // the window's inside at the start; 0: the plug-in's own size
    int display = 0;               // the display to open on, from 1; 0: where the window opens
    std::string title;             // the window's caption; empty: the plug-in's own
    bool quiet = false;            // no line on the renderer that draws
};

// The keys of the visualizer's window, as play and live print them.
inline constexpr const char* keysText =
    "Keys: space pauses, n/p next/previous track, left/right back/forward 5 s, up/down sensitivity, "
    "a automatic sensitivity, f full screen, r frames a second on stderr, h these keys, Esc or q quits.";

enum class LoopEnd {
    AudioEnded,   // the track played to its end, or the time asked for is up
    QuitKey,      // Esc or q in the plug-in's window
    WindowClosed, // the plug-in's window was closed: its quit message came
    Interrupted,  // Ctrl-C or SIGTERM
};

// Runs on the thread that started the plug-in: init, every render and quit stay on it.
class FrameLoop {
public:
    FrameLoop(PluginSession& session, HostWindow& host, AudioFeed& feed, FrameLoopOptions options = {});

    // Starts the feed and draws frames until one of the ends comes.
    LoopEnd run();
    // Handles every waiting message: the host's keys in the plug-in's window first, then the plug-in's
    // own handling. Gives the end that a message brought, if any.
    std::optional<LoopEnd> pumpMessages();
    // Fills the spectrum for this moment and has the plug-in draw a frame.
    void renderFrame();
    bool fullscreen() const { return fullscreen_; }

private:
    std::optional<LoopEnd> handleKey(HostKey key);
    void toggleFullscreen();
    void applyWindowOptions();
    void countFrame();
    void sayRenderer();
    // Waits, handling messages, until the next frame is due; gives the end that came meanwhile, if any.
    std::optional<LoopEnd> waitForNextFrame(std::chrono::steady_clock::time_point frameStart);

    PluginSession& session_;
    HostWindow& host_;
    AudioFeed& feed_;
    FrameLoopOptions options_;
    SpectrumShaper shaper_;
    PlayerControls controls_;
    bool fullscreen_ = false;
    bool rendererSaid_ = false;
    bool showRate_ = false; // frames a second on stderr, once a second
    int framesCounted_ = 0;
    std::chrono::steady_clock::time_point countStart_;
};

} // namespace gloamer
