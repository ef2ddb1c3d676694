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

DWORD virtualNow = 0;

DWORD readVirtualClock(void*)
{
    return virtualNow;
}

// The frames the plug-in presents at the render's size, read back and handed to the sink. A write that fails
// inside the plug-in's swap is kept and rethrown once the swap has returned.
class Capture {
public:
    Capture(HWND window, const RenderJob& job) : window_(window), job_(job)
    {
        deliver_ = [this](const uint8_t* rgb, int width, int height) { deliver(rgb, width, height); };
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    static void onPresent(HWND window, int width, int height, void* user)
    {
        Capture& capture = *static_cast<Capture*>(user);
        if (window != capture.window_ || width != capture.job_.width || height != capture.job_.height)
            return; // another window, or a frame drawn before the window took its render size
        ++capture.presented;
        capture.grabber_.capture(width, height, capture.deliver_);
    }

    void rethrowFailure() const
    {
        if (failure_)
            std::rethrow_exception(failure_);
    }

    // A plug-in that skipped its swap still owes the video a frame: the last one again, or black.
    void repeatLast()
    {
        grabber_.drain(deliver_);
        std::vector<uint8_t> again = last_;
        if (again.empty())
            again.assign((size_t)job_.width * job_.height * 3, 0);
        deliver(again.data(), job_.width, job_.height);
    }

    // Takes the frames still in flight and frees the read-back buffers, with the plug-in's context still current.
    void drainAndRelease()
    {
        grabber_.drain(deliver_);
        grabber_.release();
    }

    int64_t presented = 0;
    int64_t delivered = 0;

private:
    void deliver(const uint8_t* rgb, int width, int height)
    {
        if (failure_)
            return;
        last_.assign(rgb, rgb + (size_t)width * height * 3);
        try {
            job_.sink->writeFrame(rgb);
            ++delivered;
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    HWND window_;
    const RenderJob& job_;
    FrameGrabber grabber_;
    FrameGrabber::Delivery deliver_;
    std::vector<uint8_t> last_;
    std::exception_ptr failure_;
};

// The plug-in loaded and started on the virtual clock, its window at the render's size.
struct PluginStage {
    explicit PluginStage(const RenderJob& job)
        : library(job.pluginPath), hooks(library.handle(), readVirtualClock, nullptr),
          session(library, host, job.sampleRate, job.channelCount), window(host.renderWindow())
    {
        if (!window)
            throw HostError("the plug-in '" + job.pluginPath + "' started without announcing a window to draw in");
        resizeClientArea(window, job.width, job.height);
        RECT client;
        GetClientRect(window, &client);
        if (client.right != job.width || client.bottom != job.height)
            throw HostError("the plug-in's window could not take the size " + std::to_string(job.width) + "x" +
                            std::to_string(job.height));
    }

    PluginLibrary library;
    FrameHooks hooks;
    HostWindow host;
    PluginSession session;
    HWND window;
};

// Names the renderer to the job once: as soon as the plug-in's init has made its context current, else after
// its first frame.
class RendererAnnouncement {
public:
    explicit RendererAnnouncement(const RenderJob& job) : job_(job) {}
    void sayOnce(bool afterFrame)
    {
        GlRenderer gl = currentGlRenderer();
        if (said_ || (!gl.known() && !afterFrame))
            return;
        said_ = true;
        if (job_.rendererStarted)
            job_.rendererStarted(gl);
    }

private:
    const RenderJob& job_;
    bool said_ = false;
};

// The render between its frames.
struct RenderLoop {
    const RenderJob& job;
    PluginStage& stage;
    Capture& capture;
    RendererAnnouncement& renderer;
    RenderResult result;
    int64_t framesToWrite = 0;

    int64_t firstWritten() const { return std::max(job.firstFrame, job.firstWrittenFrame); }

    // False when a stop was asked for, or the music ran out, before `frame`.
    bool mayDraw(int64_t frame)
    {
        if (job.stopRequested && job.stopRequested()) {
            result.interrupted = true;
            return false;
        }
        if (job.hasFrame && !job.hasFrame(frame)) {
            result.interrupted = job.stopRequested && job.stopRequested(); // Ctrl-C while the music was read
            return false;
        }
        return true;
    }

    // Sets the clock and the rows for `frame` and has the plug-in draw it; what its render returned.
    int render(int64_t frame)
    {
        if (job.frameTick) {
            virtualNow = job.frameTick(frame);
        } else {
            FrameSpan clock;
            clock.fps = job.fps;
            clock.startTick = job.startTick;
            virtualNow = clock.tickOf(frame);
        }
        if (job.fillAudioData)
            job.fillAudioData(frame, stage.session.module());
        if (job.beforeFrame)
            job.beforeFrame(frame);
        return stage.session.render();
    }

    // Draws `frame`, writing it unless it is a warm-up frame (nothing reads those back); false when the render
    // ends with it.
    bool drawFrame(int64_t frame)
    {
        if (!mayDraw(frame))
            return false;
        const bool written = frame >= job.firstWrittenFrame;
        if (written && job.sink && frame == firstWritten())
            stage.hooks.setPresentHook(Capture::onPresent, &capture);
        const int64_t presentedBefore = capture.presented;
        const int verdict = render(frame);
        capture.rethrowFailure();
        renderer.sayOnce(true);
        framesToWrite += written;
        if (written && job.sink && capture.presented == presentedBefore)
            capture.repeatLast();
        ++result.framesDrawn;
        if (job.progress && written)
            job.progress->update(frame + 1 - firstWritten());
        if (verdict != 0) {
            result.refusedFrame = frame;
            result.refusal = verdict;
            return false;
        }
        if (!pumpWindowMessages()) {
            result.interrupted = true; // the window was closed
            return false;
        }
        return true;
    }

    // Takes the last frames, finishes the output and quits the plug-in.
    RenderResult finish()
    {
        capture.drainAndRelease();
        stage.hooks.setPresentHook(nullptr, nullptr);
        capture.rethrowFailure();
        // A frame the GL would not hand back must not pass for a finished render.
        if (job.sink && capture.delivered < framesToWrite)
            throw HostError("only " + std::to_string(capture.delivered) + " of " + std::to_string(framesToWrite) +
                            " frames could be read back from the GL; nothing was written");
        if (job.sink)
            job.sink->finish();
        stage.session.quit();
        result.framesWritten = job.sink ? capture.delivered : framesToWrite;
        return result;
    }
};

RenderResult drawFrames(const RenderJob& job)
{
    virtualNow = job.startTick;
    PluginStage stage(job);
    Capture capture(stage.window, job);
    RendererAnnouncement renderer(job);
    renderer.sayOnce(false);
    RenderLoop loop{job, stage, capture, renderer, {}, 0};
    for (int64_t frame = job.firstFrame; frame < job.frameCount && loop.drawFrame(frame); ++frame) {
    }
    return loop.finish();
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
