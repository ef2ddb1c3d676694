// render_loop_bench.cpp -- times the plug-in's frames alone through the host's render loop: no analysis,
// no read-back, no encoding. The baseline that gloamer render's full pipeline is measured against.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/process/host_error.h"
#include "host/core/plugin_library.h"
#include "host/offline/offline_renderer.h"

int main(int argc, char** argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: render_loop_bench WIDTH HEIGHT FRAMES [FPS] [PLUGIN]\n");
        return 2;
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    gloamer::RenderJob job;
    job.width = atoi(argv[1]);
    job.height = atoi(argv[2]);
    job.frameCount = atol(argv[3]);
    job.fps = argc > 4 ? atoi(argv[4]) : 30;
    job.pluginPath = argc > 5 ? argv[5] : gloamer::defaultPluginPath();
    try {
        auto start = std::chrono::steady_clock::now();
        gloamer::RenderResult result = gloamer::renderFrames(job);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        printf("%lld frames at %dx%d drawn in %.2f s (%.1f ms a frame)\n", (long long)result.framesDrawn, job.width,
               job.height, seconds, 1000.0 * seconds / (double)result.framesDrawn);
    } catch (const gloamer::HostError& error) {
        fprintf(stderr, "render_loop_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
