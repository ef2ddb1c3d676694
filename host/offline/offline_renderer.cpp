// offline_renderer.cpp -- the render loop: virtual time in, one analysed block per frame, frames caught at the swap.
#include "host/offline/offline_renderer.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "host/analysis/frame_span.h"
#include "host/process/host_error.h"
#include "host/core/host_window.h"
#include "host/core/plugin_library.h"
#include "host/core/plugin_session.h"
#include "host/offline/frame_hooks.h"
#include "host/offline/progress.h"
#include "host/offline/frame_grabber.h"

namespace gloamer {

namespace {

struct Capture {
    HWND window = nullptr;
    FrameGrabber grabber;
    FrameSink* sink = nullptr;
    int expectedWidth = 0;
    int expectedHeight = 0;
    int64_t presented = 0;
    int64_t delivered = 0;
    std::vector<uint8_t> last;
    FrameGrabber::Delivery deliver;
    std::exception_ptr failure; // a write that failed inside the plug-in's swap, rethrown once it has returned
};

DWORD virtualNow = 0;

DWORD readVirtualClock(void*)
{
    return virtualNow;
}

void onPresent(HWND window, int width, int height, void* user)
{
    Capture& capture = *static_cast<Capture*>(user);
    if (window != capture.window || width != capture.expectedWidth || height != capture.expectedHeight)
        return; // another window, or a frame drawn before the window took its render size
    ++capture.presented;
    capture.grabber.capture(width, height, capture.deliver);
}

RenderResult drawFrames(const RenderJob& job)
{
    RenderResult result;
    virtualNow = job.startTick;
    PluginLibrary library(job.pluginPath);
    FrameHooks hooks(library.handle(), readVirtualClock, nullptr);
    HostWindow host;
    PluginSession session(library, host, job.sampleRate, job.channelCount);
    HWND window = host.renderWindow();
    if (!window)
        throw HostError("the plug-in '" + job.pluginPath + "' started without announcing a window to draw in");
    resizeClientArea(window, job.width, job.height);
    RECT client;
    GetClientRect(window, &client);
    if (client.right != job.width || client.bottom != job.height)
        throw HostError("the plug-in's window could not take the size " + std::to_string(job.width) + "x" +
                        std::to_string(job.height));

    Capture capture;
    capture.window = window;
    capture.sink = job.sink;
    capture.expectedWidth = job.width;
    capture.expectedHeight = job.height;
    capture.deliver = [&capture](const uint8_t* rgb, int width, int height) {
        if (capture.failure)
            return;
        capture.last.assign(rgb, rgb + (size_t)width * height * 3);
        try {
            capture.sink->writeFrame(rgb);
            ++capture.delivered;
        } catch (...) {
            capture.failure = std::current_exception();
        }
    };
    auto rethrowFailure = [&capture] {
        if (capture.failure)
            std::rethrow_exception(capture.failure);
    };
    // The plug-in's context is current once its init has made it; else it is after its first frame.
    bool rendererSaid = false;
    auto sayRenderer = [&job, &rendererSaid](bool last) {
        GlRenderer gl = currentGlRenderer();
        if (rendererSaid || (!gl.known() && !last))
            return;
        rendererSaid = true;
        if (job.rendererStarted)
            job.rendererStarted(gl);
    };
    sayRenderer(false);
    FrameSpan clock;
    clock.fps = job.fps;
    clock.startTick = job.startTick;
    int64_t framesToWrite = 0;
    for (int64_t frame = job.firstFrame; frame < job.frameCount; ++frame) {
        if (job.stopRequested && job.stopRequested()) {
            result.interrupted = true;
            break;
        }
        if (job.hasFrame && !job.hasFrame(frame)) {
            result.interrupted = job.stopRequested && job.stopRequested(); // Ctrl-C while the music was read
            break;
        }
        // Warm-up frames are drawn alone: nothing reads them back.
        const bool written = frame >= job.firstWrittenFrame;
        if (written && job.sink && frame == std::max(job.firstFrame, job.firstWrittenFrame))
            hooks.setPresentHook(onPresent, &capture);
        virtualNow = job.frameTick ? job.frameTick(frame) : clock.tickOf(frame);
        if (job.fillAudioData)
            job.fillAudioData(frame, session.module());
        if (job.beforeFrame)
            job.beforeFrame(frame);
        int64_t presentedBefore = capture.presented;
        int verdict = session.render();
        rethrowFailure();
        sayRenderer(true);
        framesToWrite += written;
        if (written && job.sink && capture.presented == presentedBefore) {
            // A plug-in that skipped its swap still owes the video a frame: repeat the last one.
            capture.grabber.drain(capture.deliver);
            if (!capture.last.empty()) {
                std::vector<uint8_t> again = capture.last;
                capture.deliver(again.data(), job.width, job.height);
            } else {
                std::vector<uint8_t> black((size_t)job.width * job.height * 3, 0);
                capture.deliver(black.data(), job.width, job.height);
            }
        }
        ++result.framesDrawn;
        if (job.progress && written)
            job.progress->update(frame + 1 - std::max(job.firstFrame, job.firstWrittenFrame));
        if (verdict != 0) {
            result.refusedFrame = frame;
            result.refusal = verdict;
            break;
        }
        if (!pumpWindowMessages()) {
            result.interrupted = true; // the window was closed
            break;
        }
    }
    capture.grabber.drain(capture.deliver);
    capture.grabber.release();
    hooks.setPresentHook(nullptr, nullptr);
    rethrowFailure();
    // A frame the GL would not hand back must not pass for a finished render.
    if (job.sink && capture.delivered < framesToWrite)
        throw HostError("only " + std::to_string(capture.delivered) + " of " + std::to_string(framesToWrite) +
                        " frames could be read back from the GL; nothing was written");
    if (job.sink)
        job.sink->finish();
    session.quit();
    result.framesWritten = job.sink ? capture.delivered : framesToWrite;
    return result;
}

} // namespace

void resizeClientArea(HWND window, int width, int height)
{
    RECT outer, client;
    if (!GetWindowRect(window, &outer) || !GetClientRect(window, &client))
        throw HostError("cannot size the plug-in's window");
    int frameWidth = (outer.right - outer.left) - (client.right - client.left);
    int frameHeight = (outer.bottom - outer.top) - (client.bottom - client.top);
    SetWindowPos(window, nullptr, 0, 0, width + frameWidth, height + frameHeight, SWP_NOMOVE | SWP_NOZORDER);
}

RenderResult renderFrames(const RenderJob& job)
{
    try {
        return drawFrames(job);
    } catch (const HostError&) {
        if (job.sink)
            job.sink->abandon();
        throw;
    }
}

} // namespace gloamer
