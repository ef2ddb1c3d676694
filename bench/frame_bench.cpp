// frame_bench.cpp -- milliseconds per whole frame on the real GL at three window sizes, and the plug-in's own share.
//
// Each size gets a window and GL context of its own from the platform layer (offscreen surfaces keep the size they
// were made with), and the frame is driven through the core as pluginRender does: animate, compose, swap. The
// plug-in's own CPU time comes from frame_bench_null_gl, the same frames linked against a GL that does nothing.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/bench_frames.h"
#include "platform/gl.h"
#include "tests/support/gl_window.h"
#include "plugin/window/gl_defaults.h"
#include "plugin/window/viewport.h"

namespace {

struct Size {
    int width, height;
};

std::string renderer;

// Wall-clock milliseconds per presented frame, finished (glFinish) so that the GL's work is counted.
double millisecondsPerFrame(Size size, int spriteCount)
{
    testgl::GlWindow gl("gloamer_bench", nullptr, 0, size.width, size.height);
    HDC deviceContext = gl.deviceContext();
    if (!gl.ready()) {
        std::fprintf(stderr, "frame_bench: cannot make a %d x %d GL window (set SDL_VIDEODRIVER=offscreen without a display)\n",
                     size.width, size.height);
        std::exit(1);
    }
    if (renderer.empty())
        renderer = (const char*)glGetString(GL_RENDERER);

    bench::setUpPlugin(spriteCount);
    resizeViewport(size.width, size.height);
    initGlDefaults();
    int frames = 0;
    for (; frames < 5; ++frames) {
        bench::advanceMusic(frames);
        bench::frame();
        SwapBuffers(deviceContext);
    }
    glFinish();
    double start = bench::seconds(CLOCK_MONOTONIC);
    double elapsed = 0;
    int measured = 0;
    while (elapsed < 2.0 || measured < 10) {
        bench::advanceMusic(frames++);
        bench::frame();
        SwapBuffers(deviceContext);
        glFinish();
        ++measured;
        elapsed = bench::seconds(CLOCK_MONOTONIC) - start;
    }
    return elapsed * 1000.0 / measured;
}

std::string processorName()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line))
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown processor";
}

// The null-GL figures, from the program built beside this one.
std::vector<double> pluginOnlyMilliseconds(const std::vector<int>& spriteCounts)
{
    std::string command = GLOAMER_NULL_GL_BENCH;
    for (int count : spriteCounts)
        command += " " + std::to_string(count);
    std::vector<double> result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    int sprites = 0;
    double milliseconds = 0;
    while (std::fscanf(pipe, " sprites %d ms %lf", &sprites, &milliseconds) == 2)
        result.push_back(milliseconds);
    pclose(pipe);
    return result;
}

} // namespace

int main()
{
    testgl::WindowClass benchClass("gloamer_bench", DefWindowProcA, nullptr);
    if (!benchClass.registered()) {
        std::fprintf(stderr, "frame_bench: cannot register the window class\n");
        return 1;
    }

    const std::vector<Size> sizes = {{590, 430}, {1280, 720}, {1920, 1080}};
    std::vector<double> defaults;
    for (Size size : sizes)
        defaults.push_back(millisecondsPerFrame(size, 5));
    double manySprites = millisecondsPerFrame(sizes[0], 1000);
    std::vector<double> own = pluginOnlyMilliseconds({5, 1000});

    std::printf("Gloamer frame benchmark\n");
    std::printf("machine: %s, %ld processors online; GL: %s\n", processorName().c_str(), sysconf(_SC_NPROCESSORS_ONLN),
                renderer.c_str());
    std::printf("\nwhole frame (animate, compose, swap, glFinish), default settings (5 sprites, glow on):\n");
    for (size_t index = 0; index < sizes.size(); ++index)
        std::printf("  %4d x %-4d  %9.3f ms   %5.2fx the %d x %d frame\n", sizes[index].width, sizes[index].height,
                    defaults[index], defaults[index] / defaults[0], sizes[0].width, sizes[0].height);
    std::printf("  %4d x %-4d  %9.3f ms   %5.2fx, with 1000 sprites\n", sizes[0].width, sizes[0].height, manySprites,
                manySprites / defaults[0]);
    if (own.size() != 2) {
        std::fprintf(stderr, "frame_bench: no figures from %s\n", GLOAMER_NULL_GL_BENCH);
        return 1;
    }
    std::printf("\nthe plug-in's own CPU time per frame (same frames, GL calls doing nothing):\n");
    std::printf("     5 sprites  %9.4f ms   %7.3f %% of the 590 x 430 frame, %7.3f %% of the 1920 x 1080 frame\n",
                own[0], 100.0 * own[0] / defaults[0], 100.0 * own[0] / defaults[2]);
    std::printf("  1000 sprites  %9.4f ms   %7.3f %% of the 590 x 430 frame with 1000 sprites\n", own[1],
                100.0 * own[1] / manySprites);
    return 0;
}
