// frame_cost_bench.cpp -- where a frame's time goes: each pass timed alone, and the frame with the glow off.
//
// The passes run in the order composeFrame gives them, each followed by glFinish so that the GL's work lands
// in that pass's time; the whole frame is then timed as the plug-in draws it, with the glow on and off (the
// plug-in's own glow setting, which only this benchmark turns off). The music is a frame data file's
// (gloamer analyse) where one is given, else the benchmarks' made-up spectrum. On a software renderer this is
// where the CPU goes; on a GPU every figure is small.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/bench_frames.h"
#include "host/process/host_error.h"
#include "host/replay/frame_data.h"
#include "platform/gl.h"
#include "plugin/passes/captures.h"
#include "plugin/passes/sprite_queue.h"
#include "plugin/window/gl_defaults.h"
#include "plugin/window/viewport.h"
#include "tests/support/gl_window.h"

namespace {

// The passes of composeFrame with the glow on, in its order.
const char* const passNames[] = {"sprites for the glow", "glow capture", "trail (feedback zoom)",
                                 "sprites", "feedback capture", "glow (30 layers)"};
constexpr int passCount = 6;

gloamer::FrameData music; // no frames: the made-up spectrum

// The spectrum, waveform and clock of frame k.
void feedMusic(int frame)
{
    if (music.frames.empty()) {
        bench::advanceMusic(frame);
        return;
    }
    const gloamer::FrameRecord& record = music.frames[(size_t)frame % music.frames.size()];
    bench::benchTick = record.tick;
    std::memcpy(bench::benchModule.spectrumData, record.spectrum, sizeof(record.spectrum));
    std::memcpy(bench::benchModule.waveformData, record.waveform, sizeof(record.waveform));
}

double secondsNow()
{
    return bench::seconds(CLOCK_MONOTONIC);
}

// One frame pass by pass, adding each pass's seconds to `spent`.
void timedFrame(std::vector<double>& spent)
{
    animateSprites();
    double at = secondsNow();
    auto lap = [&](int pass) {
        glFinish();
        const double now = secondsNow();
        spent[(size_t)pass] += now - at;
        at = now;
    };
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawIntensity = 1.0f;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    drawSpriteList(spriteQueue, 0);
    lap(0);
    captureGlow();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    lap(1);
    drawTrail();
    lap(2);
    drawSpriteList(spriteQueue, 1);
    spriteQueue = nullptr;
    lap(3);
    captureFeedback();
    lap(4);
    drawGlow();
    lap(5);
}

struct Figures {
    double wholeOn = 0, wholeOff = 0; // ms per frame, the plug-in's own composeFrame
    std::vector<double> passes = std::vector<double>(passCount, 0.0);
    std::string renderer;
};

// Milliseconds per frame over `frames` frames after three unmeasured ones; `glow` sets the plug-in's setting.
double wholeFrameMs(HDC deviceContext, bool glow, int frames, int& frame)
{
    settings.glowEnabled = glow;
    for (int warm = 0; warm < 3; ++warm, ++frame) {
        feedMusic(frame);
        bench::frame();
        SwapBuffers(deviceContext);
    }
    glFinish();
    const double start = secondsNow();
    for (int measured = 0; measured < frames; ++measured, ++frame) {
        feedMusic(frame);
        bench::frame();
        SwapBuffers(deviceContext);
    }
    glFinish();
    return (secondsNow() - start) * 1000.0 / frames;
}

Figures measure(int width, int height, int frames)
{
    testgl::GlWindow gl("gloamer_cost_bench", nullptr, 0, width, height);
    if (!gl.ready()) {
        std::fprintf(stderr, "frame_cost_bench: cannot make a %d x %d GL window (set SDL_VIDEODRIVER=offscreen "
                             "without a display)\n", width, height);
        std::exit(1);
    }
    Figures figures;
    figures.renderer = (const char*)glGetString(GL_RENDERER);
    bench::setUpPlugin(5);
    resizeViewport(width, height);
    initGlDefaults();
    int frame = 0;
    figures.wholeOn = wholeFrameMs(gl.deviceContext(), true, frames, frame);
    figures.wholeOff = wholeFrameMs(gl.deviceContext(), false, frames, frame);
    settings.glowEnabled = 1;
    std::vector<double> spent(passCount, 0.0);
    for (int measured = 0; measured < frames; ++measured, ++frame) {
        feedMusic(frame);
        timedFrame(spent);
        SwapBuffers(gl.deviceContext());
    }
    for (int pass = 0; pass < passCount; ++pass)
        figures.passes[(size_t)pass] = spent[(size_t)pass] * 1000.0 / frames;
    return figures;
}

} // namespace

// frame_cost_bench [WIDTHxHEIGHT] [FRAMES] [FRAMEDATA]: 1280x720 and 20 frames by default.
int main(int argc, char** argv)
{
    int width = 1280, height = 720, frames = 20;
    if (argc > 1 && std::sscanf(argv[1], "%dx%d", &width, &height) != 2) {
        std::fprintf(stderr, "usage: frame_cost_bench [WIDTHxHEIGHT] [FRAMES] [FRAMEDATA]\n");
        return 2;
    }
    if (argc > 2)
        frames = std::max(1, std::atoi(argv[2]));
    try {
        if (argc > 3)
            music = gloamer::readFrameData(argv[3]);
    } catch (const gloamer::HostError& error) {
        std::fprintf(stderr, "frame_cost_bench: %s\n", error.what());
        return 1;
    }
    testgl::WindowClass benchClass("gloamer_cost_bench", DefWindowProcA, nullptr);
    if (!benchClass.registered()) {
        std::fprintf(stderr, "frame_cost_bench: cannot register the window class\n");
        return 1;
    }
    const Figures figures = measure(width, height, frames);
    std::printf("Gloamer frame cost, %d x %d, %d frames each, %s; GL: %s; %ld processors online\n", width, height,
                frames, music.frames.empty() ? "made-up spectrum" : "recorded music", figures.renderer.c_str(),
                sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("  whole frame, glow on   %9.2f ms  (%.1f fps)\n", figures.wholeOn, 1000.0 / figures.wholeOn);
    std::printf("  whole frame, glow off  %9.2f ms  (%.1f fps): the glow costs %.0f %% of the frame\n",
                figures.wholeOff, 1000.0 / figures.wholeOff, 100.0 * (1.0 - figures.wholeOff / figures.wholeOn));
    double sum = 0;
    for (double ms : figures.passes)
        sum += ms;
    std::printf("  pass by pass (each finished before the next):\n");
    for (int pass = 0; pass < passCount; ++pass)
        std::printf("    %-24s %9.2f ms  %5.1f %%\n", passNames[pass], figures.passes[(size_t)pass],
                    100.0 * figures.passes[(size_t)pass] / sum);
    std::printf("    %-24s %9.2f ms\n", "sum", sum);
    return 0;
}
