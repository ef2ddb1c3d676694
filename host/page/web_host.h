// web_host.h -- the page's host: the linked-in plug-in driven once per animation frame from the page's audio clock.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "host/analysis/spectrum_analyser.h"
#include "host/analysis/spectrum_shaper.h"
#include "host/audio/audio_track.h"
#include "host/core/host_window.h"
#include "host/core/plugin_session.h"
#include "host/replay/frame_data.h"

namespace gloamer::web {

// What the page does after a frame: the host's keys in the plug-in's window, and its window closing.
enum class PageAction {
    None = 0,
    TogglePause = 1,      // space
    ToggleFullscreen = 2, // f
    Stop = 3,             // Esc or q
    WindowClosed = 4,     // the plug-in posted its quit message
    ToggleFrameRate = 5,  // r
};

class WebHost {
public:
    // The track the page plays: its samples are filled in by the page, or made by makeDemoTrack.
    AudioTrack& track() { return track_; }

    // Starts the plug-in for the track's rate and channels; throws HostError when it cannot start.
    void start();
    void start(int sampleRate, int channelCount);
    void stop();
    bool running() const { return session_.has_value(); }
    // How far ahead of what is heard the running plug-in wants its rows, in frames of the track (0 when stopped).
    int64_t latencyFrames();

    // One animation frame at the audio clock: `heardSeconds` into the track (the page's audio position).
    PageAction frame(double heardSeconds, bool paused);

    // --sensitivity and --calm, as the native host's: the rows are shaped before the plug-in sees them.
    void setShaping(SpectrumShaping shaping);

    // The test hook: the frames of a frame data file, each drawn at its own tick with its own rows, no audio.
    void loadFrameData(const std::string& path);
    int frameDataCount() const { return (int)replay_.frames.size(); }
    void replayFrame(int index);

private:
    PageAction pumpMessages();

    AudioTrack track_;
    SpectrumAnalyser analyser_;
    SpectrumShaper shaper_;
    FrameData replay_;
    std::unique_ptr<HostWindow> host_;
    std::optional<PluginSession> session_;
};

// The one host of the page, which every exported call drives.
WebHost& pageHost();

} // namespace gloamer::web
