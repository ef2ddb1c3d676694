// offline_renderer.h -- drives a plug-in frame by frame on a virtual clock and hands each presented frame to a sink.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/core/gl_renderer.h"
#include "host/video/frame_sink.h"
#include "plugin/state/records.h"

namespace gloamer {

class Progress;

// A render's frame count before its music has ended.
constexpr int64_t unknownFrameCount = INT64_MAX;

struct RenderJob {
    std::string pluginPath;
    int width = 1280;
    int height = 720;
    int fps = 30;
    // Frames firstFrame to frameCount - 1 are drawn; those before firstWrittenFrame are drawn and not written
    // (a part's warm-up, which brings the plug-in's memory of earlier frames to where a whole render has it).
    int64_t frameCount = 0;
    int64_t firstFrame = 0;
    int64_t firstWrittenFrame = 0;
    // What the module's sampleRate and channelCount are filled with.
    int sampleRate = 44100;
    int channelCount = 2;
    // The plug-in's tick count at frame 0; frame k is drawn at FrameSpan::tickOf(k) from it.
    uint32_t startTick = 0;
    // When set, the tick of frame k instead (a replayed clock); startTick is then the tick of the start-up.
    std::function<uint32_t(int64_t frame)> frameTick;
    // Fills the module's spectrum and waveform for frame k; `latencyMs` is the plug-in's own.
    std::function<void(int64_t frame, VisModule& module)> fillAudioData;
    // When set, asked before frame k is drawn: false ends the render there, as frameCount would (for music
    // whose length shows only at its end; frameCount is then unknownFrameCount), or as a stop does when one
    // was asked for meanwhile.
    std::function<bool(int64_t frame)> hasFrame;
    // Called before frame k is drawn, once its clock and audio are set; may throw HostError.
    std::function<void(int64_t frame)> beforeFrame;
    // Finished before the plug-in is quit, so that a crash in its quit costs nothing drawn; abandoned when a
    // frame cannot be written. Null: frames are drawn and not read back (for timing the drawing alone).
    FrameSink* sink = nullptr;
    Progress* progress = nullptr;
    // Asked before every frame; true stops the render there (Ctrl-C).
    std::function<bool()> stopRequested;
    // Called first in the process that draws, before the output is opened and the plug-in loaded (where the
    // GPU is chosen); may throw HostError.
    std::function<void()> prepare;
    // Called once the plug-in has made its GL context, with the renderer that draws; may throw HostError.
    std::function<void(const GlRenderer&)> rendererStarted;
    // Called by runRenderJob after the render, in the process that drew it (a child of the caller's on Linux).
    std::function<void()> afterRender;
};

struct RenderResult {
    int64_t framesDrawn = 0;   // warm-up included
    int64_t framesWritten = 0;
    bool interrupted = false;
    // The frame (from 0) whose render callback returned nonzero, and what it returned; -1 when none did.
    int64_t refusedFrame = -1;
    int refusal = 0;
};

// Renders frames job.firstFrame to job.frameCount - 1 (fewer once a stop is requested, the plug-in's window is closed or its render
// returns nonzero), then finishes the sink and quits the plug-in. Throws HostError when the plug-in cannot run
// or a frame cannot be written.
RenderResult renderFrames(const RenderJob& job);

// Gives `window` a client area of width x height, keeping whatever frame it has.
void resizeClientArea(HWND window, int width, int height);

} // namespace gloamer
