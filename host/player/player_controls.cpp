// player_controls.cpp -- keys that steer the feed and the shaper, and what the window says about it.
#include "host/player/player_controls.h"

#include <SDL2/SDL.h>

#include <cmath>
#include <cstdio>

namespace gloamer {

using Clock = std::chrono::steady_clock;

namespace {

constexpr auto noticeTime = std::chrono::seconds(2);
constexpr auto cursorIdleTime = std::chrono::seconds(2);

} // namespace

PlayerControls::PlayerControls(AudioFeed& feed, SpectrumShaper& shaper, std::string title)
    : feed_(feed), shaper_(shaper), title_(std::move(title))
{
}

bool PlayerControls::handleKey(HostKey key)
{
    switch (key) {
    case HostKey::Next:
        feed_.skipTracks(1);
        return true;
    case HostKey::Previous:
        feed_.skipTracks(-1);
        return true;
    case HostKey::SeekForward:
        feed_.seekBy(seekSeconds);
        return true;
    case HostKey::SeekBack:
        feed_.seekBy(-seekSeconds);
        return true;
    case HostKey::SensitivityUp:
    case HostKey::SensitivityDown: {
        // In whole steps, so that down and up again come back to the very value.
        double steps = std::round(shaper_.sensitivity() / sensitivityStep) + (key == HostKey::SensitivityUp ? 1 : -1);
        shaper_.setSensitivity(steps * sensitivityStep);
        char text[48];
        std::snprintf(text, sizeof(text), "Sensitivity %.1f", shaper_.sensitivity());
        notice(text);
        return true;
    }
    case HostKey::AutoSensitivity:
        shaper_.setAutoGain(!shaper_.autoGain());
        notice(shaper_.autoGain() ? "Automatic sensitivity on" : "Automatic sensitivity off");
        return true;
    default:
        return false;
    }
}

void PlayerControls::notice(const std::string& text)
{
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
    notice_ = text;
    noticeUntil_ = Clock::now() + noticeTime;
}

void PlayerControls::update(HWND window, bool fullscreen)
{
    if (!window)
        return;
    Clock::time_point now = Clock::now();
    if (!notice_.empty() && now >= noticeUntil_)
        notice_.clear();
    std::string playing = feed_.nowPlaying();
    std::string title = playing.empty() ? title_ : playing + " \u2014 Gloamer";
    if (!notice_.empty())
        title = title.empty() ? notice_ : notice_ + " \u2014 " + title;
    // Set only when it changed: a window manager redraws the caption on every change.
    if (!title.empty() && title != shownTitle_) {
        SetWindowTextA(window, title.c_str());
        shownTitle_ = title;
    }

    int x = 0, y = 0;
    SDL_GetGlobalMouseState(&x, &y);
    if (x != mouseX_ || y != mouseY_ || !fullscreen) {
        mouseX_ = x;
        mouseY_ = y;
        mouseMovedAt_ = now;
        if (cursorHidden_)
            SDL_ShowCursor(SDL_ENABLE);
        cursorHidden_ = false;
    } else if (!cursorHidden_ && now - mouseMovedAt_ >= cursorIdleTime) {
        SDL_ShowCursor(SDL_DISABLE);
        cursorHidden_ = true;
    }
}

} // namespace gloamer
