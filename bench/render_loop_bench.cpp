// render_loop_bench.cpp -- times the plug-in's frames alone through the host's render loop: no analysis,
// no read-back, no encoding. The baseline that gloamer render's full pipeline is measured against.
// With a frame data file (gloamer analyse) the frames draw its music, as the page's benchmark does; without,
// silence. Timing starts once the first frame is drawn; the process's CPU time (the GL driver's threads
// included) is given per frame beside the wall-clock time.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/process/host_error.h"
#include "host/core/plugin_library.h"
#include "host/offline/offline_renderer.h"
#include "host/replay/frame_data.h"

namespace {

double cpuSeconds()
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

double wallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: render_loop_bench WIDTH HEIGHT FRAMES [FPS] [PLUGIN] [FRAMEDATA]\n");
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
        gloamer::FrameData music;
        if (argc > 6) {
            music = gloamer::readFrameData(argv[6]);
            if (music.frames.empty())
                throw gloamer::HostError(std::string("no frames in '") + argv[6] + "'");
            job.fillAudioData = [&music](int64_t frame, VisModule& module) {
                const gloamer::FrameRecord& record = music.frames[(size_t)frame % music.frames.size()];
                std::memcpy(module.spectrumData, record.spectrum, sizeof(record.spectrum));
                std::memcpy(module.waveformData, record.waveform, sizeof(record.waveform));
            };
            // The recorded clock too, looping with the music as the page's replay does.
            job.startTick = music.frames[0].tick;
            job.frameTick = [&music](int64_t frame) { return music.frames[(size_t)frame % music.frames.size()].tick; };
        }
        double wallStart = wallSeconds(), cpuStart = cpuSeconds();
        job.beforeFrame = [&](int64_t frame) {
            if (frame == 1) { // frame 0 is drawn: start-up and the first frame's set-up are behind
                wallStart = wallSeconds();
                cpuStart = cpuSeconds();
            }
        };
        gloamer::RenderResult result = gloamer::renderFrames(job);
        const double seconds = wallSeconds() - wallStart, cpu = cpuSeconds() - cpuStart;
        const double timed = (double)std::max<int64_t>(1, result.framesDrawn - 1);
        printf("%lld frames at %dx%d drawn in %.2f s (%.1f ms a frame), cpu %.1f ms a frame, after the first\n",
               (long long)result.framesDrawn, job.width, job.height, seconds, 1000.0 * seconds / timed,
               1000.0 * cpu / timed);
    } catch (const gloamer::HostError& error) {
        fprintf(stderr, "render_loop_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
