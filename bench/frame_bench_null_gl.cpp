// frame_bench_null_gl.cpp -- the plug-in's own CPU time per frame, its GL calls going nowhere; run by frame_bench.
#include <cstdio>
#include <cstdlib>

#include "bench/bench_frames.h"
#include "plugin/window/viewport.h"

// Thread CPU time per frame, in milliseconds, over enough frames to last about half a second.
static double millisecondsPerFrame(int spriteCount)
{
    bench::setUpPlugin(spriteCount);
    resizeViewport(590, 430);
    int frames = 0;
    for (; frames < 20; ++frames) { // warm up, and make both capture textures
        bench::advanceMusic(frames);
        bench::frame();
    }
    double start = bench::seconds(CLOCK_THREAD_CPUTIME_ID);
    double elapsed = 0;
    int measured = 0;
    while (elapsed < 0.5 || measured < 20) {
        bench::advanceMusic(frames++);
        bench::frame();
        ++measured;
        elapsed = bench::seconds(CLOCK_THREAD_CPUTIME_ID) - start;
    }
    return elapsed * 1000.0 / measured;
}

int main(int argc, char** argv)
{
    for (int index = 1; index < argc; ++index) {
        int sprites = std::atoi(argv[index]);
        std::printf("sprites %d ms %.6f\n", sprites, millisecondsPerFrame(sprites));
    }
    return 0;
}
