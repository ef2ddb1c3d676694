// player_controls.h -- the keys of a player beyond pause and quit, the window's title, the cursor in full screen.
#pragma once

#include <chrono>
#include <string>

#include "host/analysis/spectrum_shaper.h"
#include "host/player/audio_feed.h"
#include "host/core/message_loop.h"

namespace gloamer {

class PlayerControls {
public:
    static constexpr double seekSeconds = 5;
    static constexpr double sensitivityStep = 0.1;

    // `title` is the window's caption while the feed names nothing (empty: the plug-in's own).
    PlayerControls(AudioFeed& feed, SpectrumShaper& shaper, std::string title);

    // Next and previous track (n, p), seeking (left, right), sensitivity (up, down) and automatic gain (a).
    // True when the key was one of them.
    bool handleKey(HostKey key);
    // Once a frame: the title (what plays, where, and a change just made) and, in full screen, the cursor,
    // hidden while the mouse stands still.
    void update(HWND window, bool fullscreen);

private:
    // Shown in the title for a few seconds, and printed once.
    void notice(const std::string& text);

    AudioFeed& feed_;
    SpectrumShaper& shaper_;
    std::string title_;
    std::string shownTitle_;
    std::string notice_;
    std::chrono::steady_clock::time_point noticeUntil_;
    int mouseX_ = -1, mouseY_ = -1;
    std::chrono::steady_clock::time_point mouseMovedAt_;
    bool cursorHidden_ = false;
};

} // namespace gloamer
