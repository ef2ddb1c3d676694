// soak.cpp -- draws the plug-in's frames offscreen for a long time (virtual clock, demo track, no encoding) and checks
// that resident memory stops growing once the first frames are behind it.
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "host/analysis/spectrum_analyser.h"
#include "host/audio/audio_track.h"
#include "host/process/host_error.h"
#include "host/offline/offline_renderer.h"

namespace {

long residentKib()
{
    long pages = 0, resident = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm) {
        if (fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Bytes the C heap has handed out and not had back, over all arenas: what a leak would grow.
long heapInUseKib()
{
    struct mallinfo2 info = mallinfo2();
    return (long)((info.uordblks + info.hblkhd) / 1024);
}

struct Sample {
    long resident = 0; // as the system counts it
    long heap = 0;     // handed out by the C heap
    long trimmed = 0;  // once the C heap has given its free pages back
};

// The C heap keeps the pages of freed blocks up to the highest demand it has met, which passing peaks of the GL
// driver's raise now and then; given back before measuring, what is left is what the program holds.
Sample sample()
{
    Sample taken;
    taken.resident = residentKib();
    taken.heap = heapInUseKib();
    malloc_trim(0);
    taken.trimmed = residentKib();
    return taken;
}

int usage()
{
    fprintf(stderr, "usage: soak FRAMES [BASELINE_FRAME [MAX_GROWTH_KIB [WxH [PLUGIN]]]]\n"
                    "  Resident memory after BASELINE_FRAME (default 1000) frames and after FRAMES frames, with the\n"
                    "  C heap's free pages returned, must differ by less than MAX_GROWTH_KIB (default 1024; 0: report\n"
                    "  only, as under a sanitizer).\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const long frames = atol(argv[1]);
    const long baseline = argc > 2 ? atol(argv[2]) : 1000;
    const long limitKib = argc > 3 ? atol(argv[3]) : 1024;
    int width = 320, height = 240;
    if (argc > 4 && sscanf(argv[4], "%dx%d", &width, &height) != 2)
        return usage();
    if (frames < 1 || baseline < 1 || baseline >= frames)
        return usage();
    setenv("SDL_VIDEODRIVER", "offscreen", 0);

    gloamer::AudioTrack track = gloamer::makeDemoTrack();
    const int64_t trackFrames = (int64_t)track.frameCount();
    gloamer::SpectrumAnalyser analyser;

    gloamer::RenderJob job;
    job.pluginPath = argc > 5 ? argv[5] : GLOAMER_PLUGIN_PATH; // this build's plug-in
    job.width = width;
    job.height = height;
    job.fps = 30;
    job.frameCount = frames + 1; // the render stops itself after `frames`, having measured them
    job.sampleRate = track.sampleRate;
    job.channelCount = track.channelCount;
    // The demo track over and over, analysed as gloamer render analyses it.
    job.fillAudioData = [&](int64_t frame, VisModule& module) {
        int64_t heard = frame * track.sampleRate / job.fps + (int64_t)module.latencyMs * track.sampleRate / 1000;
        analyser.analyse(track, heard % trackFrames, module.spectrumChannelCount, module.waveformChannelCount,
                         module.spectrumData, module.waveformData);
    };
    // Asked before each frame: after `drawn` frames, with the plug-in still running.
    long drawn = 0;
    Sample atBaseline, atEnd;
    auto start = std::chrono::steady_clock::now();
    job.stopRequested = [&] {
        long now = drawn++;
        if (now > 0 && now % (frames / 10 > 0 ? frames / 10 : 1) == 0) {
            double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            printf("soak: %ld frames, %.0f s, resident %ld KiB, heap in use %ld KiB\n", now, seconds, residentKib(),
                   heapInUseKib());
            fflush(stdout);
        }
        if (now == baseline)
            atBaseline = sample();
        if (now == frames) {
            atEnd = sample();
            return true;
        }
        return false;
    };

    gloamer::RenderResult result;
    try {
        result = gloamer::renderFrames(job);
    } catch (const gloamer::HostError& error) {
        fprintf(stderr, "soak: %s\n", error.what());
        return 1;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result.framesDrawn != frames) {
        fprintf(stderr, "soak: the render stopped after %lld of %ld frames\n", (long long)result.framesDrawn, frames);
        return 1;
    }
    long growth = atEnd.trimmed - atBaseline.trimmed;
    printf("soak: %ld frames at %dx%d in %.1f s (%.2f ms a frame)\n", frames, width, height, seconds,
           1000.0 * seconds / (double)frames);
    printf("soak: resident after frame %ld: %ld KiB; after frame %ld: %ld KiB; difference %+ld KiB\n", baseline,
           atBaseline.resident, frames, atEnd.resident, atEnd.resident - atBaseline.resident);
    printf("soak: resident with the C heap's free pages returned, after frame %ld: %ld KiB; after frame %ld: %ld KiB; "
           "difference %+ld KiB\n",
           baseline, atBaseline.trimmed, frames, atEnd.trimmed, growth);
    printf("soak: heap in use after frame %ld: %ld KiB; after frame %ld: %ld KiB; difference %+ld KiB\n", baseline,
           atBaseline.heap, frames, atEnd.heap, atEnd.heap - atBaseline.heap);
    if (limitKib > 0 && (growth >= limitKib || growth <= -limitKib)) {
        printf("soak: FAIL: resident memory changed by %ld KiB, not less than %ld KiB\n", growth, limitKib);
        return 1;
    }
    return 0;
}
