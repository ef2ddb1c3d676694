// frame_loop.cpp -- one thread pumps messages, fills the spectrum, renders and waits, as a player does.
#include "host/player/frame_loop.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

#include "host/core/gl_renderer.h"
#include "host/process/host_error.h"
#include "platform/hooks.h"

#include "host/core/message_loop.h"
#include "host/process/interrupt.h"

namespace gloamer {

using Clock = std::chrono::steady_clock;

FrameLoop::FrameLoop(PluginSession& session, HostWindow& host, AudioFeed& feed, FrameLoopOptions options)
    : session_(session), host_(host), feed_(feed), options_(options), shaper_(options.shaping),
      controls_(feed, shaper_, options.title)
{
}

LoopEnd FrameLoop::run()
{
    applyWindowOptions();
    feed_.start();
    countStart_ = Clock::now();
    for (;;) {
        Clock::time_point frameStart = Clock::now();
        if (interruptRequested())
            return LoopEnd::Interrupted;
        if (std::optional<LoopEnd> end = pumpMessages())
            return *end;
        controls_.update(host_.renderWindow(), fullscreen_);
        if (feed_.ended())
            return LoopEnd::AudioEnded;
        // Paused, the plug-in is not called: the last frame it drew stays in the window.
        if (feed_.paused()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        renderFrame();
        sayRenderer();
        countFrame();
        if (std::optional<LoopEnd> end = waitForNextFrame(frameStart))
            return *end;
    }
}

std::optional<LoopEnd> FrameLoop::pumpMessages()
{
    std::optional<LoopEnd> keyEnd;
    MessagesEnd end = pumpWindowMessages(host_.renderWindow(), [&](HostKey key) {
        keyEnd = handleKey(key);
        return keyEnd.has_value();
    });
    if (end == MessagesEnd::WindowClosed)
        return LoopEnd::WindowClosed;
    return keyEnd;
}

void FrameLoop::renderFrame()
{
    feed_.fill(session_.module());
    shaper_.shape(session_.module().spectrumData);
    session_.render();
}

std::optional<LoopEnd> FrameLoop::handleKey(HostKey key)
{
    switch (key) {
    case HostKey::Pause:
        feed_.setPaused(!feed_.paused());
        break;
    case HostKey::Fullscreen:
        toggleFullscreen();
        break;
    case HostKey::Help:
        std::printf("%s\n", keysText);
        std::fflush(stdout);
        break;
    case HostKey::FrameRate:
        showRate_ = !showRate_;
        framesCounted_ = 0;
        countStart_ = Clock::now();
        break;
    case HostKey::Quit:
        return LoopEnd::QuitKey;
    default:
        controls_.handleKey(key);
    }
    return std::nullopt;
}

// Once, after the first frame, with the plug-in's context current: which renderer draws, at what size.
void FrameLoop::sayRenderer()
{
    if (rendererSaid_ || options_.quiet)
        return;
    rendererSaid_ = true;
    RECT inside{};
    if (HWND window = host_.renderWindow())
        GetClientRect(window, &inside);
    announceRenderer(currentGlRenderer(), inside.right, inside.bottom);
}

// Fills the whole display the window is on, and back to the window as it was.
void FrameLoop::toggleFullscreen()
{
    HWND window = host_.renderWindow();
    if (window && gloamerSetFullscreen(window, !fullscreen_))
        fullscreen_ = !fullscreen_;
}

// --size, --display and --fullscreen, once the plug-in's window stands.
void FrameLoop::applyWindowOptions()
{
    HWND window = host_.renderWindow();
    if (!window)
        return;
    if (!options_.title.empty())
        SetWindowTextA(window, options_.title.c_str());
    RECT outside, inside;
    if (options_.width > 0 && GetWindowRect(window, &outside) && GetClientRect(window, &inside))
        SetWindowPos(window, nullptr, 0, 0, options_.width + (outside.right - outside.left) - inside.right,
                     options_.height + (outside.bottom - outside.top) - inside.bottom, SWP_NOZORDER | SWP_NOMOVE);
    if (options_.display > 0) {
        int displays = SDL_GetNumVideoDisplays();
        SDL_Rect bounds;
        if (options_.display > displays || SDL_GetDisplayBounds(options_.display - 1, &bounds) != 0)
            throw HostError("there is no display " + std::to_string(options_.display) + " (this machine has " +
                            std::to_string(std::max(0, displays)) + ")");
        if (GetWindowRect(window, &outside))
            SetWindowPos(window, nullptr,
                         bounds.x + std::max(0, (bounds.w - (int)(outside.right - outside.left)) / 2),
                         bounds.y + std::max(0, (bounds.h - (int)(outside.bottom - outside.top)) / 2), 0, 0,
                         SWP_NOZORDER | SWP_NOSIZE);
    }
    if (options_.fullscreen)
        toggleFullscreen();
}

// With the readout on, the frames drawn in each second, on stderr.
void FrameLoop::countFrame()
{
    if (!showRate_)
        return;
    ++framesCounted_;
    double seconds = std::chrono::duration<double>(Clock::now() - countStart_).count();
    if (seconds >= 1) {
        std::fprintf(stderr, "gloamer: %.1f frames a second\n", framesCounted_ / seconds);
        framesCounted_ = 0;
        countStart_ = Clock::now();
    }
}

// After each render the plug-in's delay, and no sooner than the frame-rate cap allows.
std::optional<LoopEnd> FrameLoop::waitForNextFrame(Clock::time_point frameStart)
{
    int delayMs = std::clamp(session_.module().delayMs, 0, 1000);
    Clock::time_point wake = Clock::now() + std::chrono::milliseconds(delayMs);
    if (options_.maxFramesPerSecond > 0) {
        // A day at most between frames: however small the rate, the interval fits the clock's count.
        double interval = std::min(1.0 / options_.maxFramesPerSecond, 86400.0);
        wake = std::max(wake, frameStart + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(interval)));
    }
    // In short steps, so that Ctrl-C, the window's messages and the end of the music are seen within a few
    // milliseconds however long the wait.
    while (!interruptRequested()) {
        Clock::time_point now = Clock::now();
        if (now >= wake)
            break;
        std::this_thread::sleep_for(std::min<Clock::duration>(wake - now, std::chrono::milliseconds(10)));
        if (std::optional<LoopEnd> end = pumpMessages())
            return end;
        if (feed_.ended())
            return LoopEnd::AudioEnded;
    }
    return std::nullopt;
}

} // namespace gloamer
